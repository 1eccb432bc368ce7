// CFrameWnd: a top-level window. It does not delete itself when destroyed: its owner
// deletes it (the library's registration windows are owned and deleted by their objects).
#pragma once

#include "platform/wnd.h"

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;

    // CreateEx() with the frame's usual settings; the menu name is not used (no resources).
    BOOL Create(LPCTSTR className, LPCTSTR title, DWORD style = WS_OVERLAPPEDWINDOW,
                const RECT& rect = {0, 0, 0, 0}, CWnd* parent = nullptr, LPCTSTR menuName = nullptr,
                DWORD exStyle = 0);

    // Gives a window without a class the framework's frame class; changes nothing else.
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
};
