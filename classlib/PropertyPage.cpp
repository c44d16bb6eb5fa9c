#include "classlib/PropertyPage.h"

#include "classlib/PropertySheet.h"

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption)
    : CDialog(nIDTemplate), m_pSheet(nullptr), m_bFirstSetActive(true)
{
    if (nIDCaption != 0)
        m_strCaption.LoadString(nIDCaption);
}

HPROPSHEETPAGE CPropertyPage::CreatePage()
{
    HINSTANCE hModule = NULL;
    const DLGTEMPLATE* pTemplate = LoadTemplate(m_nIDTemplate, hModule);
    if (pTemplate == nullptr)
        return NULL;
    PROPSHEETPAGEW stPage = {};
    stPage.dwSize = sizeof(stPage);
    stPage.dwFlags = PSP_DLGINDIRECT;
    stPage.hInstance = hModule;
    stPage.pResource = pTemplate;
    stPage.pfnDlgProc = PageProc;
    stPage.lParam = reinterpret_cast<LPARAM>(this);
    if (!m_strCaption.IsEmpty())
    {
        stPage.dwFlags |= PSP_USETITLE;
        stPage.pszTitle = m_strCaption;
    }
    if (!m_strHeaderTitle.IsEmpty())
    {
        stPage.dwFlags |= PSP_USEHEADERTITLE;
        stPage.pszHeaderTitle = m_strHeaderTitle;
    }
    m_bFirstSetActive = true;
    return ::CreatePropertySheetPageW(&stPage);
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hWnd, UINT nMsg, WPARAM, LPARAM lParam)
{
    if (nMsg != WM_INITDIALOG)
        return FALSE;
    // The sheet hands the page its own copy of the page record, with the object in lParam.
    const PROPSHEETPAGEW* pPage = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    CPropertyPage* pThis = pPage != nullptr ? reinterpret_cast<CPropertyPage*>(pPage->lParam) : nullptr;
    if (pThis == nullptr || !pThis->SubclassWindow(hWnd))
        return TRUE;
    return pThis->RunInitDialog();
}

bool CPropertyPage::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_NOTIFY && lParam != 0)
    {
        const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        if (pHeader->hwndFrom == ::GetParent(m_hWnd))
        {
            switch (pHeader->code)
            {
            case PSN_SETACTIVE:
            case PSN_KILLACTIVE:
            case PSN_WIZBACK:
            case PSN_WIZNEXT:
            case PSN_WIZFINISH:
            case PSN_QUERYCANCEL:
            case PSN_RESET:
                lResult = OnPageNotify(pHeader->code);
                // The sheet reads the answer as a dialog procedure leaves it, too.
                if (m_hWnd != NULL)
                    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, lResult);
                return true;
            default:
                break;
            }
        }
    }
    return CDialog::OnMessage(nMsg, wParam, lParam, lResult);
}

LRESULT CPropertyPage::OnPageNotify(UINT nCode)
{
    switch (nCode)
    {
    case PSN_SETACTIVE:
        return OnSetActive() ? 0 : -1;
    case PSN_KILLACTIVE:
        return !OnKillActive();
    case PSN_WIZBACK:
        return OnWizardBack();
    case PSN_WIZNEXT:
        return OnWizardNext();
    case PSN_WIZFINISH:
        return !OnWizardFinish();
    case PSN_QUERYCANCEL:
        return !OnQueryCancel();
    default:
        OnReset();
        return 0;
    }
}

BOOL CPropertyPage::OnSetActive()
{
    // The first time, the page's initialisation has just filled the controls.
    if (m_bFirstSetActive)
        m_bFirstSetActive = false;
    else
        UpdateData(FALSE);
    return TRUE;
}

BOOL CPropertyPage::OnKillActive()
{
    return UpdateData(TRUE);
}

LRESULT CPropertyPage::OnWizardBack()
{
    return 0;
}

LRESULT CPropertyPage::OnWizardNext()
{
    return 0;
}

BOOL CPropertyPage::OnWizardFinish()
{
    return TRUE;
}

BOOL CPropertyPage::OnQueryCancel()
{
    return TRUE;
}

void CPropertyPage::OnReset()
{
    OnCancel();
}
