#include "gui/DefragMessageBox.h"

#include "gui/Resource.h"

#include "classlib/DataExchange.h"
#include "classlib/WinApp.h"

CDefragMessageBox::CDefragMessageBox(const wchar_t* pszText, const wchar_t* pszCaption, CWnd* pParent)
    : CDialog(IDD_DEFRAG_MESSAGEBOX, pParent), m_strText(pszText), m_strCaption(pszCaption)
{
    if (m_strCaption.IsEmpty())
        m_strCaption = CWinApp::GetAppName();
}

BOOL CDefragMessageBox::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(m_strCaption);
    // The themed texture follows through the program's dialog hook.
    return TRUE;
}

void CDefragMessageBox::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_MESSAGEBOX_TEXT, m_strText);
}
