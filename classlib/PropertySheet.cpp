#include "classlib/PropertySheet.h"

#include "classlib/WinApp.h"

namespace
{
// The sheet whose PropertySheetW runs on this thread: the system's callback
// carries no data of the caller's.
thread_local CPropertySheet* t_pSheetInit = nullptr;

// Posted by a sheet to itself once it has no page left.
constexpr UINT WM_SHEET_ENDED = WM_APP + 0x3F00;

bool IsInputMessage(UINT nMsg)
{
    return (nMsg >= WM_KEYFIRST && nMsg <= WM_KEYLAST) || (nMsg >= WM_MOUSEFIRST && nMsg <= WM_MOUSELAST);
}
} // namespace

CPropertySheet::CPropertySheet(const wchar_t* pszCaption, CWnd* pParent)
    : m_psh(), m_strCaption(pszCaption), m_pParentWnd(pParent)
{
    m_psh.dwSize = sizeof(m_psh);
}

void CPropertySheet::AddPage(CPropertyPage* pPage)
{
    if (pPage == nullptr || GetPageIndex(pPage) >= 0)
        return;
    pPage->m_pSheet = this;
    m_pages.push_back(pPage);
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const
{
    return nPage >= 0 && nPage < GetPageCount() ? m_pages[nPage] : nullptr;
}

int CPropertySheet::GetPageIndex(const CPropertyPage* pPage) const
{
    for (size_t i = 0; i < m_pages.size(); ++i)
    {
        if (m_pages[i] == pPage)
            return static_cast<int>(i);
    }
    return -1;
}

BOOL CPropertySheet::Create(CWnd* pParent)
{
    if (m_hWnd != NULL || m_pages.empty())
        return FALSE;
    if (pParent != nullptr)
        m_pParentWnd = pParent;
    std::vector<HPROPSHEETPAGE> pages;
    for (CPropertyPage* pPage : m_pages)
    {
        HPROPSHEETPAGE hPage = pPage->CreatePage();
        if (hPage == NULL)
        {
            for (HPROPSHEETPAGE hMade : pages)
                ::DestroyPropertySheetPage(hMade);
            return FALSE;
        }
        pages.push_back(hPage);
    }
    CWnd* pOwner = m_pParentWnd != nullptr ? m_pParentWnd : CWinApp::GetMainWnd();
    m_psh.dwFlags |= PSH_MODELESS | PSH_USECALLBACK;
    m_psh.hwndParent = pOwner != nullptr ? pOwner->m_hWnd : NULL;
    m_psh.hInstance = CWinApp::GetResourceModule();
    m_psh.pszCaption = m_strCaption;
    m_psh.nPages = static_cast<UINT>(pages.size());
    m_psh.phpage = pages.data();
    m_psh.pfnCallback = SheetCallback;

    CPropertySheet* pSaved = t_pSheetInit;
    t_pSheetInit = this;
    INT_PTR nResult = ::PropertySheetW(&m_psh);
    t_pSheetInit = pSaved;
    m_psh.phpage = nullptr;
    HWND hWnd = nResult > 0 ? reinterpret_cast<HWND>(nResult) : NULL;
    if (hWnd == NULL || m_hWnd != hWnd)
    {
        // The system owns the pages now and frees them with the sheet.
        if (hWnd != NULL)
            ::DestroyWindow(hWnd);
        return FALSE;
    }
    return TRUE;
}

int CALLBACK CPropertySheet::SheetCallback(HWND hWnd, UINT nMsg, LPARAM)
{
    if (nMsg != PSCB_INITIALIZED)
        return 0;
    CPropertySheet* pThis = t_pSheetInit;
    t_pSheetInit = nullptr;
    if (pThis == nullptr || !pThis->SubclassWindow(hWnd))
        return 0;
    pThis->OnInitDialog();
    if (pThis->m_hWnd != NULL)
    {
        if (CDialog::InitDialogHook pfnHook = CDialog::GetInitDialogHook())
            pfnHook(pThis->m_hWnd);
    }
    return 0;
}

BOOL CPropertySheet::OnInitDialog()
{
    return TRUE;
}

int CPropertySheet::GetActiveIndex() const
{
    if (m_hWnd == NULL)
        return -1;
    HWND hPage = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
    if (hPage == NULL)
        return -1;
    return static_cast<int>(SendMessage(PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(hPage)));
}

BOOL CPropertySheet::SetActivePage(int nPage)
{
    if (m_hWnd == NULL || GetPage(nPage) == nullptr)
        return FALSE;
    return static_cast<BOOL>(SendMessage(PSM_SETCURSEL, nPage));
}

void CPropertySheet::SetWizardButtons(DWORD dwFlags)
{
    if (m_hWnd != NULL)
        PostMessage(PSM_SETWIZBUTTONS, 0, dwFlags);
}

BOOL CPropertySheet::PreTranslateMessage(MSG* pMsg)
{
    if (m_hWnd == NULL || !IsInputMessage(pMsg->message))
        return FALSE;
    return static_cast<BOOL>(SendMessage(PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(pMsg)));
}

bool CPropertySheet::HasEnded() const
{
    return SendMessage(PSM_GETCURRENTPAGEHWND) == 0;
}

LRESULT CPropertySheet::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_SHEET_ENDED)
    {
        if (HasEnded())
            DestroyWindow();
        return 0;
    }
    LRESULT lResult = CWnd::WindowProc(nMsg, wParam, lParam);
    // A modeless sheet that finished or was cancelled stays on the screen
    // without a page; it goes once the button's handling is over.
    if ((nMsg == WM_COMMAND || nMsg == PSM_PRESSBUTTON) && m_hWnd != NULL && HasEnded())
        PostMessage(WM_SHEET_ENDED);
    return lResult;
}
