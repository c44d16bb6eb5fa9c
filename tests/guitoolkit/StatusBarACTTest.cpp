#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/GdiObject.h"
#include "guitoolkit/StatusBarACT.h"

#include "GuiTestSupport.h"
#include "MenuPaintSupport.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

namespace
{
TEST(StatusBarACTRules, ClicksCountByKindAndButton)
{
    struct stCase
    {
        DWORD dwFlags;
        UINT nMsg;
        bool bCounts;
    };
    const stCase cases[] = {
        {0x1102, WM_LBUTTONDBLCLK, true},  {0x1102, WM_LBUTTONDOWN, false}, {0x1102, WM_RBUTTONDBLCLK, false},
        {0x2102, WM_RBUTTONDBLCLK, true},  {0x2102, WM_RBUTTONDOWN, false}, {0x3202, WM_RBUTTONDOWN, true},
        {0x3202, WM_LBUTTONDOWN, true},    {0x3202, WM_MBUTTONDOWN, false}, {0x4302, WM_MBUTTONDOWN, true},
        {0x4302, WM_MBUTTONDBLCLK, true},  {0x7300, WM_LBUTTONDOWN, false}, {0x7302, WM_MOUSEMOVE, false},
        {0x7302, WM_LBUTTONUP, false},
    };
    for (const stCase& stTest : cases)
        EXPECT_EQ(CStatusBarACT::ClickCounts(stTest.dwFlags, stTest.nMsg), stTest.bCounts)
            << std::hex << stTest.dwFlags << " " << stTest.nMsg;
}

// Notes the commands the bar sends with their whole wParam.
class CClickFrame : public CFrameWnd
{
public:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        m_commands.push_back(wParam);
        return CFrameWnd::OnCommand(wParam, lParam);
    }
    std::vector<WPARAM> m_commands;
};

class CTestStatusBarACT : public CStatusBarACT
{
public:
    using CStatusBarACT::Paint;
    CString Tip(int nIndex) const { return m_wndToolTip.GetText(const_cast<CTestStatusBarACT*>(this), nIndex + 1); }
};

class StatusBarACTTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CClickFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Status", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 620, 320)));
        ASSERT_TRUE(m_bar.Create(m_pFrame));
        // Two fixed panes that leave the bar's right end free.
        const stStatusPane panes[] = {{7001, L"Messages", 0x0002, nullptr}, {7002, nullptr, 0x2102, nullptr},
                                      {7002, nullptr, 0, nullptr}};
        ASSERT_TRUE(m_bar.SetIndicators(panes, 3));
        for (int i = 0; i < 3; ++i)
            m_bar.SetPaneInfo(i, m_bar.GetItemID(i), SBPS_NORMAL, 80);
        m_pFrame->RecalcLayout();
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        PumpPending();
    }
    void Click(UINT nMsg, int nIndex)
    {
        CRect rc;
        m_bar.GetItemRect(nIndex, rc);
        m_bar.SendMessage(nMsg, 0, MAKELPARAM(rc.CenterPoint().x, rc.CenterPoint().y));
    }

    CClickFrame* m_pFrame = nullptr;
    CTestStatusBarACT m_bar;
};

TEST_F(StatusBarACTTest, RecordsGoToPanesByPlaceWithDefaultFlags)
{
    EXPECT_EQ(m_bar.GetPaneFlags(0), 0x1102u);
    EXPECT_EQ(m_bar.GetPaneFlags(1), 0x2102u);
    // The second pane of a repeated id gets its own record.
    EXPECT_EQ(m_bar.GetPaneFlags(2), 0x1100u);
    EXPECT_EQ(m_bar.Tip(0), L"Messages");
    EXPECT_EQ(m_bar.GetPaneFlags(3), 0u);
    EXPECT_FALSE(m_bar.SetPaneFlags(3, 0x0002));
    EXPECT_FALSE(m_bar.SetPaneFlags(-1, 0x0002));
    EXPECT_FALSE(m_bar.SetPaneCursor(3, NULL));
    EXPECT_FALSE(m_bar.SetPaneTooltip(3, L"tip"));
    EXPECT_FALSE(m_bar.SetIndicators(static_cast<const stStatusPane*>(nullptr), 2));
}

TEST_F(StatusBarACTTest, ClicksThatCountBecomeCommandsToTheParent)
{
    Click(WM_LBUTTONDOWN, 0);
    Click(WM_RBUTTONDBLCLK, 0);
    Click(WM_LBUTTONDBLCLK, 0);
    Click(WM_RBUTTONDBLCLK, 1);
    Click(WM_LBUTTONDBLCLK, 2);
    EXPECT_EQ(m_pFrame->m_commands, (std::vector<WPARAM>{(WM_LBUTTONDBLCLK << 16) | 7001,
                                                          (WM_RBUTTONDBLCLK << 16) | 7002}));
    // Beside every pane: nothing.
    m_pFrame->m_commands.clear();
    CRect rcBar;
    m_bar.GetClientRect(rcBar);
    m_bar.SendMessage(WM_LBUTTONDBLCLK, 0, MAKELPARAM(rcBar.right - 2, rcBar.CenterPoint().y));
    EXPECT_EQ(m_bar.PaneFromPoint(CPoint(rcBar.right - 2, rcBar.CenterPoint().y)), -1);
    EXPECT_TRUE(m_pFrame->m_commands.empty());
}

TEST_F(StatusBarACTTest, LineBreakSplitsTheTipOffAndALaterTextKeepsIt)
{
    m_bar.SetPaneText(1, L"Computer\nThe computer this program watches");
    EXPECT_EQ(m_bar.GetPaneText(1), L"Computer");
    EXPECT_EQ(m_bar.Tip(1), L"The computer this program watches");
    m_bar.SetPaneText(1, L"Server");
    EXPECT_EQ(m_bar.GetPaneText(1), L"Server");
    EXPECT_EQ(m_bar.Tip(1), L"The computer this program watches");
}

TEST_F(StatusBarACTTest, AutoSizedPaneIsAsWideAsItsTextInThePaintedFont)
{
    m_bar.SetPaneFlags(1, SBACT_AUTOSIZE | SBACT_CLICKABLE);
    m_bar.SetPaneText(1, L"Computer: WORKSTATION\nwith a tip");
    CFont font;
    ASSERT_TRUE(CSkinStatusBar::CreatePaneFont(font));
    CClientDC dc(&m_bar);
    dc.SelectObject(&font);
    CRect rcText;
    dc.DrawText(L"Computer: WORKSTATION", -1, rcText, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    UINT nID = 0, nStyle = 0;
    int cxWidth = 0;
    m_bar.GetPaneInfo(1, nID, nStyle, cxWidth);
    EXPECT_EQ(cxWidth, rcText.Width());
    EXPECT_EQ(nID, 7002u);
    EXPECT_EQ(m_bar.Tip(1), L"with a tip");
}

// The last column of ink in the pane's rows, right of the pane's start: on
// the bar as it paints itself, short of the grip's corner, or of the text
// alone where the bar writes it.
class CPaneInk
{
public:
    CPaneInk(CTestStatusBarACT& bar, int nIndex) : m_bar(bar)
    {
        m_bar.GetClientRect(m_rcClient);
        m_bar.GetPaneDrawRect(nIndex, m_rcPane);
    }
    int Painted() const
    {
        CPaintSurface picture(m_rcClient.Width(), m_rcClient.Height());
        m_bar.Paint(&picture.DC());
        return LastInk(picture, m_rcClient.right - ::GetSystemMetrics(SM_CXVSCROLL) - 2);
    }
    int Text(const wchar_t* pszText) const
    {
        CPaintSurface picture(m_rcClient.Width(), m_rcClient.Height(), RGB(255, 255, 255));
        CFont font;
        if (!CSkinStatusBar::CreatePaneFont(font))
            return -1;
        picture.DC().SelectObject(&font);
        picture.DC().SetBkMode(TRANSPARENT);
        picture.DC().TextOut(m_rcPane.left + 2, m_rcPane.top + 1, pszText, static_cast<int>(wcslen(pszText)));
        return LastInk(picture, m_rcClient.right);
    }
    const CRect& Pane() const { return m_rcPane; }

private:
    int LastInk(const CPaintSurface& picture, int nRight) const
    {
        int nLast = -1;
        for (int x = m_rcPane.left; x < nRight; ++x)
            for (int y = m_rcPane.top; y < m_rcPane.bottom; ++y)
                if (picture.At(x, y) != picture.At(m_rcPane.left, m_rcPane.top))
                    nLast = x;
        return nLast;
    }

    CTestStatusBarACT& m_bar;
    CRect m_rcClient;
    CRect m_rcPane;
};

// An auto-sized pane given a long text paints every column of it.
void ExpectWholeTextShown(CTestStatusBarACT& bar, int nIndex)
{
    const wchar_t* pszText = L"Computer: WORKSTATION";
    bar.SetPaneText(nIndex, pszText);
    CPaneInk ink(bar, nIndex);
    int nTextEnd = ink.Text(pszText);
    ASSERT_GT(nTextEnd, ink.Pane().left + 20);
    EXPECT_EQ(ink.Painted(), nTextEnd);
}

TEST_F(StatusBarACTTest, AutoSizedPaneShowsAllOfItsTextWhateverTheBarsOwnFont)
{
    // A control font narrower than the one the panes are painted in.
    LOGFONTW stFont = {};
    stFont.lfHeight = -7;
    wcscpy(stFont.lfFaceName, L"Tahoma");
    CFont narrow;
    ASSERT_TRUE(narrow.CreateFontIndirect(&stFont));
    m_bar.SetFont(narrow, FALSE);
    m_bar.SetPaneFlags(1, SBACT_AUTOSIZE);
    ExpectWholeTextShown(m_bar, 1);
    m_bar.SetFont(NULL, FALSE);
}

TEST(StatusBarACTGrip, LastPaneEndsBeforeTheGrip)
{
    auto* pFrame = new CFrameWnd;
    ASSERT_TRUE(pFrame->Create(nullptr, L"Grip", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 620, 320)));
    CTestStatusBarACT bar;
    ASSERT_TRUE(bar.Create(pFrame, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR, SBARS_SIZEGRIP));
    const stStatusPane panes[] = {{ID_SEPARATOR, nullptr, 0x0002, nullptr}, {7002, nullptr, 0x0003, nullptr}};
    ASSERT_TRUE(bar.SetIndicators(panes, 2));
    pFrame->RecalcLayout();
    ExpectWholeTextShown(bar, 1);
    pFrame->DestroyWindow();
    PumpPending();
}
} // namespace
