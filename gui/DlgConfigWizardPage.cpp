#include "gui/DlgConfigWizardPage.h"

#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WizardModel.h"

#include "classlib/DataExchange.h"

CDlgConfigWizardPage1::CDlgConfigWizardPage1(int nPage)
    : CWizard97PropertyPage(IDD_WIZARD_CHECK_PAGE, CWizardModel::GetPage(nPage).nTitleId),
      m_bChecked(CWizardModel::GetPage(nPage).bCheckedByDefault),
      m_strBody(ResourceText(CWizardModel::GetPage(nPage).nBodyId)),
      m_nCheckCaptionId(CWizardModel::GetPage(nPage).nCaptionId)
{
}

BOOL CDlgConfigWizardPage1::OnInitDialog()
{
    SetDlgItemText(IDC_WIZARD_CHECK, ResourceText(m_nCheckCaptionId));
    return CWizard97PropertyPage::OnInitDialog();
}

void CDlgConfigWizardPage1::DoDataExchange(CDataExchange* pDX)
{
    CWizard97PropertyPage::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_WIZARD_CHECK, m_bChecked);
    DDX_Text(pDX, IDC_WIZARD_BODY, m_strBody);
}

CDlgConfigWizardPage2::CDlgConfigWizardPage2(int nPage)
    : CWizard97PropertyPage(IDD_WIZARD_TEXT_PAGE, CWizardModel::GetPage(nPage).nTitleId),
      m_strHeading(ResourceText(CWizardModel::GetPage(nPage).nCaptionId)),
      m_strBody(ResourceText(CWizardModel::GetPage(nPage).nBodyId))
{
}

void CDlgConfigWizardPage2::DoDataExchange(CDataExchange* pDX)
{
    CWizard97PropertyPage::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_WIZARD_HEADING, m_strHeading);
    DDX_Text(pDX, IDC_WIZARD_BODY, m_strBody);
}
