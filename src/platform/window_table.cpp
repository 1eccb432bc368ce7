#include "platform/window_table.h"

#include <cstdint>
#include <map>

#include "platform/wnd.h"

namespace gc6890 {
namespace {

// Ordered by handle value, which grows with each creation: creation order.
std::map<std::uintptr_t, CWnd*>& table()
{
    static std::map<std::uintptr_t, CWnd*> windows;
    return windows;
}

std::uintptr_t g_nextHandle = 0x00010010;

std::uintptr_t key(HWND handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

HWND addWindow(CWnd* window)
{
    const std::uintptr_t value = g_nextHandle;
    g_nextHandle += 4;
    table()[value] = window;
    return reinterpret_cast<HWND>(value);
}

void removeWindow(HWND handle)
{
    table().erase(key(handle));
}

CWnd* windowFromHandle(HWND handle)
{
    if (!handle)
        return nullptr;
    const auto found = table().find(key(handle));
    return found == table().end() ? nullptr : found->second;
}

std::vector<HWND> liveWindows()
{
    std::vector<HWND> handles;
    handles.reserve(table().size());
    for (const auto& entry : table())
        handles.push_back(reinterpret_cast<HWND>(entry.first));
    return handles;
}

}  // namespace gc6890

BOOL IsWindow(HWND window)
{
    return gc6890::windowFromHandle(window) ? TRUE : FALSE;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* target = gc6890::windowFromHandle(window);
    // Nothing here touches the target after the call: the handler may have deleted it.
    return target ? target->WindowProc(message, wParam, lParam) : 0;
}

BOOL DestroyWindow(HWND window)
{
    CWnd* target = gc6890::windowFromHandle(window);
    return target ? target->DestroyWindow() : FALSE;
}
