// A skin frame with the menu bar, the tool bar (its first button hot, one
// disabled, a combo box on a separator) and the status bar in one theme, for
// pictures taken by the GUI harness. Commands, each ending with a title that
// names the state once it is painted:
//   100 + N   a new frame in theme N, the tool bar docked across ("Bars: N top");
//   2, 1      the tool bar floating over the frame, then down its left side
//             ("Bars: N floating", "Bars: N left");
//   3         the tool bar back across and the menu bar's File popup open with
//             its first item highlighted ("Bars: N menu");
//   57665     the end of the program.
#include "classlib/Controls.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuBar.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/SkinToolBar.h"
#include "guitoolkit/StatusBarACT.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "../InjectedCursor.h"
#include "DemoWindowClass.h"

#include <memory>
#include <string>

namespace
{
constexpr UINT ThemeCommand = 100;
constexpr UINT LeftCommand = 1;
constexpr UINT FloatCommand = 2;
constexpr UINT MenuCommand = 3;
constexpr UINT ExitCommand = 57665;
constexpr UINT ComboID = 1310;
constexpr UINT DisabledButton = 1303;
constexpr UINT MenuTimerMs = 50;
// The X server shows a window some time after Wine painted it.
constexpr int SettleTicks = 4;

class CBarsFrame : public CSkinFrameWnd
{
public:
    explicit CBarsFrame(int nThemeId) : m_nThemeId(nThemeId) {}

    BOOL MakeBars()
    {
        EnableSkinDocking(this, CBRS_ALIGN_ANY);
        if (!m_menuBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_SIZE_DYNAMIC))
            return FALSE;
        m_menuBar.EnableDocking(CBRS_ALIGN_ANY);
        DockControlBar(&m_menuBar, AFX_IDW_DOCKBAR_TOP);
        // The idle update hands the frame's menu to the bar.
        m_menuBar.SendMessage(WM_IDLEUPDATECMDUI, TRUE);
        if (!m_toolBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER) || !m_toolBar.LoadToolBar(130))
            return FALSE;
        if (!m_combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, CRect(0, 0, 110, 200), &m_toolBar, ComboID))
            return FALSE;
        m_combo.AddString(L"Quick");
        m_combo.SendMessage(CB_SETCURSEL, 0);
        if (!m_toolBar.InsertControl(2, &m_combo, 0))
            return FALSE;
        const int nDisabled = m_toolBar.CommandToIndex(DisabledButton);
        m_toolBar.SetButtonStyle(nDisabled, m_toolBar.GetButtonStyle(nDisabled) | TBBS_DISABLED);
        if (!m_statusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR, SBARS_SIZEGRIP))
            return FALSE;
        const stStatusPane panes[] = {{ID_SEPARATOR, nullptr, 0x0002, nullptr}, {1301, nullptr, 0x0002, nullptr}};
        if (!m_statusBar.SetIndicators(panes, 2))
            return FALSE;
        m_statusBar.SetPaneText(0, L"Ready\nMessages of the service");
        m_statusBar.SetPaneText(1, L"Computer: WORKSTATION");
        m_statusBar.AutoSizePane(1);
        m_toolBar.EnableDocking(CBRS_ALIGN_ANY);
        DockControlBar(&m_toolBar, AFX_IDW_DOCKBAR_TOP);
        return TRUE;
    }

    // Paints everything, the floating bar's frame too, and then names the state.
    void Show(const wchar_t* pszState)
    {
        RecalcLayout();
        // The pointer over the first button while the combo box has the focus.
        CRect rcHot;
        m_toolBar.GetItemRect(0, rcHot);
        PlaceInjectedCursor(m_toolBar.m_hWnd, rcHot.CenterPoint());
        if (m_combo.IsWindowVisible())
            m_combo.SetFocus();
        else
            SetFocus();
        const UINT nRedraw = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME | RDW_UPDATENOW;
        ::RedrawWindow(m_hWnd, nullptr, NULL, nRedraw);
        if (m_toolBar.IsFloating())
            ::RedrawWindow(::GetAncestor(m_toolBar.m_hWnd, GA_ROOT), nullptr, NULL, nRedraw);
        SetWindowText((L"Bars: " + std::to_wstring(m_nThemeId) + L" " + pszState).c_str());
    }

    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (m_menuBar.m_hWnd != NULL && m_menuBar.TranslateFrameMessage(pMsg))
            return TRUE;
        return CSkinFrameWnd::PreTranslateMessage(pMsg);
    }

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    static void CALLBACK MenuTick(HWND, UINT, UINT_PTR, DWORD);
    void OpenFileMenu();

    int m_nThemeId;
    CSkinMenuBar m_menuBar;
    CSkinToolBar m_toolBar;
    CComboBox m_combo;
    CStatusBarACT m_statusBar;
    UINT_PTR m_nMenuTimer = 0;
    int m_nMenuStage = 0;

    static CBarsFrame* s_pMenuFrame;
};

CBarsFrame* CBarsFrame::s_pMenuFrame = nullptr;

// Makes a frame in the theme; null when it cannot. Under Wine an even theme
// gives way to the odd one after it: here every theme is shown as it is.
CBarsFrame* MakeFrame(int nThemeId)
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    const bool bWine = stEnv.bWine;
    stEnv.bWine = false;
    CSkinMenu::SelectTheme(static_cast<UINT>(nThemeId));
    stEnv.bWine = bWine;
    if (CSkinMenu::GetCurrentThemeId() != nThemeId)
        return nullptr;
    auto* pFrame = new CBarsFrame(nThemeId);
    if (!pFrame->Create(L"VfBarsDemo", L"Bars", WS_OVERLAPPEDWINDOW, CRect(40, 40, 560, 340), nullptr, L"BARMENU"))
        return nullptr;
    if (!pFrame->MakeBars())
    {
        pFrame->DestroyWindow();
        return nullptr;
    }
    pFrame->ShowWindow(SW_SHOW);
    pFrame->Show(L"top");
    return pFrame;
}

BOOL CBarsFrame::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nCode != CN_COMMAND)
        return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
    if (nID == ExitCommand)
    {
        DestroyWindow();
        return TRUE;
    }
    if (nID >= ThemeCommand && nID < ThemeCommand + 12)
    {
        // The new frame becomes the program's before this one goes.
        CBarsFrame* pNext = MakeFrame(static_cast<int>(nID - ThemeCommand));
        if (pNext == nullptr)
            return TRUE;
        CWinApp::GetApp()->m_pMainWnd = pNext;
        DestroyWindow();
        return TRUE;
    }
    if (nID == LeftCommand)
    {
        DockControlBar(&m_toolBar, AFX_IDW_DOCKBAR_LEFT);
        Show(L"left");
        return TRUE;
    }
    if (nID == FloatCommand)
    {
        m_toolBar.SetBarStyle(m_toolBar.GetBarStyle() | CBRS_SIZE_DYNAMIC);
        m_toolBar.m_nMRUWidth = 170;
        CRect rc;
        GetWindowRect(rc);
        FloatControlBar(&m_toolBar, CPoint(rc.left + 200, rc.top + 140));
        Show(L"floating");
        return TRUE;
    }
    if (nID == MenuCommand)
    {
        DockControlBar(&m_toolBar, AFX_IDW_DOCKBAR_TOP);
        RecalcLayout();
        OpenFileMenu();
        return TRUE;
    }
    return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
}

// Alt+F as the keyboard gives it; a timer, which also runs inside the
// popup's menu loop, then moves to the first item and names the state.
void CBarsFrame::OpenFileMenu()
{
    s_pMenuFrame = this;
    m_nMenuStage = 0;
    m_nMenuTimer = ::SetTimer(NULL, 0, MenuTimerMs, &CBarsFrame::MenuTick);
    ::PostMessageW(m_hWnd, WM_SYSKEYDOWN, 'F', 1 | (1 << 29));
}

void CALLBACK CBarsFrame::MenuTick(HWND, UINT, UINT_PTR, DWORD)
{
    CBarsFrame* pFrame = s_pMenuFrame;
    if (pFrame == nullptr || pFrame->m_hWnd == NULL)
        return;
    HMENU hFile = ::GetSubMenu(pFrame->m_menuBar.GetMenu(), 0);
    if (pFrame->m_nMenuStage == 0)
    {
        if (pFrame->m_menuBar.GetTrackedPopup() != hFile || hFile == NULL)
            return;
        ::PostMessageW(pFrame->m_hWnd, WM_KEYDOWN, VK_DOWN, 1);
        pFrame->m_nMenuStage = 1;
        return;
    }
    if (!(::GetMenuState(hFile, 0, MF_BYPOSITION) & MF_HILITE))
        return;
    if (++pFrame->m_nMenuStage < 1 + SettleTicks)
        return;
    ::KillTimer(NULL, pFrame->m_nMenuTimer);
    pFrame->m_nMenuTimer = 0;
    s_pMenuFrame = nullptr;
    pFrame->SetWindowText((L"Bars: " + std::to_wstring(pFrame->m_nThemeId) + L" menu").c_str());
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CWinApp app;
    if (!RegisterDemoWindowClass(L"VfBarsDemo"))
        return 1;
    auto pHook = std::make_unique<CSkinMenuHook>();
    // Bars take their colours only once a style is applied.
    ToolkitEnvironment().bModernStyle = 0;
    CBarsFrame* pFrame = MakeFrame(0);
    if (pFrame == nullptr)
        return 1;
    app.m_pMainWnd = pFrame;
    return app.Run();
}
