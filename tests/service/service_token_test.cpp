// The service's token file: made once, safely, and refused with the fix named when it
// cannot be trusted.
#include "service/service_token.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "service/home_privacy.h"
#include "support/temp_home.h"

namespace gc6890 {
namespace {

class ServiceTokenFile : public ::testing::Test {
protected:
    std::string path() const { return home.path() + "/service-token"; }
    void plant(const std::string& text, mode_t mode = 0600)
    {
        home.write("service-token", text);
        ASSERT_EQ(::chmod(path().c_str(), mode), 0);
    }
    // The error loadOrMakeServiceToken() gives, "" when it gave a token.
    std::string refusal()
    {
        try {
            loadOrMakeServiceToken();
            return "";
        } catch (const std::exception& error) {
            return error.what();
        }
    }
    test::TempHome home;
};

const std::string kToken(40, 'a');

// Starts at once agree on one token, made with mode 600 and read back; line endings are
// dropped, and an empty file is replaced.
TEST_F(ServiceTokenFile, IsMadeOnceByStartsAtOnceWithModeSixHundredAndReadBack)
{
    std::string tokens[4];
    std::vector<std::thread> starts;
    for (std::string& token : tokens)
        starts.emplace_back([&token] {
            try {
                token = loadOrMakeServiceToken();
            } catch (const std::exception& error) {
                token = error.what();
            }
        });
    for (std::thread& start : starts)
        start.join();
    const std::string made = tokens[0];
    EXPECT_EQ(made.size(), 64u) << made;
    EXPECT_EQ(made.find_first_not_of("0123456789abcdef"), std::string::npos);
    for (const std::string& token : tokens)
        EXPECT_EQ(token, made);
    struct stat info {};
    ASSERT_EQ(::stat(path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(home.read("service-token"), made + "\n");
    EXPECT_EQ(loadOrMakeServiceToken(), made);

    plant(kToken + "\r\n");
    EXPECT_EQ(loadOrMakeServiceToken(), kToken);
    plant("");
    const std::string fresh = loadOrMakeServiceToken();
    EXPECT_EQ(fresh.size(), 64u);
    EXPECT_EQ(home.read("service-token"), fresh + "\n");
}

TEST_F(ServiceTokenFile, UntrustworthyFilesAreRefusedNamingTheFileAndTheFix)
{
    const struct {
        const char* what;
        std::function<void()> plant;
        std::string said;
    } rows[] = {
        {"a link to another file",
         [&] {
             home.write("elsewhere", kToken);
             ASSERT_EQ(::symlink((home.path() + "/elsewhere").c_str(), path().c_str()), 0);
         },
         "is a symbolic link: remove it"},
        {"a link to nothing yet",
         [&] { ASSERT_EQ(::symlink((home.path() + "/nothing").c_str(), path().c_str()), 0); },
         "is a symbolic link: remove it"},
        {"one character", [&] { plant("x\n"); }, "holds a token of 1 characters"},
        {"readable by the group", [&] { plant(kToken, 0640); }, "chmod 600 " + path()},
        {"another user's",
         [&] {
             plant(kToken);
             ASSERT_EQ(::chown(path().c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)), 0);
         },
         "belongs to another user"},
        {"two lines", [&] { plant(kToken + "\n" + kToken + "\n"); }, "more than one line"},
        {"a folder", [&] { ASSERT_EQ(::mkdir(path().c_str(), 0700), 0); }, "not a regular file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::remove(path().c_str());
        ::rmdir(path().c_str());
        row.plant();
        const std::string said = refusal();
        EXPECT_NE(said.find(path()), std::string::npos) << said;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
    }
}

// The service warns once at its start about a home other users can get into, naming the
// secrets they can read; a private home, or one others may enter but whose secrets are
// private, is told apart.
TEST_F(ServiceTokenFile, AHomeOthersCanEnterIsNamedWithTheSecretsTheyCanRead)
{
    loadOrMakeServiceToken();
    home.write("registry.ini", "[Inlets\\Hubrel\\Varnock]\nToken=x\n");
    ASSERT_EQ(::chmod((home.path() + "/registry.ini").c_str(), 0644), 0);
    EXPECT_EQ(homePrivacyWarning(home.path()), "") << "a 0700 home keeps its files private";

    ASSERT_EQ(::chmod(home.path().c_str(), 0755), 0);
    const std::string warning = homePrivacyWarning(home.path());
    EXPECT_THAT(warning, ::testing::HasSubstr(home.path() +
                                              " (mode 0755) and read registry.ini "
                                              "(0644); it holds the service's "
                                              "secrets: chmod 700 " +
                                              home.path()));
    EXPECT_EQ(warning.find("service-token"), std::string::npos) << warning;

    ASSERT_EQ(::chmod((home.path() + "/registry.ini").c_str(), 0600), 0);
    ASSERT_EQ(::chmod(home.path().c_str(), 0710), 0);
    EXPECT_THAT(homePrivacyWarning(home.path()),
                ::testing::EndsWith("(mode 0710); it holds the service's secrets: "
                                    "chmod 700 " +
                                    home.path() + " (docs/security.md)"));
    ASSERT_EQ(::chmod(home.path().c_str(), 0700), 0);
}

}  // namespace
}  // namespace gc6890
