// CCompTree: the computer tree's rules over its items: adding computers and
// folders, changing and deleting them, cut, copy and paste of whole branches
// by item handle (no clipboard), and which of the tree's commands apply to
// the selection. Each item owns its CCompItemData record.
#pragma once

#include "classlib/String.h"
#include "gui/CompItemData.h"
#include "gui/CompTreeItems.h"

class CCompTree
{
public:
    enum : int
    {
        ImageEmptyFolder = 1,
        ImageFolderWithItems = 2,
        ImageFolderClosed = 3,
        ImageFolderOpen = 4,
        ImageComputer = 15
    };

    explicit CCompTree(ICompTreeItems& items) : m_items(items) {}
    CCompTree(const CCompTree&) = delete;
    CCompTree& operator=(const CCompTree&) = delete;

    // Labels equal to this name (exactly) cannot be edited, changed, copied or cut.
    void SetRootName(const CString& strName) { m_strRootName = strName; }
    const CString& GetRootName() const { return m_strRootName; }

    // The local computer under the root name, last at the root level.
    HTREEITEM InsertRootItem();
    CCompItemData* RecordOf(HTREEITEM hItem) const;
    // Where new and pasted items go for this selection: into it when it is a
    // folder, else beside it (TVI_ROOT at the root level); null without one.
    HTREEITEM TargetParentOf(HTREEITEM hSelection) const;

    // Beside or into the selection; null without a selection.
    HTREEITEM AddComputer(const CCompItemData& record);
    // A folder with that label; null without a selected item that has a record.
    HTREEITEM AddFolder(const CString& strLabel);
    // The computer's record and label take the new texts.
    bool ChangeComputer(HTREEITEM hItem, const CCompItemData& record);
    // The item's branch with its records; false when the item is neither a
    // computer nor a folder with a record.
    bool DeleteBranch(HTREEITEM hItem);
    // The selection becomes the source of the next paste.
    void Cut();
    void Copy();
    // Moves the cut or copies the copied branch to the selection's place;
    // the new branch, or null when nothing was pasted.
    HTREEITEM Paste();
    // Moves or copies the source's branch to the end of the target's
    // children. The source itself when the target is the source or its
    // parent (nothing changes); null when the target lies inside the branch.
    HTREEITEM CopyBranch(HTREEITEM hSource, HTREEITEM hTarget, bool bCopy);
    // Frees every record, for the tree's end.
    void FreeAllRecords();

    // For the tree's own commands; false for any other.
    bool IsCommandOffered(UINT nID) const;
    bool IsCommandEnabled(UINT nID) const;
    bool CanEditLabel(HTREEITEM hItem) const;
    // The new name of an accepted edit goes to the edited item's record;
    // false for a cancelled edit.
    bool AcceptLabel(HTREEITEM hItem, const wchar_t* pszText);
    // An expanded or collapsed folder shows it and becomes the selection.
    void OnExpanded(HTREEITEM hItem, bool bExpanded);

    HTREEITEM GetCutSource() const { return m_hCutSource; }
    HTREEITEM GetCopySource() const { return m_hCopySource; }
    // The item after this one when the whole tree is walked parents first.
    HTREEITEM NextInPreOrder(HTREEITEM hItem) const;
    bool IsInBranch(HTREEITEM hItem, HTREEITEM hBranch) const;

private:
    HTREEITEM InsertItem(HTREEITEM hParent, const CString& strLabel, int nImage, CCompItemData* pRecord);
    bool IsRootLabel(HTREEITEM hItem) const;
    // A folder that lost an item shows whether it still holds any.
    void ShowFolderFill(HTREEITEM hFolder);
    // A deleted or moved item must not stay a source of a later paste.
    void ForgetSourcesIn(HTREEITEM hBranch);
    bool CanPasteOnto(HTREEITEM hSelection) const;

    ICompTreeItems& m_items;
    HTREEITEM m_hCutSource = NULL;
    HTREEITEM m_hCopySource = NULL;
    CString m_strRootName;
};
