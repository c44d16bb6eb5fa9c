#include "MemoryTreeItems.h"

#include "gui/CompTree.h"
#include "gui/CompTreeCtrlItems.h"
#include "gui/Resource.h"

#include "classlib/TreeView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace
{
// The same rules run on items in memory and on a real tree control.
enum class eStore
{
    Memory,
    Control
};

class CompTreeModelTest : public ::testing::TestWithParam<eStore>
{
protected:
    void SetUp() override
    {
        if (GetParam() == eStore::Memory)
        {
            m_pItems = std::make_unique<CMemoryTreeItems>();
        }
        else
        {
            ASSERT_TRUE(m_parent.CreateEx(0, nullptr, L"tree", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, NULL, NULL));
            m_pView = new CTreeView;
            ASSERT_TRUE(m_pView->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 300), &m_parent, 1));
            m_pItems = std::make_unique<CCompTreeCtrlItems>(*m_pView);
        }
        m_pTree = std::make_unique<CCompTree>(*m_pItems);
        m_pTree->SetRootName(L"My Computer");
        m_hRoot = m_pTree->InsertRootItem();
        ASSERT_NE(m_hRoot, nullptr);
        Select(m_hRoot);
    }
    void TearDown() override
    {
        if (m_pTree)
            m_pTree->FreeAllRecords();
        if (m_parent.m_hWnd != NULL)
            m_parent.DestroyWindow();
    }

    void Select(HTREEITEM hItem) { ASSERT_TRUE(m_pItems->SelectItem(hItem)); }
    HTREEITEM AddComputer(const wchar_t* pszName, const wchar_t* pszAddress = L"10.0.0.1")
    {
        CCompItemData record;
        record.m_strName = pszName;
        record.m_strAddress = pszAddress;
        record.m_strPort = L"7110";
        return m_pTree->AddComputer(record);
    }
    HTREEITEM AddFolderInto(HTREEITEM hSelection, const wchar_t* pszName)
    {
        Select(hSelection);
        HTREEITEM hFolder = m_pTree->AddFolder(pszName);
        EXPECT_NE(hFolder, nullptr);
        return hFolder;
    }
    HTREEITEM AddComputerInto(HTREEITEM hSelection, const wchar_t* pszName)
    {
        Select(hSelection);
        return AddComputer(pszName);
    }
    // The labels below a parent, with their children in brackets.
    std::wstring Shape(HTREEITEM hParent = TVI_ROOT) const
    {
        std::wstring str;
        for (HTREEITEM h = m_pItems->GetChildItem(hParent); h != NULL; h = m_pItems->GetNextSiblingItem(h))
        {
            if (!str.empty())
                str += L' ';
            str += m_pItems->GetItemText(h).Str();
            if (m_pItems->GetChildItem(h) != NULL)
                str += L'[' + Shape(h) + L']';
        }
        return str;
    }
    int Image(HTREEITEM hItem) const
    {
        int nImage = -1;
        int nSelected = -1;
        EXPECT_TRUE(m_pItems->GetItemImage(hItem, nImage, nSelected));
        EXPECT_EQ(nImage, nSelected);
        return nImage;
    }
    HTREEITEM Child(HTREEITEM hParent, int nIndex) const
    {
        HTREEITEM h = m_pItems->GetChildItem(hParent);
        while (h != NULL && nIndex-- > 0)
            h = m_pItems->GetNextSiblingItem(h);
        return h;
    }
    HTREEITEM NextInBranch(HTREEITEM hItem, HTREEITEM hBranch) const
    {
        HTREEITEM hNext = m_pTree->NextInPreOrder(hItem);
        return m_pTree->IsInBranch(hNext, hBranch) ? hNext : NULL;
    }
    // My Computer, A[a1 a2 B[b1]], C[c1]
    void BuildSample()
    {
        m_hA = AddFolderInto(m_hRoot, L"A");
        m_ha1 = AddComputerInto(m_hA, L"a1");
        m_ha2 = AddComputerInto(m_ha1, L"a2");
        m_hB = AddFolderInto(m_hA, L"B");
        m_hb1 = AddComputerInto(m_hB, L"b1");
        m_hC = AddFolderInto(m_hRoot, L"C");
        m_hc1 = AddComputerInto(m_hC, L"c1");
        ASSERT_EQ(Shape(), L"My Computer A[a1 a2 B[b1]] C[c1]");
    }

    CWnd m_parent;
    CTreeView* m_pView = nullptr;
    std::unique_ptr<ICompTreeItems> m_pItems;
    std::unique_ptr<CCompTree> m_pTree;
    HTREEITEM m_hRoot = NULL;
    HTREEITEM m_hA = NULL, m_ha1 = NULL, m_ha2 = NULL, m_hB = NULL, m_hb1 = NULL, m_hC = NULL, m_hc1 = NULL;
};

TEST_P(CompTreeModelTest, TheRootIsTheLocalComputer)
{
    const CCompItemData* pRecord = m_pTree->RecordOf(m_hRoot);
    ASSERT_NE(pRecord, nullptr);
    EXPECT_EQ(pRecord->m_strName, L"My Computer");
    EXPECT_EQ(pRecord->m_strAddress, L"0");
    EXPECT_EQ(pRecord->m_strPort, L"0");
    EXPECT_EQ(pRecord->m_nType, CCompItemData::TypeComputer);
    EXPECT_EQ(Image(m_hRoot), CCompTree::ImageComputer);
}

TEST_P(CompTreeModelTest, NewItemsGoIntoASelectedFolderElseBesideTheSelection)
{
    BuildSample();
    // A computer selected inside a folder: the new items join that folder.
    Select(m_ha1);
    HTREEITEM hNew = AddComputer(L"a3");
    EXPECT_EQ(m_pItems->GetParentItem(hNew), m_hA);
    Select(m_ha1);
    HTREEITEM hFolder = m_pTree->AddFolder(L"New Folder");
    EXPECT_EQ(m_pItems->GetParentItem(hFolder), m_hA);
    EXPECT_EQ(Image(hFolder), CCompTree::ImageFolderClosed);
    EXPECT_EQ(Image(hNew), CCompTree::ImageComputer);
    const CCompItemData* pFolder = m_pTree->RecordOf(hFolder);
    ASSERT_NE(pFolder, nullptr);
    EXPECT_EQ(pFolder->m_nType, CCompItemData::TypeFolder);
    EXPECT_EQ(pFolder->m_strAddress, L"0");
    // Beside an item at the root level is the root level.
    Select(m_hRoot);
    AddComputer(L"top");
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1] a3 New Folder] C[c1] top");
    const CCompItemData* pTop = m_pTree->RecordOf(Child(TVI_ROOT, 3));
    ASSERT_NE(pTop, nullptr);
    EXPECT_EQ(pTop->m_strAddress, L"10.0.0.1");
    EXPECT_EQ(pTop->m_strPort, L"7110");
}

TEST_P(CompTreeModelTest, NothingIsAddedWithoutASelection)
{
    Select(NULL);
    EXPECT_EQ(AddComputer(L"x"), nullptr);
    EXPECT_EQ(m_pTree->AddFolder(L"y"), nullptr);
    EXPECT_EQ(Shape(), L"My Computer");
}

TEST_P(CompTreeModelTest, ChangeGivesTheComputerItsNewTexts)
{
    BuildSample();
    CCompItemData changed;
    changed.m_strName = L"renamed";
    changed.m_strAddress = L"192.0.2.7";
    changed.m_strPort = L"7111";
    ASSERT_TRUE(m_pTree->ChangeComputer(m_hb1, changed));
    const CCompItemData* pRecord = m_pTree->RecordOf(m_hb1);
    EXPECT_EQ(pRecord->m_strName, L"renamed");
    EXPECT_EQ(pRecord->m_strAddress, L"192.0.2.7");
    EXPECT_EQ(pRecord->m_strPort, L"7111");
    EXPECT_EQ(m_pItems->GetItemText(m_hb1), L"renamed");
    EXPECT_FALSE(m_pTree->ChangeComputer(m_hB, changed)) << "a folder is renamed by editing its label";
}

TEST_P(CompTreeModelTest, DeleteRemovesTheBranchAndTellsTheFolderWhatIsLeft)
{
    BuildSample();
    ASSERT_TRUE(m_pTree->DeleteBranch(m_hB));
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2] C[c1]");
    EXPECT_EQ(Image(m_hA), CCompTree::ImageFolderWithItems);
    ASSERT_TRUE(m_pTree->DeleteBranch(m_hc1));
    EXPECT_EQ(Image(m_hC), CCompTree::ImageEmptyFolder);
    ASSERT_TRUE(m_pTree->DeleteBranch(m_hA));
    EXPECT_EQ(Shape(), L"My Computer C");
    // The root item goes too when asked directly.
    ASSERT_TRUE(m_pTree->DeleteBranch(m_hRoot));
    EXPECT_EQ(Shape(), L"C");
}

TEST_P(CompTreeModelTest, CutAndPasteMovesTheBranchWithItsRecords)
{
    BuildSample();
    const CCompItemData* pB = m_pTree->RecordOf(m_hB);
    const CCompItemData* pb1 = m_pTree->RecordOf(m_hb1);
    Select(m_hB);
    m_pTree->Cut();
    Select(m_hc1);
    EXPECT_TRUE(m_pTree->IsCommandEnabled(ID_EDIT_PASTE));
    HTREEITEM hMoved = m_pTree->Paste();
    ASSERT_NE(hMoved, nullptr);
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2] C[c1 B[b1]]");
    EXPECT_EQ(m_pTree->RecordOf(hMoved), pB);
    EXPECT_EQ(m_pTree->RecordOf(m_pItems->GetChildItem(hMoved)), pb1);
    EXPECT_EQ(Image(m_hA), CCompTree::ImageFolderWithItems);
    EXPECT_EQ(m_pTree->GetCutSource(), nullptr);
    EXPECT_FALSE(m_pTree->IsCommandEnabled(ID_EDIT_PASTE)) << "a paste uses up its source";
}

TEST_P(CompTreeModelTest, CutOfAFoldersLastItemLeavesItEmpty)
{
    BuildSample();
    Select(m_hc1);
    m_pTree->Cut();
    Select(m_hB);
    ASSERT_NE(m_pTree->Paste(), nullptr);
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1 c1]] C");
    EXPECT_EQ(Image(m_hC), CCompTree::ImageEmptyFolder);
}

TEST_P(CompTreeModelTest, CopyAndPasteDuplicatesTheBranchWithNewRecords)
{
    BuildSample();
    Select(m_hA);
    m_pTree->Copy();
    Select(m_hC);
    HTREEITEM hCopy = m_pTree->Paste();
    ASSERT_NE(hCopy, nullptr);
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1]] C[c1 A[a1 a2 B[b1]]]");
    // Every copied item has a record of its own with the same texts.
    HTREEITEM hSource = m_hA;
    for (HTREEITEM hNew = hCopy; hNew != NULL && hSource != NULL;)
    {
        const CCompItemData* pOld = m_pTree->RecordOf(hSource);
        const CCompItemData* pNew = m_pTree->RecordOf(hNew);
        ASSERT_NE(pOld, nullptr);
        ASSERT_NE(pNew, nullptr);
        EXPECT_NE(pOld, pNew);
        EXPECT_EQ(pOld->m_strName, pNew->m_strName);
        EXPECT_EQ(pOld->m_strAddress, pNew->m_strAddress);
        EXPECT_EQ(pOld->m_strPort, pNew->m_strPort);
        EXPECT_EQ(pOld->m_nType, pNew->m_nType);
        EXPECT_EQ(Image(hSource), Image(hNew));
        hSource = NextInBranch(hSource, m_hA);
        hNew = NextInBranch(hNew, hCopy);
        EXPECT_EQ(hSource == NULL, hNew == NULL);
    }
    // Changing the copy leaves the original alone.
    m_pTree->RecordOf(hCopy)->m_strName = L"changed";
    EXPECT_EQ(m_pTree->RecordOf(m_hA)->m_strName, L"A");
}

TEST_P(CompTreeModelTest, APasteIntoItsOwnBranchIsRefused)
{
    BuildSample();
    for (bool bCut : {true, false})
    {
        SCOPED_TRACE(bCut ? "cut" : "copy");
        Select(m_hA);
        bCut ? m_pTree->Cut() : m_pTree->Copy();
        for (HTREEITEM hInside : {m_hA, m_ha2, m_hB, m_hb1})
        {
            Select(hInside);
            EXPECT_FALSE(m_pTree->IsCommandEnabled(ID_EDIT_PASTE));
        }
        Select(m_hb1);
        EXPECT_EQ(m_pTree->Paste(), nullptr);
        EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1]] C[c1]");
    }
    EXPECT_EQ(m_pTree->CopyBranch(m_hA, m_hB, true), nullptr);
    EXPECT_EQ(m_pTree->CopyBranch(m_hA, m_hB, false), nullptr);
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1]] C[c1]");
}

TEST_P(CompTreeModelTest, APasteIntoTheFolderThatHoldsTheBranchChangesNothing)
{
    BuildSample();
    EXPECT_EQ(m_pTree->CopyBranch(m_hB, m_hA, true), m_hB);
    EXPECT_EQ(m_pTree->CopyBranch(m_hB, m_hB, false), m_hB);
    Select(m_hB);
    m_pTree->Cut();
    Select(m_ha1);
    EXPECT_EQ(m_pTree->Paste(), nullptr);
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1]] C[c1]");
    EXPECT_EQ(Image(m_hA), CCompTree::ImageFolderClosed) << "nothing moved, so nothing changed";
}

TEST_P(CompTreeModelTest, ABranchAtTheRootLevelPastedThereAgain)
{
    BuildSample();
    Select(m_hC);
    m_pTree->Copy();
    Select(m_hRoot);
    ASSERT_NE(m_pTree->Paste(), nullptr);
    EXPECT_EQ(Shape(), L"My Computer A[a1 a2 B[b1]] C[c1] C[c1]");
    Select(m_hA);
    m_pTree->Cut();
    Select(m_hRoot);
    ASSERT_NE(m_pTree->Paste(), nullptr);
    EXPECT_EQ(Shape(), L"My Computer C[c1] C[c1] A[a1 a2 B[b1]]");
}

TEST_P(CompTreeModelTest, ASourceDeletedBeforeThePasteIsNotUsed)
{
    BuildSample();
    Select(m_hb1);
    m_pTree->Copy();
    ASSERT_TRUE(m_pTree->DeleteBranch(m_hB));
    Select(m_hc1);
    EXPECT_FALSE(m_pTree->IsCommandEnabled(ID_EDIT_PASTE));
    EXPECT_EQ(m_pTree->Paste(), nullptr);
    Select(m_ha1);
    m_pTree->Cut();
    ASSERT_TRUE(m_pTree->DeleteBranch(m_hA));
    Select(m_hc1);
    EXPECT_EQ(m_pTree->Paste(), nullptr);
    EXPECT_EQ(Shape(), L"My Computer C[c1]");
}

TEST_P(CompTreeModelTest, CommandsFollowTheSelection)
{
    BuildSample();
    struct stCase
    {
        const char* pszWhat;
        HTREEITEM hSelection;
        UINT nID;
        bool bEnabled;
    } aCases[] = {
        {"root: copy", m_hRoot, ID_EDIT_COPY, false},
        {"root: cut", m_hRoot, ID_EDIT_CUT, false},
        {"root: change", m_hRoot, ID_TREE_CHANGE, false},
        {"root: delete", m_hRoot, ID_TREE_DELETE, false},
        {"root: add computer", m_hRoot, ID_TREE_ADD_COMPUTER, true},
        {"root: add folder", m_hRoot, ID_TREE_ADD_FOLDER, true},
        {"folder: copy", m_hA, ID_EDIT_COPY, true},
        {"folder: delete", m_hA, ID_TREE_DELETE, true},
        {"computer: change", m_hb1, ID_TREE_CHANGE, true},
        {"no source: paste", m_hC, ID_EDIT_PASTE, false},
        {"nothing selected: delete", NULL, ID_TREE_DELETE, true},
        {"nothing selected: copy", NULL, ID_EDIT_COPY, true},
    };
    for (const stCase& stOne : aCases)
    {
        Select(stOne.hSelection);
        EXPECT_EQ(m_pTree->IsCommandEnabled(stOne.nID), stOne.bEnabled) << stOne.pszWhat;
    }
    // A later item with the root's label is protected the same way.
    HTREEITEM hTwin = AddComputerInto(m_hC, L"My Computer");
    Select(hTwin);
    EXPECT_FALSE(m_pTree->IsCommandEnabled(ID_EDIT_COPY));
    EXPECT_TRUE(m_pTree->IsCommandEnabled(ID_TREE_DELETE));
    EXPECT_FALSE(m_pTree->IsCommandOffered(ID_FILE_CONNECT)) << "connecting needs the frame";
    // Paste: not onto the source, its parent or its branch; elsewhere it may.
    Select(m_hB);
    m_pTree->Copy();
    for (HTREEITEM hNo : {m_hB, m_hb1, m_hA})
    {
        Select(hNo);
        EXPECT_FALSE(m_pTree->IsCommandEnabled(ID_EDIT_PASTE));
    }
    for (HTREEITEM hYes : {m_ha1, m_hC, m_hRoot})
    {
        Select(hYes);
        EXPECT_TRUE(m_pTree->IsCommandEnabled(ID_EDIT_PASTE));
    }
}

TEST_P(CompTreeModelTest, LabelEditsAreRefusedOnTheRootAndNameTheEditedItem)
{
    BuildSample();
    EXPECT_FALSE(m_pTree->CanEditLabel(m_hRoot));
    EXPECT_FALSE(m_pTree->CanEditLabel(NULL));
    EXPECT_TRUE(m_pTree->CanEditLabel(m_hA));
    // A new folder is edited at once while the selection stays where it was.
    Select(m_hRoot);
    HTREEITEM hFolder = m_pTree->AddFolder(L"New Folder");
    ASSERT_NE(hFolder, nullptr);
    EXPECT_TRUE(m_pTree->AcceptLabel(hFolder, L"Lab"));
    EXPECT_EQ(m_pTree->RecordOf(hFolder)->m_strName, L"Lab");
    EXPECT_EQ(m_pTree->RecordOf(m_hRoot)->m_strName, L"My Computer");
    // A cancelled edit carries no text and changes nothing.
    EXPECT_FALSE(m_pTree->AcceptLabel(hFolder, nullptr));
    EXPECT_EQ(m_pTree->RecordOf(hFolder)->m_strName, L"Lab");
}

TEST_P(CompTreeModelTest, AnExpandedFolderShowsItOpenAndBecomesTheSelection)
{
    BuildSample();
    Select(m_hRoot);
    m_pTree->OnExpanded(m_hA, true);
    EXPECT_EQ(m_pItems->GetSelectedItem(), m_hA);
    EXPECT_EQ(Image(m_hA), CCompTree::ImageFolderOpen);
    m_pTree->OnExpanded(m_hA, false);
    EXPECT_EQ(Image(m_hA), CCompTree::ImageFolderClosed);
}

// Only items in memory can be made to refuse an insert.
TEST(CompTreeModel, AMoveThatCannotBeFinishedLosesNothing)
{
    for (int nInserts : {0, 1, 2, 3})
    {
        SCOPED_TRACE(nInserts);
        CMemoryTreeItems items;
        CCompTree tree(items);
        tree.SetRootName(L"My Computer");
        HTREEITEM hRoot = tree.InsertRootItem();
        items.SelectItem(hRoot);
        HTREEITEM hA = tree.AddFolder(L"A");
        items.SelectItem(hA);
        CCompItemData record;
        record.m_strName = L"a1";
        tree.AddComputer(record);
        record.m_strName = L"a2";
        tree.AddComputer(record);
        items.SelectItem(hRoot);
        HTREEITEM hC = tree.AddFolder(L"C");
        ASSERT_EQ(items.GetParentItem(hC), nullptr);

        items.SelectItem(hA);
        tree.Cut();
        items.SelectItem(hC);
        items.FailInsertsAfter(nInserts);
        HTREEITEM hMoved = tree.Paste();
        items.FailInsertsAfter(-1);
        EXPECT_EQ(hMoved != NULL, nInserts > 0);
        // Every computer is still there once, with its record, wherever it
        // ended up, and no two items share a record.
        std::vector<CString> seen;
        std::vector<const CCompItemData*> records;
        for (HTREEITEM h = items.GetChildItem(TVI_ROOT); h != NULL; h = tree.NextInPreOrder(h))
        {
            const CCompItemData* pRecord = tree.RecordOf(h);
            ASSERT_NE(pRecord, nullptr);
            EXPECT_EQ(std::count(records.begin(), records.end(), pRecord), 0);
            records.push_back(pRecord);
            EXPECT_EQ(pRecord->m_strName, items.GetItemText(h));
            if (pRecord->m_nType == CCompItemData::TypeComputer && h != hRoot)
                seen.push_back(pRecord->m_strName);
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, (std::vector<CString>{L"a1", L"a2"}));
        tree.FreeAllRecords();
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, CompTreeModelTest, ::testing::Values(eStore::Memory, eStore::Control),
                         [](const ::testing::TestParamInfo<eStore>& info) {
                             return info.param == eStore::Memory ? "InMemory" : "TreeControl";
                         });
} // namespace
