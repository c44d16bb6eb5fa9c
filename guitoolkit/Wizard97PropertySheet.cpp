#include "guitoolkit/Wizard97PropertySheet.h"

CWizard97PropertySheet::CWizard97PropertySheet(const wchar_t* pszCaption, CWnd* pParent)
    : CPropertySheet(pszCaption, pParent), m_nWidth(400)
{
    m_psh.dwFlags |= PSH_WIZARD97 | PSH_WIZARD_LITE;
}

BOOL CWizard97PropertySheet::OnInitDialog()
{
    BOOL bResult = CPropertySheet::OnInitDialog();
    ModifyStyleEx(0, WS_EX_TOOLWINDOW);
    RECT rcSheet;
    GetWindowRect(&rcSheet);
    int nDelta = 0;
    if (m_nWidth != 0)
    {
        nDelta = m_nWidth - (rcSheet.right - rcSheet.left);
        SetWindowPos(NULL, 0, 0, m_nWidth, rcSheet.bottom - rcSheet.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    for (int nID : {ID_WIZNEXT, ID_WIZFINISH, ID_WIZBACK, IDCANCEL})
    {
        HWND hButton = ::GetDlgItem(m_hWnd, nID);
        if (hButton == NULL)
            continue;
        RECT rc;
        ::GetWindowRect(hButton, &rc);
        ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        ::SetWindowPos(hButton, NULL, rc.left + nDelta, rc.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        AddMnemonic(hButton);
    }
    return bResult;
}

void CWizard97PropertySheet::AddMnemonic(HWND hButton)
{
    CString strCaption;
    CWnd::FromHandle(hButton)->GetWindowText(strCaption);
    // "< &Back" has its mnemonic inside: a second '&' would underline '<' too.
    if (strCaption.Find(L'&') >= 0)
        return;
    ::SetWindowTextW(hButton, L"&" + strCaption);
}

CWizard97PropertyPage::CWizard97PropertyPage(UINT nIDTemplate, UINT nIDCaption)
    : CPropertyPage(nIDTemplate, nIDCaption)
{
    // A wizard shows the page's caption in its header.
    CString strTitle;
    if (nIDCaption != 0 && strTitle.LoadString(nIDCaption))
        SetHeaderTitle(strTitle);
}

CWizard97PropertySheet* CWizard97PropertyPage::Wizard() const
{
    return dynamic_cast<CWizard97PropertySheet*>(GetSheet());
}

DWORD CWizard97PropertyPage::WizardButtonsAt(int nPage, int nPages)
{
    // A single page is first and last at once: Finish wins.
    if (nPage >= nPages - 1)
        return nPage == 0 ? PSWIZB_FINISH : PSWIZB_BACK | PSWIZB_FINISH;
    return nPage == 0 ? PSWIZB_NEXT : PSWIZB_BACK | PSWIZB_NEXT;
}

BOOL CWizard97PropertyPage::OnSetActive()
{
    CWizard97PropertySheet* pSheet = Wizard();
    if (pSheet != nullptr)
    {
        int nPage = pSheet->GetPageIndex(this);
        // The sheet's own object may not be attached yet while its first page
        // becomes active, so the message goes to the window.
        ::PostMessageW(::GetParent(m_hWnd), PSM_SETWIZBUTTONS, 0,
                       WizardButtonsAt(nPage, pSheet->GetPageCount()));
        pSheet->OnPageActivate(nPage);
    }
    return CPropertyPage::OnSetActive();
}

void CWizard97PropertyPage::OnCancel()
{
    if (CWizard97PropertySheet* pSheet = Wizard())
        pSheet->OnWizardCancel();
}

BOOL CWizard97PropertyPage::OnWizardFinish()
{
    CWizard97PropertySheet* pSheet = Wizard();
    if (pSheet == nullptr)
        return TRUE;
    BOOL bDone = pSheet->OnWizardDone();
    if (!bDone)
        ::ShowWindow(::GetParent(m_hWnd), SW_HIDE);
    return bDone;
}

BOOL CWizard97PropertyPage::OnQueryCancel()
{
    OnCancel();
    ::ShowWindow(::GetParent(m_hWnd), SW_HIDE);
    return FALSE;
}
