#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/GdiObject.h"
#include "classlib/ListView.h"
#include "classlib/WinApp.h"
#include "guitoolkit/FlatSplitterWnd.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// Stands for the cluster map: a filled area, so the rows tell apart in a picture.
class CPlainView : public CView
{
public:
    static CWnd* CreateObject() { return new CPlainView; }
    void OnDraw(CDC* pDC) override
    {
        CRect rc;
        GetClientRect(rc);
        pDC->FillSolidRect(&rc, RGB(200, 220, 250));
    }
};

class CDriveListView : public CListView
{
public:
    static CWnd* CreateObject() { return new CDriveListView; }
};

// A main frame with a two-row flat splitter that notes the double clicks it hears.
class CHostFrame : public CFrameWnd, public CFlatSplitterHost
{
public:
    void OnSplitterDblClk(CFlatSplitterWnd* pSplitter) override { m_arrClicked.push_back(pSplitter); }
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override
    {
        return m_splitter.OnCmdMsg(nID, nCode, pExtra) || CFrameWnd::OnCmdMsg(nID, nCode, pExtra);
    }
    CFlatSplitterWnd m_splitter;
    std::vector<CFlatSplitterWnd*> m_arrClicked;
};

class FlatSplitterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CHostFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Flat splitter", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                     CRect(40, 40, 560, 440)));
        m_app.m_pMainWnd = m_pFrame;
        CFlatSplitterWnd& splitter = m_pFrame->m_splitter;
        ASSERT_TRUE(splitter.CreateStatic(m_pFrame, 2, 1));
        splitter.SetSplitterId(2);
        ASSERT_TRUE(splitter.CreateView(0, 0, &CDriveListView::CreateObject, CSize(0, 160)));
        ASSERT_TRUE(splitter.CreateView(1, 0, &CPlainView::CreateObject, CSize(0, 0)));
        splitter.SetRowInfo(0, 160, 50);
        splitter.SetRowInfo(1, 0, 80);
        splitter.SetColumnInfo(0, 0, 100);
        m_pFrame->RecalcLayout();
        m_pFrame->InitialUpdateFrame();
        CListCtrl& list = static_cast<CListView*>(splitter.GetPane(0, 0))->GetListCtrl();
        list.InsertColumn(0, L"Drive", LVCFMT_LEFT, 120);
        list.InsertItem(0, L"C:");
        list.InsertItem(1, L"D:");
        m_pFrame->GetClientRect(m_rcClient);
    }
    void TearDown() override
    {
        if (m_app.m_pMainWnd != nullptr)
            m_pFrame->DestroyWindow();
        PumpPending();
    }
    CFlatSplitterWnd& Splitter() { return m_pFrame->m_splitter; }
    HWND Pane(int row) { return ::GetDlgItem(Splitter().m_hWnd, 0xE900 + 16 * row); }
    void SavePicture(const wchar_t* pszName)
    {
        m_pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpPending();
        SaveWindowPicture(m_pFrame->m_hWnd, pszName);
    }

    CWinApp m_app;
    CHostFrame* m_pFrame = nullptr;
    CRect m_rcClient;
};

TEST_F(FlatSplitterTest, LayoutHasTheThinBorderAndGapInOneBatch)
{
    EXPECT_EQ(Splitter().GetSplitterId(), 2);
    EXPECT_EQ(CRect(WindowRectIn(Splitter().m_hWnd, m_pFrame->m_hWnd)), m_rcClient);
    EXPECT_EQ(CRect(WindowRectIn(Pane(0), Splitter().m_hWnd)), CRect(1, 1, m_rcClient.right - 1, 161));
    EXPECT_EQ(CRect(WindowRectIn(Pane(1), Splitter().m_hWnd)), CRect(1, 166, m_rcClient.right - 1, m_rcClient.bottom - 1));
    EXPECT_EQ(Splitter().HitTest(CPoint(50, 163)), CSplitterWnd::rowBar1);
    SavePicture(L"splitter\\two_rows");
}

TEST_F(FlatSplitterTest, HiddenRowComesBackWithItsIdAndHeight)
{
    HWND hList = Pane(0), hMap = Pane(1);
    // Row 0 was dragged to a height of its own before the row goes.
    Splitter().SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 162));
    Splitter().SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, 202));
    Splitter().SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(50, 202));
    CRect rcMapBefore = CRect(WindowRectIn(hMap, Splitter().m_hWnd));
    ASSERT_EQ(rcMapBefore.top, 206);

    ASSERT_TRUE(Splitter().HideRow(0, 1));
    EXPECT_EQ(Splitter().GetRowCount(), 1);
    EXPECT_FALSE(::IsWindowVisible(hMap));
    EXPECT_EQ(::GetDlgCtrlID(hMap), 0xE900 + 16 + 2);
    EXPECT_EQ(Splitter().GetPane(1, 0), nullptr);
    EXPECT_EQ(CRect(WindowRectIn(hList, Splitter().m_hWnd)).bottom, m_rcClient.bottom - 1) << "the list takes the whole height";
    EXPECT_FALSE(Splitter().HideRow(0, 0)) << "the last row shown stays";
    EXPECT_FALSE(Splitter().ShowRow(0, 0)) << "no pane was hidden from row 0";
    EXPECT_EQ(Splitter().GetRowCount(), 1);
    SavePicture(L"splitter\\row_1_hidden");

    ASSERT_TRUE(Splitter().ShowRow(0, 1));
    EXPECT_EQ(Splitter().GetRowCount(), 2);
    EXPECT_TRUE(::IsWindowVisible(hMap));
    EXPECT_EQ(::GetDlgCtrlID(hMap), 0xE910);
    EXPECT_EQ(::GetDlgCtrlID(hList), 0xE900);
    EXPECT_EQ(CRect(WindowRectIn(hMap, Splitter().m_hWnd)), rcMapBefore);
    EXPECT_FALSE(Splitter().ShowRow(0, 1)) << "nothing hidden: the grid keeps two rows";
    EXPECT_EQ(Splitter().GetRowCount(), 2);
}

TEST_F(FlatSplitterTest, HidingTheTopRowMovesTheLowerPaneUpAndBack)
{
    HWND hList = Pane(0), hMap = Pane(1);
    ASSERT_TRUE(Splitter().HideRow(0, 0));
    EXPECT_EQ(::GetDlgCtrlID(hList), 0xE900 + 2);
    EXPECT_EQ(::GetDlgCtrlID(hMap), 0xE900);
    EXPECT_EQ(CRect(WindowRectIn(hMap, Splitter().m_hWnd)).top, 1);
    ASSERT_TRUE(Splitter().ShowRow(0, 0));
    EXPECT_EQ(::GetDlgCtrlID(hList), 0xE900);
    EXPECT_EQ(::GetDlgCtrlID(hMap), 0xE910);
    EXPECT_EQ(CRect(WindowRectIn(hList, Splitter().m_hWnd)), CRect(1, 1, m_rcClient.right - 1, 161));
}

TEST_F(FlatSplitterTest, BorderIsOnePixelOfShadowAndHighlight)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateBitmap(20, 20, 1, 32, nullptr));
    dc.SelectObject(&bitmap);
    const COLORREF crInside = RGB(1, 2, 3);
    dc.FillSolidRect(0, 0, 20, 20, crInside);
    Splitter().OnDrawSplitter(&dc, CSplitterWnd::splitBorder, CRect(0, 0, 20, 20));
    const COLORREF crShadow = ::GetSysColor(COLOR_BTNSHADOW), crLight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    EXPECT_EQ(dc.GetPixel(0, 10), crShadow);
    EXPECT_EQ(dc.GetPixel(10, 0), crShadow);
    EXPECT_EQ(dc.GetPixel(19, 10), crLight);
    EXPECT_EQ(dc.GetPixel(10, 19), crLight);
    EXPECT_EQ(dc.GetPixel(1, 1), crInside) << "one pixel only";
    EXPECT_EQ(dc.GetPixel(18, 18), crInside);
    dc.RestoreObjects();
}

TEST_F(FlatSplitterTest, DoubleClickReachesTheMainFrame)
{
    Splitter().SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(50, 163));
    ASSERT_EQ(m_pFrame->m_arrClicked.size(), 1u);
    EXPECT_EQ(m_pFrame->m_arrClicked[0], &Splitter());
}

TEST_F(FlatSplitterTest, NextPaneMovesTheFocusAndPassesOverTheHiddenRow)
{
    ::SetForegroundWindow(m_pFrame->m_hWnd);
    Splitter().SetActivePane(0, 0);
    m_pFrame->SendMessage(WM_COMMAND, ID_NEXT_PANE, 0);
    EXPECT_EQ(::GetFocus(), Pane(1));
    m_pFrame->SendMessage(WM_COMMAND, ID_PREV_PANE, 0);
    EXPECT_EQ(::GetFocus(), Pane(0));
    HWND hList = Pane(0);
    ASSERT_TRUE(Splitter().HideRow(0, 1));
    m_pFrame->SendMessage(WM_COMMAND, ID_NEXT_PANE, 0);
    EXPECT_EQ(::GetFocus(), hList);
}
} // namespace
