// Line exchanges of the serial channel, to the byte, over the scripted line.
#include "support/scripted_instrument.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace gc6890::test {
namespace {

TEST_F(ChannelTest, NothingPassesOnASideThatIsNotStartedUnlessForced)
{
    ASSERT_TRUE(channel->OpenSerialPort());
    CString text = "GCHTD1 hello";
    EXPECT_EQ(channel->WriteStringToGC(text, 0), 0);
    EXPECT_EQ(channel->WriteStringToALS(text, 0), 0);
    EXPECT_EQ(channel->ReceiveStringFromGC(text, 0), 0);
    EXPECT_TRUE(line->written().empty());

    line->expect("GCHTD1 hello");
    EXPECT_EQ(channel->WriteStringToGC(text, 1), 1);
    EXPECT_EQ(text, "GCHTD1 hello\n");  // the caller's string carries the line feed
}

TEST_F(ChannelTest, AReplyMustCarryEverySlot)
{
    struct Case {
        const char* reply;
        int result;
    };
    const Case cases[] = {
        {"HTGCRI 1,2,3,4,5.50,6,7,8,9", 1},
        {"HTGCRI 1,2,3,4,5.50,6,7,8", 0},       // eight values for nine slots
        {"HTGCRI 1,2,3,4,5.50,6,7,8,9,10", 1},  // the tenth is ignored
        {"HTGCRI 1,2,,4,5,6,7,8,9", 0},         // an empty value ends the reply
        {"HTGCRY 1,2,3,4,5,6,7,8,9", 0},        // another operation
        {"GCHTRI 1,2,3,4,5,6,7,8,9", 0},        // addresses not swapped
        {"HTGCRI1,2,3,4,5,6,7,8,9", 0},         // no blank after the head
    };
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 1;
    for (const Case& c : cases) {
        line->expect("GCHTRI").reply(c.reply);
        CIntFloatArray values(9);
        EXPECT_EQ(channel->SendAndReceiveToGC(CString("GCHTRI"), values), c.result) << c.reply;
        if (c.result) {
            EXPECT_EQ(values.GetInt(0), 1);
            EXPECT_FLOAT_EQ(values.GetFloat(4), 5.5f);  // a point makes a float
            EXPECT_EQ(values.GetInt(8), 9);
        }
    }
}

TEST_F(ChannelTest, SamplerOperationsLongerThanTwoLettersAreChecked)
{
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 2;
    line->expect("01HTSTATUS").reply("HT01STATUS 0,0,0,0,0,0,3");
    CIntFloatArray values(7);
    EXPECT_EQ(channel->SendAndReceiveToALS(CString("01HTSTATUS"), values), 1);
    EXPECT_EQ(values.GetInt(6), 3);
    EXPECT_EQ(values.GetInt(99), 0);  // outside the array: slot 0

    line->expect("01HTRTN_ALL").reply("HT01RTN_AL 0");
    EXPECT_EQ(channel->SendAndReceiveToALS(CString("01HTRTN_ALL"), values), 0);
    line->expect("CCHTPC 1").reply("HTCCPC 0");  // the destructor stops the sampler side
}

TEST_F(ChannelTest, RawExchangeWritesEachLineAndJoinsTheReplies)
{
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 1;
    line->expect("CCHTMD C;\"A;\"").reply("HTCCMD 0");
    line->expect("CCHTMD E").reply("HTCCMD 1");
    CString replies = "stale";
    EXPECT_EQ(channel->SendAndReceiveToGC(CString("CCHTMD C;\"A;\"\nCCHTMD E"), replies), 1);
    EXPECT_EQ(replies, "HTCCMD 0HTCCMD 1");

    CString none = "x";
    EXPECT_EQ(channel->SendAndReceiveToGC(CString(""), none), 1);
    EXPECT_EQ(none, "");
}

TEST_F(ChannelTest, AHungUpLineFailsTheReadAndTheNextReadProceeds)
{
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 1;
    line->expect("GCHTST").hangUpAfterLastExpect();
    CIntFloatArray values(15);
    EXPECT_EQ(channel->SendAndReceiveToGC(CString("GCHTST"), values), 0);
    EXPECT_EQ(CHP6890SerialComms::Busy(), 0);

    line->reconnect();
    line->reply("HTGCST 1");
    CString text;
    EXPECT_EQ(channel->ReceiveStringFromGC(text, 0), 1);
    EXPECT_EQ(text, "HTGCST 1");
}

// A line that sends without end and never ends a line.
class ChatteringLine : public SerialPortBackend {
public:
    bool open(std::string&) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool write(std::string_view, int) override { return true; }
    ReadResult read(char* buffer, std::size_t size, int) override
    {
        // A byte now and then: far below the line-length bound, which a faster line
        // would reach within the time-out and so end the read with an over-long line.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::size_t count = std::min<std::size_t>(size, 16);
        std::fill_n(buffer, count, 'x');
        return {ReadStatus::Data, count};
    }
    std::string describe() const override { return "chattering line"; }

private:
    bool m_open = false;
};

TEST_F(ChannelTest, ALineThatNeverEndsALineFailsTheReadAtTheTimeOut)
{
    SetSerialBackendFactory([](const PortSettings&) { return std::make_shared<ChatteringLine>(); });
    channel->SetTimeout(20);
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 1;
    CString text;
    EXPECT_EQ(channel->ReceiveStringFromGC(text, 0), 0);
    EXPECT_EQ(CHP6890SerialComms::Busy(), 0);
    CHP6890SerialComms::m_sCommsStatus = 0;
}

TEST_F(ChannelTest, TrafficIsLoggedAtSeverityTwoAndFailedReadsAtOne)
{
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\IgnoreSeverityLevel", 2, HKEY_LOCAL_MACHINE);
    channel = std::make_unique<CHP6890SerialComms>();  // the threshold is read at construction
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 1;
    line->expect("GCHTRY").reply("HTGCRY 1");
    CIntFloatArray values(1);
    ASSERT_EQ(channel->SendAndReceiveToGC(CString("GCHTRY"), values), 1);
    CString text;
    EXPECT_EQ(channel->ReceiveStringFromGC(text, 0), 0);  // nothing comes: time-out

    const std::string log = home.read("c/dravik/hp6890.err");
    EXPECT_NE(log.find("\t\tWriting\t(GCHTRY)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t\tReceived\t(HTGCRY 1)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t\tReceived\t()\n"), std::string::npos) << log;
}

TEST_F(ChannelTest, FirstRunStoresDefaultPortSettingsOnce)
{
    CString flag;
    ASSERT_TRUE(ReadRegistryPath("Inlets\\Hubrel\\Varnock\\Communications\\DefaultSettings", flag,
                                 HKEY_LOCAL_MACHINE));
    EXPECT_EQ(flag, "FALSE");
    int timeout = 0;
    ASSERT_TRUE(ReadRegistryPath("Inlets\\Hubrel\\Varnock\\Timeout", timeout, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(timeout, 45000);

    // A user's later change survives the next channel.
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\Timeout", 2000, HKEY_LOCAL_MACHINE);
    channel = std::make_unique<CHP6890SerialComms>();
    EXPECT_EQ(channel->PortSettings().timeoutMs, 2000);
}

}  // namespace
}  // namespace gc6890::test
