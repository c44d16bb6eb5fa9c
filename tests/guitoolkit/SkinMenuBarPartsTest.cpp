#include "guitoolkit/MenuBarKeyboard.h"
#include "guitoolkit/MenuBarUIState.h"
#include "guitoolkit/SkinBarItem.h"
#include "guitoolkit/SkinMenuBarLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
TEST(SkinBarItemTest, ItemsTurnTheirHorizontalPlaceForAVerticalBar)
{
    CSkinMenuBarItem menuItem(NULL, 0);
    menuItem.m_rcItem = {40, 0, 90, 19};
    const RECT rcTurned = menuItem.GetItemRect(TRUE);
    EXPECT_EQ(rcTurned.left, 0);
    EXPECT_EQ(rcTurned.top, 40);
    EXPECT_EQ(rcTurned.right, 19);
    EXPECT_EQ(rcTurned.bottom, 90);
    EXPECT_TRUE(menuItem.HitTest(POINT{5, 60}, TRUE));
    EXPECT_FALSE(menuItem.HitTest(POINT{60, 5}, TRUE));

    // An icon keeps its size; only its corner moves.
    CSkinIconBarItem iconItem(ICONITEM_CLOSE, SC_CLOSE);
    iconItem.m_rcItem = {100, 20, 118, 38};
    const RECT rcIcon = iconItem.GetItemRect(TRUE);
    EXPECT_EQ(rcIcon.left, 20);
    EXPECT_EQ(rcIcon.top, 100);
    EXPECT_EQ(rcIcon.right - rcIcon.left, 18);
    EXPECT_EQ(rcIcon.bottom - rcIcon.top, 18);
}

TEST(SkinBarItemTest, IconItemsAreSizedByTheirBitmapAndPassedOverByTheKeyboard)
{
    HBITMAP hBitmap = ::CreateBitmap(24, 12, 1, 32, nullptr);
    ASSERT_NE(hBitmap, HBITMAP(NULL));
    CSkinIconBarItem bitmapItem(reinterpret_cast<UINT_PTR>(hBitmap), 77);
    EXPECT_EQ(bitmapItem.GetSize().cx, 28);
    EXPECT_EQ(bitmapItem.GetSize().cy, 16);
    CSkinIconBarItem childIcon(ICONITEM_CHILDICON, 0xFFFFFFFF);
    EXPECT_EQ(childIcon.GetSize().cx, ::GetSystemMetrics(SM_CXMENUSIZE));
    ::DeleteObject(hBitmap);

    // A maximized child's icon stands first, its id -1 is no system command:
    // only its bit keeps the keyboard off it.
    const stBarNavItem items[] = {{childIcon.GetCommandId(), childIcon.m_nState},
                                  {0xFFFFFFFF, 0},
                                  {0xFFFFFFFF, 0},
                                  {SC_MINIMIZE, MBS_NOKEYBOARD}};
    EXPECT_EQ(NextItem(items, 4, 2, true), 1);
    EXPECT_EQ(NextItem(items, 4, 1, false), 2);
}

struct stUIStateCase
{
    int nOldMode;
    int nNewMode;
    int nVersionClass;
    DWORD dwStateBefore;
    // The state the frame has after a change; -1: the change does nothing.
    DWORD dwStateAfter;
    std::vector<WPARAM> changes;
    bool bInvalidated;
};

class CFakeUIWindow : public CUIStateWindow
{
public:
    explicit CFakeUIWindow(DWORD dwState, DWORD dwAfterChange) : m_dwState(dwState), m_dwAfterChange(dwAfterChange) {}
    DWORD QueryUIState() const override { return m_dwState; }
    void ChangeUIState(WPARAM wParam) override
    {
        m_changes.push_back(wParam);
        if (m_dwAfterChange != static_cast<DWORD>(-1))
            m_dwState = m_dwAfterChange;
    }
    void InvalidateBar() override { m_bInvalidated = true; }

    DWORD m_dwState;
    DWORD m_dwAfterChange;
    std::vector<WPARAM> m_changes;
    bool m_bInvalidated = false;
};

constexpr DWORD Hidden = UISF_HIDEFOCUS | UISF_HIDEACCEL;
const WPARAM Initialize = MAKEWPARAM(UIS_INITIALIZE, Hidden);
const WPARAM HideBoth = MAKEWPARAM(UIS_SET, Hidden);

TEST(MenuBarUIStateTest, EnteringAndLeavingMenuModeShowsAndHidesTheCues)
{
    const stUIStateCase cases[] = {
        // Entering: the frame decides; the bar repaints only when the state moved.
        {MENUBAR_MODE_NONE, MENUBAR_MODE_HOT, 7, Hidden, 0, {Initialize}, true},
        {MENUBAR_MODE_NONE, MENUBAR_MODE_TRACKING, 6, 0, static_cast<DWORD>(-1), {Initialize}, false},
        // Leaving: both cues hidden again unless they are.
        {MENUBAR_MODE_HOT, MENUBAR_MODE_NONE, 7, UISF_HIDEFOCUS, Hidden, {HideBoth}, true},
        {MENUBAR_MODE_TRACKING, MENUBAR_MODE_NONE, 7, Hidden, Hidden, {}, false},
        // Between the two menu modes, and on systems without a UI state, nothing.
        {MENUBAR_MODE_HOT, MENUBAR_MODE_TRACKING, 7, 0, Hidden, {}, false},
        {MENUBAR_MODE_NONE, MENUBAR_MODE_HOT, 5, Hidden, 0, {}, false},
        {MENUBAR_MODE_HOT, MENUBAR_MODE_NONE, 2, 0, Hidden, {}, false},
    };
    for (const stUIStateCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nOldMode << " -> " << c.nNewMode << " class " << c.nVersionClass);
        CFakeUIWindow window(c.dwStateBefore, c.dwStateAfter);
        ApplyMenuModeUIState(c.nOldMode, c.nNewMode, c.nVersionClass, window);
        EXPECT_EQ(window.m_changes, c.changes);
        EXPECT_EQ(window.m_bInvalidated, c.bInvalidated);
    }
}

TEST(MenuBarUIStateTest, UnderlinesHideOnlyWithCuesOffAndTheFrameHidingThem)
{
    EXPECT_TRUE(MenuBarHidesAccelerators(7, FALSE, UISF_HIDEACCEL));
    EXPECT_FALSE(MenuBarHidesAccelerators(7, TRUE, UISF_HIDEACCEL));
    EXPECT_FALSE(MenuBarHidesAccelerators(7, FALSE, UISF_HIDEFOCUS));
    EXPECT_FALSE(MenuBarHidesAccelerators(5, FALSE, UISF_HIDEACCEL));
}
} // namespace
