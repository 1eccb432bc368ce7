// The settings store: values by path, the file's form, writers in other processes (at
// once, and killed in the middle of a write), and a store that cannot be parsed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/platform.h"
#include "platform/secret_settings.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

namespace {

using gc6890::SettingsStore;
using gc6890::test::TempHome;

const std::string kPort = "Inlets\\Hubrel\\Varnock\\";  // the port's values live here

int countBadStores(const std::string& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().filename().string().rfind("registry.ini.bad-", 0) == 0;
    return count;
}

// Each test in a fresh home, whose store file a hand (or another program) may have left.
class SettingsStoreTest : public ::testing::Test {
protected:
    void writeStoreFile(const std::string& text) { home.write("registry.ini", text); }
    TempHome home;
};

TEST_F(SettingsStoreTest, ValuesRoundTripByPathIntoTheHomeFile)
{
    SettingsStore store;
    EXPECT_EQ(store.filePath(), home.path() + "/registry.ini");
    ASSERT_TRUE(store.writeText(kPort + "Port", "/dev/ttyUSB0"));
    ASSERT_TRUE(store.writeInt(kPort + "MethodRetry", 2));
    ASSERT_TRUE(store.writeInt("Inlets\\Hubrel\\System Timings\\Status Frequency", 5500));
    ASSERT_TRUE(store.writeInt(kPort + "MethodRetry", 3));  // replaced in place

    EXPECT_EQ(home.read("registry.ini"),
              "[Inlets\\Hubrel\\Varnock]\nPort=/dev/ttyUSB0\nMethodRetry=3\n\n"
              "[Inlets\\Hubrel\\System Timings]\nStatus Frequency=5500\n");
    int retry = 0;
    EXPECT_TRUE(
        SettingsStore().readInt("inlets\\hubrel\\varnock\\methodretry", retry));  // any case
    EXPECT_EQ(retry, 3);
    std::string port;
    EXPECT_TRUE(store.readText(kPort + "Port", port));
    EXPECT_EQ(port, "/dev/ttyUSB0");

    // A value may hold "=": only the first one ends the name.
    ASSERT_TRUE(store.writeText(kPort + "Service", "http://gc/?a=b=c"));
    std::string service;
    EXPECT_TRUE(SettingsStore().readText(kPort + "Service", service));
    EXPECT_EQ(service, "http://gc/?a=b=c");
}

TEST_F(SettingsStoreTest, AbsentOrUnparsableValuesLeaveTheDefault)
{
    SettingsStore store;
    int value = 45000;
    EXPECT_FALSE(store.readInt(kPort + "Timeout", value));  // no file yet
    EXPECT_EQ(value, 45000);
    ASSERT_TRUE(store.writeText(kPort + "Timeout", "45 s"));
    ASSERT_TRUE(store.writeText(kPort + "Huge", "99999999999"));
    EXPECT_FALSE(store.readInt(kPort + "Timeout", value));
    EXPECT_FALSE(store.readInt(kPort + "Huge", value));
    EXPECT_EQ(value, 45000);
    EXPECT_FALSE(store.writeText(kPort, "x"));             // no value name
    EXPECT_FALSE(store.writeText(kPort + "Two", "a\nb"));  // one line per value
    // The whole range of an int reads; one past either end does not.
    ASSERT_TRUE(store.writeText(kPort + "Max", "2147483647"));
    ASSERT_TRUE(store.writeText(kPort + "Min", "-2147483648"));
    ASSERT_TRUE(store.writeText(kPort + "Past", "2147483648"));
    ASSERT_TRUE(store.writeText(kPort + "Below", "-2147483649"));
    EXPECT_FALSE(store.readInt(kPort + "Past", value));
    EXPECT_FALSE(store.readInt(kPort + "Below", value));
    EXPECT_TRUE(store.readInt(kPort + "Max", value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_TRUE(store.readInt(kPort + "Min", value));
    EXPECT_EQ(value, INT_MIN);
}

TEST_F(SettingsStoreTest, HandEditedFileKeepsItsCommentsAndSpacing)
{
    const std::string edited =
        "; port settings\n[Inlets\\Hubrel\\Varnock]\n  Timeout = 30000 \r\n# end\n";
    writeStoreFile(edited);
    SettingsStore store;
    int timeout = 0;
    EXPECT_TRUE(store.readInt(kPort + "Timeout", timeout));
    EXPECT_EQ(timeout, 30000);
    ASSERT_TRUE(store.writeInt(kPort + "BaudRate", 9600));
    EXPECT_EQ(home.read("registry.ini"), edited + "BaudRate=9600\n");
}

// Read first or written first, a store that cannot be parsed is set aside once (and named
// once, with its line), and the store starts again from the defaults.
TEST_F(SettingsStoreTest, StoreThatCannotBeParsedIsSetAsideOnceAndDefaultsApply)
{
    writeStoreFile("[Inlets\\Hubrel\\Varnock]\nMethodRetry=5\nthis line means nothing\n");
    SettingsStore store;
    testing::internal::CaptureStderr();
    int retry = 2;
    EXPECT_FALSE(store.readInt(kPort + "MethodRetry", retry));
    EXPECT_FALSE(store.readInt(kPort + "MethodRetry", retry));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(retry, 2);
    EXPECT_NE(said.find("line 3"), std::string::npos) << said;
    EXPECT_EQ(said.find("cannot be parsed"), said.rfind("cannot be parsed"))
        << "reported once: " << said;
    EXPECT_EQ(countBadStores(home.path()), 1);
    ASSERT_TRUE(store.writeInt(kPort + "FailureSleep", 1000));
    EXPECT_EQ(home.read("registry.ini"), "[Inlets\\Hubrel\\Varnock]\nFailureSleep=1000\n");

    writeStoreFile("[unclosed\n");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(SettingsStore().writeInt("Key\\Value", 1));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(countBadStores(home.path()), 2);
    EXPECT_EQ(home.read("registry.ini"), "[Key]\nValue=1\n");
}

TEST_F(SettingsStoreTest, TwoWriterProcessesLoseNothing)
{
    constexpr int valuesEach = 40;
    auto key = [](int w, int i) {
        return "Writers\\W" + std::to_string(w) + "\\V" + std::to_string(i);
    };
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = gc6890::test::inChild([&] {
            SettingsStore store;
            bool ok = true;
            for (int i = 0; i < valuesEach; ++i)
                ok = store.writeInt(key(w, i), i * 10 + w) && ok;
            return ok ? 0 : 1;
        });
        ASSERT_GE(writers[w], 0);
    }
    for (pid_t writer : writers)
        ASSERT_EQ(gc6890::test::waitForChild(writer), 0);  // exited, with 0
    SettingsStore store;
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < valuesEach; ++i) {
            int value = -1;
            EXPECT_TRUE(store.readInt(key(w, i), value));
            EXPECT_EQ(value, i * 10 + w);
        }
}

int g_pausePipe = -1;
void pauseInsideWrite()
{
    const char byte = 'p';
    if (write(g_pausePipe, &byte, 1) != 1)
        _exit(3);
    for (;;)
        pause();
}

TEST_F(SettingsStoreTest, WriterKilledMidWriteLeavesThePreviousStore)
{
    SettingsStore store;
    ASSERT_TRUE(store.writeInt(kPort + "MethodRetry", 2));
    int signal[2];
    ASSERT_EQ(pipe(signal), 0);
    const pid_t writer = gc6890::test::inChild([&] {
        close(signal[0]);
        g_pausePipe = signal[1];
        gc6890::setSettingsWriteHook(&pauseInsideWrite);
        SettingsStore(store.filePath()).writeInt(kPort + "MethodRetry", 9);
        return 4;
    });
    ASSERT_GE(writer, 0);
    close(signal[1]);
    const bool paused = gc6890::test::awaitByte(signal[0]);
    close(signal[0]);
    kill(writer, SIGKILL);
    gc6890::test::waitForChild(writer);
    ASSERT_TRUE(paused);

    int retry = 0;
    EXPECT_TRUE(store.readInt(kPort + "MethodRetry", retry));
    EXPECT_EQ(retry, 2);
    // The dead writer's lock went with it: the next write goes through.
    ASSERT_TRUE(store.writeInt(kPort + "FailureSleep", 1000));
    EXPECT_TRUE(store.readInt(kPort + "MethodRetry", retry));
    EXPECT_EQ(retry, 2);
    EXPECT_EQ(countBadStores(home.path()), 0);
}

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

// The store may hold the service's token and the broker's password: whatever the umask, a
// home made for it and the store written into it are their user's alone, and a store left
// readable by an older version is private again after its next write.
TEST_F(SettingsStoreTest, TheHomeAndTheStoreAreTheirUsersAloneWhateverTheUmask)
{
    const mode_t umask = ::umask(0);
    const std::string fresh = home.path() + "/made";
    {
        gc6890::test::ScopedEnv made("GC6890_HOME", fresh);
        ASSERT_TRUE(SettingsStore().writeText(kPort + "Token", "t"));
        ASSERT_TRUE(gc6890::makeDirectories(fresh + "/methods"));
    }
    EXPECT_EQ(modeOf(fresh), 0700u);
    EXPECT_EQ(modeOf(fresh + "/registry.ini"), 0600u);
    EXPECT_EQ(modeOf(fresh + "/methods"), 0755u) << "only the home itself is closed";

    writeStoreFile("[Inlets\\Hubrel\\Varnock]\nToken=t\n");
    ASSERT_EQ(::chmod((home.path() + "/registry.ini").c_str(), 0644), 0);
    ASSERT_TRUE(SettingsStore().writeText(kPort + "Port", "sim"));
    EXPECT_EQ(modeOf(home.path() + "/registry.ini"), 0600u);
    ::umask(umask);
}

TEST(SecretSettingTest, CredentialsAreMaskedAndEverythingElseShown)
{
    const struct {
        const char* path;
        const char* value;
        const char* shown;
    } rows[] = {
        {"Inlets\\Hubrel\\Varnock\\Token", "0123456789abcdef", "********"},
        {"Inlets\\Hubrel\\Service\\MqttPassword", "x", "********"},
        {"Some\\Later\\ApiSecret", "s", "********"},
        {"Inlets\\Hubrel\\Varnock\\Token", "", ""},
        {"Inlets\\Hubrel\\Service\\MqttPasswordFile", "/etc/pw", "/etc/pw"},
        {"Inlets\\Hubrel\\Service\\MqttUser", "gc", "gc"},
        {"Inlets\\Hubrel\\Varnock\\Port", "/dev/ttyS0", "/dev/ttyS0"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(gc6890::shownSettingValue(row.path, row.value), row.shown) << row.path;
}

TEST(DrivePathTest, DriveCMapsUnderTheHomeTheEnvironmentChooses)
{
    TempHome home;
    EXPECT_EQ(gc6890::homeDirectory(), home.path());
    EXPECT_EQ(gc6890::mapDrivePath("c:\\dravik\\hp6890.err"), home.path() + "/c/dravik/hp6890.err");
    EXPECT_EQ(gc6890::mapDrivePath("C:\\6890dump.txt"), home.path() + "/c/6890dump.txt");
    EXPECT_EQ(gc6890::mapDrivePath("c:\\a\\b\\c\\d.txt"), home.path() + "/c/a/b/c/d.txt");
    EXPECT_EQ(gc6890::mapDrivePath("/var/log/x\\y"), "/var/log/x\\y");
    EXPECT_EQ(gc6890::mapDrivePath("d:\\data.txt"), "d:\\data.txt");
    EXPECT_EQ(gc6890::mapDrivePath("c:"), "c:");

    // The home itself: chosen by the environment, in this order.
    const char* const kFallback = "/home/someone/.local/share/gc6890";
    struct Case {
        const char* gc6890Home;
        const char* xdgDataHome;
        const char* expected;
    };
    const Case cases[] = {
        {.gc6890Home = "/srv/gc/", .xdgDataHome = "/data", .expected = "/srv/gc"},
        {.gc6890Home = "", .xdgDataHome = "/data/", .expected = "/data/gc6890"},
        {.gc6890Home = "", .xdgDataHome = "relative", .expected = kFallback},
        {.gc6890Home = "", .xdgDataHome = "", .expected = kFallback},
    };
    gc6890::test::ScopedEnv user("HOME", "/home/someone");
    for (const Case& c : cases) {
        gc6890::test::ScopedEnv own("GC6890_HOME", c.gc6890Home);
        gc6890::test::ScopedEnv data("XDG_DATA_HOME", c.xdgDataHome);
        EXPECT_EQ(gc6890::homeDirectory(), c.expected) << c.gc6890Home << " " << c.xdgDataHome;
    }
}

}  // namespace
