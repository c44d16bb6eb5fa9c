// The volume object on simulated volumes: initialisation, settings, the states it reports,
// its list entry, and the job thread's life.
#include "PartitionFixture.h"

#include "engine/SysHandle.h"
#include "protocol/NetDefragPartitionNameList.h"
#include "tests/platform/WaitFor.h"

#include <atomic>
#include <thread>

namespace {

class DefragPartitionTest : public CPartitionFixture
{
};

TEST_F(DefragPartitionTest, InitializeReadsEachFileSystem)
{
    const struct
    {
        SIM_FS eFs;
        wchar_t cLetter;
        const wchar_t* pszName;
        int32_t nCode;
    } cases[] = {{SIM_FS::Ntfs, L'S', L"NTFS", FS_NTFS}, {SIM_FS::Fat32, L'T', L"FAT32", FS_FAT32},
                 {SIM_FS::Exfat, L'U', L"exFAT", FS_EXFAT}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Mount(c.eFs, 70000, c.cLetter);
        CDefragPartition& partition = Partition();
        CNetDefragPartitionListEntry entry;
        ASSERT_TRUE(partition.FillListEntry(entry));
        EXPECT_EQ(std::wstring(1, c.cLetter) + L":\\", Text(entry.m_strDriveRoot));
        EXPECT_EQ(m_pVolume->GuidPath(), Text(entry.m_strVolumeGuidPath));
        EXPECT_EQ(L"SIMDISK", Text(entry.m_strVolumeLabel));
        EXPECT_EQ(c.pszName, Text(entry.m_strFileSystemName));
        EXPECT_EQ(L"5A3C-1E07", Text(entry.m_strSerialNumber));
        EXPECT_EQ(c.nCode, entry.m_nFileSystemCode);
        EXPECT_EQ(m_pVolume->TotalClusters(), entry.m_llTotalClusters);
        EXPECT_EQ(m_pVolume->TotalClusters() - m_pVolume->FreeClusters(), entry.m_llUsedClusters);
        EXPECT_EQ(4096, entry.m_nBytesPerCluster);
        EXPECT_EQ(512, entry.m_nBytesPerSector);
        EXPECT_EQ(m_pVolume->TotalClusters() * 4096, entry.m_llTotalBytes);
        EXPECT_EQ(m_pVolume->FreeClusters() * 4096, entry.m_llFreeBytes);
        const bool bNtfs = c.eFs == SIM_FS::Ntfs;
        EXPECT_EQ(bNtfs ? m_pVolume->MftZoneStart() : -1, entry.m_llMftZoneStart);
        EXPECT_EQ(bNtfs ? m_pVolume->MftZoneEnd() : -1, entry.m_llMftZoneEnd);
        EXPECT_EQ(bNtfs ? m_pVolume->MftStartLcn() : -1, entry.m_llMftStart);
        EXPECT_EQ(bNtfs ? 1024 : -1, entry.m_nBytesPerFileRecord);
        EXPECT_EQ(bNtfs, entry.m_nNtfsMajorVersion >= 3);
        EXPECT_EQ(STATE_IDLE, entry.m_nState);
        EXPECT_FALSE(partition.IsSystemVolume());
    }
}

TEST_F(DefragPartitionTest, VolumeWithoutLetterIsNamedByItsGuid)
{
    Mount(SIM_FS::Ntfs, 70000, 0);
    CDefragPartition& partition = Partition();
    EXPECT_EQ(L"", Text(partition.GetDrivePath()));
    CNetDefragPartitionListEntry entry;
    partition.FillListEntry(entry);
    EXPECT_EQ(m_pVolume->GuidPath(), Text(entry.m_strDriveRoot));
    EXPECT_EQ(m_pVolume->TotalClusters(), entry.m_llTotalClusters);
    CNetDefragPartitionNameEntry names;
    partition.FillVolumeNames(names);
    EXPECT_EQ(L"", Text(names.m_strDriveRoot));
    EXPECT_EQ(partition.GetIndex(), names.m_nVolumeIndex);
}

TEST_F(DefragPartitionTest, VolumesThatCannotServeAreRefused)
{
    Mount(SIM_FS::Ntfs, 70000);
    m_pVolume->m_bReadOnly = true;
    EXPECT_FALSE(Partition(false).Initialize());
    m_pVolume->m_bReadOnly = false;
    SIM_FAULT fault;
    fault.eCall = SIM_CALL::DiskFreeSpace;
    fault.status = ntstatus::AccessDenied;
    m_system.Faults().Add(fault);
    EXPECT_FALSE(Partition(false).Initialize());
    m_system.Faults().Clear();
    EXPECT_TRUE(Partition(false).Initialize());
}

TEST_F(DefragPartitionTest, FullVolumeTakesBackALargeMftZone)
{
    const struct
    {
        LONGLONG llUsedPercent;
        LONGLONG llExpectedEnd;
    } cases[] = {{85, 22000}, {50, 32000}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.llUsedPercent);
        Mount(SIM_FS::Ntfs, 100000, c.llUsedPercent == 85 ? L'S' : L'T');
        m_pVolume->SetMftZone(20000, 32000);
        LONGLONG llFill = 100000 * c.llUsedPercent / 100 - (m_pVolume->TotalClusters() - m_pVolume->FreeClusters());
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"fill.bin", llFill * 4096, Fragmented(8)));
        CNetDefragPartitionListEntry entry;
        Partition().FillListEntry(entry);
        EXPECT_EQ(20000, entry.m_llMftZoneStart);
        EXPECT_EQ(c.llExpectedEnd, entry.m_llMftZoneEnd);
    }
}

TEST_F(DefragPartitionTest, SystemVolumeIsTheOneHoldingWindows)
{
    Mount(SIM_FS::Ntfs, 70000);
    m_system.m_strWindowsDirectory = L"s:\\Windows";
    EXPECT_TRUE(Partition().IsSystemVolume());
    m_system.m_strWindowsDirectory = L"C:\\Windows";
    EXPECT_FALSE(Partition().IsSystemVolume());
}

TEST_F(DefragPartitionTest, BootLayoutSettingsFollowTheZoneMode)
{
    Mount(SIM_FS::Ntfs, 70000);
    const wchar_t* pszLayout = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout";
    const wchar_t* pszBoot = L"SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction";
    auto reset = [&] {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, pszLayout);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, pszBoot);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
    };
    auto enable = [&]() -> std::wstring {
        wchar_t szValue[8] = {};
        DWORD dwBytes = sizeof(szValue);
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, pszBoot, L"Enable", RRF_RT_REG_SZ, nullptr, szValue, &dwBytes) != 0)
            return L"-";
        return szValue;
    };
    auto autoLayout = [&]() -> DWORD {
        DWORD dwValue = 0;
        DWORD dwBytes = sizeof(dwValue);
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, pszLayout, L"EnableAutoLayout", RRF_RT_REG_DWORD, nullptr, &dwValue,
                           &dwBytes) != 0)
            return 99;
        return dwValue;
    };
    const struct
    {
        int nLayoutIni;       // -1: no value
        DWORD dwChangeSystem; // 2: no value
        const wchar_t* pszEnable;
        DWORD dwAutoLayout;
    } cases[] = {{1, 2, L"N", 0}, {2, 1, L"N", 0}, {3, 2, L"Y", 99}, {4, 2, L"-", 99},
                 {0, 2, L"-", 99}, {1, 0, L"-", 99}, {-1, 1, L"-", 99}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nLayoutIni * 10 + static_cast<int>(c.dwChangeSystem));
        reset();
        if (c.nLayoutIni == 3)
        {
            HKEY hKey = nullptr;
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, pszLayout, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
            DWORD dwOn = 1;
            ::RegSetValueExW(hKey, L"EnableAutoLayout", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dwOn), 4);
            ::RegCloseKey(hKey);
        }
        SetSetting(L"UseIOGuard", 0);
        if (c.nLayoutIni >= 0)
            SetSetting(L"UseLayoutIni", static_cast<DWORD>(c.nLayoutIni));
        if (c.dwChangeSystem != 2)
            SetSetting(L"ChangeSystemAutoDefrag", c.dwChangeSystem);
        Partition();
        EXPECT_EQ(c.pszEnable, enable());
        EXPECT_EQ(c.dwAutoLayout, autoLayout());
    }
    reset();
}

TEST_F(DefragPartitionTest, ReportedStateFollowsPauseBackgroundAndStop)
{
    Mount(SIM_FS::Ntfs, 70000);
    CDefragPartition& partition = Partition();
    const struct
    {
        int32_t nStored;
        bool bPaused;
        bool bBackground;
        bool bStop;
        int32_t nReported;
    } cases[] = {
        {STATE_IDLE, false, false, false, STATE_IDLE},
        {STATE_IDLE, false, true, false, STATE_MONITORING},
        {STATE_IDLE, true, true, false, STATE_SUSPENDED},
        {STATE_DEFRAGMENTING, true, false, false, STATE_DEFRAGMENTING},
        {STATE_DEFRAGMENTING, false, false, true, STATE_STOPPING},
        {STATE_IDLE, false, false, true, STATE_IDLE},
        {STATE_ANALYZING, true, true, true, STATE_STOPPING},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nStored * 1000 + c.bPaused * 100 + c.bBackground * 10 + c.bStop);
        partition.SetBackgroundMode(c.bBackground, nullptr, false);
        partition.SetState(c.nStored);
        partition.SetPaused(c.bPaused);
        if (c.bStop)
            ::SetEvent(partition.GetStopEvent());
        else
            ::ResetEvent(partition.GetStopEvent());
        EXPECT_EQ(c.nReported, partition.GetReportedState());
    }
    ::ResetEvent(partition.GetStopEvent());
    partition.SetPaused(false);
    partition.SetState(STATE_FAULTY);
    partition.SetBackgroundMode(true, nullptr, false);
    EXPECT_EQ(STATE_FAULTY_MONITORING, partition.GetState());
    partition.SetBackgroundMode(false, nullptr, false);
    EXPECT_EQ(STATE_FAULTY, partition.GetState());
}

TEST_F(DefragPartitionTest, NamesReadWhileInitializeRunsAreAlwaysWhole)
{
    Mount(SIM_FS::Ntfs, 70000);
    CDefragPartition& partition = Partition();
    const std::wstring strLabel = Text(partition.GetIdentity().strLabel);
    std::atomic<bool> bDone(false);
    std::thread reinitialize([&] {
        for (int i = 0; i < 400; ++i)
            partition.Initialize();
        bDone = true;
    });
    int nWrong = 0;
    int nRead = 0;
    while (!bDone)
    {
        CNetDefragPartitionListEntry entry;
        partition.FillListEntry(entry);
        CNetDefragPartitionNameEntry names;
        partition.FillVolumeNames(names);
        ++nRead;
        if (Text(entry.m_strDriveRoot) != L"S:\\" || Text(names.m_strDriveRoot) != L"S:\\" ||
            Text(entry.m_strVolumeLabel) != strLabel || Text(names.m_strVolumeLabel) != strLabel)
            ++nWrong;
    }
    reinitialize.join();
    EXPECT_GT(nRead, 0);
    EXPECT_EQ(0, nWrong) << "of " << nRead << " reads saw a name half replaced";
}

TEST_F(DefragPartitionTest, StateIsBroadcastOnlyToConnectedClients)
{
    Mount(SIM_FS::Ntfs, 70000);
    CDefragPartition& partition = Partition();
    EXPECT_FALSE(partition.ReportState());
    EXPECT_EQ(0, m_owner.Count(RESPONSE_PARTITION_ENTRY));
    partition.SetClientConnected(true);
    partition.SetState(STATE_ANALYZING);
    EXPECT_TRUE(partition.ReportState());
    ASSERT_EQ(1, m_owner.Count(RESPONSE_PARTITION_ENTRY, -100));
    EXPECT_EQ(STATE_ANALYZING, m_owner.Sent()[0].nState);
    EXPECT_EQ(L" ", m_owner.Sent()[0].strStatus);
}

TEST_F(DefragPartitionTest, DriveRootNameOpensTheVolumeDevice)
{
    Mount(SIM_FS::Ntfs, 70000);
    CDefragPartition partition(CUnicodeString(L"S:\\"), &m_owner);
    ASSERT_TRUE(partition.Initialize());
    EXPECT_EQ(L"S:\\", Text(partition.GetDrivePath()));
    EXPECT_EQ(m_pVolume->TotalClusters(), partition.GetTotalClusters());
    CSysHandle volume(partition.OpenVolume());
    EXPECT_TRUE(volume.IsOpen());
}

TEST_F(DefragPartitionTest, LastManualRunTimeIsKeptPerVolume)
{
    Mount(SIM_FS::Ntfs, 70000);
    const std::wstring strKey = L"Software\\Varnefold\\Stats\\Volume" + m_pVolume->Geometry().strGuid;
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &hKey, nullptr));
    ULONGLONG ullTime = 1700000000;
    ::RegSetValueExW(hKey, L"LastManualDefragTime", 0, REG_QWORD, reinterpret_cast<BYTE*>(&ullTime), 8);
    ::RegCloseKey(hKey);
    CNetDefragPartitionListEntry entry;
    Partition().FillListEntry(entry);
    EXPECT_EQ(1700000000, entry.m_llLastManualDefragTime);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
    m_pPartition.reset();
    ullTime = 0;
    DWORD dwBytes = sizeof(ullTime);
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, strKey.c_str(), L"LastManualDefragTime",
                                            RRF_RT_REG_QWORD, nullptr, &ullTime, &dwBytes));
    EXPECT_EQ(1700000000u, ullTime) << "written back when the object goes";
}

TEST_F(DefragPartitionTest, UsbDrivesAreToldByTheirBus)
{
    Mount(SIM_FS::Ntfs, 70000);
    EXPECT_FALSE(CDefragPartition::IsUsbDrive(L"\\\\.\\S:\\", 6));
    m_pVolume->m_byBusType = 7;
    EXPECT_TRUE(CDefragPartition::IsUsbDrive(L"\\\\.\\S:\\", 6));
    EXPECT_FALSE(CDefragPartition::IsUsbDrive(L"\\\\.\\Q:\\", 6));
}

// The job thread as the later jobs use it.
class CJobPartition : public CDefragPartition
{
public:
    using CDefragPartition::CDefragPartition;
    using CDefragPartition::StartJobThread;
};

std::atomic<int> g_nJobEnded{0};
// Set: a stopped job ends at once. Clear: it goes on until the test sets it.
HANDLE g_hJobRelease = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);

// Waits for the stop, then goes on until released, using the object, as a long move would.
DWORD WINAPI StubbornJob(void* pParam)
{
    auto* pPartition = static_cast<CDefragPartition*>(pParam);
    ::WaitForSingleObject(pPartition->GetStopEvent(), INFINITE);
    ::WaitForSingleObject(g_hJobRelease, GenerousWaitMs);
    pPartition->SetStatusText(L"still working");
    pPartition->m_nFilesMoved += 1;
    g_nJobEnded = 1;
    return 0;
}

TEST_F(DefragPartitionTest, StopJobEndsAJobThatHonoursTheStop)
{
    Mount(SIM_FS::Ntfs, 70000);
    auto pPartition = std::make_unique<CJobPartition>(CUnicodeString(m_pVolume->GuidPath().c_str()), &m_owner);
    ASSERT_TRUE(pPartition->Initialize());
    EXPECT_FALSE(pPartition->StopJob());
    ::SetEvent(g_hJobRelease);
    g_nJobEnded = 0;
    ASSERT_TRUE(pPartition->StartJobThread(&StubbornJob));
    EXPECT_TRUE(pPartition->IsJobRunning());
    EXPECT_FALSE(pPartition->StartJobThread(&StubbornJob));
    EXPECT_TRUE(pPartition->StopJob());
    EXPECT_EQ(1, g_nJobEnded.load());
    EXPECT_FALSE(pPartition->IsJobRunning());
    EXPECT_EQ(STATE_STOPPING, pPartition->GetState());
    EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(pPartition->GetStopEvent(), 0));
    // A finished job leaves room for the next.
    ::SetEvent(pPartition->GetStopEvent());
    ASSERT_TRUE(pPartition->StartJobThread(&StubbornJob));
    pPartition.reset();
}

DWORD WINAPI QuickJob(void*)
{
    return 0;
}

TEST_F(DefragPartitionTest, APausedIdleVolumeIsSuspendedOnlyWhileWorkIsUnderWay)
{
    Mount(SIM_FS::Ntfs, 70000);
    auto pPartition = std::make_unique<CJobPartition>(CUnicodeString(m_pVolume->GuidPath().c_str()), &m_owner);
    ASSERT_TRUE(pPartition->Initialize());
    ASSERT_TRUE(pPartition->StartJobThread(&QuickJob));
    ASSERT_TRUE(WaitFor([&] { return !pPartition->IsJobRunning(); }));
    pPartition->SetPaused(true);
    EXPECT_EQ(STATE_IDLE, pPartition->GetReportedState()) << "the finished job's handle still open";
    ::SetEvent(g_hJobRelease);
    ASSERT_TRUE(pPartition->StartJobThread(&StubbornJob));
    EXPECT_EQ(STATE_SUSPENDED, pPartition->GetReportedState());
    pPartition->SetPaused(false);
    pPartition.reset();
}

TEST_F(DefragPartitionTest, DestructionWaitsForAJobThatOutlivesTheStop)
{
    Mount(SIM_FS::Ntfs, 70000);
    auto pPartition = std::make_unique<CJobPartition>(CUnicodeString(m_pVolume->GuidPath().c_str()), &m_owner);
    ASSERT_TRUE(pPartition->Initialize());
    ::ResetEvent(g_hJobRelease);
    g_nJobEnded = 0;
    ASSERT_TRUE(pPartition->StartJobThread(&StubbornJob));
    EXPECT_FALSE(pPartition->StopJob()) << "the job outlives the stop's grace period";
    EXPECT_TRUE(pPartition->IsJobRunning());
    HANDLE hDestroyed = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread destroyer([&pPartition, hDestroyed] {
        pPartition.reset();
        ::SetEvent(hDestroyed);
    });
    // A destructor that did not wait for the job would be done long before this.
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(hDestroyed, 1000)) << "the object was freed under its job";
    ::SetEvent(g_hJobRelease);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hDestroyed, GenerousWaitMs));
    destroyer.join();
    ::CloseHandle(hDestroyed);
    EXPECT_EQ(1, g_nJobEnded.load());
}

} // namespace
