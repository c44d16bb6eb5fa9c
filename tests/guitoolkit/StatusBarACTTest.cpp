#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/StatusBarACT.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

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

TEST_F(StatusBarACTTest, AutoSizedPaneIsAsWideAsItsText)
{
    m_bar.SetPaneFlags(1, SBACT_AUTOSIZE | SBACT_CLICKABLE);
    m_bar.SetPaneText(1, L"A rather longer pane text\nwith a tip");
    CClientDC dc(&m_bar);
    HFONT hFont = m_bar.GetFont();
    dc.SelectObject(hFont != NULL ? static_cast<HGDIOBJ>(hFont) : ::GetStockObject(ANSI_VAR_FONT));
    CRect rcText;
    dc.DrawText(L"A rather longer pane text", -1, rcText, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    UINT nID = 0, nStyle = 0;
    int cxWidth = 0;
    m_bar.GetPaneInfo(1, nID, nStyle, cxWidth);
    EXPECT_EQ(cxWidth, rcText.Width());
    EXPECT_EQ(nID, 7002u);
    EXPECT_EQ(m_bar.Tip(1), L"with a tip");
}
} // namespace
