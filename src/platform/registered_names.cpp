#include "platform/registered_names.h"

#include <strings.h>

#include <cstdint>
#include <deque>
#include <vector>

namespace gc6890 {
namespace {

constexpr UINT firstRegisteredMessage = 0xC000;
constexpr UINT lastRegisteredMessage = 0xFFFF;

std::vector<std::string>& messageNames()
{
    static std::vector<std::string> names;  // index + 0xC000 is the identifier
    return names;
}

// A deque keeps each class's name at a fixed address, so the returned pointers stay valid.
std::deque<WindowClass>& windowClasses()
{
    static std::deque<WindowClass> classes;
    return classes;
}

}  // namespace

const WindowClass* findWindowClass(const char* className)
{
    if (!className)
        return nullptr;
    for (const WindowClass& known : windowClasses())
        if (strcasecmp(known.name.c_str(), className) == 0)
            return &known;
    return nullptr;
}

}  // namespace gc6890

UINT RegisterWindowMessage(LPCTSTR name)
{
    if (!name || !*name)
        return 0;
    auto& names = gc6890::messageNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (strcasecmp(names[i].c_str(), name) == 0)
            return gc6890::firstRegisteredMessage + static_cast<UINT>(i);
    if (names.size() > gc6890::lastRegisteredMessage - gc6890::firstRegisteredMessage)
        return 0;  // the range is used up, as the system's would be
    names.emplace_back(name);
    return gc6890::firstRegisteredMessage + static_cast<UINT>(names.size() - 1);
}

LPCTSTR AfxRegisterWndClass(LPCTSTR className, UINT classStyle, HCURSOR cursor, HBRUSH background,
                            HICON icon)
{
    if (!className || !*className)
        return nullptr;
    if (const gc6890::WindowClass* known = gc6890::findWindowClass(className))
        return known->name.c_str();
    auto& classes = gc6890::windowClasses();
    classes.push_back({className, classStyle, cursor, background, icon});
    return classes.back().name.c_str();
}

HGDIOBJ GetStockObject(int index)
{
    if (index < 0 || index > 19)
        return nullptr;
    return reinterpret_cast<HGDIOBJ>(
        static_cast<std::uintptr_t>(0x00B00000u + static_cast<unsigned>(index) * 16u));
}
