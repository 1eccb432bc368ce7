// Discovery in process: the TXT record the SiLA 2 server announces (its keys, the CA one PEM
// line per entry, the 255-byte limit of an entry kept without splitting a character), and
// the announcer where no daemon runs. With a daemon: tests/sila/discovery_test.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "service/sila/discovery_announcer.h"
#include "service/sila/discovery_record.h"
#include "support/scoped_env.h"

namespace gc6890::sila {
namespace {

std::string repeated(const std::string& piece, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

struct TxtCase {
    const char* what;
    DiscoveryFacts facts;
    std::vector<std::string> expected;
};

const std::string kBody1 = repeated("MIIB", 16);  // a full 64-character PEM line
const std::string kBody2 = "AwEHoUQDQgAE";

const TxtCase kCases[] = {
    {"no CA: the three keys only",
     {"GC 1", "Gas chromatograph on /dev/ttyS0", ""},
     {"version=1.1", "server_name=GC 1", "description=Gas chromatograph on /dev/ttyS0"}},
    {"the CA one line per entry, from the BEGIN line to the END line",
     {"GC", "d",
      "-----BEGIN CERTIFICATE-----\n" + kBody1 + "\n" + kBody2 + "\n-----END CERTIFICATE-----\n"},
     {"version=1.1", "server_name=GC", "description=d", "ca0=-----BEGIN CERTIFICATE-----",
      "ca1=" + kBody1, "ca2=" + kBody2, "ca3=-----END CERTIFICATE-----"}},
    {"CRLF line ends, blank lines and no final line end leave no entry of their own",
     {"GC", "d",
      "\r\n-----BEGIN CERTIFICATE-----\r\n" + kBody2 + "\r\n\r\n-----END CERTIFICATE-----"},
     {"version=1.1", "server_name=GC", "description=d", "ca0=-----BEGIN CERTIFICATE-----",
      "ca1=" + kBody2, "ca2=-----END CERTIFICATE-----"}},
    {"a name in UTF-8 stays as it is; a stray byte becomes U+FFFD",
     {"Gaschromatograph S\xc3\xbc"
      "d \xe2\x9c\x93",
      "Labor \xff", ""},
     {"version=1.1",
      "server_name=Gaschromatograph S\xc3\xbc"
      "d \xe2\x9c\x93",
      "description=Labor \xef\xbf\xbd"}},
    {"an entry of exactly 255 bytes is kept whole",
     {"GC", repeated("x", 255 - 12), ""},
     {"version=1.1", "server_name=GC", "description=" + repeated("x", 243)}},
    {"one byte more is cut to 255",
     {"GC", repeated("x", 244), ""},
     {"version=1.1", "server_name=GC", "description=" + repeated("x", 243)}},
    {"a long UTF-8 name is cut before the character that would not fit whole",
     // "server_name=" is 12 bytes: 121 two-byte characters make 254, the 122nd would be 256.
     {repeated("\xc3\xa9", 200), "d", ""},
     {"version=1.1", "server_name=" + repeated("\xc3\xa9", 121), "description=d"}},
};

TEST(DiscoveryTxt, IsTheKeysAndTheCaLineByLine)
{
    for (const TxtCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> txt = discoveryTxt(c.facts);
        EXPECT_EQ(txt, c.expected);
        for (const std::string& entry : txt)
            EXPECT_LE(entry.size(), kMaxTxtEntryBytes);
    }
}

// No system bus (containers, CI): one line, and the announcer is a quiet no-op after it.
TEST(DiscoveryAnnouncer, WithoutADaemonSaysSoOnceAndStaysQuiet)
{
    test::ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/gc6890-test-bus");
    testing::internal::CaptureStderr();
    {
        DiscoveryAnnouncer announcer(
            {"0c4bd1c2-3f0e-4a55-9d4b-2f6f4b3a9e10", 50052, true, discoveryTxt({"GC", "d", ""})});
        announcer.updateTxt(discoveryTxt({"GC 2", "d", ""}));
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("not announced"), std::string::npos) << log;
}

}  // namespace
}  // namespace gc6890::sila
