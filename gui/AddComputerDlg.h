// CAddComputerDlg: the modal dialog in which the user enters a computer of
// the computer tree or changes one: its name, address and port.
#pragma once

#include "classlib/Dialog.h"

class CAddComputerDlg : public CDialog
{
public:
    explicit CAddComputerDlg(CWnd* pParent = nullptr);

    void DoDataExchange(CDataExchange* pDX) override;

    CString m_strName;
    CString m_strAddress;
    CString m_strPort;
};
