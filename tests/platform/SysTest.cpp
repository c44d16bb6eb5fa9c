#include "platform/sys.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// A table that answers one call itself and forwards the rest, as a simulator does.
UINT WINAPI FakeDriveType(LPCWSTR) { return DRIVE_CDROM; }

sys::SYS_TABLE MakeTableWithFakeDriveType()
{
    sys::SYS_TABLE table = sys::RealTable();
    table.pfnGetDriveTypeW = &FakeDriveType;
    return table;
}

std::wstring TempFilePath()
{
    wchar_t szDir[MAX_PATH];
    EXPECT_NE(0u, ::GetTempPathW(MAX_PATH, szDir));
    return std::wstring(szDir) + L"vf_sys_test.bin";
}

TEST(Sys, RealBindingReachesTheSystemForFileCalls)
{
    std::wstring strPath = TempFilePath();
    HANDLE h = sys::CreateFileW(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD dwWritten = 0;
    ASSERT_TRUE(sys::WriteFile(h, "abcdef", 6, &dwWritten, nullptr));
    LARGE_INTEGER liSize = {};
    ASSERT_TRUE(sys::GetFileSizeEx(h, &liSize));
    EXPECT_EQ(6, liSize.QuadPart);
    LARGE_INTEGER liZero = {};
    ASSERT_TRUE(sys::SetFilePointerEx(h, liZero, nullptr, FILE_BEGIN));
    char szRead[8] = {};
    DWORD dwRead = 0;
    ASSERT_TRUE(sys::ReadFile(h, szRead, 6, &dwRead, nullptr));
    EXPECT_STREQ("abcdef", szRead);
    EXPECT_TRUE(sys::CloseHandle(h));
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));
}

TEST(Sys, RealBindingKeepsTheSystemsErrors)
{
    WIN32_FIND_DATAW data;
    HANDLE h = sys::FindFirstFileW(L"C:\\vf-no-such-directory\\*.*", &data);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), ::GetLastError());
}

// Calls that share one signature each reach their own namesake.
TEST(Sys, RealBindingTakesNoCallForAnotherOfTheSameShape)
{
    const sys::SYS_TABLE& real = sys::RealTable();
    EXPECT_EQ(&::CloseHandle, real.pfnCloseHandle);
    EXPECT_EQ(&::FindClose, real.pfnFindClose);
    EXPECT_EQ(&::FindVolumeClose, real.pfnFindVolumeClose);
    EXPECT_EQ(&::CancelIo, real.pfnCancelIo);
    EXPECT_EQ(&::GetWindowsDirectoryW, real.pfnGetWindowsDirectoryW);
    EXPECT_EQ(&::GetSystemWindowsDirectoryW, real.pfnGetSystemWindowsDirectoryW);
    EXPECT_EQ(&::Process32FirstW, real.pfnProcess32FirstW);
    EXPECT_EQ(&::Process32NextW, real.pfnProcess32NextW);
    EXPECT_EQ(&::GetModuleHandleW, real.pfnGetModuleHandleW);
    EXPECT_EQ(&::LoadLibraryW, real.pfnLoadLibraryW);
    EXPECT_EQ(&sys::RealTable(), sys::Install(nullptr)) << "nothing installed: the real table";
}

TEST(Sys, RealBindingFindsNativeEntryPoints)
{
    HMODULE hNtdll = sys::GetModuleHandleW(L"ntdll.dll");
    ASSERT_NE(nullptr, hNtdll);
    EXPECT_EQ(::GetProcAddress(hNtdll, "NtQueryObject"), sys::GetProcAddress(hNtdll, "NtQueryObject"));
    EXPECT_NE(nullptr, sys::GetProcAddress(hNtdll, "NtQueryObject"));
    EXPECT_EQ(nullptr, sys::GetProcAddress(hNtdll, "NoSuchEntryPoint"));
}

TEST(Sys, InstalledTableAnswersUntilTheGuardEnds)
{
    const UINT uReal = sys::GetDriveTypeW(L"C:\\");
    sys::SYS_TABLE table = MakeTableWithFakeDriveType();
    {
        sys::CScopedInstall guard(&table);
        EXPECT_EQ(static_cast<UINT>(DRIVE_CDROM), sys::GetDriveTypeW(L"C:\\"));
        EXPECT_EQ(&table, &sys::Current());
    }
    EXPECT_EQ(&sys::RealTable(), &sys::Current());
    EXPECT_EQ(uReal, sys::GetDriveTypeW(L"C:\\"));
}

TEST(Sys, NestedGuardsRestoreInOrder)
{
    sys::SYS_TABLE outer = MakeTableWithFakeDriveType();
    sys::SYS_TABLE inner = sys::RealTable();
    sys::CScopedInstall guardOuter(&outer);
    {
        sys::CScopedInstall guardInner(&inner);
        EXPECT_EQ(&inner, &sys::Current());
    }
    EXPECT_EQ(&outer, &sys::Current());
}

} // namespace
