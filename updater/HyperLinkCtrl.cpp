#include "updater/HyperLinkCtrl.h"

#include "updater/UrlRules.h"

#include <shellapi.h>

#include <vector>

namespace
{
std::u16string_view AsUtf16(const wchar_t* psz)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(psz), wcslen(psz));
}

// The default value of a key below HKEY_CLASSES_ROOT.
bool ReadClassValue(const std::wstring& strKey, std::wstring& strValue)
{
    LONG nBytes = 0;
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, strKey.c_str(), nullptr, &nBytes) != ERROR_SUCCESS || nBytes <= 0)
        return false;
    std::vector<wchar_t> vecValue(static_cast<size_t>(nBytes) / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, strKey.c_str(), vecValue.data(), &nBytes) != ERROR_SUCCESS)
        return false;
    strValue = vecValue.data();
    return !strValue.empty();
}
} // namespace

const UINT CHyperLinkCtrl::WM_HYPERLINK_CLICKED = ::RegisterWindowMessageW(L"WM_HYPERLINK_CLICKED");

CHyperLinkCtrl::CHyperLinkCtrl()
    : m_crLink(RGB(0, 0, 0xEE)), m_crVisited(RGB(0x55, 0x1A, 0x8B)), m_crHover(RGB(0xFF, 0, 0)),
      m_crBackground(DefaultBackground), m_bHovering(false), m_bVisited(false), m_nUnderline(-1),
      m_bAdjustToFit(true), m_hLinkCursor(NULL), m_bOwnsCursor(false), m_nTimerId(HoverTimerId),
      m_bOpenOnClick(true), m_bNotifyParent(false), m_bToolTip(true), m_bOpenInNewWindow(false)
{
}

CHyperLinkCtrl::~CHyperLinkCtrl()
{
    if (m_bOwnsCursor && m_hLinkCursor != NULL)
        ::DestroyCursor(m_hLinkCursor);
}

void CHyperLinkCtrl::SetURL(const wchar_t* pszURL)
{
    m_strURL = pszURL;
    if (m_hWnd == NULL)
        return;
    FitToText();
    if (m_toolTip.m_hWnd != NULL)
        m_toolTip.UpdateTipText(m_strURL, this);
}

void CHyperLinkCtrl::SetColours(COLORREF crLink, COLORREF crVisited, COLORREF crHover)
{
    m_crLink = crLink;
    m_crVisited = crVisited;
    m_crHover = crHover;
    if (m_hWnd != NULL)
        Invalidate();
}

void CHyperLinkCtrl::SetBackgroundColour(COLORREF crBackground)
{
    m_crBackground = crBackground;
    m_brBackground.DeleteObject();
    if (crBackground != DefaultBackground)
        m_brBackground.CreateSolidBrush(crBackground);
    if (m_hWnd != NULL)
        Invalidate();
}

void CHyperLinkCtrl::PreSubclassWindow()
{
    ModifyStyle(0, SS_NOTIFY);
    CString strText;
    GetWindowText(strText);
    if (m_strURL.IsEmpty())
        m_strURL = strText;
    else if (strText.IsEmpty())
        SetWindowText(m_strURL);
    BuildFonts();
    FitToText();
    LoadLinkCursor();
    if (m_bToolTip)
        CreateToolTip();
}

void CHyperLinkCtrl::BuildFonts()
{
    HFONT hFont = GetFont();
    if (hFont == NULL)
        hFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    if (hFont == NULL)
        hFont = static_cast<HFONT>(::GetStockObject(ANSI_VAR_FONT));
    LOGFONTW stFont = {};
    if (::GetObjectW(hFont, sizeof(stFont), &stFont) == 0)
        return;
    stFont.lfUnderline = FALSE;
    m_fontNormal.DeleteObject();
    m_fontNormal.CreateFontIndirect(&stFont);
    stFont.lfUnderline = TRUE;
    m_fontUnderline.DeleteObject();
    m_fontUnderline.CreateFontIndirect(&stFont);
    CFont& font = m_nUnderline == 1 ? m_fontUnderline : m_fontNormal;
    SetFont(static_cast<HFONT>(font.GetSafeHandle()), FALSE);
}

void CHyperLinkCtrl::LoadLinkCursor()
{
    m_hLinkCursor = LoadSystemHandCursor();
    m_bOwnsCursor = false;
    if (m_hLinkCursor != NULL)
        return;
    // Systems without a hand cursor had one in the help program.
    HMODULE hHelp = ::LoadLibraryExW(HelpProgramPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (hHelp == NULL)
        return;
    HCURSOR hCursor = ::LoadCursorW(hHelp, MAKEINTRESOURCEW(106));
    if (hCursor != NULL)
    {
        m_hLinkCursor = static_cast<HCURSOR>(::CopyImage(hCursor, IMAGE_CURSOR, 0, 0, 0));
        m_bOwnsCursor = m_hLinkCursor != NULL;
    }
    ::FreeLibrary(hHelp);
}

void CHyperLinkCtrl::FitToText()
{
    if (!m_bAdjustToFit || m_hWnd == NULL)
        return;
    CWnd* pParent = GetParent();
    if (pParent == nullptr)
        return;
    CString strText;
    GetWindowText(strText);
    HDC hDC = ::GetDC(m_hWnd);
    if (hDC == NULL)
        return;
    HGDIOBJ hOld = ::SelectObject(hDC, GetFont());
    SIZE stExtent = {};
    BOOL bMeasured = ::GetTextExtentPoint32W(hDC, strText, strText.GetLength(), &stExtent);
    ::SelectObject(hDC, hOld);
    ::ReleaseDC(m_hWnd, hDC);
    if (!bMeasured)
        return;
    RECT rc;
    GetWindowRect(&rc);
    ::MapWindowPoints(NULL, pParent->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    DWORD dwStyle = GetStyle();
    int cx = stExtent.cx;
    int cy = stExtent.cy;
    int x = rc.left;
    if ((dwStyle & SS_TYPEMASK) == SS_CENTER)
        x = (rc.left + rc.right - cx) / 2;
    else if ((dwStyle & SS_TYPEMASK) == SS_RIGHT)
        x = rc.right - cx;
    int y = (dwStyle & SS_CENTERIMAGE) ? (rc.top + rc.bottom - cy) / 2 : rc.top;
    SetWindowPos(NULL, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHyperLinkCtrl::CreateToolTip()
{
    // The tool subclasses the control, which passes the mouse messages on
    // to the tip as relaying would.
    if (m_toolTip.m_hWnd == NULL && !m_toolTip.Create(this))
        return;
    m_toolTip.AddTool(this, m_strURL);
}

bool CHyperLinkCtrl::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_MOUSEMOVE:
        if (!m_bHovering)
            StartHover();
        break;
    case WM_TIMER:
        if (wParam != m_nTimerId)
            break;
        {
            POINT pt;
            RECT rc;
            ::GetCursorPos(&pt);
            ScreenToClient(&pt);
            GetClientRect(&rc);
            if (!::PtInRect(&rc, pt))
                EndHover();
        }
        lResult = 0;
        return true;
    case WM_SETCURSOR:
        if (m_hLinkCursor == NULL)
            break;
        ::SetCursor(m_hLinkCursor);
        lResult = TRUE;
        return true;
    case WM_DESTROY:
        KillTimer(m_nTimerId);
        break;
    default:
        break;
    }
    return CStatic::OnMessage(nMsg, wParam, lParam, lResult);
}

BOOL CHyperLinkCtrl::OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (nMsg == WM_CTLCOLORSTATIC)
    {
        *pResult = reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam)));
        return TRUE;
    }
    if (nMsg == WM_COMMAND && HIWORD(wParam) == STN_CLICKED)
    {
        OnClicked();
        *pResult = 0;
        return TRUE;
    }
    return CStatic::OnChildNotify(nMsg, wParam, lParam, pResult);
}

HBRUSH CHyperLinkCtrl::OnCtlColor(HDC hDC)
{
    ::SetTextColor(hDC, m_bHovering ? m_crHover : (m_bVisited ? m_crVisited : m_crLink));
    ::SetBkMode(hDC, TRANSPARENT);
    if (m_brBackground.GetSafeHandle() != NULL)
        return static_cast<HBRUSH>(m_brBackground.GetSafeHandle());
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

void CHyperLinkCtrl::StartHover()
{
    m_bHovering = true;
    if (m_nUnderline == -1 && m_fontUnderline.GetSafeHandle() != NULL)
        SetFont(static_cast<HFONT>(m_fontUnderline.GetSafeHandle()), FALSE);
    Invalidate();
    SetTimer(m_nTimerId, HoverTimerMs);
}

void CHyperLinkCtrl::EndHover()
{
    if (!m_bHovering)
        return;
    m_bHovering = false;
    KillTimer(m_nTimerId);
    if (m_nUnderline == -1 && m_fontNormal.GetSafeHandle() != NULL)
        SetFont(static_cast<HFONT>(m_fontNormal.GetSafeHandle()), FALSE);
    // The underline reaches below the text; the parent repaints that strip too.
    CWnd* pParent = GetParent();
    RECT rc;
    GetWindowRect(&rc);
    if (pParent != nullptr)
    {
        ::MapWindowPoints(NULL, pParent->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        rc.bottom += 10;
        pParent->InvalidateRect(&rc);
    }
    Invalidate();
}

void CHyperLinkCtrl::OnClicked()
{
    EndHover();
    bool bOpened = m_bOpenOnClick ? OpenURL(m_strURL) : true;
    if (bOpened)
    {
        m_bVisited = true;
        Invalidate();
    }
    else
        ::MessageBeep(MB_ICONEXCLAMATION);
    CWnd* pParent = GetParent();
    if (m_bNotifyParent && pParent != nullptr)
        pParent->SendMessage(WM_HYPERLINK_CLICKED, static_cast<WPARAM>(GetDlgCtrlID()));
}

bool CHyperLinkCtrl::OpenURL(const wchar_t* pszURL)
{
    if (pszURL == nullptr || *pszURL == 0 || !IsWebUrl(AsUtf16(pszURL)))
        return false;
    HINSTANCE hResult = ShellOpen(m_bOpenInNewWindow ? L"new" : L"open", pszURL);
    if (reinterpret_cast<INT_PTR>(hResult) > 32)
        return true;
    std::wstring strCommand;
    if (!ReadBrowserCommand(strCommand))
        return false;
    std::u16string strLine = BrowserCommandLine(AsUtf16(strCommand.c_str()), AsUtf16(pszURL));
    const wchar_t* pszLine = reinterpret_cast<const wchar_t*>(strLine.c_str());
    int nBytes = ::WideCharToMultiByte(CP_THREAD_ACP, 0, pszLine, -1, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return false;
    std::vector<char> vecLine(static_cast<size_t>(nBytes));
    if (::WideCharToMultiByte(CP_THREAD_ACP, 0, pszLine, -1, vecLine.data(), nBytes, nullptr, nullptr) <= 0)
        return false;
    return RunCommandLine(vecLine.data()) > 31;
}

HINSTANCE CHyperLinkCtrl::ShellOpen(const wchar_t* pszVerb, const wchar_t* pszURL)
{
    return ::ShellExecuteW(NULL, pszVerb, pszURL, nullptr, nullptr, SW_SHOW);
}

bool CHyperLinkCtrl::ReadBrowserCommand(std::wstring& strCommand)
{
    std::wstring strType;
    return ReadClassValue(L".htm", strType) && ReadClassValue(strType + L"\\shell\\open\\command", strCommand);
}

UINT CHyperLinkCtrl::RunCommandLine(const char* pszCommandLine)
{
    return ::WinExec(pszCommandLine, SW_SHOW);
}

HCURSOR CHyperLinkCtrl::LoadSystemHandCursor()
{
    return ::LoadCursorW(NULL, IDC_HAND);
}

std::wstring CHyperLinkCtrl::HelpProgramPath()
{
    wchar_t szWindows[MAX_PATH];
    UINT nChars = ::GetWindowsDirectoryW(szWindows, MAX_PATH);
    if (nChars == 0 || nChars >= MAX_PATH)
        return std::wstring();
    return std::wstring(szWindows, nChars) + L"\\winhlp32.exe";
}
