#include "guitoolkit/ListBase.h"

#include <algorithm>

namespace
{
// The plus key of the numeric keypad.
constexpr WPARAM KeypadPlus = 107;
// Room beside a sized column's widest text.
constexpr int SizingMargin = 6;
constexpr int LabelGap = 2;

bool IsChecked(UINT nState)
{
    return ((nState & LVIS_STATEIMAGEMASK) >> 12) == 2;
}
} // namespace

bool CListBase::OnCheckBoxInput(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (!(m_dwExStyle & LVS_EX_CHECKBOXES))
        return false;
    int nItem = -1;
    if (nMsg == WM_KEYDOWN)
    {
        if (wParam != VK_SPACE)
            return false;
        nItem = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    }
    else
    {
        LVHITTESTINFO stHit = {};
        stHit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        OnHitTest(LVM_HITTEST, reinterpret_cast<LPARAM>(&stHit));
        if (stHit.flags != LVHT_ONITEMSTATEICON)
            return false;
        nItem = stHit.iItem;
    }
    if (nItem < 0)
        return false;
    // The selection follows the item's new check, as one block.
    bool bCheck = !IsChecked(static_cast<UINT>(Send(LVM_GETITEMSTATE, nItem, LVIS_STATEIMAGEMASK)));
    LVITEMW stItem = {};
    stItem.stateMask = LVIS_STATEIMAGEMASK;
    stItem.state = INDEXTOSTATEIMAGEMASK(bCheck ? 2 : 1);
    Send(LVM_SETITEMSTATE, nItem, reinterpret_cast<LPARAM>(&stItem));
    for (int nSelected = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
         nSelected >= 0;
         nSelected = static_cast<int>(Send(LVM_GETNEXTITEM, nSelected, LVNI_SELECTED)))
        if (nSelected != nItem)
            Send(LVM_SETITEMSTATE, nSelected, reinterpret_cast<LPARAM>(&stItem));
    return true;
}

bool CListBase::IsLabelMoved() const
{
    // Column 0 shown elsewhere while another column is painted as the label.
    return m_bLeftmostLabel && GetLabelColumn() != 0;
}

bool CListBase::OnKeyDown(WPARAM wParam, LPARAM lParam)
{
    if (OnCheckBoxInput(WM_KEYDOWN, wParam, lParam))
        return true;
    if (!IsLabelMoved())
        return false;
    if (wParam == VK_CONTROL)
    {
        // The control would size its columns by its own rule on Ctrl and plus.
        m_bCtrlDown = true;
        return true;
    }
    if (wParam == KeypadPlus && m_bCtrlDown)
    {
        HWND hHeader = GetHeader();
        int nShown = static_cast<int>(::SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0));
        for (int nOrder = 0; nOrder < nShown; ++nOrder)
            SizeColumnToTexts(LogicalOf(static_cast<int>(::SendMessageW(hHeader, HDM_ORDERTOINDEX, nOrder, 0))));
        return true;
    }
    return false;
}

void CListBase::SizeColumnToTexts(int nColumn)
{
    if (!IsColumnVisible(nColumn))
        return;
    int nFirst = 0, nLast = ItemCount() - 1;
    if (IsOwnerData())
    {
        // Only what the parent has at hand: the cached range and the page shown.
        int nTop = static_cast<int>(Send(LVM_GETTOPINDEX));
        nFirst = std::min(m_nCacheFrom, nTop);
        nLast = std::min(nLast, std::max(m_nCacheTo, nTop + static_cast<int>(Send(LVM_GETCOUNTPERPAGE))));
    }
    int nWidest = 0, nGap = 0;
    for (int nItem = nFirst; nItem <= nLast; ++nItem)
    {
        std::wstring strText = GetCellText(nItem, nColumn);
        nWidest = std::max(nWidest, static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(strText.c_str()))));
    }
    if (nColumn == 0)
        nGap = SizingMargin;
    else if (nLast >= nFirst)
    {
        RECT rcIcon = {LVIR_ICON, 0, 0, 0}, rcLabel = {LVIR_LABEL, 0, 0, 0};
        if (PassOn(LVM_GETITEMRECT, nFirst, reinterpret_cast<LPARAM>(&rcIcon)) &&
            PassOn(LVM_GETITEMRECT, nFirst, reinterpret_cast<LPARAM>(&rcLabel)))
            nGap = std::max(0, static_cast<int>(rcLabel.left - rcIcon.right)) + LabelGap;
    }
    PassOn(LVM_SETCOLUMNWIDTH, PhysicalOf(nColumn), MAKELPARAM(nWidest + nGap + SizingMargin, 0));
}

bool CListBase::OnDividerDblClick(const NMHEADERW* pHeader)
{
    int nColumn = LogicalOf(pHeader->iItem);
    if (!m_bLeftmostLabel || nColumn < 0)
        return false;
    int nLeftmost = LogicalOf(static_cast<int>(::SendMessageW(GetHeader(), HDM_ORDERTOINDEX, 0, 0)));
    bool bLabelElsewhere = nColumn == nLeftmost && nColumn != 0;
    bool bFirstElsewhere = nColumn == 0 && nLeftmost != 0;
    if (!bLabelElsewhere && !bFirstElsewhere)
        return false;
    SizeColumnToTexts(nColumn);
    return true;
}
