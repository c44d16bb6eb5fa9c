#include "gui/DlgWelcome.h"

#include "gui/Resource.h"
#include "gui/SettingsHost.h"

#include "classlib/DataExchange.h"
#include "protocol/NetDefragCommand.h"

CDlgWelcome::CDlgWelcome(ISettingsHost& host) : CDialog(IDD_WELCOME), m_bDontShowAgain(false), m_host(host)
{
    m_strText.LoadString(IDS_WELCOME_TEXT);
}

void CDlgWelcome::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_WELCOME_TEXT, m_strText);
    DDX_Check(pDX, IDC_WELCOME_DONT_SHOW, m_bDontShowAgain);
}

void CDlgWelcome::OnOK()
{
    UpdateData(TRUE);
    ShowWindow(SW_HIDE);
    if (m_bDontShowAgain)
        m_host.SetShowWelcomeScreen(false);
}

BOOL CDlgWelcome::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID == IDC_WELCOME_START_WIZARD && nCode == CN_COMMAND)
    {
        OnOK();
        // The service's answer opens the wizard.
        m_host.SendBareCommand(CMD_GET_WIZARD_SETTINGS);
        return TRUE;
    }
    return CDialog::HandleCommand(nID, nCode, pExtra);
}
