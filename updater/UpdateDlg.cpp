#include "updater/UpdateDlg.h"

#include "base/StringParser.h"
#include "classlib/DC.h"
#include "classlib/DataExchange.h"
#include "classlib/String.h"
#include "classlib/WinApp.h"
#include "updater/UpdateOptions.h"
#include "updater/UpdateResource.h"

#include <shellapi.h>

#include <climits>
#include <vector>

namespace
{
// The worker posts its done message before it returns; this bounds the wait
// for its end after that message.
constexpr DWORD WorkerEndMs = 5000;
// A pause before the installer starts and after a cancel, so that the file
// and the connection are let go first.
constexpr DWORD SettleMs = 100;

std::vector<std::u16string> SplitCommandLine(const std::wstring& strCommandLine)
{
    CStringParser parser;
    int nCount = parser.Split(strCommandLine.c_str(), g_parserPreset);
    std::vector<std::u16string> vecFields;
    for (int i = 0; i < nCount; ++i)
    {
        const wchar_t* pszField = parser.GetAt(i);
        vecFields.emplace_back(reinterpret_cast<const char16_t*>(pszField), wcslen(pszField));
    }
    return vecFields;
}

std::wstring AsWide(const std::u16string& str)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(str.data()), str.size());
}

// The dialog's background shows through controls drawn on the tab texture.
void EnableDialogTexture(HWND hWnd)
{
    HMODULE hTheme = ::LoadLibraryW(L"UxTheme.dll");
    if (hTheme == NULL)
        return;
    using EnableTextureProc = HRESULT(WINAPI*)(HWND, DWORD);
    auto pfnEnable = reinterpret_cast<EnableTextureProc>(
        reinterpret_cast<void*>(::GetProcAddress(hTheme, "EnableThemeDialogTexture")));
    if (pfnEnable != nullptr)
        pfnEnable(hWnd, 10);
    ::FreeLibrary(hTheme);
}

DWORD MajorVersion()
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    // GetVersionEx answers the version the manifest claims; for the choice of
    // the link's background that is the one that matters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL bKnown = ::GetVersionExW(&stVersion);
#pragma GCC diagnostic pop
    return bKnown ? stVersion.dwMajorVersion : 0;
}
} // namespace

CUpdateDlg::CUpdateDlg(const wchar_t* pszCommandLine, CWnd* pParent)
    : CDialog(IDD_UPDATE, pParent), m_strCommandLine(pszCommandLine != nullptr ? pszCommandLine : L""),
      m_hIcon(NULL), m_stSize{false, 0}, m_nProgressShift(0), m_nProgressRange(0), m_bEnding(false)
{
    HINSTANCE hModule = CWinApp::FindResourceModule(MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    m_hIcon = ::LoadIconW(hModule, MAKEINTRESOURCEW(IDR_MAINFRAME));
}

void CUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UPDATE_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_WHATS_NEW, m_whatsNew);
    DDX_Control(pDX, IDC_MORE_INFORMATION, m_link);
}

std::wstring CUpdateDlg::LoadText(UINT nId)
{
    CString str;
    str.LoadString(nId);
    return std::wstring(static_cast<const wchar_t*>(str), str.GetLength());
}

BOOL CUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    EnableDialogTexture(m_hWnd);

    CUpdateOptions options;
    bool bComplete = options.Parse(SplitCommandLine(m_strCommandLine));
    if (!options.GetProductName().empty())
        SetWindowText((L"Software Update: " + AsWide(options.GetProductName())).c_str());
    CUpdateCheck check(m_update);
    ShowView(check.Run(options, bComplete));
    return TRUE;
}

void CUpdateDlg::ShowView(const stUpdateView& view)
{
    if (!view.bChecked)
        return;
    SetDlgItemText(IDC_INSTALLED_VERSION, view.strInstalled.c_str());
    std::wstring strNew = view.nNewVersionText != 0 ? LoadText(view.nNewVersionText) : view.strNewVersion;
    SetDlgItemText(IDC_NEW_VERSION, strNew.c_str());
    if (view.nStatusText != 0)
        ShowStatus(view.nStatusText);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), view.bOkEnabled);
    if (view.strLinkUrl.empty())
        HideLink();
    else
    {
        m_link.SetURL(view.strLinkUrl.c_str());
        if (MajorVersion() > 5)
        {
            CWindowDC dc(&m_whatsNew);
            m_link.SetBackgroundColour(::GetBkColor(dc.GetSafeHdc()));
        }
    }
    // Neither a failed fetch nor an unreadable description tells what is new.
    if (view.nStatusText == IDS_CANNOT_CONNECT || view.nStatusText == IDS_UPDATE_ERROR)
        return;
    m_strDownloadUrl = view.strDownloadUrl;
    m_stSize = view.stSize;
    SetProgressRange(m_stSize.bKnown ? m_stSize.nBytes : 0);
    CString strGroup;
    GetDlgItemText(IDC_WHATS_NEW_GROUP, strGroup);
    std::wstring strGroupText(static_cast<const wchar_t*>(strGroup), strGroup.GetLength());
    SetDlgItemText(IDC_WHATS_NEW_GROUP, (strGroupText + L" in " + view.strVersion).c_str());
    std::wstring strNews = view.nWhatsNewText != 0 ? LoadText(view.nWhatsNewText) : view.strWhatsNew;
    m_whatsNew.SetWindowText(strNews.c_str());
}

void CUpdateDlg::ShowStatus(UINT nTextId)
{
    SetDlgItemText(IDC_UPDATE_STATUS, nTextId != 0 ? LoadText(nTextId).c_str() : L"");
    ::ShowWindow(::GetDlgItem(m_hWnd, IDC_UPDATE_STATUS), SW_SHOW);
}

void CUpdateDlg::HideLink()
{
    m_link.ShowWindow(SW_HIDE);
    RECT rcLink, rcEdit;
    m_link.GetWindowRect(&rcLink);
    m_whatsNew.GetWindowRect(&rcEdit);
    rcEdit.bottom = rcLink.bottom;
    ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rcEdit), 2);
    m_whatsNew.MoveWindow(rcEdit);
}

void CUpdateDlg::SetProgressRange(uint64_t nBytes)
{
    m_nProgressShift = 0;
    while ((nBytes >> m_nProgressShift) > static_cast<uint64_t>(INT_MAX))
        ++m_nProgressShift;
    m_nProgressRange = nBytes;
    m_progress.SetRange32(0, static_cast<int>(nBytes >> m_nProgressShift));
    m_progress.SetPos(0);
}

void CUpdateDlg::SetProgressPos(uint64_t nBytes)
{
    // Without a size the bar follows the bytes: its end stays ahead of them.
    if (!m_stSize.bKnown && nBytes >= m_nProgressRange)
    {
        SetProgressRange(nBytes * 2);
        if (m_nProgressRange == 0)
            return;
    }
    if (nBytes > m_nProgressRange)
        nBytes = m_nProgressRange;
    m_progress.SetPos(static_cast<int>(nBytes >> m_nProgressShift));
}

void CUpdateDlg::OnOK()
{
    ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), FALSE);
    SetDlgItemText(IDC_UPDATE_STATUS, L"");
    if (!CUpdateCheck::TargetPath(m_strDownloadUrl, m_strTargetPath) ||
        m_update.StartDownload(m_strDownloadUrl.c_str(), m_strTargetPath.c_str(), m_hWnd) != CAppUpdate::ResultStarted)
        ShowStatus(IDS_UPDATE_ERROR);
}

void CUpdateDlg::OnCancel()
{
    if (m_bEnding)
        return;
    m_bEnding = true;
    if (m_update.HasWorker())
    {
        // The worker posts and never waits for this window, so the wait
        // cannot deadlock; one still blocked past the limit ends on its own,
        // and its file is deleted then.
        m_update.Cancel();
        ::Sleep(SettleMs);
    }
    EndDialog(IDCANCEL);
}

void CUpdateDlg::OnProgress(uint64_t nBytes)
{
    SetDlgItemText(IDC_UPDATE_STATUS, L"");
    SetProgressPos(nBytes);
}

void CUpdateDlg::OnDone(uint64_t nBytes, int nResult)
{
    m_update.Finish(WorkerEndMs);
    OnProgress(nBytes);
    if (nResult != CAppUpdate::ResultDone)
    {
        ShowStatus(IDS_UPDATE_ERROR);
        return;
    }
    ::Sleep(SettleMs);
    if (!StartTarget(m_strTargetPath))
    {
        ShowStatus(IDS_UPDATE_ERROR);
        return;
    }
    m_bEnding = true;
    EndDialog(IDOK);
}

bool CUpdateDlg::StartTarget(const std::wstring& strPath)
{
    HINSTANCE hResult = ::ShellExecuteW(m_hWnd, nullptr, strPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(hResult) > 32;
}

void CUpdateDlg::OnPaintIconic()
{
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT rc;
    GetClientRect(&rc);
    int cx = ::GetSystemMetrics(SM_CXICON);
    int cy = ::GetSystemMetrics(SM_CYICON);
    ::DrawIcon(dc.GetSafeHdc(), (rc.right - rc.left - cx + 1) / 2, (rc.bottom - rc.top - cy + 1) / 2, m_hIcon);
}

bool CUpdateDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_PAINT:
        if (!IsIconic())
            break;
        OnPaintIconic();
        lResult = 0;
        return true;
    case WM_QUERYDRAGICON:
        lResult = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_UPDATE_PROGRESS:
        if (!m_bEnding)
            OnProgress(static_cast<uint64_t>(wParam));
        lResult = 0;
        return true;
    case WM_UPDATE_DONE:
        if (!m_bEnding)
            OnDone(static_cast<uint64_t>(wParam), static_cast<int>(lParam));
        lResult = 0;
        return true;
    default:
        break;
    }
    return CDialog::OnMessage(nMsg, wParam, lParam, lResult);
}
