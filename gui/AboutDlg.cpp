#include "gui/AboutDlg.h"

#include "gui/ProgramVersionFile.h"
#include "gui/Resource.h"

#include "classlib/DataExchange.h"

namespace
{
// The lowest bit of the product version's third number marks a test build.
constexpr DWORD BetaBuildBit = 0x00010000;
} // namespace

CAboutDlg::CAboutDlg(CWnd* pParent) : CDialog(IDD_ABOUTBOX, pParent)
{
    m_strServiceVersion.LoadString(IDS_VERSION_NOT_AVAILABLE);
}

CString CAboutDlg::ProgramVersionLine(const CFileVersionInfo& info)
{
    CString strLine = CString(L"Version ") + VersionTextOrDefault(info.GetProductVersion()) + L" (" +
                      VersionTextOrDefault(info.GetFileVersion()) + L")";
    const VS_FIXEDFILEINFO* pFixed = info.GetFixedInfo();
    if (pFixed != nullptr && (pFixed->dwProductVersionLS & BetaBuildBit) != 0)
        strLine += L" BETA";
    return strLine;
}

BOOL CAboutDlg::OnInitDialog()
{
    CFileVersionInfo info;
    BOOL bOpened = OpenProgramVersionFile(info);
    if (bOpened)
        m_strProgramVersion = ProgramVersionLine(info);
    // The service's line is worth showing even when the program's own file
    // is not found.
    CDialog::OnInitDialog();
    return bOpened;
}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_ABOUT_PROGRAM_VERSION, m_strProgramVersion);
    DDX_Text(pDX, IDC_ABOUT_SERVICE_VERSION, m_strServiceVersion);
}
