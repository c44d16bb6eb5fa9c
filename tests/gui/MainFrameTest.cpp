#include "gui/DefragOutputView.h"
#include "gui/MainFrame.h"
#include "gui/Resource.h"

#include "classlib/View.h"
#include "classlib/WinApp.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <string>
#include <vector>

namespace
{
constexpr DWORD FrameStyle = 0xCF8000;

struct stConnectCall
{
    std::wstring strName;
    std::wstring strAddress;
    std::wstring strPort;
    BOOL bStopRetry;
};

CWnd* NewPlainListView()
{
    return new CView;
}

// The frame with the system and the drive list answered by the test.
class CTestMainFrame : public CMainFrame
{
public:
    std::wstring m_strCommandLine = L"Varnefold.exe";
    BOOL m_bAdministrator = TRUE;
    BOOL m_bSendSucceeds = TRUE;
    bool m_bRealVersionFile = false;
    bool m_bRealListView = false;
    std::vector<stConnectCall> m_connects;
    std::vector<int> m_sentCodes;
    std::vector<std::pair<std::wstring, std::wstring>> m_shellExecutes;
    std::vector<std::pair<std::wstring, std::wstring>> m_processes;
    std::wstring m_strVersionFileAsked;
    std::vector<int> m_styles;
    std::vector<UINT> m_commands;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nCode == CN_COMMAND)
            m_commands.push_back(nID);
        return CMainFrame::HandleCommand(nID, nCode, pExtra);
    }
    WndFactory ListViewFactory() const override
    {
        return m_bRealListView ? CMainFrame::ListViewFactory() : NewPlainListView;
    }
    BOOL ListConnect(const wchar_t* pszName, const wchar_t* pszAddress, const wchar_t* pszPort,
                     BOOL bStopRetry) override
    {
        m_connects.push_back({pszName, pszAddress, pszPort, bStopRetry});
        return m_bRealListView ? CMainFrame::ListConnect(pszName, pszAddress, pszPort, bStopRetry) : TRUE;
    }
    BOOL ListSendBareCommand(int nCode) override
    {
        m_sentCodes.push_back(nCode);
        return m_bSendSucceeds;
    }
    void ListSetStyle(int nStyle) override { m_styles.push_back(nStyle); }
    BOOL IsAdministrator() const override { return m_bAdministrator; }
    CString CommandLine() const override { return CString(m_strCommandLine.c_str()); }
    HINSTANCE OpenWithShell(const wchar_t* pszFile, const wchar_t* pszParameters) override
    {
        m_shellExecutes.emplace_back(pszFile, pszParameters != nullptr ? pszParameters : L"");
        return reinterpret_cast<HINSTANCE>(33);
    }
    BOOL StartProcess(const wchar_t* pszApplication, wchar_t* pszCommandLine) override
    {
        m_processes.emplace_back(pszApplication, pszCommandLine);
        return TRUE;
    }
    BOOL ReadProductVersion(const wchar_t* pszFile, CString& strVersion) const override
    {
        const_cast<CTestMainFrame*>(this)->m_strVersionFileAsked = pszFile;
        if (m_bRealVersionFile)
            return CMainFrame::ReadProductVersion(pszFile, strVersion);
        strVersion = L"1.0.0.0";
        return TRUE;
    }
};

std::wstring ProgramPath()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    return szPath;
}

std::wstring ProgramFolder()
{
    std::wstring strPath = ProgramPath();
    return strPath.substr(0, strPath.rfind(L'\\') + 1);
}

// The Run value, or "<none>" when it is missing.
std::wstring ReadRunValue()
{
    wchar_t szValue[1024] = {};
    DWORD cbValue = sizeof(szValue);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, CMainFrame::RunKey, CMainFrame::RunValueName, RRF_RT_REG_SZ, nullptr,
                       szValue, &cbValue) != ERROR_SUCCESS)
        return L"<none>";
    return szValue;
}

DWORD ReadWindowValue(const wchar_t* pszName, DWORD dwDefault)
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (::RegGetValueW(HKEY_CURRENT_USER, FrameSettingsKey, pszName, RRF_RT_REG_DWORD, nullptr, &dwValue,
                       &cbValue) != ERROR_SUCCESS)
        return dwDefault;
    return dwValue;
}

std::wstring MenuText(HMENU hMenu, int nPos)
{
    wchar_t szText[128] = {};
    ::GetMenuStringW(hMenu, nPos, szText, 128, MF_BYPOSITION);
    return szText;
}

std::vector<UINT> MenuIds(HMENU hMenu)
{
    std::vector<UINT> ids;
    for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
        ids.push_back(::GetMenuItemID(hMenu, i));
    return ids;
}

class MainFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FrameSettingsKey);
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, CMainFrame::RunKey, CMainFrame::RunValueName);
        // A window that shows itself must not hide behind another test's.
        SetValue(L"Left", 60);
        SetValue(L"Top", 50);
        SetValue(L"Right", 700);
        SetValue(L"Bottom", 520);
    }
    void TearDown() override
    {
        if (::IsWindow(m_hFrame))
            ::DestroyWindow(m_hFrame);
        m_app.m_pMainWnd = nullptr;
        PumpPending();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FrameSettingsKey);
    }

    static void SetValue(const wchar_t* pszName, DWORD dwValue)
    {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, FrameSettingsKey, pszName, REG_DWORD, &dwValue, sizeof(dwValue));
    }
    static void DeleteValue(const wchar_t* pszName)
    {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, FrameSettingsKey, pszName);
    }

    // The frame as the program makes it; null when it failed.
    CTestMainFrame* MakeFrame(const wchar_t* pszCommandLine = L"Varnefold.exe", BOOL bAdministrator = TRUE,
                              bool bRealShell = false, bool bRealListView = false)
    {
        auto* pFrame = new CTestMainFrame;
        pFrame->m_bRealListView = bRealListView;
        pFrame->m_strCommandLine = pszCommandLine;
        pFrame->m_bAdministrator = bAdministrator;
        // The shell answers at once: Wine's takes seconds to remove an icon.
        if (!bRealShell)
            pFrame->GetTrayIcon().SetNotifyFunction([](DWORD, NOTIFYICONDATAW*) { return TRUE; });
        if (!pFrame->LoadFrame(IDR_MAINFRAME, FrameStyle))
            return nullptr;
        m_hFrame = pFrame->m_hWnd;
        m_app.m_pMainWnd = pFrame;
        PumpPending();
        return pFrame;
    }
    bool FrameExists() const { return ::IsWindow(m_hFrame) != FALSE; }
    bool FrameVisible() const { return ::IsWindowVisible(m_hFrame) != FALSE; }
    void DoubleClickTray() const
    {
        ::SendMessageW(m_hFrame, WM_TRAYNOTIFY, CMainFrame::TrayIconId, WM_LBUTTONDBLCLK);
    }
    // The tray menu as it would open now: (text of Pause, grayed).
    std::pair<std::wstring, bool> TrayPauseItem(CMainFrame* pFrame) const
    {
        CSkinMenu menu;
        EXPECT_TRUE(menu.LoadMenu(IDR_TRAY));
        CMenu* pPopup = menu.GetSubMenu(0);
        pFrame->GetTrayIcon().PrepareMenu(pPopup);
        CSkinMenuItemData* pItem = menu.FindItemData(ID_TRAY_PAUSE);
        UINT nState = ::GetMenuState(pPopup->m_hMenu, ID_TRAY_PAUSE, MF_BYCOMMAND);
        return {pItem != nullptr ? pItem->m_strText.Str() : L"<none>", (nState & MF_GRAYED) != 0};
    }

    CWinApp m_app;
    HWND m_hFrame = NULL;
};

TEST_F(MainFrameTest, ToolbarCarriesTheButtonsAndTheStrategyComboAtStopsPlace)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    CSkinToolBar& toolBar = pFrame->GetToolBar();
    const std::vector<UINT> expected = {ID_DEFRAG_ANALYZE,   ID_DEFRAG_CHECKDISK,      0,
                                        ID_DEFRAG_START,     ID_STRATEGY_COMBO,        ID_DEFRAG_STOP,
                                        0,                   ID_DEFRAG_MONITOR,        0,
                                        ID_VIEW_CLUSTERVIEW, 0,                        ID_VIEW_FRAGMENTED_FILES,
                                        ID_VIEW_DRIVE_INFO,  0,                        ID_APP_ABOUT};
    std::vector<UINT> ids;
    for (int i = 0; i < toolBar.GetCount(); ++i)
        ids.push_back(toolBar.GetItemID(i));
    EXPECT_EQ(ids, expected);
    UINT nID = 0, nStyle = 0;
    int iImage = 0;
    toolBar.GetButtonInfo(4, nID, nStyle, iImage);
    EXPECT_TRUE(nStyle & TBBS_SEPARATOR) << "the combo sits on a separator";
    EXPECT_EQ(toolBar.GetButtonSize(), CSize(31, 31));
    EXPECT_EQ(toolBar.GetImageSize(), CSize(20, 20));

    CComboBox& combo = pFrame->GetStrategyCombo();
    EXPECT_EQ(::GetParent(combo.m_hWnd), toolBar.m_hWnd);
    EXPECT_EQ(combo.GetDlgCtrlID(), ID_STRATEGY_COMBO);
    ASSERT_EQ(combo.GetCount(), 3);
    const UINT strings[] = {IDS_DEFRAGMENT, IDS_DEFRAGMENT_SMART, IDS_DEFRAGMENT_SMART_M};
    for (int i = 0; i < 3; ++i)
    {
        CString strText;
        strText.LoadString(strings[i]);
        EXPECT_EQ(combo.GetLBText(i), strText) << i;
        EXPECT_EQ(combo.GetItemData(i), DWORD_PTR(i)) << i;
    }
    EXPECT_EQ(combo.GetCurSel(), 0) << "DefaultDefragMethod missing";
    CRect rcSeparator;
    toolBar.GetItemRect(4, rcSeparator);
    EXPECT_EQ(rcSeparator.Width(), 150);
}

TEST_F(MainFrameTest, MenusAreTrimmedAndAcceleratorsLoaded)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    // The idle update hands the window's menu to the menu bar.
    pFrame->GetMenuBar().SendMessage(WM_IDLEUPDATECMDUI, TRUE);
    PumpPending();
    HMENU hMenu = pFrame->GetFrameMenu();
    ASSERT_NE(hMenu, HMENU(NULL));
    EXPECT_EQ(pFrame->GetMenuBar().GetMenu(), hMenu);
    EXPECT_EQ(pFrame->GetMenuBar().GetItemCount(), 4);
    EXPECT_EQ(MenuIds(::GetSubMenu(hMenu, 0)), std::vector<UINT>{ID_APP_EXIT});
    EXPECT_EQ(MenuIds(::GetSubMenu(hMenu, 1)), std::vector<UINT>{ID_EDIT_CONFIGURATION});
    std::vector<UINT> view = MenuIds(::GetSubMenu(hMenu, 2));
    ASSERT_EQ(view.size(), 10u);
    EXPECT_EQ(view.front(), UINT(ID_VIEW_CLUSTERVIEW));
    for (UINT nGone : {ID_FILE_CONNECT, ID_FILE_DISCONNECT, ID_FILE_SET_PASSWORD, ID_VIEW_NETWORK_INTERFACE,
                       ID_VIEW_SERVICE_INFO})
        EXPECT_EQ(::GetMenuState(hMenu, nGone, MF_BYCOMMAND), UINT(-1)) << nGone;
    EXPECT_EQ(MenuText(hMenu, 3), L"&Help");

    HACCEL hAccel = pFrame->GetDefaultAccelerator();
    ASSERT_NE(hAccel, HACCEL(NULL));
    std::vector<ACCEL> accels(::CopyAcceleratorTableW(hAccel, nullptr, 0));
    ASSERT_EQ(accels.size(), 13u);
    ::CopyAcceleratorTableW(hAccel, accels.data(), static_cast<int>(accels.size()));
    bool bF10 = false;
    for (const ACCEL& accel : accels)
        bF10 |= accel.key == VK_F10 && accel.cmd == ID_VIEW_DRIVE_INFO;
    EXPECT_TRUE(bF10);

    // F10 comes as a system key; the frame's table takes it before the menu.
    MSG stMsg = {};
    stMsg.hwnd = m_hFrame;
    stMsg.message = WM_SYSKEYDOWN;
    stMsg.wParam = VK_F10;
    stMsg.lParam = 0x00440001;
    EXPECT_TRUE(pFrame->PreTranslateMessage(&stMsg));
    PumpPending();
    EXPECT_EQ(pFrame->m_commands, std::vector<UINT>{ID_VIEW_DRIVE_INFO});
}

TEST_F(MainFrameTest, StatusBarHasTheComputerPane)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    CStatusBarACT& statusBar = pFrame->GetStatusBar();
    ASSERT_EQ(statusBar.GetCount(), 2);
    EXPECT_EQ(statusBar.GetItemID(1), UINT(ID_INDICATOR_COMPUTER));
    pFrame->SetComputerText(L"A-LONGER-COMPUTER-NAME");
    pFrame->SetMessageText(L"Ready");
    EXPECT_EQ(statusBar.GetPaneText(1), L"A-LONGER-COMPUTER-NAME");
    EXPECT_EQ(statusBar.GetPaneText(0), L"Ready");
}

// The look set again gives the frame its own menu, which the menu bar takes over on the next
// idle update: the client area moves down and back up within the window, and the system moves
// the pixels with it. What the frame shows afterwards must be what it paints anew.
TEST_F(MainFrameTest, MenuTakenOverByTheBarLeavesNoStalePixels)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    pFrame->SetComputerText(L"VM");
    pFrame->SetMessageText(L"Ready");
    auto settledPicture = [this]() {
        CScreenPicture picture = CScreenPicture::OfWindow(m_hFrame);
        for (int nTry = 0; nTry < 20; ++nTry)
        {
            PumpPending();
            ::Sleep(50);
            CScreenPicture next = CScreenPicture::OfWindow(m_hFrame);
            bool bSame = next.SameAs(picture);
            picture = std::move(next);
            if (bSame)
                break;
        }
        return picture;
    };
    // At the start the frame still has its own menu; later it has it again from the look.
    if (::GetMenu(m_hFrame) == NULL)
    {
        ASSERT_TRUE(::SetMenu(m_hFrame, pFrame->GetMenuBar().GetMenu()));
    }
    settledPicture();
    pFrame->GetMenuBar().SendMessage(WM_IDLEUPDATECMDUI, TRUE);
    ASSERT_EQ(::GetMenu(m_hFrame), nullptr) << "the bar took the menu";
    CScreenPicture after = settledPicture();

    pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    CScreenPicture repainted = settledPicture();
    ASSERT_FALSE(repainted.Empty());
    EXPECT_TRUE(after.SameAs(repainted)) << "parts of the frame kept pixels from before the menu went";
    SaveWindowPicture(m_hFrame, L"frame_after_menu_taken");
}

TEST_F(MainFrameTest, CreationConnectsToTheLocalComputerByItsUpperCaseName)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    wchar_t szName[256] = {};
    DWORD dwChars = 255;
    ASSERT_TRUE(::GetComputerNameW(szName, &dwChars));
    CString strExpected = szName;
    strExpected.MakeUpper();
    ASSERT_EQ(pFrame->m_connects.size(), 1u);
    EXPECT_EQ(pFrame->m_connects[0].strName, strExpected.Str());
    EXPECT_EQ(pFrame->m_connects[0].strAddress, L"0");
    EXPECT_EQ(pFrame->m_connects[0].strPort, L"0");
    EXPECT_TRUE(pFrame->m_connects[0].bStopRetry);
    EXPECT_EQ(pFrame->m_styles, std::vector<int>{2}) << "the default style reaches the drive list";
    EXPECT_EQ(pFrame->GetListViewWnd(), pFrame->GetActiveView());
    EXPECT_FALSE(pFrame->GetOutputView()->IsWindowVisible()) << "the map row starts hidden";
}

TEST_F(MainFrameTest, TheDriveListIsRowZeroAndFindsNoServiceHere)
{
    CTestMainFrame* pFrame = MakeFrame(L"Varnefold.exe", TRUE, false, true);
    ASSERT_NE(pFrame, nullptr);
    ASSERT_NE(pFrame->GetListView(), nullptr);
    EXPECT_EQ(pFrame->GetListViewWnd(), pFrame->GetActiveView());
    ASSERT_EQ(pFrame->m_connects.size(), 1u);
    EXPECT_FALSE(pFrame->IsConnectedTo(pFrame->m_connects[0].strName.c_str())) << "no service runs in this test";
    CString strReady;
    strReady.LoadString(IDS_READY);
    EXPECT_EQ(pFrame->GetStatusBar().GetPaneText(0), strReady);
    EXPECT_NE(pFrame->GetStatusBar().GetPaneText(1).Str(), pFrame->m_connects[0].strName);
}

struct stPlacementCase
{
    const wchar_t* pszName;
    LONG nShow, nLeft, nTop, nRight, nBottom;
    bool bCentred;
};

class FramePlacementTest : public MainFrameTest, public ::testing::WithParamInterface<stPlacementCase>
{
};

TEST_P(FramePlacementTest, StoredRectangleOrCentred)
{
    const stPlacementCase& stCase = GetParam();
    SetValue(L"Show", static_cast<DWORD>(stCase.nShow));
    SetValue(L"Left", static_cast<DWORD>(stCase.nLeft));
    SetValue(L"Top", static_cast<DWORD>(stCase.nTop));
    SetValue(L"Right", static_cast<DWORD>(stCase.nRight));
    SetValue(L"Bottom", static_cast<DWORD>(stCase.nBottom));
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_TRUE(FrameVisible());
    CRect rcWindow, rcWork;
    ::GetWindowRect(m_hFrame, &rcWindow);
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0));
    if (stCase.bCentred)
    {
        EXPECT_NEAR((rcWindow.left + rcWindow.right) / 2, (rcWork.left + rcWork.right) / 2, 1);
        EXPECT_NEAR((rcWindow.top + rcWindow.bottom) / 2, (rcWork.top + rcWork.bottom) / 2, 1);
    }
    else
    {
        EXPECT_EQ(rcWindow, CRect(stCase.nLeft, stCase.nTop, stCase.nRight, stCase.nBottom));
    }
    EXPECT_FALSE(::GetWindowLongW(m_hFrame, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FramePlacementTest,
    ::testing::Values(stPlacementCase{L"Stored", 1, 80, 60, 680, 500, false},
                      stPlacementCase{L"LeftEqualsRight", 1, 100, 60, 100, 500, true},
                      stPlacementCase{L"ShowMinusOne", -1, 80, 60, 680, 500, true},
                      stPlacementCase{L"NegativeLeft", 1, -5, 60, 680, 500, true},
                      stPlacementCase{L"TopBelowBottom", 1, 80, 500, 680, 60, true}),
    [](const auto& info) { return std::string(info.param.pszName, info.param.pszName + wcslen(info.param.pszName)); });

TEST_F(MainFrameTest, AlwaysOnTopPutsTheWindowAboveOthers)
{
    SetValue(L"AlwaysOnTop", 1);
    // Under Wine a frame that never spoke to the shell stays out of the
    // topmost band; the program's frame always has, through its tray icon.
    ASSERT_NE(MakeFrame(L"Varnefold.exe", TRUE, true), nullptr);
    EXPECT_TRUE(::GetWindowLongW(m_hFrame, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(FrameLayoutRules, SplitterRows)
{
    struct
    {
        int nClient;
        LONG nDriveList;
        stSPLITTER_ROWS stExpected;
    } cases[] = {
        {350, 300, {155, 50, 175, 80}}, // 350 is below 300 + 80: halves
        {380, 300, {300, 50, 0, 80}},
        {600, 0, {280, 50, 300, 80}},
        {600, -1, {280, 50, 300, 80}},
        {40, 0, {20, 50, 20, 80}}, // a half of 20 keeps its 20
        {42, 0, {1, 50, 21, 80}},
    };
    for (const auto& c : cases)
    {
        stSPLITTER_ROWS st = ComputeSplitterRows(c.nClient, c.nDriveList);
        EXPECT_EQ(st.nHeight0, c.stExpected.nHeight0) << c.nClient << " " << c.nDriveList;
        EXPECT_EQ(st.nMin0, c.stExpected.nMin0);
        EXPECT_EQ(st.nHeight1, c.stExpected.nHeight1) << c.nClient << " " << c.nDriveList;
        EXPECT_EQ(st.nMin1, c.stExpected.nMin1);
    }
}

TEST_F(MainFrameTest, SettingsOutOfRangeKeepTheirDefaults)
{
    SetValue(L"Style", 7);
    SetValue(L"TrayIconMode", 9);
    SetValue(L"DefaultDefragMethod", 5);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_EQ(pFrame->GetStyle(), 2);
    EXPECT_EQ(pFrame->GetTrayIconMode(), 2);
    EXPECT_EQ(pFrame->GetStrategyCombo().GetCurSel(), 0);
}

TEST_F(MainFrameTest, StyleIsAppliedOnlyWhenItChanges)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_EQ(ToolkitEnvironment().bModernStyle, 1);
    pFrame->ApplyStyle(2);
    EXPECT_EQ(pFrame->m_styles, std::vector<int>{2});
    pFrame->ApplyStyle(1);
    EXPECT_EQ(ToolkitEnvironment().bModernStyle, 0);
    pFrame->ApplyStyle(0);
    EXPECT_EQ(ToolkitEnvironment().bModernStyle, 0);
    EXPECT_EQ(pFrame->GetStyle(), 0);
    EXPECT_EQ(pFrame->m_styles, (std::vector<int>{2, 1, 0}));
    EXPECT_NE(pFrame->GetFrameMenu(), HMENU(NULL)) << "the menu is set again";
    pFrame->ApplyStyle(2);
    EXPECT_EQ(ToolkitEnvironment().bModernStyle, 1);
}

TEST_F(MainFrameTest, StoredSettingsAreReadAndWrittenBackOnExit)
{
    SetValue(L"DefaultDefragMethod", 2);
    SetValue(L"Style", 0);
    SetValue(L"TrayIconMode", 3);
    SetValue(L"CloseWillExit", 7);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_EQ(pFrame->GetStrategyCombo().GetCurSel(), 2);
    EXPECT_EQ(pFrame->GetStyle(), 0);
    EXPECT_EQ(pFrame->m_styles, std::vector<int>{0});
    pFrame->GetStrategyCombo().SetCurSel(1);
    ::SetWindowPos(m_hFrame, NULL, 90, 70, 500, 400, SWP_NOZORDER);
    int cyDriveList = 0, cyMin = 0;
    pFrame->GetSplitter().GetRowInfo(0, cyDriveList, cyMin);
    ASSERT_GT(cyDriveList, 20);

    ::SendMessageW(m_hFrame, WM_COMMAND, ID_APP_EXIT, 0);
    EXPECT_FALSE(FrameExists());
    EXPECT_EQ(ReadWindowValue(L"Left", 0), 90u);
    EXPECT_EQ(ReadWindowValue(L"Top", 0), 70u);
    EXPECT_EQ(ReadWindowValue(L"Right", 0), 590u);
    EXPECT_EQ(ReadWindowValue(L"Bottom", 0), 470u);
    EXPECT_EQ(ReadWindowValue(L"DefaultDefragMethod", 9), 1u);
    EXPECT_EQ(ReadWindowValue(L"Style", 9), 0u);
    EXPECT_EQ(ReadWindowValue(L"TrayIconMode", 9), 3u);
    EXPECT_EQ(ReadWindowValue(L"CloseWillExit", 9), 7u) << "the user's value is never written back";
    EXPECT_EQ(ReadWindowValue(L"DriveList", 9), DWORD(cyDriveList));
    EXPECT_FALSE(PumpPending()) << "closing the main window ends the program";
}

TEST_F(MainFrameTest, TrayIconFollowsTheMode)
{
    SetValue(L"TrayIconMode", 0);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_TRUE(pFrame->GetTrayIcon().IsHidden());
    pFrame->SetTrayIconMode(2);
    EXPECT_FALSE(pFrame->GetTrayIcon().IsHidden());
    pFrame->SetTrayState(6);
    pFrame->SetTrayIconMode(0);
    EXPECT_TRUE(pFrame->GetTrayIcon().IsRemoved());
    EXPECT_EQ(pFrame->GetTrayIconMode(), 0);
    EXPECT_EQ(pFrame->GetTrayIcon().GetRecord().uID, CMainFrame::TrayIconId);
    EXPECT_EQ(pFrame->GetTrayIcon().GetRecord().uCallbackMessage, WM_TRAYNOTIFY);
}

TEST_F(MainFrameTest, TrayModeOneClosingEndsTheProgram)
{
    SetValue(L"TrayIconMode", 1);
    ASSERT_NE(MakeFrame(), nullptr);
    ::SendMessageW(m_hFrame, WM_CLOSE, 0, 0);
    EXPECT_FALSE(FrameExists());
    EXPECT_FALSE(PumpPending());
    EXPECT_EQ(ReadWindowValue(L"TrayIconMode", 9), 1u);
}

TEST_F(MainFrameTest, CloseWillExitEndsTheProgramInAnyMode)
{
    SetValue(L"CloseWillExit", 1);
    ASSERT_NE(MakeFrame(), nullptr);
    ::SendMessageW(m_hFrame, WM_CLOSE, 0, 0);
    EXPECT_FALSE(FrameExists());
}

TEST_F(MainFrameTest, TrayModeTwoHidesOnCloseAndMinimiseAndADoubleClickRestores)
{
    ASSERT_NE(MakeFrame(), nullptr);
    ASSERT_TRUE(FrameVisible());
    ::SendMessageW(m_hFrame, WM_CLOSE, 0, 0);
    ASSERT_TRUE(FrameExists());
    EXPECT_FALSE(FrameVisible());
    DoubleClickTray();
    EXPECT_TRUE(PumpUntil([&] { return FrameVisible(); }));

    ::SendMessageW(m_hFrame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(FrameVisible());
    EXPECT_FALSE(::IsIconic(m_hFrame));
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_TRAY_OPEN, 0);
    EXPECT_TRUE(FrameVisible());
}

TEST_F(MainFrameTest, TrayModeOneMinimisesToTheTaskbarAndIgnoresTheIcon)
{
    SetValue(L"TrayIconMode", 1);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    ::SendMessageW(m_hFrame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(::IsIconic(m_hFrame));
    EXPECT_EQ(::SendMessageW(m_hFrame, WM_TRAYNOTIFY, CMainFrame::TrayIconId, WM_RBUTTONUP), 0);
    EXPECT_FALSE(pFrame->IsTrayControlAllowed());
}

struct stHiddenStartCase
{
    DWORD dwTrayIconMode;
    const wchar_t* pszCommandLine;
    bool bVisible;
};

class HiddenStartTest : public MainFrameTest, public ::testing::WithParamInterface<stHiddenStartCase>
{
};

TEST_P(HiddenStartTest, MinimizeHidesOnlyWithATrayIcon)
{
    SetValue(L"TrayIconMode", GetParam().dwTrayIconMode);
    ASSERT_NE(MakeFrame(GetParam().pszCommandLine), nullptr);
    EXPECT_EQ(FrameVisible(), GetParam().bVisible);
    if (!FrameVisible())
    {
        DoubleClickTray();
        EXPECT_TRUE(PumpUntil([&] { return FrameVisible(); }));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HiddenStartTest,
                         ::testing::Values(stHiddenStartCase{0, L"\"C:\\x\\Varnefold.exe\" /minimize", true},
                                           stHiddenStartCase{2, L"\"C:\\x\\Varnefold.exe\" /minimize", false},
                                           stHiddenStartCase{1, L"Varnefold.exe /MINIMIZE", true},
                                           stHiddenStartCase{3, L"Varnefold.exe /MINIMIZE", false},
                                           stHiddenStartCase{2, L"\"C:\\x\\Varnefold.exe\"", true}));

TEST_F(MainFrameTest, ALaterStartWithMinimizeSendsTheWindowBackToTheTray)
{
    ASSERT_NE(MakeFrame(), nullptr);
    auto copyData = [&](const wchar_t* pszText, DWORD cbData) {
        COPYDATASTRUCT stCopy = {0, cbData, const_cast<wchar_t*>(pszText)};
        return ::SendMessageW(m_hFrame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&stCopy));
    };
    // A cut text, and one without its terminator, are read only as far as they go.
    const wchar_t szLine[] = L"\"C:\\x\\Varnefold.exe\" /minimize";
    EXPECT_TRUE(copyData(szLine, sizeof(szLine) - 6 * sizeof(wchar_t)));
    EXPECT_TRUE(FrameVisible());
    EXPECT_FALSE(copyData(szLine, 1));
    EXPECT_TRUE(copyData(L"Varnefold.exe somefile", 44));
    EXPECT_TRUE(FrameVisible());
    EXPECT_TRUE(copyData(szLine, sizeof(szLine) - sizeof(wchar_t)));
    EXPECT_FALSE(FrameVisible());
}

TEST_F(MainFrameTest, TrayModeThreeLetsANonAdministratorRestoreButNotPause)
{
    SetValue(L"TrayIconMode", 3);
    CTestMainFrame* pFrame = MakeFrame(L"Varnefold.exe", FALSE);
    ASSERT_NE(pFrame, nullptr);
    ::SendMessageW(m_hFrame, WM_CLOSE, 0, 0);
    ASSERT_TRUE(FrameExists());
    ASSERT_FALSE(FrameVisible());
    DoubleClickTray();
    EXPECT_TRUE(PumpUntil([&] { return FrameVisible(); })) << "the window must not be lost in the tray";

    EXPECT_FALSE(pFrame->IsTrayControlAllowed());
    EXPECT_TRUE(TrayPauseItem(pFrame).second) << "Pause is withheld";
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_TRAY_PAUSE, 0);
    EXPECT_TRUE(pFrame->m_sentCodes.empty());
    EXPECT_FALSE(pFrame->IsPaused());
}

TEST_F(MainFrameTest, TrayPauseAndContinue)
{
    SetValue(L"TrayIconMode", 3);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    CString strPause, strContinue;
    strPause.LoadString(IDS_PAUSE);
    strContinue.LoadString(IDS_CONTINUE);
    EXPECT_EQ(TrayPauseItem(pFrame), std::make_pair(std::wstring(strPause), false));

    ::SendMessageW(m_hFrame, WM_COMMAND, ID_TRAY_PAUSE, 0);
    EXPECT_TRUE(pFrame->IsPaused());
    EXPECT_EQ(TrayPauseItem(pFrame).first, strContinue.Str());
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_TRAY_PAUSE, 0);
    EXPECT_FALSE(pFrame->IsPaused());
    EXPECT_EQ(TrayPauseItem(pFrame).first, strPause.Str());
    EXPECT_EQ(pFrame->m_sentCodes, (std::vector<int>{107, 108}));

    // Not connected: the request does not go out, so nothing is paused.
    pFrame->m_bSendSucceeds = FALSE;
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_TRAY_PAUSE, 0);
    EXPECT_FALSE(pFrame->IsPaused());
    EXPECT_EQ(TrayPauseItem(pFrame).first, strPause.Str());
}

struct stRunCase
{
    DWORD dwStart;
    DWORD dwMinimized;
    const wchar_t* pszTail; // null: no value
};

class RunAtStartupTest : public MainFrameTest, public ::testing::WithParamInterface<stRunCase>
{
};

TEST_P(RunAtStartupTest, TheRunValueQuotesTheProgramsPath)
{
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, CMainFrame::RunKey, CMainFrame::RunValueName, REG_SZ, L"old", 8);
    SetValue(L"StartOnWindowsStart", GetParam().dwStart);
    SetValue(L"StartOnWindowsStartMinimized", GetParam().dwMinimized);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    if (GetParam().pszTail == nullptr)
        EXPECT_EQ(ReadRunValue(), L"<none>");
    else
        EXPECT_EQ(ReadRunValue(), L"\"" + ProgramPath() + L"\"" + GetParam().pszTail);
    EXPECT_EQ(pFrame->GetStartOnWindowsStart(), GetParam().dwStart != 0);
    EXPECT_EQ(pFrame->GetStartMinimized(), GetParam().dwMinimized != 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RunAtStartupTest,
                         ::testing::Values(stRunCase{1, 1, L" /minimize"}, stRunCase{1, 0, L""},
                                           stRunCase{0, 1, nullptr}));

TEST_F(MainFrameTest, SearchForUpdatesStartsTheUpdaterBesideTheProgram)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_HELP_SEARCH_UPDATES, 0);
    EXPECT_EQ(pFrame->m_strVersionFileAsked, ProgramFolder() + L"Varnefold.exe");
    ASSERT_EQ(pFrame->m_shellExecutes.size(), 1u);
    EXPECT_EQ(pFrame->m_shellExecutes[0].first, ProgramFolder() + L"Update.exe");
    EXPECT_EQ(pFrame->m_shellExecutes[0].second, L"/N:\"Varnefold\" /U:\"\" /V:1.0.0.0");

    // Without the version file's resource nothing is started.
    pFrame->m_bRealVersionFile = true;
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_HELP_SEARCH_UPDATES, 0);
    EXPECT_EQ(pFrame->m_shellExecutes.size(), 1u);
}

TEST_F(MainFrameTest, HelpStartsTheViewerWithTheProgramsHelpFile)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    wchar_t szWindows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(szWindows, MAX_PATH);
    std::wstring strViewer = std::wstring(szWindows) + L"\\hh.exe";
    std::wstring strProgram = ProgramPath();
    std::wstring strHelpFile = strProgram.substr(0, strProgram.size() - 3) + L"chm";

    ::SendMessageW(m_hFrame, WM_COMMAND, ID_HELP_CONTENTS, 0);
    pFrame->ShowHelp(234);
    ASSERT_EQ(pFrame->m_processes.size(), 2u);
    EXPECT_EQ(pFrame->m_processes[0].first, strViewer);
    EXPECT_EQ(pFrame->m_processes[0].second, strViewer + L" " + strHelpFile);
    EXPECT_EQ(pFrame->m_processes[1].second, strViewer + L" -mapid 234 ms-its:" + strHelpFile);
    ::SendMessageW(m_hFrame, WM_COMMAND, ID_HELP_ONLINE_FAQ, 0);
    EXPECT_TRUE(pFrame->m_shellExecutes.empty()) << "no address, no page";
}

TEST_F(MainFrameTest, ClusterViewRowOpensAtItsFirstHeightAndHidesAgain)
{
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    CFlatSplitterWnd& splitter = pFrame->GetSplitter();
    EXPECT_EQ(pFrame->ShowClusterView(), pFrame->GetOutputView());
    EXPECT_TRUE(pFrame->GetOutputView()->IsWindowVisible());
    int cyRow1 = 0, cyMin = 0;
    splitter.GetRowInfo(1, cyRow1, cyMin);
    EXPECT_GT(cyRow1, 0);
    const int cyShown = cyRow1;
    pFrame->HideClusterView();
    EXPECT_FALSE(pFrame->GetOutputView()->IsWindowVisible());
    EXPECT_EQ(pFrame->ShowClusterView(), pFrame->GetOutputView());
    splitter.GetRowInfo(1, cyRow1, cyMin);
    EXPECT_EQ(cyRow1, cyShown) << "shown again at the height it had";
}

TEST_F(MainFrameTest, PictureOfTheFrame)
{
    SetValue(L"Right", 760);
    SetValue(L"Bottom", 480);
    // The look the program takes at start-up.
    const stToolkitEnvironment stSaved = ToolkitEnvironment();
    auto pHook = std::make_unique<CSkinMenuHook>();
    CSkinMenu::SelectTheme(12);
    CSkinMenu::SelectTheme(10);
    CTestMainFrame* pFrame = MakeFrame();
    ASSERT_NE(pFrame, nullptr);
    pFrame->SetComputerText(L"VM");
    pFrame->SetMessageText(L"Ready");
    pFrame->ShowClusterView();
    pFrame->GetMenuBar().SendMessage(WM_IDLEUPDATECMDUI, TRUE);
    pFrame->RecalcLayout();
    pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(PumpUntil([&] { return pFrame->GetStrategyCombo().IsWindowVisible() != FALSE; }));
    PumpPending();
    SaveWindowPicture(m_hFrame, L"frame");
    pFrame->ApplyStyle(0);
    pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    SaveWindowPicture(m_hFrame, L"frame_standard");
    ::DestroyWindow(m_hFrame);
    PumpPending();
    pHook.reset();
    ToolkitEnvironment() = stSaved;
}
} // namespace
