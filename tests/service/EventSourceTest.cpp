#include "service/EventSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{
long CountOf(const std::wstring& strName)
{
    std::vector<std::wstring> sources = CEventSource::ReadSources();
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
