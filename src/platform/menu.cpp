#include "platform/menu.h"

#include <cstdint>

BOOL CMenu::CreateMenu()
{
    static std::uintptr_t nextMenu = 0x00200010;
    if (m_hMenu)
        return FALSE;
    m_hMenu = reinterpret_cast<HMENU>(nextMenu);
    nextMenu += 4;
    return TRUE;
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return FALSE;
    m_hMenu = nullptr;
    return TRUE;
}
