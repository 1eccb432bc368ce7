// CWnd and message maps in the framework's manner.
//
// A message map is a static table per class, chained to its base class's table. A window
// dispatches a message by walking its own table, then its base's, up to CWnd's (which is
// empty). Registered messages are matched through a pointer to the variable that holds
// their identifier, because identifiers are only known once the messages are registered.
#pragma once

#include "platform/cobject.h"
#include "platform/types.h"

class CWnd;

using AFX_PMSG = LRESULT (CWnd::*)(WPARAM, LPARAM);

struct AFX_MSGMAP_ENTRY {
    UINT message;                   // a fixed message identifier, or 0
    const UINT* registeredMessage;  // or the variable holding a registered identifier
    AFX_PMSG handler;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*baseMap)();  // null for CWnd, the root
    const AFX_MSGMAP_ENTRY* entries;  // ends with an entry whose handler is null
};

// In a class declaration.
#define DECLARE_MESSAGE_MAP()                              \
public:                                                    \
    static const AFX_MSGMAP* GetThisMessageMap();          \
    const AFX_MSGMAP* GetMessageMap() const override;      \
                                                           \
private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                   \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                              \
    {                                                                            \
        using ThisClass [[maybe_unused]] = theClass;                             \
        using TheBaseClass = baseClass;                                          \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {

#define ON_MESSAGE(message, memberFxn) \
    {message, nullptr, static_cast<AFX_PMSG>(&ThisClass::memberFxn)},

#define ON_REGISTERED_MESSAGE(messageVariable, memberFxn) \
    {0, &(messageVariable), static_cast<AFX_PMSG>(&ThisClass::memberFxn)},

#define END_MESSAGE_MAP()                                                         \
    {0, nullptr, nullptr}                                                         \
    }                                                                             \
    ;                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, messageEntries}; \
    return &messageMap;                                                           \
    }

class CWnd : public CObject {
public:
    CWnd() = default;
    ~CWnd() override = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Looks the message up in this window's map chain and calls its handler; a message
    // without a handler gives 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    HWND m_hWnd = nullptr;
};
