#include "gui/DefragOutputView.h"

#include "gui/ColorChooser.h"
#include "gui/MapPaneOwner.h"
#include "gui/Resource.h"

#include "classlib/DC.h"
#include "guitoolkit/SkinMenu.h"

namespace
{
// Where a menu asked for from the keyboard opens, from the map area's corner.
constexpr int KeyboardMenuOffset = 5;
constexpr int PaneMarginX = 2;
constexpr int PaneMarginY = 3;
constexpr COLORREF MenuIconMask = RGB(255, 0, 255);

// The toolbar's images for the commands of the drive menu.
const WORD MenuIcons[] = {IDB_TOOLBAR,         20, 20, ID_DEFRAG_ANALYZE, ID_DEFRAG_CHECKDISK, ID_DEFRAG_START,
                          ID_DEFRAG_STOP,      ID_DEFRAG_MONITOR,        ID_VIEW_CLUSTERVIEW,
                          ID_VIEW_FRAGMENTED_FILES, ID_VIEW_DRIVE_INFO, ID_APP_ABOUT, 0};

HWND TopLevelAncestor(HWND hWnd)
{
    while (hWnd != NULL && (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) != 0)
        hWnd = ::GetParent(hWnd);
    return hWnd;
}
} // namespace

CDefragPartitionWindow* CDefragOutputView::WindowAt(POINT pt)
{
    for (const std::unique_ptr<CDefragPartitionWindow>& pWindow : m_windows)
    {
        if (pWindow->GetRect().Contains(pt.x, pt.y))
            return pWindow.get();
    }
    return nullptr;
}

bool CDefragOutputView::OnLegendClick(POINT pt)
{
    RECT rcClient = {};
    GetClientRect(&rcClient);
    if (!m_bLegendShown || m_nLegendHeight == 0 || pt.y < rcClient.bottom - m_nLegendHeight)
        return false;
    COLORREF crPixel;
    {
        CClientDC dc(this);
        crPixel = dc.GetNearestColor(dc.GetPixel(pt.x, pt.y));
        for (uint32_t nKind = 0; nKind < kKindCount; ++nKind)
        {
            if (dc.GetNearestColor(m_acrColors[nKind]) != crPixel)
                continue;
            COLORREF crChosen = crPixel;
            if (m_pChooser->Choose(this, crPixel, crChosen))
            {
                m_acrColors[nKind] = crChosen;
                m_bColorsChanged = true;
            }
            break;
        }
    }
    Invalidate(FALSE);
    return true;
}

bool CDefragOutputView::OnLeftButtonUp(POINT pt)
{
    if (OnLegendClick(pt))
        return true;
    CSectionLock lock(m_lock);
    CDefragPartitionWindow* pWindow = WindowAt(pt);
    if (pWindow == nullptr)
        return false;
    CLUSTER_RANGE range = {0, -1};
    switch (pWindow->HitTest(pt.x, pt.y, range))
    {
    case HitOutcome::Busy:
        ::MessageBeep(0);
        break;
    case HitOutcome::Block:
        pWindow->SetSelection(range);
        SendRequest(*pWindow, range);
        break;
    case HitOutcome::None:
        break;
    }
    return true;
}

bool CDefragOutputView::HitForMenu(POINT pt)
{
    CSectionLock lock(m_lock);
    CDefragPartitionWindow* pWindow = WindowAt(pt);
    if (m_pOwner != nullptr)
        m_pOwner->SetContextDrive(pWindow != nullptr ? pWindow->GetDriveId() : -1);
    if (pWindow == nullptr)
        return true;
    CLUSTER_RANGE range = {0, -1};
    switch (pWindow->HitTest(pt.x, pt.y, range))
    {
    case HitOutcome::Block:
        // The menu may be dismissed without a request: the block becomes the
        // selection but nothing waits for an answer.
        pWindow->SetSelection(range);
        return true;
    case HitOutcome::Busy:
        ::MessageBeep(0);
        return false;
    case HitOutcome::None:
        return false;
    }
    return false;
}

void CDefragOutputView::OnContextMenu(POINT ptScreen)
{
    POINT pt = ptScreen;
    if (ptScreen.x == -1 && ptScreen.y == -1)
    {
        pt = POINT{PaneMarginX + KeyboardMenuOffset, PaneMarginY + KeyboardMenuOffset};
        ptScreen = pt;
        ClientToScreen(&ptScreen);
    }
    else
    {
        ScreenToClient(&pt);
    }
    if (!HitForMenu(pt))
        return;
    CSkinMenu menu;
    if (menu.LoadMenu(IDR_DRIVE_CONTEXT))
    {
        if (CSkinMenu* pPopup = dynamic_cast<CSkinMenu*>(menu.GetSubMenu(0)))
        {
            // Without its icons the menu still works.
            pPopup->LoadToolBar(MenuIcons, MenuIconMask);
            pPopup->TrackPopupMenu(TPM_RIGHTBUTTON, ptScreen.x, ptScreen.y,
                                   CWnd::FromHandle(TopLevelAncestor(m_hWnd)));
        }
    }
    if (m_pOwner != nullptr)
        m_pOwner->ContextMenuDone();
}
