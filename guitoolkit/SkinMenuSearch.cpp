// The searches of CSkinMenu over menu trees.
#include "guitoolkit/SkinMenu.h"

namespace
{
// Deep menus are not made by anyone sane; the bound keeps a menu that
// contains itself from recursing forever.
constexpr int MaxMenuDepth = 16;

UINT CommandOfPosition(HMENU hMenu, int nPos, HMENU& hSub)
{
    hSub = ::GetSubMenu(hMenu, nPos);
    return hSub != NULL ? static_cast<UINT>(reinterpret_cast<UINT_PTR>(hSub)) : ::GetMenuItemID(hMenu, nPos);
}

bool HasItemData(HMENU hMenu, int nPos, ULONG_PTR dwItemData)
{
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_DATA;
    return ::GetMenuItemInfoW(hMenu, nPos, TRUE, &stInfo) && stInfo.dwItemData == dwItemData;
}
} // namespace

CSkinMenu* CSkinMenu::SkinMenuOf(HMENU hMenu)
{
    return hMenu != NULL ? dynamic_cast<CSkinMenu*>(FromHandlePermanent(hMenu)) : nullptr;
}

CSkinMenu* CSkinMenu::FindOccurrence(HMENU hMenu, UINT nCommand, const OccurrenceSet& skip, int& nPos, int nDepth)
{
    nPos = -1;
    if (hMenu == NULL || nDepth > MaxMenuDepth)
        return nullptr;
    int nCount = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < nCount; ++i)
    {
        HMENU hSub = NULL;
        if (CommandOfPosition(hMenu, i, hSub) == nCommand && skip.count({hMenu, i}) == 0)
        {
            if (CSkinMenu* pMenu = SkinMenuOf(hMenu))
            {
                nPos = i;
                return pMenu;
            }
        }
        if (hSub != NULL)
        {
            if (CSkinMenu* pMenu = FindOccurrence(hSub, nCommand, skip, nPos, nDepth + 1))
                return pMenu;
        }
    }
    nPos = -1;
    return nullptr;
}

CSkinMenu* CSkinMenu::FindMenuOfCommand(HMENU hMenu, UINT nCommand, int& nPos)
{
    return FindOccurrence(hMenu, nCommand, OccurrenceSet(), nPos, 0);
}

CSkinMenu* CSkinMenu::FindSkinMenuByCommand(HMENU hMenu, UINT nCommand)
{
    int nPos = -1;
    return FindMenuOfCommand(hMenu, nCommand, nPos);
}

CSkinMenu* CSkinMenu::FindSkinMenuByItem(HMENU hMenu, UINT nCommand, ULONG_PTR dwItemData)
{
    OccurrenceSet visited;
    int nPos = -1;
    while (CSkinMenu* pMenu = FindOccurrence(hMenu, nCommand, visited, nPos, 0))
    {
        if (HasItemData(pMenu->m_hMenu, nPos, dwItemData))
            return pMenu;
        visited.insert({pMenu->m_hMenu, nPos});
    }
    return nullptr;
}
