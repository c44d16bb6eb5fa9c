#include "guitoolkit/TrayIcon.h"

#include "classlib/WinApp.h"
#include "guitoolkit/SkinMenu.h"

#include <cstddef>
#include <cwchar>

static_assert(offsetof(NOTIFYICONDATAW, hBalloonIcon) == CTrayIcon::RecordSize,
              "the version 3 record ends where the balloon icon begins");

namespace
{
// Cuts the text to what the field holds, with its terminator.
template <size_t N>
void CopyField(wchar_t (&szField)[N], const wchar_t* pszText)
{
    std::wcsncpy(szField, pszText != nullptr ? pszText : L"", N - 1);
    szField[N - 1] = L'\0';
}

bool ShellHasStates()
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    return ::GetVersionExW(&stVersion) && stVersion.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           stVersion.dwMajorVersion > 4;
}

UINT TaskbarCreatedMessage()
{
    static const UINT s_nMessage = ::RegisterWindowMessageW(L"TaskbarCreated");
    return s_nMessage;
}
} // namespace

CTrayIcon::CTrayIcon()
    : m_fnNotify([](DWORD dwMessage, NOTIFYICONDATAW* pRecord) { return ::Shell_NotifyIconW(dwMessage, pRecord); }),
      m_bEnabled(LOBYTE(LOWORD(::GetVersion())) > 3), m_bStateSupport(ShellHasStates()), m_stRecord()
{
}

CTrayIcon::~CTrayIcon()
{
    RemoveIcon();
    if (m_hWnd != NULL)
        DestroyWindow();
}

BOOL CTrayIcon::Notify(DWORD dwMessage)
{
    return m_fnNotify(dwMessage, &m_stRecord);
}

BOOL CTrayIcon::Create(CWnd* pParent, UINT uCallbackMessage, const wchar_t* pszTip, HICON hIcon, UINT uID,
                       BOOL bHidden, const wchar_t* pszBalloonTip, const wchar_t* pszBalloonTitle, DWORD dwBalloonIcon,
                       UINT uBalloonTimeoutSeconds)
{
    if (!m_bEnabled || m_hWnd != NULL)
        return FALSE;
    if (!CreateEx(0, RegisterDefaultClass(), L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL))
        return FALSE;

    m_stRecord.cbSize = RecordSize;
    m_stRecord.hWnd = pParent != nullptr ? pParent->m_hWnd : m_hWnd;
    m_stRecord.uID = uID;
    m_stRecord.hIcon = hIcon;
    m_stRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_stRecord.uCallbackMessage = uCallbackMessage;
    CopyField(m_stRecord.szTip, pszTip);
    if (m_bStateSupport && pszBalloonTip != nullptr)
    {
        m_stRecord.uFlags |= NIF_INFO;
        CopyField(m_stRecord.szInfo, pszBalloonTip);
        CopyField(m_stRecord.szInfoTitle, pszBalloonTitle);
        m_stRecord.uTimeout = uBalloonTimeoutSeconds * 1000;
        m_stRecord.dwInfoFlags = dwBalloonIcon;
    }
    if (m_bStateSupport && bHidden)
    {
        // The hidden add carries the icon, tip and callback too, so that a
        // re-add after the taskbar came back needs nothing more.
        m_stRecord.uFlags |= NIF_STATE;
        m_stRecord.dwState = NIS_HIDDEN;
        m_stRecord.dwStateMask = NIS_HIDDEN;
    }
    m_uCreationFlags = m_stRecord.uFlags;
    // A shell without states cannot hold a hidden icon: it is added when shown.
    if (!bHidden || m_bStateSupport)
    {
        if (Notify(NIM_ADD))
        {
            m_bRemoved = FALSE;
            m_bHidden = bHidden;
        }
        else
        {
            m_bRemoved = m_bHidden = TRUE;
            m_bReAddWanted = TRUE;
        }
    }
    // Later changes of the record must not show the balloon again.
    m_stRecord.szInfo[0] = L'\0';
    return TRUE;
}

BOOL CTrayIcon::AddIcon()
{
    if (!m_bRemoved)
        RemoveIcon();
    if (!m_bEnabled)
        return FALSE;
    m_stRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_stRecord.dwState = 0;
    if (Notify(NIM_ADD))
        m_bHidden = m_bRemoved = FALSE;
    else
        m_bReAddWanted = TRUE;
    return !m_bRemoved;
}

BOOL CTrayIcon::RemoveIcon()
{
    m_bReAddWanted = FALSE;
    if (!m_bEnabled || m_bRemoved)
        return TRUE;
    m_stRecord.uFlags = 0;
    if (Notify(NIM_DELETE))
        m_bHidden = m_bRemoved = TRUE;
    return m_bRemoved;
}

BOOL CTrayIcon::ShowIcon()
{
    if (m_bRemoved)
        return AddIcon();
    if (!m_bHidden)
        return TRUE;
    if (!m_bStateSupport)
        return AddIcon();
    // The icon may have changed while hidden: it shows with the picture it has now.
    m_stRecord.uFlags = NIF_STATE | NIF_ICON;
    m_stRecord.dwState = 0;
    m_stRecord.dwStateMask = NIS_HIDDEN;
    if (Notify(NIM_MODIFY))
        m_bHidden = FALSE;
    return !m_bHidden;
}

BOOL CTrayIcon::SetIcon(HICON hIcon)
{
    if (!m_bEnabled)
        return FALSE;
    m_stRecord.hIcon = hIcon;
    if (m_bHidden)
        return TRUE;
    m_stRecord.uFlags = NIF_ICON;
    return Notify(NIM_MODIFY);
}

void CTrayIcon::OnTaskbarCreated()
{
    m_bReAddWanted = TRUE;
    if (m_bHidden || !m_bEnabled)
        return;
    m_stRecord.uFlags = m_uCreationFlags;
    m_stRecord.dwState = 0;
    if (Notify(NIM_ADD))
    {
        m_bRemoved = FALSE;
        m_bReAddWanted = FALSE;
    }
    else
    {
        m_bHidden = m_bRemoved = TRUE;
    }
}

UINT CTrayIcon::DefaultCommand() const
{
    if (!m_bDefaultByPos)
        return m_uDefaultMenuItem;
    CMenu menu;
    if (!menu.LoadMenu(m_stRecord.uID))
        return 0;
    CMenu* pPopup = menu.GetSubMenu(0);
    UINT uCommand = pPopup != nullptr ? pPopup->GetMenuItemID(static_cast<int>(m_uDefaultMenuItem)) : 0;
    menu.DestroyMenu();
    // A popup or a position past the end has no command.
    return uCommand == static_cast<UINT>(-1) ? 0 : uCommand;
}

LRESULT CTrayIcon::OnIconNotify(WPARAM uID, LPARAM lEvent)
{
    if (uID != m_stRecord.uID)
        return 0;
    CWinApp* pApp = CWinApp::GetApp();
    CWnd* pTarget = m_pMenuTarget != nullptr ? m_pMenuTarget : pApp != nullptr ? pApp->m_pMainWnd : nullptr;
    if (pTarget == nullptr || pTarget->m_hWnd == NULL)
        return 0;
    if (LOWORD(lEvent) == WM_RBUTTONUP)
    {
        CSkinMenu menu;
        if (!menu.LoadMenu(m_stRecord.uID))
            return 0;
        CMenu* pPopup = menu.GetSubMenu(0);
        if (pPopup == nullptr)
            return 0;
        pPopup->SetDefaultItem(m_uDefaultMenuItem, m_bDefaultByPos);
        PrepareMenu(pPopup);
        POINT ptCursor = {};
        ::GetCursorPos(&ptCursor);
        // Without the foreground the menu would not close on a click elsewhere.
        pTarget->SetForegroundWindow();
        pPopup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, ptCursor.x, ptCursor.y, pTarget);
        pTarget->PostMessage(WM_NULL);
    }
    else if (LOWORD(lEvent) == WM_LBUTTONDBLCLK)
    {
        pTarget->SetForegroundWindow();
        pTarget->PostMessage(WM_COMMAND, DefaultCommand(), 0);
    }
    return 1;
}

LRESULT CTrayIcon::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (m_stRecord.uCallbackMessage != 0 && nMsg == m_stRecord.uCallbackMessage)
        return OnIconNotify(wParam, lParam);
    return CWnd::WindowProc(nMsg, wParam, lParam);
}

bool CTrayIcon::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == TaskbarCreatedMessage())
    {
        OnTaskbarCreated();
        lResult = 0;
        return true;
    }
    return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
}
