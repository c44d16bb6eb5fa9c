#include "gui/AddComputerDlg.h"

#include "gui/Resource.h"

#include "classlib/DataExchange.h"

CAddComputerDlg::CAddComputerDlg(CWnd* pParent) : CDialog(IDD_ADD_COMPUTER, pParent)
{
}

void CAddComputerDlg::DoDataExchange(CDataExchange* pDX)
{
    CString strName = m_strName;
    DDX_Text(pDX, IDC_COMPUTER_NAME, strName);
    // A computer without a name would be an item with an empty label that
    // nothing can connect to; the dialog stays open on the name.
    if (pDX->m_bSaveAndValidate && !pDX->HasFailed() && strName.IsEmpty())
    {
        ::MessageBeep(MB_ICONEXCLAMATION);
        pDX->Fail(pDX->PrepareCtrl(IDC_COMPUTER_NAME), nullptr);
        return;
    }
    m_strName = strName;
    DDX_Text(pDX, IDC_COMPUTER_ADDRESS, m_strAddress);
    DDX_Text(pDX, IDC_COMPUTER_PORT, m_strPort);
}
