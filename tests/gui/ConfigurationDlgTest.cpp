// The configuration dialog as a real window: its pages filled from the
// program's options and the service's settings, the rules run by clicks on
// the hosted boxes, and what OK and Cancel send.
#include "gui/ConfigurationDlg.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragSettingsLight.h"

#include "GuiTestSupport.h"
#include "SettingsFakes.h"
#include "TestProgramFolder.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

namespace
{
const wchar_t* const DigestOfX = L"9DD4E461268C8034F5C8564E155C67A6";
const wchar_t* const StoredDigest = L"5F4DCC3B5AA765D61D8327DEB882CF99";

CNetDefragSettingsLight2 ServiceAnswer()
{
    CNetDefragSettingsLight2 answer;
    answer.m_nDisableAutoMonitoring = 0;
    answer.m_nPauseOnBattery = 1;
    answer.m_nUseRemovableDisks = 0;
    answer.m_nUseBoottimeDefrag = 1;
    answer.m_nRunChkDskBeforeDefrag = 2;
    answer.m_nUseIOGuard = 1;
    answer.m_nIOGuardMinIdlePercentage = 40;
    answer.m_strAddDrivesManually = L"AG";
    answer.m_strIgnoreMonitoringDrives = L"HZ";
    answer.m_strPassword = StoredDigest;
    return answer;
}

// The program's manifest, which asks for version 6 of the common controls,
// active while the dialog makes its controls: the test program has none.
class CProgramControls
{
public:
    CProgramControls() : m_hContext(INVALID_HANDLE_VALUE), m_ulCookie(0)
    {
        const std::wstring strProgram = TestProgramFolder() + L"..\\..\\gui\\Varnefold.exe";
        ACTCTXW stContext = {};
        stContext.cbSize = sizeof(stContext);
        stContext.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        stContext.lpSource = strProgram.c_str();
        stContext.lpResourceName = MAKEINTRESOURCEW(1);
        m_hContext = ::CreateActCtxW(&stContext);
        if (m_hContext != INVALID_HANDLE_VALUE && !::ActivateActCtx(m_hContext, &m_ulCookie))
            m_ulCookie = 0;
    }
    ~CProgramControls()
    {
        if (m_ulCookie != 0)
            ::DeactivateActCtx(0, m_ulCookie);
        if (m_hContext != INVALID_HANDLE_VALUE)
            ::ReleaseActCtx(m_hContext);
    }
    bool IsActive() const { return m_ulCookie != 0; }

private:
    HANDLE m_hContext;
    ULONG_PTR m_ulCookie;
};

class ConfigurationDlgTest : public ::testing::Test
{
protected:
    void Open(bool bElevated = true)
    {
        m_pDlg.reset(new CConfigurationDlg(m_host, [bElevated] { return bElevated; }));
        ASSERT_TRUE(m_pDlg->Create(IDD_CONFIGURATION));
        m_pDlg->ResetApplicationTabs();
        m_pDlg->ShowWindow(SW_SHOW);
        PumpPending();
    }
    HWND Item(UINT nID) const { return ::GetDlgItem(m_pDlg->GetTabCtrl().m_hWnd, static_cast<int>(nID)); }
    bool Checked(UINT nID) const { return ::SendMessageW(Item(nID), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(UINT nID) const { return ::IsWindowEnabled(Item(nID)) != FALSE; }
    std::wstring Text(HWND hWnd) const
    {
        wchar_t szText[300] = L"";
        ::GetWindowTextW(hWnd, szText, 300);
        return szText;
    }
    // A click as a driver sends it; the rules follow once the tab's message is through.
    void Click(UINT nID)
    {
        ::SendMessageW(Item(nID), BM_CLICK, 0, 0);
        PumpPending();
    }
    void Press(UINT nID)
    {
        m_pDlg->SendMessage(WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED),
                            reinterpret_cast<LPARAM>(::GetDlgItem(m_pDlg->m_hWnd, static_cast<int>(nID))));
        PumpPending();
    }
    void Shot(int nPage, const wchar_t* pszName)
    {
        m_pDlg->GetTabCtrl().SetActivePage(nPage);
        m_pDlg->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpPending();
        SaveWindowPicture(m_pDlg->m_hWnd, pszName);
    }

    CWinApp m_app;
    CProgramControls m_controls;
    guitest::CFakeSettingsHost m_host;
    std::unique_ptr<CConfigurationDlg> m_pDlg;
};

TEST_F(ConfigurationDlgTest, ServicePagesComeWithTheServiceSettingsAndGoAtReset)
{
    m_host.m_options.nStyle = 1;
    m_host.m_options.bShowSplashScreen = false;
    m_host.m_options.nTrayIconMode = 3;
    Open();
    CMyTabCtrl& tab = m_pDlg->GetTabCtrl();
    EXPECT_EQ(tab.GetItemCount(), 2);
    EXPECT_EQ(Item(IDC_CONFIG_AUTO_MONITORING), HWND(NULL));
    EXPECT_TRUE(Checked(IDC_CONFIG_STYLE_SHADED));
    EXPECT_FALSE(Checked(IDC_CONFIG_STYLE_MODERN));
    EXPECT_FALSE(Checked(IDC_CONFIG_SPLASH));
    for (UINT nID : {IDC_CONFIG_TRAY_SHOW, IDC_CONFIG_TRAY_CONTROL, IDC_CONFIG_TRAY_ADMIN_ONLY})
        EXPECT_TRUE(Checked(nID)) << nID;
    EXPECT_EQ(Text(Item(IDC_CONFIG_GROUP_STARTUP)), L"Startup");

    m_pDlg->LoadServiceSettings(ServiceAnswer());
    EXPECT_TRUE(m_pDlg->IsWindowVisible());
    EXPECT_EQ(tab.GetItemCount(), 6);
    EXPECT_TRUE(Checked(IDC_CONFIG_AUTO_MONITORING)) << "shown the other way round from its setting";
    EXPECT_TRUE(Checked(IDC_CONFIG_PAUSE_ON_BATTERY));
    EXPECT_FALSE(Checked(IDC_CONFIG_REMOVABLE));
    EXPECT_TRUE(Checked(IDC_CONFIG_BOOTTIME));
    EXPECT_TRUE(Checked(IDC_CONFIG_CHKDSK_MANUAL));
    EXPECT_FALSE(Checked(IDC_CONFIG_CHKDSK_PROACTIVE));
    EXPECT_TRUE(Checked(IDC_CONFIG_IOGUARD_MANUAL));
    EXPECT_FALSE(Checked(IDC_CONFIG_IOGUARD_PROACTIVE));
    EXPECT_EQ(Text(Item(IDC_CONFIG_ADD_DRIVES)), L"AG");
    EXPECT_EQ(Text(Item(IDC_CONFIG_IGNORE_DRIVES)), L"HZ");
    EXPECT_EQ(Text(Item(IDC_CONFIG_PASSWORD)), StoredDigest);
    EXPECT_EQ(Text(Item(IDC_CONFIG_THRESHOLD)), L"40");
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_CONFIG_AUTO_MONITORING))) << "the first page stays in front";

    // The hints need the manifest's common controls.
    ASSERT_TRUE(m_controls.IsActive());
    struct CUE
    {
        UINT nID;
        const wchar_t* pszCue;
    } cues[] = {
        {IDC_CONFIG_ADD_DRIVES, L" Please enter the drive letters to add (e.g. AGHIZ)..."},
        {IDC_CONFIG_PASSWORD, L" To create a password, type one here..."},
        {IDC_CONFIG_IGNORE_DRIVES, L" Please enter the drive letters to exclude (e.g. AGHIZ)..."},
    };
    for (const CUE& c : cues)
    {
        wchar_t szCue[100] = L"";
        EXPECT_TRUE(::SendMessageW(Item(c.nID), EM_GETCUEBANNER, reinterpret_cast<WPARAM>(szCue), 100)) << c.nID;
        EXPECT_STREQ(szCue, c.pszCue);
    }
    for (int nPage = 0; nPage < 6; ++nPage)
        Shot(nPage, (L"configuration\\page" + std::to_wstring(nPage)).c_str());

    // A second answer replaces the pages rather than adding four more.
    m_pDlg->LoadServiceSettings(ServiceAnswer());
    EXPECT_EQ(tab.GetItemCount(), 6);

    m_pDlg->ResetApplicationTabs();
    EXPECT_EQ(tab.GetItemCount(), 2);
    EXPECT_EQ(tab.GetActivePage(), 0);
    EXPECT_EQ(Item(IDC_CONFIG_AUTO_MONITORING), HWND(NULL));
    EXPECT_EQ(Item(IDC_CONFIG_THRESHOLD), HWND(NULL));
}

TEST_F(ConfigurationDlgTest, OkSendsWhatTheControlsShowAndAppliesTheProgramOptions)
{
    Open();
    m_pDlg->LoadServiceSettings(ServiceAnswer());
    for (UINT nID : {IDC_CONFIG_AUTO_MONITORING, IDC_CONFIG_REMOVABLE, IDC_CONFIG_CHKDSK_PROACTIVE,
                     IDC_CONFIG_IOGUARD_PROACTIVE, IDC_CONFIG_STYLE_STANDARD, IDC_CONFIG_SPLASH})
        Click(nID);
    ::SetWindowTextW(Item(IDC_CONFIG_ADD_DRIVES), L"KL");
    ::SetWindowTextW(Item(IDC_CONFIG_IGNORE_DRIVES), L"");
    ::SetWindowTextW(Item(IDC_CONFIG_PASSWORD), L"x");
    ::SetWindowTextW(Item(IDC_CONFIG_THRESHOLD), L"1000");
    Press(IDOK);

    EXPECT_FALSE(m_pDlg->IsWindowVisible());
    CNetDefragSettingsLight2 expected;
    expected.m_nDefaultPort = -1;
    expected.m_nMoveModifiedFilesToEnd = -1;
    expected.m_nDisableAutoMonitoring = 1;
    expected.m_nPauseOnBattery = 1;
    expected.m_nUseRemovableDisks = 1;
    expected.m_nUseBoottimeDefrag = 1;
    expected.m_nRunChkDskBeforeDefrag = 3;
    expected.m_nUseIOGuard = 3;
    expected.m_nIOGuardMinIdlePercentage = 100;
    expected.m_strAddDrivesManually = L"KL";
    expected.m_strPassword = DigestOfX;
    ASSERT_EQ(m_host.m_sender.Codes(), std::vector<int32_t>{CMD_SET_SETTINGS});
    EXPECT_EQ(m_host.m_sender.m_sent[0].bytes, prototest::BuildMessage(CMD_SET_SETTINGS, &expected));
    EXPECT_EQ(m_host.m_keptPasswords, std::vector<std::wstring>{L"x"});
    ASSERT_EQ(m_host.m_applied.size(), 1u);
    EXPECT_EQ(m_host.m_applied[0].nStyle, 0);
    EXPECT_FALSE(m_host.m_applied[0].bShowSplashScreen);
    EXPECT_EQ(m_host.m_applied[0].nTrayIconMode, 2);
}

TEST_F(ConfigurationDlgTest, AnUntouchedPasswordGoesBackAsStoredAndAnEmptyOneAsNone)
{
    struct CASE
    {
        const wchar_t* pszTyped;  // null: left as loaded
        const wchar_t* pszSent;
    } cases[] = {{nullptr, StoredDigest}, {L"", L""}};
    for (const CASE& c : cases)
    {
        m_host.m_sender.m_sent.clear();
        m_host.m_keptPasswords.clear();
        Open();
        m_pDlg->LoadServiceSettings(ServiceAnswer());
        if (c.pszTyped != nullptr)
            ::SetWindowTextW(Item(IDC_CONFIG_PASSWORD), c.pszTyped);
        Press(IDOK);
        CNetDefragSettingsLight2 expected = ServiceAnswer();
        expected.m_nDefaultPort = -1;
        expected.m_nMoveModifiedFilesToEnd = -1;
        expected.m_strPassword = c.pszSent;
        ASSERT_EQ(m_host.m_sender.m_sent.size(), 1u);
        EXPECT_EQ(m_host.m_sender.m_sent[0].bytes, prototest::BuildMessage(CMD_SET_SETTINGS, &expected))
            << (c.pszTyped != nullptr ? "typed" : "untouched");
        EXPECT_TRUE(m_host.m_keptPasswords.empty()) << "nothing new to answer a password request with";
    }
}

TEST_F(ConfigurationDlgTest, CancelSendsNothingAndWithoutServicePagesOkSendsNothing)
{
    Open();
    m_pDlg->LoadServiceSettings(ServiceAnswer());
    Click(IDC_CONFIG_REMOVABLE);
    Press(IDCANCEL);
    EXPECT_FALSE(m_pDlg->IsWindowVisible());
    EXPECT_TRUE(m_host.m_sender.m_sent.empty());
    EXPECT_TRUE(m_host.m_applied.empty());

    m_pDlg->ResetApplicationTabs();
    m_pDlg->ShowWindow(SW_SHOW);
    Press(IDOK);
    EXPECT_TRUE(m_host.m_sender.m_sent.empty()) << "the service's settings were never loaded";
    EXPECT_EQ(m_host.m_applied.size(), 1u);
}

TEST_F(ConfigurationDlgTest, ClickedBoxesFollowTheRules)
{
    m_host.m_options.bStartOnWindowsStart = true;
    m_host.m_options.bStartMinimized = false;
    m_host.m_options.nTrayIconMode = 0;
    Open();
    EXPECT_FALSE(Enabled(IDC_CONFIG_TRAY_CONTROL)) << "tray mode 0 greys the control option";
    EXPECT_FALSE(Enabled(IDC_CONFIG_TRAY_ADMIN_ONLY));

    Click(IDC_CONFIG_START_MINIMIZED);
    EXPECT_TRUE(Checked(IDC_CONFIG_TRAY_SHOW)) << "a start in the tray needs the icon";
    EXPECT_FALSE(Enabled(IDC_CONFIG_TRAY_SHOW));
    EXPECT_TRUE(Enabled(IDC_CONFIG_TRAY_CONTROL));

    Click(IDC_CONFIG_TRAY_CONTROL);
    EXPECT_TRUE(Enabled(IDC_CONFIG_TRAY_ADMIN_ONLY));
    Click(IDC_CONFIG_TRAY_ADMIN_ONLY);
    Click(IDC_CONFIG_TRAY_CONTROL);
    EXPECT_FALSE(Checked(IDC_CONFIG_TRAY_ADMIN_ONLY));
    EXPECT_FALSE(Enabled(IDC_CONFIG_TRAY_ADMIN_ONLY));

    Click(IDC_CONFIG_RUN_AT_STARTUP);
    EXPECT_FALSE(Checked(IDC_CONFIG_START_MINIMIZED));
    EXPECT_FALSE(Enabled(IDC_CONFIG_START_MINIMIZED));
    EXPECT_TRUE(Enabled(IDC_CONFIG_TRAY_SHOW));
}

TEST_F(ConfigurationDlgTest, WithoutElevationTheStartupOptionsAreGreyedAndSaySo)
{
    Open(false);
    EXPECT_FALSE(Enabled(IDC_CONFIG_RUN_AT_STARTUP));
    EXPECT_FALSE(Enabled(IDC_CONFIG_START_MINIMIZED));
    EXPECT_EQ(Text(Item(IDC_CONFIG_GROUP_STARTUP)), L"Startup - (disabled, start GUI as Administrator to avoid this)");
    EXPECT_TRUE(Enabled(IDC_CONFIG_TRAY_SHOW)) << "a greyed minimized start does not hold the icon";
    Shot(1, L"configuration\\not_elevated");
}

TEST_F(ConfigurationDlgTest, HelpShowsTheTopicOfTheCurrentTab)
{
    Open();
    m_pDlg->LoadServiceSettings(ServiceAnswer());
    for (int nPage : {0, 3, 5})
    {
        m_pDlg->GetTabCtrl().SetActivePage(nPage);
        Press(IDHELP);
    }
    EXPECT_EQ(m_host.m_helpTopics, (std::vector<int>{232, 235, 237}));
}
} // namespace
