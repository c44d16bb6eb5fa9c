#include "classlib/DockBar.h"
#include "classlib/MiniDockFrameWnd.h"
#include "classlib/ThreadState.h"
#include "classlib/WinThread.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuBar.h"
#include "guitoolkit/SkinMenuBarSubclass.h"

#include "GuiTestSupport.h"
#include "MenuBarFrame.h"
#include "MenuPaintSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace
{
constexpr UINT RunCommand = 1210;
constexpr UINT DriveInfoCommand = 1220;

enum : int
{
    FileItem,
    EditItem,
    ViewItem,
    RunItem,
    HelpItem,
    ItemCount
};

struct stBarState
{
    int nMode;
    int nHot;
    int nSelected;
    bool operator==(const stBarState& other) const
    {
        return nMode == other.nMode && nHot == other.nHot && nSelected == other.nSelected;
    }
};

std::ostream& operator<<(std::ostream& out, const stBarState& state)
{
    return out << "{mode " << state.nMode << ", hot " << state.nHot << ", selected " << state.nSelected << "}";
}

// Saves the screen under the frame and the open popup, for review.
void SavePicture(HWND hFrame, const wchar_t* pszName)
{
    RECT rc = {};
    ::GetWindowRect(hFrame, &rc);
    if (HWND hPopup = ThreadPopupMenuWindow())
    {
        ::UpdateWindow(hPopup);
        RECT rcPopup;
        ::GetWindowRect(hPopup, &rcPopup);
        ::UnionRect(&rc, &rc, &rcPopup);
    }
    const wchar_t* pszDir = _wgetenv(L"VF_SCREENSHOT_DIR");
    if (pszDir == nullptr)
        return;
    const std::wstring strDir = std::wstring(pszDir) + L"\\menubar";
    ::CreateDirectoryW(pszDir, nullptr);
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    EXPECT_TRUE(CScreenPicture(rc).SavePng(strDir + L"\\" + pszName + L".png"));
}

class SkinMenuBarTest : public MenuHookTest
{
protected:
    void SetUp() override
    {
        MenuHookTest::SetUp();
        // The frame's menu takes the theme's ground when the frame is made.
        CSkinMenu::SelectTheme(ThemeId());
        CreateFrame(CRect(30, 30, 530, 330));
    }
    void TearDown() override
    {
        if (m_hFrame != NULL && ::IsWindow(m_hFrame))
            ::DestroyWindow(m_hFrame);
        PumpPending();
        if (m_hAccel != NULL)
            ::DestroyAcceleratorTable(m_hAccel);
        MenuHookTest::TearDown();
    }
    void CreateFrame(const CRect& rc, DWORD dwBarStyle = CBRS_TOP | CBRS_SIZE_DYNAMIC)
    {
        m_pFrame = new CMenuBarFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Menu bar", WS_OVERLAPPEDWINDOW | WS_VISIBLE, rc, nullptr, L"BARMENU"));
        m_hFrame = m_pFrame->m_hWnd;
        EnableSkinDocking(m_pFrame, CBRS_ALIGN_ANY);
        ASSERT_TRUE(Bar().Create(m_pFrame, WS_CHILD | WS_VISIBLE | dwBarStyle));
        Bar().EnableDocking(CBRS_ALIGN_ANY);
        m_pFrame->DockControlBar(&Bar(), AFX_IDW_DOCKBAR_TOP);
        // The idle update hands the frame's menu to the bar.
        Bar().SendMessage(WM_IDLEUPDATECMDUI, TRUE);
        ::SetForegroundWindow(m_hFrame);
        ::SetFocus(m_hFrame);
        PumpThroughFrame(m_pFrame);
    }
    virtual int ThemeId() const { return 11; }
    CSkinMenuBar& Bar() { return m_pFrame->m_menuBar; }
    stBarState State() { return {Bar().GetMode(), Bar().GetHotIndex(), Bar().GetSelectedIndex()}; }
    HMENU PopupOf(int nItem) { return ::GetSubMenu(Bar().GetMenu(), nItem); }
    // The popup of the item is open and painted.
    bool PopupOpen(int nItem)
    {
        return ThreadPopupMenuWindow() != NULL && Bar().GetTrackedPopup() == PopupOf(nItem) &&
               Bar().GetMode() == MENUBAR_MODE_TRACKING;
    }
    void PostKey(UINT nMsg, UINT nVirtKey, LPARAM lFlags = 0)
    {
        ::PostMessageW(m_hFrame, nMsg, nVirtKey, 1 | lFlags);
    }
    POINT ItemCentre(int nItem, bool bScreen)
    {
        RECT rc = Bar().GetItem(nItem)->GetItemRect(Bar().IsFloating() ? FALSE : (Bar().GetBarStyle() & CBRS_ORIENT_VERT) != 0);
        POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        if (bScreen)
            Bar().ClientToScreen(&pt);
        return pt;
    }
    // Runs the script with the frame's loop until it ends.
    void Run(CStepScript& script)
    {
        EXPECT_TRUE(PumpThroughFrameUntil(m_pFrame, [&] { return script.Done(); })) << "stopped at step "
                                                                                     << script.StepsRun();
        PumpThroughFrame(m_pFrame);
    }

    CMenuBarFrame* m_pFrame = nullptr;
    HWND m_hFrame = NULL;
    HACCEL m_hAccel = NULL;
};

TEST_F(SkinMenuBarTest, TakesTheFramesMenuAndShowsItsItemsInOneRow)
{
    EXPECT_EQ(::GetMenu(m_hFrame), HMENU(NULL));
    EXPECT_EQ(Bar().GetMenu(), m_pFrame->m_skinMenu.m_hMenu);
    // Owner-drawn items find their menu through the frame while it has none.
    EXPECT_EQ(::SendMessageW(m_hFrame, CSkinMenuBar::GetMenuMessage(), 0, 0),
              reinterpret_cast<LRESULT>(m_pFrame->m_skinMenu.m_hMenu));
    ASSERT_EQ(Bar().GetItemCount(), static_cast<int>(ItemCount));

    CRect rcClient;
    Bar().GetClientRect(rcClient);
    for (int i = 0; i < ItemCount; ++i)
    {
        const RECT rc = Bar().GetItem(i)->m_rcItem;
        SCOPED_TRACE(i);
        EXPECT_GT(rc.right - rc.left, ::GetSystemMetrics(SM_CXMENUCHECK));
        EXPECT_EQ(rc.bottom - rc.top, ::GetSystemMetrics(SM_CYMENU));
        EXPECT_EQ(rc.top, 0);
        EXPECT_EQ(Bar().GetItem(i)->m_nState & MBS_WRAP, 0u);
        if (i > 0 && i < HelpItem)
        {
            EXPECT_EQ(rc.left, Bar().GetItem(i - 1)->m_rcItem.right);
        }
    }
    // Help is right-justified: it ends at the bar's right edge.
    EXPECT_NE(Bar().GetItem(HelpItem)->m_nState & MBS_RIGHTJUSTIFY, 0u);
    EXPECT_EQ(Bar().GetItem(HelpItem)->m_rcItem.right, rcClient.right);
    EXPECT_GT(Bar().GetItem(HelpItem)->m_rcItem.left, Bar().GetItem(RunItem)->m_rcItem.right);
    EXPECT_EQ(rcClient.Height(), ::GetSystemMetrics(SM_CYMENU));
    EXPECT_EQ(Bar().GetItem(RunItem)->GetCommandId(), RunCommand);
}

TEST_F(SkinMenuBarTest, KeyboardOpensPopupsAndSwitchesBetweenThem)
{
    std::vector<stBarState> states;
    PostKey(WM_SYSKEYDOWN, VK_MENU, 1 << 29);
    PostKey(WM_SYSKEYUP, VK_MENU, 0xC0000000 | (1 << 29));
    CStepScript script({
        {[&] { return Bar().GetMode() == MENUBAR_MODE_HOT; },
         [&] {
             states.push_back(State());
             PostKey(WM_KEYDOWN, VK_DOWN);
         }},
        {[&] { return PopupOpen(FileItem); },
         [&] {
             states.push_back(State());
             PostKey(WM_KEYDOWN, VK_DOWN);
         }},
        // Open is highlighted: Right leaves the popup for the next item's.
        {[&] { return (::GetMenuState(PopupOf(FileItem), 0, MF_BYPOSITION) & MF_HILITE) != 0; }, [] {}},
        CStepScript::Pause(),
        {[] { return true; },
         [&] {
             SavePicture(m_hFrame, L"docked-top-file");
             PostKey(WM_KEYDOWN, VK_RIGHT);
         }},
        {[&] { return PopupOpen(EditItem); },
         [&] {
             states.push_back(State());
             PostKey(WM_KEYDOWN, VK_DOWN);
         }},
        {[&] { return (::GetMenuState(PopupOf(EditItem), 0, MF_BYPOSITION) & MF_HILITE) != 0; }, [] {}},
        CStepScript::Pause(),
        {[] { return true; },
         [&] {
             SavePicture(m_hFrame, L"docked-top-edit");
             PostKey(WM_KEYDOWN, VK_ESCAPE);
         }},
        {[&] { return ThreadPopupMenuWindow() == NULL && Bar().GetMode() == MENUBAR_MODE_NONE; },
         [&] { states.push_back(State()); }},
    });
    Run(script);
    const std::vector<stBarState> expected = {
        {MENUBAR_MODE_HOT, FileItem, FileItem},
        {MENUBAR_MODE_TRACKING, FileItem, FileItem},
        {MENUBAR_MODE_TRACKING, EditItem, EditItem},
        {MENUBAR_MODE_NONE, EditItem, EditItem},
    };
    EXPECT_EQ(states, expected);
    EXPECT_EQ(m_pFrame->m_popupsOpened, (std::vector<HMENU>{PopupOf(FileItem), PopupOf(EditItem)}));
    EXPECT_FALSE(Bar().IsTracking());
}

TEST_F(SkinMenuBarTest, AltArrowsAndEscapeMoveTheHotItemWithoutOpening)
{
    PostKey(WM_SYSKEYDOWN, VK_MENU, 1 << 29);
    PostKey(WM_SYSKEYUP, VK_MENU, 0xC0000000 | (1 << 29));
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_HOT, FileItem, FileItem}));
    EXPECT_NE(Bar().GetItem(FileItem)->m_nState & MBS_HOT, 0u);
    PostKey(WM_KEYDOWN, VK_RIGHT);
    PostKey(WM_KEYDOWN, VK_RIGHT);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_HOT, ViewItem, ViewItem}));
    EXPECT_EQ(Bar().GetItem(FileItem)->m_nState & MBS_HOT, 0u);
    // Left from the first item wraps around to the last.
    PostKey(WM_KEYDOWN, VK_LEFT);
    PostKey(WM_KEYDOWN, VK_LEFT);
    PostKey(WM_KEYDOWN, VK_LEFT);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_HOT, HelpItem, HelpItem}));
    PostKey(WM_KEYDOWN, VK_ESCAPE);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_NONE, -1, -1}));
    EXPECT_TRUE(m_pFrame->m_popupsOpened.empty());
}

TEST_F(SkinMenuBarTest, MnemonicWithAltOpensItsPopupAndReturnSendsAnItemsCommand)
{
    CStepScript script({
        {[&] { return PopupOpen(EditItem); }, [&] { PostKey(WM_KEYDOWN, VK_ESCAPE); }},
    });
    PostKey(WM_SYSKEYDOWN, 'E', 1 << 29);
    Run(script);
    EXPECT_EQ(m_pFrame->m_popupsOpened, std::vector<HMENU>{PopupOf(EditItem)});

    // Run has no popup: Alt+R only highlights it, Return sends its command.
    PostKey(WM_SYSKEYDOWN, 'R', 1 << 29);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_HOT, RunItem, RunItem}));
    PostKey(WM_KEYDOWN, VK_RETURN);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(m_pFrame->m_commands, std::vector<UINT>{RunCommand});
    EXPECT_EQ(Bar().GetMode(), MENUBAR_MODE_NONE);
}

// F10 is the menu key of a frame that does not bind it; a frame whose
// accelerators give F10 a command keeps it.
TEST_F(SkinMenuBarTest, F10IsTheMenuKeyUnlessTheFramesAcceleratorsBindIt)
{
    PostKey(WM_SYSKEYDOWN, VK_F10);
    PostKey(WM_SYSKEYUP, VK_F10, 0xC0000000);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_HOT, FileItem, FileItem}));
    EXPECT_TRUE(m_pFrame->m_commands.empty());
    PostKey(WM_KEYDOWN, VK_ESCAPE);
    PumpThroughFrame(m_pFrame);

    ACCEL stAccel = {FVIRTKEY, VK_F10, static_cast<WORD>(DriveInfoCommand)};
    m_hAccel = ::CreateAcceleratorTableW(&stAccel, 1);
    ASSERT_NE(m_hAccel, HACCEL(NULL));
    m_pFrame->SetAccelerators(m_hAccel);
    PostKey(WM_SYSKEYDOWN, VK_F10);
    PostKey(WM_SYSKEYUP, VK_F10, 0xC0000000);
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(m_pFrame->m_commands, std::vector<UINT>{DriveInfoCommand});
    EXPECT_EQ(Bar().GetMode(), MENUBAR_MODE_NONE);
    // Alt stays the menu key.
    PostKey(WM_SYSKEYDOWN, VK_MENU, 1 << 29);
    PostKey(WM_SYSKEYUP, VK_MENU, 0xC0000000 | (1 << 29));
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(Bar().GetMode(), MENUBAR_MODE_HOT);
}

// The pointer is moved through the menu loop's own filter: the X pointer
// does not follow synthetic input under Wine.
TEST_F(SkinMenuBarTest, ClickOpensAPopupAndMovingToAnotherItemSwitchesToIt)
{
    CStepScript script({
        {[&] { return PopupOpen(FileItem); },
         [&] {
             MSG stMove = {m_hFrame, WM_MOUSEMOVE, 0, 0, ::GetTickCount(), ItemCentre(EditItem, true)};
             ::CallMsgFilterW(&stMove, MSGF_MENU);
         }},
        {[&] { return PopupOpen(EditItem); }, [&] { PostKey(WM_KEYDOWN, VK_ESCAPE); }},
    });
    const POINT pt = ItemCentre(FileItem, false);
    Bar().PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    Run(script);
    EXPECT_EQ(m_pFrame->m_popupsOpened, (std::vector<HMENU>{PopupOf(FileItem), PopupOf(EditItem)}));
    EXPECT_EQ(Bar().GetMode(), MENUBAR_MODE_NONE);

    // An item without a popup sends its command on release.
    const POINT ptRun = ItemCentre(RunItem, false);
    Bar().PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ptRun.x, ptRun.y));
    Bar().PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(ptRun.x, ptRun.y));
    PumpThroughFrame(m_pFrame);
    EXPECT_EQ(m_pFrame->m_commands, std::vector<UINT>{RunCommand});
    EXPECT_EQ(m_pFrame->m_popupsOpened.size(), 2u);
}

// A WM_QUIT met while the bar lets pending paints through before a popup
// opens ends the tracking and stays for the program's own loop.
TEST_F(SkinMenuBarTest, QuitMetBeforeAPopupOpensIsPostedAgain)
{
    Bar().Invalidate();
    ::PostQuitMessage(7);
    const POINT pt = ItemCentre(FileItem, false);
    Bar().SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    EXPECT_TRUE(m_pFrame->m_popupsOpened.empty());
    EXPECT_EQ(Bar().GetMode(), MENUBAR_MODE_NONE);
    MSG stMsg = {};
    ASSERT_TRUE(::PeekMessageW(&stMsg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(stMsg.wParam, 7u);
}

TEST_F(SkinMenuBarTest, OpenItemIsDrawnApartFromTheBarsGround)
{
    COLORREF crOpen = CLR_INVALID;
    auto pixelAt = [&](int nItem, int x, int y) {
        // The bar's own surface: other test programs' windows may lie over it on the screen.
        HDC hBar = ::GetDC(Bar().m_hWnd);
        const COLORREF cr = ::GetPixel(hBar, Bar().GetItem(nItem)->m_rcItem.left + x, y);
        ::ReleaseDC(Bar().m_hWnd, hBar);
        return cr;
    };
    const int yMiddle = ::GetSystemMetrics(SM_CYMENU) / 2;
    CStepScript script({
        {[&] { return PopupOpen(FileItem); },
         [&] {
             Bar().UpdateWindow();
             crOpen = pixelAt(FileItem, 3, yMiddle);
             PostKey(WM_KEYDOWN, VK_ESCAPE);
         }},
    });
    PostKey(WM_SYSKEYDOWN, 'F', 1 << 29);
    Run(script);
    Bar().UpdateWindow();
    const COLORREF crClosed = pixelAt(FileItem, 3, yMiddle);
    ASSERT_NE(crOpen, CLR_INVALID);
    EXPECT_NE(crOpen, crClosed);
    // Closed, the item shows the bar's ground, as the gap after the last
    // left item does a little further on.
    const COLORREF crGap = pixelAt(RunItem, Bar().GetItem(RunItem)->m_rcItem.right -
                                                Bar().GetItem(RunItem)->m_rcItem.left + 2, yMiddle);
    EXPECT_LE(std::abs(GetRValue(crClosed) - GetRValue(crGap)) + std::abs(GetGValue(crClosed) - GetGValue(crGap)) +
                  std::abs(GetBValue(crClosed) - GetBValue(crGap)),
              24);
}
TEST_F(SkinMenuBarTest, DockedLeftTheItemsStackAndTheArrowsFollowTheSide)
{
    m_pFrame->DockControlBar(&Bar(), AFX_IDW_DOCKBAR_LEFT);
    m_pFrame->RecalcLayout();
    PumpThroughFrame(m_pFrame);
    CRect rcClient;
    Bar().GetClientRect(rcClient);
    EXPECT_EQ(rcClient.Width(), ::GetSystemMetrics(SM_CYMENU));
    for (int i = 1; i < RunItem + 1; ++i)
        EXPECT_EQ(Bar().GetItem(i)->GetItemRect(TRUE).top, Bar().GetItem(i - 1)->GetItemRect(TRUE).bottom) << i;

    bool bOpensRight = false;
    std::vector<stBarState> states;
    CStepScript script({
        {[&] { return Bar().GetMode() == MENUBAR_MODE_HOT; },
         [&] {
             // Down moves along a vertical bar, Right opens.
             PostKey(WM_KEYDOWN, VK_DOWN);
             PostKey(WM_KEYDOWN, VK_RIGHT);
         }},
        {[&] { return PopupOpen(EditItem); }, [] {}},
        CStepScript::Pause(),
        {[] { return true; },
         [&] {
             states.push_back(State());
             CRect rcPopup, rcBar;
             ::GetWindowRect(ThreadPopupMenuWindow(), &rcPopup);
             Bar().GetWindowRect(rcBar);
             bOpensRight = rcPopup.left >= rcBar.right - 1;
             SavePicture(m_hFrame, L"docked-left-edit");
             PostKey(WM_KEYDOWN, VK_ESCAPE);
         }},
    });
    PostKey(WM_SYSKEYDOWN, VK_MENU, 1 << 29);
    PostKey(WM_SYSKEYUP, VK_MENU, 0xC0000000 | (1 << 29));
    Run(script);
    EXPECT_EQ(states, std::vector<stBarState>{(stBarState{MENUBAR_MODE_TRACKING, EditItem, EditItem})});
    EXPECT_TRUE(bOpensRight);
}

TEST_F(SkinMenuBarTest, FloatingTheBarTakesItsRememberedWidthAndCannotBeClosed)
{
    m_pFrame->FloatControlBar(&Bar(), CPoint(600, 80));
    PumpThroughFrame(m_pFrame);
    ASSERT_TRUE(Bar().IsFloating());
    CFrameWnd* pMini = Bar().m_pDockBar->GetParentFrame();
    ASSERT_NE(pMini, nullptr);
    const UINT nClose = ::GetMenuState(::GetSystemMenu(pMini->m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    EXPECT_NE(nClose & MF_GRAYED, 0u);
    // One row at first; a narrower committed width wraps the items.
    EXPECT_EQ(Bar().GetItem(HelpItem)->m_rcItem.top, 0);
    const CSize sizeNarrow = Bar().CalcDynamicLayout(150, LM_HORZ | LM_COMMIT);
    EXPECT_LT(Bar().m_nMRUWidth, 150);
    EXPECT_GE(sizeNarrow.cy, 2 * ::GetSystemMetrics(SM_CYMENU));
    pMini->RecalcLayout();
    PumpThroughFrame(m_pFrame);
    EXPECT_GT(Bar().GetItem(HelpItem)->m_rcItem.top, 0);
    // No size reported goes past the dock bars' limit.
    const CSize sizeHuge = Bar().CalcDynamicLayout(100000, LM_HORZ);
    EXPECT_LE(sizeHuge.cx, MENUBAR_MAX_EXTENT);

    CStepScript script({
        {[&] { return PopupOpen(HelpItem); }, [] {}},
        CStepScript::Pause(),
        {[] { return true; },
         [&] {
             SavePicture(pMini->m_hWnd, L"floating-help");
             PostKey(WM_KEYDOWN, VK_ESCAPE);
         }},
    });
    PostKey(WM_SYSKEYDOWN, 'H', 1 << 29);
    Run(script);
    EXPECT_EQ(m_pFrame->m_popupsOpened, std::vector<HMENU>{PopupOf(HelpItem)});
}

TEST_F(SkinMenuBarTest, NarrowFrameWrapsTheItemsOverTwoRows)
{
    ::DestroyWindow(m_hFrame);
    PumpPending();
    CreateFrame(CRect(30, 30, 200, 230));
    int nRows = 1;
    for (int i = 1; i < Bar().GetItemCount(); ++i)
        nRows += (Bar().GetItem(i)->m_nState & MBS_WRAP) != 0 ? 1 : 0;
    EXPECT_GE(nRows, 2);
    CRect rcClient;
    Bar().GetClientRect(rcClient);
    EXPECT_EQ(rcClient.Height(), nRows * ::GetSystemMetrics(SM_CYMENU));
    EXPECT_EQ(Bar().GetItem(HelpItem)->m_rcItem.right, rcClient.right);

    CStepScript script({
        {[&] { return PopupOpen(HelpItem); }, [] {}},
        CStepScript::Pause(),
        {[] { return true; },
         [&] {
             SavePicture(m_hFrame, L"wrapped-help");
             PostKey(WM_KEYDOWN, VK_ESCAPE);
         }},
    });
    PostKey(WM_SYSKEYDOWN, 'H', 1 << 29);
    Run(script);
    EXPECT_EQ(m_pFrame->m_popupsOpened, std::vector<HMENU>{PopupOf(HelpItem)});
}

// Hovering highlights an item; once the pointer is off the bar the hover
// timer takes the highlight away.
TEST_F(SkinMenuBarTest, HoverHighlightsAnItemUntilThePointerIsOffTheBar)
{
    POINT ptCursor;
    ASSERT_TRUE(::GetCursorPos(&ptCursor));
    CRect rcBar;
    Bar().GetWindowRect(rcBar);
    ASSERT_FALSE(rcBar.PtInRect(ptCursor)) << "the pointer rests on the bar";
    const POINT pt = ItemCentre(EditItem, false);
    Bar().SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    EXPECT_EQ(State(), (stBarState{MENUBAR_MODE_HOT, EditItem, EditItem}));
    EXPECT_NE(Bar().GetItem(EditItem)->m_nState & MBS_HOT, 0u);
    EXPECT_TRUE(PumpThroughFrameUntil(m_pFrame, [&] { return Bar().GetMode() == MENUBAR_MODE_NONE; }, 5000));
    EXPECT_EQ(Bar().GetItem(EditItem)->m_nState & MBS_HOT, 0u);
}

// A bar without the dynamic style stretches along its side.
TEST_F(SkinMenuBarTest, FixedSizeBarStretchesAlongItsSide)
{
    ::DestroyWindow(m_hFrame);
    PumpPending();
    CreateFrame(CRect(30, 30, 530, 330), CBRS_TOP);
    const CSize size = Bar().CalcFixedLayout(TRUE, TRUE);
    EXPECT_EQ(size.cx, MENUBAR_MAX_EXTENT);
    EXPECT_EQ(size.cy, ::GetSystemMetrics(SM_CYMENU) + 1);
    CRect rcBar, rcDock;
    Bar().GetWindowRect(rcBar);
    Bar().m_pDockBar->GetClientRect(rcDock);
    EXPECT_EQ(rcBar.Width(), rcDock.Width());
}

// The bar may go before its frame: the frame gets its own procedure back.
TEST_F(SkinMenuBarTest, FrameOutlivesItsBar)
{
    const LONG_PTR pfnBefore = ::GetWindowLongPtrW(m_hFrame, GWLP_WNDPROC);
    Bar().DestroyWindow();
    EXPECT_NE(::GetWindowLongPtrW(m_hFrame, GWLP_WNDPROC), pfnBefore);
    EXPECT_EQ(::SendMessageW(m_hFrame, CSkinMenuBar::GetMenuMessage(), 0, 0), 0);
    ::SendMessageW(m_hFrame, WM_SYSCOLORCHANGE, 0, 0);
    PumpThroughFrame(m_pFrame);
    EXPECT_TRUE(::IsWindow(m_hFrame));
}

// Sees which message the library says is being handled when its frame
// procedure gets one.
class CRecordingMenuBar : public CSkinMenuBar
{
public:
    LRESULT FrameWindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) override
    {
        if (nMsg == WM_APP)
            m_stSeen = *CWnd::GetCurrentMessage();
        return CSkinMenuBar::FrameWindowProc(hWnd, nMsg, wParam, lParam);
    }
    MSG m_stSeen = {};
};

using SkinMenuBarSubclassTest = MenuHookTest;

TEST_F(SkinMenuBarSubclassTest, FrameProcedureRecordsItsMessageAndRestoresTheOuterOne)
{
    auto* pFrame = new CFrameWnd;
    ASSERT_TRUE(pFrame->Create(nullptr, L"Subclassed", WS_OVERLAPPEDWINDOW, CRect(30, 30, 330, 230)));
    CRecordingMenuBar bar;
    ASSERT_TRUE(bar.Create(pFrame, WS_CHILD | WS_VISIBLE | CBRS_TOP));
    ASSERT_EQ(CSkinMenuBarSubclass::BarOf(pFrame->m_hWnd), &bar);
    {
        // A handler of another window sends the frame a message.
        CCurrentMessageScope outer(bar.m_hWnd, WM_TIMER, 1, 2);
        ::SendMessageW(pFrame->m_hWnd, WM_APP, 7, 8);
        EXPECT_EQ(bar.m_stSeen.hwnd, pFrame->m_hWnd);
        EXPECT_EQ(bar.m_stSeen.message, UINT(WM_APP));
        EXPECT_EQ(bar.m_stSeen.wParam, WPARAM(7));
        EXPECT_EQ(bar.m_stSeen.lParam, LPARAM(8));
        const MSG* pAfter = CWnd::GetCurrentMessage();
        EXPECT_EQ(pAfter->hwnd, bar.m_hWnd);
        EXPECT_EQ(pAfter->message, UINT(WM_TIMER));
        EXPECT_EQ(pAfter->lParam, LPARAM(2));
    }
    pFrame->DestroyWindow();
    PumpPending();
}

class SkinMenuBarThemeTest : public SkinMenuBarTest, public ::testing::WithParamInterface<int>
{
protected:
    int ThemeId() const override { return GetParam(); }
};

// Pictures of each theme's bar with a popup open are taken where no other
// window can cover them (tests/guitoolkit/bars.steps).
TEST_P(SkinMenuBarThemeTest, DockedBarOpensItsPopup)
{
    ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), GetParam());
    CStepScript script({
        {[&] { return PopupOpen(FileItem); }, [&] { PostKey(WM_KEYDOWN, VK_ESCAPE); }},
    });
    PostKey(WM_SYSKEYDOWN, 'F', 1 << 29);
    Run(script);
    EXPECT_EQ(m_pFrame->m_popupsOpened, std::vector<HMENU>{PopupOf(FileItem)});
}

INSTANTIATE_TEST_SUITE_P(Themes, SkinMenuBarThemeTest, ::testing::Values(1, 3, 5, 7, 9, 11));
} // namespace
