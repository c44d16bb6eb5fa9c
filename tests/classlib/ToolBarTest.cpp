#include "classlib/BarCmdUI.h"
#include "classlib/FrameWnd.h"
#include "classlib/ToolBar.h"
#include "classlib/WinApp.h"
#include "classlib/WinThread.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// Sees the bitmaps that arrive through its window, and shows the layout one
// button as hidden while it is asked to, as a bar that hosts controls does.
class CWatchedToolBar : public CToolBar
{
public:
    LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (nMsg == TB_ADDBITMAP)
            m_bitmapCounts.push_back(static_cast<int>(wParam));
        LRESULT lResult = CToolBar::DefWindowProc(nMsg, wParam, lParam);
        if (nMsg == TB_GETBUTTON && lResult && static_cast<int>(wParam) == m_nFakeHidden)
            reinterpret_cast<TBBUTTON*>(lParam)->fsState |= TBSTATE_HIDDEN;
        return lResult;
    }
    std::vector<int> m_bitmapCounts;
    int m_nFakeHidden = -1;
};

// Disables one button and checks another; the third has no handler.
class CButtonStateFrame : public CFrameWnd
{
protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode != CN_UPDATE_COMMAND_UI)
            return CFrameWnd::HandleCommand(nID, nCode, pExtra);
        auto* pState = static_cast<CCmdUI*>(pExtra);
        if (nID == 1101)
            pState->Enable(FALSE);
        else if (nID == 1102)
            pState->SetCheck(1);
        else
            return FALSE;
        return TRUE;
    }
};

class ToolBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CButtonStateFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Tools", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 520, 320)));
        ASSERT_TRUE(m_bar.Create(m_pFrame, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_TOOLTIPS));
        ASSERT_TRUE(m_bar.LoadToolBar(60));
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        PumpPending();
    }
    CRect ItemRect(int nIndex) const
    {
        CRect rc;
        m_bar.GetItemRect(nIndex, rc);
        return rc;
    }

    CFrameWnd* m_pFrame = nullptr;
    CWatchedToolBar m_bar;
};

TEST_F(ToolBarTest, LoadsButtonsAndSendsItsBitmapThroughTheWindow)
{
    ASSERT_EQ(m_bar.GetCount(), 4);
    EXPECT_EQ(m_bar.m_bitmapCounts, std::vector<int>{3});
    EXPECT_EQ(m_bar.GetImageSize(), CSize(16, 15));
    EXPECT_EQ(m_bar.CommandToIndex(1102), 2);
    EXPECT_EQ(m_bar.CommandToIndex(1109), -1);

    struct stExpected
    {
        UINT nID;
        UINT nStyle;
        int iImage;
    };
    const stExpected expected[] = {{1101, TBBS_BUTTON, 0}, {0, TBBS_SEPARATOR, 8}, {1102, TBBS_BUTTON, 1},
                                   {1103, TBBS_BUTTON, 2}};
    for (int i = 0; i < 4; ++i)
    {
        UINT nID = 0, nStyle = 0;
        int iImage = 0;
        m_bar.GetButtonInfo(i, nID, nStyle, iImage);
        EXPECT_EQ(nID, expected[i].nID) << i;
        EXPECT_EQ(nStyle, expected[i].nStyle) << i;
        EXPECT_EQ(iImage, expected[i].iImage) << i;
    }
}

TEST(ToolBar, RefusesResourcesItCannotRead)
{
    auto* pFrame = new CFrameWnd;
    ASSERT_TRUE(pFrame->Create(nullptr, L"Tools", WS_OVERLAPPEDWINDOW, CRect(20, 20, 520, 320)));
    CToolBar bar;
    ASSERT_TRUE(bar.Create(pFrame));
    // More ids named than held, no bitmap, no resource at all.
    for (UINT nID : {61u, 62u, 63u})
        EXPECT_FALSE(bar.LoadToolBar(nID)) << nID;
    pFrame->DestroyWindow();
    PumpPending();
}

TEST_F(ToolBarTest, DockedAcrossInOneRowAndDownInOneColumn)
{
    const CSize sizeButton = m_bar.GetButtonSize();
    CSize sizeHorz = m_bar.CalcFixedLayout(FALSE, TRUE);
    CSize sizeVert = m_bar.CalcFixedLayout(FALSE, FALSE);
    CRect rcInside;
    m_bar.CalcInsideRect(rcInside, TRUE);
    // A bar at the top has an edge along its bottom, outside its client area.
    EXPECT_EQ(sizeHorz.cx + rcInside.Width(), 3 * sizeButton.cx + 8);
    EXPECT_EQ(sizeHorz.cy + rcInside.Height(), sizeButton.cy + 1);
    m_pFrame->RecalcLayout();
    CRect rcClient;
    m_bar.GetClientRect(rcClient);
    EXPECT_EQ(rcClient.Height(), sizeButton.cy);
    EXPECT_LT(sizeVert.cx, 2 * sizeButton.cx);
    EXPECT_GT(sizeVert.cy, 3 * sizeButton.cy);
    EXPECT_EQ(m_bar.CalcFixedLayout(TRUE, TRUE).cx, 32767);

    // Committed down the side, the control stacks its buttons.
    m_bar.CalcDynamicLayout(-1, LM_VERTDOCK | LM_COMMIT);
    EXPECT_TRUE(m_bar.GetButtonStyle(1) & TBBS_WRAPPED);
    EXPECT_FALSE(m_bar.GetButtonStyle(0) & TBBS_WRAPPED);
    EXPECT_GT(ItemRect(2).top, ItemRect(0).top);
    EXPECT_GT(ItemRect(3).top, ItemRect(2).top);
    EXPECT_EQ(ItemRect(3).left, ItemRect(0).left);

    // Back across: one row again.
    m_bar.CalcDynamicLayout(-1, LM_HORZ | LM_HORZDOCK | LM_COMMIT);
    EXPECT_FALSE(m_bar.GetButtonStyle(1) & TBBS_WRAPPED);
    EXPECT_EQ(ItemRect(3).top, ItemRect(0).top);
    EXPECT_GT(ItemRect(3).left, ItemRect(2).left);
}

TEST_F(ToolBarTest, FloatingRowsBreakAtTheLength)
{
    const CSize sizeButton = m_bar.GetButtonSize();
    CSize size = m_bar.CalcDynamicLayout(2 * sizeButton.cx + 8, LM_HORZ | LM_COMMIT);
    CRect rcInside;
    m_bar.CalcInsideRect(rcInside, TRUE);
    EXPECT_EQ(size.cy + rcInside.Height(), 2 * sizeButton.cy + 1);
    EXPECT_TRUE(m_bar.GetButtonStyle(2) & TBBS_WRAPPED);
    EXPECT_GT(ItemRect(3).top, ItemRect(2).top);
}

TEST_F(ToolBarTest, LayoutAsksEveryButtonThroughTheWindow)
{
    const CSize sizeButton = m_bar.GetButtonSize();
    CSize sizeAll = m_bar.CalcFixedLayout(FALSE, TRUE);
    m_bar.m_nFakeHidden = 2;
    EXPECT_EQ(m_bar.CalcFixedLayout(FALSE, TRUE).cx, sizeAll.cx - sizeButton.cx);
    // What the layout was shown is not written back to the control.
    m_bar.CalcDynamicLayout(-1, LM_VERTDOCK | LM_COMMIT);
    m_bar.m_nFakeHidden = -1;
    EXPECT_FALSE(m_bar.GetButtonStyle(2) & TBBS_HIDDEN);
}

TEST_F(ToolBarTest, IdleUpdateSetsButtonsWithHandlersOnly)
{
    m_bar.SetButtonStyle(3, m_bar.GetButtonStyle(3) | TBBS_DISABLED);
    m_pFrame->SendMessageToDescendants(WM_IDLEUPDATECMDUI, TRUE);
    EXPECT_TRUE(m_bar.GetButtonStyle(0) & TBBS_DISABLED);
    EXPECT_TRUE(m_bar.GetButtonStyle(2) & TBBS_CHECKED);
    EXPECT_FALSE(m_bar.GetButtonStyle(2) & TBBS_DISABLED);
    EXPECT_TRUE(m_bar.GetButtonStyle(3) & TBBS_DISABLED);
    EXPECT_TRUE(m_bar.SendMessage(TB_ISBUTTONCHECKED, 1102));
    EXPECT_FALSE(m_bar.SendMessage(TB_ISBUTTONENABLED, 1101));
}

TEST_F(ToolBarTest, TipIsTheStringAfterItsLineBreak)
{
    struct stCase
    {
        UINT nID;
        const wchar_t* pszTip;
    };
    for (const stCase& stTest : {stCase{1101, L"Open"}, stCase{1102, L"Save"}})
    {
        NMTTDISPINFOW stInfo = {};
        stInfo.hdr = {m_bar.m_hWnd, stTest.nID, static_cast<UINT>(TTN_GETDISPINFOW)};
        m_bar.SendMessage(WM_NOTIFY, stTest.nID, reinterpret_cast<LPARAM>(&stInfo));
        EXPECT_STREQ(stInfo.lpszText, stTest.pszTip) << stTest.nID;
    }
}
} // namespace
