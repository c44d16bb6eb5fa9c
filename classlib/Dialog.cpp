#include "classlib/Dialog.h"

#include "classlib/CreationHookScope.h"
#include "classlib/DataExchange.h"
#include "classlib/ThreadState.h"
#include "classlib/WinApp.h"

namespace
{
CDialog::InitDialogHook g_pfnInitDialogHook = nullptr;

bool IsInputMessage(UINT nMsg)
{
    return (nMsg >= WM_KEYFIRST && nMsg <= WM_KEYLAST) || (nMsg >= WM_MOUSEFIRST && nMsg <= WM_MOUSELAST);
}
} // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent), m_bModal(false), m_bAutoDelete(false)
{
}

void CDialog::SetInitDialogHook(InitDialogHook pfnHook)
{
    g_pfnInitDialogHook = pfnHook;
}

CDialog::InitDialogHook CDialog::GetInitDialogHook()
{
    return g_pfnInitDialogHook;
}

const DLGTEMPLATE* CDialog::LoadTemplate(UINT nIDTemplate, HINSTANCE& hModule)
{
    const wchar_t* pszName = MAKEINTRESOURCEW(nIDTemplate);
    hModule = CWinApp::FindResourceModule(pszName, RT_DIALOG);
    HRSRC hResource = ::FindResourceW(hModule, pszName, RT_DIALOG);
    HGLOBAL hData = hResource != NULL ? ::LoadResource(hModule, hResource) : NULL;
    return hData != NULL ? static_cast<const DLGTEMPLATE*>(::LockResource(hData)) : nullptr;
}

HWND CDialog::OwnerWindow() const
{
    if (m_pParentWnd != nullptr)
        return m_pParentWnd->m_hWnd;
    CWnd* pMain = CWinApp::GetMainWnd();
    return pMain != nullptr ? pMain->m_hWnd : NULL;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT nMsg, WPARAM, LPARAM)
{
    // The object answers WM_INITDIALOG itself; this only runs for a dialog
    // that has none, where TRUE still gives the first control the focus.
    return nMsg == WM_INITDIALOG;
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE hModule = NULL;
    const DLGTEMPLATE* pTemplate = LoadTemplate(m_nIDTemplate, hModule);
    if (pTemplate == nullptr || m_hWnd != NULL)
        return -1;
    HWND hOwner = OwnerWindow();
    m_bModal = true;
    CCreationHookScope scope(this);
    if (!scope.IsHooked())
    {
        m_bModal = false;
        return -1;
    }
    // The window has had its last message when this returns: an
    // auto-deleting object is gone, so nothing of it is touched after.
    return ::DialogBoxIndirectParamW(hModule, pTemplate, hOwner, DialogProc, 0);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParent)
{
    if (m_hWnd != NULL)
        return FALSE;
    m_nIDTemplate = nIDTemplate;
    if (pParent != nullptr)
        m_pParentWnd = pParent;
    HINSTANCE hModule = NULL;
    const DLGTEMPLATE* pTemplate = LoadTemplate(m_nIDTemplate, hModule);
    if (pTemplate == nullptr)
        return FALSE;
    stThreadState& stState = GetThreadState();
    stState.pWndDestroyedInCreation = nullptr;
    m_bModal = false;
    HWND hWnd = NULL;
    {
        CCreationHookScope scope(this);
        if (!scope.IsHooked())
            return FALSE;
        hWnd = ::CreateDialogIndirectParamW(hModule, pTemplate, OwnerWindow(), DialogProc, 0);
    }
    if (hWnd == NULL)
    {
        // A dialog that went in its creation has had its last message, and an
        // auto-deleting object has gone with it.
        if (stState.pWndDestroyedInCreation != this && m_hWnd != NULL)
            Detach();
        return FALSE;
    }
    return m_hWnd == hWnd;
}

void CDialog::EndDialog(int nResult)
{
    if (m_hWnd == NULL)
        return;
    if (m_bModal)
        ::EndDialog(m_hWnd, nResult);
    else
        ShowWindow(SW_HIDE);
}

BOOL CDialog::RunInitDialog()
{
    BOOL bFocus = OnInitDialog();
    if (m_hWnd != NULL && g_pfnInitDialogHook != nullptr && (GetStyle() & WS_CHILD) == 0)
        g_pfnInitDialogHook(m_hWnd);
    return bFocus;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

void CDialog::ReportDataError(const wchar_t* pszMessage)
{
    CString strCaption = CWinApp::GetAppName();
    ::MessageBoxW(m_hWnd, pszMessage, strCaption, MB_OK | MB_ICONEXCLAMATION);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    if (m_hWnd == NULL)
        return FALSE;
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return !dx.HasFailed();
}

void CDialog::CenterWindow(const RECT* prcOver)
{
    RECT rcOver = {};
    HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (prcOver != nullptr)
        rcOver = *prcOver;
    else if (hOwner == NULL || !::IsWindowVisible(hOwner) || ::IsIconic(hOwner) || !::GetWindowRect(hOwner, &rcOver))
        hOwner = NULL;
    RECT rcDlg;
    if (!::GetWindowRect(m_hWnd, &rcDlg))
        return;
    MONITORINFO stMonitor = {};
    stMonitor.cbSize = sizeof(stMonitor);
    HMONITOR hMonitor = prcOver != nullptr || hOwner != NULL ? ::MonitorFromRect(&rcOver, MONITOR_DEFAULTTONEAREST)
                                                             : ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST);
    if (!::GetMonitorInfoW(hMonitor, &stMonitor))
        return;
    const RECT& rcWork = stMonitor.rcWork;
    if (prcOver == nullptr && hOwner == NULL)
        rcOver = rcWork;
    int cx = rcDlg.right - rcDlg.left;
    int cy = rcDlg.bottom - rcDlg.top;
    int x = (rcOver.left + rcOver.right - cx) / 2;
    int y = (rcOver.top + rcOver.bottom - cy) / 2;
    // Keep the whole dialog, and above all its caption, on the screen.
    if (x + cx > rcWork.right)
        x = rcWork.right - cx;
    if (x < rcWork.left)
        x = rcWork.left;
    if (y + cy > rcWork.bottom)
        y = rcWork.bottom - cy;
    if (y < rcWork.top)
        y = rcWork.top;
    SetWindowPos(NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    // A modal dialog's own loop does this; a modeless one keeps its keys
    // (Tab, Enter, Escape, the F-keys) from the main window's accelerators.
    if (m_bModal || m_hWnd == NULL || !IsInputMessage(pMsg->message))
        return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

bool CDialog::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_INITDIALOG:
        lResult = RunInitDialog();
        return true;
    case WM_CLOSE:
        OnCancel();
        lResult = 0;
        return true;
    default:
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
}

BOOL CDialog::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nCode == CN_COMMAND && nID == IDOK)
    {
        OnOK();
        return TRUE;
    }
    if (nCode == CN_COMMAND && nID == IDCANCEL)
    {
        OnCancel();
        return TRUE;
    }
    return CWnd::HandleCommand(nID, nCode, pExtra);
}

void CDialog::PostNcDestroy()
{
    m_bModal = false;
    if (m_bAutoDelete)
        delete this;
}
