#include "classlib/Menu.h"
#include "classlib/ThreadState.h"
#include "classlib/Wnd.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
class COwnerDrawnMenu : public CMenu
{
public:
    void MeasureItem(LPMEASUREITEMSTRUCT pMeasure) override
    {
        m_measured.push_back(pMeasure->itemID);
        pMeasure->itemWidth = 40;
        pMeasure->itemHeight = 12;
    }
    void DrawItem(LPDRAWITEMSTRUCT pDraw) override { m_drawn.push_back(pDraw->itemID); }
    std::vector<UINT> m_measured;
    std::vector<UINT> m_drawn;
};

TEST(MenuObjects, OwnerDestroysTheMenuAndWrappersNever)
{
    HMENU hMenu = NULL;
    {
        CMenu menu;
        ASSERT_TRUE(menu.CreatePopupMenu());
        hMenu = menu.m_hMenu;
        CMenu sub;
        ASSERT_TRUE(sub.CreatePopupMenu());
        ASSERT_TRUE(menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(sub.Detach()), L"sub"));
        EXPECT_EQ(CMenu::FromHandlePermanent(hMenu), &menu);
        CMenu* pSub = menu.GetSubMenu(0);
        ASSERT_NE(pSub, nullptr);
        EXPECT_EQ(CMenu::FromHandlePermanent(pSub->m_hMenu), nullptr);
        EXPECT_FALSE(pSub->DestroyMenu());
        EXPECT_TRUE(::IsMenu(::GetSubMenu(hMenu, 0)));
        DeleteTemporaryObjects();
        EXPECT_TRUE(::IsMenu(hMenu));
    }
    EXPECT_FALSE(::IsMenu(hMenu));
    EXPECT_EQ(CMenu::FromHandlePermanent(hMenu), nullptr);
}

class OwnerDrawTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_wnd.CreateEx(0, nullptr, L"menus", WS_OVERLAPPEDWINDOW, 0, 0, 200, 150, NULL, NULL));
        ASSERT_TRUE(m_bar.CreateMenu());
        ASSERT_TRUE(m_popup.CreatePopupMenu());
        m_popup.AppendMenu(MF_OWNERDRAW, 2001);
        m_bar.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(m_popup.m_hMenu), L"&Menu");
        ASSERT_TRUE(m_wnd.SetMenu(&m_bar));
        ASSERT_TRUE(m_tracked.CreatePopupMenu());
        m_tracked.AppendMenu(MF_OWNERDRAW, 3001);
    }
    void TearDown() override
    {
        m_wnd.SetMenu(nullptr);
        // The bar owns the popup once it holds it.
        m_popup.Detach();
        m_wnd.DestroyWindow();
    }
    LRESULT Measure(UINT nID)
    {
        MEASUREITEMSTRUCT stMeasure = {};
        stMeasure.CtlType = ODT_MENU;
        stMeasure.itemID = nID;
        return m_wnd.SendMessage(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&stMeasure));
    }

    CWnd m_wnd;
    CMenu m_bar;
    COwnerDrawnMenu m_popup;
    COwnerDrawnMenu m_tracked;
};

TEST_F(OwnerDrawTest, MeasureFindsTheItemInTheWindowsMenu)
{
    EXPECT_EQ(Measure(2001), TRUE);
    EXPECT_EQ(m_popup.m_measured, std::vector<UINT>{2001});
    EXPECT_EQ(Measure(3001), FALSE) << "not in the window's menu while nothing is tracked";
}

TEST_F(OwnerDrawTest, DrawGoesToTheMenuObjectOfTheItem)
{
    DRAWITEMSTRUCT stDraw = {};
    stDraw.CtlType = ODT_MENU;
    stDraw.itemID = 2001;
    stDraw.hwndItem = reinterpret_cast<HWND>(m_popup.m_hMenu);
    EXPECT_EQ(m_wnd.SendMessage(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&stDraw)), TRUE);
    EXPECT_EQ(m_popup.m_drawn, std::vector<UINT>{2001});
}

// While the popup is open the tracking pair names it; the timer that ends
// the menu looks at the pair from inside the menu's loop.
HMENU g_hSeenTracking = NULL;
HWND g_hSeenWindow = NULL;

void CALLBACK EndTracking(HWND, UINT, UINT_PTR nID, DWORD)
{
    g_hSeenTracking = CMenu::GetTrackingMenu();
    g_hSeenWindow = CMenu::GetTrackingWindow();
    ::KillTimer(NULL, nID);
    ::EndMenu();
}

TEST_F(OwnerDrawTest, TrackedPopupIsRecordedForItsDurationAndMeasuredThroughIt)
{
    m_wnd.ShowWindow(SW_SHOW);
    m_wnd.SetForegroundWindow();
    PumpPending();
    g_hSeenTracking = NULL;
    UINT_PTR nTimer = ::SetTimer(NULL, 0, 300, EndTracking);
    ASSERT_NE(nTimer, 0u);
    m_tracked.TrackPopupMenu(TPM_LEFTALIGN, 20, 20, &m_wnd);
    EXPECT_EQ(g_hSeenTracking, m_tracked.m_hMenu);
    EXPECT_EQ(g_hSeenWindow, m_wnd.m_hWnd);
    EXPECT_EQ(m_tracked.m_measured, std::vector<UINT>{3001});
    EXPECT_EQ(CMenu::GetTrackingMenu(), HMENU(NULL));
}
} // namespace
