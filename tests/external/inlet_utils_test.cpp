// The inlet utilities: registry paths with defaults, and method file names.
#include <gtest/gtest.h>

#include "external/inlet_utils.h"
#include "support/temp_home.h"

namespace {

using gc6890::test::TempHome;

constexpr const char* kRetry = "Inlets\\Hubrel\\Varnock\\MethodRetry";

TEST(InletUtilsTest, AnAbsentOrUnreadableValueLeavesTheDefault)
{
    TempHome home;
    int retries = 2;
    EXPECT_EQ(ReadRegistryPath(kRetry, retries, HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(retries, 2);
    ASSERT_NE(WriteRegistryPath(kRetry, CString("many"), HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(ReadRegistryPath(kRetry, retries, HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(retries, 2);
    ASSERT_NE(WriteRegistryPath(kRetry, 5, HKEY_LOCAL_MACHINE), 0);
    EXPECT_NE(ReadRegistryPath(kRetry, retries, HKEY_LOCAL_MACHINE), 0);
    EXPECT_EQ(retries, 5);
}

// A bare name completed into the default folder, and the extension added once, are the host
// program's (offline_commands_test.cpp); here a path keeps its folder and a folder set in the
// settings takes the bare names.
TEST(InletUtilsTest, MethodNamesAreCompletedWithTheirFolderAndExtension)
{
    TempHome home;
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\MethodFolder", CString("/srv/methods"),
                      HKEY_LOCAL_MACHINE);
    struct Case {
        const char* given;
        const char* completed;
    } const cases[] = {
        {"ptv", "/srv/methods/ptv.toml"},
        {"./mine/run1", "./mine/run1.toml"},
        {"/lab/run2.toml", "/lab/run2.toml"},
    };
    for (const Case& c : cases) {
        CString name = c.given;
        AddMethodFileExtension("HP6890", name);
        EXPECT_EQ(name.str(), c.completed);
    }
}

}  // namespace
