#include "classlib/Controls.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinToolBar.h"
#include "guitoolkit/StatusBarACT.h"

#include "GuiTestSupport.h"
#include "InjectedCursor.h"
#include "MenuPaintSupport.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace
{
constexpr UINT ComboID = 1310;

// A frame with a tool bar (one button hot, one disabled, a combo box on a
// separator) and a two-pane status bar, pictured in every theme.
class BarsPictureTest : public MenuHookTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(BarsPictureTest, FrameWithBothBars)
{
    const int nThemeId = GetParam();
    // Under Wine the even themes give way to the odd ones.
    ToolkitEnvironment().bWine = false;
    CSkinMenu::SelectTheme(nThemeId);
    ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), nThemeId);

    auto* pFrame = new CSkinFrameWnd;
    ASSERT_TRUE(pFrame->Create(nullptr, L"Bars", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(40, 40, 520, 300), nullptr,
                               L"FRAMEMENU"));
    CSkinToolBar toolBar;
    ASSERT_TRUE(toolBar.Create(pFrame, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER));
    ASSERT_TRUE(toolBar.LoadToolBar(130));
    CComboBox combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, CRect(0, 0, 110, 200), &toolBar, ComboID));
    combo.AddString(L"Quick");
    combo.SendMessage(CB_SETCURSEL, 0);
    ASSERT_TRUE(toolBar.InsertControl(2, &combo, 0));
    toolBar.SetButtonStyle(toolBar.CommandToIndex(1303), toolBar.GetButtonStyle(toolBar.CommandToIndex(1303)) |
                                                             TBBS_DISABLED);
    CStatusBarACT statusBar;
    ASSERT_TRUE(statusBar.Create(pFrame, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR, SBARS_SIZEGRIP));
    const stStatusPane panes[] = {{ID_SEPARATOR, nullptr, 0x0002, nullptr}, {1301, nullptr, 0x0002, nullptr}};
    ASSERT_TRUE(statusBar.SetIndicators(panes, 2));
    statusBar.SetPaneText(0, L"Ready\nMessages of the service");
    statusBar.SetPaneText(1, L"Computer: WORKSTATION");
    statusBar.AutoSizePane(1);

    toolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableSkinDocking(pFrame, CBRS_ALIGN_ANY);
    pFrame->DockControlBar(&toolBar, AFX_IDW_DOCKBAR_TOP);
    pFrame->RecalcLayout();
    // The pointer over the first button while the combo box has the focus.
    CRect rcHot;
    toolBar.GetItemRect(0, rcHot);
    PlaceInjectedCursor(toolBar.m_hWnd, rcHot.CenterPoint());
    combo.SetFocus();
    pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(PumpUntil([&] { return combo.IsWindowVisible() != FALSE; }));
    PumpPending();

    const wchar_t* pszDir = _wgetenv(L"VF_SCREENSHOT_DIR");
    if (pszDir != nullptr)
        ::CreateDirectoryW((std::wstring(pszDir) + L"\\bars").c_str(), nullptr);
    auto picture = [&](const wchar_t* pszKind, HWND hWnd) {
        if (pszDir != nullptr)
        {
            std::wstring strName = L"bars\\" + std::wstring(pszKind) + std::to_wstring(nThemeId);
            EXPECT_TRUE(SaveWindowPicture(hWnd, strName.c_str()));
        }
    };
    picture(L"theme", pFrame->m_hWnd);

    // Down the left side, without the combo box; then floating in rows.
    pFrame->DockControlBar(&toolBar, AFX_IDW_DOCKBAR_LEFT);
    pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(PumpUntil([&] { return combo.IsWindowVisible() == FALSE; }));
    PumpPending();
    picture(L"left-theme", pFrame->m_hWnd);
    toolBar.SetBarStyle(toolBar.GetBarStyle() | CBRS_SIZE_DYNAMIC);
    toolBar.m_nMRUWidth = 170;
    pFrame->FloatControlBar(&toolBar, CPoint(600, 300));
    HWND hMini = ::GetAncestor(toolBar.m_hWnd, GA_ROOT);
    ::RedrawWindow(hMini, nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    picture(L"float-theme", hMini);
    pFrame->DestroyWindow();
    PumpPending();
}

INSTANTIATE_TEST_SUITE_P(Themes, BarsPictureTest, ::testing::Range(0, 12));
} // namespace
