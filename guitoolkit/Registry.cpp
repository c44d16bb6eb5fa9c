#include "guitoolkit/Registry.h"

#include <vector>

namespace toolkit
{
CRegistry::CRegistry(HKEY hRoot)
    : m_lResult(ERROR_SUCCESS), m_dwType(0), m_dwSize(0), m_hKey(hRoot), m_bOwnKey(false)
{
}

CRegistry::~CRegistry()
{
    CloseKey();
}

void CRegistry::CloseKey()
{
    if (m_bOwnKey && m_hKey != NULL)
        ::RegCloseKey(m_hKey);
    m_bOwnKey = false;
}

BOOL CRegistry::Create(HKEY hRoot, const wchar_t* pszSubKey)
{
    HKEY hKey = NULL;
    LONG lResult = ::RegCreateKeyExW(hRoot, pszSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                     &hKey, nullptr);
    return TakeKey(pszSubKey, lResult, hKey);
}

BOOL CRegistry::Open(HKEY hRoot, const wchar_t* pszSubKey)
{
    HKEY hKey = NULL;
    LONG lResult = ::RegOpenKeyExW(hRoot, pszSubKey, 0, KEY_ALL_ACCESS, &hKey);
    return TakeKey(pszSubKey, lResult, hKey);
}

BOOL CRegistry::TakeKey(const wchar_t* pszSubKey, LONG lResult, HKEY hKey)
{
    m_dwType = 0;
    m_dwSize = 0;
    m_strPath = pszSubKey;
    if (!Record(lResult))
        return FALSE;
    CloseKey();
    m_hKey = hKey;
    m_bOwnKey = true;
    return TRUE;
}

BOOL CRegistry::WriteDWORD(const wchar_t* pszName, DWORD dwValue)
{
    if (!Record(::RegSetValueExW(m_hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                                 sizeof(dwValue))))
        return FALSE;
    m_dwType = REG_DWORD;
    m_dwSize = sizeof(dwValue);
    return TRUE;
}

LONG CRegistry::SetDWORD(const wchar_t* pszName, DWORD dwValue)
{
    return ::RegSetValueExW(m_hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

BOOL CRegistry::ReadDWORD(const wchar_t* pszName, DWORD& dwValue)
{
    DWORD dwRead = 0;
    DWORD dwType = 0;
    DWORD dwSize = sizeof(dwRead);
    if (!Record(::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwRead), &dwSize)))
        return FALSE;
    m_dwType = dwType;
    m_dwSize = dwSize;
    // A shorter value would fill only part of the variable.
    if (dwType != REG_DWORD || dwSize != sizeof(dwRead))
        return Record(ERROR_INVALID_DATA);
    dwValue = dwRead;
    return TRUE;
}

BOOL CRegistry::WriteString(const wchar_t* pszName, const wchar_t* pszText)
{
    if (pszText == nullptr)
        return Record(ERROR_INVALID_PARAMETER);
    DWORD dwLength = static_cast<DWORD>(wcslen(pszText));
    if (!Record(::RegSetValueExW(m_hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText),
                                 (dwLength + 1) * sizeof(wchar_t))))
        return FALSE;
    m_dwType = REG_SZ;
    m_dwSize = dwLength + 1;
    return TRUE;
}

BOOL CRegistry::ReadString(const wchar_t* pszName, CString& str)
{
    // One character more than the system may fill, so the text always ends
    // with a terminator, also when the stored data has none.
    wchar_t szBuffer[StringBufferBytes / sizeof(wchar_t) + 1] = {};
    DWORD dwType = 0;
    DWORD dwSize = StringBufferBytes;
    if (!Record(::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(szBuffer), &dwSize)))
        return FALSE;
    m_dwType = dwType;
    m_dwSize = dwSize;
    if (dwType != REG_SZ && dwType != REG_EXPAND_SZ)
        return Record(ERROR_INVALID_DATA);
    szBuffer[dwSize / sizeof(wchar_t)] = L'\0';
    str = szBuffer;
    return TRUE;
}

BOOL CRegistry::ReadMultiString(const wchar_t* pszName, CStringArray& array)
{
    // The size passed is the character count taken as bytes, so the data
    // always ends inside the zeroed buffer and every string is terminated.
    std::vector<wchar_t> buffer(MultiStringChars, L'\0');
    DWORD dwType = 0;
    DWORD dwSize = MultiStringChars;
    if (!Record(::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(buffer.data()),
                                   &dwSize)))
        return FALSE;
    m_dwType = dwType;
    m_dwSize = dwSize;
    if (dwType != REG_MULTI_SZ)
        return Record(ERROR_INVALID_DATA);
    array.RemoveAll();
    size_t nEnd = dwSize / sizeof(wchar_t);
    for (size_t nPos = 0; nPos < nEnd && buffer[nPos] != L'\0';)
    {
        CString strItem(&buffer[nPos]);
        array.Add(strItem);
        nPos += strItem.GetLength() + 1;
    }
    return TRUE;
}

BOOL CRegistry::DeleteValue(const wchar_t* pszName)
{
    m_dwType = 0;
    m_dwSize = 0;
    return Record(::RegDeleteValueW(m_hKey, pszName));
}
} // namespace toolkit
