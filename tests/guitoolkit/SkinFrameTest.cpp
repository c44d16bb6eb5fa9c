#include "classlib/CmdUI.h"
#include "classlib/DockBar.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenuBar.h"
#include "guitoolkit/SkinMiniDockFrameWnd.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"
#include "PaintedBar.h"
#include "SkinMenuTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
constexpr UINT OpenID = 1201;

// What a frame held when its window had gone, just before the object went.
struct stFrameEnd
{
    bool bEnded = false;
    HMENU hSystemMenuHeld = NULL;
    HMENU hMenuHeld = NULL;
};

class CTestSkinFrame : public CSkinFrameWnd
{
public:
    explicit CTestSkinFrame(stFrameEnd* pEnd = nullptr) : m_pEnd(pEnd) {}
    void PostNcDestroy() override
    {
        if (m_pEnd != nullptr)
        {
            m_pEnd->bEnded = true;
            m_pEnd->hSystemMenuHeld = m_skinSystemMenu.m_hMenu;
            m_pEnd->hMenuHeld = m_skinMenu.m_hMenu;
        }
        CSkinFrameWnd::PostNcDestroy();
    }
    // Greys Open, and notes what the skin menu's record of it said at that time.
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nID == OpenID && nCode == CN_UPDATE_COMMAND_UI)
        {
            static_cast<CCmdUI*>(pExtra)->Enable(FALSE);
            ++m_nOpenUpdates;
            return TRUE;
        }
        return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
    }
    stFrameEnd* m_pEnd;
    int m_nOpenUpdates = 0;
};

using CTestBar = CPaintedBar<CControlBar>;
using CTestMenuBar = CPaintedBar<CSkinMenuBar>;

int g_nTimersStarted = 0;
UINT_PTR WINAPI CountingSetTimer(HWND hWnd, UINT_PTR nID, UINT nElapse, TIMERPROC pfn)
{
    ++g_nTimersStarted;
    return ::SetTimer(hWnd, nID, nElapse, pfn);
}

CRect RectIn(HWND hWnd, HWND hReference)
{
    CRect rc;
    ::GetWindowRect(hWnd, &rc);
    ::MapWindowPoints(NULL, hReference, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

class SkinFrameTest : public SkinMenuTest
{
protected:
    void SetUp() override
    {
        SkinMenuTest::SetUp();
        g_nTimersStarted = 0;
        ToolkitEnvironment().pfnSetTimer = CountingSetTimer;
        m_pFrame = new CTestSkinFrame(&m_end);
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Skin frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                     CRect(30, 30, 530, 380), nullptr, L"FRAMEMENU"));
        m_hWnd = m_pFrame->m_hWnd;
        PumpPending();
    }
    void TearDown() override
    {
        if (!m_end.bEnded)
            ::DestroyWindow(m_hWnd);
        PumpPending();
        SkinMenuTest::TearDown();
    }
    CSkinDockBar* DockBar(UINT nID) const { return dynamic_cast<CSkinDockBar*>(m_pFrame->GetControlBar(nID)); }
    LRESULT HitTestAt(POINT pt) { return m_pFrame->SendMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)); }
    POINT MenuItemCentre(int nPos)
    {
        CRect rc;
        ::GetMenuItemRect(m_hWnd, m_pFrame->m_skinMenu.m_hMenu, nPos, &rc);
        return rc.CenterPoint();
    }

    stFrameEnd m_end;
    CTestSkinFrame* m_pFrame = nullptr;
    HWND m_hWnd = NULL;
};

TEST_F(SkinFrameTest, CreateLoadsTheMenuAsASkinMenuAndAMissingOneFailsTheFrame)
{
    EXPECT_EQ(::GetMenu(m_hWnd), m_pFrame->m_skinMenu.m_hMenu);
    EXPECT_STREQ(m_pFrame->GetTitle(), L"Skin frame");
    MENUITEMINFOW stItem = {};
    stItem.cbSize = sizeof(stItem);
    stItem.fMask = MIIM_FTYPE;
    ASSERT_TRUE(::GetMenuItemInfoW(m_pFrame->m_skinMenu.m_hMenu, 0, TRUE, &stItem));
    EXPECT_NE(stItem.fType & MFT_OWNERDRAW, 0u);
    EXPECT_EQ(m_pFrame->m_skinSystemMenu.m_hMenu, ::GetSystemMenu(m_hWnd, FALSE));

    stFrameEnd stFailed;
    auto* pFailing = new CTestSkinFrame(&stFailed);
    EXPECT_FALSE(pFailing->Create(nullptr, L"No menu", WS_OVERLAPPEDWINDOW, CFrameWnd::rectDefault, nullptr,
                                  L"NOSUCHMENU"));
    EXPECT_TRUE(stFailed.bEnded);
}

TEST_F(SkinFrameTest, WindowMenusAreLetGoAtTheEndAndOnlyTheFramesOwnMenuIsDestroyed)
{
    HMENU hSystem = m_pFrame->m_skinSystemMenu.m_hMenu;
    ASSERT_NE(hSystem, HMENU(NULL));
    ::DestroyWindow(m_hWnd);
    ASSERT_TRUE(m_end.bEnded);
    // Both menus went with the window; holding them would destroy stale handles later.
    EXPECT_EQ(m_end.hSystemMenuHeld, HMENU(NULL));
    EXPECT_EQ(m_end.hMenuHeld, HMENU(NULL));
    EXPECT_EQ(CMenu::FromHandlePermanent(hSystem), nullptr);

    // A menu the window no longer shows stays the frame's, and goes with the frame.
    stFrameEnd stEnd;
    auto* pFrame = new CTestSkinFrame(&stEnd);
    ASSERT_TRUE(pFrame->Create(nullptr, L"Off", WS_OVERLAPPEDWINDOW, CRect(0, 0, 200, 100), nullptr, L"FRAMEMENU"));
    HMENU hMenu = pFrame->m_skinMenu.m_hMenu;
    ::SetMenu(pFrame->m_hWnd, NULL);
    ::DestroyWindow(pFrame->m_hWnd);
    EXPECT_EQ(stEnd.hMenuHeld, hMenu);
    EXPECT_FALSE(::IsMenu(hMenu));
}

TEST_F(SkinFrameTest, SystemMenuItemIsMeasuredByTheFramesSystemMenuObject)
{
    HMENU hSystem = ::GetSystemMenu(m_hWnd, FALSE);
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_DATA;
    ASSERT_TRUE(::GetMenuItemInfoW(hSystem, SC_CLOSE, FALSE, &stInfo));
    MEASUREITEMSTRUCT stMeasure = {ODT_MENU, 0, SC_CLOSE, 0, 0, stInfo.dwItemData};
    // The menu bar's items were measured when the window was made.
    Theme(0).m_measured.clear();
    EXPECT_EQ(m_pFrame->SendMessage(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&stMeasure)), TRUE);
    ASSERT_EQ(Theme(0).m_measured.size(), 1u);
    EXPECT_EQ(Theme(0).m_measured[0].pMenu, &m_pFrame->m_skinSystemMenu);
    EXPECT_EQ(stMeasure.itemWidth, 60u);
}

TEST_F(SkinFrameTest, PopupStateIsUpdatedBeforeTheSkinMenuRebuildsItsRecords)
{
    HMENU hFile = ::GetSubMenu(m_pFrame->m_skinMenu.m_hMenu, 0);
    auto* pFile = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hFile));
    ASSERT_NE(pFile, nullptr);
    m_pFrame->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hFile), 0);
    EXPECT_EQ(m_pFrame->m_nOpenUpdates, 1);
    CSkinMenuItemData* pOpen = pFile->FindItemData(OpenID);
    ASSERT_NE(pOpen, nullptr);
    EXPECT_NE(pOpen->m_nFlags & MF_GRAYED, 0u) << "the record was built before the update handler ran";
    EXPECT_EQ(pFile->m_hOwnerWnd, m_hWnd);
}

struct stMenuCharCase
{
    wchar_t chKey;
    LRESULT lExpected;
};

TEST_F(SkinFrameTest, MenuCharFindsTheMnemonicInTheSkinMenusTexts)
{
    const stMenuCharCase cases[] = {
        {L'v', MAKELRESULT(1, MNC_EXECUTE)},
        {L'F', MAKELRESULT(0, MNC_EXECUTE)},
        {L'z', MNC_IGNORE},
    };
    for (const stMenuCharCase& stCase : cases)
    {
        LRESULT lResult = m_pFrame->SendMessage(WM_MENUCHAR, MAKEWPARAM(stCase.chKey, 0),
                                                reinterpret_cast<LPARAM>(m_pFrame->m_skinMenu.m_hMenu));
        EXPECT_EQ(lResult, stCase.lExpected) << static_cast<char>(stCase.chKey);
    }
}

TEST_F(SkinFrameTest, OnOldSystemsHoverOverTheNativeMenuBarStartsTheTimerAndAMenuLoopEndsIt)
{
    ToolkitEnvironment().nVersionClass = 5;
    POINT ptFile = MenuItemCentre(0);
    ASSERT_EQ(HitTestAt(ptFile), HTMENU);
    EXPECT_EQ(m_pFrame->m_nHotItem, 0);
    EXPECT_NE(m_pFrame->m_nHoverTimer, 0u);
    EXPECT_EQ(g_nTimersStarted, 1);
    auto drawnBar = [this]() {
        return std::count_if(Theme(0).m_drawn.begin(), Theme(0).m_drawn.end(),
                             [](const stThemeCall& call) { return call.bMenuBar != FALSE; });
    };
    EXPECT_GE(drawnBar(), 1);

    // The next item moves the hot look; the running timer is kept.
    ASSERT_EQ(HitTestAt(MenuItemCentre(1)), HTMENU);
    EXPECT_EQ(m_pFrame->m_nHotItem, 1);
    EXPECT_EQ(g_nTimersStarted, 1);

    m_pFrame->SendMessage(WM_ENTERMENULOOP, FALSE);
    EXPECT_EQ(m_pFrame->m_nHoverTimer, 0u);
    EXPECT_EQ(m_pFrame->m_nHotItem, -1);
    // Inside the loop hovering draws nothing.
    size_t nDrawn = Theme(0).m_drawn.size();
    EXPECT_EQ(HitTestAt(ptFile), HTMENU);
    EXPECT_EQ(Theme(0).m_drawn.size(), nDrawn);
    EXPECT_EQ(m_pFrame->m_nHoverTimer, 0u);
    m_pFrame->SendMessage(WM_EXITMENULOOP, FALSE);

    // Leaving the bar forgets the item and stops the timer.
    ASSERT_EQ(HitTestAt(ptFile), HTMENU);
    ASSERT_NE(m_pFrame->m_nHoverTimer, 0u);
    CRect rcClient;
    m_pFrame->GetClientRect(rcClient);
    POINT ptClient = rcClient.CenterPoint();
    m_pFrame->ClientToScreen(&ptClient);
    EXPECT_EQ(HitTestAt(ptClient), HTCLIENT);
    EXPECT_EQ(m_pFrame->m_nHotItem, -1);
    EXPECT_EQ(m_pFrame->m_nHoverTimer, 0u);

    // The timer asks again where the cursor is: away from the bar, the hot look goes.
    ASSERT_EQ(HitTestAt(ptFile), HTMENU);
    POINT ptCursor;
    ASSERT_TRUE(::GetCursorPos(&ptCursor));
    if (::DefWindowProcW(m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(ptCursor.x, ptCursor.y)) == HTMENU)
        GTEST_SKIP() << "the cursor rests on the menu bar";
    m_pFrame->SendMessage(WM_TIMER, m_pFrame->m_nHoverTimer);
    EXPECT_EQ(m_pFrame->m_nHotItem, -1);
    EXPECT_EQ(m_pFrame->m_nHoverTimer, 0u);
}

TEST_F(SkinFrameTest, HoverIsTrackedOnRemoteDisplaysAndLeftToTheSystemOnLocalModernOnes)
{
    ToolkitEnvironment().nVersionClass = 7;
    ToolkitEnvironment().bRemoteSession = false;
    size_t nDrawn = Theme(0).m_drawn.size();
    EXPECT_EQ(HitTestAt(MenuItemCentre(0)), HTMENU);
    EXPECT_EQ(m_pFrame->m_nHoverTimer, 0u);
    EXPECT_EQ(m_pFrame->m_nHotItem, -1);
    EXPECT_EQ(Theme(0).m_drawn.size(), nDrawn);

    ToolkitEnvironment().bRemoteSession = true;
    EXPECT_EQ(HitTestAt(MenuItemCentre(0)), HTMENU);
    EXPECT_NE(m_pFrame->m_nHoverTimer, 0u);
    EXPECT_EQ(m_pFrame->m_nHotItem, 0);
}

TEST_F(SkinFrameTest, SkinDockingMakesTheFourDockBarsOnceInTheirOrder)
{
    // A side that has its bar already keeps it.
    CDockBar* pOwnLeft = new CDockBar;
    pOwnLeft->m_bAutoDelete = TRUE;
    ASSERT_TRUE(pOwnLeft->Create(m_pFrame, CBRS_LEFT | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                 AFX_IDW_DOCKBAR_LEFT));
    EnableSkinDocking(m_pFrame, CBRS_ALIGN_ANY);
    EnableSkinDocking(m_pFrame, CBRS_ALIGN_ANY);

    struct stSide
    {
        UINT nID;
        DWORD dwStyle;
    };
    const stSide expected[] = {{AFX_IDW_DOCKBAR_LEFT, 0x1400},
                               {AFX_IDW_DOCKBAR_TOP, 0x2800},
                               {AFX_IDW_DOCKBAR_BOTTOM, 0x8200},
                               {AFX_IDW_DOCKBAR_RIGHT, 0x4100}};
    std::vector<HWND> dockBars;
    for (HWND h = ::GetTopWindow(m_hWnd); h != NULL; h = ::GetNextWindow(h, GW_HWNDNEXT))
        dockBars.push_back(h);
    ASSERT_EQ(dockBars.size(), 4u) << "no side got a second dock bar";
    for (size_t i = 0; i < dockBars.size(); ++i)
    {
        auto* pDock = dynamic_cast<CDockBar*>(CWnd::FromHandlePermanent(dockBars[i]));
        ASSERT_NE(pDock, nullptr);
        EXPECT_EQ(static_cast<UINT>(::GetDlgCtrlID(dockBars[i])), expected[i].nID);
        EXPECT_EQ(pDock->GetBarStyle(), expected[i].dwStyle);
        EXPECT_EQ(pDock->GetStyle() & 0x56000000u, 0x56000000u);
        EXPECT_EQ(dynamic_cast<CSkinDockBar*>(pDock) != nullptr, i > 0) << "only the sides made here are skin dock bars";
    }
    EXPECT_EQ(m_pFrame->m_pFloatingFrameClass, &CSkinMiniDockFrameWnd::CreateObject);
}

TEST_F(SkinFrameTest, MenuBarDockedBesideAToolbarGetsARowOfItsOwnAndStartsIt)
{
    EnableSkinDocking(m_pFrame, CBRS_ALIGN_ANY);
    CTestBar tool(120, 24, RGB(200, 220, 255));
    CTestMenuBar menuBar(200, 20, RGB(255, 230, 200));
    ASSERT_TRUE(tool.Create(m_pFrame, L"Toolbar", AFX_IDW_TOOLBAR));
    ASSERT_TRUE(menuBar.Create(m_pFrame, L"Menu bar", AFX_IDW_MENUBAR));
    m_pFrame->DockControlBar(&tool, AFX_IDW_DOCKBAR_TOP);
    CSkinDockBar* pTop = DockBar(AFX_IDW_DOCKBAR_TOP);
    ASSERT_NE(pTop, nullptr);
    // Straight into the toolbar's row, after it.
    pTop->DockControlBar(&menuBar, nullptr);
    pTop->m_arrBars = {nullptr, &tool, &menuBar, nullptr};
    menuBar.SetWindowPos(NULL, 120, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    stSizeParentLayout stLayout = {};
    m_pFrame->GetClientRect(&stLayout.rect);
    EXPECT_NE(pTop->RecalcDelayShow(&stLayout) & WS_VISIBLE, 0u);
    EXPECT_EQ(pTop->m_arrBars, (std::vector<CControlBar*>{nullptr, &tool, nullptr, &menuBar, nullptr}));
    EXPECT_EQ(RectIn(menuBar.m_hWnd, pTop->m_hWnd).TopLeft(), CPoint(-5, 0));

    // A second pass changes nothing in the array, and the layout puts it first in its own row.
    m_pFrame->RecalcLayout();
    EXPECT_EQ(pTop->m_arrBars, (std::vector<CControlBar*>{nullptr, &tool, nullptr, &menuBar, nullptr}));
    EXPECT_EQ(RectIn(menuBar.m_hWnd, pTop->m_hWnd), CRect(0, 24, 200, 44));

    // Docked first, it gets a break after it.
    pTop->m_arrBars = {nullptr, &menuBar, &tool, nullptr};
    m_pFrame->RecalcLayout();
    EXPECT_EQ(pTop->m_arrBars, (std::vector<CControlBar*>{nullptr, &menuBar, nullptr, &tool, nullptr}));
}

TEST_F(SkinFrameTest, DockBarsPaintWithTheMenusBackgroundBrush)
{
    EnableSkinDocking(m_pFrame, CBRS_ALIGN_ANY);
    CTestBar tool(120, 24, RGB(200, 220, 255));
    ASSERT_TRUE(tool.Create(m_pFrame, L"Toolbar", AFX_IDW_TOOLBAR));
    m_pFrame->DockControlBar(&tool, AFX_IDW_DOCKBAR_TOP);
    CSkinDockBar* pTop = DockBar(AFX_IDW_DOCKBAR_TOP);

    void* pBits = nullptr;
    HBITMAP hSection = CreateSection(300, 30, &pBits);
    HDC hDC = ::CreateCompatibleDC(NULL);
    HGDIOBJ hOld = ::SelectObject(hDC, hSection);
    // Without a brush the system erases.
    EXPECT_EQ(pTop->SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hDC)), ::DefWindowProcW(pTop->m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0));

    HBRUSH hRed = ::CreateSolidBrush(RGB(255, 0, 0));
    MENUINFO stInfo = {sizeof(stInfo), MIM_BACKGROUND, 0, 0, hRed, 0, 0};
    ASSERT_TRUE(::SetMenuInfo(m_pFrame->m_skinMenu.m_hMenu, &stInfo));
    EXPECT_EQ(pTop->SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hDC)), TRUE);
    EXPECT_EQ(PixelOf(pBits, 300, 10, 10), RGB(255, 0, 0));
    ::SelectObject(hDC, hOld);
    ::DeleteDC(hDC);
    ::DeleteObject(hSection);
    stInfo.hbrBack = NULL;
    ::SetMenuInfo(m_pFrame->m_skinMenu.m_hMenu, &stInfo);
    ::DeleteObject(hRed);
}
} // namespace


namespace
{
TEST_F(SkinFrameTest, MenuBarLineIsDrawnOnlyWithAMenuBackground)
{
    CRect rcWindow, rcClient;
    m_pFrame->GetWindowRect(rcWindow);
    m_pFrame->GetClientRect(rcClient);
    m_pFrame->ClientToScreen(reinterpret_cast<POINT*>(&rcClient.left));
    POINT ptLine = {rcClient.left - rcWindow.left + 10, rcClient.top - rcWindow.top - 1};
    auto lineColour = [&]() {
        HDC hDC = ::GetWindowDC(m_hWnd);
        COLORREF cr = ::GetPixel(hDC, ptLine.x, ptLine.y);
        ::ReleaseDC(m_hWnd, hDC);
        return cr;
    };
    m_pFrame->DrawMenuBarLine();
    COLORREF crBefore = lineColour();
    ASSERT_NE(crBefore, CLR_INVALID);
    ASSERT_NE(crBefore, RGB(255, 0, 0));

    HBRUSH hRed = ::CreateSolidBrush(RGB(255, 0, 0));
    MENUINFO stInfo = {sizeof(stInfo), MIM_BACKGROUND, 0, 0, hRed, 0, 0};
    ASSERT_TRUE(::SetMenuInfo(m_pFrame->m_skinMenu.m_hMenu, &stInfo));
    m_pFrame->DrawMenuBarLine();
    EXPECT_EQ(lineColour(), RGB(255, 0, 0));
    stInfo.hbrBack = NULL;
    ::SetMenuInfo(m_pFrame->m_skinMenu.m_hMenu, &stInfo);
    ::DeleteObject(hRed);
}
} // namespace
