#include "base/Registry.h"

#include <cwchar>
#include <string>

namespace {

bool IsPredefined(HKEY hKey)
{
    // The predefined roots are a small run of reserved handle values.
    ULONG_PTR uValue = reinterpret_cast<ULONG_PTR>(hKey);
    ULONG_PTR uFirst = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
    return uValue >= uFirst && uValue <= uFirst + 0xFF;
}

} // namespace

CRegistry::CRegistry() : m_lResult(ERROR_SUCCESS), m_dwType(0), m_dwSize(0), m_hKey(HKEY_LOCAL_MACHINE)
{
}

CRegistry::~CRegistry()
{
    Close();
}

bool CRegistry::Record(LONG lResult, DWORD dwType, DWORD dwSize)
{
    m_lResult = lResult;
    m_dwType = dwType;
    m_dwSize = dwSize;
    return lResult == ERROR_SUCCESS;
}

// A key opened over an earlier one closes the earlier one, so that no handle
// is left without an owner; the predefined roots are never closed.
void CRegistry::ReplaceKey(HKEY hKey)
{
    if (m_hKey != NULL && !IsPredefined(m_hKey))
        ::RegCloseKey(m_hKey);
    m_hKey = hKey;
}

bool CRegistry::Create(const wchar_t* pszSubKey)
{
    HKEY hKey = NULL;
    LONG lResult = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, pszSubKey, 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &hKey,
                                     nullptr);
    if (lResult == ERROR_SUCCESS)
        ReplaceKey(hKey);
    return Record(lResult, 0, 0);
}

bool CRegistry::Open(HKEY hRoot, const wchar_t* pszSubKey)
{
    m_strPath = pszSubKey;
    HKEY hKey = NULL;
    LONG lResult = ::RegOpenKeyExW(hRoot, pszSubKey, 0, KEY_ALL_ACCESS, &hKey);
    if (lResult == ERROR_SUCCESS)
        ReplaceKey(hKey);
    return Record(lResult, 0, 0);
}

bool CRegistry::OpenQuiet(HKEY hRoot, const wchar_t* pszSubKey)
{
    HKEY hKey = NULL;
    LONG lResult = ::RegOpenKeyExW(hRoot, pszSubKey, 0, KEY_ALL_ACCESS, &hKey);
    if (lResult != ERROR_SUCCESS)
        return Record(lResult, 0, 0);
    ReplaceKey(hKey);
    return true;
}

bool CRegistry::OpenSubKey(const wchar_t* pszSubKey)
{
    HKEY hKey = NULL;
    LONG lResult = ::RegOpenKeyExW(m_hKey, pszSubKey, 0, KEY_ALL_ACCESS, &hKey);
    if (lResult == ERROR_SUCCESS)
        ReplaceKey(hKey);
    return Record(lResult, 0, 0);
}

bool CRegistry::ValueExists(const wchar_t* pszName)
{
    DWORD dwType = 0;
    DWORD dwSize = 0;
    LONG lResult = ::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, nullptr, &dwSize);
    return Record(lResult, dwType, dwSize);
}

// A value of another type or size is refused like a missing one, so a stray
// string never lands in a number.
bool CRegistry::ReadFixed(const wchar_t* pszName, DWORD dwWantedType, void* pValue, DWORD dwBytes)
{
    BYTE abData[8] = {};
    DWORD dwType = 0;
    DWORD dwSize = dwBytes;
    LONG lResult = ::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, abData, &dwSize);
    if (lResult == ERROR_SUCCESS && (dwType != dwWantedType || dwSize != dwBytes))
        lResult = ERROR_INVALID_DATA;
    if (!Record(lResult, dwType, dwSize))
        return false;
    memcpy(pValue, abData, dwBytes);
    return true;
}

bool CRegistry::ReadDWORD(const wchar_t* pszName, DWORD& dwValue)
{
    return ReadFixed(pszName, REG_DWORD, &dwValue, sizeof(DWORD));
}

bool CRegistry::ReadQWORD(const wchar_t* pszName, ULONGLONG& ullValue)
{
    return ReadFixed(pszName, REG_QWORD, &ullValue, sizeof(ULONGLONG));
}

bool CRegistry::ReadString(const wchar_t* pszName, CUnicodeString& strValue)
{
    wchar_t szBuffer[StringBufferBytes / sizeof(wchar_t)];
    DWORD dwType = 0;
    DWORD dwSize = StringBufferBytes;
    LONG lResult = ::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType,
                                      reinterpret_cast<BYTE*>(szBuffer), &dwSize);
    if (lResult == ERROR_SUCCESS && dwType != REG_SZ && dwType != REG_EXPAND_SZ)
        lResult = ERROR_INVALID_DATA;
    if (!Record(lResult, dwType, dwSize))
        return false;
    // A value that fills the buffer without a terminator is taken as it is.
    int nUnits = static_cast<int>(dwSize / sizeof(wchar_t));
    while (nUnits > 0 && szBuffer[nUnits - 1] == L'\0')
        --nUnits;
    if (nUnits == 0)
    {
        strValue.Empty();
        return true;
    }
    wchar_t* pszText = strValue.GetBufferSetLength(nUnits);
    wmemcpy(pszText, szBuffer, nUnits);
    return true;
}

bool CRegistry::ReadMultiString(const wchar_t* pszName, wchar_t* pBuffer, DWORD& dwSize)
{
    DWORD dwType = 0;
    DWORD dwBytes = dwSize;
    LONG lResult = ::RegQueryValueExW(m_hKey, pszName, nullptr, &dwType,
                                      reinterpret_cast<BYTE*>(pBuffer), &dwBytes);
    if (lResult == ERROR_SUCCESS && dwType != REG_MULTI_SZ)
        lResult = ERROR_INVALID_DATA;
    dwSize = dwBytes;
    return Record(lResult, dwType, dwBytes);
}

bool CRegistry::Write(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD dwBytes)
{
    LONG lResult = ::RegSetValueExW(m_hKey, pszName, 0, dwType,
                                    static_cast<const BYTE*>(pData), dwBytes);
    return Record(lResult, dwType, dwBytes);
}

bool CRegistry::WriteString(const wchar_t* pszName, const CUnicodeString& strValue)
{
    // A REG_SZ value holds its terminating NUL: readers that take the stored size as the
    // text's size would otherwise read past it.
    const wchar_t* pszText = strValue.GetBuffer();
    const std::wstring strText(pszText != nullptr ? pszText : L"", static_cast<size_t>(strValue.GetLength()));
    return Write(pszName, REG_SZ, strText.c_str(), static_cast<DWORD>(strText.size() + 1) * sizeof(wchar_t));
}

bool CRegistry::WriteString(const wchar_t* pszName, const wchar_t* pszValue)
{
    if (pszValue == nullptr)
        pszValue = L"";
    return Write(pszName, REG_SZ, pszValue,
                 static_cast<DWORD>(wcslen(pszValue) + 1) * sizeof(wchar_t));
}

bool CRegistry::WriteMultiString(const wchar_t* pszName, const wchar_t* pszList)
{
    if (pszList == nullptr || pszList[0] == L'\0')
        return false;
    const wchar_t* p = pszList;
    while (*p != L'\0')
        p += wcslen(p) + 1;
    DWORD dwBytes = static_cast<DWORD>(p - pszList + 1) * sizeof(wchar_t);
    return Write(pszName, REG_MULTI_SZ, pszList, dwBytes);
}

LONG CRegistry::SetDWORD(const wchar_t* pszName, DWORD dwValue)
{
    return ::RegSetValueExW(m_hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                            sizeof(dwValue));
}

bool CRegistry::WriteDWORD(const wchar_t* pszName, DWORD dwValue)
{
    return Write(pszName, REG_DWORD, &dwValue, sizeof(dwValue));
}

bool CRegistry::WriteQWORD(const wchar_t* pszName, ULONGLONG ullValue)
{
    return Write(pszName, REG_QWORD, &ullValue, sizeof(ullValue));
}

bool CRegistry::DeleteValue(const wchar_t* pszName)
{
    return Record(::RegDeleteValueW(m_hKey, pszName), 0, 0);
}

bool CRegistry::DeleteKey(HKEY hRoot, const wchar_t* pszSubKey)
{
    return Record(::RegDeleteKeyW(hRoot, pszSubKey), 0, 0);
}

void CRegistry::Close()
{
    if (m_hKey != NULL)
    {
        if (!IsPredefined(m_hKey))
            ::RegCloseKey(m_hKey);
        m_hKey = NULL;
    }
}
