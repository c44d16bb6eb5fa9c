// What the main frame does outside its window: the settings it saves, the
// Windows start-up entry, help, the updater and the web page.
#include "gui/MainFrame.h"

#include "gui/CommandTail.h"
#include "gui/qovDefragApp.h"
#include "gui/DefragListView.h"
#include "gui/DefragOutputView.h"
#include "gui/Resource.h"

#include "guitoolkit/GuiUtilities.h"
#include "guitoolkit/Registry.h"
#include "base/FileVersionInfo.h"

#include <shellapi.h>

#include <vector>

const wchar_t* const CMainFrame::RunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const CMainFrame::RunValueName = L"Varnefold";

namespace
{
// The running program's full path; FALSE when the system cannot tell it whole.
BOOL GetProgramPath(CString& strPath)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        DWORD dwChars = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (dwChars == 0)
            return FALSE;
        if (dwChars < buffer.size())
        {
            strPath = CString(buffer.data());
            return TRUE;
        }
        if (buffer.size() >= 32768)
            return FALSE;
        buffer.resize(buffer.size() * 2);
    }
}

CString FolderOf(const CString& strPath)
{
    int nSlash = strPath.ReverseFind(L'\\');
    return nSlash < 0 ? CString() : strPath.Left(nSlash + 1);
}
} // namespace

void CMainFrame::SaveSettings()
{
    WINDOWPLACEMENT stPlacement = {};
    stPlacement.length = sizeof(stPlacement);
    if (m_hWnd != NULL && ::GetWindowPlacement(m_hWnd, &stPlacement))
    {
        m_stSettings.nShow = static_cast<LONG>(stPlacement.showCmd);
        m_stSettings.nLeft = stPlacement.rcNormalPosition.left;
        m_stSettings.nTop = stPlacement.rcNormalPosition.top;
        m_stSettings.nRight = stPlacement.rcNormalPosition.right;
        m_stSettings.nBottom = stPlacement.rcNormalPosition.bottom;
    }
    m_stSettings.dwAlwaysOnTop = m_dwAlwaysOnTop;
    m_stSettings.nDriveList = 0;
    if (m_pListView != nullptr && m_pOutputView != nullptr)
    {
        int cyCur = 0, cyMin = 0;
        m_wndInnerSplitter.GetRowInfo(0, cyCur, cyMin);
        m_stSettings.nDriveList = cyCur;
    }
    int nMethod = m_wndStrategy.m_hWnd != NULL ? m_wndStrategy.GetCurSel() : CB_ERR;
    if (nMethod != CB_ERR)
        m_stSettings.dwDefaultDefragMethod = static_cast<DWORD>(nMethod);
    m_stSettings.dwStartOnWindowsStart = m_bStartOnWindowsStart;
    m_stSettings.dwStartMinimized = m_bStartMinimized;
    if (m_nStyle >= 0)
        m_stSettings.dwStyle = static_cast<DWORD>(m_nStyle);
    m_stSettings.dwTrayIconMode = static_cast<DWORD>(m_nTrayIconMode);
    WriteFrameSettings(m_stSettings);
}

void CMainFrame::SetRunAtStartup(BOOL bRun, BOOL bMinimized)
{
    m_bStartOnWindowsStart = bRun ? 1 : 0;
    m_bStartMinimized = bMinimized ? 1 : 0;
    // Without rights for the machine's key nothing changes, and nothing is said.
    toolkit::CRegistry key(HKEY_LOCAL_MACHINE);
    if (!key.Create(HKEY_LOCAL_MACHINE, RunKey))
        return;
    if (!bRun)
    {
        key.DeleteValue(RunValueName);
        return;
    }
    CString strPath;
    if (!GetProgramPath(strPath))
        return;
    // Quoted: unquoted, a path with blanks starts whatever program its first
    // word names ("C:\Program.exe") at every logon.
    CString strValue = L"\"" + strPath + L"\"";
    if (bMinimized)
        strValue += L" /minimize";
    key.WriteString(RunValueName, strValue);
}

void CMainFrame::ShowHelp(int nTopic)
{
    wchar_t szWindows[MAX_PATH] = {};
    UINT nChars = ::GetWindowsDirectoryW(szWindows, MAX_PATH);
    CString strProgram;
    if (nChars == 0 || nChars >= MAX_PATH || !GetProgramPath(strProgram) || strProgram.GetLength() < 3)
        return;
    CString strViewer = CString(szWindows) + L"\\hh.exe";
    CString strCommand = strViewer + L" ";
    if (nTopic != -1)
    {
        CString strTopic;
        strTopic.Format(L"-mapid %d ms-its:", nTopic);
        strCommand += strTopic;
    }
    strCommand += strProgram.Left(strProgram.GetLength() - 3) + L"chm";
    std::vector<wchar_t> commandLine(strCommand.GetLength() + 1);
    wcscpy(commandLine.data(), strCommand);
    StartProcess(strViewer, commandLine.data());
}

void CMainFrame::OnSearchForUpdates()
{
    CString strProgram, strVersionFile, strVersion;
    if (!GetProgramPath(strProgram))
        return;
    strVersionFile.LoadString(IDS_VERSION_FILE);
    if (!ReadProductVersion(FolderOf(strProgram) + strVersionFile, strVersion))
        return;
    CString strTitle, strUrl;
    GetWindowText(strTitle);
    strUrl.LoadString(IDS_UPDATE_URL);
    CString strParameters = L"/N:\"" + strTitle + L"\" /U:\"" + strUrl + L"\" /V:" + strVersion;
    OpenWithShell(FolderOf(strProgram) + L"Update.exe", strParameters);
}

void CMainFrame::OnOnlineFaq()
{
    CString strUrl;
    strUrl.LoadString(IDS_FAQ_URL);
    // No address, no page: the command does nothing.
    if (!strUrl.IsEmpty())
        OpenWithShell(strUrl, nullptr);
}

CDefragListView* CMainFrame::GetListView() const
{
    return dynamic_cast<CDefragListView*>(m_pListView);
}

WndFactory CMainFrame::ListViewFactory() const
{
    return []() -> CWnd* { return new CDefragListView; };
}

BOOL CMainFrame::ListConnect(const wchar_t* pszName, const wchar_t* pszAddress, const wchar_t* pszPort,
                             BOOL bStopRetry)
{
    CDefragListView* pView = GetListView();
    return pView != nullptr && pView->ConnectToComputer(pszName, pszAddress, pszPort, bStopRetry != FALSE);
}

BOOL CMainFrame::ListSendBareCommand(int nCode)
{
    CDefragListView* pView = GetListView();
    return pView != nullptr && pView->SendBareCommand(nCode);
}

CString CMainFrame::ListConnectedName() const
{
    CDefragListView* pView = GetListView();
    return pView != nullptr ? pView->GetComputerName() : CString();
}

void CMainFrame::ListSetStyle(int nStyle)
{
    if (CDefragListView* pView = GetListView())
        pView->SetStyle(nStyle);
}

BOOL CMainFrame::IsAdministrator() const
{
    return IsUserAdministrator();
}

CString CMainFrame::CommandLine() const
{
    auto* pApp = dynamic_cast<CqovDefragApp*>(CWinApp::GetApp());
    return pApp != nullptr ? pApp->GetCommandTail() : CommandTail(::GetCommandLineW());
}

HINSTANCE CMainFrame::OpenWithShell(const wchar_t* pszFile, const wchar_t* pszParameters)
{
    return ::ShellExecuteW(m_hWnd, nullptr, pszFile, pszParameters, nullptr, SW_SHOWNORMAL);
}

BOOL CMainFrame::StartProcess(const wchar_t* pszApplication, wchar_t* pszCommandLine)
{
    STARTUPINFOW stStartup = {};
    stStartup.cb = sizeof(stStartup);
    PROCESS_INFORMATION stProcess = {};
    if (!::CreateProcessW(pszApplication, pszCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &stStartup,
                          &stProcess))
        return FALSE;
    ::CloseHandle(stProcess.hThread);
    ::CloseHandle(stProcess.hProcess);
    return TRUE;
}

BOOL CMainFrame::ReadProductVersion(const wchar_t* pszFile, CString& strVersion) const
{
    CFileVersionInfo info;
    if (!info.Open(pszFile))
        return FALSE;
    CUnicodeString strText = info.GetProductVersion();
    strVersion = strText.GetLength() == 0 ? CString(L"1.0.0.0") : CString(strText.GetBuffer(), strText.GetLength());
    return TRUE;
}
