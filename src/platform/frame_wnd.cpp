#include "platform/frame_wnd.h"

BOOL CFrameWnd::Create(LPCTSTR className, LPCTSTR title, DWORD style, const RECT& rect,
                       CWnd* parent, LPCTSTR, DWORD exStyle)
{
    return CreateEx(exStyle, className, title, style, rect, parent, 0);
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs)
{
    if (!cs.lpszClass)
        cs.lpszClass = "AfxFrameOrView";
    return CWnd::PreCreateWindow(cs);
}
