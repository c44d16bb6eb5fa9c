// The configuration wizard's two kinds of page: CDlgConfigWizardPage1 with
// one check box and a body text, CDlgConfigWizardPage2 with a heading and a
// body text. Each shows the page of the wizard model at its index.
#pragma once

#include "classlib/String.h"
#include "guitoolkit/Wizard97PropertySheet.h"

class CDlgConfigWizardPage1 : public CWizard97PropertyPage
{
public:
    explicit CDlgConfigWizardPage1(int nPage);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    bool m_bChecked;
    CString m_strBody;

private:
    UINT m_nCheckCaptionId;
};

class CDlgConfigWizardPage2 : public CWizard97PropertyPage
{
public:
    explicit CDlgConfigWizardPage2(int nPage);

    void DoDataExchange(CDataExchange* pDX) override;

    CString m_strHeading;
    CString m_strBody;
};
