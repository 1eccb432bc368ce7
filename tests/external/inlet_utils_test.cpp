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

TEST(InletUtilsTest, MethodNamesAreCompletedOnce)
{
    TempHome home;
    struct Case {
        const char* given;
        std::string completed;
    };
    const Case cases[] = {
        {"split_front", home.path() + "/methods/split_front.toml"},
        {"split_front.toml", home.path() + "/methods/split_front.toml"},
        {"./mine/run1", "./mine/run1.toml"},
        {"/lab/run2.toml", "/lab/run2.toml"},
    };
    for (const Case& c : cases) {
        CString name = c.given;
        AddMethodFileExtension("HP6890", name);
        EXPECT_EQ(name.str(), c.completed);
        AddMethodFileExtension("HP6890", name);  // a completed name stays as it is
        EXPECT_EQ(name.str(), c.completed);
    }
    WriteRegistryPath("Inlets\\Hubrel\\Varnock\\MethodFolder", CString("/srv/methods"),
                      HKEY_LOCAL_MACHINE);
    CString name = "ptv";
    AddMethodFileExtension("HP6890", name);
    EXPECT_EQ(name, "/srv/methods/ptv.toml");
}

}  // namespace
