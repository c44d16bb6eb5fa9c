// ICompTreeItems: the items the computer tree works on, by item handle: the
// tree control on screen, or any other store of the same shape. TVI_ROOT
// stands for the root level as a parent; an item at the root level has none.
#pragma once

#include "classlib/String.h"

#include <windows.h>
#include <commctrl.h>

class ICompTreeItems
{
public:
    virtual ~ICompTreeItems() = default;

    virtual HTREEITEM GetParentItem(HTREEITEM hItem) const = 0;
    // TVI_ROOT: the first item at the root level.
    virtual HTREEITEM GetChildItem(HTREEITEM hItem) const = 0;
    virtual HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const = 0;
    virtual HTREEITEM GetSelectedItem() const = 0;
    virtual BOOL SelectItem(HTREEITEM hItem) = 0;
    virtual CString GetItemText(HTREEITEM hItem) const = 0;
    virtual BOOL SetItemText(HTREEITEM hItem, const wchar_t* pszText) = 0;
    virtual DWORD_PTR GetItemData(HTREEITEM hItem) const = 0;
    virtual BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) = 0;
    virtual BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const = 0;
    virtual BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage) = 0;
    virtual UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const = 0;
    // Text, images, state and data of the item in the record; null on failure.
    virtual HTREEITEM InsertItem(const TVINSERTSTRUCTW* pInsert) = 0;
    // The item and everything below it.
    virtual BOOL DeleteItem(HTREEITEM hItem) = 0;
};
