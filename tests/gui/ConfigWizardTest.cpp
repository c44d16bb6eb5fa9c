// The configuration wizard and the welcome screen as real windows, and the
// drive list view that opens them.
#include "gui/DefragListView.h"
#include "gui/DlgConfigWizard.h"
#include "gui/DlgWelcome.h"
#include "gui/Resource.h"

#include "classlib/FrameWnd.h"
#include "classlib/WinApp.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragSettingsLight.h"

#include "GuiTestSupport.h"
#include "SettingsFakes.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// Long enough for a loaded machine.
const DWORD WaitMs = 30000;

class ConfigWizardTest : public ::testing::Test
{
protected:
    void Load(int32_t nRemovable, int32_t nBoottime, int32_t nDisableMonitoring)
    {
        CNetDefragSettingsLight2 settings;
        settings.m_nUseRemovableDisks = nRemovable;
        settings.m_nUseBoottimeDefrag = nBoottime;
        settings.m_nDisableAutoMonitoring = nDisableMonitoring;
        settings.m_strPassword = L"kept by the service";
        settings.m_nUseIOGuard = 3;
        ASSERT_TRUE(m_wizard.Load(settings, nullptr));
        ASSERT_TRUE(PumpUntil([this] { return m_wizard.GetActiveIndex() == 0; }, WaitMs));
    }
    // Presses a wizard button and waits for the page it leads to.
    void Press(int nButton, int nPageAfter)
    {
        m_wizard.SendMessage(PSM_PRESSBUTTON, nButton);
        EXPECT_TRUE(PumpUntil([&] { return m_wizard.GetActiveIndex() == nPageAfter; }, WaitMs))
            << "button " << nButton << " to page " << nPageAfter;
        PumpPending();
    }
    HWND Check() const
    {
        return ::GetDlgItem(reinterpret_cast<HWND>(m_wizard.SendMessage(PSM_GETCURRENTPAGEHWND)), IDC_WIZARD_CHECK);
    }
    bool Checked() const { return ::SendMessageW(Check(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool HelpShown() { return m_wizard.GetHelpButton().IsWindowVisible() != FALSE; }
    void ClickHelp()
    {
        CButton& help = m_wizard.GetHelpButton();
        m_wizard.SendMessage(WM_COMMAND, MAKEWPARAM(ID_WIZARD_HELP, BN_CLICKED), reinterpret_cast<LPARAM>(help.m_hWnd));
    }
    // The message Finish sends for these checks.
    static prototest::Bytes Finished(int32_t nRemovable, int32_t nBoottime, int32_t nDisableMonitoring)
    {
        CNetDefragSettingsLight2 settings;
        settings.m_nUseRemovableDisks = nRemovable;
        settings.m_nUseBoottimeDefrag = nBoottime;
        settings.m_nDisableAutoMonitoring = nDisableMonitoring;
        return prototest::BuildMessage(CMD_SET_WIZARD_SETTINGS, &settings);
    }

    CWinApp m_app;
    guitest::CFakeSettingsHost m_host;
    CDlgConfigWizard m_wizard{m_host};
};

TEST_F(ConfigWizardTest, NextBackAndFinishWalkThePagesAndSendTheChecks)
{
    Load(1, 0, 0);
    EXPECT_TRUE(m_wizard.IsWindowVisible());
    EXPECT_FALSE(HelpShown()) << "the first page has no help button";
    SaveWindowPicture(m_wizard.m_hWnd, L"wizard\\page1");

    Press(PSBTN_NEXT, 1);
    EXPECT_TRUE(Checked()) << "removable drives";
    EXPECT_TRUE(HelpShown());
    ClickHelp();
    Press(PSBTN_NEXT, 2);
    EXPECT_FALSE(Checked()) << "boot-time defragmentation";
    ClickHelp();
    ::SendMessageW(Check(), BM_CLICK, 0, 0);
    Press(PSBTN_BACK, 1);
    Press(PSBTN_NEXT, 2);
    EXPECT_TRUE(Checked()) << "kept when the page is left and visited again";
    Press(PSBTN_NEXT, 3);
    EXPECT_TRUE(Checked()) << "proactive defragmentation: the inverse of the setting";
    ClickHelp();
    ::SendMessageW(Check(), BM_CLICK, 0, 0);
    SaveWindowPicture(m_wizard.m_hWnd, L"wizard\\page4");
    Press(PSBTN_NEXT, 4);
    EXPECT_FALSE(HelpShown());
    EXPECT_EQ(m_host.m_helpTopics, (std::vector<int>{234, 236, 234}));

    m_wizard.SendMessage(PSM_PRESSBUTTON, PSBTN_FINISH);
    EXPECT_TRUE(PumpUntil([this] { return !m_host.m_sender.m_sent.empty(); }, WaitMs));
    PumpPending();
    EXPECT_FALSE(m_wizard.IsWindowVisible());
    ASSERT_EQ(m_host.m_sender.Codes(), std::vector<int32_t>{CMD_SET_WIZARD_SETTINGS});
    EXPECT_EQ(m_host.m_sender.m_sent[0].bytes, Finished(1, 1, 1));

    // The next answer opens the kept sheet on its first page, with the new checks.
    Load(0, 1, 0);
    EXPECT_TRUE(m_wizard.IsWindowVisible());
    Press(PSBTN_NEXT, 1);
    EXPECT_FALSE(Checked());
}

TEST_F(ConfigWizardTest, CancelHidesTheSheetAndSendsNothing)
{
    Load(0, 0, 1);
    Press(PSBTN_NEXT, 1);
    Press(PSBTN_NEXT, 2);
    m_wizard.SendMessage(PSM_PRESSBUTTON, PSBTN_CANCEL);
    EXPECT_TRUE(PumpUntil([this] { return !m_wizard.IsWindowVisible(); }, WaitMs));
    EXPECT_TRUE(m_host.m_sender.m_sent.empty());
    ASSERT_NE(m_wizard.m_hWnd, HWND(NULL)) << "kept for its next use";

    Load(0, 0, 1);
    EXPECT_TRUE(m_wizard.IsWindowVisible());
    EXPECT_EQ(m_wizard.GetActiveIndex(), 0);
    // Finishing at once sends the answer's values back.
    Press(PSBTN_NEXT, 1);
    Press(PSBTN_NEXT, 2);
    Press(PSBTN_NEXT, 3);
    Press(PSBTN_NEXT, 4);
    m_wizard.SendMessage(PSM_PRESSBUTTON, PSBTN_FINISH);
    EXPECT_TRUE(PumpUntil([this] { return !m_host.m_sender.m_sent.empty(); }, WaitMs));
    ASSERT_EQ(m_host.m_sender.m_sent.size(), 1u);
    EXPECT_EQ(m_host.m_sender.m_sent[0].bytes, Finished(0, 0, 1));
}

class WelcomeTest : public ::testing::Test
{
protected:
    void Open()
    {
        ASSERT_TRUE(m_dialog.Create(IDD_WELCOME));
        m_dialog.ShowWindow(SW_SHOW);
        PumpPending();
    }
    void Press(UINT nID)
    {
        HWND hButton = ::GetDlgItem(m_dialog.m_hWnd, static_cast<int>(nID));
        m_dialog.SendMessage(WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(hButton));
        PumpPending();
    }

    CWinApp m_app;
    guitest::CFakeSettingsHost m_host;
    CDlgWelcome m_dialog{m_host};
};

TEST_F(WelcomeTest, StartingTheWizardAsksTheServiceForItsSettings)
{
    Open();
    wchar_t szText[1000] = L"";
    ::GetDlgItemTextW(m_dialog.m_hWnd, IDC_WELCOME_TEXT, szText, 1000);
    EXPECT_EQ(std::wstring(szText).rfind(L"Thank you for installing qov Defrag", 0), 0u);
    SaveWindowPicture(m_dialog.m_hWnd, L"welcome\\welcome");
    Press(IDC_WELCOME_START_WIZARD);
    EXPECT_FALSE(m_dialog.IsWindowVisible());
    EXPECT_EQ(m_host.m_sender.Codes(), std::vector<int32_t>{CMD_GET_WIZARD_SETTINGS});
    EXPECT_TRUE(m_host.m_welcomeFlags.empty()) << "shown again after the next drive list";
}

TEST_F(WelcomeTest, DoNotShowAgainTurnsTheWelcomeOff)
{
    Open();
    ::SendMessageW(::GetDlgItem(m_dialog.m_hWnd, IDC_WELCOME_DONT_SHOW), BM_CLICK, 0, 0);
    Press(IDOK);
    EXPECT_FALSE(m_dialog.IsWindowVisible());
    EXPECT_TRUE(m_host.m_sender.m_sent.empty());
    EXPECT_EQ(m_host.m_welcomeFlags, std::vector<bool>{false});
}

// The view in a plain frame, never connected.
class SettingsViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 520, 320)));
        m_pView = new CDefragListView;
        ASSERT_TRUE(m_pView->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 400, 200), m_pFrame,
                                    AFX_IDW_PANE_FIRST));
    }
    void TearDown() override
    {
        if (m_pFrame != nullptr)
            m_pFrame->DestroyWindow();
    }

    CWinApp m_app;
    CFrameWnd* m_pFrame = nullptr;
    CDefragListView* m_pView = nullptr;
};

TEST_F(SettingsViewTest, TheWelcomeOpensOnceAndTheConfigurationFollowsTheAnswers)
{
    EXPECT_FALSE(m_pView->HasWelcomeDialog());
    m_pView->OpenWelcome();
    ASSERT_TRUE(m_pView->HasWelcomeDialog());
    CDlgWelcome* pWelcome = m_pView->GetWelcomeDlg();
    ASSERT_NE(pWelcome, nullptr);
    EXPECT_TRUE(pWelcome->IsWindowVisible());
    pWelcome->OnOK();
    m_pView->OpenWelcome();
    EXPECT_EQ(m_pView->GetWelcomeDlg(), pWelcome);
    EXPECT_FALSE(pWelcome->IsWindowVisible()) << "a later drive list does not bring it back";

    // Not connected, the command shows the program's own pages only.
    EXPECT_TRUE(m_pView->OnCmdMsg(ID_EDIT_CONFIGURATION, CN_COMMAND, nullptr));
    CConfigurationDlg* pDialog = m_pView->GetConfigurationDlg();
    ASSERT_NE(pDialog, nullptr);
    EXPECT_TRUE(pDialog->IsWindowVisible());
    EXPECT_EQ(pDialog->GetTabCtrl().GetItemCount(), 2);
    m_pView->OnSettings(CNetDefragSettingsLight2());
    EXPECT_EQ(m_pView->GetConfigurationDlg(), pDialog);
    EXPECT_EQ(pDialog->GetTabCtrl().GetItemCount(), 6);
    m_pView->ResetWindows();
    EXPECT_EQ(pDialog->GetTabCtrl().GetItemCount(), 2) << "a dropped connection takes the service's pages";

    m_pView->OnWizardSettings(CNetDefragSettingsLight2());
    ASSERT_NE(m_pView->GetConfigWizard(), nullptr);
    EXPECT_TRUE(m_pView->GetConfigWizard()->IsWindowVisible());
}
TEST_F(SettingsViewTest, TheWelcomeFlagIsStoredAtOnceAndOnlyWhenItChanges)
{
    const wchar_t* const pszKey = L"Software\\Varnefold\\Window";
    auto stored = [pszKey]() -> DWORD {
        DWORD dwValue = 7, cbValue = sizeof(dwValue);
        if (::RegGetValueW(HKEY_CURRENT_USER, pszKey, L"ShowWelcomeScreen", RRF_RT_REG_DWORD, nullptr, &dwValue,
                           &cbValue) != ERROR_SUCCESS)
            return 7;
        return dwValue;
    };
    auto store = [pszKey](DWORD dwValue) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, pszKey, L"ShowWelcomeScreen", REG_DWORD, &dwValue, sizeof(dwValue));
    };
    m_pView->SetShowWelcomeScreen(false);
    EXPECT_EQ(stored(), 0u);
    EXPECT_FALSE(m_pView->GetViewFlags().bShowWelcomeScreen);
    store(5);
    m_pView->SetShowWelcomeScreen(false);
    EXPECT_EQ(stored(), 5u) << "no change, no write";
    m_pView->SetShowWelcomeScreen(true);
    EXPECT_EQ(stored(), 1u);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, pszKey, L"ShowWelcomeScreen");
}
} // namespace
