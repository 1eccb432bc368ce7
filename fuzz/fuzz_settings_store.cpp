// The settings store reader on any file content: reads never crash, a value found is a
// single line, and an integer read agrees with the text read. A store that cannot be
// parsed is moved aside by the reader; the harness clears the folder for the next input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/settings_store.h"

namespace {

const std::filesystem::path& folder()
{
    static const std::filesystem::path path = [] {
        std::filesystem::path p = std::filesystem::temp_directory_path() /
                                  ("gc6890-fuzz-store-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path store = folder() / "registry.ini";
    {
        std::ofstream out(store, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    gc6890::SettingsStore settings(store.string());
    for (const char* path : {"Inlets\\Hubrel\\Varnock\\Port", "Inlets\\Hubrel\\Varnock\\Timeout",
                             "inlets\\hubrel\\varnock\\methodretry", "A\\B", "Name"}) {
        std::string text = "default";
        int number = -12345;
        const bool hasText = settings.readText(path, text);
        const bool hasNumber = settings.readInt(path, number);
        if (text.find('\n') != std::string::npos || (hasNumber && !hasText))
            std::abort();
        if (hasNumber && std::to_string(number) != text && std::atoi(text.c_str()) != number)
            std::abort();
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder()))
        std::filesystem::remove(entry.path());
    return 0;
}
