#include "external/inlet_utils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace gc6890 {
namespace {

VialRange g_vialRange;

// The status line's idle text ("For Help, press F1"), which the library puts back after
// its work: on a line of standard error it is noise, not news.
constexpr char kIdlePrompt[] = "For Help, press F1";

void writeStatusToStandardError(const char* text, const char* text2)
{
    if (text && std::strncmp(text, kIdlePrompt, sizeof kIdlePrompt - 1) == 0)
        return;
    std::fprintf(stderr, "%s%s%s\n", text ? text : "", text2 && *text2 ? " " : "",
                 text2 ? text2 : "");
}

StatusTextHandler& statusHandler()
{
    static StatusTextHandler handler = writeStatusToStandardError;
    return handler;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

VialRange GetVialRange()
{
    return g_vialRange;
}

std::string methodFolder()
{
    CString folder;
    if (ReadRegistryPath("Inlets\\Hubrel\\Varnock\\MethodFolder", folder, HKEY_LOCAL_MACHINE) &&
        !folder.IsEmpty())
        return folder.str();
    return homeDirectory() + "/methods";
}

}  // namespace gc6890

int ReadRegistryPath(CString path, int& value, HKEY)
{
    return gc6890::SettingsStore().readInt(path.str(), value) ? 1 : 0;
}

int ReadRegistryPath(CString path, CString& value, HKEY)
{
    std::string text;
    if (!gc6890::SettingsStore().readText(path.str(), text))
        return 0;
    value = CString(std::move(text));
    return 1;
}

int WriteRegistryPath(CString path, int value, HKEY)
{
    return gc6890::SettingsStore().writeInt(path.str(), value) ? 1 : 0;
}

int WriteRegistryPath(CString path, CString value, HKEY)
{
    return gc6890::SettingsStore().writeText(path.str(), value.str()) ? 1 : 0;
}

void FlashStatusText(const char* text, const char* text2, int)
{
    gc6890::statusHandler()(text, text2);
}

StatusTextHandler SetStatusTextHandler(StatusTextHandler handler)
{
    if (!handler)
        handler = gc6890::writeStatusToStandardError;
    return std::exchange(gc6890::statusHandler(), std::move(handler));
}

LRESULT SendDataMessage(HWND target, UINT message, UINT wParam, long data, unsigned long size)
{
    // The receiver gets its own copy, as a message between programs would.
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::vector<unsigned char> copy(bytes, bytes + size);
    return SendMessage(target, message, wParam, reinterpret_cast<LPARAM>(copy.data()));
}

void AddMethodFileExtension(const char*, CString& name)
{
    std::string file = name.str();
    if (file.empty())
        return;
    if (!gc6890::endsWith(file, gc6890::kMethodFileExtension))
        file += gc6890::kMethodFileExtension;
    if (file.find('/') == std::string::npos)
        file = gc6890::methodFolder() + "/" + file;
    name = CString(std::move(file));
}

void SetVialRange(int first, int last)
{
    gc6890::g_vialRange = {first, last};
}
