// CUnicodeString: the service's counted UTF-16 string. It also hands out a
// narrow (ANSI code page) copy and a native counted-string view for ntdll calls.
#pragma once

#include <windows.h>
#include <winternl.h>

class CUnicodeString
{
public:
    // Lengths are 16-bit; the native view counts bytes in 16 bits as well.
    static constexpr int MaxLength = 0xFFFF;
    static constexpr int MaxNativeLength = 0x7FFF;
    static constexpr int FormatLimit = 1023;

    CUnicodeString();
    CUnicodeString(const wchar_t* pszText);
    CUnicodeString(const char* pszText);
    CUnicodeString(const CUnicodeString& other);
    explicit CUnicodeString(const UNICODE_STRING& stNative);
    virtual ~CUnicodeString();

    CUnicodeString& operator=(const CUnicodeString& other);
    CUnicodeString& operator=(const wchar_t* pszText);
    CUnicodeString& operator=(const char* pszText);
    CUnicodeString& operator=(wchar_t ch);
    CUnicodeString& operator=(char ch);

    void Empty();
    // The old text is lost; the caller fills n code units. Null when n is out of range.
    wchar_t* GetBufferSetLength(int n);

    friend CUnicodeString operator+(const CUnicodeString& a, const CUnicodeString& b);
    friend CUnicodeString operator+(const CUnicodeString& a, const wchar_t* b);
    friend CUnicodeString operator+(const wchar_t* a, const CUnicodeString& b);
    friend CUnicodeString operator+(const char* a, const CUnicodeString& b);
    friend CUnicodeString operator+(const CUnicodeString& a, const char* b);
    friend CUnicodeString operator+(const CUnicodeString& a, char b);

    // Appends stop at MaxLength code units: the result is cut, never wrapped.
    CUnicodeString& operator+=(const CUnicodeString& other);
    CUnicodeString& operator+=(const wchar_t* pszText);
    CUnicodeString& operator+=(const char* pszText);
    CUnicodeString& operator+=(wchar_t ch);
    CUnicodeString& operator+=(char ch);

    bool operator==(const CUnicodeString& other) const;
    bool operator==(const wchar_t* pszText) const;
    bool operator!=(const wchar_t* pszText) const;
    bool operator!=(const char* pszText) const;

    int Compare(const CUnicodeString& other) const;
    int Compare(const char* pszText) const;
    int CompareNoCase(const CUnicodeString& other) const;
    int CompareNoCase(const char* pszText) const;
    // The one case rule of the service for paths and names, the file system's own.
    static int CompareOrdinalNoCase(const wchar_t* pszA, int nA, const wchar_t* pszB, int nB);
    int Collate(const CUnicodeString& other) const;
    int Collate(const char* pszText) const;
    int CollateNoCase(const CUnicodeString& other) const;
    int CollateNoCase(const char* pszText) const;

    int Find(const wchar_t* pszText, int nStart = 0) const;
    int Find(wchar_t ch) const;
    int Find(char ch) const;
    int ReverseFind(wchar_t ch) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const wchar_t* pszSet) const;
    CUnicodeString Mid(int nStart, int nCount) const;
    CUnicodeString Left(int nCount) const;

    int TrimRight(const wchar_t* pszSet);
    int TrimRight();
    int TrimLeft();
    int TrimLeft(const wchar_t* pszSet);
    int Remove(wchar_t ch);
    int Remove(char ch);
    // Insert and Replace answer -1 and leave the string as it was when the
    // result would be longer than MaxLength.
    int Insert(int nIndex, const wchar_t* pszText);
    int Insert(int nIndex, const char* pszText);
    int Replace(const wchar_t* pszOld, const wchar_t* pszNew);
    void SetAt(int nIndex, char ch);

    int GetLength() const { return m_usLength; }
    const wchar_t* GetBuffer() const { return m_pszBuffer; }
    wchar_t* GetBuffer() { return m_pszBuffer; }
    const char* GetNarrow();
    // Null when the string is longer than MaxNativeLength, whose byte count
    // the native view cannot hold.
    UNICODE_STRING* GetNativeString();

    void Format(const wchar_t* pszFormat, ...);
    void Format(const char* pszFormat, ...);

private:
    void Attach(wchar_t* pszBuffer, int nLength);
    void SetText(const wchar_t* pszText, int nLength);
    void Append(const wchar_t* pszText, int nLength);
    void FreeNarrow();

    USHORT m_usLength;
    USHORT m_usCapacity;
    wchar_t* m_pszBuffer;
    char* m_pszNarrow;
    UNICODE_STRING m_stNative;
};
