// Windows' rules for volume names, geometry and the volume bitmap, held against the simulator.
#include "SimFixture.h"

#include "tests/platform/MovedClock.h"
#include <cstring>
#include <functional>

namespace {

using VolumeContract = CSimFixture;

struct BITMAP_CHUNK
{
    LONGLONG llFrom;     // the cluster asked for
    LONGLONG llStart;    // the chunk's first cluster, from the answer
    LONGLONG llBits;     // the usable bits
    bool bLast;          // the answer reached the volume's end
    const BYTE* pBits;
};

// Reads the whole bitmap as the engine does: each chunk asked from where the last one's usable
// bits ended, its start taken from the answer, its usable bits the answer's size or, after
// ERROR_MORE_DATA, the bytes returned less 192 bits. False when a call fails otherwise.
bool ReadBitmapChunks(HANDLE hVolume, LONGLONG llTotal, const std::function<void(const BITMAP_CHUNK&)>& fn)
{
    std::vector<BYTE> buffer(81896 + 24);
    LONGLONG llFrom = 0;
    while (true)
    {
        DWORD dwReturned = 0;
        BOOL bOk = sys::DeviceIoControl(hVolume, FSCTL_GET_VOLUME_BITMAP, &llFrom, 8, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), &dwReturned, nullptr);
        if (!bOk && llFrom == llTotal)
            return true;
        if (!bOk && ::GetLastError() != ERROR_MORE_DATA)
            return false;
        auto* p = reinterpret_cast<VOLUME_BITMAP_BUFFER*>(buffer.data());
        const BITMAP_CHUNK chunk = {llFrom, p->StartingLcn.QuadPart,
                                    bOk ? p->BitmapSize.QuadPart : static_cast<LONGLONG>(dwReturned) * 8 - 192,
                                    bOk != FALSE, p->Buffer};
        fn(chunk);
        llFrom = chunk.llStart + chunk.llBits;
    }
}

TEST_F(VolumeContract, EnumerationGivesGuidNamesAndEndsWithNoMoreFiles)
{
    SIM_FORMAT format;
    format.eFs = SIM_FS::Fat32;
    format.dwSerial = 0x1111;
    format.llTotalClusters = 4096;
    m_system.Mount(CSimVolume::Format(format), 0);
    wchar_t szName[64];
    HANDLE h = sys::FindFirstVolumeW(szName, 64);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(m_pVolume->GuidPath(), szName);
    EXPECT_EQ(49u, wcslen(szName));
    ASSERT_TRUE(sys::FindNextVolumeW(h, szName, 64));
    EXPECT_FALSE(sys::FindNextVolumeW(h, szName, 64));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), ::GetLastError());
    EXPECT_TRUE(sys::FindVolumeClose(h));
    m_system.m_bListRealVolumes = true;
    h = sys::FindFirstVolumeW(szName, 64);
    int nVolumes = 1;
    while (sys::FindNextVolumeW(h, szName, 64))
        ++nVolumes;
    EXPECT_GT(nVolumes, 2) << "the system's own volumes follow the simulated ones";
    EXPECT_TRUE(sys::FindVolumeClose(h));
    EXPECT_EQ(INVALID_HANDLE_VALUE, sys::FindFirstVolumeW(szName, 20));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), ::GetLastError());
}

TEST_F(VolumeContract, MountPointsAndDriveTypes)
{
    wchar_t szName[1024];
    ASSERT_TRUE(sys::GetVolumeNameForVolumeMountPointW(L"S:\\", szName, 1024));
    EXPECT_EQ(m_pVolume->GuidPath(), szName);
    EXPECT_FALSE(sys::GetVolumeNameForVolumeMountPointW(L"Q:\\", szName, 1024));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), sys::GetDriveTypeW(L"S:\\"));
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), sys::GetDriveTypeW(m_pVolume->GuidPath().c_str()));
    m_pVolume->m_bRemovable = true;
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), sys::GetDriveTypeW(L"S:\\"));
}

TEST_F(VolumeContract, VolumeInformationByLetterAndGuid)
{
    for (const std::wstring& strRoot : {std::wstring(L"S:\\"), m_pVolume->GuidPath()})
    {
        wchar_t szLabel[255], szFs[255];
        DWORD dwSerial = 0, dwMax = 0, dwFlags = 0;
        ASSERT_TRUE(sys::GetVolumeInformationW(strRoot.c_str(), szLabel, 255, &dwSerial, &dwMax, &dwFlags, szFs, 255));
        EXPECT_STREQ(L"NTFS", szFs);
        EXPECT_EQ(m_pVolume->Serial(), dwSerial);
        EXPECT_EQ(255u, dwMax);
        EXPECT_EQ(0u, dwFlags & FILE_READ_ONLY_VOLUME);
    }
    m_pVolume->m_bReadOnly = true;
    DWORD dwFlags = 0;
    ASSERT_TRUE(sys::GetVolumeInformationW(L"S:\\", nullptr, 0, nullptr, nullptr, &dwFlags, nullptr, 0));
    EXPECT_NE(0u, dwFlags & FILE_READ_ONLY_VOLUME);
    EXPECT_FALSE(sys::GetVolumeInformationW(L"S:", nullptr, 0, nullptr, nullptr, &dwFlags, nullptr, 0));
}

TEST_F(VolumeContract, FreeSpaceAgreesWithTheBitmap)
{
    ULARGE_INTEGER uliAvailable, uliTotal, uliFree;
    ASSERT_TRUE(sys::GetDiskFreeSpaceExW(L"S:\\", &uliAvailable, &uliTotal, &uliFree));
    EXPECT_EQ(static_cast<ULONGLONG>(TotalClusters) * 4096, uliTotal.QuadPart);
    EXPECT_EQ(static_cast<ULONGLONG>(m_pVolume->FreeClusters()) * 4096, uliFree.QuadPart);
    DWORD dwSectors, dwBytes, dwFree, dwTotal;
    ASSERT_TRUE(sys::GetDiskFreeSpaceW(L"S:\\", &dwSectors, &dwBytes, &dwFree, &dwTotal));
    EXPECT_EQ(8u, dwSectors);
    EXPECT_EQ(512u, dwBytes);
    EXPECT_EQ(static_cast<DWORD>(TotalClusters), dwTotal);
    EXPECT_EQ(static_cast<DWORD>(TotalClusters - m_pVolume->Bitmap().CountSet()), dwFree);
    m_system.Faults().Add({SIM_CALL::DiskFreeSpace, 0, L"", -1, 0, -1, ntstatus::IoDeviceError});
    EXPECT_FALSE(sys::GetDiskFreeSpaceExW(L"S:\\", &uliAvailable, &uliTotal, &uliFree));
}

struct BITMAP_SWITCH
{
    LONGLONG llGranule;
    bool bTailSet;
};

class BitmapSwitches : public CSimFixture, public ::testing::WithParamInterface<BITMAP_SWITCH>
{
};

// Read as the engine reads it, the bitmap comes out whole whatever boundary the answers start
// at and whatever the bits past the volume's end say; a reader that rounded the start itself or
// read whole bytes at the end would not.
TEST_P(BitmapSwitches, ChunkStartComesFromTheAnswerAndTheSizeEndsTheBits)
{
    m_pVolume->m_llBitmapGranule = GetParam().llGranule;
    m_pVolume->m_bBitmapTailSet = GetParam().bTailSet;
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"across.bin", 4096ll * 31, Exact({{0, 655160, 20}, {0, 699990, 11}})));
    std::vector<LONGLONG> starts;
    LONGLONG llUsed = 0;
    LONGLONG llWholeByteFree = 0;
    EXPECT_TRUE(ReadBitmapChunks(OpenVolume(), TotalClusters, [&](const BITMAP_CHUNK& chunk) {
        starts.push_back(chunk.llStart);
        for (LONGLONG i = chunk.llFrom - chunk.llStart; i < chunk.llBits; ++i)
        {
            bool bUsed = (chunk.pBits[i / 8] >> (i % 8)) & 1;
            EXPECT_EQ(m_pVolume->Bitmap().Test(chunk.llStart + i), bUsed) << "cluster " << chunk.llStart + i;
            llUsed += bUsed;
        }
        if (chunk.bLast)
            for (LONGLONG i = chunk.llBits; i % 8; ++i)
                llWholeByteFree += !((chunk.pBits[i / 8] >> (i % 8)) & 1);
    }));
    const LONGLONG llSecond = 655168 - 655168 % GetParam().llGranule;
    EXPECT_EQ((std::vector<LONGLONG>{0, llSecond}), starts);
    EXPECT_EQ(m_pVolume->Bitmap().CountSet(), llUsed);
    EXPECT_EQ(GetParam().bTailSet ? 0 : 7, llWholeByteFree) << "free bits past the end, for a reader that ignored the size";
}

INSTANTIATE_TEST_SUITE_P(GranuleAndTail, BitmapSwitches,
                         ::testing::Values(BITMAP_SWITCH{8, true}, BITMAP_SWITCH{8, false}, BITMAP_SWITCH{32768, true},
                                           BITMAP_SWITCH{32768, false}),
                         [](const ::testing::TestParamInfo<BITMAP_SWITCH>& info) {
                             return "Granule" + std::to_string(info.param.llGranule) +
                                    (info.param.bTailSet ? "TailSet" : "TailClear");
                         });

TEST_F(VolumeContract, NtfsVolumeDataFromAnyHandleWithItsExtensionAndZoneEndEitherWay)
{
    m_pVolume->CreateFile(L"f.txt", 4096);
    m_pVolume->CreateDirectory(L"d");
    BYTE out[128];
    for (const wchar_t* pszPath : {L"\\\\.\\S:", L"S:\\f.txt", L"S:\\d"})
    {
        HANDLE h = Open(pszPath);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        for (bool bInclusive : {false, true})
        {
            m_pVolume->m_bMftZoneEndInclusive = bInclusive;
            DWORD dwReturned = 0;
            ASSERT_TRUE(sys::DeviceIoControl(h, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, out, 128, &dwReturned, nullptr));
            EXPECT_EQ(104u, dwReturned);
            auto* pData = reinterpret_cast<NTFS_VOLUME_DATA_BUFFER*>(out);
            EXPECT_EQ(m_pVolume->MftZoneEnd() - (bInclusive ? 1 : 0), pData->MftZoneEnd.QuadPart);
            auto* pExtended = reinterpret_cast<NTFS_EXTENDED_VOLUME_DATA*>(out + 96);
            EXPECT_EQ(8u, pExtended->ByteCount);
            EXPECT_EQ(3, pExtended->MajorVersion);
            EXPECT_EQ(1, pExtended->MinorVersion);
            ASSERT_TRUE(sys::DeviceIoControl(h, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, out, 103, &dwReturned, nullptr));
            EXPECT_EQ(96u, dwReturned) << "no room for the extension";
        }
    }
}

TEST_F(VolumeContract, NtfsVolumeDataDescribesTheModel)
{
    HANDLE hVolume = OpenVolume();
    ASSERT_NE(INVALID_HANDLE_VALUE, hVolume);
    NTFS_VOLUME_DATA_BUFFER data = {};
    DWORD dwReturned = 0;
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &data, 96, &dwReturned, nullptr));
    EXPECT_EQ(96u, dwReturned);
    EXPECT_EQ(TotalClusters, data.TotalClusters.QuadPart);
    EXPECT_EQ(m_pVolume->FreeClusters(), data.FreeClusters.QuadPart);
    EXPECT_EQ(4096u, data.BytesPerCluster);
    EXPECT_EQ(1024u, data.BytesPerFileRecordSegment);
    EXPECT_EQ(m_pVolume->MftStartLcn(), data.MftStartLcn.QuadPart);
    EXPECT_EQ(m_pVolume->Mft2StartLcn(), data.Mft2StartLcn.QuadPart);
    EXPECT_EQ(m_pVolume->MftRecords() * 1024, data.MftValidDataLength.QuadPart);
    EXPECT_LT(data.MftZoneStart.QuadPart, data.MftZoneEnd.QuadPart);
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &data, 95, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), ::GetLastError());
}

TEST_F(VolumeContract, NtfsOnlyControlsRefuseOtherFileSystems)
{
    SIM_FORMAT format;
    format.eFs = SIM_FS::Exfat;
    format.llTotalClusters = 8192;
    m_system.Mount(CSimVolume::Format(format), L'T');
    HANDLE hVolume = Open(L"\\\\.\\T:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, hVolume);
    BYTE buffer[2048];
    LONGLONG llRecord = 0;
    DWORD dwReturned;
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, buffer, 96, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), ::GetLastError());
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llRecord, 8, buffer, 2048, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), ::GetLastError());    EXPECT_FALSE(sys::DeviceIoControl(hVolume, FSCTL_GET_RETRIEVAL_POINTERS, &llRecord, 8, buffer, 2048, &dwReturned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError()) << "no bad-cluster file to map";
}

struct BITMAP_CASE
{
    LONGLONG llFrom;
    DWORD dwOut;
    NTSTATUS status;
    LONGLONG llStart;
    DWORD dwReturned;
};

TEST_F(VolumeContract, BitmapRoundsTheStartAndAnswersInChunks)
{
    const LONGLONG llEndBytes = (TotalClusters - 699992 + 7) / 8;
    const BITMAP_CASE cases[] = {
        {0, 81896 + 24, ntstatus::BufferOverflow, 0, 81896 + 24},
        {13, 24, ntstatus::BufferOverflow, 8, 24},
        {655168, 81896 + 24, ntstatus::Success, 655168, static_cast<DWORD>(16 + (TotalClusters - 655168 + 7) / 8)},
        {699999, 1024, ntstatus::Success, 699992, static_cast<DWORD>(16 + llEndBytes)},
        {TotalClusters, 1024, ntstatus::InvalidParameter, 0, 0},
        {-1, 1024, ntstatus::InvalidParameter, 0, 0},
        {0, 23, ntstatus::BufferTooSmall, 0, 0},
    };
    HANDLE hVolume = OpenVolume();
    std::vector<BYTE> buffer(100000);
    for (const BITMAP_CASE& c : cases)
    {
        ULONG_PTR info = 0;
        NTSTATUS status = FsControl(hVolume, FSCTL_GET_VOLUME_BITMAP, &c.llFrom, 8, buffer.data(), c.dwOut, &info);
        EXPECT_EQ(c.status, status) << "from " << c.llFrom;
        if (ntstatus::IsError(status))
            continue;
        auto* p = reinterpret_cast<VOLUME_BITMAP_BUFFER*>(buffer.data());
        EXPECT_EQ(c.llStart, p->StartingLcn.QuadPart);
        EXPECT_EQ(TotalClusters - c.llStart, p->BitmapSize.QuadPart) << "bits to the end of the volume";
        EXPECT_EQ(c.dwReturned, info);
    }
    LONGLONG llFrom = 0;
    for (DWORD dwAccess : {DWORD(0), DWORD(FILE_READ_ATTRIBUTES)})
    {
        HANDLE hNoRead = Open(L"\\\\.\\S:", dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
        EXPECT_EQ(ntstatus::BufferOverflow, FsControl(hNoRead, FSCTL_GET_VOLUME_BITMAP, &llFrom, 8, buffer.data(), 1024))
            << "any open of the volume reads its bitmap";
    }
}

TEST_F(VolumeContract, BitmapChunksReadLikeTheEngineGiveTheWholeBitmap)
{
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"across.bin", 4096ll * 31, Exact({{0, 655160, 20}, {0, 699990, 11}})));
    LONGLONG llCounted = 0;
    LONGLONG llUsed = 0;
    int nChunks = 0;
    EXPECT_TRUE(ReadBitmapChunks(OpenVolume(), TotalClusters, [&](const BITMAP_CHUNK& chunk) {
        EXPECT_EQ(chunk.llFrom, chunk.llStart);
        for (LONGLONG i = 0; i < chunk.llBits; ++i)
        {
            bool bUsed = (chunk.pBits[i / 8] >> (i % 8)) & 1;
            EXPECT_EQ(m_pVolume->Bitmap().Test(chunk.llFrom + i), bUsed) << "cluster " << chunk.llFrom + i;
            llUsed += bUsed;
        }
        if (chunk.bLast)
        {
            EXPECT_EQ(0xFE, chunk.pBits[(chunk.llBits - 1) / 8] & 0xFE) << "bits past the end read as used";
        }
        llCounted += chunk.llBits;
        ++nChunks;
    }));
    EXPECT_EQ(2, nChunks);
    EXPECT_EQ(TotalClusters, llCounted);
    EXPECT_EQ(m_pVolume->Bitmap().CountSet(), llUsed);
}

TEST_F(VolumeContract, VolumeOpenNeedsTheDeviceForm)
{
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(L"\\\\.\\S:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    std::wstring strGuid = m_pVolume->GuidPath();
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(strGuid.substr(0, strGuid.size() - 1), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    // With the backslash the name is the root directory, which opens only with backup semantics.
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(strGuid, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(strGuid, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED));
}

TEST_F(VolumeContract, DiskPerformanceFollowsTheSchedule)
{
    HANDLE hVolume = OpenVolume();
    BYTE first[88], second[88];
    DWORD dwReturned;
    m_system.DiskPerf(*m_pVolume).SetBusy(20, 3);
    CMovedClock clock;
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, first, 88, &dwReturned, nullptr));
    clock.AdvanceMilliseconds(60);
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, second, 88, &dwReturned, nullptr));
    LONGLONG llIdle1, llIdle2, llQuery1, llQuery2;
    DWORD dwQueue;
    std::memcpy(&llIdle1, first + 32, 8);
    std::memcpy(&llIdle2, second + 32, 8);
    std::memcpy(&llQuery1, first + 56, 8);
    std::memcpy(&llQuery2, second + 56, 8);
    std::memcpy(&dwQueue, second + 48, 4);
    ASSERT_GT(llQuery2, llQuery1);
    LONGLONG llPercent = (llIdle2 - llIdle1) * 100 / (llQuery2 - llQuery1);
    EXPECT_NEAR(20, llPercent, 1);
    EXPECT_EQ(3u, dwQueue);
    m_system.DiskPerf(*m_pVolume).Freeze(true);
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, first, 88, &dwReturned, nullptr));
    clock.AdvanceMilliseconds(20);
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, second, 88, &dwReturned, nullptr));
    EXPECT_EQ(0, std::memcmp(first + 56, second + 56, 8)) << "a frozen clock does not advance";
    EXPECT_FALSE(sys::DeviceIoControl(hVolume, IOCTL_DISK_PERFORMANCE, nullptr, 0, first, 87, &dwReturned, nullptr));
}

TEST_F(VolumeContract, StoragePropertyGivesTheBusType)
{
    HANDLE hVolume = OpenVolume();
    STORAGE_PROPERTY_QUERY query = {};
    BYTE out[40];
    DWORD dwReturned = 0;
    m_pVolume->m_byBusType = 7;
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, IOCTL_STORAGE_QUERY_PROPERTY, &query, 12, out, 40, &dwReturned, nullptr));
    EXPECT_EQ(40u, dwReturned);
    EXPECT_EQ(7, out[28]);
    ASSERT_TRUE(sys::DeviceIoControl(hVolume, IOCTL_STORAGE_QUERY_PROPERTY, &query, 12, out, 8, &dwReturned, nullptr));
    EXPECT_EQ(8u, dwReturned);
}

} // namespace
