// The main of every test program: GoogleTest's, under the locale that
// $GC6890_TEST_LOCALE names ("de_DE.UTF-8"), so that ctest can run the whole suite a second
// time with a comma as the decimal separator and catch any comma that reaches the line or
// a file. Unset, the programs run in the "C" locale as usual.
//
// No test reaches the machine's own mDNS daemon (a SiLA 2 server started by a test would
// announce itself on the lab's network): the system bus of every test and of the programs
// it starts is one that does not exist.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <locale>
#include <stdexcept>

int main(int argc, char** argv)
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/gc6890-test-bus", 1);
    if (const char* name = std::getenv("GC6890_TEST_LOCALE"); name && *name) {
        try {
            std::locale::global(std::locale(name));  // also the C library's locale
        } catch (const std::runtime_error&) {
            std::fprintf(stderr, "locale %s is not installed (./go setup generates it)\n", name);
            return 1;
        }
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
