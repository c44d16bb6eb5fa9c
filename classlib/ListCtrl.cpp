#include "classlib/ListCtrl.h"

namespace
{
// Texts longer than this are not list texts; the bound ends the growth.
constexpr int MaxItemTextChars = 32768;
} // namespace

int CListCtrl::InsertColumn(int nCol, const wchar_t* pszHeading, int nFormat, int nWidth)
{
    LVCOLUMNW stColumn = {};
    stColumn.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | (nWidth >= 0 ? LVCF_WIDTH : 0);
    stColumn.fmt = nFormat;
    stColumn.pszText = const_cast<wchar_t*>(pszHeading != nullptr ? pszHeading : L"");
    stColumn.cx = nWidth;
    stColumn.iSubItem = nCol;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, nCol, reinterpret_cast<LPARAM>(&stColumn)));
}

CListCtrl::~CListCtrl()
{
    m_header.m_hWnd = NULL;
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() const
{
    m_header.m_hWnd = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
    return m_header.m_hWnd != NULL ? &m_header : nullptr;
}

int CListCtrl::GetColumnCount() const
{
    CHeaderCtrl* pHeader = GetHeaderCtrl();
    return pHeader != nullptr ? pHeader->GetItemCount() : 0;
}

BOOL CListCtrl::GetColumnOrderArray(std::vector<int>& order) const
{
    order.assign(GetColumnCount(), 0);
    if (order.empty())
        return TRUE;
    return static_cast<BOOL>(
        SendMessage(LVM_GETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data())));
}

BOOL CListCtrl::SetColumnOrderArray(const std::vector<int>& order)
{
    return static_cast<BOOL>(
        SendMessage(LVM_SETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data())));
}

int CListCtrl::InsertItem(int nItem, const wchar_t* pszText, int nImage)
{
    LVITEMW stItem = {};
    stItem.mask = LVIF_TEXT | (nImage >= 0 ? LVIF_IMAGE : 0);
    stItem.iItem = nItem;
    stItem.pszText = const_cast<wchar_t*>(pszText != nullptr ? pszText : L"");
    stItem.iImage = nImage;
    return InsertItem(&stItem);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const wchar_t* pszText)
{
    LVITEMW stItem = {};
    stItem.iSubItem = nSubItem;
    stItem.pszText = const_cast<wchar_t*>(pszText);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, nItem, reinterpret_cast<LPARAM>(&stItem)));
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const
{
    CString str;
    // The control answers the characters copied; a full buffer may mean more.
    for (int nSize = 128; nSize <= MaxItemTextChars; nSize *= 2)
    {
        LVITEMW stItem = {};
        stItem.iSubItem = nSubItem;
        stItem.cchTextMax = nSize;
        stItem.pszText = str.GetBuffer(nSize);
        int nCopied = static_cast<int>(SendMessage(LVM_GETITEMTEXTW, nItem, reinterpret_cast<LPARAM>(&stItem)));
        str.ReleaseBuffer(nCopied >= 0 && nCopied < nSize ? nCopied : nSize - 1);
        if (nCopied < nSize - 1)
            break;
    }
    return str;
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const
{
    LVITEMW stItem = {};
    stItem.mask = LVIF_PARAM;
    stItem.iItem = nItem;
    return GetItem(&stItem) ? static_cast<DWORD_PTR>(stItem.lParam) : 0;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData)
{
    LVITEMW stItem = {};
    stItem.mask = LVIF_PARAM;
    stItem.iItem = nItem;
    stItem.lParam = static_cast<LPARAM>(dwData);
    return SetItem(&stItem);
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask)
{
    LVITEMW stItem = {};
    stItem.state = nState;
    stItem.stateMask = nMask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, nItem, reinterpret_cast<LPARAM>(&stItem)));
}

BOOL CListCtrl::GetItemRect(int nItem, LPRECT pRect, UINT nCode) const
{
    pRect->left = static_cast<LONG>(nCode);
    return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, nItem, reinterpret_cast<LPARAM>(pRect)));
}

BOOL CListCtrl::GetSubItemRect(int nItem, int nSubItem, int nArea, LPRECT pRect) const
{
    pRect->top = nSubItem;
    pRect->left = nArea;
    return static_cast<BOOL>(SendMessage(LVM_GETSUBITEMRECT, nItem, reinterpret_cast<LPARAM>(pRect)));
}
