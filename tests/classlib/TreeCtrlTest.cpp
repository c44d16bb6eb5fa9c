#include "classlib/TreeCtrl.h"
#include "classlib/TreeView.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class TreeCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(
            m_parent.CreateEx(0, nullptr, L"tree", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300, NULL, NULL));
        ASSERT_TRUE(m_tree.Create(WS_VISIBLE | TVS_HASBUTTONS | TVS_EDITLABELS, CRect(0, 0, 280, 260), &m_parent, 7));
        m_hTop = m_tree.InsertItem(L"top", 1, 2, TVI_ROOT, TVI_LAST, 11);
        m_hFirst = m_tree.InsertItem(L"first", 3, 3, m_hTop, TVI_LAST, 12);
        m_hSecond = m_tree.InsertItem(L"second", 4, 4, m_hTop, TVI_LAST, 13);
        m_hOther = m_tree.InsertItem(L"other", 5, 5);
        ASSERT_NE(m_hSecond, nullptr);
        ASSERT_NE(m_hOther, nullptr);
    }
    void TearDown() override { m_parent.DestroyWindow(); }

    CWnd m_parent;
    CTreeCtrl m_tree;
    HTREEITEM m_hTop = NULL, m_hFirst = NULL, m_hSecond = NULL, m_hOther = NULL;
};

TEST_F(TreeCtrlTest, ItemsKeepTheirTextsDataAndImages)
{
    EXPECT_EQ(m_tree.GetCount(), 4u);
    EXPECT_EQ(m_tree.GetItemText(m_hFirst), L"first");
    EXPECT_EQ(m_tree.GetItemData(m_hSecond), 13u);
    int nImage = 0;
    int nSelected = 0;
    ASSERT_TRUE(m_tree.GetItemImage(m_hTop, nImage, nSelected));
    EXPECT_EQ(nImage, 1);
    EXPECT_EQ(nSelected, 2);
    ASSERT_TRUE(m_tree.SetItemImage(m_hTop, 7, 8));
    ASSERT_TRUE(m_tree.SetItemData(m_hTop, 99));
    ASSERT_TRUE(m_tree.SetItemText(m_hTop, L"renamed"));
    ASSERT_TRUE(m_tree.GetItemImage(m_hTop, nImage, nSelected));
    EXPECT_EQ(nImage, 7);
    EXPECT_EQ(nSelected, 8);
    EXPECT_EQ(m_tree.GetItemData(m_hTop), 99u);
    EXPECT_EQ(m_tree.GetItemText(m_hTop), L"renamed");
    EXPECT_EQ(m_tree.GetItemData(NULL), 0u);
    EXPECT_EQ(m_tree.GetItemText(NULL), L"");
}

TEST_F(TreeCtrlTest, LongLabelsComeBackWhole)
{
    for (size_t nLength : {254u, 255u, 256u, 257u, 600u})
    {
        std::wstring strLabel(nLength, L'x');
        strLabel.back() = L'!';
        ASSERT_TRUE(m_tree.SetItemText(m_hFirst, strLabel.c_str()));
        EXPECT_EQ(m_tree.GetItemText(m_hFirst).Str(), strLabel) << nLength;
    }
}

TEST_F(TreeCtrlTest, WalksGoThroughParentsChildrenSiblingsAndVisibleItems)
{
    EXPECT_EQ(m_tree.GetRootItem(), m_hTop);
    EXPECT_EQ(m_tree.GetChildItem(TVI_ROOT), m_hTop);
    EXPECT_EQ(m_tree.GetChildItem(m_hTop), m_hFirst);
    EXPECT_EQ(m_tree.GetNextSiblingItem(m_hFirst), m_hSecond);
    EXPECT_EQ(m_tree.GetPrevSiblingItem(m_hSecond), m_hFirst);
    EXPECT_EQ(m_tree.GetNextSiblingItem(m_hSecond), nullptr);
    EXPECT_EQ(m_tree.GetParentItem(m_hSecond), m_hTop);
    EXPECT_EQ(m_tree.GetParentItem(m_hTop), nullptr) << "the root level has no parent item";
    EXPECT_TRUE(m_tree.ItemHasChildren(m_hTop));
    EXPECT_FALSE(m_tree.ItemHasChildren(m_hOther));

    EXPECT_EQ(m_tree.GetFirstVisibleItem(), m_hTop);
    EXPECT_EQ(m_tree.GetNextVisibleItem(m_hTop), m_hOther) << "collapsed";
    ASSERT_TRUE(m_tree.Expand(m_hTop, TVE_EXPAND));
    EXPECT_NE(m_tree.GetItemState(m_hTop, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_EQ(m_tree.GetNextVisibleItem(m_hTop), m_hFirst);
    EXPECT_EQ(m_tree.GetNextVisibleItem(m_hSecond), m_hOther);
    EXPECT_EQ(m_tree.GetNextVisibleItem(m_hOther), nullptr);
}

TEST_F(TreeCtrlTest, SelectionRectanglesAndHitsAgree)
{
    ASSERT_TRUE(m_tree.Expand(m_hTop, TVE_EXPAND));
    ASSERT_TRUE(m_tree.SelectItem(m_hSecond));
    EXPECT_EQ(m_tree.GetSelectedItem(), m_hSecond);
    EXPECT_NE(m_tree.GetItemState(m_hSecond, TVIS_SELECTED) & TVIS_SELECTED, 0u);
    CRect rcRow;
    CRect rcText;
    ASSERT_TRUE(m_tree.GetItemRect(m_hSecond, &rcRow, FALSE));
    ASSERT_TRUE(m_tree.GetItemRect(m_hSecond, &rcText, TRUE));
    EXPECT_GT(rcText.Width(), 0);
    EXPECT_GE(rcText.left, rcRow.left);
    EXPECT_EQ(rcText.top, rcRow.top);
    UINT nFlags = 0;
    EXPECT_EQ(m_tree.HitTest(rcText.CenterPoint(), &nFlags), m_hSecond);
    EXPECT_NE(nFlags & TVHT_ONITEMLABEL, 0u);
    EXPECT_FALSE(m_tree.GetItemRect(NULL, &rcRow, TRUE));
}

TEST_F(TreeCtrlTest, LabelEditsAndDeletionsTakeWholeBranches)
{
    HWND hEdit = m_tree.EditLabel(m_hOther);
    ASSERT_NE(hEdit, nullptr);
    EXPECT_EQ(m_tree.GetEditControl(), hEdit);
    m_tree.SendMessage(TVM_ENDEDITLABELNOW, TRUE);
    ASSERT_TRUE(m_tree.DeleteItem(m_hTop));
    EXPECT_EQ(m_tree.GetCount(), 1u) << "the children go with their parent";
    EXPECT_EQ(m_tree.GetRootItem(), m_hOther);
    ASSERT_TRUE(m_tree.DeleteAllItems());
    EXPECT_EQ(m_tree.GetCount(), 0u);
}

TEST(TreeView, TheViewIsATreeControlWithAFrame)
{
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, L"view", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, NULL, NULL));
    CTreeView* pView = new CTreeView;
    ASSERT_TRUE(pView->Create(nullptr, L"", WS_CHILD, CRect(0, 0, 100, 100), &parent, 1));
    wchar_t szClass[64] = {};
    ::GetClassNameW(pView->m_hWnd, szClass, 64);
    EXPECT_STREQ(szClass, WC_TREEVIEWW);
    EXPECT_EQ(pView->GetStyle() & (WS_CHILD | WS_VISIBLE | WS_BORDER), DWORD(WS_CHILD | WS_VISIBLE | WS_BORDER));
    CTreeCtrl& tree = pView->GetTreeCtrl();
    EXPECT_EQ(tree.m_hWnd, pView->m_hWnd);
    EXPECT_NE(tree.InsertItem(L"one", 0, 0), nullptr);
    EXPECT_EQ(tree.GetCount(), 1u);
    parent.DestroyWindow();
}
} // namespace
