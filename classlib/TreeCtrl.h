// CTreeCtrl: the system tree view: items with their data, images and states,
// the walks over parents, children, siblings and visible items, and label editing.
#pragma once

#include "classlib/String.h"
#include "classlib/Wnd.h"

#include <commctrl.h>

class CTreeCtrl : public CWnd
{
public:
    CTreeCtrl() = default;

    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, WC_TREEVIEWW, L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }

    HTREEITEM InsertItem(const TVINSERTSTRUCTW* pInsert)
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(pInsert)));
    }
    HTREEITEM InsertItem(const wchar_t* pszText, int nImage, int nSelectedImage, HTREEITEM hParent = TVI_ROOT,
                         HTREEITEM hAfter = TVI_LAST, DWORD_PTR dwData = 0);
    BOOL DeleteItem(HTREEITEM hItem)
    {
        return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hItem)));
    }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }

    BOOL GetItem(TVITEMW* pItem) const
    {
        return static_cast<BOOL>(SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    BOOL SetItem(const TVITEMW* pItem)
    {
        return static_cast<BOOL>(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    // The whole text, however long; empty for a null item.
    CString GetItemText(HTREEITEM hItem) const;
    BOOL SetItemText(HTREEITEM hItem, const wchar_t* pszText);
    DWORD_PTR GetItemData(HTREEITEM hItem) const;
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData);
    BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const;
    BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage);
    UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const
    {
        return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), nStateMask));
    }
    BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask);
    BOOL ItemHasChildren(HTREEITEM hItem) const { return GetChildItem(hItem) != NULL; }
    // Text only: the label's rectangle; else the whole row.
    BOOL GetItemRect(HTREEITEM hItem, LPRECT pRect, BOOL bTextOnly) const;

    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
    }
    // TVI_ROOT or null: the first item at the root level.
    HTREEITEM GetChildItem(HTREEITEM hItem) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
    // Null for an item at the root level.
    HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
    HTREEITEM GetRootItem() const { return GetNextItem(NULL, TVGN_ROOT); }
    HTREEITEM GetFirstVisibleItem() const { return GetNextItem(NULL, TVGN_FIRSTVISIBLE); }
    HTREEITEM GetNextVisibleItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXTVISIBLE); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(NULL, TVGN_CARET); }
    HTREEITEM GetDropHilightItem() const { return GetNextItem(NULL, TVGN_DROPHILITE); }
    BOOL SelectItem(HTREEITEM hItem) { return Select(hItem, TVGN_CARET); }
    BOOL Select(HTREEITEM hItem, UINT nCode)
    {
        return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
    }
    BOOL Expand(HTREEITEM hItem, UINT nCode)
    {
        return static_cast<BOOL>(SendMessage(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)));
    }
    HTREEITEM HitTest(POINT pt, UINT* pFlags = nullptr) const;

    // The label edit's window, null when the control or its owner refuses.
    HWND EditLabel(HTREEITEM hItem)
    {
        return reinterpret_cast<HWND>(SendMessage(TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(hItem)));
    }
    HWND GetEditControl() const { return reinterpret_cast<HWND>(SendMessage(TVM_GETEDITCONTROL)); }

    UINT GetIndent() const { return static_cast<UINT>(SendMessage(TVM_GETINDENT)); }
    void SetIndent(UINT nIndent) { SendMessage(TVM_SETINDENT, nIndent); }
    HIMAGELIST SetImageList(HIMAGELIST hImageList, int nKind)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_SETIMAGELIST, nKind, reinterpret_cast<LPARAM>(hImageList)));
    }
    HIMAGELIST GetImageList(int nKind) const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, nKind));
    }
};
