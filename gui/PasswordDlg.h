// CPasswordDlg: asks for a connection password. The text is hidden while
// typed unless the user unticks "Hide Typing"; the prompt may be replaced
// before the dialog is shown.
#pragma once

#include "classlib/Dialog.h"
#include "classlib/String.h"

class CPasswordDlg : public CDialog
{
public:
    explicit CPasswordDlg(CWnd* pParent = nullptr);

    void DoDataExchange(CDataExchange* pDX) override;

    int m_nHideTyping;
    // The edit's echo character while the text shows plainly.
    wchar_t m_chSavedPasswordChar;
    CString m_strPassword;
    CString m_strPrompt;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    void OnHideTyping();
};
