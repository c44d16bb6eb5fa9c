// Chosen failures, and the answers Wine itself gives, on demand.
#include "SimFixture.h"

#include <vector>

namespace {

using Faults = CSimFixture;

TEST_F(Faults, FailureOnOneRecordOrOneFileOrOneRawRead)
{
    m_pVolume->CreateFile(L"locked.txt", 100);
    SIM_FAULT fault;
    fault.dwCode = FSCTL_GET_NTFS_FILE_RECORD;
    fault.llRecord = 3;
    fault.status = ntstatus::IoDeviceError;
    m_system.Faults().Add(fault);
    SIM_FAULT sharing;
    sharing.eCall = SIM_CALL::CreateFile;
    sharing.strPath = L"\\locked.txt";
    sharing.status = ntstatus::SharingViolation;
    m_system.Faults().Add(sharing);
    SIM_FAULT raw;
    raw.eCall = SIM_CALL::ReadFile;
    raw.llRecord = 8;
    raw.status = ntstatus::IoDeviceError;
    m_system.Faults().Add(raw);

    HANDLE hVolume = OpenVolume();
    BYTE out[1040];
    for (LONGLONG llRecord : {0ll, 3ll, 5ll})
    {
        DWORD dwReturned;
        BOOL bOk = sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llRecord, 8, out, 1040, &dwReturned, nullptr);
        EXPECT_EQ(llRecord != 3, bOk != FALSE) << llRecord;
    }
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\locked.txt"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    }
    std::vector<BYTE> cluster(4096);
    DWORD dwRead;
    LARGE_INTEGER liAt;
    liAt.QuadPart = 7 * 4096;
    ASSERT_TRUE(sys::SetFilePointerEx(hVolume, liAt, nullptr, FILE_BEGIN));
    EXPECT_TRUE(sys::ReadFile(hVolume, cluster.data(), 4096, &dwRead, nullptr));
    EXPECT_FALSE(sys::ReadFile(hVolume, cluster.data(), 4096, &dwRead, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), ::GetLastError());
}

TEST_F(Faults, WineAnswersReproduceItsMissingControls)
{
    m_pVolume->CreateFile(L"f.bin", 4096 * 4, Exact({{0, 20000, 4}}));
    m_system.m_bWineAnswers = true;
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\f.bin");
    BYTE out[128];
    DWORD dwReturned;
    LONGLONG llZero = 0;
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, FSCTL_GET_VOLUME_BITMAP, &llZero, 8, out, 128, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), ::GetLastError());
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, out, 88, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), ::GetLastError());
    for (LONGLONG llVcn : {0ll, 1ll, 500ll})
    {
        ASSERT_EQ(ntstatus::Success, FsControl(hFile, FSCTL_GET_RETRIEVAL_POINTERS, &llVcn, 8, out, 128));
        auto* p = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(out);
        EXPECT_EQ(1, p->StartingVcn.QuadPart);
        EXPECT_EQ(0, p->Extents[0].NextVcn.QuadPart);
    }
    EXPECT_EQ(ntstatus::NotSupported, Move(hVolume, hFile, 0, 50000, 4));
    EXPECT_EQ(static_cast<UINT>(DRIVE_UNKNOWN), sys::GetDriveTypeW(m_pVolume->GuidPath().c_str()));
    WIN32_FIND_DATAW data;
    EXPECT_EQ(INVALID_HANDLE_VALUE, sys::FindFirstFileW((m_pVolume->GuidPath() + L"*.*").c_str(), &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_DEV_TYPE), ::GetLastError());
    EXPECT_FALSE(sys::ReadFile(hVolume, out, 512, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), ::GetLastError());
    IO_STATUS_BLOCK iosb;
    EXPECT_EQ(ntstatus::NotImplemented, sys::NtQueryInformationFile(hFile, &iosb, out, 128, FileStreamInformation));
    std::vector<BYTE> name(1024);
    ULONG ulReturned = 0;
    for (const auto& expected : {std::make_pair(hFile, L"\\??\\S:\\f.bin"), std::make_pair(hVolume, L"\\Device\\HarddiskVolume1")})
    {
        ASSERT_EQ(ntstatus::Success, sys::NtQueryObject(expected.first, ObjectNameInformation, name.data(), 1024, &ulReturned));
        auto* pName = reinterpret_cast<UNICODE_STRING*>(name.data());
        EXPECT_EQ(expected.second, std::wstring(pName->Buffer, pName->Length / 2)) << "files by their DOS path, volumes by device";
    }
}

TEST_F(Faults, OtherPathsStillReachTheRealSystem)
{
    wchar_t szDir[MAX_PATH];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szDir));
    const std::wstring strPath = std::wstring(szDir) + L"vf_real_beside_sim.txt";
    HANDLE h = sys::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD dwWritten;
    EXPECT_TRUE(sys::WriteFile(h, "log", 3, &dwWritten, nullptr));
    EXPECT_TRUE(sys::CloseHandle(h));
    WIN32_FILE_ATTRIBUTE_DATA data;
    EXPECT_TRUE(sys::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(3u, data.nFileSizeLow);
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));
    m_system.m_strWindowsDirectory = L"S:\\Windows";
    wchar_t szWindows[MAX_PATH];
    EXPECT_EQ(10u, sys::GetWindowsDirectoryW(szWindows, MAX_PATH));
    EXPECT_STREQ(L"S:\\Windows", szWindows);
    EXPECT_EQ(11u, sys::GetSystemWindowsDirectoryW(szWindows, 5));
}

} // namespace
