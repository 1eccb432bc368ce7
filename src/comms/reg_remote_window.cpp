#include "comms/reg_remote_window.h"

#include <cstdint>

#include "comms/registered_messages.h"
#include "external/inlet_utils.h"

// ---- CRegRemoteWindow -----------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRegRemoteWindow, CFrameWnd)
ON_REGISTERED_MESSAGE(g_nRegisterToCommsMessage, OnGetRegisterRequest)
END_MESSAGE_MAP()

CRegRemoteWindow::CRegRemoteWindow(const char* className) : m_pszClassName(className)
{
    // Placeholder settings: PreCreateWindow replaces style, size and class.
    CreateEx(0, className, className, 8, 100, 100, 100, 199, nullptr, nullptr);
}

CRegRemoteWindow::~CRegRemoteWindow() = default;

BOOL CRegRemoteWindow::PreCreateWindow(CREATESTRUCT& cs)
{
    AfxRegisterWndClass(m_pszClassName, kWindowClassStyle, nullptr,
                        reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), nullptr);
    cs.cx = 100;
    cs.cy = 30;
    cs.lpszName = m_pszClassName;
    cs.lpszClass = m_pszClassName;
    // Caption, system menu and minimise box, never visible; a topmost tool window that
    // accepts dropped files.
    cs.style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    cs.dwExStyle = WS_EX_TOPMOST | WS_EX_ACCEPTFILES | WS_EX_TOOLWINDOW;
    cs.hInstance = AfxGetInstanceHandle();
    return CFrameWnd::PreCreateWindow(cs);
}

LRESULT CRegRemoteWindow::SendBlock(UINT message, const void* block, unsigned long size)
{
    if (!m_hRegisteredWnd)
        return 0;  // nobody registered: nothing is sent
    return SendDataMessage(m_hRegisteredWnd, message, 0,
                           static_cast<long>(reinterpret_cast<std::uintptr_t>(block)), size);
}

LRESULT CRegRemoteWindow::OnGetRegisterRequest(WPARAM wParam, LPARAM lParam)
{
    m_hRegisteredWnd = reinterpret_cast<HWND>(wParam);
    return OnGetRegisterRequestBody(wParam, lParam);
}
