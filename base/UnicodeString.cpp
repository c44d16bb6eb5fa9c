#include "base/UnicodeString.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

// A narrow text converted with the ANSI code page, owned for one operation.
class CWideFromNarrow
{
public:
    explicit CWideFromNarrow(const char* pszText) : m_pszText(nullptr), m_nLength(0)
    {
        if (pszText == nullptr || *pszText == '\0')
            return;
        int nUnits = ::MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0);
        if (nUnits <= 1)
            return;
        m_pszText = new wchar_t[nUnits];
        if (::MultiByteToWideChar(CP_ACP, 0, pszText, -1, m_pszText, nUnits) != nUnits)
        {
            delete[] m_pszText;
            m_pszText = nullptr;
            return;
        }
        m_nLength = nUnits - 1;
    }
    ~CWideFromNarrow() { delete[] m_pszText; }
    CWideFromNarrow(const CWideFromNarrow&) = delete;
    CWideFromNarrow& operator=(const CWideFromNarrow&) = delete;

    const wchar_t* Get() const { return m_pszText != nullptr ? m_pszText : L""; }
    int GetLength() const { return m_nLength; }

private:
    wchar_t* m_pszText;
    int m_nLength;
};

wchar_t WideFromNarrowChar(char ch)
{
    wchar_t wch = 0;
    if (::MultiByteToWideChar(CP_ACP, 0, &ch, 1, &wch, 1) != 1)
        return static_cast<unsigned char>(ch);
    return wch;
}

int Sign(int n)
{
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

int CompareUnits(const wchar_t* a, int nA, const wchar_t* b, int nB)
{
    int n = nA < nB ? nA : nB;
    for (int i = 0; i < n; ++i)
    {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return nA == nB ? 0 : (nA < nB ? -1 : 1);
}

int SafeLength(const wchar_t* pszText)
{
    if (pszText == nullptr)
        return 0;
    size_t n = wcslen(pszText);
    return n > static_cast<size_t>(CUnicodeString::MaxLength) ? CUnicodeString::MaxLength
                                                               : static_cast<int>(n);
}

bool InSet(wchar_t ch, const wchar_t* pszSet)
{
    return pszSet != nullptr && ch != L'\0' && wcschr(pszSet, ch) != nullptr;
}

} // namespace

CUnicodeString::CUnicodeString()
    : m_usLength(0), m_usCapacity(0), m_pszBuffer(nullptr), m_pszNarrow(nullptr), m_stNative()
{
}

CUnicodeString::CUnicodeString(const wchar_t* pszText) : CUnicodeString()
{
    SetText(pszText, SafeLength(pszText));
}

CUnicodeString::CUnicodeString(const char* pszText) : CUnicodeString()
{
    CWideFromNarrow wide(pszText);
    SetText(wide.Get(), wide.GetLength());
}

CUnicodeString::CUnicodeString(const CUnicodeString& other) : CUnicodeString()
{
    SetText(other.m_pszBuffer, other.m_usLength);
}

CUnicodeString::CUnicodeString(const UNICODE_STRING& stNative) : CUnicodeString()
{
    SetText(stNative.Buffer, stNative.Buffer != nullptr ? stNative.Length / 2 : 0);
}

CUnicodeString::~CUnicodeString()
{
    Empty();
}

CUnicodeString& CUnicodeString::operator=(const CUnicodeString& other)
{
    if (this != &other)
        SetText(other.m_pszBuffer, other.m_usLength);
    return *this;
}

CUnicodeString& CUnicodeString::operator=(const wchar_t* pszText)
{
    SetText(pszText, SafeLength(pszText));
    return *this;
}

CUnicodeString& CUnicodeString::operator=(const char* pszText)
{
    CWideFromNarrow wide(pszText);
    SetText(wide.Get(), wide.GetLength());
    return *this;
}

CUnicodeString& CUnicodeString::operator=(wchar_t ch)
{
    SetText(&ch, 1);
    return *this;
}

CUnicodeString& CUnicodeString::operator=(char ch)
{
    wchar_t wch = WideFromNarrowChar(ch);
    SetText(&wch, 1);
    return *this;
}

void CUnicodeString::Empty()
{
    delete[] m_pszBuffer;
    m_pszBuffer = nullptr;
    m_usLength = m_usCapacity = 0;
    FreeNarrow();
    m_stNative = UNICODE_STRING();
}

wchar_t* CUnicodeString::GetBufferSetLength(int n)
{
    if (n < 0 || n > MaxLength)
        return nullptr;
    wchar_t* pszBuffer = new wchar_t[n + 1];
    wmemset(pszBuffer, L'\0', n + 1);
    Attach(pszBuffer, n);
    return m_pszBuffer;
}

// Takes ownership of a buffer of nLength + 1 units and terminates it.
void CUnicodeString::Attach(wchar_t* pszBuffer, int nLength)
{
    Empty();
    m_pszBuffer = pszBuffer;
    m_pszBuffer[nLength] = L'\0';
    m_usLength = m_usCapacity = static_cast<USHORT>(nLength);
}

// The source may lie inside this string's own buffer, so the copy is made
// before the old buffer goes.
void CUnicodeString::SetText(const wchar_t* pszText, int nLength)
{
    if (pszText == nullptr || nLength <= 0)
    {
        Empty();
        return;
    }
    if (nLength > MaxLength)
        nLength = MaxLength;
    wchar_t* pszBuffer = new wchar_t[nLength + 1];
    wmemcpy(pszBuffer, pszText, nLength);
    Attach(pszBuffer, nLength);
}

void CUnicodeString::Append(const wchar_t* pszText, int nLength)
{
    if (pszText == nullptr || nLength <= 0)
        return;
    int nRoom = MaxLength - m_usLength;
    if (nLength > nRoom)
        nLength = nRoom;
    if (nLength == 0)
        return;
    int nTotal = m_usLength + nLength;
    wchar_t* pszBuffer = new wchar_t[nTotal + 1];
    if (m_usLength > 0)
        wmemcpy(pszBuffer, m_pszBuffer, m_usLength);
    wmemcpy(pszBuffer + m_usLength, pszText, nLength);
    Attach(pszBuffer, nTotal);
}

void CUnicodeString::FreeNarrow()
{
    delete[] m_pszNarrow;
    m_pszNarrow = nullptr;
}

CUnicodeString operator+(const CUnicodeString& a, const CUnicodeString& b)
{
    CUnicodeString result(a);
    result += b;
    return result;
}

CUnicodeString operator+(const CUnicodeString& a, const wchar_t* b)
{
    CUnicodeString result(a);
    result += b;
    return result;
}

CUnicodeString operator+(const wchar_t* a, const CUnicodeString& b)
{
    CUnicodeString result(a);
    result += b;
    return result;
}

CUnicodeString operator+(const char* a, const CUnicodeString& b)
{
    CUnicodeString result(a);
    result += b;
    return result;
}

CUnicodeString operator+(const CUnicodeString& a, const char* b)
{
    CUnicodeString result(a);
    result += b;
    return result;
}

CUnicodeString operator+(const CUnicodeString& a, char b)
{
    CUnicodeString result(a);
    result += b;
    return result;
}

CUnicodeString& CUnicodeString::operator+=(const CUnicodeString& other)
{
    Append(other.m_pszBuffer, other.m_usLength);
    return *this;
}

CUnicodeString& CUnicodeString::operator+=(const wchar_t* pszText)
{
    Append(pszText, SafeLength(pszText));
    return *this;
}

CUnicodeString& CUnicodeString::operator+=(const char* pszText)
{
    CWideFromNarrow wide(pszText);
    Append(wide.Get(), wide.GetLength());
    return *this;
}

CUnicodeString& CUnicodeString::operator+=(wchar_t ch)
{
    Append(&ch, 1);
    return *this;
}

CUnicodeString& CUnicodeString::operator+=(char ch)
{
    wchar_t wch = WideFromNarrowChar(ch);
    Append(&wch, 1);
    return *this;
}

bool CUnicodeString::operator==(const CUnicodeString& other) const
{
    return m_usLength == other.m_usLength &&
           (m_usLength == 0 || wmemcmp(m_pszBuffer, other.m_pszBuffer, m_usLength) == 0);
}

bool CUnicodeString::operator==(const wchar_t* pszText) const
{
    size_t nLength = pszText != nullptr ? wcslen(pszText) : 0;
    return nLength == m_usLength &&
           (m_usLength == 0 || wmemcmp(m_pszBuffer, pszText, m_usLength) == 0);
}

bool CUnicodeString::operator!=(const wchar_t* pszText) const
{
    return !(*this == pszText);
}

bool CUnicodeString::operator!=(const char* pszText) const
{
    CWideFromNarrow wide(pszText);
    return !(*this == wide.Get());
}

int CUnicodeString::Compare(const CUnicodeString& other) const
{
    return CompareUnits(m_pszBuffer, m_usLength, other.m_pszBuffer, other.m_usLength);
}

int CUnicodeString::Compare(const char* pszText) const
{
    CWideFromNarrow wide(pszText);
    return CompareUnits(m_pszBuffer, m_usLength, wide.Get(), wide.GetLength());
}

int CUnicodeString::CompareNoCase(const CUnicodeString& other) const
{
    return CompareOrdinalNoCase(m_pszBuffer, m_usLength, other.m_pszBuffer, other.m_usLength);
}

int CUnicodeString::CompareNoCase(const char* pszText) const
{
    CWideFromNarrow wide(pszText);
    return CompareOrdinalNoCase(m_pszBuffer, m_usLength, wide.Get(), wide.GetLength());
}

// Names on the volume are equal when the file system takes them for one: code unit by code
// unit after its own upper-casing, which the system's ordinal compare without case applies,
// letters beyond ASCII included.
int CUnicodeString::CompareOrdinalNoCase(const wchar_t* pszA, int nA, const wchar_t* pszB, int nB)
{
    if (nA <= 0 || nB <= 0)
        return nA > 0 ? 1 : (nB > 0 ? -1 : 0);
    switch (::CompareStringOrdinal(pszA, nA, pszB, nB, TRUE))
    {
    case CSTR_LESS_THAN: return -1;
    case CSTR_EQUAL: return 0;
    case CSTR_GREATER_THAN: return 1;
    default: return CompareUnits(pszA, nA, pszB, nB);
    }
}

int CUnicodeString::Collate(const CUnicodeString& other) const
{
    return Sign(wcscoll(m_pszBuffer != nullptr ? m_pszBuffer : L"",
                        other.m_pszBuffer != nullptr ? other.m_pszBuffer : L""));
}

int CUnicodeString::Collate(const char* pszText) const
{
    CWideFromNarrow wide(pszText);
    return Sign(wcscoll(m_pszBuffer != nullptr ? m_pszBuffer : L"", wide.Get()));
}

int CUnicodeString::CollateNoCase(const CUnicodeString& other) const
{
    return Sign(_wcsicoll(m_pszBuffer != nullptr ? m_pszBuffer : L"",
                          other.m_pszBuffer != nullptr ? other.m_pszBuffer : L""));
}

int CUnicodeString::CollateNoCase(const char* pszText) const
{
    CWideFromNarrow wide(pszText);
    return Sign(_wcsicoll(m_pszBuffer != nullptr ? m_pszBuffer : L"", wide.Get()));
}

int CUnicodeString::Find(const wchar_t* pszText, int nStart) const
{
    int nText = SafeLength(pszText);
    if (nText == 0 || nStart < 0)
        return -1;
    for (int i = nStart; i + nText <= m_usLength; ++i)
    {
        if (wmemcmp(m_pszBuffer + i, pszText, nText) == 0)
            return i;
    }
    return -1;
}

int CUnicodeString::Find(wchar_t ch) const
{
    for (int i = 0; i < m_usLength; ++i)
    {
        if (m_pszBuffer[i] == ch)
            return i;
    }
    return -1;
}

int CUnicodeString::Find(char ch) const
{
    return Find(WideFromNarrowChar(ch));
}

int CUnicodeString::ReverseFind(wchar_t ch) const
{
    for (int i = m_usLength - 1; i >= 0; --i)
    {
        if (m_pszBuffer[i] == ch)
            return i;
    }
    return -1;
}

int CUnicodeString::ReverseFind(char ch) const
{
    return ReverseFind(WideFromNarrowChar(ch));
}

int CUnicodeString::FindOneOf(const wchar_t* pszSet) const
{
    for (int i = 0; i < m_usLength; ++i)
    {
        if (InSet(m_pszBuffer[i], pszSet))
            return i;
    }
    return -1;
}

CUnicodeString CUnicodeString::Mid(int nStart, int nCount) const
{
    CUnicodeString result;
    if (nStart < 0)
        nStart = 0;
    if (nStart >= m_usLength || nCount <= 0)
        return result;
    if (nCount > m_usLength - nStart)
        nCount = m_usLength - nStart;
    result.SetText(m_pszBuffer + nStart, nCount);
    return result;
}

CUnicodeString CUnicodeString::Left(int nCount) const
{
    return Mid(0, nCount);
}

int CUnicodeString::TrimRight(const wchar_t* pszSet)
{
    int nLength = m_usLength;
    while (nLength > 0 && InSet(m_pszBuffer[nLength - 1], pszSet))
        --nLength;
    if (nLength != m_usLength)
        SetText(m_pszBuffer, nLength);
    return m_usLength;
}

int CUnicodeString::TrimRight()
{
    int nLength = m_usLength;
    while (nLength > 0 && iswspace(m_pszBuffer[nLength - 1]))
        --nLength;
    if (nLength != m_usLength)
        SetText(m_pszBuffer, nLength);
    return m_usLength;
}

int CUnicodeString::TrimLeft()
{
    int nSkip = 0;
    while (nSkip < m_usLength && iswspace(m_pszBuffer[nSkip]))
        ++nSkip;
    if (nSkip > 0)
        SetText(m_pszBuffer + nSkip, m_usLength - nSkip);
    return m_usLength;
}

int CUnicodeString::TrimLeft(const wchar_t* pszSet)
{
    int nSkip = 0;
    while (nSkip < m_usLength && InSet(m_pszBuffer[nSkip], pszSet))
        ++nSkip;
    if (nSkip > 0)
        SetText(m_pszBuffer + nSkip, m_usLength - nSkip);
    return m_usLength;
}

int CUnicodeString::Remove(wchar_t ch)
{
    int nKept = 0;
    for (int i = 0; i < m_usLength; ++i)
    {
        if (m_pszBuffer[i] != ch)
            m_pszBuffer[nKept++] = m_pszBuffer[i];
    }
    int nRemoved = m_usLength - nKept;
    if (nRemoved > 0)
        SetText(m_pszBuffer, nKept);
    return nRemoved;
}

int CUnicodeString::Remove(char ch)
{
    return Remove(WideFromNarrowChar(ch));
}

int CUnicodeString::Insert(int nIndex, const wchar_t* pszText)
{
    int nText = pszText != nullptr ? static_cast<int>(wcsnlen(pszText, MaxLength + 1)) : 0;
    if (nText == 0)
        return m_usLength;
    if (nText > MaxLength - m_usLength)
        return -1;
    if (nIndex < 0)
        nIndex = 0;
    if (nIndex > m_usLength)
        nIndex = m_usLength;
    int nTotal = m_usLength + nText;
    wchar_t* pszBuffer = new wchar_t[nTotal + 1];
    if (nIndex > 0)
        wmemcpy(pszBuffer, m_pszBuffer, nIndex);
    wmemcpy(pszBuffer + nIndex, pszText, nText);
    if (m_usLength > nIndex)
        wmemcpy(pszBuffer + nIndex + nText, m_pszBuffer + nIndex, m_usLength - nIndex);
    Attach(pszBuffer, nTotal);
    return m_usLength;
}

int CUnicodeString::Insert(int nIndex, const char* pszText)
{
    CWideFromNarrow wide(pszText);
    return Insert(nIndex, wide.Get());
}

int CUnicodeString::Replace(const wchar_t* pszOld, const wchar_t* pszNew)
{
    int nOld = SafeLength(pszOld);
    int nNew = pszNew != nullptr ? static_cast<int>(wcsnlen(pszNew, MaxLength + 1)) : 0;
    if (nOld == 0 || m_usLength == 0)
        return 0;
    int nCount = 0;
    for (int i = Find(pszOld, 0); i >= 0; i = Find(pszOld, i + nOld))
        ++nCount;
    if (nCount == 0)
        return 0;
    long long llTotal = m_usLength + static_cast<long long>(nCount) * (nNew - nOld);
    if (llTotal > MaxLength)
        return -1;
    int nTotal = static_cast<int>(llTotal);
    wchar_t* pszBuffer = new wchar_t[nTotal + 1];
    int nOut = 0;
    int nIn = 0;
    for (int i = Find(pszOld, 0); i >= 0; i = Find(pszOld, nIn))
    {
        wmemcpy(pszBuffer + nOut, m_pszBuffer + nIn, i - nIn);
        nOut += i - nIn;
        wmemcpy(pszBuffer + nOut, pszNew, nNew);
        nOut += nNew;
        nIn = i + nOld;
    }
    wmemcpy(pszBuffer + nOut, m_pszBuffer + nIn, m_usLength - nIn);
    if (nTotal == 0)
    {
        delete[] pszBuffer;
        Empty();
    }
    else
    {
        Attach(pszBuffer, nTotal);
    }
    return nCount * nNew;
}

void CUnicodeString::SetAt(int nIndex, char ch)
{
    if (nIndex < 0 || nIndex >= m_usLength)
        return;
    m_pszBuffer[nIndex] = WideFromNarrowChar(ch);
    FreeNarrow();
}

// A character may take several bytes in the code page (two in the East Asian ones, up to
// three in UTF-8), so the copy is sized by the conversion itself, never by the length.
const char* CUnicodeString::GetNarrow()
{
    FreeNarrow();
    int nBytes = m_usLength > 0 ? ::WideCharToMultiByte(CP_ACP, 0, m_pszBuffer, m_usLength, nullptr, 0,
                                                         nullptr, nullptr)
                                : 0;
    if (nBytes < 0)
        nBytes = 0;
    m_pszNarrow = new char[nBytes + 1];
    if (nBytes > 0 && ::WideCharToMultiByte(CP_ACP, 0, m_pszBuffer, m_usLength, m_pszNarrow, nBytes,
                                            nullptr, nullptr) != nBytes)
        nBytes = 0;
    m_pszNarrow[nBytes] = '\0';
    return m_pszNarrow;
}

UNICODE_STRING* CUnicodeString::GetNativeString()
{
    if (m_usLength > MaxNativeLength)
        return nullptr;
    m_stNative.Length = m_stNative.MaximumLength = static_cast<USHORT>(2 * m_usLength);
    m_stNative.Buffer = m_pszBuffer;
    return &m_stNative;
}

// The runtime's bounded formatters leave the buffer unterminated when they
// cut, so the terminator is set here in every case.
void CUnicodeString::Format(const wchar_t* pszFormat, ...)
{
    wchar_t szBuffer[FormatLimit + 1];
    va_list args;
    va_start(args, pszFormat);
    _vsnwprintf(szBuffer, FormatLimit, pszFormat, args);
    va_end(args);
    szBuffer[FormatLimit] = L'\0';
    SetText(szBuffer, static_cast<int>(wcsnlen(szBuffer, FormatLimit)));
}

void CUnicodeString::Format(const char* pszFormat, ...)
{
    char szBuffer[FormatLimit + 1];
    va_list args;
    va_start(args, pszFormat);
    _vsnprintf(szBuffer, FormatLimit, pszFormat, args);
    va_end(args);
    szBuffer[FormatLimit] = '\0';
    *this = szBuffer;
}
