// Line exchanges of the serial channel, to the byte, over the scripted line.
#include "support/scripted_instrument.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "comms/reply_values.h"
#include "support/child_process.h"

namespace gc6890::test {
namespace {

TEST_F(ChannelTest, NothingPassesOnASideThatIsNotStartedUnlessForced)
{
    ASSERT_TRUE(channel->OpenSerialPort());
    CString text = "GCHTD1 hello";  // unscripted yet: written, it fails the test
    EXPECT_EQ(channel->WriteStringToGC(text, 0), 0);
    EXPECT_EQ(channel->WriteStringToALS(text, 0), 0);
    EXPECT_EQ(channel->ReceiveStringFromGC(text, 0), 0);

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

// Each value as atoi, or atof when it holds a point, reads it, whatever its length and form.
TEST(ReplyValuesTest, ValuesAreReadAsTheCLibraryReadsThem)
{
    struct Case {
        const char* value;
        int asInt = 0;
        float asFloat = 0;
        bool isFloat = false;
    };
    const Case cases[] = {
        {.value = "123456789", .asInt = 123456789},
        {.value = "-987654321", .asInt = -987654321},
        {.value = "2147483648", .asInt = INT32_MIN},     // atoi narrows what strtol read
        {.value = "99999999999999999999", .asInt = -1},  // strtol saturates first
        {.value = "+7", .asInt = 7},
        {.value = " 12", .asInt = 12},
        {.value = "1e3", .asInt = 1},
        {.value = "0012.50", .asFloat = 12.5f, .isFloat = true},
        {.value = "-.5", .asFloat = -0.5f, .isFloat = true},
        {.value = "1.5e3", .asFloat = 1500.0f, .isFloat = true},
        {.value = "0x1.8", .asFloat = 1.5f, .isFloat = true},
        {.value = "+-1.5", .asFloat = 0.0f, .isFloat = true},
        // Just above halfway between two floats: rounded to double it is halfway, and then
        // to the even float below; rounded straight to float it would be the one above.
        {.value = "1.000000059604644775390625000000001", .asFloat = 1.0f, .isFloat = true},
    };
    std::string reply = "HTGCST ";
    for (const Case& c : cases)
        reply += std::string(c.value) + ",";
    CIntFloatArray values(static_cast<int>(std::size(cases)));
    ASSERT_EQ(parseReplyValues(reply, values), 1);
    for (int i = 0; i < values.GetSize(); ++i) {
        if (cases[i].isFloat)
            EXPECT_EQ(values.GetFloat(i), cases[i].asFloat) << cases[i].value;
        else
            EXPECT_EQ(values.GetInt(i), cases[i].asInt) << cases[i].value;
    }
    // The values follow the first blank, which must stand at the seventh character or later.
    CIntFloatArray one(1);
    EXPECT_EQ(parseReplyValues("HTGCST 5", one), 1);
    EXPECT_EQ(parseReplyValues("HTGCS 5", one), 0);
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

// The port mutex is the device's: another program holding one device's mutex keeps no
// one off another device, and still keeps this channel off its own device, even when the
// device is named through a link.
TEST_F(ChannelTest, ThePortMutexExcludesOnlyUsersOfTheSameDevice)
{
    const std::string held = home.path() + "/ttyA", other = home.path() + "/ttyB";
    std::ofstream{held};
    std::ofstream{other};
    std::filesystem::create_symlink(held, home.path() + "/gc");
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t holder = inChild([&] {
        CMutex mutex(FALSE, portMutexName(held).c_str());
        return mutex.Lock(0) && write(ready[1], "h", 1) == 1 && awaitByte(done[0]) ? 0 : 1;
    });
    ASSERT_TRUE(awaitByte(ready[0]));
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\Timeout", 100, HKEY_LOCAL_MACHINE);
    CHP6890SerialComms::m_sCommsStatus = 1;
    for (const std::string& device : {other, home.path() + "/gc"}) {
        WriteRegistryPath("Inlets\\Hubrel\\Varnock\\Port", CString(device), HKEY_LOCAL_MACHINE);
        ASSERT_EQ(channel->SetupReg(), 1);
        ASSERT_TRUE(channel->OpenSerialPort());
        CString text = "GCHTD1 x";
        if (device == other)
            line->expect("GCHTD1 x");
        EXPECT_EQ(channel->WriteStringToGC(text, 0), device == other ? 1 : 0) << device;
        channel->CloseSerialPort();
    }
    CHP6890SerialComms::m_sCommsStatus = 0;
    EXPECT_NE(home.read("c/dravik/hp6890.err").find("held by another program"), std::string::npos);
    ASSERT_EQ(write(done[1], "d", 1), 1);
    EXPECT_EQ(waitForChild(holder), 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
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
    // The exchange observer hears of each written line's answer, or its absence; a read
    // without a line written before it (a late answer) is no exchange.
    std::vector<bool> exchanges;
    SetExchangeObserver(
        [&](std::chrono::nanoseconds, bool answered) { exchanges.push_back(answered); });
    ASSERT_TRUE(channel->OpenSerialPort());
    CHP6890SerialComms::m_sCommsStatus = 1;
    line->expect("GCHTRY").reply("HTGCRY 1,1");
    CIntFloatArray readiness(2);
    EXPECT_EQ(channel->SendAndReceiveToGC(CString("GCHTRY"), readiness), 1);
    line->expect("GCHTST").hangUpAfterLastExpect();
    CIntFloatArray values(15);
    EXPECT_EQ(channel->SendAndReceiveToGC(CString("GCHTST"), values), 0);
    EXPECT_EQ(CHP6890SerialComms::Busy(), 0);

    line->reconnect();
    line->reply("HTGCST 1");
    CString text;
    EXPECT_EQ(channel->ReceiveStringFromGC(text, 0), 1);
    EXPECT_EQ(text, "HTGCST 1");
    SetExchangeObserver({});
    EXPECT_EQ(exchanges, (std::vector<bool>{true, false}));
}

// A line that sends without end and never ends a line.
class ChatteringLine : public ScriptedLine {
public:
    ReadResult read(char* buffer, std::size_t size, int) override
    {
        // A byte now and then: far below the line-length bound, which a faster line
        // would reach within the time-out and so end the read with an over-long line.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::size_t count = std::min<std::size_t>(size, 16);
        std::fill_n(buffer, count, 'x');
        return {ReadStatus::Data, count};
    }
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

TEST_F(ChannelTest, FirstRunStoresDefaultPortSettingsOnce)
{
    const char* path = "Inlets\\Hubrel\\Varnock\\Timeout";
    int timeout = 0;
    ASSERT_TRUE(ReadRegistryPath(path, timeout, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(timeout, 45000);

    // A user's later change survives the next channel.
    WriteRegistryPath(path, 2000, HKEY_LOCAL_MACHINE);
    channel = std::make_unique<CHP6890SerialComms>();
    EXPECT_EQ(channel->PortSettings().timeoutMs, 2000);
}

}  // namespace
}  // namespace gc6890::test
