#include "classlib/DataExchange.h"

#include "classlib/Dialog.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>

namespace
{
// A whole decimal number within the bounds; blanks around it are allowed.
bool ParseInteger(const CString& strText, LONGLONG nMin, LONGLONG nMax, LONGLONG& nValue)
{
    const wchar_t* psz = strText;
    while (iswspace(*psz))
        ++psz;
    // The C library reads "-1" as a huge unsigned value; a sign is refused
    // here for members that cannot hold one.
    if (*psz == L'\0' || (nMin >= 0 && *psz == L'-'))
        return false;
    wchar_t* pszEnd = nullptr;
    errno = 0;
    long long nRead = wcstoll(psz, &pszEnd, 10);
    if (pszEnd == psz || errno == ERANGE)
        return false;
    while (iswspace(*pszEnd))
        ++pszEnd;
    if (*pszEnd != L'\0' || nRead < nMin || nRead > nMax)
        return false;
    nValue = nRead;
    return true;
}

template <class TValue>
void ExchangeInteger(CDataExchange* pDX, int nIDC, TValue& value, LONGLONG nMin, LONGLONG nMax,
                     const wchar_t* pszFormat, const wchar_t* pszError)
{
    HWND hControl = pDX->PrepareCtrl(nIDC);
    if (hControl == NULL)
        return;
    CString strText;
    if (!pDX->m_bSaveAndValidate)
    {
        strText.Format(pszFormat, value);
        ::SetWindowTextW(hControl, strText);
        return;
    }
    CWnd::FromHandle(hControl)->GetWindowText(strText);
    LONGLONG nValue = 0;
    if (!ParseInteger(strText, nMin, nMax, nValue))
    {
        pDX->Fail(hControl, pszError);
        return;
    }
    value = static_cast<TValue>(nValue);
}
} // namespace

CDataExchange::CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
    : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate), m_bFailed(false)
{
}

HWND CDataExchange::PrepareCtrl(int nIDC)
{
    if (m_bFailed || m_pDlgWnd == nullptr)
        return NULL;
    HWND hControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
    if (hControl == NULL)
        m_bFailed = true;
    return hControl;
}

void CDataExchange::Fail(HWND hControl, const wchar_t* pszMessage)
{
    m_bFailed = true;
    if (pszMessage != nullptr)
        m_pDlgWnd->ReportDataError(pszMessage);
    if (hControl != NULL && ::IsWindow(hControl))
    {
        ::SetFocus(hControl);
        ::SendMessageW(hControl, EM_SETSEL, 0, -1);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hControl = pDX->PrepareCtrl(nIDC);
    if (hControl == NULL)
        return;
    if (pDX->m_bSaveAndValidate)
        CWnd::FromHandle(hControl)->GetWindowText(value);
    else
        ::SetWindowTextW(hControl, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value)
{
    ExchangeInteger(pDX, nIDC, value, INT_MIN, INT_MAX, L"%d", L"Please enter an integer.");
}

void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value)
{
    ExchangeInteger(pDX, nIDC, value, 0, UINT_MAX, L"%u", L"Please enter a positive integer.");
}

void DDX_Text(CDataExchange* pDX, int nIDC, LONGLONG& value)
{
    ExchangeInteger(pDX, nIDC, value, LLONG_MIN, LLONG_MAX, L"%lld", L"Please enter an integer.");
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hControl = pDX->PrepareCtrl(nIDC);
    if (hControl == NULL)
        return;
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageW(hControl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageW(hControl, BM_SETCHECK, value >= BST_UNCHECKED && value <= BST_INDETERMINATE ? value : 0, 0);
}

void DDX_Check(CDataExchange* pDX, int nIDC, bool& value)
{
    int nCheck = value ? BST_CHECKED : BST_UNCHECKED;
    DDX_Check(pDX, nIDC, nCheck);
    if (pDX->m_bSaveAndValidate && !pDX->HasFailed())
        value = nCheck == BST_CHECKED;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control)
{
    HWND hControl = pDX->PrepareCtrl(nIDC);
    if (hControl == NULL || control.m_hWnd != NULL)
        return;
    if (!control.SubclassWindow(hControl))
        pDX->Fail(NULL, nullptr);
}
