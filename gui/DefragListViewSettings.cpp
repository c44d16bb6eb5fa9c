#include "gui/DefragListView.h"

#include "gui/ProcessElevation.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/Registry.h"
#include "protocol/NetDefragCommand.h"

namespace
{
// The settings windows belong to the main frame, so that they stay above it
// and go with it; the view keeps them and hides them between uses.
CWnd* OwnerFrame(const CDefragListView& view)
{
    return view.m_hWnd != NULL ? view.GetTopLevelFrame() : nullptr;
}
} // namespace

ISettingsHost& CDefragListView::SettingsHost()
{
    if (!m_pSettingsHost)
        m_pSettingsHost.reset(new CListViewSettingsHost(*this));
    return *m_pSettingsHost;
}

bool CDefragListView::IsElevated() const
{
    return IsProcessElevated();
}

CConfigurationDlg* CDefragListView::EnsureConfigurationDlg()
{
    if (m_pConfigurationDlg && m_pConfigurationDlg->m_hWnd != NULL)
        return m_pConfigurationDlg.get();
    m_pConfigurationDlg.reset(new CConfigurationDlg(SettingsHost(), [this] { return IsElevated(); }));
    if (!m_pConfigurationDlg->Create(IDD_CONFIGURATION, OwnerFrame(*this)))
    {
        m_pConfigurationDlg.reset();
        return nullptr;
    }
    return m_pConfigurationDlg.get();
}

void CDefragListView::ResetSettingsWindows()
{
    if (m_pConfigurationDlg)
        m_pConfigurationDlg->ResetApplicationTabs();
}

void CDefragListView::OnConfiguration()
{
    CConfigurationDlg* pDialog = EnsureConfigurationDlg();
    if (pDialog == nullptr)
        return;
    pDialog->ResetApplicationTabs();
    if (IsConnected())
        SendBareCommand(CMD_GET_SETTINGS);
    pDialog->ShowWindow(SW_SHOW);
}

BOOL CDefragListView::OnCmdMsg(UINT nID, int nCode, void* pExtra)
{
    if (nID == ID_EDIT_CONFIGURATION || nID == ID_HELP_CONFIG_WIZARD)
    {
        if (nCode == CN_UPDATE_COMMAND_UI)
        {
            static_cast<CCmdUI*>(pExtra)->Enable(nID == ID_EDIT_CONFIGURATION || IsConnected());
            return TRUE;
        }
        if (nCode == CN_COMMAND)
        {
            if (nID == ID_EDIT_CONFIGURATION)
                OnConfiguration();
            else if (IsConnected())
                SendBareCommand(CMD_GET_WIZARD_SETTINGS);
            return TRUE;
        }
    }
    return CListViewEx::OnCmdMsg(nID, nCode, pExtra);
}

void CDefragListView::SetShowWelcomeScreen(bool bShow)
{
    if (m_stViewFlags.bShowWelcomeScreen == bShow)
        return;
    m_stViewFlags.bShowWelcomeScreen = bShow;
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (key.Create(HKEY_CURRENT_USER, L"Software\\Varnefold\\Window"))
        key.WriteDWORD(L"ShowWelcomeScreen", bShow ? 1 : 0);
}

bool CDefragListView::HasWelcomeDialog() const
{
    return m_pWelcomeDlg != nullptr;
}

void CDefragListView::OpenWelcome()
{
    // Shown at most once in the program's life: later drive lists leave it be.
    if (m_pWelcomeDlg)
        return;
    m_pWelcomeDlg.reset(new CDlgWelcome(SettingsHost()));
    if (!m_pWelcomeDlg->Create(IDD_WELCOME, OwnerFrame(*this)))
        return;
    m_pWelcomeDlg->ShowWindow(SW_SHOW);
}

void CDefragListView::OnSettings(const CNetDefragSettingsLight2& settings)
{
    CConfigurationDlg* pDialog = EnsureConfigurationDlg();
    if (pDialog == nullptr)
        return;
    pDialog->ResetApplicationTabs();
    pDialog->LoadServiceSettings(settings);
}

void CDefragListView::OnWizardSettings(const CNetDefragSettingsLight2& settings)
{
    if (!m_pConfigWizard)
        m_pConfigWizard.reset(new CDlgConfigWizard(SettingsHost()));
    if (!m_pConfigWizard->Load(settings, OwnerFrame(*this)))
        m_pConfigWizard.reset();
}
