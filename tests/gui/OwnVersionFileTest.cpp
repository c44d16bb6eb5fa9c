#include "gui/OwnVersionFile.h"

#include "classlib/WinApp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// A working folder of its own, with a file that carries a version resource
// (a copy of the system's kernel32.dll) at the path given.
class OwnVersionFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t szTemp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, szTemp), 0u);
        m_strFolder = std::wstring(szTemp) + L"vf_own_version_" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(m_strFolder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
        wchar_t szSaved[MAX_PATH];
        ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, szSaved), 0u);
        m_strSaved = szSaved;
        ASSERT_TRUE(::SetCurrentDirectoryW(m_strFolder.c_str()));

        wchar_t szSystem[MAX_PATH];
        ASSERT_GT(::GetSystemDirectoryW(szSystem, MAX_PATH), 0u);
        m_strSource = std::wstring(szSystem) + L"\\kernel32.dll";
        DWORD dwHandle = 0;
        DWORD dwSize = ::GetFileVersionInfoSizeW(m_strSource.c_str(), &dwHandle);
        ASSERT_GT(dwSize, 0u);
        std::vector<BYTE> data(dwSize);
        ASSERT_TRUE(::GetFileVersionInfoW(m_strSource.c_str(), 0, dwSize, data.data()));
        VS_FIXEDFILEINFO* pFixed = nullptr;
        UINT uSize = 0;
        ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uSize));
        m_nMajor = HIWORD(pFixed->dwProductVersionMS);
        m_nMinor = LOWORD(pFixed->dwProductVersionMS);
    }
    void TearDown() override
    {
        ::SetCurrentDirectoryW(m_strSaved.c_str());
        for (const std::wstring& strFile : m_placed)
            ::DeleteFileW(strFile.c_str());
        for (const wchar_t* pszSub : {L"\\Debug", L"\\DebugVarnefold", L"\\Other"})
            ::RemoveDirectoryW((m_strFolder + pszSub).c_str());
        ::RemoveDirectoryW(m_strFolder.c_str());
    }
    void Place(const std::wstring& strRelative)
    {
        size_t nSlash = strRelative.rfind(L'\\');
        if (nSlash != std::wstring::npos)
            ::CreateDirectoryW((m_strFolder + L"\\" + strRelative.substr(0, nSlash)).c_str(), nullptr);
        std::wstring strTarget = m_strFolder + L"\\" + strRelative;
        ASSERT_TRUE(::CopyFileW(m_strSource.c_str(), strTarget.c_str(), FALSE));
        m_placed.push_back(strTarget);
    }

    CWinApp m_app;
    std::wstring m_strFolder;
    std::wstring m_strSaved;
    std::wstring m_strSource;
    std::vector<std::wstring> m_placed;
    UINT m_nMajor = 0;
    UINT m_nMinor = 0;
};

TEST_F(OwnVersionFileTest, TheNamedFileIsLookedForInTheGivenFolders)
{
    for (const wchar_t* pszPlace : {L"VfOwnTest.exe", L"Debug\\VfOwnTest.exe", L"DebugVarnefold\\VfOwnTest.exe"})
    {
        Place(pszPlace);
        UINT nMajor = 99;
        UINT nMinor = 99;
        COwnVersionFile own(L"VfOwnTest.exe");
        EXPECT_TRUE(own.GetOwnVersion(nMajor, nMinor)) << std::string(pszPlace, pszPlace + wcslen(pszPlace));
        EXPECT_EQ(nMajor, m_nMajor);
        EXPECT_EQ(nMinor, m_nMinor);
        ASSERT_TRUE(::DeleteFileW(m_placed.back().c_str()));
    }
}

TEST_F(OwnVersionFileTest, NoFileNoVersion)
{
    Place(L"Other\\VfOwnTest.exe");
    UINT nMajor = 99;
    UINT nMinor = 99;
    COwnVersionFile own(L"VfOwnTest.exe");
    EXPECT_FALSE(own.GetOwnVersion(nMajor, nMinor));
}

TEST_F(OwnVersionFileTest, TheStringTableNamesTheProgram)
{
    Place(L"Debug\\Varnefold.exe");
    UINT nMajor = 0;
    UINT nMinor = 0;
    COwnVersionFile own;
    EXPECT_TRUE(own.GetOwnVersion(nMajor, nMinor));
    EXPECT_EQ(nMajor, m_nMajor);
}
} // namespace
