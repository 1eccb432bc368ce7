// The inlet utilities: method file names. (A value absent from the settings is the settings
// store's test.)
#include <gtest/gtest.h>

#include "external/inlet_utils.h"
#include "support/temp_home.h"

namespace {

using gc6890::test::TempHome;

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
