#include "service/EventSource.h"

#include "base/Registry.h"

#include <algorithm>

namespace
{
const wchar_t ApplicationKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
const wchar_t SourcesValue[] = L"Sources";
// Another installer may change the list between its size and its read.
const int ReadAttempts = 4;

// The registry key's own writers cover neither expandable text nor an empty
// list, which is two terminators only.
bool SetRawValue(CRegistry& key, const wchar_t* pszName, DWORD dwType, const void* pData, size_t nBytes)
{
    return ::RegSetValueExW(key.GetKey(), pszName, 0, dwType, static_cast<const BYTE*>(pData),
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
    CRegistry key;
    if (!key.Create(GetKeyPath(pszName).c_str()) ||
        !SetRawValue(key, L"EventMessageFile", REG_EXPAND_SZ, pszMessageFile,
                     (wcslen(pszMessageFile) + 1) * sizeof(wchar_t)) ||
        !key.WriteDWORD(L"TypesSupported", dwTypes))
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
    CRegistry key;
    bool bDeleted = key.DeleteKey(HKEY_LOCAL_MACHINE, GetKeyPath(pszName).c_str());
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
    CRegistry key;
    if (!key.Create(ApplicationKey))
        return false;
    for (int nAttempt = 0; nAttempt < ReadAttempts; ++nAttempt)
    {
        if (!key.ValueExists(SourcesValue))
            return key.GetLastResult() == ERROR_FILE_NOT_FOUND;
        if (key.GetLastType() != REG_MULTI_SZ)
            return false;
        // Two spare units: a stored list need not end with its terminators.
        std::vector<wchar_t> text(key.GetLastSize() / sizeof(wchar_t) + 2, L'\0');
        DWORD dwBytes = static_cast<DWORD>((text.size() - 2) * sizeof(wchar_t));
        if (key.ReadMultiString(SourcesValue, text.data(), dwBytes))
        {
            sources = SplitMultiString(text);
            return true;
        }
        if (key.GetLastResult() != ERROR_MORE_DATA)
            return false;
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
    CRegistry key;
    if (!key.Create(ApplicationKey))
        return false;
    if (sources.empty())
        return SetRawValue(key, SourcesValue, REG_MULTI_SZ, text.data(), text.size() * sizeof(wchar_t));
    return key.WriteMultiString(SourcesValue, text.data());
}
