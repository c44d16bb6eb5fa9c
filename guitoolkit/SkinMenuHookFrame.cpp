// The frame-side services of the menu hook: the mnemonic search of
// WM_MENUCHAR and the drawing of one item of a native menu bar.
#include "guitoolkit/SkinMenuHook.h"

#include "classlib/DC.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/SkinMenu.h"

#include <cwctype>

namespace
{
// Whether the text holds "&" and the character as a mnemonic; "&&" is a
// literal ampersand and starts none.
bool HasMnemonic(const CString& strText, wchar_t chKey)
{
    int nLength = strText.GetLength();
    for (int i = 0; i + 1 < nLength; ++i)
    {
        if (strText.GetAt(i) != L'&')
            continue;
        if (strText.GetAt(i + 1) == L'&')
        {
            ++i;
            continue;
        }
        if (strText.GetAt(i + 1) == chKey)
            return true;
    }
    return false;
}
} // namespace

LRESULT CSkinMenuHook::FindMenuMnemonic(wchar_t chKey, UINT, CMenu* pMenu)
{
    CSkinMenu* pSkin = dynamic_cast<CSkinMenu*>(pMenu);
    if (pSkin == nullptr || pSkin->m_hMenu == NULL)
        return 0;
    int nCount = ::GetMenuItemCount(pSkin->m_hMenu);
    if (nCount != static_cast<int>(pSkin->m_items.size()))
        pSkin->RebuildItemData();
    wchar_t chLower = static_cast<wchar_t>(std::towlower(chKey));
    for (size_t i = 0; i < pSkin->m_items.size(); ++i)
    {
        CString strText = DisplayText(*pSkin, *pSkin->m_items[i]);
        strText.MakeLower();
        if (HasMnemonic(strText, chLower))
            return MAKELRESULT(static_cast<WORD>(i), MNC_EXECUTE);
    }
    return MNC_IGNORE;
}

BOOL CSkinMenuHook::PaintMenuBarItem(HWND hFrame, HMENU hMenu, int nPos, UINT nState)
{
    RECT rcItem = {}, rcWindow = {};
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA;
    if (nPos < 0 || !::GetMenuItemRect(hFrame, hMenu, nPos, &rcItem) ||
        !::GetMenuItemInfoW(hMenu, nPos, TRUE, &stInfo) || !(stInfo.fType & MFT_OWNERDRAW) ||
        !::GetWindowRect(hFrame, &rcWindow))
        return FALSE;
    CFont font;
    CDC dc;
    if (!CreateMenuFont(font, false, 0) || !dc.Attach(::GetWindowDC(hFrame)))
        return FALSE;
    dc.SelectObject(&font);
    // The system reports the rectangle on the screen, Wine included.
    ::OffsetRect(&rcItem, -rcWindow.left, -rcWindow.top);
    DRAWITEMSTRUCT stDraw = {};
    stDraw.CtlType = ODT_MENU;
    stDraw.itemID = stInfo.hSubMenu != NULL ? static_cast<UINT>(reinterpret_cast<UINT_PTR>(stInfo.hSubMenu))
                                            : stInfo.wID;
    stDraw.itemAction = ODA_DRAWENTIRE;
    stDraw.itemState = nState;
    stDraw.hwndItem = reinterpret_cast<HWND>(hMenu);
    stDraw.hDC = dc.m_hDC;
    stDraw.rcItem = rcItem;
    stDraw.itemData = stInfo.dwItemData;
    CPoint ptOld = dc.SetWindowOrg(0, 0);
    ::SendMessageW(hFrame, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&stDraw));
    dc.SetWindowOrg(ptOld.x, ptOld.y);
    CSkinMenu::SetHotMenuBarItem(stInfo.dwItemData);
    dc.RestoreObjects();
    ::ReleaseDC(hFrame, dc.Detach());
    return TRUE;
}
