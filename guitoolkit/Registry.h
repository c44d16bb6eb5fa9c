// CRegistry: one open registry key of the graphical program's settings, with
// the last Win32 result and the type and size of the last value. A failed
// read never changes the caller's variable: callers preset the default.
// Its own namespace keeps it apart from the service's key class of the same
// name, which shares the test programs.
#pragma once

#include "classlib/Object.h"
#include "classlib/String.h"
#include "classlib/StringArray.h"

#include <windows.h>

namespace toolkit
{
class CRegistry : public CObject
{
public:
    // The string buffer of ReadString, in bytes: 99 characters and the terminator.
    static constexpr DWORD StringBufferBytes = 200;
    static constexpr DWORD MultiStringChars = 4096;

    explicit CRegistry(HKEY hRoot);
    ~CRegistry() override;
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    BOOL Create(HKEY hRoot, const wchar_t* pszSubKey);
    BOOL Open(HKEY hRoot, const wchar_t* pszSubKey);
    BOOL WriteDWORD(const wchar_t* pszName, DWORD dwValue);
    // Records nothing; the Win32 result is the answer.
    LONG SetDWORD(const wchar_t* pszName, DWORD dwValue);
    // Only a REG_DWORD of four bytes is read.
    BOOL ReadDWORD(const wchar_t* pszName, DWORD& dwValue);
    BOOL WriteString(const wchar_t* pszName, const wchar_t* pszText);
    // REG_SZ or REG_EXPAND_SZ of at most 200 bytes; the text ends at its
    // terminator or at the data's end, whichever comes first.
    BOOL ReadString(const wchar_t* pszName, CString& str);
    // A REG_MULTI_SZ value replaces the array with its strings, in order.
    BOOL ReadMultiString(const wchar_t* pszName, CStringArray& array);
    BOOL DeleteValue(const wchar_t* pszName);

    LONG GetLastResult() const { return m_lResult; }
    DWORD GetLastType() const { return m_dwType; }
    DWORD GetLastSize() const { return m_dwSize; }
    HKEY GetKey() const { return m_hKey; }
    const CString& GetPath() const { return m_strPath; }

private:
    // Closes the key when it is one this object opened; root keys are not ours.
    void CloseKey();
    // The key a successful create or open gave replaces the one held.
    BOOL TakeKey(const wchar_t* pszSubKey, LONG lResult, HKEY hKey);
    BOOL Record(LONG lResult) { m_lResult = lResult; return lResult == ERROR_SUCCESS; }

    LONG m_lResult;
    DWORD m_dwType;
    DWORD m_dwSize;
    HKEY m_hKey;
    bool m_bOwnKey;
    CString m_strPath;
};
} // namespace toolkit
