// The menu bar's size for the frame's and the dock bars' layout passes.
#include "guitoolkit/SkinMenuBar.h"

#include "classlib/DockBar.h"
#include "classlib/FrameWnd.h"
#include "classlib/ThreadState.h"

#include <algorithm>
#include <utility>

namespace
{
// The width the bar reports when it stretches along its side.
constexpr int StretchedLength = 0x7FFF;
} // namespace

CSize CSkinMenuBar::CalcFixedLayout(BOOL bStretch, BOOL bHorz)
{
    return CalcLayout((bStretch ? LM_STRETCH : 0) | (bHorz ? LM_HORZ : 0));
}

CSize CSkinMenuBar::CalcDynamicLayout(int nLength, DWORD dwMode)
{
    if (nLength == -1 && !(dwMode & (LM_MRUWIDTH | LM_COMMIT)) && (dwMode & (LM_HORZDOCK | LM_VERTDOCK)))
        return CalcFixedLayout((dwMode & LM_STRETCH) != 0, (dwMode & LM_HORZDOCK) != 0);
    return CalcLayout(dwMode, nLength);
}

std::vector<stBarLayout> CSkinMenuBar::MakeRecords() const
{
    std::vector<stBarLayout> records;
    records.reserve(m_items.size());
    for (const auto& pItem : m_items)
        records.push_back({pItem->m_rcItem, pItem->m_nState});
    return records;
}

void CSkinMenuBar::ApplyLayout(const stBarLayout* pRecords, int nCount)
{
    bool bChanged = false;
    for (int i = 0; i < nCount && i < GetItemCount(); ++i)
    {
        CSkinBarItem& item = *m_items[static_cast<size_t>(i)];
        const UINT nState = (item.m_nState & ~MBS_WRAP) | (pRecords[i].nState & MBS_WRAP);
        if (::EqualRect(&item.m_rcItem, &pRecords[i].rc) && item.m_nState == nState)
            continue;
        item.m_rcItem = pRecords[i].rc;
        item.m_nState = nState;
        bChanged = true;
    }
    if (bChanged && m_hWnd != NULL)
        Invalidate();
}

int CSkinMenuBar::GetDockLength(BOOL bHorz) const
{
    CRect rc;
    const MSG* pMsg = CWnd::GetCurrentMessage();
    if (IsFloating() && m_pDockBar->GetParentFrame() != nullptr)
        m_pDockBar->GetParentFrame()->GetWindowRect(rc);
    else if (pMsg->message == WM_SIZEPARENT && pMsg->lParam != 0)
        rc = reinterpret_cast<const stSizeParentLayout*>(pMsg->lParam)->rect;
    else if (HWND hParent = ::GetParent(m_hWnd))
        ::GetClientRect(hParent, &rc);
    int nLength = bHorz ? rc.Width() : rc.Height();
    if (m_dwStyle & CBRS_SIZE_DYNAMIC)
    {
        nLength -= bHorz ? m_cxLeftBorder + m_cxRightBorder + 2 * ::GetSystemMetrics(SM_CXFRAME)
                         : m_cyTopBorder + m_cyBottomBorder + 2 * ::GetSystemMetrics(SM_CYFRAME);
        if (m_dwStyle & CBRS_GRIPPER)
            nLength -= 7;
    }
    return std::max(0, nLength);
}

void CSkinMenuBar::GrayFloatingClose()
{
    CFrameWnd* pMiniFrame = m_pDockBar != nullptr ? m_pDockBar->GetParentFrame() : nullptr;
    HMENU hSystem = pMiniFrame != nullptr ? ::GetSystemMenu(pMiniFrame->m_hWnd, FALSE) : NULL;
    if (hSystem != NULL)
        ::EnableMenuItem(hSystem, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

CSize CSkinMenuBar::CalcLayout(DWORD dwMode, int nLength)
{
    const BOOL bFloating = IsFloating();
    if (bFloating)
        GrayFloatingClose();
    // Items keep a horizontal layout; a bar down a side shows it turned.
    const bool bVertical = !(dwMode & LM_HORZ) && !bFloating;
    std::vector<stBarLayout> records = MakeRecords();
    stBarLayout* pRecords = records.data();
    const int nCount = static_cast<int>(records.size());
    bool bApply = true;
    int nReportedLength = -1;
    bool bStretched = false;
    if (!(m_dwStyle & CBRS_SIZE_FIXED))
    {
        int nWrap;
        if (!(m_dwStyle & CBRS_SIZE_DYNAMIC))
        {
            // A fixed floating bar keeps the layout it has.
            nWrap = bFloating ? -1 : GetDockLength(!bVertical);
            bStretched = !bFloating;
        }
        else if (dwMode & LM_MRUWIDTH)
            nWrap = m_nMRUWidth;
        else if (dwMode & (LM_HORZDOCK | LM_VERTDOCK))
            nReportedLength = nWrap = GetDockLength(!bVertical);
        else if (nLength != -1)
        {
            CRect rcInside(0, 0, 0, 0);
            CalcInsideRect(rcInside, (dwMode & LM_HORZ) != 0);
            nWrap = nLength + ((dwMode & LM_LENGTHY) ? rcInside.Height() : rcInside.Width());
            bApply = (dwMode & LM_COMMIT) != 0;
        }
        else
        {
            // A docked dynamic bar asked for its fixed size wraps at its side's length.
            nWrap = bFloating ? m_nMRUWidth : GetDockLength(!bVertical);
        }
        if (nWrap >= 0)
            SizeItems(pRecords, nCount, nWrap);
    }
    CSize size = CalcItemsSize(pRecords, nCount);
    if (bVertical)
        std::swap(size.cx, size.cy);
    if (nReportedLength >= 0)
        (bVertical ? size.cy : size.cx) = nReportedLength;
    if (bStretched)
        (bVertical ? size.cy : size.cx) = StretchedLength;
    if ((dwMode & LM_COMMIT) && bFloating && (m_dwStyle & CBRS_SIZE_DYNAMIC))
        m_nMRUWidth = size.cx;
    if (bApply)
        ApplyLayout(pRecords, nCount);
    CRect rcInside(0, 0, 0, 0);
    CalcInsideRect(rcInside, !bVertical);
    size.cx -= rcInside.Width();
    size.cy -= rcInside.Height();
    const CSize minimum = CControlBar::CalcFixedLayout(FALSE, !bVertical);
    size.cx = std::max(size.cx, minimum.cx);
    size.cy = std::max(size.cy, minimum.cy);
    return CapBarSize(size);
}
