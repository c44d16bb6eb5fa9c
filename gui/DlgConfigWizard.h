// CDlgConfigWizard: the modeless five-page configuration wizard. It is
// loaded from the service's wizard settings, always starts on its first
// page, sends the three settings it shows on Finish, and is hidden, not
// destroyed, by Finish and Cancel.
#pragma once

#include "gui/DlgConfigWizardPage.h"
#include "gui/WizardModel.h"

#include "classlib/Controls.h"
#include "guitoolkit/Wizard97PropertySheet.h"

class CNetDefragSettingsLight2;
class ISettingsHost;

class CDlgConfigWizard : public CWizard97PropertySheet
{
public:
    explicit CDlgConfigWizard(ISettingsHost& host);
    // The sheet goes while its page objects are still there to hear of it.
    ~CDlgConfigWizard() override;

    // Takes the checks from the service's answer and shows the first page,
    // making the sheet, owned by pParent, on first use.
    bool Load(const CNetDefragSettingsLight2& settings, CWnd* pParent);

    CButton& GetHelpButton() { return m_wndHelp; }

    BOOL OnInitDialog() override;
    void OnPageActivate(int nPage) override;
    BOOL OnWizardDone() override;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    // The check pages by the model's page index; null for the text pages.
    CDlgConfigWizardPage1* CheckPage(int nPage);
    void CreateHelpButton();
    void ShowHelpButton(int nPage);

    CDlgConfigWizardPage2 m_page1;
    CDlgConfigWizardPage1 m_page2;
    CDlgConfigWizardPage1 m_page3;
    CDlgConfigWizardPage1 m_page4;
    CDlgConfigWizardPage2 m_page5;
    CButton m_wndHelp;
    ISettingsHost& m_host;
    CWizardModel m_model;
};
