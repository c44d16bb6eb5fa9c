#include "service/EventSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{
long CountOf(const std::wstring& strName)
{
    std::vector<std::wstring> sources;
    EXPECT_TRUE(CEventSource::ReadSources(sources));
    return std::count(sources.begin(), sources.end(), strName);
}

DWORD ReadKeyValue(const std::wstring& strName, const wchar_t* pszValue, DWORD* pdwType)
{
    DWORD dwBytes = 0;
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, CEventSource::GetKeyPath(strName.c_str()).c_str(), pszValue,
                          RRF_RT_ANY | RRF_NOEXPAND, pdwType, NULL, &dwBytes);
}
}

TEST(EventSource, RegisteringTwiceListsTheNameOnceAndRemovalTakesItAway)
{
    std::wstring strName = L"VfSourceTest" + std::to_wstring(::GetCurrentProcessId());
    std::wstring strOther = strName + L"Other";
    ASSERT_TRUE(CEventSource::Register(strOther.c_str(), L"C:\\other.exe", 7));
    ASSERT_TRUE(CEventSource::Register(strName.c_str(), L"C:\\Program Files\\x.exe", 7));
    ASSERT_TRUE(CEventSource::Register(strName.c_str(), L"C:\\Program Files\\x.exe", 7));
    EXPECT_EQ(CountOf(strName), 1);

    DWORD dwType = 0;
    EXPECT_EQ(ReadKeyValue(strName, L"EventMessageFile", &dwType), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(ReadKeyValue(strName, L"TypesSupported", &dwType), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_DWORD));

    EXPECT_TRUE(CEventSource::Unregister(strName.c_str()));
    EXPECT_EQ(CountOf(strName), 0);
    EXPECT_EQ(CountOf(strOther), 1);
    EXPECT_EQ(ReadKeyValue(strName, L"TypesSupported", &dwType), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CEventSource::Unregister(strName.c_str()));
    EXPECT_TRUE(CEventSource::Unregister(strOther.c_str()));
}

// A list that cannot be read is left as it is: writing back only our own name
// would drop every other source in it.
TEST(EventSource, UnreadableSourcesListIsNeverOverwritten)
{
    const wchar_t* pszKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                               &hKey, NULL));
    std::vector<BYTE> saved(65536);
    DWORD dwSavedType = 0;
    DWORD dwSavedBytes = static_cast<DWORD>(saved.size());
    LONG lSaved = ::RegQueryValueExW(hKey, L"Sources", NULL, &dwSavedType, saved.data(), &dwSavedBytes);

    const wchar_t szDamaged[] = L"not a list";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(hKey, L"Sources", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(szDamaged), sizeof(szDamaged)));
    std::wstring strName = L"VfSourceKept" + std::to_wstring(::GetCurrentProcessId());
    std::vector<std::wstring> sources;
    EXPECT_FALSE(CEventSource::ReadSources(sources));
    EXPECT_FALSE(CEventSource::Register(strName.c_str(), L"C:\\x.exe", 7));
    wchar_t szAfter[32] = {};
    DWORD dwType = 0;
    DWORD dwBytes = sizeof(szAfter);
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(hKey, L"Sources", NULL, &dwType, reinterpret_cast<BYTE*>(szAfter),
                                                &dwBytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_STREQ(szDamaged, szAfter);

    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, CEventSource::GetKeyPath(strName.c_str()).c_str());
    if (lSaved == ERROR_SUCCESS)
        ::RegSetValueExW(hKey, L"Sources", 0, dwSavedType, saved.data(), dwSavedBytes);
    else
        ::RegDeleteValueW(hKey, L"Sources");
    ::RegCloseKey(hKey);
}
