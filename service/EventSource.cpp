#include "service/EventSource.h"

#include <algorithm>

namespace
{
const wchar_t ApplicationKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
const wchar_t SourcesValue[] = L"Sources";

// Owns one open registry key.
class CKeyHolder
{
public:
    CKeyHolder() : m_hKey(NULL) {}
    ~CKeyHolder()
    {
        if (m_hKey != NULL)
            ::RegCloseKey(m_hKey);
    }
    CKeyHolder(const CKeyHolder&) = delete;
    CKeyHolder& operator=(const CKeyHolder&) = delete;

    bool Create(const std::wstring& strPath)
    {
        return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, strPath.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, NULL, &m_hKey, NULL) == ERROR_SUCCESS;
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey;
};

bool SetValue(HKEY hKey, const wchar_t* pszName, DWORD dwType, const void* pData, size_t nBytes)
{
    return ::RegSetValueExW(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData),
                            static_cast<DWORD>(nBytes)) == ERROR_SUCCESS;
}

std::vector<std::wstring> SplitMultiString(const std::vector<wchar_t>& text)
{
    std::vector<std::wstring> items;
    size_t nStart = 0;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != L'\0')
            continue;
        if (i == nStart)
            break;
        items.emplace_back(text.begin() + nStart, text.begin() + i);
        nStart = i + 1;
    }
    return items;
}
}

std::wstring CEventSource::GetKeyPath(const wchar_t* pszName)
{
    return std::wstring(ApplicationKey) + L"\\" + pszName;
}

bool CEventSource::Register(const wchar_t* pszName, const wchar_t* pszMessageFile, DWORD dwTypes)
{
    CKeyHolder key;
    if (!key.Create(GetKeyPath(pszName)) ||
        !SetValue(key.Get(), L"EventMessageFile", REG_EXPAND_SZ, pszMessageFile,
                  (wcslen(pszMessageFile) + 1) * sizeof(wchar_t)) ||
        !SetValue(key.Get(), L"TypesSupported", REG_DWORD, &dwTypes, sizeof(dwTypes)))
        return false;
    std::vector<std::wstring> sources;
    if (!ReadSources(sources))
        return false;
    if (std::find(sources.begin(), sources.end(), pszName) != sources.end())
        return true;
    sources.emplace_back(pszName);
    return WriteSources(sources);
}

bool CEventSource::Unregister(const wchar_t* pszName)
{
    bool bDeleted = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, GetKeyPath(pszName).c_str()) == ERROR_SUCCESS;
    std::vector<std::wstring> sources;
    if (!ReadSources(sources))
        return false;
    auto itEnd = std::remove(sources.begin(), sources.end(), pszName);
    if (itEnd == sources.end())
        return bDeleted;
    sources.erase(itEnd, sources.end());
    return WriteSources(sources) && bDeleted;
}

bool CEventSource::ReadSources(std::vector<std::wstring>& sources)
{
    sources.clear();
    CKeyHolder key;
    if (!key.Create(ApplicationKey))
        return false;
    DWORD dwBytes = 0;
    // Another installer may change the list between the size and the read: ask again.
    for (int nAttempt = 0; nAttempt < 4; ++nAttempt)
    {
        DWORD dwType = 0;
        LONG lResult = ::RegQueryValueExW(key.Get(), SourcesValue, NULL, &dwType, NULL, &dwBytes);
        if (lResult == ERROR_FILE_NOT_FOUND)
            return true;
        if (lResult != ERROR_SUCCESS || dwType != REG_MULTI_SZ)
            return false;
        // Two spare units: a stored list need not end with its terminators.
        std::vector<wchar_t> text(dwBytes / sizeof(wchar_t) + 2, L'\0');
        lResult = ::RegQueryValueExW(key.Get(), SourcesValue, NULL, &dwType,
                                     reinterpret_cast<BYTE*>(text.data()), &dwBytes);
        if (lResult == ERROR_MORE_DATA)
            continue;
        if (lResult != ERROR_SUCCESS || dwType != REG_MULTI_SZ)
            return false;
        sources = SplitMultiString(text);
        return true;
    }
    return false;
}

bool CEventSource::WriteSources(const std::vector<std::wstring>& sources)
{
    std::vector<wchar_t> text;
    for (const std::wstring& strSource : sources)
    {
        text.insert(text.end(), strSource.begin(), strSource.end());
        text.push_back(L'\0');
    }
    text.push_back(L'\0');
    if (sources.empty())
        text.push_back(L'\0');
    CKeyHolder key;
    return key.Create(ApplicationKey) &&
           SetValue(key.Get(), SourcesValue, REG_MULTI_SZ, text.data(), text.size() * sizeof(wchar_t));
}
