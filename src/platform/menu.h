// CMenu: a menu handle with nothing in it; no menu is ever shown.
#pragma once

#include "platform/cobject.h"
#include "platform/types.h"

class CMenu : public CObject {
public:
    CMenu() = default;
    ~CMenu() override { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    // Gives the object a new, empty menu; FALSE when it has one already.
    BOOL CreateMenu();
    // FALSE when there is no menu.
    BOOL DestroyMenu();

    HMENU GetSafeHmenu() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }  // NOLINT: as in the framework

    HMENU m_hMenu = nullptr;
};
