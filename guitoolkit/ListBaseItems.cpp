#include "guitoolkit/ListBase.h"

#include "guitoolkit/LabelEdit.h"
#include "guitoolkit/ListItemRecord.h"

#include <algorithm>

namespace
{
// Texts longer than this are not list texts; the bound ends the growth.
constexpr size_t MaxCellTextChars = 32768;
// The edit's text handed to the parent has at least the room of a path.
constexpr int MinEditTextChars = 260;
// Kept by the base, which shows these tips itself.
constexpr DWORD OwnTipStyles = LVS_EX_INFOTIP | LVS_EX_LABELTIP;
} // namespace

LRESULT CListBase::OnInsertItem(LPARAM lParam)
{
    const LVITEMW* pItem = reinterpret_cast<const LVITEMW*>(lParam);
    if (pItem == nullptr)
        return -1;
    if (IsOwnerData())
        return PassOn(LVM_INSERTITEMW, 0, lParam);
    auto pRecord = std::make_unique<CListItemRecord>(m_layout.GetCount(), (pItem->mask & LVIF_PARAM) ? pItem->lParam : 0);
    int nColumn = LogicalOf(pItem->iSubItem);
    pRecord->Store(nColumn, *pItem);
    LVITEMW stInsert = *pItem;
    stInsert.mask |= LVIF_PARAM;
    stInsert.lParam = reinterpret_cast<LPARAM>(pRecord.get());
    if ((stInsert.mask & LVIF_TEXT) && !KeepsRealText())
        stInsert.pszText = LPSTR_TEXTCALLBACKW;
    LRESULT lIndex = PassOn(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&stInsert));
    if (lIndex >= 0)
        pRecord.release();
    return lIndex;
}

LRESULT CListBase::OnGetItem(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LVITEMW* pItem = reinterpret_cast<LVITEMW*>(lParam);
    if (pItem == nullptr)
        return FALSE;
    int nItem = nMsg == LVM_GETITEMW ? pItem->iItem : static_cast<int>(wParam);
    int nColumn = pItem->iSubItem;
    if (IsOwnerData())
    {
        LVITEMW stPass = *pItem;
        stPass.iSubItem = PhysicalOf(nColumn);
        LRESULT lResult = stPass.iSubItem < 0 ? 0 : PassOn(nMsg, wParam, reinterpret_cast<LPARAM>(&stPass));
        *pItem = stPass;
        pItem->iSubItem = nColumn;
        return lResult;
    }
    const CListItemRecord* pRecord = RecordOf(nItem);
    if (pRecord == nullptr || !m_layout.IsValid(nColumn))
        return nMsg == LVM_GETITEMW ? FALSE : 0;
    if (nMsg == LVM_GETITEMTEXTW)
    {
        std::wstring strText = GetCellText(nItem, nColumn);
        CopyTextBounded(strText.c_str(), pItem->pszText, pItem->cchTextMax);
        return pItem->pszText != nullptr && pItem->cchTextMax > 0
                   ? static_cast<LRESULT>(std::min<size_t>(strText.size(), pItem->cchTextMax - 1))
                   : 0;
    }
    if (IsColumnVisible(nColumn))
    {
        LVITEMW stPass = *pItem;
        stPass.mask &= ~LVIF_TEXT;
        stPass.iSubItem = PhysicalOf(nColumn);
        if (!PassOn(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stPass)))
            return FALSE;
        wchar_t* pszBuffer = pItem->pszText;
        *pItem = stPass;
        pItem->pszText = pszBuffer;
        pItem->iSubItem = nColumn;
    }
    else
        pRecord->Fill(nColumn, *pItem);
    if (pItem->mask & LVIF_PARAM)
        pItem->lParam = pRecord->GetParam();
    if (pItem->mask & LVIF_TEXT)
        CopyTextBounded(GetCellText(nItem, nColumn).c_str(), pItem->pszText, pItem->cchTextMax);
    return TRUE;
}

LRESULT CListBase::OnSetItem(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    const LVITEMW* pItem = reinterpret_cast<const LVITEMW*>(lParam);
    if (pItem == nullptr)
        return FALSE;
    LVITEMW stItem = *pItem;
    if (nMsg == LVM_SETITEMTEXTW)
    {
        stItem.mask = LVIF_TEXT;
        stItem.iItem = static_cast<int>(wParam);
    }
    int nColumn = stItem.iSubItem;
    if (!m_layout.IsValid(nColumn))
        return FALSE;
    if (!IsOwnerData())
    {
        CListItemRecord* pRecord = RecordOf(stItem.iItem);
        if (pRecord == nullptr)
            return FALSE;
        pRecord->Store(nColumn, stItem);
        stItem.mask &= ~LVIF_PARAM;
        if ((stItem.mask & LVIF_TEXT) && !KeepsRealText())
            stItem.pszText = LPSTR_TEXTCALLBACKW;
    }
    if (!IsColumnVisible(nColumn))
        return TRUE;
    stItem.iSubItem = PhysicalOf(nColumn);
    if (stItem.mask == 0)
        return TRUE;
    return PassOn(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&stItem));
}

LRESULT CListBase::OnDeleteItem(WPARAM wParam)
{
    CListItemRecord* pRecord = RecordOf(static_cast<int>(wParam));
    LRESULT lResult = PassOn(LVM_DELETEITEM, wParam, 0);
    if (lResult)
        delete pRecord;
    return lResult;
}

LRESULT CListBase::OnDeleteAllItems()
{
    std::vector<CListItemRecord*> records;
    if (!IsOwnerData())
        for (int nItem = 0, nCount = ItemCount(); nItem < nCount; ++nItem)
            records.push_back(RecordOf(nItem));
    LRESULT lResult = PassOn(LVM_DELETEALLITEMS, 0, 0);
    if (lResult)
        for (CListItemRecord* pRecord : records)
            delete pRecord;
    return lResult;
}

void CListBase::ReleaseItemRecords()
{
    if (m_pListWnd == nullptr || m_pListWnd->m_hWnd == NULL || IsOwnerData())
        return;
    for (int nItem = 0, nCount = ItemCount(); nItem < nCount; ++nItem)
    {
        CListItemRecord* pRecord = RecordOf(nItem);
        LVITEMW stItem = {};
        stItem.mask = LVIF_PARAM;
        stItem.iItem = nItem;
        if (pRecord != nullptr && PassOn(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&stItem)))
            delete pRecord;
    }
}

LRESULT CListBase::OnFindItem(WPARAM wParam, LPARAM lParam)
{
    const LVFINDINFOW* pFind = reinterpret_cast<const LVFINDINFOW*>(lParam);
    if (pFind == nullptr || !(pFind->flags & LVFI_PARAM) || IsOwnerData())
        return PassOn(LVM_FINDITEMW, wParam, lParam);
    int nStart = static_cast<int>(wParam);
    int nCount = ItemCount();
    if (nStart < -1 || nStart >= nCount)
        nStart = -1;
    // After the start item to the end, then from the top up to it: the start
    // item itself is where the caller stands, not a match.
    for (int nItem = nStart + 1; nItem < nCount; ++nItem)
        if (const CListItemRecord* pRecord = RecordOf(nItem); pRecord != nullptr && pRecord->GetParam() == pFind->lParam)
            return nItem;
    if (pFind->flags & LVFI_WRAP)
        for (int nItem = 0; nItem < nStart; ++nItem)
            if (const CListItemRecord* pRecord = RecordOf(nItem); pRecord != nullptr && pRecord->GetParam() == pFind->lParam)
                return nItem;
    return -1;
}

LRESULT CListBase::OnGetSubItemRect(WPARAM wParam, LPARAM lParam)
{
    RECT* pRect = reinterpret_cast<RECT*>(lParam);
    if (pRect == nullptr)
        return FALSE;
    int nColumn = pRect->top;
    int nArea = pRect->left;
    if (!IsColumnVisible(nColumn))
        return FALSE;
    if (m_bLeftmostLabel && nColumn == GetLabelColumn() && (nArea == LVIR_ICON || nArea == LVIR_LABEL))
        return GetLabelPartRect(static_cast<int>(wParam), nColumn, nArea, *pRect);
    int nPhysical = PhysicalOf(nColumn);
    pRect->top = nPhysical;
    if (!PassOn(LVM_GETSUBITEMRECT, wParam, lParam))
        return FALSE;
    if (nPhysical == 0 && nArea == LVIR_BOUNDS)
    {
        // The control answers the whole row for its first column.
        RECT rcHeaderItem;
        HWND hHeader = GetHeader();
        if (::SendMessageW(hHeader, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rcHeaderItem)))
        {
            int nLeft = pRect->left;
            pRect->left = nLeft + rcHeaderItem.left;
            pRect->right = nLeft + rcHeaderItem.right;
        }
    }
    return TRUE;
}

BOOL CListBase::GetLabelPartRect(int nItem, int nColumn, int nArea, RECT& rc) const
{
    // The images stand at the painted label's left, as in column 0.
    CRect rcCell;
    rcCell.top = nColumn;
    rcCell.left = LVIR_BOUNDS;
    if (!const_cast<CListBase*>(this)->OnGetSubItemRect(nItem, reinterpret_cast<LPARAM>(&rcCell)))
        return FALSE;
    int nIconLeft = rcCell.left + ImageWidth(reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_STATE)));
    int nIconRight = nIconLeft + ImageWidth(reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL)));
    rc = rcCell;
    if (nArea == LVIR_ICON)
    {
        rc.left = std::min<LONG>(nIconLeft, rcCell.right);
        rc.right = std::min<LONG>(nIconRight, rcCell.right);
    }
    else
        rc.left = std::min<LONG>(nIconRight, rcCell.right);
    return TRUE;
}

LRESULT CListBase::OnGetItemRect(WPARAM wParam, LPARAM lParam)
{
    RECT* pRect = reinterpret_cast<RECT*>(lParam);
    if (pRect == nullptr || pRect->left == LVIR_SELECTBOUNDS)
        return FALSE;
    if (m_bLeftmostLabel && (pRect->left == LVIR_ICON || pRect->left == LVIR_LABEL))
        return GetLabelPartRect(static_cast<int>(wParam), GetLabelColumn(), pRect->left, *pRect);
    return PassOn(LVM_GETITEMRECT, wParam, lParam);
}

LRESULT CListBase::OnHitTest(UINT nMsg, LPARAM lParam)
{
    LVHITTESTINFO* pInfo = reinterpret_cast<LVHITTESTINFO*>(lParam);
    if (pInfo == nullptr)
        return -1;
    LRESULT lItem = PassOn(nMsg, 0, lParam);
    if (pInfo->iItem < 0)
        return lItem;
    pInfo->iSubItem = -1;
    pInfo->flags = LVHT_NOWHERE;
    for (int nColumn = m_layout.GetCount() - 1; nColumn >= 0; --nColumn)
    {
        CRect rcCell;
        rcCell.top = nColumn;
        rcCell.left = LVIR_BOUNDS;
        if (!OnGetSubItemRect(pInfo->iItem, reinterpret_cast<LPARAM>(&rcCell)) || !rcCell.PtInRect(pInfo->pt))
            continue;
        pInfo->iSubItem = nColumn;
        pInfo->flags = LVHT_ONITEM;
        int nTextLeft = rcCell.left;
        CRect rcIcon;
        rcIcon.top = PhysicalOf(nColumn);
        rcIcon.left = LVIR_ICON;
        if (nColumn == GetLabelColumn() && PassOn(LVM_GETSUBITEMRECT, pInfo->iItem, reinterpret_cast<LPARAM>(&rcIcon)))
        {
            int nStateWidth = ImageWidth(reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_STATE)));
            if (rcIcon.Width() > 0 && rcIcon.PtInRect(pInfo->pt))
            {
                pInfo->flags = LVHT_ONITEMICON;
                break;
            }
            if (pInfo->pt.x < rcIcon.left && pInfo->pt.x >= rcIcon.left - nStateWidth)
            {
                pInfo->flags = LVHT_ONITEMSTATEICON;
                break;
            }
            nTextLeft = rcIcon.right;
        }
        std::wstring strText = GetCellText(pInfo->iItem, nColumn);
        int nTextWidth = static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(strText.c_str())));
        int nMargins = 2 * (nColumn == GetLabelColumn() ? LabelMargin : CellMargin);
        if (!strText.empty() && pInfo->pt.x < nTextLeft + nTextWidth + nMargins)
            pInfo->flags = LVHT_ONITEMLABEL;
        break;
    }
    return lItem;
}

LRESULT CListBase::OnSetExtendedStyle(WPARAM wParam, LPARAM lParam)
{
    DWORD dwOld = m_dwExStyle;
    DWORD dwMask = wParam != 0 ? static_cast<DWORD>(wParam) : ~0u;
    m_dwExStyle = (m_dwExStyle & ~dwMask) | (static_cast<DWORD>(lParam) & dwMask);
    if (dwMask & LVS_EX_INFOTIP)
        m_bInfoTip = (m_dwExStyle & LVS_EX_INFOTIP) != 0;
    if (dwMask & LVS_EX_LABELTIP)
        m_bLabelTip = (m_dwExStyle & LVS_EX_LABELTIP) != 0;
    DWORD dwKeptBack = OwnTipStyles;
    if (IsOwnerDrawn() && (dwMask & HotStyles))
    {
        if (m_dwExStyle & HotStyles)
        {
            m_hArrowCursor = ::LoadCursorW(NULL, IDC_ARROW);
            m_hHandCursor = LoadHandCursor(VersionWord());
        }
        else
            m_hCurrentCursor = NULL;
    }
    if (IsOwnerDrawn())
        dwKeptBack |= HotStyles;
    PassOn(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, m_dwExStyle & ~dwKeptBack);
    return dwOld;
}

std::wstring CListBase::GetCellText(int nItem, int nColumn) const
{
    if (const CListItemRecord* pRecord = RecordOf(nItem))
    {
        if (const wchar_t* pszText = pRecord->GetText(nColumn))
            return pszText;
        const stSAVED_CELL* pCell = pRecord->GetCell(nColumn);
        if (pCell == nullptr || !pCell->bTextCallback)
            return std::wstring();
    }
    // The parent's own texts, asked the way the control would.
    std::wstring strText;
    for (size_t nSize = 128; nSize <= MaxCellTextChars; nSize *= 2)
    {
        strText.assign(nSize, L'\0');
        NMLVDISPINFOW stInfo = {};
        stInfo.hdr.hwndFrom = m_pListWnd->m_hWnd;
        stInfo.hdr.idFrom = static_cast<UINT_PTR>(m_pListWnd->GetDlgCtrlID());
        stInfo.hdr.code = LVN_GETDISPINFOW;
        stInfo.item.mask = LVIF_TEXT;
        stInfo.item.iItem = nItem;
        stInfo.item.iSubItem = nColumn;
        stInfo.item.pszText = &strText[0];
        stInfo.item.cchTextMax = static_cast<int>(nSize);
        if (const CListItemRecord* pRecord = RecordOf(nItem))
            stInfo.item.lParam = pRecord->GetParam();
        NotifyParent(&stInfo.hdr);
        if (stInfo.item.pszText != &strText[0])
        {
            // The parent may answer with a pointer of its own.
            std::wstring strOwn = stInfo.item.pszText != nullptr && stInfo.item.pszText != LPSTR_TEXTCALLBACKW
                                      ? stInfo.item.pszText
                                      : L"";
            if (strOwn.size() > MaxCellTextChars)
                strOwn.resize(MaxCellTextChars);
            return strOwn;
        }
        size_t nLength = std::wstring(strText.c_str()).size();
        if (nLength < nSize - 1)
        {
            strText.resize(nLength);
            return strText;
        }
    }
    strText.resize(MaxCellTextChars - 1);
    return strText;
}

LRESULT CListBase::NotifyParent(NMHDR* pHeader) const
{
    HWND hParent = ::GetParent(m_pListWnd->m_hWnd);
    if (hParent == NULL)
        return 0;
    auto* pThis = const_cast<CListBase*>(this);
    bool bSaved = pThis->m_bRelaying;
    pThis->m_bRelaying = true;
    LRESULT lResult = ::SendMessageW(hParent, WM_NOTIFY, pHeader->idFrom, reinterpret_cast<LPARAM>(pHeader));
    pThis->m_bRelaying = bSaved;
    return lResult;
}

BOOL CListBase::OnGetDispInfo(NMLVDISPINFOW* pInfo, LRESULT* pResult)
{
    int nColumn = LogicalOf(pInfo->item.iSubItem);
    if (nColumn < 0)
        return FALSE;
    const CListItemRecord* pRecord = IsOwnerData() ? nullptr : RecordOf(pInfo->item.iItem);
    UINT nAnswered = 0;
    if (pRecord != nullptr && (pInfo->item.mask & LVIF_TEXT))
    {
        if (const wchar_t* pszText = pRecord->GetText(nColumn))
        {
            CopyTextBounded(pszText, pInfo->item.pszText, pInfo->item.cchTextMax);
            nAnswered = LVIF_TEXT;
        }
    }
    *pResult = 0;
    UINT nMask = pInfo->item.mask;
    if ((nMask & ~(nAnswered | LVIF_DI_SETITEM)) == 0)
        return TRUE;
    // What the base does not hold the parent answers, in its own terms.
    int nPhysical = pInfo->item.iSubItem;
    LPARAM lOwn = pInfo->item.lParam;
    pInfo->item.mask = nMask & ~nAnswered;
    pInfo->item.iSubItem = nColumn;
    if (pRecord != nullptr)
        pInfo->item.lParam = pRecord->GetParam();
    *pResult = NotifyParent(&pInfo->hdr);
    pInfo->item.iSubItem = nPhysical;
    pInfo->item.lParam = lOwn;
    pInfo->item.mask |= nAnswered;
    return TRUE;
}

BOOL CListBase::OnColumnClick(NMLISTVIEW* pInfo)
{
    int nColumn = LogicalOf(pInfo->iSubItem);
    if (nColumn < 0)
        return TRUE;
    SetSortColumn(m_layout.ClickColumn(nColumn));
    NMLISTVIEW stRelay = *pInfo;
    stRelay.iSubItem = nColumn;
    NotifyParent(&stRelay.hdr);
    return TRUE;
}

BOOL CListBase::OnBeginLabelEdit(NMLVDISPINFOW* pInfo)
{
    m_nEditItem = pInfo->item.iItem;
    m_bEditCancelled = false;
    if (m_pLabelEdit && m_pLabelEdit->m_hWnd == NULL)
    {
        HWND hEdit = reinterpret_cast<HWND>(Send(LVM_GETEDITCONTROL));
        if (hEdit != NULL)
            m_pLabelEdit->SubclassWindow(hEdit);
    }
    // The parent still decides whether the edit may begin.
    return FALSE;
}

BOOL CListBase::OnEndLabelEdit(NMLVDISPINFOW* pInfo, LRESULT* pResult)
{
    std::wstring strText;
    bool bHasText = !m_bEditCancelled;
    if (bHasText)
    {
        HWND hEdit = m_pLabelEdit && m_pLabelEdit->m_hWnd != NULL ? m_pLabelEdit->m_hWnd
                                                                  : reinterpret_cast<HWND>(Send(LVM_GETEDITCONTROL));
        int nLength = hEdit != NULL ? ::GetWindowTextLengthW(hEdit) : 0;
        strText.assign(std::max(nLength + 1, MinEditTextChars), L'\0');
        if (hEdit != NULL)
            ::GetWindowTextW(hEdit, &strText[0], static_cast<int>(strText.size()));
    }
    NMLVDISPINFOW stRelay = *pInfo;
    stRelay.item.pszText = bHasText ? &strText[0] : nullptr;
    stRelay.item.iSubItem = LogicalOf(pInfo->item.iSubItem);
    if (const CListItemRecord* pRecord = RecordOf(pInfo->item.iItem))
        stRelay.item.lParam = pRecord->GetParam();
    LRESULT lAccepted = NotifyParent(&stRelay.hdr);
    if (m_pLabelEdit && m_pLabelEdit->m_hWnd != NULL)
        m_pLabelEdit->UnsubclassWindow();
    if (bHasText && lAccepted)
    {
        LVITEMW stItem = {};
        stItem.mask = LVIF_TEXT;
        stItem.iItem = pInfo->item.iItem;
        stItem.iSubItem = std::max(stRelay.item.iSubItem, 0);
        stItem.pszText = stRelay.item.pszText;
        Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&stItem));
    }
    m_nEditItem = -1;
    m_bEditCancelled = false;
    // The text is set above, through the cells the base keeps.
    *pResult = FALSE;
    return TRUE;
}
