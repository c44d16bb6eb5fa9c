#include "engine/NativeFunctions.h"
#include "engine/SystemLevel.h"

#include "NativeBinding.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Records the names asked for and refuses one of them.
std::vector<std::string> s_asked;
std::string s_refused;

FARPROC WINAPI RecordingGetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    s_asked.emplace_back(pszName);
    if (s_refused == pszName)
        return nullptr;
    return nativetest::TableWithFmifs().pfnGetProcAddress(hModule, pszName);
}

HMODULE WINAPI RefusingLoadLibraryW(LPCWSTR pszFile)
{
    if (s_refused == "fmifs.dll")
    {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return nativetest::TableWithFmifs().pfnLoadLibraryW(pszFile);
}

bool BindRefusing(const std::string& strRefused)
{
    s_asked.clear();
    s_refused = strRefused;
    sys::SYS_TABLE table = nativetest::TableWithFmifs();
    table.pfnGetProcAddress = &RecordingGetProcAddress;
    table.pfnLoadLibraryW = &RefusingLoadLibraryW;
    sys::CScopedInstall install(&table);
    return native::BindNativeFunctions();
}

std::vector<bool> BoundState()
{
    return {native::RtlInitializeBitMap != nullptr, native::RtlFindClearBits != nullptr,
            native::RtlFindSetBits != nullptr,      native::RtlFindNextForwardRunClear != nullptr,
            native::NtFsControlFile != nullptr,     native::NtQueryInformationFile != nullptr,
            native::NtQuerySystemInformation != nullptr, native::NtQueryObject != nullptr,
            native::NtDuplicateObject != nullptr,   native::ChkdskEx != nullptr,
            native::Chkdsk != nullptr,              native::HeapSetInformation != nullptr};
}

const std::vector<std::string> BindingOrder = {
    "RtlInitializeBitMap", "RtlFindClearBits", "RtlFindSetBits", "RtlFindNextForwardRunClear",
    "NtFsControlFile", "NtQueryInformationFile", "NtQuerySystemInformation", "NtQueryObject",
    "NtDuplicateObject", "ChkdskEx", "Chkdsk", "HeapSetInformation"};

TEST(NativeFunctions, BindsEveryEntryPointInOrder)
{
    ASSERT_TRUE(BindRefusing(""));
    EXPECT_EQ(BindingOrder, s_asked);
    EXPECT_EQ(std::vector<bool>(12, true), BoundState());
    HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(hNtdll, "RtlFindSetBits")),
              reinterpret_cast<void*>(native::RtlFindSetBits));
}

// A missing entry point ends the binding there: the ones after it stay null, and only the
// optional heap call may be missing without failing.
TEST(NativeFunctions, MissingEntryPointStopsTheBinding)
{
    struct CASE
    {
        const char* pszRefused;
        bool bResult;
        size_t nBound;
    };
    const CASE cases[] = {
        {"RtlInitializeBitMap", false, 0},
        {"RtlFindSetBits", false, 2},
        {"NtDuplicateObject", false, 8},
        {"fmifs.dll", false, 9},
        {"ChkdskEx", false, 9},
        {"Chkdsk", false, 10},
        {"HeapSetInformation", true, 11},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszRefused);
        EXPECT_EQ(c.bResult, BindRefusing(c.pszRefused));
        std::vector<bool> expected(12, false);
        std::fill(expected.begin(), expected.begin() + c.nBound, true);
        EXPECT_EQ(expected, BoundState());
    }
    EXPECT_TRUE(nativetest::BindWithFmifs());
}

TEST(SystemLevel, FollowsTheVersionRule)
{
    struct CASE
    {
        DWORD dwMajor;
        DWORD dwMinor;
        int nLevel;
    };
    const CASE cases[] = {{10, 0, 3}, {6, 3, 3}, {6, 0, 3}, {5, 2, 2}, {5, 1, 2}, {5, 0, 1}, {4, 0, 1}};
    for (const CASE& c : cases)
        EXPECT_EQ(c.nLevel, SystemLevelFromVersion(c.dwMajor, c.dwMinor)) << c.dwMajor << "." << c.dwMinor;
}

TEST(SystemLevel, DefaultsToThisSystemUntilSet)
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    ASSERT_TRUE(::GetVersionExW(&stVersion));
    int nDefault = GetSystemLevel();
    EXPECT_EQ(SystemLevelFromVersion(stVersion.dwMajorVersion, stVersion.dwMinorVersion), nDefault);
    SetSystemLevel(1);
    EXPECT_EQ(1, GetSystemLevel());
    SetSystemLevel(nDefault);
}

} // namespace
