// The main of every test program: GoogleTest's, under the locale that
// $GC6890_TEST_LOCALE names ("de_DE.UTF-8"), so that ctest can run the whole suite a second
// time with a comma as the decimal separator and catch any comma that reaches the line or
// a file. Unset, the programs run in the "C" locale as usual.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <locale>
#include <stdexcept>

int main(int argc, char** argv)
{
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
