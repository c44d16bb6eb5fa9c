#include "guitoolkit/ListBase.h"

#include "guitoolkit/ListItemRecord.h"

#include <algorithm>

namespace
{
// Header formats that say where the text stands.
constexpr int AlignmentBits = LVCFMT_JUSTIFYMASK;
} // namespace

LRESULT CListBase::OnInsertColumn(WPARAM wParam, LPARAM lParam)
{
    int nColumn = static_cast<int>(wParam);
    const LVCOLUMNW* pColumn = reinterpret_cast<const LVCOLUMNW*>(lParam);
    if (pColumn == nullptr || nColumn < 0 || nColumn > m_layout.GetCount())
        return -1;
    stSAVED_COLUMN stSaved;
    stSaved.stColumn = *pColumn;
    stSaved.stColumn.cx = 0;
    if ((pColumn->mask & LVCF_TEXT) && pColumn->pszText != nullptr && pColumn->pszText != LPSTR_TEXTCALLBACKW)
        stSaved.strText = pColumn->pszText;
    stSaved.stColumn.pszText = nullptr;

    int nOrder = (pColumn->mask & LVCF_ORDER) ? pColumn->iOrder : nColumn;
    if (nOrder < 0 || nOrder > m_layout.GetCount())
        nOrder = nColumn;
    int nPhysical = 0;
    for (int i = 0; i < nColumn; ++i)
        nPhysical += IsColumnVisible(i) ? 1 : 0;
    LVCOLUMNW stInsert = *pColumn;
    stInsert.mask &= ~LVCF_SUBITEM;
    if (stInsert.mask & LVCF_ORDER)
        stInsert.iOrder = m_layout.ToPhysicalOrder(nOrder);
    if (PassOn(LVM_INSERTCOLUMNW, nPhysical, reinterpret_cast<LPARAM>(&stInsert)) < 0)
        return -1;

    m_layout.Insert(nColumn, nOrder);
    m_savedColumns.insert(m_savedColumns.begin() + nColumn, stSaved);
    if (!IsOwnerData())
        for (int nItem = 0, nCount = ItemCount(); nItem < nCount; ++nItem)
            if (CListItemRecord* pRecord = RecordOf(nItem))
                pRecord->InsertColumn(nColumn);
    if (nPhysical == 0 && (IsOwnerDrawn() || (m_dwExStyle & LVS_EX_FULLROWSELECT)))
    {
        // The control forces its first column to the left; the owner paints it as asked.
        HDITEMW stItem = {};
        stItem.mask = HDI_FORMAT;
        HWND hHeader = GetHeader();
        if (::SendMessageW(hHeader, HDM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stItem)))
        {
            stItem.fmt = (stItem.fmt & ~AlignmentBits) | (pColumn->fmt & AlignmentBits);
            ::SendMessageW(hHeader, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&stItem));
        }
    }
    UpdateSortArrows();
    return nColumn;
}

LRESULT CListBase::OnDeleteColumn(WPARAM wParam)
{
    int nColumn = static_cast<int>(wParam);
    if (!m_layout.IsValid(nColumn))
        return FALSE;
    if (IsColumnVisible(nColumn) && !PassOn(LVM_DELETECOLUMN, PhysicalOf(nColumn), 0))
        return FALSE;
    if (m_layout.GetColumn(nColumn).hideable)
        --m_nHideable;
    m_layout.Delete(nColumn);
    m_savedColumns.erase(m_savedColumns.begin() + nColumn);
    if (!IsOwnerData())
        for (int nItem = 0, nCount = ItemCount(); nItem < nCount; ++nItem)
            if (CListItemRecord* pRecord = RecordOf(nItem))
                pRecord->DeleteColumn(nColumn);
    UpdateSortArrows();
    return TRUE;
}

LRESULT CListBase::OnGetColumn(WPARAM wParam, LPARAM lParam)
{
    int nColumn = static_cast<int>(wParam);
    LVCOLUMNW* pColumn = reinterpret_cast<LVCOLUMNW*>(lParam);
    if (pColumn == nullptr || !m_layout.IsValid(nColumn))
        return FALSE;
    const COLUMN_DATA& stData = m_layout.GetColumn(nColumn);
    if (stData.visible)
    {
        if (!PassOn(LVM_GETCOLUMNW, PhysicalOf(nColumn), lParam))
            return FALSE;
    }
    else
    {
        const LVCOLUMNW& stSaved = m_savedColumns[nColumn].stColumn;
        if (pColumn->mask & LVCF_FMT)
            pColumn->fmt = stSaved.fmt;
        if (pColumn->mask & LVCF_WIDTH)
            pColumn->cx = stData.nWidth;
        if (pColumn->mask & LVCF_TEXT)
            CopyTextBounded(m_savedColumns[nColumn].strText.c_str(), pColumn->pszText, pColumn->cchTextMax);
        if (pColumn->mask & LVCF_IMAGE)
            pColumn->iImage = stSaved.iImage;
    }
    if (pColumn->mask & LVCF_ORDER)
        pColumn->iOrder = stData.nOrder;
    if (pColumn->mask & LVCF_SUBITEM)
        pColumn->iSubItem = nColumn;
    return TRUE;
}

LRESULT CListBase::OnSetColumn(WPARAM wParam, LPARAM lParam)
{
    int nColumn = static_cast<int>(wParam);
    const LVCOLUMNW* pColumn = reinterpret_cast<const LVCOLUMNW*>(lParam);
    if (pColumn == nullptr || !m_layout.IsValid(nColumn))
        return FALSE;
    if (IsColumnVisible(nColumn))
    {
        LVCOLUMNW stSet = *pColumn;
        stSet.mask &= ~LVCF_SUBITEM;
        if (stSet.mask & LVCF_ORDER)
            stSet.iOrder = m_layout.ToPhysicalOrder(pColumn->iOrder);
        if (!PassOn(LVM_SETCOLUMNW, PhysicalOf(nColumn), reinterpret_cast<LPARAM>(&stSet)))
            return FALSE;
    }
    else if (pColumn->mask & LVCF_WIDTH)
        m_layout.GetColumn(nColumn).nWidth = pColumn->cx;
    stSAVED_COLUMN& stSaved = m_savedColumns[nColumn];
    if (pColumn->mask & LVCF_FMT)
        stSaved.stColumn.fmt = pColumn->fmt;
    if (pColumn->mask & LVCF_IMAGE)
        stSaved.stColumn.iImage = pColumn->iImage;
    if ((pColumn->mask & LVCF_TEXT) && pColumn->pszText != LPSTR_TEXTCALLBACKW)
        stSaved.strText = pColumn->pszText != nullptr ? pColumn->pszText : L"";
    stSaved.stColumn.mask |= pColumn->mask & (LVCF_FMT | LVCF_IMAGE | LVCF_TEXT);
    if (pColumn->mask & LVCF_ORDER)
        MoveColumnOrder(nColumn, pColumn->iOrder);
    return TRUE;
}

void CListBase::MoveColumnOrder(int nColumn, int nOrder)
{
    std::vector<int> display = m_layout.GetOrderArray();
    display.erase(std::find(display.begin(), display.end(), nColumn));
    nOrder = std::max(0, std::min(nOrder, static_cast<int>(display.size())));
    display.insert(display.begin() + nOrder, nColumn);
    m_layout.SetOrderArray(display);
}

LRESULT CListBase::OnGetColumnWidth(WPARAM wParam)
{
    int nColumn = static_cast<int>(wParam);
    if (!IsColumnVisible(nColumn))
        return 0;
    return PassOn(LVM_GETCOLUMNWIDTH, PhysicalOf(nColumn), 0);
}

LRESULT CListBase::OnSetColumnWidth(WPARAM wParam, LPARAM lParam)
{
    int nColumn = static_cast<int>(wParam);
    if (!m_layout.IsValid(nColumn))
        return FALSE;
    if (!IsColumnVisible(nColumn))
    {
        m_layout.GetColumn(nColumn).nWidth = static_cast<short>(LOWORD(lParam));
        return TRUE;
    }
    return PassOn(LVM_SETCOLUMNWIDTH, PhysicalOf(nColumn), lParam);
}

LRESULT CListBase::OnGetColumnOrderArray(WPARAM wParam, LPARAM lParam)
{
    int* pOrder = reinterpret_cast<int*>(lParam);
    if (pOrder == nullptr)
        return FALSE;
    std::vector<int> display = m_layout.GetOrderArray();
    size_t nCount = std::min(static_cast<size_t>(wParam), display.size());
    std::copy(display.begin(), display.begin() + nCount, pOrder);
    return TRUE;
}

LRESULT CListBase::OnSetColumnOrderArray(WPARAM wParam, LPARAM lParam)
{
    const int* pColumns = reinterpret_cast<const int*>(lParam);
    if (pColumns == nullptr)
        return FALSE;
    std::vector<int> columns(pColumns, pColumns + std::min<WPARAM>(wParam, m_layout.GetCount()));
    // The shown ones among them, in their new places, then the shown rest as they stood.
    std::vector<int> requested = columns;
    for (int nColumn : m_layout.GetOrderArray())
        if (std::find(requested.begin(), requested.end(), nColumn) == requested.end())
            requested.push_back(nColumn);
    std::vector<int> physical;
    for (int nColumn : requested)
        if (IsColumnVisible(nColumn) &&
            std::find(physical.begin(), physical.end(), PhysicalOf(nColumn)) == physical.end())
            physical.push_back(PhysicalOf(nColumn));
    if (!physical.empty() &&
        !PassOn(LVM_SETCOLUMNORDERARRAY, physical.size(), reinterpret_cast<LPARAM>(physical.data())))
        return FALSE;
    m_layout.SetOrderArray(columns);
    InvalidateSortStrip();
    return TRUE;
}

void CListBase::SyncOrdersFromControl()
{
    int nShown = static_cast<int>(::SendMessageW(GetHeader(), HDM_GETITEMCOUNT, 0, 0));
    if (nShown <= 0)
        return;
    std::vector<int> physical(nShown);
    if (!PassOn(LVM_GETCOLUMNORDERARRAY, nShown, reinterpret_cast<LPARAM>(physical.data())))
        return;
    // Hidden columns keep their places; the shown ones fill theirs in the control's order.
    std::vector<int> display = m_layout.GetOrderArray();
    size_t nNext = 0;
    for (int& nColumn : display)
    {
        if (!IsColumnVisible(nColumn) || nNext >= physical.size())
            continue;
        int nLogical = LogicalOf(physical[nNext++]);
        if (nLogical >= 0)
            nColumn = nLogical;
    }
    m_layout.SetOrderArray(display);
    InvalidateSortStrip();
}
