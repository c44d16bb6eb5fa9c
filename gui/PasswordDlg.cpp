#include "gui/PasswordDlg.h"

#include "gui/Resource.h"

#include "classlib/DataExchange.h"

CPasswordDlg::CPasswordDlg(CWnd* pParent)
    : CDialog(IDD_PASSWORD, pParent), m_nHideTyping(1), m_chSavedPasswordChar(0)
{
    m_strPrompt.LoadString(IDS_PASSWORD_CREATE);
}

void CPasswordDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_PASSWORD_HIDE_TYPING, m_nHideTyping);
    DDX_Text(pDX, IDC_PASSWORD_EDIT, m_strPassword);
    DDX_Text(pDX, IDC_PASSWORD_PROMPT, m_strPrompt);
}

BOOL CPasswordDlg::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID == IDC_PASSWORD_HIDE_TYPING && nCode == BN_CLICKED)
    {
        OnHideTyping();
        return TRUE;
    }
    return CDialog::HandleCommand(nID, nCode, pExtra);
}

void CPasswordDlg::OnHideTyping()
{
    UpdateData(TRUE);
    if (m_nHideTyping != 0)
    {
        SendDlgItemMessage(IDC_PASSWORD_EDIT, EM_SETPASSWORDCHAR, m_chSavedPasswordChar);
    }
    else
    {
        m_chSavedPasswordChar = static_cast<wchar_t>(SendDlgItemMessage(IDC_PASSWORD_EDIT, EM_GETPASSWORDCHAR));
        SendDlgItemMessage(IDC_PASSWORD_EDIT, EM_SETPASSWORDCHAR, 0);
    }
    if (CWnd* pEdit = GetDlgItem(IDC_PASSWORD_EDIT))
        pEdit->SetFocus();
}
