// CCompTreeCtrlItems: the computer tree's items as the view's tree control holds them.
#pragma once

#include "classlib/TreeView.h"
#include "gui/CompTreeItems.h"

class CCompTreeCtrlItems : public ICompTreeItems
{
public:
    explicit CCompTreeCtrlItems(const CTreeView& view) : m_view(view) {}

    HTREEITEM GetParentItem(HTREEITEM hItem) const override { return Tree().GetParentItem(hItem); }
    HTREEITEM GetChildItem(HTREEITEM hItem) const override { return Tree().GetChildItem(hItem); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const override { return Tree().GetNextSiblingItem(hItem); }
    HTREEITEM GetSelectedItem() const override { return Tree().GetSelectedItem(); }
    BOOL SelectItem(HTREEITEM hItem) override { return Tree().SelectItem(hItem); }
    CString GetItemText(HTREEITEM hItem) const override { return Tree().GetItemText(hItem); }
    BOOL SetItemText(HTREEITEM hItem, const wchar_t* pszText) override { return Tree().SetItemText(hItem, pszText); }
    DWORD_PTR GetItemData(HTREEITEM hItem) const override { return Tree().GetItemData(hItem); }
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) override { return Tree().SetItemData(hItem, dwData); }
    BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const override
    {
        return Tree().GetItemImage(hItem, nImage, nSelectedImage);
    }
    BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage) override
    {
        return Tree().SetItemImage(hItem, nImage, nSelectedImage);
    }
    UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const override
    {
        return Tree().GetItemState(hItem, nStateMask);
    }
    HTREEITEM InsertItem(const TVINSERTSTRUCTW* pInsert) override { return Tree().InsertItem(pInsert); }
    BOOL DeleteItem(HTREEITEM hItem) override { return Tree().DeleteItem(hItem); }

private:
    // The view hands out its control with its current window.
    CTreeCtrl& Tree() const { return m_view.GetTreeCtrl(); }

    const CTreeView& m_view;
};
