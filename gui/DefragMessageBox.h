// CDefragMessageBox: the program's own modal message box: a text and a
// caption, the application's name when the caption is empty.
#pragma once

#include "classlib/Dialog.h"

class CDefragMessageBox : public CDialog
{
public:
    CDefragMessageBox(const wchar_t* pszText, const wchar_t* pszCaption, CWnd* pParent = nullptr);

    const CString& GetText() const { return m_strText; }
    const CString& GetCaption() const { return m_strCaption; }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    CString m_strText;
    CString m_strCaption;
};
