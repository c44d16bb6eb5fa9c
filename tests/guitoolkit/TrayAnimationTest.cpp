#include "classlib/Wnd.h"
#include "guitoolkit/TrayAnimation.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace
{
// The colour of the screen at a point, as anyone looking at it sees it.
COLORREF ScreenPixel(int x, int y)
{
    HDC hScreen = ::GetDC(NULL);
    COLORREF cr = ::GetPixel(hScreen, x, y);
    ::ReleaseDC(NULL, hScreen);
    return cr;
}

TEST(TrayAnimation, HidingToTheTrayTakesTheFrameOffTheScreenAndBringingItBackShowsIt)
{
    CWnd frame;
    const wchar_t* pszClass = CWnd::RegisterDefaultClass(0, NULL, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1));
    // The screen is shared with the other test programs of a run, whose frames open near its
    // top left: this one keeps to the bottom right, above every window that is not topmost.
    ASSERT_TRUE(frame.CreateEx(WS_EX_TOPMOST, pszClass, L"To the tray", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 700, 540,
                               300, 200, NULL, NULL));
    frame.UpdateWindow();
    POINT ptMiddle = {150, 100};
    frame.ClientToScreen(&ptMiddle);
    const COLORREF crFrame = ::GetSysColor(COLOR_HIGHLIGHT);
    ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(ptMiddle.x, ptMiddle.y) == crFrame; }));

    AnimateToTray(frame.m_hWnd, FALSE);
    EXPECT_FALSE(frame.IsWindowVisible());
    EXPECT_NE(::GetWindow(frame.m_hWnd, GW_OWNER), HWND(NULL)) << "owned by the hidden window";
    EXPECT_EQ(::GetAncestor(frame.m_hWnd, GA_PARENT), ::GetDesktopWindow()) << "a top-level window still";
    EXPECT_EQ(frame.GetStyle() & WS_CHILD, 0u);
    EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(ptMiddle.x, ptMiddle.y) != crFrame; }))
        << "the frame's pixels are gone from the screen";

    AnimateFromTray(frame.m_hWnd, FALSE);
    EXPECT_TRUE(frame.IsWindowVisible());
    EXPECT_EQ(::GetWindow(frame.m_hWnd, GW_OWNER), HWND(NULL));
    EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(ptMiddle.x, ptMiddle.y) == crFrame; }));
    frame.DestroyWindow();
}

struct stTrayRectCase
{
    const char* pszWhat;
    stTrayGeometry stGeometry;
    RECT rcExpected;
};

TEST(TrayAnimation, TrayRectangleFromWhatTheScreenTells)
{
    const RECT rcWork = {0, 0, 1024, 740};
    const RECT rcNone = {};
    const stTrayRectCase cases[] = {
        {"taskbar alone", {true, {0, 738, 1024, 768}, false, rcNone, false, rcNone, true, ABE_BOTTOM, rcNone, rcWork},
         {0, 738, 1024, 768}},
        {"notification area without a clock",
         {true, {0, 738, 1024, 768}, true, {800, 740, 1000, 768}, false, rcNone, false, 0, rcNone, rcWork},
         {800, 740, 1000, 768}},
        {"horizontal taskbar: the clock is cut off at the right",
         {true, {0, 738, 1024, 768}, true, {800, 740, 1000, 768}, true, {940, 742, 1000, 766}, false, 0, rcNone,
          rcWork},
         {800, 740, 940, 768}},
        {"vertical taskbar: the area starts below the clock",
         {true, {0, 0, 60, 768}, true, {0, 500, 60, 768}, true, {0, 500, 60, 530}, false, 0, rcNone, rcWork},
         {0, 530, 60, 768}},
        {"bottom application bar", {false, rcNone, false, rcNone, false, rcNone, true, ABE_BOTTOM, {0, 767, 1024, 768}, rcWork},
         {924, 767, 1008, 768}},
        {"left application bar", {false, rcNone, false, rcNone, false, rcNone, true, ABE_LEFT, {0, 0, 60, 768}, rcWork},
         {0, 668, 60, 752}},
        {"nothing but the work area", {false, rcNone, false, rcNone, false, rcNone, false, 0, rcNone, rcWork},
         {874, 710, 1024, 740}},
    };
    for (const auto& stCase : cases)
    {
        RECT rc = {};
        ComputeTrayRect(stCase.stGeometry, &rc);
        EXPECT_TRUE(::EqualRect(&rc, &stCase.rcExpected) != FALSE)
            << stCase.pszWhat << ": " << rc.left << "," << rc.top << "-" << rc.right << "," << rc.bottom;
    }
}

TEST(TrayAnimation, TheHiddenEmptyTaskbarOfThisShellGivesWayToTheApplicationBar)
{
    APPBARDATA stBar = {};
    stBar.cbSize = sizeof(stBar);
    if (!::SHAppBarMessage(ABM_GETTASKBARPOS, &stBar) || ::IsWindowVisible(::FindWindowW(L"Shell_TrayWnd", nullptr)))
        GTEST_SKIP() << "a shell with a real taskbar";
    RECT rcExpected = {};
    stTrayGeometry stBarOnly = {};
    stBarOnly.bAppBar = true;
    stBarOnly.uAppBarEdge = stBar.uEdge;
    stBarOnly.rcAppBar = stBar.rc;
    ComputeTrayRect(stBarOnly, &rcExpected);
    RECT rc = {};
    GetTrayRect(&rc);
    EXPECT_TRUE(::EqualRect(&rc, &rcExpected) != FALSE);
    EXPECT_FALSE(::IsRectEmpty(&rc));
}
} // namespace
