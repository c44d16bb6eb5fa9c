#include "classlib/ControlBar.h"
#include "classlib/CreateContext.h"
#include "classlib/DockBar.h"
#include "classlib/FrameWnd.h"
#include "classlib/MiniDockFrameWnd.h"
#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
// A bar of a known size; a stretching one asks for the whole side when the
// layout stretches.
class CTestBar : public CControlBar
{
public:
    CTestBar(int cx, int cy, bool bStretch = false) : m_size(cx, cy), m_bStretch(bStretch) {}

    BOOL Create(CFrameWnd* pFrame, const wchar_t* pszTitle, DWORD dwBarStyle, UINT nID)
    {
        if (!CreateEx(0, nullptr, pszTitle, WS_CHILD | WS_VISIBLE, CRect(0, 0, m_size.cx, m_size.cy), pFrame, nID))
            return FALSE;
        SetBarStyle(dwBarStyle);
        EnableDocking(CBRS_ALIGN_ANY);
        return TRUE;
    }
    CSize CalcFixedLayout(BOOL bStretch, BOOL bHorz) override
    {
        // What a bar that sizes itself to its side can read: the pass under way.
        const MSG* pMsg = CWnd::GetCurrentMessage();
        m_nLayoutLength = -1;
        if (pMsg->message == WM_SIZEPARENT && pMsg->lParam != 0)
            m_nLayoutLength = CRect(reinterpret_cast<const stSizeParentLayout*>(pMsg->lParam)->rect).Width();
        CSize size = m_size;
        if (m_bStretch && bStretch)
            (bHorz ? size.cx : size.cy) = 32767;
        return size;
    }
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL) override
    {
        ++m_nUpdates;
        m_pUpdateTarget = pTarget;
    }

    CSize m_size;
    bool m_bStretch;
    int m_nUpdates = 0;
    CFrameWnd* m_pUpdateTarget = nullptr;
    int m_nLayoutLength = -1;
};

class CHeapView : public CWnd
{
public:
    static CWnd* CreateObject() { return new CHeapView; }
    void PostNcDestroy() override { delete this; }
};

// The rectangle of a window in the frame's client coordinates.
CRect RectInFrame(HWND hWnd, const CFrameWnd* pFrame)
{
    CRect rc;
    ::GetWindowRect(hWnd, &rc);
    ::MapWindowPoints(NULL, pFrame->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void ExpectRect(const CRect& rcActual, int l, int t, int r, int b, const char* pszWhat)
{
    EXPECT_EQ(rcActual, CRect(l, t, r, b)) << pszWhat << ": got (" << rcActual.left << "," << rcActual.top << ")-("
                                           << rcActual.right << "," << rcActual.bottom << ")";
}

class FrameLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CCreateContext stContext;
        stContext.m_pNewViewClass = &CHeapView::CreateObject;
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Layout", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 620, 420),
                                     nullptr, nullptr, 0, &stContext));
        m_app.m_pMainWnd = m_pFrame;
        // Made before the dock bars: the pass reaches it first, so it spans the whole width.
        ASSERT_TRUE(m_status.Create(m_pFrame, L"status", CBRS_BOTTOM, AFX_IDW_STATUS_BAR));
        m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
        m_pFrame->RecalcLayout();
        CRect rcClient;
        m_pFrame->GetClientRect(rcClient);
        m_nWidth = rcClient.Width();
        m_nHeight = rcClient.Height();
    }
    void TearDown() override
    {
        if (m_app.m_pMainWnd != nullptr)
            m_pFrame->DestroyWindow();
        PumpPending();
    }
    CRect Rect(const CWnd& wnd) const { return RectInFrame(wnd.m_hWnd, m_pFrame); }
    CRect Pane() const { return RectInFrame(::GetDlgItem(m_pFrame->m_hWnd, AFX_IDW_PANE_FIRST), m_pFrame); }
    CDockBar* DockBar(UINT nID) const { return dynamic_cast<CDockBar*>(m_pFrame->GetControlBar(nID)); }

    CWinApp m_app;
    CFrameWnd* m_pFrame = nullptr;
    CTestBar m_status{100, 18, true};
    int m_nWidth = 0;
    int m_nHeight = 0;
};

TEST_F(FrameLayoutTest, BarsOnEverySideAndThePaneTakesTheRest)
{
    CTestBar top(200, 20), bottom(300, 15), left(30, 100), right(25, 80), floating(120, 24);
    ASSERT_TRUE(top.Create(m_pFrame, L"top", CBRS_TOP, 101));
    ASSERT_TRUE(bottom.Create(m_pFrame, L"bottom", CBRS_TOP, 102));
    ASSERT_TRUE(left.Create(m_pFrame, L"left", CBRS_TOP, 103));
    ASSERT_TRUE(right.Create(m_pFrame, L"right", CBRS_TOP, 104));
    ASSERT_TRUE(floating.Create(m_pFrame, L"Floating bar", CBRS_TOP, 105));
    m_pFrame->DockControlBar(&top, AFX_IDW_DOCKBAR_TOP);
    m_pFrame->DockControlBar(&bottom, AFX_IDW_DOCKBAR_BOTTOM);
    m_pFrame->DockControlBar(&left, AFX_IDW_DOCKBAR_LEFT);
    m_pFrame->DockControlBar(&right, AFX_IDW_DOCKBAR_RIGHT);
    m_pFrame->FloatControlBar(&floating, CPoint(700, 100));

    const int W = m_nWidth, H = m_nHeight;
    ExpectRect(Rect(m_status), 0, H - 18, W, H, "status bar");
    ExpectRect(Rect(top), 0, 0, 200, 20, "top");
    ExpectRect(Rect(bottom), 0, H - 18 - 15, 300, H - 18, "bottom");
    ExpectRect(Rect(left), 0, 20, 30, 120, "left");
    ExpectRect(Rect(right), W - 25, 20, W, 100, "right");
    ExpectRect(Pane(), 30, 20, W - 25, H - 18 - 15, "pane");
    EXPECT_EQ(top.GetBarStyle() & CBRS_ALIGN_ANY, CBRS_ALIGN_TOP);
    EXPECT_EQ(left.GetBarStyle() & CBRS_ALIGN_ANY, CBRS_ALIGN_LEFT);

    ASSERT_TRUE(floating.IsFloating());
    CFrameWnd* pMini = floating.m_pDockBar->GetParentFrame();
    ASSERT_NE(pMini, nullptr);
    EXPECT_TRUE(pMini->IsWindowVisible());
    CRect rcMiniClient;
    pMini->GetClientRect(rcMiniClient);
    EXPECT_EQ(rcMiniClient.Size(), CSize(120, 24));
    CRect rcMini;
    pMini->GetWindowRect(rcMini);
    EXPECT_EQ(rcMini.TopLeft(), CPoint(700, 100));
    CString strCaption;
    pMini->GetWindowText(strCaption);
    EXPECT_STREQ(strCaption, L"Floating bar");
    EXPECT_EQ(::GetWindow(pMini->m_hWnd, GW_OWNER), m_pFrame->m_hWnd);

    // Hiding a bar gives its strip back; hiding the floating one hides its frame.
    m_pFrame->ShowControlBar(&top, FALSE);
    m_pFrame->ShowControlBar(&right, FALSE);
    m_pFrame->ShowControlBar(&floating, FALSE);
    ExpectRect(Rect(left), 0, 0, 30, 100, "left after the top went");
    ExpectRect(Pane(), 30, 0, W, H - 18 - 15, "pane after top and right went");
    EXPECT_FALSE(pMini->IsWindowVisible());
    m_pFrame->ShowControlBar(&top, TRUE);
    ExpectRect(Pane(), 30, 20, W, H - 18 - 15, "pane with the top back");

    // Growing the frame lays it out again.
    m_pFrame->SetWindowPos(NULL, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
    CRect rcClient;
    m_pFrame->GetClientRect(rcClient);
    ExpectRect(Rect(m_status), 0, rcClient.bottom - 18, rcClient.right, rcClient.bottom, "status after resize");
    ExpectRect(Pane(), 30, 20, rcClient.right, rcClient.bottom - 18 - 15, "pane after resize");
}

TEST_F(FrameLayoutTest, DockBarsComeOncePerSideAndBarsAreFoundById)
{
    const UINT ids[] = {AFX_IDW_DOCKBAR_TOP, AFX_IDW_DOCKBAR_BOTTOM, AFX_IDW_DOCKBAR_LEFT, AFX_IDW_DOCKBAR_RIGHT};
    const DWORD styles[] = {CBRS_TOP, CBRS_BOTTOM, CBRS_LEFT, CBRS_RIGHT};
    for (int i = 0; i < 4; ++i)
    {
        CDockBar* pDock = DockBar(ids[i]);
        ASSERT_NE(pDock, nullptr);
        EXPECT_EQ(pDock->GetBarStyle(), styles[i]);
    }
    CDockBar* pTop = DockBar(AFX_IDW_DOCKBAR_TOP);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    EXPECT_EQ(DockBar(AFX_IDW_DOCKBAR_TOP), pTop);
    int nDockBars = 0;
    for (HWND h = ::GetTopWindow(m_pFrame->m_hWnd); h != NULL; h = ::GetNextWindow(h, GW_HWNDNEXT))
        nDockBars += dynamic_cast<CDockBar*>(CWnd::FromHandlePermanent(h)) != nullptr ? 1 : 0;
    EXPECT_EQ(nDockBars, 4);
    EXPECT_EQ(m_pFrame->GetControlBar(AFX_IDW_STATUS_BAR), &m_status);
    EXPECT_EQ(m_pFrame->GetControlBar(0x1234), nullptr);

    // A bar object that goes first leaves neither its frame nor its dock bar holding it.
    {
        CTestBar gone(40, 40);
        ASSERT_TRUE(gone.Create(m_pFrame, L"gone", CBRS_TOP, 0x1234));
        m_pFrame->DockControlBar(&gone, AFX_IDW_DOCKBAR_TOP);
        EXPECT_EQ(m_pFrame->GetControlBar(0x1234), &gone);
    }
    EXPECT_EQ(m_pFrame->GetControlBar(0x1234), nullptr);
    EXPECT_EQ(pTop->GetDockedCount(), 0);
    m_pFrame->RecalcLayout();
    EXPECT_EQ(Pane().top, 0);
}

TEST_F(FrameLayoutTest, RowsBreaksAndAStretchingBar)
{
    CTestBar a(100, 20), b(50, 30), c(80, 10), stretch(10, 22, true);
    ASSERT_TRUE(a.Create(m_pFrame, L"a", CBRS_TOP, 101));
    ASSERT_TRUE(b.Create(m_pFrame, L"b", CBRS_TOP, 102));
    ASSERT_TRUE(c.Create(m_pFrame, L"c", CBRS_TOP, 103));
    m_pFrame->DockControlBar(&a, AFX_IDW_DOCKBAR_TOP);
    // Beside a: a rectangle whose middle is in a's row, right of a.
    CRect rcBeside;
    a.GetWindowRect(rcBeside);
    rcBeside.OffsetRect(rcBeside.Width(), 0);
    m_pFrame->DockControlBar(&b, AFX_IDW_DOCKBAR_TOP, rcBeside);
    m_pFrame->DockControlBar(&c, AFX_IDW_DOCKBAR_TOP);

    const int W = m_nWidth;
    CDockBar* pTop = DockBar(AFX_IDW_DOCKBAR_TOP);
    EXPECT_EQ(pTop->m_arrBars, (std::vector<CControlBar*>{nullptr, &a, &b, nullptr, &c, nullptr}));
    ExpectRect(Rect(a), 0, 0, 100, 20, "a");
    ExpectRect(Rect(b), 100, 0, 150, 30, "b, in a's row");
    ExpectRect(Rect(c), 0, 30, 80, 40, "c, below the taller of the row");
    ExpectRect(Rect(*pTop), 0, 0, W, 40, "top dock bar");
    EXPECT_EQ(Pane().top, 40);
    EXPECT_EQ(a.m_nLayoutLength, W) << "a docked bar is measured inside the frame's size-parent pass";

    // A stretching bar alone in its row spans it; beside c it takes what c leaves.
    ASSERT_TRUE(stretch.Create(m_pFrame, L"stretch", CBRS_TOP, 104));
    m_pFrame->DockControlBar(&stretch, AFX_IDW_DOCKBAR_TOP);
    ExpectRect(Rect(stretch), 0, 40, W, 62, "stretching bar alone");
    CRect rcBesideC;
    c.GetWindowRect(rcBesideC);
    rcBesideC.OffsetRect(rcBesideC.Width(), 0);
    m_pFrame->DockControlBar(&stretch, AFX_IDW_DOCKBAR_TOP, rcBesideC);
    ExpectRect(Rect(stretch), 80, 30, W, 52, "stretching bar beside c");
    ExpectRect(Rect(c), 0, 30, 80, 40, "c keeps its place");
    EXPECT_EQ(pTop->m_arrBars, (std::vector<CControlBar*>{nullptr, &a, &b, nullptr, &c, &stretch, nullptr}));

    // Leaving a row empty removes the row.
    m_pFrame->DockControlBar(&c, AFX_IDW_DOCKBAR_BOTTOM);
    m_pFrame->DockControlBar(&stretch, AFX_IDW_DOCKBAR_BOTTOM);
    EXPECT_EQ(pTop->m_arrBars, (std::vector<CControlBar*>{nullptr, &a, &b, nullptr}));
    EXPECT_EQ(Pane().top, 30);
}

TEST_F(FrameLayoutTest, SideDockBarsLayColumns)
{
    CTestBar l1(30, 100), l2(20, 50), l3(30, 40);
    ASSERT_TRUE(l1.Create(m_pFrame, L"l1", CBRS_TOP, 101));
    ASSERT_TRUE(l2.Create(m_pFrame, L"l2", CBRS_TOP, 102));
    ASSERT_TRUE(l3.Create(m_pFrame, L"l3", CBRS_TOP, 103));
    m_pFrame->DockControlBar(&l1, AFX_IDW_DOCKBAR_LEFT);
    m_pFrame->DockControlBar(&l2, AFX_IDW_DOCKBAR_LEFT);
    CRect rcBelow;
    l1.GetWindowRect(rcBelow);
    rcBelow.OffsetRect(0, rcBelow.Height());
    m_pFrame->DockControlBar(&l3, AFX_IDW_DOCKBAR_LEFT, rcBelow);

    ExpectRect(Rect(l1), 0, 0, 30, 100, "first column, first bar");
    ExpectRect(Rect(l3), 0, 100, 30, 140, "first column, below it");
    ExpectRect(Rect(l2), 30, 0, 50, 50, "second column");
    ExpectRect(Pane(), 50, 0, m_nWidth, m_nHeight - 18, "pane");
}

TEST_F(FrameLayoutTest, FloatingBarRedocksAndItsEmptyFrameGoes)
{
    CTestBar bar(90, 20);
    ASSERT_TRUE(bar.Create(m_pFrame, L"bar", CBRS_TOP, 101));
    m_pFrame->FloatControlBar(&bar, CPoint(50, 50));
    ASSERT_TRUE(bar.IsFloating());
    EXPECT_NE(bar.GetBarStyle() & CBRS_FLOATING, 0u);
    HWND hMini = bar.m_pDockBar->GetParentFrame()->m_hWnd;
    // Floating bars sit outside the frame's window tree; the idle update still reaches them.
    m_app.OnIdle(0);
    EXPECT_GT(bar.m_nUpdates, 0);
    EXPECT_EQ(bar.m_pUpdateTarget, m_pFrame);

    // Closing the floating frame hides the bar; both stay, to show again.
    ::SendMessageW(hMini, WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(hMini));
    EXPECT_FALSE(::IsWindowVisible(hMini));
    EXPECT_FALSE(bar.IsVisible());
    m_pFrame->ShowControlBar(&bar, TRUE);
    EXPECT_TRUE(::IsWindowVisible(hMini));

    m_pFrame->DockControlBar(&bar, AFX_IDW_DOCKBAR_RIGHT);
    EXPECT_FALSE(bar.IsFloating());
    EXPECT_EQ(bar.GetBarStyle() & (CBRS_FLOATING | CBRS_ALIGN_ANY), CBRS_ALIGN_RIGHT);
    EXPECT_FALSE(::IsWindow(hMini));
    ExpectRect(Rect(bar), m_nWidth - 90, 0, m_nWidth, 20, "docked right");
}

TEST_F(FrameLayoutTest, ViewOfTheContextIsThePaneAndTakesTheFocus)
{
    CWnd* pView = m_pFrame->GetActiveView();
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(pView->GetDlgCtrlID(), static_cast<int>(AFX_IDW_PANE_FIRST));
    ExpectRect(Pane(), 0, 0, m_nWidth, m_nHeight - 18, "pane without docked bars");
    m_pFrame->SendMessage(WM_SETFOCUS);
    EXPECT_EQ(::GetFocus(), pView->m_hWnd);
}

TEST(ControlBarBorders, EdgesComeOffTheWindowAndBordersOffTheInside)
{
    CWinApp app;
    auto* pFrame = new CFrameWnd;
    ASSERT_TRUE(pFrame->Create(nullptr, L"Borders", WS_OVERLAPPEDWINDOW, CRect(0, 0, 300, 200)));
    struct stCase
    {
        DWORD dwStyle;
        CRect rcClientInWindow;
        CSize sizeFixed;
    };
    // Window 100 x 40; inside borders 6, 6, 1, 1, and 7 more for a docked gripper.
    const stCase cases[] = {
        {CBRS_ALIGN_TOP, CRect(0, 0, 100, 40), CSize(12, 2)},
        {CBRS_TOP, CRect(0, 0, 100, 39), CSize(12, 2)},
        {CBRS_ALIGN_TOP | CBRS_BORDER_ANY | CBRS_BORDER_3D, CRect(2, 2, 98, 38), CSize(12, 2)},
        {CBRS_ALIGN_TOP | CBRS_GRIPPER, CRect(0, 0, 100, 40), CSize(19, 2)},
    };
    for (const stCase& stCase : cases)
    {
        CControlBar bar;
        bar.SetBarStyle(stCase.dwStyle);
        ASSERT_TRUE(bar.CreateEx(0, nullptr, L"bar", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 40), pFrame, 101));
        CRect rcClient;
        bar.GetClientRect(rcClient);
        ::MapWindowPoints(bar.m_hWnd, pFrame->m_hWnd, reinterpret_cast<POINT*>(&rcClient), 2);
        EXPECT_EQ(rcClient, stCase.rcClientInWindow) << std::hex << stCase.dwStyle;
        EXPECT_EQ(bar.CalcFixedLayout(FALSE, TRUE), stCase.sizeFixed) << std::hex << stCase.dwStyle;
        EXPECT_EQ(bar.CalcFixedLayout(TRUE, TRUE).cx, 32767);
    }
    pFrame->DestroyWindow();
}

TEST(FrameCreation, ContextWhoseViewCannotBeMadeFailsTheFrame)
{
    static int s_nDeleted;
    class CCountedFrame : public CFrameWnd
    {
    public:
        ~CCountedFrame() override { ++s_nDeleted; }
    };
    s_nDeleted = 0;
    CCreateContext stContext;
    stContext.m_pNewViewClass = []() -> CWnd* { return nullptr; };
    auto* pFrame = new CCountedFrame;
    EXPECT_FALSE(pFrame->Create(nullptr, L"No view", WS_OVERLAPPEDWINDOW, CFrameWnd::rectDefault, nullptr, nullptr, 0,
                                &stContext));
    EXPECT_EQ(s_nDeleted, 1);

    // A menu that does not load fails before any window is made.
    auto* pNoMenu = new CCountedFrame;
    EXPECT_FALSE(pNoMenu->Create(nullptr, L"No menu", WS_OVERLAPPEDWINDOW, CFrameWnd::rectDefault, nullptr, L"NOSUCHMENU"));
    EXPECT_EQ(s_nDeleted, 2);
}
} // namespace
