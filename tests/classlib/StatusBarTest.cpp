#include "classlib/BarCmdUI.h"
#include "classlib/FrameWnd.h"
#include "classlib/StatusBar.h"
#include "classlib/WinApp.h"
#include "classlib/WinThread.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Notes every text that passes through the bar's own window procedure.
class CWatchedStatusBar : public CStatusBar
{
public:
    LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (nMsg == SB_SETTEXTW)
            m_texts.emplace_back(reinterpret_cast<const wchar_t*>(lParam));
        return CStatusBar::DefWindowProc(nMsg, wParam, lParam);
    }
    std::vector<std::wstring> m_texts;
};

// Update handlers for two panes; the third pane has none.
class CPaneStateFrame : public CFrameWnd
{
protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode != CN_UPDATE_COMMAND_UI)
            return CFrameWnd::HandleCommand(nID, nCode, pExtra);
        auto* pState = static_cast<CCmdUI*>(pExtra);
        switch (nID)
        {
        case 2001:
            pState->Enable(FALSE);
            return TRUE;
        case 2002:
            pState->SetText(L"Computer: SERVER");
            pState->SetCheck(1);
            return TRUE;
        default:
            return FALSE;
        }
    }
};

class StatusBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CPaneStateFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Status", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 520, 320)));
        ASSERT_TRUE(m_bar.Create(m_pFrame));
        const UINT ids[] = {ID_SEPARATOR, 2001, 2002, 2003};
        ASSERT_TRUE(m_bar.SetIndicators(ids, 4));
        m_pFrame->RecalcLayout();
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        PumpPending();
    }
    CRect PaneRect(int nIndex) const
    {
        CRect rc;
        m_bar.GetItemRect(nIndex, rc);
        return rc;
    }

    CFrameWnd* m_pFrame = nullptr;
    CWatchedStatusBar m_bar;
};

TEST_F(StatusBarTest, IndicatorsTakeTheirTextsAndTheFirstSeparatorStretches)
{
    ASSERT_EQ(m_bar.GetCount(), 4);
    EXPECT_EQ(m_bar.CommandToIndex(2002), 2);
    EXPECT_EQ(m_bar.CommandToIndex(2009), -1);
    EXPECT_EQ(m_bar.GetPaneText(1), L"CAPS");
    EXPECT_EQ(m_bar.GetPaneText(2), L"Computer: WORKSTATION");
    // No string: an empty pane.
    EXPECT_EQ(m_bar.GetPaneText(3), L"");
    EXPECT_EQ(m_bar.GetPaneStyle(0), SBPS_NOBORDERS | SBPS_STRETCH);

    UINT nID = 0, nStyle = 0;
    int cxCaps = 0, cxComputer = 0;
    m_bar.GetPaneInfo(1, nID, nStyle, cxCaps);
    m_bar.GetPaneInfo(2, nID, nStyle, cxComputer);
    EXPECT_EQ(nID, 2002u);
    EXPECT_GT(cxCaps, 0);
    EXPECT_GT(cxComputer, cxCaps);

    // The fixed panes keep their widths; the stretching one takes the rest.
    CRect rcBar;
    m_bar.GetClientRect(rcBar);
    EXPECT_EQ(PaneRect(2).Width() - PaneRect(1).Width(), cxComputer - cxCaps);
    EXPECT_EQ(PaneRect(0).left, 0);
    EXPECT_GE(PaneRect(3).right, rcBar.right - 1);
    EXPECT_GT(PaneRect(0).Width(), rcBar.Width() / 2);
    // The panes were set while the bar had no size yet: they follow it.
    EXPECT_GT(PaneRect(1).Height(), rcBar.Height() / 2);
}

TEST_F(StatusBarTest, SitsAtTheFrameBottomAcrossItsWidth)
{
    EXPECT_FALSE(m_bar.GetStyle() & SBARS_SIZEGRIP);
    CStatusBar gripBar;
    ASSERT_TRUE(gripBar.Create(m_pFrame, WS_CHILD | CBRS_BOTTOM, AFX_IDW_STATUS_BAR + 1, SBARS_SIZEGRIP));
    EXPECT_TRUE(gripBar.GetStyle() & SBARS_SIZEGRIP);
    gripBar.DestroyWindow();

    CRect rcClient, rcBar;
    m_pFrame->GetClientRect(rcClient);
    m_bar.GetWindowRect(rcBar);
    ::MapWindowPoints(NULL, m_pFrame->m_hWnd, reinterpret_cast<POINT*>(&rcBar), 2);
    EXPECT_EQ(rcBar.bottom, rcClient.bottom);
    EXPECT_EQ(rcBar.Width(), rcClient.Width());
    EXPECT_EQ(rcBar.Height(), m_bar.CalcFixedLayout(TRUE, TRUE).cy);
    EXPECT_GT(rcBar.Height(), 10);
}

TEST_F(StatusBarTest, TextsPassThroughTheBarsOwnWindow)
{
    m_bar.m_texts.clear();
    EXPECT_TRUE(m_bar.SetPaneText(2, L"line\ntip"));
    EXPECT_EQ(m_bar.m_texts, std::vector<std::wstring>{L"line\ntip"});
    EXPECT_FALSE(m_bar.SetPaneText(4, L"no such pane"));
    EXPECT_FALSE(m_bar.SetPaneText(-1, L"no such pane"));
}

TEST_F(StatusBarTest, IdleUpdateSetsPanesWithHandlersOnly)
{
    m_bar.SetPaneText(3, L"kept");
    m_bar.SetPaneStyle(3, SBPS_POPOUT);
    m_pFrame->SendMessageToDescendants(WM_IDLEUPDATECMDUI, TRUE);

    EXPECT_TRUE(m_bar.GetPaneStyle(1) & SBPS_DISABLED);
    EXPECT_EQ(m_bar.GetPaneText(1), L"");
    EXPECT_EQ(m_bar.GetPaneText(2), L"Computer: SERVER");
    EXPECT_TRUE(m_bar.GetPaneStyle(2) & SBPS_POPOUT);
    EXPECT_EQ(m_bar.GetPaneText(3), L"kept");
    EXPECT_EQ(m_bar.GetPaneStyle(3), SBPS_POPOUT);

    // Enabled again, the pane shows the text it kept.
    CStatusCmdUI state;
    state.m_pOther = &m_bar;
    state.m_nIndex = 1;
    state.Enable(TRUE);
    EXPECT_EQ(m_bar.GetPaneText(1), L"CAPS");
}

TEST(StatusBar, RefusesIndicatorsItCannotHold)
{
    CStatusBar bar;
    std::vector<UINT> ids(300, ID_SEPARATOR);
    EXPECT_FALSE(bar.SetIndicators(ids.data(), 300));
    EXPECT_FALSE(bar.SetIndicators(nullptr, 2));
    EXPECT_FALSE(bar.SetIndicators(ids.data(), -1));
    EXPECT_TRUE(bar.SetIndicators(ids.data(), 2));
    EXPECT_EQ(bar.GetCount(), 2);
}
} // namespace
