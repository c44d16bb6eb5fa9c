#include "classlib/CmdUI.h"
#include "classlib/FrameWnd.h"
#include "classlib/ListView.h"
#include "classlib/SplitterWnd.h"
#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace
{
constexpr UINT ID_TEST_COMMAND = 40001;

// Counts its initial updates and takes one command.
class CCountingListView : public CListView
{
public:
    static CWnd* CreateObject() { return new CCountingListView; }
    void OnInitialUpdate() override
    {
        ++m_nInitialUpdates;
        CListView::OnInitialUpdate();
    }
    int m_nInitialUpdates = 0;
    int m_nCommands = 0;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nID == ID_TEST_COMMAND && nCode == CN_COMMAND)
        {
            ++m_nCommands;
            return TRUE;
        }
        return CListView::HandleCommand(nID, nCode, pExtra);
    }
};

class CPlainView : public CView
{
public:
    static CWnd* CreateObject() { return new CPlainView; }
};

// Offers every command to its splitter first, as a frame with splitters does.
class CSplitterFrame : public CFrameWnd
{
public:
    CSplitterWnd m_splitter;
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override
    {
        return m_splitter.OnCmdMsg(nID, nCode, pExtra) || CFrameWnd::OnCmdMsg(nID, nCode, pExtra);
    }
};

// The layout rule on its own.
class CLayoutProbe : public CSplitterWnd
{
public:
    using CSplitterWnd::LayoutRowCol;
};

class SplitterWndTest : public ::testing::Test
{
protected:
    void MakeFrame(int nRows, int nCols)
    {
        m_pFrame = new CSplitterFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Splitter", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(30, 30, 530, 430)));
        m_app.m_pMainWnd = m_pFrame;
        ASSERT_TRUE(m_pFrame->m_splitter.CreateStatic(m_pFrame, nRows, nCols));
    }
    void TearDown() override
    {
        if (m_app.m_pMainWnd != nullptr)
            m_pFrame->DestroyWindow();
        PumpPending();
    }
    CSplitterWnd& Splitter() { return m_pFrame->m_splitter; }
    CRect PaneRect(int row, int col) { return CRect(WindowRectIn(Splitter().GetPane(row, col)->m_hWnd, Splitter().m_hWnd)); }

    CWinApp m_app;
    CSplitterFrame* m_pFrame = nullptr;
};

TEST_F(SplitterWndTest, ListViewGetsOneInitialUpdateBecomesActiveAndReceivesCommands)
{
    MakeFrame(2, 1);
    ASSERT_TRUE(Splitter().CreateView(0, 0, &CCountingListView::CreateObject, CSize(0, 150)));
    ASSERT_TRUE(Splitter().CreateView(1, 0, &CPlainView::CreateObject, CSize(0, 0)));
    EXPECT_FALSE(Splitter().CreateView(0, 0, &CPlainView::CreateObject, CSize(0, 0))) << "pane taken";
    auto* pList = dynamic_cast<CCountingListView*>(Splitter().GetPane(0, 0));
    ASSERT_NE(pList, nullptr);
    EXPECT_EQ(Splitter().GetDlgCtrlID(), static_cast<int>(AFX_IDW_PANE_FIRST));
    EXPECT_EQ(pList->GetDlgCtrlID(), 0xE900);
    EXPECT_EQ(Splitter().GetPane(1, 0)->GetDlgCtrlID(), 0xE910);

    m_pFrame->RecalcLayout();
    m_pFrame->InitialUpdateFrame();
    m_pFrame->InitialUpdateFrame();
    EXPECT_EQ(pList->m_nInitialUpdates, 1);
    EXPECT_EQ(m_pFrame->GetActiveView(), pList);

    wchar_t szClass[32] = {};
    ::GetClassNameW(pList->m_hWnd, szClass, 32);
    EXPECT_STREQ(szClass, WC_LISTVIEWW);
    pList->GetListCtrl().InsertColumn(0, L"Drive", LVCFMT_LEFT, 80);
    EXPECT_EQ(pList->GetListCtrl().InsertItem(0, L"C:"), 0);
    EXPECT_EQ(pList->GetListCtrl().GetItemCount(), 1);

    m_pFrame->SendMessage(WM_COMMAND, ID_TEST_COMMAND, 0);
    EXPECT_EQ(pList->m_nCommands, 1);

    // A click into the other view makes it the one commands reach first.
    CWnd* pOther = Splitter().GetPane(1, 0);
    pOther->SendMessage(WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(m_pFrame->m_hWnd), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(m_pFrame->GetActiveView(), pOther);
    m_pFrame->SendMessage(WM_COMMAND, ID_TEST_COMMAND, 0);
    EXPECT_EQ(pList->m_nCommands, 1);
}

TEST_F(SplitterWndTest, PanesAreLaidOutInTheGridWithTheGapBetween)
{
    MakeFrame(2, 2);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 2; ++col)
            ASSERT_TRUE(Splitter().CreateView(row, col, &CPlainView::CreateObject, CSize(150, 100)));
    Splitter().SetRowInfo(1, 0, 10);
    Splitter().SetColumnInfo(1, 0, 10);
    ASSERT_TRUE(Splitter().SetWindowPos(NULL, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE));
    Splitter().RecalcLayout();
    EXPECT_EQ(PaneRect(0, 0), CRect(2, 2, 152, 102));
    EXPECT_EQ(PaneRect(0, 1), CRect(159, 2, 398, 102));
    EXPECT_EQ(PaneRect(1, 0), CRect(2, 109, 152, 298));
    EXPECT_EQ(PaneRect(1, 1), CRect(159, 109, 398, 298));
    int nCur = 0, nMin = 0;
    Splitter().GetRowInfo(1, nCur, nMin);
    EXPECT_EQ(nCur, 189);
    EXPECT_EQ(nMin, 10);

    EXPECT_EQ(Splitter().HitTest(CPoint(50, 105)), CSplitterWnd::rowBar1);
    EXPECT_EQ(Splitter().HitTest(CPoint(155, 50)), CSplitterWnd::colBar1);
    EXPECT_EQ(Splitter().HitTest(CPoint(155, 105)), CSplitterWnd::intersection1);
    EXPECT_EQ(Splitter().HitTest(CPoint(50, 50)), CSplitterWnd::noHit);
    EXPECT_EQ(Splitter().HitTest(CPoint(0, 105)), CSplitterWnd::noHit) << "the border is no bar";
}

struct stLayoutCase
{
    const char* pszWhat;
    std::vector<CSplitterWnd::CRowColInfo> arrIn;
    int nSize;
    std::vector<int> arrExpected;
};

TEST(SplitterLayout, RowAndColumnRule)
{
    const stLayoutCase cases[] = {
        {"ideal sizes, the last takes the rest", {{10, 100, 0}, {10, 0, 0}}, 300, {100, 195}},
        {"an ideal below the minimum collapses", {{50, 40, 0}, {10, 0, 0}}, 300, {0, 295}},
        {"the last below its minimum goes to the one before", {{10, 280, 0}, {30, 0, 0}}, 300, {295, 0}},
        {"an ideal too large is cut to what is there", {{10, 500, 0}, {0, 0, 0}}, 300, {295, 0}},
        {"three rows", {{0, 50, 0}, {0, 60, 0}, {0, 0, 0}}, 200, {50, 60, 80}},
        {"no room at all", {{0, 50, 0}, {0, 0, 0}}, -4, {0, 0}},
    };
    for (const auto& stCase : cases)
    {
        auto arr = stCase.arrIn;
        CLayoutProbe::LayoutRowCol(arr, static_cast<int>(arr.size()), stCase.nSize, 5);
        std::vector<int> arrCur;
        for (const auto& stInfo : arr)
            arrCur.push_back(stInfo.nCurSize);
        EXPECT_EQ(arrCur, stCase.arrExpected) << stCase.pszWhat;
    }
}

TEST_F(SplitterWndTest, DraggingTheBarResizesTheRowsWithinTheirMinimums)
{
    MakeFrame(2, 1);
    ASSERT_TRUE(Splitter().CreateView(0, 0, &CPlainView::CreateObject, CSize(0, 100)));
    ASSERT_TRUE(Splitter().CreateView(1, 0, &CPlainView::CreateObject, CSize(0, 0)));
    Splitter().SetRowInfo(0, 100, 40);
    Splitter().SetRowInfo(1, 0, 60);
    ASSERT_TRUE(Splitter().SetWindowPos(NULL, 0, 0, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE));
    Splitter().RecalcLayout();

    auto drag = [&](int yFrom, int yTo, bool bCancel) {
        Splitter().SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, yFrom));
        Splitter().SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, yTo));
        if (bCancel)
            Splitter().SendMessage(WM_CANCELMODE);
        Splitter().SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(100, yTo));
        int nCur = 0, nMin = 0;
        Splitter().GetRowInfo(0, nCur, nMin);
        return nCur;
    };
    // The bar is at 102..109; grabbed 3 pixels into it.
    EXPECT_EQ(drag(105, 135, false), 130);
    EXPECT_EQ(::GetCapture(), HWND(NULL));
    EXPECT_EQ(drag(135, 0, false), 40) << "row 0 keeps its minimum";
    EXPECT_EQ(drag(45, 299, false), 296 - 7 - 60) << "row 1 keeps its minimum";
    EXPECT_EQ(drag(232, 100, true), 229) << "a cancelled drag changes nothing";
    EXPECT_EQ(PaneRect(1, 0).top, 2 + 229 + 7);
}

TEST_F(SplitterWndTest, NextAndPreviousPaneMoveTheFocusRoundTheGrid)
{
    MakeFrame(3, 1);
    for (int row = 0; row < 3; ++row)
        ASSERT_TRUE(Splitter().CreateView(row, 0, &CPlainView::CreateObject, CSize(0, 80)));
    m_pFrame->RecalcLayout();
    m_pFrame->InitialUpdateFrame();
    ::SetForegroundWindow(m_pFrame->m_hWnd);
    Splitter().SetActivePane(0, 0);
    ASSERT_EQ(::GetFocus(), Splitter().GetPane(0, 0)->m_hWnd);

    struct
    {
        UINT nCommand;
        int nRow;
    } steps[] = {{ID_NEXT_PANE, 1}, {ID_NEXT_PANE, 2}, {ID_NEXT_PANE, 0}, {ID_PREV_PANE, 2}, {ID_PREV_PANE, 1}};
    for (const auto& stStep : steps)
    {
        m_pFrame->SendMessage(WM_COMMAND, stStep.nCommand, 0);
        EXPECT_EQ(::GetFocus(), Splitter().GetPane(stStep.nRow, 0)->m_hWnd) << "to row " << stStep.nRow;
        EXPECT_EQ(m_pFrame->GetActiveView(), Splitter().GetPane(stStep.nRow, 0));
    }
    struct CEnableProbe : CCmdUI
    {
        void Enable(BOOL bOn) override { m_nEnabled = bOn; }
        int m_nEnabled = -1;
    } stState;
    EXPECT_TRUE(m_pFrame->OnCmdMsg(ID_PREV_PANE, CN_UPDATE_COMMAND_UI, &stState));
    EXPECT_EQ(stState.m_nEnabled, TRUE);
}
} // namespace

namespace
{
// A view whose window cannot be made: its class does not exist.
class CUnmakeableView : public CView
{
public:
    static CWnd* CreateObject()
    {
        ++s_nLiving;
        return new CUnmakeableView;
    }
    ~CUnmakeableView() override { --s_nLiving; }
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override
    {
        cs.lpszClass = L"NoSuchClassAnywhere";
        return TRUE;
    }
    static int s_nLiving;
};
int CUnmakeableView::s_nLiving = 0;

TEST_F(SplitterWndTest, GridsAndPanesOutOfRangeAreRefused)
{
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, NULL, NULL));
    for (auto [nRows, nCols] : {std::pair<int, int>{0, 1}, {1, 0}, {17, 1}, {1, 17}})
    {
        CSplitterWnd splitter;
        EXPECT_FALSE(splitter.CreateStatic(&parent, nRows, nCols)) << nRows << " x " << nCols;
        EXPECT_EQ(splitter.m_hWnd, HWND(NULL));
    }
    MakeFrame(2, 1);
    EXPECT_FALSE(Splitter().CreateStatic(m_pFrame, 2, 1)) << "made once";
    EXPECT_FALSE(Splitter().CreateView(2, 0, &CPlainView::CreateObject, CSize(0, 0)));
    EXPECT_FALSE(Splitter().CreateView(0, 1, &CPlainView::CreateObject, CSize(0, 0)));
    EXPECT_FALSE(Splitter().CreateView(-1, 0, &CPlainView::CreateObject, CSize(0, 0)));
    EXPECT_FALSE(Splitter().CreateView(0, 0, &CUnmakeableView::CreateObject, CSize(0, 0)));
    EXPECT_EQ(CUnmakeableView::s_nLiving, 0) << "a view without a window is not left behind";
    EXPECT_EQ(Splitter().GetPane(0, 0), nullptr);
    int nCur = -1, nMin = -1;
    Splitter().GetRowInfo(5, nCur, nMin);
    EXPECT_EQ(nCur, 0);
    EXPECT_EQ(nMin, 0);
    Splitter().SetRowInfo(5, 10, 10);
    parent.DestroyWindow();
}
} // namespace
