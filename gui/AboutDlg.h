// CAboutDlg: the About box: the program's version, read from its own version
// file when the box opens, and the connected service's, which the opener sets.
#pragma once

#include "base/FileVersionInfo.h"
#include "classlib/Dialog.h"

class CAboutDlg : public CDialog
{
public:
    explicit CAboutDlg(CWnd* pParent = nullptr);

    void SetServiceVersion(const wchar_t* pszLine) { m_strServiceVersion = pszLine; }
    const CString& GetServiceVersion() const { return m_strServiceVersion; }
    // Empty until the box opened with a version file.
    const CString& GetProgramVersion() const { return m_strProgramVersion; }

    // "Version <product> (<file>)", " BETA" added for a product version whose third number is odd.
    static CString ProgramVersionLine(const CFileVersionInfo& info);

    // FALSE when no version file opens: the program's line stays empty.
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    CString m_strServiceVersion;
    CString m_strProgramVersion;
};
