// Start-up and shut-down of the channel's GC and sampler sides.
#include "support/scripted_instrument.h"

namespace gc6890::test {
namespace {

TEST_F(ChannelTest, GCStartEchoesTwelveAddressesAndReadsTheFirmware)
{
    line->unsolicited("HTGCST 0,0");  // a stale report before the first echo is discarded
    scriptGCStart("HTCCID HP 6890 GC, A.03.08 REV 2");
    ASSERT_EQ(channel->StartGCComms(), 1);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 1);
    EXPECT_EQ(channel->GetFirmwareVersion(), "A.03.08 REV");
    EXPECT_EQ(channel->StartGCComms(), 1);  // already started: no traffic
}

TEST_F(ChannelTest, StaleLinesKeepTheEchoTestNoLongerThanOneTimeOut)
{
    TestClock clock;
    ASSERT_TRUE(channel->OpenSerialPort());
    line->expect("CCHTEO \"1234\"").reply("HTGCST 0,0").reply("HTCCEO \"1234\"");
    // The report takes the whole time-out to arrive; the echo behind it is too late.
    line->duringNextRead = [&] {
        clock.advance(static_cast<std::uint64_t>(channel->PortSettings().timeoutMs));
    };
    CString buffer;
    EXPECT_EQ(channel->CheckChannel(buffer, "CC"), 0);
    EXPECT_EQ(buffer, "HTGCST 0,0");
}

// (Another product is refused by the GC object's start, gc_system_test.cpp.)
TEST_F(ChannelTest, ASilentModuleFailsTheStart)
{
    scriptEcho("CC");
    line->expect("GCHTEO \"1234\"");  // no answer
    EXPECT_EQ(channel->StartGCComms(), 0);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 0);
}

// A busy pass-through port is freed by closing all sixteen and asked for again; one that
// stays busy through every retry ends the start and closes the port.
TEST_F(ChannelTest, BusyPassThroughPortIsFreedByClosingAllSixteenOrEndsTheStart)
{
    for (const int busyAnswers : {1, CHP6890SerialComms::kPassThroughRetries + 1}) {
        SCOPED_TRACE(busyAnswers);
        const bool freed = busyAnswers == 1;
        scriptGCStart();
        scriptEcho("AS");
        for (int attempt = 0; attempt < busyAnswers; ++attempt) {
            line->expect("CCHTPO 1").reply("HTCCPO 14");
            for (const char port : std::string_view("0123456789ABCDEF"))
                line->expect(std::string("CCHTPC ") + port).reply("HTCCPC 0");
        }
        if (freed)
            line->expect("CCHTPO 1").reply("HTCCPO 0");
        ASSERT_EQ(channel->StartALSComms(), freed ? 1 : 0);
        // The GC side was not asked for.
        EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, freed ? 2 : 0);
        EXPECT_EQ(line->isOpen(), freed);
        if (freed) {
            line->expect("CCHTPC 1").reply("HTCCPC 0");
            ASSERT_EQ(channel->StopALSComms(), 1);
            EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 0);
            EXPECT_FALSE(line->isOpen());  // the sampler alone: stopping it closes the port
        }
    }
}

// Stopping either side keeps the port open for the other; a GC start while the sampler
// runs echoes the controller once more.
TEST_F(ChannelTest, BothSidesShareThePort)
{
    scriptGCStart();
    ASSERT_EQ(channel->StartGCComms(), 1);
    scriptSamplerStart();
    ASSERT_EQ(channel->StartALSComms(), 1);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 3);

    line->expect("CCHTPC 1").reply("HTCCPC 0");
    ASSERT_EQ(channel->StopALSComms(), 1);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 1);
    EXPECT_TRUE(line->isOpen());
    ASSERT_EQ(channel->StopGCComms(), 1);
    EXPECT_FALSE(line->isOpen());

    scriptGCStart();
    scriptSamplerStart();
    ASSERT_EQ(channel->StartALSComms(), 1);
    for (const char* address :
         {"CC", "GC", "S1", "S2", "SS", "OV", "DF", "IF", "C1", "A1", "V1", "DT", "CC"})
        scriptEcho(address);
    ASSERT_EQ(channel->StartGCComms(), 1);
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 3);

    ASSERT_EQ(channel->StopGCComms(), 1);  // the sampler still needs the port
    EXPECT_EQ(CHP6890SerialComms::m_sCommsStatus, 2);
    EXPECT_TRUE(line->isOpen());
    line->expect("CCHTPC 1").reply("HTCCPC 0");  // the destructor stops the sampler side
}

}  // namespace
}  // namespace gc6890::test
