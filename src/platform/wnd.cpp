#include "platform/wnd.h"

#include <cstdint>

#include "platform/window_table.h"

HINSTANCE AfxGetInstanceHandle()
{
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x10000000u));
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CWnd::~CWnd()
{
    if (m_hWnd)
        CWnd::DestroyWindow();
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, LPVOID param)
{
    if (m_hWnd)
        return FALSE;
    CREATESTRUCT cs{param, AfxGetInstanceHandle(),   menu,       parent,    height, width, y,
                    x,     static_cast<LONG>(style), windowName, className, exStyle};
    if (!PreCreateWindow(cs))
        return FALSE;
    if (cs.hwndParent && !::IsWindow(cs.hwndParent))
        return FALSE;
    m_className = cs.lpszClass ? cs.lpszClass : "";
    m_title = cs.lpszName ? cs.lpszName : "";
    m_style = static_cast<DWORD>(cs.style);
    m_exStyle = cs.dwExStyle;
    m_parent = cs.hwndParent;
    m_instance = cs.hInstance;
    m_hWnd = gc6890::addWindow(this);
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, LPVOID param)
{
    // For a child window the identifier takes the menu's place, as in the framework.
    const HMENU menu = reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id));
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top,
                    parent ? parent->m_hWnd : nullptr, menu, param);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&)
{
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    const HWND self = m_hWnd;
    // Children first, as the system does; each child object survives with a null handle.
    for (HWND other : gc6890::liveWindows()) {
        CWnd* child = gc6890::windowFromHandle(other);
        if (child && child->m_parent == self)
            child->DestroyWindow();
    }
    gc6890::killWindowTimers(self);
    gc6890::removeWindow(self);
    m_hWnd = nullptr;
    return TRUE;
}

CWnd* CWnd::FromHandle(HWND window)
{
    return gc6890::windowFromHandle(window);
}

UINT_PTR CWnd::SetTimer(UINT_PTR timerId, UINT milliseconds, TIMERPROC procedure)
{
    return ::SetTimer(m_hWnd, timerId, milliseconds, procedure);
}

void CWnd::OnTimer(UINT_PTR) {}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->baseMap ? map->baseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->entries; entry->handler; ++entry) {
            const UINT id = entry->registeredMessage ? *entry->registeredMessage : entry->message;
            if (id != 0 && id == message)
                return (this->*entry->handler)(wParam, lParam);
        }
    }
    if (message == WM_TIMER)
        OnTimer(static_cast<UINT_PTR>(wParam));
    return 0;
}
