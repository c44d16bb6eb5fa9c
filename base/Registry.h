// CRegistry: one open registry key of the service, HKEY_LOCAL_MACHINE until
// opened. Reads never change the caller's variable when they fail, so callers
// preset the default and read over it.
#pragma once

#include <windows.h>

#include "base/UnicodeString.h"

class CRegistry
{
public:
    static constexpr DWORD StringBufferBytes = 400;

    CRegistry();
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    bool Create(const wchar_t* pszSubKey);
    bool Open(HKEY hRoot, const wchar_t* pszSubKey);
    bool OpenQuiet(HKEY hRoot, const wchar_t* pszSubKey);
    bool OpenSubKey(const wchar_t* pszSubKey);

    bool ValueExists(const wchar_t* pszName);
    bool ReadDWORD(const wchar_t* pszName, DWORD& dwValue);
    bool ReadQWORD(const wchar_t* pszName, ULONGLONG& ullValue);
    bool ReadString(const wchar_t* pszName, CUnicodeString& strValue);
    // dwSize: the buffer's size in bytes in, the value's size out.
    bool ReadMultiString(const wchar_t* pszName, wchar_t* pBuffer, DWORD& dwSize);

    bool WriteString(const wchar_t* pszName, const CUnicodeString& strValue);
    bool WriteString(const wchar_t* pszName, const wchar_t* pszValue);
    bool WriteMultiString(const wchar_t* pszName, const wchar_t* pszList);
    LONG SetDWORD(const wchar_t* pszName, DWORD dwValue);
    bool WriteDWORD(const wchar_t* pszName, DWORD dwValue);
    bool WriteQWORD(const wchar_t* pszName, ULONGLONG ullValue);

    bool DeleteValue(const wchar_t* pszName);
    bool DeleteKey(HKEY hRoot, const wchar_t* pszSubKey);
    void Close();

    LONG GetLastResult() const { return m_lResult; }
    DWORD GetLastType() const { return m_dwType; }
    DWORD GetLastSize() const { return m_dwSize; }
    HKEY GetKey() const { return m_hKey; }
    const CUnicodeString& GetPath() const { return m_strPath; }

private:
    bool Record(LONG lResult, DWORD dwType, DWORD dwSize);
    bool ReadFixed(const wchar_t* pszName, DWORD dwWantedType, void* pValue, DWORD dwBytes);
    bool Write(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD dwBytes);
    void ReplaceKey(HKEY hKey);

    LONG m_lResult;
    DWORD m_dwType;
    DWORD m_dwSize;
    HKEY m_hKey;
    CUnicodeString m_strPath;
};
