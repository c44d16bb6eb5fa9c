#include "classlib/Wnd.h"
#include "guitoolkit/MenuBackground.h"
#include "guitoolkit/MenuHookData.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuItemData.h"
#include "guitoolkit/ToolkitColors.h"

#include "GuiTestSupport.h"
#include "MenuPaintSupport.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace
{
// Tells the menus that a popup opens and finds the menu of every item it is
// asked to measure, as the frames do.
class CMenuFrameWnd : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        // A light ground, so that the popups' shadows show in the pictures.
        if (nMsg == WM_ERASEBKGND)
        {
            RECT rc;
            ::GetClientRect(m_hWnd, &rc);
            CDC dc;
            dc.Attach(reinterpret_cast<HDC>(wParam));
            dc.FillSolidRect(&rc, RGB(224, 224, 224));
            dc.Detach();
            lResult = 1;
            return true;
        }
        if (nMsg == WM_INITMENUPOPUP)
            CSkinMenu::OnInitMenuPopup(m_hWnd, CMenu::FromHandle(reinterpret_cast<HMENU>(wParam)));
        if (nMsg == WM_MEASUREITEM)
        {
            MSG stMsg = {m_hWnd, nMsg, wParam, lParam, 0, {0, 0}};
            if (CSkinMenu::OnMeasureItem(&stMsg))
            {
                lResult = TRUE;
                return true;
            }
        }
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
};

// What the timer inside the menu loop saw of the open popup.
struct stSeen
{
    HWND hPopup = NULL;
    bool bProperty = false;
    size_t nHookData = 0;
    int nFlags = 0;
    bool bAtom = false;
    bool bRenumbered = false;
    std::wstring strPicture;
    int nTicks = 0;
    int nShownTicks = 0;
    bool bFramePainted = false;
    HMENU hSystemMenu = NULL;
    // The frame whose menu bar the picture takes in, or null.
    HWND hFrame = NULL;
    // The popup's top-left pixel as painted.
    COLORREF crCorner = CLR_INVALID;
    bool bSendEscape = false;
    // Ask the popup to print itself into a memory context, and what came of it.
    bool bPrint = false;
    COLORREF crPrintedCorner = CLR_INVALID;
    int nPrintedText = 0;
};
stSeen g_seen;

bool SavePopupPicture(HWND hPopup, HWND hFrame, const std::wstring& strName)
{
    const wchar_t* pszDir = _wgetenv(L"VF_SCREENSHOT_DIR");
    RECT rc, rcBar;
    if (pszDir == nullptr || !::GetWindowRect(hPopup, &rc))
        return false;
    // The picture takes in the own shadow and a little of what lies around,
    // and the menu bar the popup came from.
    ::InflateRect(&rc, 8, 8);
    if (hFrame != NULL && ::GetMenuItemRect(hFrame, ::GetMenu(hFrame), 0, &rcBar))
    {
        rc.left = std::min(rc.left, rcBar.left - 2);
        rc.top = rcBar.top - 2;
        rc.right = std::max(rc.right, rc.left + 120L);
    }
    CScreenPicture picture(rc);
    std::wstring strDir = std::wstring(pszDir) + L"\\menus";
    ::CreateDirectoryW(pszDir, nullptr);
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    return !picture.Empty() && picture.SavePng(strDir + L"\\" + strName + L".png");
}

void PrintPopup(HWND hPopup)
{
    RECT rc;
    ::GetWindowRect(hPopup, &rc);
    CPaintSurface surface(rc.right - rc.left, rc.bottom - rc.top, RGB(1, 2, 3));
    ::SendMessageW(hPopup, WM_PRINT, reinterpret_cast<WPARAM>(surface.DC().m_hDC),
                   PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    g_seen.crPrintedCorner = surface.At(0, 0);
    g_seen.nPrintedText = surface.Count({0, 0, surface.Width(), surface.Height()}, RGB(0, 0, 0));
}

// Looks at the popup once it has been painted for a while, then ends the menu.
void CALLBACK LookAtPopup(HWND, UINT, UINT_PTR nID, DWORD)
{
    ++g_seen.nTicks;
    HWND hPopup = ThreadPopupMenuWindow();
    // A few ticks after it shows, and a whole tick after its last paint:
    // Wine puts drawing on the screen only when the queue is read again, and
    // a loaded machine may paint late.
    if (hPopup != NULL)
    {
        // The border is non-client drawing, which no update region shows as
        // pending: it is painted here once, and the ticks after let it reach the screen.
        if (!g_seen.bFramePainted)
        {
            ::RedrawWindow(hPopup, nullptr, NULL, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
            g_seen.bFramePainted = true;
            g_seen.nShownTicks = 0;
        }
        if (::GetUpdateRect(hPopup, nullptr, FALSE))
        {
            ::UpdateWindow(hPopup);
            g_seen.nShownTicks = 0;
        }
        ++g_seen.nShownTicks;
    }
    if (hPopup != NULL && g_seen.nShownTicks >= 3 && g_seen.hPopup == NULL)
    {
        g_seen.hPopup = hPopup;
        if (g_seen.bSendEscape)
            ::SendMessageW(hPopup, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        if (g_seen.bPrint)
            PrintPopup(hPopup);
        g_seen.bProperty = ::GetPropW(hPopup, OldProcProperty) != NULL;
        g_seen.nHookData = CSkinMenuHook::GetHookDataCount();
        if (CMenuHookData* pData = CSkinMenuHook::FindHookData(hPopup))
            g_seen.nFlags = pData->m_nFlags;
        g_seen.bAtom = ::GlobalFindAtomW(OldProcProperty) != 0;
        if (g_seen.hSystemMenu != NULL)
        {
            int nPos = -1;
            g_seen.bRenumbered = CSkinMenu::FindMenuOfCommand(g_seen.hSystemMenu, SC_CLOSE + 1, nPos) != nullptr;
        }
        // Read from the popup's own surface: the display is shared with other
        // test programs, whose windows may lie over the popup on the screen.
        if (HDC hWindow = ::GetWindowDC(hPopup))
        {
            g_seen.crCorner = ::GetPixel(hWindow, 0, 0);
            ::ReleaseDC(hPopup, hWindow);
        }
        if (!g_seen.strPicture.empty())
            SavePopupPicture(hPopup, g_seen.hFrame, g_seen.strPicture);
    }
    if (g_seen.hPopup != NULL || g_seen.nTicks > 100)
    {
        ::KillTimer(NULL, nID);
        ::EndMenu();
    }
}

class PopupHookTest : public MenuHookTest
{
protected:
    void SetUp() override
    {
        MenuHookTest::SetUp();
        g_seen = stSeen();
        ASSERT_EQ(::GlobalFindAtomW(OldProcProperty), 0) << "no popup is subclassed yet";
        // Away from the corner where other test programs open their windows,
        // and above them, since the screen is read back.
        ASSERT_TRUE(m_wnd.CreateEx(WS_EX_TOPMOST, nullptr, L"menu hook", WS_OVERLAPPEDWINDOW, 600, 40, 400, 360, NULL,
                                   NULL));
        m_wnd.ShowWindow(SW_SHOW);
        m_wnd.SetForegroundWindow();
        PumpPending();
    }
    void TearDown() override
    {
        m_wnd.DestroyWindow();
        MenuHookTest::TearDown();
    }
    // Tracks the menu with the timer looking at its popup; the wrapper
    // lets the frame find the menu of the items it is asked to measure.
    void Track(CMenu& menu)
    {
        ASSERT_NE(::SetTimer(NULL, 0, 100, LookAtPopup), 0u);
        menu.TrackPopupMenu(TPM_LEFTALIGN, 640, 120, &m_wnd);
        PumpPending();
    }
    static HMENU SampleMenu()
    {
        HMENU hMenu = ::CreatePopupMenu();
        ::AppendMenuW(hMenu, MF_STRING, 701, L"&Open\tCtrl+O");
        ::AppendMenuW(hMenu, MF_STRING | MF_CHECKED, 702, L"&Save");
        ::AppendMenuW(hMenu, MF_STRING | MF_CHECKED, 704, L"&Checked item");
        ::AppendMenuW(hMenu, MF_STRING | MF_GRAYED, 703, L"&Disabled\tDel");
        ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(hMenu, MF_STRING, 705, L"E&xit\tAlt+F4");
        return hMenu;
    }

    CMenuFrameWnd m_wnd;
};

TEST_F(PopupHookTest, ASkinMenusPopupIsSubclassedWhileOpenAndLetGoWhenItCloses)
{
    CSkinMenu menu;
    ASSERT_TRUE(menu.ConvertToOwnerDraw(SampleMenu()));
    Track(menu);
    ASSERT_NE(g_seen.hPopup, nullptr) << "the popup opened";
    EXPECT_TRUE(g_seen.bProperty);
    EXPECT_EQ(g_seen.nHookData, 1u);
    EXPECT_TRUE(g_seen.bAtom);
    EXPECT_EQ(g_seen.nFlags & CMenuHookData::FlagEscape, 0);
    EXPECT_EQ(CSkinMenuHook::GetHookDataCount(), 0u) << "the data went with the window";
    EXPECT_EQ(::GlobalFindAtomW(OldProcProperty), 0) << "every atom reference was given back";
}

TEST_F(PopupHookTest, APlainMenusPopupIsNeverSubclassed)
{
    CMenu plain;
    ASSERT_TRUE(plain.Attach(SampleMenu()));
    Track(plain);
    ASSERT_NE(g_seen.hPopup, nullptr);
    EXPECT_FALSE(g_seen.bProperty);
    EXPECT_EQ(g_seen.nHookData, 0u);
}

TEST_F(PopupHookTest, EscapeInThePopupIsRemembered)
{
    CSkinMenu menu;
    ASSERT_TRUE(menu.ConvertToOwnerDraw(SampleMenu()));
    g_seen.bSendEscape = true;
    Track(menu);
    ASSERT_NE(g_seen.hPopup, nullptr);
    EXPECT_NE(g_seen.nFlags & CMenuHookData::FlagEscape, 0);
}

// Wine never asks a popup to print itself; a theme with its own border
// would frame the picture the system prints.
TEST_F(PopupHookTest, APrintedPopupGetsTheThemesFrameAroundTheSystemsItems)
{
    ToolkitEnvironment().bWine = false;
    CSkinMenu::SelectTheme(2);
    CSkinMenu menu;
    ASSERT_TRUE(menu.ConvertToOwnerDraw(SampleMenu()));
    g_seen.bPrint = true;
    Track(menu);
    ASSERT_NE(g_seen.hPopup, nullptr);
    EXPECT_EQ(g_seen.crPrintedCorner, DarkenColor(128, ::GetSysColor(COLOR_MENUBAR)));
    EXPECT_GT(g_seen.nPrintedText, 20) << "the items' texts";
    EXPECT_EQ(g_seen.nFlags & CMenuHookData::FlagPrinting, 0) << "printing is over";
}

TEST_F(PopupHookTest, TheSystemMenusRenumberedCommandsComeBackWhenItCloses)
{
    CSkinMenu system;
    HMENU hSystem = ::GetSystemMenu(m_wnd.m_hWnd, FALSE);
    ASSERT_TRUE(system.ConvertToOwnerDraw(hSystem));
    g_seen.hSystemMenu = hSystem;
    ASSERT_NE(::SetTimer(NULL, 0, 100, LookAtPopup), 0u);
    m_wnd.SendMessage(WM_SYSCOMMAND, SC_KEYMENU, L' ');
    PumpPending();
    ASSERT_NE(g_seen.hPopup, nullptr) << "the system menu opened";
    EXPECT_TRUE(g_seen.bProperty);
    EXPECT_TRUE(g_seen.bRenumbered) << "renumbered while open";
    int nPos = -1;
    EXPECT_NE(CSkinMenu::FindMenuOfCommand(hSystem, SC_CLOSE, nPos), nullptr);
    EXPECT_EQ(CSkinMenu::FindMenuOfCommand(hSystem, SC_CLOSE + 1, nPos), nullptr);
    EXPECT_EQ(CSkinMenuHook::GetHookDataCount(), 0u);
    system.Detach();
}

TEST_F(PopupHookTest, MnemonicsSkipDoubledAmpersandsAndRebuildStaleRecords)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::AppendMenuW(hMenu, MF_STRING, 801, L"&Alpha");
    ::AppendMenuW(hMenu, MF_STRING, 802, L"R&&D");
    ::AppendMenuW(hMenu, MF_STRING | MF_GRAYED, 803, L"&Delta");
    CSkinMenu menu;
    ASSERT_TRUE(menu.ConvertToOwnerDraw(hMenu));
    EXPECT_EQ(CSkinMenuHook::FindMenuMnemonic(L'A', MF_POPUP, &menu), MAKELRESULT(0, MNC_EXECUTE));
    EXPECT_EQ(CSkinMenuHook::FindMenuMnemonic(L'd', MF_POPUP, &menu), MAKELRESULT(2, MNC_EXECUTE))
        << "R&&D has no mnemonic; a grayed item may match";
    EXPECT_EQ(CSkinMenuHook::FindMenuMnemonic(L'z', MF_POPUP, &menu), 0);
    ::AppendMenuW(hMenu, MF_STRING, 804, L"&Zeta");
    EXPECT_EQ(CSkinMenuHook::FindMenuMnemonic(L'z', MF_POPUP, &menu), MAKELRESULT(3, MNC_EXECUTE));
    CMenu plain;
    EXPECT_EQ(CSkinMenuHook::FindMenuMnemonic(L'a', MF_POPUP, &plain), 0);
}

TEST_F(PopupHookTest, AMenuBarItemIsPaintedThroughTheFramesOwnDrawItem)
{
    HMENU hBar = ::CreateMenu();
    HMENU hFile = ::CreatePopupMenu();
    ::AppendMenuW(hFile, MF_STRING, 901, L"&New");
    ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), L"&File");
    ::AppendMenuW(hBar, MF_STRING, 902, L"&Help");
    CSkinMenu bar;
    ASSERT_TRUE(bar.ConvertToOwnerDraw(hBar));
    ::AppendMenuW(hBar, MF_STRING, 903, L"&Plain");
    ASSERT_TRUE(::SetMenu(m_wnd.m_hWnd, hBar));
    ::DrawMenuBar(m_wnd.m_hWnd);
    PumpPending();
    RECT rcItem;
    ASSERT_TRUE(::GetMenuItemRect(m_wnd.m_hWnd, hBar, 0, &rcItem));
    RECT rcFrame;
    ASSERT_TRUE(::GetWindowRect(m_wnd.m_hWnd, &rcFrame));
    // The frame's own surface, not the shared screen, where other test
    // programs' windows may lie over the bar.
    HDC hWindow = ::GetWindowDC(m_wnd.m_hWnd);
    ASSERT_NE(hWindow, nullptr);
    const POINT ptCorner = {rcItem.left - rcFrame.left, rcItem.top - rcFrame.top};
    auto cornerIs = [&](COLORREF cr) {
        return PumpUntil([&] { return ::GetPixel(hWindow, ptCorner.x, ptCorner.y) == cr; }, 3000);
    };
    EXPECT_NE(::GetPixel(hWindow, ptCorner.x, ptCorner.y), ::GetSysColor(COLOR_HIGHLIGHT)) << "not hot before";

    CSkinMenu::SetHotMenuBarItem(0);
    EXPECT_TRUE(CSkinMenuHook::PaintMenuBarItem(m_wnd.m_hWnd, hBar, 0, ODS_HOTLIGHT));
    EXPECT_EQ(CSkinMenu::GetHotMenuBarItem(), reinterpret_cast<ULONG_PTR>(bar.GetItemData(0)));
    // The current theme frames a hot item in the highlight colour.
    EXPECT_TRUE(cornerIs(::GetSysColor(COLOR_HIGHLIGHT)));
    ::ReleaseDC(m_wnd.m_hWnd, hWindow);

    EXPECT_FALSE(CSkinMenuHook::PaintMenuBarItem(m_wnd.m_hWnd, hBar, 2, ODS_HOTLIGHT)) << "not owner-drawn";
    EXPECT_FALSE(CSkinMenuHook::PaintMenuBarItem(m_wnd.m_hWnd, hBar, -1, 0));
    EXPECT_FALSE(CSkinMenuHook::PaintMenuBarItem(m_wnd.m_hWnd, hBar, 7, 0)) << "no such item";
    ::SetMenu(m_wnd.m_hWnd, NULL);
}

// One picture per theme of a frame's menu bar with its first popup open,
// for a reviewer to look at.
TEST_F(PopupHookTest, EveryThemePaintsAMenuBarAndItsOpenPopup)
{
    const WORD toolInfo[] = {120, 16, 16, 701, 702, 703, 0};
    // Wine's selection would turn the even ids, which paint their own border
    // and shadow, into odd ones.
    ToolkitEnvironment().bWine = false;
    for (int nTheme = 0; nTheme < 12; ++nTheme)
    {
        g_seen = stSeen();
        HMENU hBar = ::CreateMenu();
        HMENU hEdit = ::CreatePopupMenu();
        ::AppendMenuW(hEdit, MF_STRING, 706, L"&Undo");
        ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(SampleMenu()), L"&File");
        ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(hEdit), L"&Edit");
        CSkinMenu bar;
        ASSERT_TRUE(bar.ConvertToOwnerDraw(hBar));
        ASSERT_TRUE(bar.LoadToolBar(toolInfo, RGB(255, 0, 255)));
        CSkinMenu::SelectTheme(nTheme);
        ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), nTheme);
        UpdateMenuBackground(bar.m_hMenu);
        ASSERT_TRUE(::SetMenu(m_wnd.m_hWnd, hBar));
        ::DrawMenuBar(m_wnd.m_hWnd);
        PumpPending();

        wchar_t szName[16];
        swprintf(szName, 16, L"theme-%02d", nTheme);
        g_seen.strPicture = szName;
        g_seen.hFrame = m_wnd.m_hWnd;
        ASSERT_NE(::SetTimer(NULL, 0, 100, LookAtPopup), 0u);
        m_wnd.SendMessage(WM_SYSCOMMAND, SC_KEYMENU, L'f');
        PumpPending();
        ::SetMenu(m_wnd.m_hWnd, NULL);
        EXPECT_NE(g_seen.hPopup, nullptr) << "theme " << nTheme;
        EXPECT_TRUE(g_seen.bProperty) << "theme " << nTheme;
        EXPECT_EQ(CSkinMenuHook::GetHookDataCount(), 0u);
        // The border: the system's frame, or the theme's own, in the
        // highlight or in the menu colour darkened by half.
        COLORREF crFrame = ::GetSysColor(COLOR_BTNSHADOW);
        if (nTheme == 0 || nTheme == 4 || nTheme == 6)
            crFrame = ::GetSysColor(COLOR_HIGHLIGHT);
        else if (nTheme % 2 == 0)
            crFrame = DarkenColor(128, ::GetSysColor(COLOR_MENUBAR));
        EXPECT_EQ(g_seen.crCorner, crFrame) << "theme " << nTheme;
    }
}
} // namespace
