// Names registered once per process: window messages, window classes, and the stock
// drawing objects that class registration refers to.
#pragma once

#include <string>

#include "platform/types.h"

// The same name (compared without regard to case, as the system does) always gives the
// same identifier; identifiers are handed out from 0xC000 upwards. A null or empty name
// gives 0.
UINT RegisterWindowMessage(LPCTSTR name);

// Registers a window class under exactly `className` the first time and returns the name
// (from storage that lives as long as the process). A second registration of the same
// name keeps the first one's settings. A null or empty name gives null.
LPCTSTR AfxRegisterWndClass(LPCTSTR className, UINT classStyle = 0, HCURSOR cursor = nullptr,
                            HBRUSH background = nullptr, HICON icon = nullptr);

// A stock object's handle: distinct and never null for indexes 0 to 19, null otherwise.
// Nothing is drawn with it; it is only passed on and compared.
HGDIOBJ GetStockObject(int index);

namespace gc6890 {

struct WindowClass {
    std::string name;
    UINT style = 0;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    HICON icon = nullptr;
};

// The registered class of that name (compared without regard to case), or null.
const WindowClass* findWindowClass(const char* className);

}  // namespace gc6890
