#include "gui/DlgConfigWizard.h"

#include "gui/Resource.h"
#include "gui/SettingsHost.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragSettingsLight.h"

namespace
{
// The sheet's caption: the tip part of the wizard command's prompt.
CString WizardCaption()
{
    CString strPrompt;
    strPrompt.LoadString(ID_HELP_CONFIG_WIZARD);
    const int nTip = strPrompt.Find(L'\n');
    return nTip >= 0 ? strPrompt.Mid(nTip + 1) : strPrompt;
}
} // namespace

CDlgConfigWizard::CDlgConfigWizard(ISettingsHost& host)
    : CWizard97PropertySheet(WizardCaption()), m_page1(0), m_page2(1), m_page3(2), m_page4(3), m_page5(4),
      m_host(host)
{
    for (CPropertyPage* pPage : {static_cast<CPropertyPage*>(&m_page1), static_cast<CPropertyPage*>(&m_page2),
                                 static_cast<CPropertyPage*>(&m_page3), static_cast<CPropertyPage*>(&m_page4),
                                 static_cast<CPropertyPage*>(&m_page5)})
        AddPage(pPage);
}

CDlgConfigWizard::~CDlgConfigWizard()
{
    if (m_hWnd != NULL)
        DestroyWindow();
}

CDlgConfigWizardPage1* CDlgConfigWizard::CheckPage(int nPage)
{
    switch (nPage)
    {
    case 1:
        return &m_page2;
    case 2:
        return &m_page3;
    case 3:
        return &m_page4;
    default:
        return nullptr;
    }
}

bool CDlgConfigWizard::Load(const CNetDefragSettingsLight2& settings, CWnd* pParent)
{
    m_model.Load(settings);
    for (int nPage = 0; nPage < CWizardModel::PageCount; ++nPage)
    {
        CDlgConfigWizardPage1* pPage = CheckPage(nPage);
        if (pPage == nullptr)
            continue;
        pPage->m_bChecked = m_model.IsChecked(nPage);
        if (pPage->m_hWnd != NULL)
            pPage->UpdateData(FALSE);
    }
    if (m_hWnd == NULL && !Create(pParent))
        return false;
    SetActivePage(0);
    ShowWindow(SW_SHOW);
    return true;
}

BOOL CDlgConfigWizard::OnInitDialog()
{
    BOOL bResult = CWizard97PropertySheet::OnInitDialog();
    CreateHelpButton();
    ShowHelpButton(GetActiveIndex());
    return bResult;
}

void CDlgConfigWizard::CreateHelpButton()
{
    // Placed after the base has widened the sheet: at the narrow default
    // width the button would cover Back.
    HWND hCancel = ::GetDlgItem(m_hWnd, IDCANCEL);
    HWND hTab = reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL));
    RECT rcCancel = {}, rcTab = {}, rcClient = {};
    if (hCancel == NULL || !::GetWindowRect(hCancel, &rcCancel))
        return;
    GetClientRect(&rcClient);
    ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rcCancel), 2);
    if (hTab != NULL && ::GetWindowRect(hTab, &rcTab))
        ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rcTab), 2);
    const int nGap = rcClient.right - rcCancel.right;
    const int nLeft = rcTab.left + 2 * nGap;
    RECT rcHelp = {nLeft, rcCancel.top, nLeft + (rcCancel.right - rcCancel.left), rcCancel.bottom};
    CString strCaption;
    strCaption.LoadString(IDS_WIZARD_HELP);
    if (!m_wndHelp.Create(strCaption, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, rcHelp, this, ID_WIZARD_HELP))
        return;
    m_wndHelp.SetFont(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)), FALSE);
}

void CDlgConfigWizard::ShowHelpButton(int nPage)
{
    if (m_wndHelp.m_hWnd != NULL)
        m_wndHelp.ShowWindow(CWizardModel::IsHelpVisible(nPage) ? SW_SHOW : SW_HIDE);
}

void CDlgConfigWizard::OnPageActivate(int nPage)
{
    ShowHelpButton(nPage);
}

BOOL CDlgConfigWizard::OnWizardDone()
{
    for (int nPage = 0; nPage < CWizardModel::PageCount; ++nPage)
    {
        CDlgConfigWizardPage1* pPage = CheckPage(nPage);
        if (pPage == nullptr)
            continue;
        if (pPage->m_hWnd != NULL)
            pPage->UpdateData(TRUE);
        m_model.SetChecked(nPage, pPage->m_bChecked);
    }
    CNetDefragSettingsLight2 settings;
    m_model.Finish(settings);
    m_host.SendCommand(CMD_SET_WIZARD_SETTINGS, settings);
    // Kept for the next answer, which shows it again on its first page.
    return FALSE;
}

BOOL CDlgConfigWizard::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID == ID_WIZARD_HELP && nCode == CN_COMMAND)
    {
        const int nTopic = CWizardModel::GetHelpTopic(GetActiveIndex());
        if (nTopic >= 0)
            m_host.ShowHelp(nTopic);
        return TRUE;
    }
    return CWizard97PropertySheet::HandleCommand(nID, nCode, pExtra);
}
