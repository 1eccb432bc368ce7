// CMenu: a menu handle that stays null; no menu is ever made or shown.
#pragma once

#include "platform/cobject.h"
#include "platform/types.h"

class CMenu : public CObject {
public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    operator HMENU() const { return m_hMenu; }  // NOLINT: as in the framework

    HMENU m_hMenu = nullptr;
};
