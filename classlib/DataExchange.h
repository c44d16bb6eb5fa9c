// Dialog data exchange: CDataExchange carries the direction of one
// UpdateData pass, and the DDX_ functions move one member to or from one
// control of the dialog. When saving, the first value that does not fit its
// member stops the pass: the member keeps its value, the user is told, the
// control gets the focus, and later exchanges of the pass are skipped.
#pragma once

#include "classlib/String.h"

#include <windows.h>

class CDialog;
class CWnd;

class CDataExchange
{
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate);

    CDialog* m_pDlgWnd;
    // TRUE: controls to members; FALSE: members to controls.
    BOOL m_bSaveAndValidate;

    bool HasFailed() const { return m_bFailed; }
    // The control of that id, or NULL (the pass fails: the template lacks it).
    HWND PrepareCtrl(int nIDC);
    // Ends the pass: tells the user, unless the message is null, and puts the
    // focus on the control with its text selected.
    void Fail(HWND hControl, const wchar_t* pszMessage);

private:
    bool m_bFailed;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
void DDX_Text(CDataExchange* pDX, int nIDC, LONGLONG& value);
// 0 unchecked, 1 checked, 2 indeterminate.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_Check(CDataExchange* pDX, int nIDC, bool& value);
// Subclasses the control into the object on the first pass.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control);
