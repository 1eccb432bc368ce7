// The late injection answer awaited by the timer window on the test clock, the status
// read and its block for the registered program, stop and reset.
#include "sampler/sampler_fixture.h"
#include "support/channel_user_window.h"

BEGIN_MESSAGE_MAP(gc6890::test::BlockReceiver, CWnd)
ON_REGISTERED_MESSAGE(g_nAutosamplerExtraDataMessage, OnBlock)
END_MESSAGE_MAP()

namespace gc6890::test {
namespace {

class SamplerWaitTest : public SamplerTest {
protected:
    // An injection that draws no answer at once: the timer window takes over.
    void startWaiting()
    {
        line->expect("01HTSINJECT 3");
        ASSERT_EQ(sampler->InjectSample(3), 1);
        ASSERT_NE(sampler->m_pCallbackWnd, nullptr);
        ASSERT_EQ(sampler->m_bWaitingForInjectResponse, 1);
        ASSERT_TRUE(LockedOut());
    }
    void tick()
    {
        clock.advance(1000);
        PumpMessages();
    }
    TestClock clock{1000};
};

TEST_F(SamplerWaitTest, FiveMinutesWithoutAnAnswerCountAsAcceptedAndDumpOnce)
{
    startWaiting();
    for (int second = 0; second < 300; ++second)
        tick();
    EXPECT_NE(sampler->m_pCallbackWnd, nullptr);  // 300000 ms is still within the wait
    tick();
    EXPECT_EQ(sampler->m_pCallbackWnd, nullptr);
    EXPECT_EQ(sampler->m_bInjectResponseDone, 1);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 1);
    tick();
    const std::string dump = home.read("c/6890dump.txt");
    const std::string text = "TIMEOUT OF TIMEOUT WINDOW OCCURED\n";
    ASSERT_NE(dump.find(text), std::string::npos) << dump;
    EXPECT_EQ(dump.find(text, dump.find(text) + 1), std::string::npos);
}

TEST_F(SamplerWaitTest, WaitEndsUnsettledByAFreedLockOrWithItsSampler)
{
    startWaiting();
    FreeLock();  // a comms reset freed it
    tick();
    EXPECT_EQ(sampler->m_pCallbackWnd, nullptr);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 0);

    startWaiting();
    const HWND window = sampler->m_pCallbackWnd->GetSafeHwnd();
    CHP6890SerialComms::m_sCommsStatus = 0;
    sampler.reset();
    // A host that exits right after destroying its sampler must leave no window behind.
    EXPECT_FALSE(IsWindow(window));
    tick();
    sampler = std::make_unique<CVarnockAutoSampler>();
}

// The line hangs up while the answer is awaited: the next tick ends the wait, the injection
// settled as failed (not counted as accepted five minutes later), the lock-out freed, the
// loss logged and reported so that the channel is rebuilt.
TEST_F(SamplerWaitTest, AHangUpEndsTheWaitAtTheNextTickAsAFailedInjection)
{
    ChannelUserWindow broadcasts;
    ASSERT_NE(broadcasts.Get(), nullptr);
    line->expect("01HTSINJECT 3").hangUpAfterLastExpect();
    ASSERT_EQ(sampler->InjectSample(3), 1);
    ASSERT_TRUE(LockedOut());
    tick();
    EXPECT_EQ(sampler->m_pCallbackWnd, nullptr);
    EXPECT_EQ(sampler->m_bInjectResponseDone, 1);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 0);
    EXPECT_EQ(broadcasts.m_nFailures, 1);
    EXPECT_NE(home.read("c/dravik/hp6890.err")
                  .find("ALS INJECTION: line lost while awaiting the injection answer"),
              std::string::npos);
}

TEST_F(SamplerWaitTest, StatusReadWhileWaitingMakesNoExchangeAndShowsBusy)
{
    startWaiting();
    CInletSystemStatus status;
    EXPECT_EQ(sampler->ReadStatus(status), 1);
    EXPECT_TRUE(status.GetNotReady());
    EXPECT_TRUE(status.GetRunning());
    EXPECT_TRUE(status.GetInjecting());

    // A late refusal: the next read reports an error and resets the sampler, even though
    // the sampler itself says it is ready.
    line->unsolicited("HT01SINJECT 5");
    tick();
    line->expect("01HTSTATUS").reply("HT01STATUS 1,0,1,0,0,0,0");
    line->expect("01HTSTOP");
    line->expect("01HTRTN_ALL").reply("HT01RTN_ALL 0");
    CInletSystemStatus after;
    EXPECT_EQ(sampler->ReadStatus(after), 1);
    EXPECT_TRUE(after.GetError());
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 0);
    EXPECT_EQ(sampler->m_bInjectResponseDone, 0);
}

TEST_F(SamplerWaitTest, StopEndsTheWaitAndSendsReturnAllUnlessItAbortedAnInjection)
{
    startWaiting();
    line->expect("01HTSTOP").reply("HT01SINJECT 0");
    EXPECT_EQ(sampler->StopMethod(), 0);  // the aborted injection: no return-all
    EXPECT_EQ(sampler->m_pCallbackWnd, nullptr);
    EXPECT_EQ(sampler->m_bWaitingForInjectResponse, 0);
    EXPECT_EQ(sampler->m_bInjectResponseDone, 1);
    EXPECT_EQ(sampler->m_bInjectResponseOK, 0);

    // Without a wait: the return-all follows unless the stop aborted an injection.
    struct Case {
        const char* stopAnswer;
        const char* returnAnswer;  // nullptr: no return-all is sent
        int result;
    };
    const Case cases[] = {
        {"HT01STOP 0", "HT01RTN_ALL 0", 1},
        {"HT01SINJECT 3", "HT01RTN_ALL 0", 1},
        {"HT01STOP 0", "HT01RTN_ALL 4", 0},  // a refusal, no comms failure
        {"HT01SINJECT 0", nullptr, 0},
    };
    for (const Case& c : cases) {
        line->expect("01HTSTOP").reply(c.stopAnswer);
        if (c.returnAnswer)
            line->expect("01HTRTN_ALL").reply(c.returnAnswer);
        EXPECT_EQ(sampler->StopMethod(), c.result) << c.stopAnswer;
    }
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 2);  // no rebuild
}

TEST_F(SamplerTest, ResetServesTheRemoteRequestAndWaitsAHundredReadsForItsAnswer)
{
    ASSERT_TRUE(LockOut());  // someone else's: nothing is sent
    EXPECT_EQ(sampler->ResetSampler(), 0);
    EXPECT_TRUE(FreeLock());

    sampler->m_pRegRemoteWindow = new CRegRemoteWindowALSSystem(sampler.get());
    line->expect("01HTSTOP");
    line->expect("01HTRTN_ALL").reply("HT01RTN_ALL 2");
    EXPECT_EQ(sampler->m_pRegRemoteWindow->SendMessage(g_nResetSamplerMessage), 0);
    line->expect("01HTSTOP");
    line->expect("01HTRTN_ALL").reply("HT01RTN_ALL 0");
    line->silentReads = 99;
    EXPECT_EQ(sampler->m_pRegRemoteWindow->SendMessage(g_nResetSamplerMessage), 1);

    // A hundred empty reads break the exchange: the channel is rebuilt (the old one stops
    // the sampler side as it goes; the new one starts with nothing started).
    line->expect("01HTSTOP");
    line->expect("01HTRTN_ALL").reply("HT01RTN_ALL 0");
    line->expect("CCHTPC 1").reply("HTCCPC 0");
    line->silentReads = 100;
    EXPECT_EQ(sampler->ResetSampler(), 0);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 0);
    EXPECT_TRUE(IsValidCommsObject(sampler->m_pSerialComms));
}

TEST_F(SamplerTest, StatusCodeGivesTheQuestionsTheirAnswers)
{
    struct Case {
        int code;
        int injecting = 0, running = 0, postRunning = 0, notReady = 0;
    };
    const Case cases[] = {
        {.code = 0},
        {.code = 1, .running = 1, .notReady = 1},
        {.code = 2, .injecting = 1, .running = 1, .notReady = 1},
        {.code = 3, .running = 1, .postRunning = 1, .notReady = 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        for (int question = 0; question < 5; ++question)
            line->expect("01HTSTATUS").reply("HT01STATUS 1,1,1,0,0,0," + std::to_string(c.code));
        CString unused;
        EXPECT_EQ(sampler->Injecting(), c.injecting);
        EXPECT_EQ(sampler->MethodRunning(), c.running);
        EXPECT_EQ(sampler->PostRunning(), c.postRunning);
        EXPECT_EQ(sampler->NotReady(unused), c.notReady);
        EXPECT_EQ(sampler->Error(unused), 0);
    }
}

// The status read answers 1 in every branch of its body; a failed exchange shows as the
// record's Error and NotReady, the block's error bit and one failure broadcast (after which
// the channel is rebuilt, the old one stopping its side). Only a failed restart reads 0.
TEST_F(SamplerTest, StatusReadShowsEachAnswerInTheRecordTheBlockAndTheBroadcast)
{
    struct Case {
        const char* answer;  // nullptr: no answer
        int error = 0, notReady = 0, busy = 0;
        const char* command = "01HTSTATUS";  // nullptr: the failed restart, nothing asked
    };
    const Case cases[] = {
        {.answer = "HT01STATUS 1,0,1,0,0,0,0"},
        {.answer = "HT01STATUS 1,0,1,0,0,0,1", .notReady = 1, .busy = 1},
        {.answer = "HT01STATUS 1,0,1,0,0,0,2", .notReady = 1, .busy = 1},
        {.answer = "HT01STATUS 1,0,1,0,0,0,3", .notReady = 1, .busy = 1},  // post-run is busy
        {.answer = "HT01STATUS 1,0,1,0,0,0,4", .error = 1, .notReady = 1},
        {.answer = "HT01STATUS 1,0,1,0,0,0,-1", .error = 1, .notReady = 1},
        {.answer = "HT02STATUS 1,0,1,0,0,0,0", .error = 1, .notReady = 1},  // another head
        {.answer = nullptr, .error = 1, .notReady = 1},
        {.answer = nullptr, .command = nullptr},
    };
    ChannelUserWindow listener;
    listener.Get();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer ? c.answer : c.command ? "no answer" : "failed restart");
        const bool failed = c.error || !c.command;
        if (!c.command)
            CVarnockAutoSampler::m_sCommsRestartFailed = 1;
        else if (c.answer)
            line->expect(c.command).reply(c.answer);
        else
            line->expect(c.command);
        if (failed)
            line->expect("CCHTPC 1").reply("HTCCPC 0");
        const int failuresBefore = listener.m_nFailures;
        CInletSystemStatus status;
        EXPECT_EQ(sampler->ReadStatus(status), c.command ? 1 : 0);
        EXPECT_EQ(listener.m_nFailures - failuresBefore, failed ? 1 : 0);
        if (!c.command) {  // reported as no channel: the record is left alone
            EXPECT_EQ(status, CInletSystemStatus());
            EXPECT_EQ(CVarnockAutoSampler::m_sCommsRestartFailed, 0);
        } else {
            EXPECT_EQ(status.GetError(), c.error);
            EXPECT_EQ(status.GetNotReady(), c.notReady);
            EXPECT_EQ(status.GetRunning(), c.busy);
            EXPECT_EQ(status.GetInjecting(), c.busy);
            const SamplerRemoteData& block = CVarnockAutoSampler::m_sStatusBlock;
            EXPECT_EQ(block.error, static_cast<std::uint32_t>(c.error));
            EXPECT_EQ(block.ready, static_cast<std::uint32_t>(!c.notReady));
            EXPECT_EQ(block.busy, static_cast<std::uint32_t>(c.busy));
        }
        if (failed) {  // the rebuilt channel, opened and started again for the next case
            ASSERT_TRUE(IsValidCommsObject(sampler->m_pSerialComms));
            ASSERT_TRUE(sampler->m_pSerialComms->OpenSerialPort());
            CHP6890SerialComms::m_sCommsStatus = 2;
        }
    }
}

TEST_F(SamplerTest, StatusBlockGoesOutWhenItChangesOrSomeoneRegisters)
{
    auto* window = sampler->m_pRegRemoteWindow = new CRegRemoteWindowALSSystem(sampler.get());
    sampler->m_bFrontInletConfigured = sampler->m_bFrontInjectorPresent = 1;
    BlockReceiver receiver;
    window->SendMessage(g_nRegisterToCommsMessage, reinterpret_cast<WPARAM>(receiver.m_hWnd));

    for (int read = 0; read < 2; ++read)
        line->expect("01HTSTATUS").reply("HT01STATUS 1,0,1,0,0,0,0");
    CInletSystemStatus status;
    EXPECT_EQ(sampler->ReadStatus(status), 1);
    EXPECT_EQ(sampler->ReadStatus(status), 1);
    ASSERT_EQ(receiver.blocks.size(), 1u);
    EXPECT_EQ(receiver.blocks[0], (std::vector<std::uint32_t>{0, 1, 0, 1, 0, 1, 0}));

    // A second registration: the same state goes out once more.
    window->SendMessage(g_nRegisterToCommsMessage, reinterpret_cast<WPARAM>(receiver.m_hWnd));
    line->expect("01HTSTATUS").reply("HT01STATUS 1,0,1,0,0,0,0");
    EXPECT_EQ(sampler->ReadStatus(status), 1);
    EXPECT_EQ(receiver.blocks.size(), 2u);

    // Without a channel the record is left alone and the block says error.
    sampler->HandleSerialCommsError();
    CInletSystemStatus untouched;
    EXPECT_EQ(sampler->ReadStatus(untouched), 1);
    EXPECT_FALSE(untouched.GetError());
    ASSERT_EQ(receiver.blocks.size(), 3u);
    EXPECT_EQ(receiver.blocks[2], (std::vector<std::uint32_t>{1, 0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(sampler->m_bStatusSendPending, 1);
}

class SamplerStartTest : public SamplerTest {
protected:
    SamplerStartTest() { startSamplerSide = false; }
};

TEST_F(SamplerStartTest, StartUpLearnsTheTypeAndTheConfiguration)
{
    scriptGCStart("HTCCID HP 6890 GC, A.REV N.0X");
    scriptSamplerStart();
    EXPECT_EQ(sampler->InitialiseComms(), 1);
    EXPECT_EQ(sampler->Type(), HP6890_REV_N);
    EXPECT_NE(home.read("registry.ini").find("6890Type=1"), std::string::npos);
    CRegRemoteWindowALSSystem* window = sampler->m_pRegRemoteWindow;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(sampler->InitialiseComms(), 1);  // already started: nothing sent
    EXPECT_EQ(sampler->m_pRegRemoteWindow, window);
    EXPECT_EQ(CVarnockAutoSampler::m_sCommsInitialised, 1);

    struct Case {
        const char* front;
        const char* back;
        const char* towers;
        int frontInlet, backInlet, frontTower, backTower;
    };
    // The three configuration answers, then what the sampler learns from them: inlets
    // configured (front, back) and towers present (front, back).
    const Case cases[] = {
        {"HTIFCW 08", "HTIBCW 07", "HTASCW 1,0,0,0", 0, 0, 0, 0},
        {"HTIFCW 09", "HTIBCW 06", "HTASCW 1,1,0,0", 1, 1, 1, 0},
        {"HTIFCW 07", "HTIBCX 01", "HTASCW 1,1,1,0", 1, 0, 1, 1},
    };
    for (const Case& c : cases) {
        sampler->m_bFrontInletConfigured = sampler->m_bBackInletConfigured = 0;
        sampler->m_bFrontInjectorPresent = sampler->m_bBackInjectorPresent = 0;
        line->expect("IFHTCW ?").reply(c.front);
        line->expect("IBHTCW ?").reply(c.back);
        line->expect("ASHTCW ?").reply(c.towers);
        EXPECT_EQ(sampler->Initialise(), 1);
        EXPECT_EQ(sampler->m_bFrontInletConfigured, c.frontInlet) << c.front;
        EXPECT_EQ(sampler->m_bBackInletConfigured, c.backInlet) << c.back;
        EXPECT_EQ(sampler->m_bFrontInjectorPresent, c.frontTower) << c.towers;
        EXPECT_EQ(sampler->m_bBackInjectorPresent, c.backTower) << c.towers;
    }
    line->expect("CCHTPC 1").reply("HTCCPC 0");
    EXPECT_EQ(sampler->CloseDownComms(), 1);
}

TEST_F(SamplerStartTest, RestoreAdoptsOnlyTheRegistrysChannel)
{
    CHP6890SerialComms* held = sampler->m_pSerialComms;
    CHP6890SerialComms stranger;
    EXPECT_EQ(sampler->SendMessage(g_nCommsRestoreMessage, 0, reinterpret_cast<LPARAM>(&stranger)),
              0);
    EXPECT_EQ(sampler->SendMessage(g_nCommsRestoreMessage, 0, reinterpret_cast<LPARAM>(held)), 1);
    EXPECT_EQ(sampler->m_pSerialComms, held);
    EXPECT_EQ(sampler->SendMessage(g_nCommsFailureMessage), 1);
    EXPECT_EQ(sampler->m_pSerialComms, nullptr);
    EXPECT_EQ(sampler->InitialiseComms(), 0);  // no channel: no registration window either
    EXPECT_EQ(sampler->m_pRegRemoteWindow, nullptr);
    EXPECT_EQ(sampler->SendMessage(g_nCommsRestoreMessage, 0, reinterpret_cast<LPARAM>(held)), 1);
    EXPECT_EQ(sampler->m_pSerialComms, held);
}

}  // namespace
}  // namespace gc6890::test
