// CMemoryTreeItems: computer-tree items held in plain memory, for the tree's
// rules without windows. A deleted item stays known as deleted, so that any
// later use of its handle fails the test instead of reading freed memory; an
// item deleted while it still holds data fails it too, since the control
// frees no item's data and the record would be lost.
#pragma once

#include "gui/CompTreeItems.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

class CMemoryTreeItems : public ICompTreeItems
{
public:
    // Inserts after the next n fail, as the control's do when it runs out of memory.
    void FailInsertsAfter(int nInserts) { m_nInsertsLeft = nInserts; }

    HTREEITEM GetParentItem(HTREEITEM hItem) const override
    {
        stNode* pNode = Live(hItem);
        return pNode != nullptr && pNode->pParent != &m_root ? Handle(pNode->pParent) : NULL;
    }
    HTREEITEM GetChildItem(HTREEITEM hItem) const override
    {
        stNode* pNode = hItem == TVI_ROOT || hItem == NULL ? &m_root : Live(hItem);
        return pNode != nullptr && !pNode->children.empty() ? Handle(pNode->children.front()) : NULL;
    }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const override
    {
        stNode* pNode = Live(hItem);
        if (pNode == nullptr)
            return NULL;
        auto& siblings = pNode->pParent->children;
        for (size_t i = 0; i + 1 < siblings.size(); ++i)
        {
            if (siblings[i] == pNode)
                return Handle(siblings[i + 1]);
        }
        return NULL;
    }
    HTREEITEM GetSelectedItem() const override { return m_hSelected; }
    BOOL SelectItem(HTREEITEM hItem) override
    {
        if (hItem != NULL && Live(hItem) == nullptr)
            return FALSE;
        m_hSelected = hItem;
        return TRUE;
    }
    CString GetItemText(HTREEITEM hItem) const override
    {
        stNode* pNode = Live(hItem);
        return pNode != nullptr ? pNode->strText : CString();
    }
    BOOL SetItemText(HTREEITEM hItem, const wchar_t* pszText) override
    {
        stNode* pNode = Live(hItem);
        return pNode != nullptr ? (pNode->strText = pszText, TRUE) : FALSE;
    }
    DWORD_PTR GetItemData(HTREEITEM hItem) const override
    {
        stNode* pNode = Live(hItem);
        return pNode != nullptr ? pNode->dwData : 0;
    }
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) override
    {
        stNode* pNode = Live(hItem);
        return pNode != nullptr ? (pNode->dwData = dwData, TRUE) : FALSE;
    }
    BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const override
    {
        stNode* pNode = Live(hItem);
        if (pNode == nullptr)
            return FALSE;
        nImage = pNode->nImage;
        nSelectedImage = pNode->nSelectedImage;
        return TRUE;
    }
    BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage) override
    {
        stNode* pNode = Live(hItem);
        if (pNode == nullptr)
            return FALSE;
        pNode->nImage = nImage;
        pNode->nSelectedImage = nSelectedImage;
        return TRUE;
    }
    UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const override
    {
        stNode* pNode = Live(hItem);
        UINT nState = pNode != nullptr && Handle(pNode) == m_hSelected ? TVIS_SELECTED : 0;
        return nState & nStateMask;
    }
    HTREEITEM InsertItem(const TVINSERTSTRUCTW* pInsert) override
    {
        stNode* pParent = pInsert->hParent == TVI_ROOT || pInsert->hParent == NULL ? &m_root : Live(pInsert->hParent);
        if (pParent == nullptr || pInsert->hInsertAfter != TVI_LAST || m_nInsertsLeft == 0)
            return NULL;
        if (m_nInsertsLeft > 0)
            --m_nInsertsLeft;
        m_nodes.push_back(std::make_unique<stNode>());
        stNode* pNode = m_nodes.back().get();
        pNode->pParent = pParent;
        pNode->strText = pInsert->item.pszText;
        pNode->nImage = pInsert->item.iImage;
        pNode->nSelectedImage = pInsert->item.iSelectedImage;
        pNode->dwData = static_cast<DWORD_PTR>(pInsert->item.lParam);
        pParent->children.push_back(pNode);
        return Handle(pNode);
    }
    BOOL DeleteItem(HTREEITEM hItem) override
    {
        stNode* pNode = Live(hItem);
        if (pNode == nullptr)
            return FALSE;
        auto& siblings = pNode->pParent->children;
        for (auto it = siblings.begin(); it != siblings.end(); ++it)
        {
            if (*it == pNode)
            {
                siblings.erase(it);
                break;
            }
        }
        Bury(pNode);
        return TRUE;
    }

private:
    struct stNode
    {
        stNode* pParent = nullptr;
        std::vector<stNode*> children;
        CString strText;
        int nImage = 0;
        int nSelectedImage = 0;
        DWORD_PTR dwData = 0;
        bool bDeleted = false;
    };

    static HTREEITEM Handle(stNode* pNode) { return reinterpret_cast<HTREEITEM>(pNode); }
    stNode* Live(HTREEITEM hItem) const
    {
        if (hItem == NULL || hItem == TVI_ROOT)
            return nullptr;
        stNode* pNode = reinterpret_cast<stNode*>(hItem);
        if (pNode->bDeleted)
        {
            ADD_FAILURE() << "a deleted item was used";
            return nullptr;
        }
        return pNode;
    }
    void Bury(stNode* pNode)
    {
        EXPECT_EQ(pNode->dwData, 0u) << "an item was deleted with its record";
        pNode->bDeleted = true;
        if (Handle(pNode) == m_hSelected)
            m_hSelected = NULL;
        for (stNode* pChild : pNode->children)
            Bury(pChild);
        pNode->children.clear();
    }

    mutable stNode m_root;
    std::vector<std::unique_ptr<stNode>> m_nodes;
    HTREEITEM m_hSelected = NULL;
    int m_nInsertsLeft = -1;
};
