// CString: the class library's text type, a UTF-16 string that converts to
// LPCWSTR and loads its text from the application's string table.
#pragma once

#include <windows.h>

#include <string>

class CString
{
public:
    CString() = default;
    CString(const wchar_t* psz) : m_str(psz != nullptr ? psz : L"") {}
    CString(const wchar_t* psz, int nLength) : m_str(psz, nLength > 0 ? nLength : 0) {}
    CString(wchar_t ch, int nRepeat = 1) : m_str(nRepeat > 0 ? nRepeat : 0, ch) {}
    CString(const std::wstring& str) : m_str(str) {}

    operator const wchar_t*() const { return m_str.c_str(); }
    const wchar_t* GetString() const { return m_str.c_str(); }
    const std::wstring& Str() const { return m_str; }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    wchar_t GetAt(int n) const { return m_str.at(n); }
    void SetAt(int n, wchar_t ch) { m_str.at(n) = ch; }

    CString& operator=(const wchar_t* psz);
    CString& operator+=(const CString& str) { m_str += str.m_str; return *this; }
    CString& operator+=(const wchar_t* psz);
    CString& operator+=(wchar_t ch) { m_str += ch; return *this; }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, const wchar_t* b) { CString s(a); s += b; return s; }
    friend CString operator+(const wchar_t* a, const CString& b) { CString s(a); s += b; return s; }
    friend CString operator+(const CString& a, wchar_t ch) { CString s(a); s += ch; return s; }

    bool operator==(const CString& other) const { return m_str == other.m_str; }
    bool operator==(const wchar_t* psz) const { return Compare(psz) == 0; }
    bool operator!=(const CString& other) const { return m_str != other.m_str; }
    bool operator!=(const wchar_t* psz) const { return Compare(psz) != 0; }
    bool operator<(const CString& other) const { return m_str < other.m_str; }

    int Compare(const wchar_t* psz) const;
    int CompareNoCase(const wchar_t* psz) const;

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;
    // -1 when not found.
    int Find(wchar_t ch, int nStart = 0) const;
    int Find(const wchar_t* psz, int nStart = 0) const;
    int ReverseFind(wchar_t ch) const;
    int Replace(const wchar_t* pszOld, const wchar_t* pszNew);
    CString& MakeLower();
    CString& MakeUpper();
    CString& Trim();

    // printf-style, with the wide-character conversions of the C library.
    void Format(const wchar_t* pszFormat, ...);
    void FormatV(const wchar_t* pszFormat, va_list args);
    // From the application's resource module, else from the program; false
    // (and empty) when neither has it.
    bool LoadString(UINT nID);

    // A writable buffer of at least nMinLength characters; ReleaseBuffer ends
    // the text at its terminator (or at nNewLength when given).
    wchar_t* GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    std::wstring m_str;
};
