// The method file reader: any text is read or refused with a message naming the file, and
// a method it accepts, written out again, reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "external/method_file_toml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CHP6890Method gc;
    CALS6890Method als;
    std::string error;
    if (!gc6890::readMethodToml(text, "fuzz.toml", gc, als, error)) {
        if (error.rfind("fuzz.toml:", 0) != 0)
            std::abort();
        return 0;
    }
    const std::string written = gc6890::writeMethodToml(gc, als);
    CHP6890Method gcAgain;
    CALS6890Method alsAgain;
    if (!gc6890::readMethodToml(written, "written.toml", gcAgain, alsAgain, error))
        std::abort();
    if (gc6890::writeMethodToml(gcAgain, alsAgain) != written)
        std::abort();
    return 0;
}
