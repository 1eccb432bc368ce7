// CWnd and message maps in the framework's manner.
//
// A message map is a static table per class, chained to its base class's table. A window
// dispatches a message by walking its own table, then its base's, up to CWnd's (which is
// empty). Registered messages are matched through a pointer to the variable that holds
// their identifier, because identifiers are only known once the messages are registered.
//
// A window is created with CreateEx(): the virtual PreCreateWindow() may change every
// setting first, then the window enters the process-wide handle table (window_table.h) and
// gets its handle. Windows are never shown; their settings are kept to be read back. A
// window may destroy, or delete, itself inside its own handler or timer procedure.
#pragma once

#include <string>

#include "platform/cobject.h"
#include "platform/cstring.h"
#include "platform/timers.h"
#include "platform/types.h"
#include "platform/window_constants.h"

class CWnd;

// The settings of a window being created, as PreCreateWindow() sees and may change them.
// The texts must stay valid until CreateEx() returns (the window keeps its own copies).
struct CREATESTRUCT {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCTSTR lpszName;
    LPCTSTR lpszClass;
    DWORD dwExStyle;
};

// The module's own instance handle (one fixed value: there is one module).
HINSTANCE AfxGetInstanceHandle();

using AFX_PMSG = LRESULT (CWnd::*)(WPARAM, LPARAM);

struct AFX_MSGMAP_ENTRY {
    UINT message;                   // a fixed message identifier, or 0
    const UINT* registeredMessage;  // or the variable holding a registered identifier
    AFX_PMSG handler;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*baseMap)();   // null for CWnd, the root
    const AFX_MSGMAP_ENTRY* entries;  // ends with an entry whose handler is null
};

// In a class declaration.
#define DECLARE_MESSAGE_MAP()                                                                      \
public:                                                                                            \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;                                              \
                                                                                                   \
private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const                                              \
    {                                                                                              \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                \
    {                                                                                              \
        using ThisClass [[maybe_unused]] = theClass;                                               \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {

#define ON_MESSAGE(message, memberFxn)                                                             \
    {message, nullptr, static_cast<AFX_PMSG>(&ThisClass::memberFxn)},

#define ON_REGISTERED_MESSAGE(messageVariable, memberFxn)                                          \
    {0, &(messageVariable), static_cast<AFX_PMSG>(&ThisClass::memberFxn)},

// OnTimer() is virtual here and is always reached for WM_TIMER; the entry adds nothing, and
// is kept so that maps read as they do in the framework.
#define ON_WM_TIMER()

#define END_MESSAGE_MAP()                                                                          \
    {                                                                                              \
        0, nullptr, nullptr                                                                        \
    }                                                                                              \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, messageEntries};       \
    return &messageMap;                                                                            \
    }

class CWnd : public CObject {
public:
    CWnd() = default;
    // A window still alive is destroyed with its object.
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Creates the window: fills a CREATESTRUCT, lets PreCreateWindow() change it, then
    // enters the window in the handle table. FALSE (and no window) when this object has a
    // window already, PreCreateWindow() refuses, or the parent is not a window. The class
    // need not have been registered: nothing is drawn with it.
    virtual BOOL CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU menu,
                          LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id, LPVOID param = nullptr);
    // Accepts the settings unchanged.
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);

    // Destroys the window's children, stops its timers and takes it out of the handle
    // table; the object lives on with a null handle. FALSE when there is no window.
    virtual BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }

    // The window object of a live handle; null for anything else.
    static CWnd* FromHandle(HWND window);

    DWORD GetStyle() const { return m_style; }
    DWORD GetExStyle() const { return m_exStyle; }
    const std::string& GetWindowTitle() const { return m_title; }
    const std::string& GetClassName() const { return m_className; }
    HINSTANCE GetInstance() const { return m_instance; }

    // Timers on this window (see timers.h); without a procedure the timer calls OnTimer().
    UINT_PTR SetTimer(UINT_PTR timerId, UINT milliseconds, TIMERPROC procedure);
    virtual void OnTimer(UINT_PTR timerId);

    // SendMessage to this window.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Looks the message up in this window's map chain and calls its handler. WM_TIMER
    // without a handler goes to OnTimer(); any other message without one gives 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    HWND m_hWnd = nullptr;

private:
    std::string m_className;
    std::string m_title;
    DWORD m_style = 0;
    DWORD m_exStyle = 0;
    HWND m_parent = nullptr;
    HINSTANCE m_instance = nullptr;
};
