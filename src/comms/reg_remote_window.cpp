// Temporary: the registration window's base class, enough for the sampler's window until
// the GC object's branch brings the full one (take that one on merging).
#include "comms/reg_remote_window.h"

#include "comms/registered_messages.h"

BEGIN_MESSAGE_MAP(CRegRemoteWindow, CFrameWnd)
    ON_REGISTERED_MESSAGE(g_nRegisterToCommsMessage, OnGetRegisterRequest)
END_MESSAGE_MAP()

CRegRemoteWindow::CRegRemoteWindow(const char* className) : m_pszClassName(className)
{
    CreateEx(0, className, className, 8, 100, 100, 100, 199, nullptr, nullptr);
}

CRegRemoteWindow::~CRegRemoteWindow() = default;

BOOL CRegRemoteWindow::PreCreateWindow(CREATESTRUCT& cs)
{
    AfxRegisterWndClass(m_pszClassName, kWindowClassStyle, nullptr, reinterpret_cast<HBRUSH>(GetStockObject(0)),
                        nullptr);
    cs.cx = 100;
    cs.cy = 30;
    cs.lpszName = m_pszClassName;
    cs.lpszClass = m_pszClassName;
    cs.style = 0xCA0000;
    cs.dwExStyle = 0x98;
    cs.hInstance = AfxGetInstanceHandle();
    return CFrameWnd::PreCreateWindow(cs);
}

LRESULT CRegRemoteWindow::OnGetRegisterRequest(WPARAM wParam, LPARAM lParam)
{
    m_hRegisteredWnd = reinterpret_cast<HWND>(wParam);
    return OnGetRegisterRequestBody(wParam, lParam);
}
