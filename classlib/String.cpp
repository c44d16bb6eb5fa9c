#include "classlib/String.h"

#include "classlib/WinApp.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

CString& CString::operator=(const wchar_t* psz)
{
    m_str = psz != nullptr ? psz : L"";
    return *this;
}

CString& CString::operator+=(const wchar_t* psz)
{
    if (psz != nullptr)
        m_str += psz;
    return *this;
}

int CString::Compare(const wchar_t* psz) const
{
    return wcscmp(m_str.c_str(), psz != nullptr ? psz : L"");
}

int CString::CompareNoCase(const wchar_t* psz) const
{
    return _wcsicmp(m_str.c_str(), psz != nullptr ? psz : L"");
}

CString CString::Left(int nCount) const
{
    nCount = std::clamp(nCount, 0, GetLength());
    return CString(m_str.substr(0, nCount));
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    nFirst = std::clamp(nFirst, 0, GetLength());
    nCount = std::clamp(nCount, 0, GetLength() - nFirst);
    return CString(m_str.substr(nFirst, nCount));
}

CString CString::Right(int nCount) const
{
    nCount = std::clamp(nCount, 0, GetLength());
    return CString(m_str.substr(m_str.size() - nCount));
}

int CString::Find(wchar_t ch, int nStart) const
{
    if (nStart < 0 || nStart > GetLength())
        return -1;
    size_t n = m_str.find(ch, nStart);
    return n == std::wstring::npos ? -1 : static_cast<int>(n);
}

int CString::Find(const wchar_t* psz, int nStart) const
{
    if (psz == nullptr || nStart < 0 || nStart > GetLength())
        return -1;
    size_t n = m_str.find(psz, nStart);
    return n == std::wstring::npos ? -1 : static_cast<int>(n);
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t n = m_str.rfind(ch);
    return n == std::wstring::npos ? -1 : static_cast<int>(n);
}

int CString::Replace(const wchar_t* pszOld, const wchar_t* pszNew)
{
    if (pszOld == nullptr || *pszOld == L'\0')
        return 0;
    std::wstring strOld(pszOld), strNew(pszNew != nullptr ? pszNew : L"");
    int nCount = 0;
    for (size_t n = m_str.find(strOld); n != std::wstring::npos; n = m_str.find(strOld, n + strNew.size()))
    {
        m_str.replace(n, strOld.size(), strNew);
        ++nCount;
    }
    return nCount;
}

CString& CString::MakeLower()
{
    for (wchar_t& ch : m_str)
        ch = static_cast<wchar_t>(std::towlower(ch));
    return *this;
}

CString& CString::MakeUpper()
{
    for (wchar_t& ch : m_str)
        ch = static_cast<wchar_t>(std::towupper(ch));
    return *this;
}

CString& CString::Trim()
{
    const wchar_t* pszBlank = L" \t\r\n";
    size_t nFirst = m_str.find_first_not_of(pszBlank);
    if (nFirst == std::wstring::npos)
    {
        m_str.clear();
        return *this;
    }
    m_str = m_str.substr(nFirst, m_str.find_last_not_of(pszBlank) - nFirst + 1);
    return *this;
}

void CString::Format(const wchar_t* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* pszFormat, va_list args)
{
    // vswprintf reports only "too small", so the buffer grows until the text fits.
    std::vector<wchar_t> buffer(256);
    for (;;)
    {
        va_list copy;
        va_copy(copy, args);
        int n = vswprintf(buffer.data(), buffer.size(), pszFormat, copy);
        va_end(copy);
        if (n >= 0)
        {
            m_str.assign(buffer.data(), n);
            return;
        }
        if (buffer.size() >= (1u << 20))
        {
            m_str.clear();
            return;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool CString::LoadString(UINT nID)
{
    m_str.clear();
    // A resource library that lacks a string leaves the program's own in
    // place, as it does for menus, icons and dialogs.
    HINSTANCE hLibrary = CWinApp::GetResourceModule();
    HINSTANCE hProgram = CWinApp::GetApp() != nullptr ? CWinApp::GetApp()->m_hInstance : ::GetModuleHandleW(nullptr);
    for (HINSTANCE hModule : {hLibrary, hProgram})
    {
        // With a zero length LoadStringW hands out a pointer to the resource itself.
        const wchar_t* pszResource = nullptr;
        int n = ::LoadStringW(hModule, nID, reinterpret_cast<wchar_t*>(&pszResource), 0);
        if (n > 0 && pszResource != nullptr)
        {
            m_str.assign(pszResource, n);
            return true;
        }
        if (hModule == hProgram)
            break;
    }
    return false;
}

wchar_t* CString::GetBuffer(int nMinLength)
{
    if (nMinLength > GetLength())
        m_str.resize(nMinLength);
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = static_cast<int>(wcsnlen(m_str.c_str(), m_str.size()));
    m_str.resize(std::min<size_t>(nNewLength, m_str.size()));
}
