#include "base/FileVersionInfo.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::wstring Text(const CUnicodeString& str)
{
    return str.GetLength() == 0 ? std::wstring() : std::wstring(str.GetBuffer());
}
}

TEST(FileVersionInfo, ReadsTheOwnProgramsResource)
{
    CFileVersionInfo info;
    ASSERT_TRUE(info.OpenOwnProgram());
    ASSERT_EQ(info.GetTranslationCount(), 1);
    EXPECT_EQ(info.GetLanguage(), 0x0409);
    EXPECT_EQ(info.GetCodePage(), 0x04b0);
    EXPECT_EQ(Text(info.GetFileVersion()), L"1.2.3.4") << "comma and blank separated";
    EXPECT_EQ(Text(info.GetProductVersion()), L"5.6.7.8") << "already with points";
    EXPECT_EQ(Text(info.GetProductName()), L"Varnefold");
    EXPECT_EQ(Text(info.GetCompanyName()), L"Varnefold Test");
    EXPECT_EQ(Text(info.GetOriginalFileName()), L"service_tests.exe");
    EXPECT_EQ(Text(info.GetComments()), L"");
    EXPECT_EQ(info.GetFileVersionNumber(), 0x0001000200030004ULL);
    EXPECT_EQ(info.GetProductVersionNumber(), 0x0005000600070008ULL);
    EXPECT_EQ(info.GetFileType(), static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(info.GetFileFlags(), static_cast<DWORD>(VS_FF_PRERELEASE));
    EXPECT_FALSE(info.SelectTranslation(1));
    EXPECT_EQ(info.GetTranslation(1), nullptr);
}

TEST(FileVersionInfo, WithoutATranslationTableTextsComeFromTheDefaultCodePage)
{
    CFileVersionInfo info;
    ASSERT_TRUE(info.Open(GetTestServicePath().c_str()));
    EXPECT_EQ(info.GetTranslationCount(), 0);
    EXPECT_EQ(info.GetLanguage(), 0);
    EXPECT_EQ(info.GetCodePage(), 1252);
    EXPECT_EQ(Text(info.GetFileDescription()), L"Test service");
    EXPECT_EQ(info.GetFileVersionNumber(), 0x0009000800070006ULL);
}

TEST(FileVersionInfo, FileWithoutResourceOpensNothing)
{
    std::wstring strPath = GetProgramDir() + L"no_version.txt";
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    DWORD dwWritten = 0;
    ::WriteFile(hFile, "plain text", 10, &dwWritten, NULL);
    ::CloseHandle(hFile);

    CFileVersionInfo info;
    ASSERT_TRUE(info.OpenOwnProgram());
    EXPECT_FALSE(info.Open(strPath.c_str()));
    EXPECT_EQ(info.GetFixedInfo(), nullptr);
    EXPECT_EQ(Text(info.GetFileVersion()), L"");
    EXPECT_EQ(Text(info.GetProductName()), L"");
    EXPECT_EQ(info.GetCodePage(), 1252);
    EXPECT_FALSE(info.Open((GetProgramDir() + L"missing.exe").c_str()));
    ::DeleteFileW(strPath.c_str());
}
