// CSkinMenu as the system shows it: measuring and drawing through the current
// theme, and the bookkeeping of popups opening and closing.
#include "guitoolkit/SkinMenu.h"

#include "classlib/DC.h"
#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
// Menu-bar items are drawn a little outside the rectangle the system reports.
constexpr int MenuBarRedrawMargin = 10;

// On the newest systems these system commands are renumbered while their menu
// is open, so the system does not draw its own glyph bitmaps over the items;
// every WM_SYSCOMMAND handler masks the low bits off for that reason.
constexpr std::pair<UINT, UINT> OpeningRenumbering[] = {
    {SC_RESTORE, SC_RESTORE + 1}, {SC_CLOSE, SC_CLOSE + 1}, {SC_MINIMIZE, SC_MINIMIZE + 1}};
// Close last: its answer tells whether the menu was renumbered at all.
constexpr std::pair<UINT, UINT> ClosingRenumbering[] = {
    {SC_MINIMIZE + 1, SC_MINIMIZE}, {SC_RESTORE + 1, SC_RESTORE}, {SC_CLOSE + 1, SC_CLOSE}};

bool RenumbersSystemCommands()
{
    return ToolkitEnvironment().nVersionClass == 7;
}
} // namespace

void CSkinMenu::MeasureItem(LPMEASUREITEMSTRUCT pMeasure)
{
    CMenuTheme* pTheme = GetCurrentTheme();
    if (pMeasure == nullptr || pTheme == nullptr)
        return;
    BOOL bMenuBar = IsMenuBarItem(pMeasure->itemID);
    if (!bMenuBar && m_hParentMenu != NULL && FindItemData(pMeasure->itemID) == nullptr)
    {
        if (CSkinMenu* pParent = SkinMenuOf(m_hParentMenu))
        {
            pTheme->MeasureItem(*pParent, pMeasure, FALSE);
            return;
        }
    }
    pTheme->MeasureItem(*this, pMeasure, bMenuBar);
}

BOOL CSkinMenu::IsMenuBarItem(UINT nCommand) const
{
    if (FindItemData(nCommand) != nullptr)
        return m_hParentMenu == NULL && !m_bPopup;
    if (m_hParentMenu != NULL)
    {
        CSkinMenu* pParent = SkinMenuOf(m_hParentMenu);
        return pParent != nullptr && !pParent->m_bPopup;
    }
    return !m_bPopup;
}

void CSkinMenu::DrawItem(LPDRAWITEMSTRUCT pDraw)
{
    if (pDraw == nullptr)
        return;
    BOOL bMenuBar = m_hParentMenu == NULL && !m_bPopup;
    if (bMenuBar && pDraw->itemData == GetHotMenuBarItem() && !(pDraw->itemState & ODS_HOTLIGHT))
        SetHotMenuBarItem(0);
    if (CMenuTheme* pTheme = GetCurrentTheme())
        pTheme->DrawItem(*this, pDraw, bMenuBar);
}

void CSkinMenu::DrawTitle(LPDRAWITEMSTRUCT pDraw)
{
    CMenuTheme* pTheme = GetCurrentTheme();
    if (pDraw != nullptr && pTheme != nullptr)
        pTheme->DrawTitle(*this, pDraw);
}

BOOL CSkinMenu::EraseBkgnd(HWND hPopup, CDC* pDC)
{
    RECT rc = {};
    if (pDC != nullptr && ::GetClientRect(hPopup, &rc))
        pDC->FillSolidRect(&rc, GetMenuBackgroundColor(NULL));
    return TRUE;
}

void CSkinMenu::OnPopupOpening()
{
    m_bPopup = TRUE;
    RebuildItemData();
    if (!RenumbersSystemCommands())
        return;
    for (const auto& ids : OpeningRenumbering)
        ChangeItemId(ids.first, ids.second);
}

BOOL CSkinMenu::OnPopupClosed()
{
    if (RenumbersSystemCommands())
    {
        BOOL bChanged = FALSE;
        for (const auto& ids : ClosingRenumbering)
            bChanged = ChangeItemId(ids.first, ids.second);
        // The caption buttons follow the system commands.
        if (bChanged && ::IsWindow(m_hOwnerWnd))
            ::SetWindowPos(m_hOwnerWnd, NULL, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
    }
    CSkinMenu* pParent = SkinMenuOf(m_hParentMenu);
    if (pParent == nullptr)
        return FALSE;
    pParent->m_nOpenPopups = std::max(0, pParent->m_nOpenPopups - 1);
    if (pParent->m_bPopup)
        return FALSE;
    pParent->m_nOpenPopups = 0;
    pParent->RedrawMenuBarItem(m_hOwnerWnd);
    return TRUE;
}

void CSkinMenu::OnInitMenuPopup(HWND hFrame, CMenu* pPopup)
{
    SetLastPopup(pPopup != nullptr ? pPopup->m_hMenu : NULL);
    CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(pPopup);
    if (pMenu == nullptr)
        return;
    pMenu->m_hOwnerWnd = hFrame;
    pMenu->OnPopupOpening();
    CSkinMenu* pParent = SkinMenuOf(pMenu->m_hParentMenu);
    if (pParent != nullptr && pParent->m_nOpenPopups++ == 0 && !pParent->m_bPopup)
        pParent->RedrawMenuBarItem(hFrame);
}

void CSkinMenu::RedrawMenuBarItem(HWND hFrame) const
{
    if (::IsRectEmpty(&m_rcMenuBarItem) || !::IsWindow(hFrame))
        return;
    RECT rc = m_rcMenuBarItem;
    rc.right += MenuBarRedrawMargin;
    rc.bottom += MenuBarRedrawMargin;
    ::MapWindowPoints(NULL, hFrame, reinterpret_cast<POINT*>(&rc), 2);
    ::RedrawWindow(hFrame, &rc, NULL, RDW_FRAME | RDW_INVALIDATE);
}
