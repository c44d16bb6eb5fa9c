#include "classlib/TreeCtrl.h"

namespace
{
// Labels longer than this are not tree labels; the bound ends the growth.
constexpr int MaxItemTextChars = 32768;
} // namespace

HTREEITEM CTreeCtrl::InsertItem(const wchar_t* pszText, int nImage, int nSelectedImage, HTREEITEM hParent,
                                HTREEITEM hAfter, DWORD_PTR dwData)
{
    TVINSERTSTRUCTW stInsert = {};
    stInsert.hParent = hParent;
    stInsert.hInsertAfter = hAfter;
    stInsert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    stInsert.item.pszText = const_cast<wchar_t*>(pszText != nullptr ? pszText : L"");
    stInsert.item.iImage = nImage;
    stInsert.item.iSelectedImage = nSelectedImage;
    stInsert.item.lParam = static_cast<LPARAM>(dwData);
    return InsertItem(&stInsert);
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const
{
    CString str;
    if (hItem == NULL)
        return str;
    // The control copies at most the buffer less one character and does not
    // say whether it cut, so a text that fills the buffer asks again with more.
    for (int nChars = 256; nChars <= MaxItemTextChars; nChars *= 2)
    {
        TVITEMW stItem = {};
        stItem.mask = TVIF_TEXT;
        stItem.hItem = hItem;
        stItem.pszText = str.GetBuffer(nChars);
        stItem.cchTextMax = nChars;
        stItem.pszText[0] = L'\0';
        BOOL bRead = GetItem(&stItem);
        str.ReleaseBuffer(bRead ? -1 : 0);
        if (!bRead || str.GetLength() < nChars - 1)
            break;
    }
    return str;
}

BOOL CTreeCtrl::SetItemText(HTREEITEM hItem, const wchar_t* pszText)
{
    TVITEMW stItem = {};
    stItem.mask = TVIF_TEXT;
    stItem.hItem = hItem;
    stItem.pszText = const_cast<wchar_t*>(pszText != nullptr ? pszText : L"");
    return SetItem(&stItem);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const
{
    TVITEMW stItem = {};
    stItem.mask = TVIF_PARAM;
    stItem.hItem = hItem;
    return hItem != NULL && GetItem(&stItem) ? static_cast<DWORD_PTR>(stItem.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData)
{
    TVITEMW stItem = {};
    stItem.mask = TVIF_PARAM;
    stItem.hItem = hItem;
    stItem.lParam = static_cast<LPARAM>(dwData);
    return SetItem(&stItem);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const
{
    TVITEMW stItem = {};
    stItem.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    stItem.hItem = hItem;
    if (hItem == NULL || !GetItem(&stItem))
        return FALSE;
    nImage = stItem.iImage;
    nSelectedImage = stItem.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage)
{
    TVITEMW stItem = {};
    stItem.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    stItem.hItem = hItem;
    stItem.iImage = nImage;
    stItem.iSelectedImage = nSelectedImage;
    return SetItem(&stItem);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask)
{
    TVITEMW stItem = {};
    stItem.mask = TVIF_STATE;
    stItem.hItem = hItem;
    stItem.state = nState;
    stItem.stateMask = nStateMask;
    return SetItem(&stItem);
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM hItem, LPRECT pRect, BOOL bTextOnly) const
{
    if (hItem == NULL || pRect == nullptr)
        return FALSE;
    // The message takes the item in the rectangle it fills.
    *reinterpret_cast<HTREEITEM*>(pRect) = hItem;
    return static_cast<BOOL>(SendMessage(TVM_GETITEMRECT, bTextOnly, reinterpret_cast<LPARAM>(pRect)));
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM hItem) const
{
    if (hItem == NULL || hItem == TVI_ROOT)
        return GetRootItem();
    return GetNextItem(hItem, TVGN_CHILD);
}

HTREEITEM CTreeCtrl::HitTest(POINT pt, UINT* pFlags) const
{
    TVHITTESTINFO stHit = {};
    stHit.pt = pt;
    HTREEITEM hItem = reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&stHit)));
    if (pFlags != nullptr)
        *pFlags = stHit.flags;
    return hItem;
}
