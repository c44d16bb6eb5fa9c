// Benchmark of the analysis and the volume reports on large simulated volumes: an NTFS volume
// walked through its MFT, a FAT32 volume walked through its directories, and the cluster-range
// and file-cluster reports with the time they hold their caller. One line per run:
//   BENCH <kind> key=value ...
//   analysis_bench ntfs [--files N] [--clusters N] [--layout N] [--seed S] [--reports 0|1] [--map 0|1]
//                       [--phases 0|1]
//   analysis_bench fat32 [--files N] [--clusters N] [--seed S] [--reports 0|1]
// The simulator's own cost is measured apart: the volume calls of the walk are recorded and
// replayed against the simulator alone. With --phases 1 (the default) the NTFS walk runs once
// more with a clock on its phases (reader, naming, judging, progress), shown per record.
#include "engine/DefragPartition.h"
#include "engine/EventLock.h"
#include "engine/NativeFunctions.h"
#include "engine/NtfsRecordReader.h"
#include "engine/PartitionOwner.h"
#include "engine/PhaseClock.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragObject.h"
#include "simdisk/SimBuilder.h"
#include "simdisk/SimSystem.h"

#include <psapi.h>
#include <winioctl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

LONGLONG Option(int argc, wchar_t** argv, const wchar_t* pszName, LONGLONG llDefault)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wcscmp(argv[i], pszName) == 0)
            return std::wcstoll(argv[i + 1], nullptr, 10);
    return llDefault;
}

double CpuSeconds()
{
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    if (!::GetProcessTimes(::GetCurrentProcess(), &ftCreate, &ftExit, &ftKernel, &ftUser))
        return 0;
    auto seconds = [](const FILETIME& ft) {
        return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 1e7;
    };
    return seconds(ftKernel) + seconds(ftUser);
}

double WallSeconds()
{
    LARGE_INTEGER liNow, liFrequency;
    ::QueryPerformanceCounter(&liNow);
    ::QueryPerformanceFrequency(&liFrequency);
    return static_cast<double>(liNow.QuadPart) / static_cast<double>(liFrequency.QuadPart);
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

// The highest private memory of the process while it runs, sampled from a thread of its own
// every 20 ms: each sample is a call to the kernel and a read of the process status.
class CMemoryWatch
{
public:
    CMemoryWatch() : m_baseline(PrivateBytes()), m_peak(m_baseline), m_bStop(false)
    {
        m_hThread = ::CreateThread(nullptr, 0, &CMemoryWatch::Sample, this, 0, nullptr);
    }
    ~CMemoryWatch() { Stop(); }
    // The growth over the start, in MiB.
    double Stop()
    {
        if (m_hThread != nullptr)
        {
            m_bStop = true;
            ::WaitForSingleObject(m_hThread, INFINITE);
            ::CloseHandle(m_hThread);
            m_hThread = nullptr;
        }
        const SIZE_T peak = std::max<SIZE_T>(m_peak, PrivateBytes());
        return (peak - m_baseline) / 1048576.0;
    }

private:
    static DWORD WINAPI Sample(LPVOID pParameter)
    {
        CMemoryWatch& watch = *static_cast<CMemoryWatch*>(pParameter);
        while (!watch.m_bStop)
        {
            watch.m_peak = std::max<SIZE_T>(watch.m_peak, PrivateBytes());
            ::Sleep(20);
        }
        return 0;
    }

    SIZE_T m_baseline;
    std::atomic<SIZE_T> m_peak;
    std::atomic<bool> m_bStop;
    HANDLE m_hThread;
};

// Sends nothing. A report's size is summed from its entries rather than built: the archive
// grows a message by each write, which for a list of a whole volume costs more than the report.
class CMeasuringOwner : public CPartitionOwner
{
public:
    bool SendObject(int32_t, int32_t, CNetDefragObject& object) override { return Measure(object); }
    bool BroadcastObject(int32_t, CNetDefragObject& object) override { return Measure(object); }
    void LogVolumeEvent(WORD, const wchar_t*) override {}
    CEventLock& GetCheckLock() override { return m_checkLock; }
    int64_t m_llLastBytes = 0;
    int m_nLastEntries = 0;

private:
    bool Measure(CNetDefragObject& object)
    {
        auto* pReply = dynamic_cast<CNetDefragPartitionClusterExplorerResponse*>(&object);
        if (pReply == nullptr)
            return true;
        m_llLastBytes = 32 + 2 * pReply->m_strDriveRoot.GetLength();
        m_nLastEntries = pReply->GetCount();
        while (const CLUSTEREXPLORER_RESPONSE_ENTRY* pEntry = pReply->GetNext())
            m_llLastBytes += CLUSTEREXPLORER_RESPONSE_ENTRY::MinWireSize + 2 * pEntry->strFileName.GetLength();
        return true;
    }

    CEventLock m_checkLock;
};

// The volume calls of a walk, kept so that they can be made again without the engine.
struct VOLUME_CALL
{
    DWORD dwCode;       // 0: a raw read at llValue of dwBytes
    DWORD dwBytes;
    LONGLONG llValue;   // the input of a control, the offset of a raw read
};

// Calls kept in blocks that are never moved: a vector of millions of calls that doubles would
// charge its copies and its spare half to the walk it records.
class CCallLog
{
public:
    void Add(const VOLUME_CALL& call)
    {
        if (m_nCalls % BlockCalls == 0)
            m_blocks.emplace_back(new VOLUME_CALL[BlockCalls]);
        m_blocks.back()[m_nCalls % BlockCalls] = call;
        ++m_nCalls;
    }
    size_t GetCount() const { return m_nCalls; }
    const VOLUME_CALL& GetAt(size_t nIndex) const { return m_blocks[nIndex / BlockCalls][nIndex % BlockCalls]; }

private:
    static constexpr size_t BlockCalls = 65536;
    std::vector<std::unique_ptr<VOLUME_CALL[]>> m_blocks;
    size_t m_nCalls = 0;
};

class CCallRecorder
{
public:
    static CCallRecorder* s_pActive;

    explicit CCallRecorder(const sys::SYS_TABLE& inner) : m_inner(inner), m_table(inner)
    {
        m_table.pfnDeviceIoControl = &DeviceIoControl;
        m_table.pfnSetFilePointerEx = &SetFilePointerEx;
        m_table.pfnReadFile = &ReadFile;
        s_pActive = this;
        m_pPrevious = sys::Install(&m_table);
    }
    ~CCallRecorder()
    {
        sys::Install(m_pPrevious);
        s_pActive = nullptr;
    }

    LONGLONG Count(DWORD dwCode) const
    {
        LONGLONG ll = 0;
        for (size_t i = 0; i < m_calls.GetCount(); ++i)
            ll += m_calls.GetAt(i).dwCode == dwCode;
        return ll;
    }

    // Makes every recorded call again on a volume handle of its own; the CPU seconds it took.
    double Replay(const wchar_t* pszVolume) const
    {
        HANDLE hVolume = m_inner.pfnCreateFileW(pszVolume, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, 0, nullptr);
        std::vector<BYTE> buffer(1 << 20);
        const double dStart = CpuSeconds();
        for (size_t i = 0; i < m_calls.GetCount(); ++i)
        {
            const VOLUME_CALL& call = m_calls.GetAt(i);
            DWORD dwDone = 0;
            LONGLONG llInput = call.llValue;
            const DWORD dwBytes = std::min<DWORD>(call.dwBytes, static_cast<DWORD>(buffer.size()));
            if (call.dwCode == 0)
            {
                LARGE_INTEGER liAt;
                liAt.QuadPart = call.llValue;
                m_inner.pfnSetFilePointerEx(hVolume, liAt, nullptr, FILE_BEGIN);
                m_inner.pfnReadFile(hVolume, buffer.data(), dwBytes, &dwDone, nullptr);
            }
            else
                m_inner.pfnDeviceIoControl(hVolume, call.dwCode, &llInput, sizeof(llInput), buffer.data(), dwBytes,
                                           &dwDone, nullptr);
        }
        const double dCpu = CpuSeconds() - dStart;
        m_inner.pfnCloseHandle(hVolume);
        return dCpu;
    }

private:
    static BOOL WINAPI DeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                                       LPDWORD pdwDone, LPOVERLAPPED pOverlapped)
    {
        LONGLONG llInput = 0;
        if (pIn != nullptr && dwIn >= sizeof(llInput))
            std::memcpy(&llInput, pIn, sizeof(llInput));
        s_pActive->m_calls.Add({dwCode, dwOut, llInput});
        return s_pActive->m_inner.pfnDeviceIoControl(h, dwCode, pIn, dwIn, pOut, dwOut, pdwDone, pOverlapped);
    }
    static BOOL WINAPI SetFilePointerEx(HANDLE h, LARGE_INTEGER liAt, PLARGE_INTEGER pliNew, DWORD dwMethod)
    {
        s_pActive->m_llAt = liAt.QuadPart;
        return s_pActive->m_inner.pfnSetFilePointerEx(h, liAt, pliNew, dwMethod);
    }
    static BOOL WINAPI ReadFile(HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwRead, LPOVERLAPPED pOverlapped)
    {
        s_pActive->m_calls.Add({0, dwToRead, s_pActive->m_llAt});
        return s_pActive->m_inner.pfnReadFile(h, pBuffer, dwToRead, pdwRead, pOverlapped);
    }

    const sys::SYS_TABLE& m_inner;
    sys::SYS_TABLE m_table;
    const sys::SYS_TABLE* m_pPrevious = nullptr;
    CCallLog m_calls;
    LONGLONG m_llAt = 0;
};

CCallRecorder* CCallRecorder::s_pActive = nullptr;

void SetSetting(const wchar_t* pszName, DWORD dwValue)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                          nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
    ::RegCloseKey(hKey);
}

// A boot layout list naming files of the volume, in the system's Windows directory.
void WriteLayoutList(CSimVolume& volume, LONGLONG llEntries, unsigned uSeed)
{
    std::mt19937_64 random(uSeed);
    std::wstring strText;
    for (LONGLONG i = 0; i < llEntries; ++i)
    {
        const CSimFile* pFile = volume.File(ntfs::FirstUserRecord + random() % (volume.FileSlots() - ntfs::FirstUserRecord));
        if (pFile != nullptr && !pFile->IsDirectory())
            strText += L"B:\\" + volume.RelativePath(*pFile) + L"\r\n";
    }
    volume.CreateDirectory(L"Windows");
    volume.CreateDirectory(L"Windows\\Prefetch");
    volume.CreateFile(L"Windows\\Prefetch\\Layout.ini", 0);
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(strText.data());
    volume.SetContent(L"Windows\\Prefetch\\Layout.ini",
                      std::vector<BYTE>(pBytes, pBytes + strText.size() * sizeof(wchar_t)));
}

// A path of the volume, relative, of the file with the highest record: the last one a search
// through the MFT meets.
std::wstring LastFile(const CSimVolume& volume)
{
    for (size_t i = volume.FileSlots(); i-- > ntfs::FirstUserRecord;)
        if (const CSimFile* pFile = volume.File(i))
            if (!pFile->IsDirectory())
                return volume.RelativePath(*pFile);
    return L"";
}

// The record reader alone walking the MFT, for comparison with the whole analysis.
void RunReaderWalk(const CSimVolume& volume)
{
    HANDLE hVolume = sys::CreateFileW(L"\\\\.\\B:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    double dCpu = 0;
    double dSim = 0;
    LONGLONG llRecords = 0;
    {
        CCallRecorder recorder(sys::Current());
        dCpu = CpuSeconds();
        CNtfsRecordReader reader(hVolume, volume.BytesPerRecord(), volume.BytesPerCluster());
        for (LONGLONG llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;
             llRecord = reader.NextBaseRecord(llRecord))
            ++llRecords;
        dCpu = CpuSeconds() - dCpu;
        dSim = recorder.Replay(L"\\\\.\\B:");
    }
    sys::CloseHandle(hVolume);
    std::wprintf(L"BENCH reader fs=ntfs records=%lld reader_cpu_s=%.2f sim_cpu_s=%.2f\n", llRecords, dCpu - dSim, dSim);
    std::fflush(stdout);
}

double PerRecordUs(double dSeconds, int32_t nRecords)
{
    return nRecords > 0 ? dSeconds * 1e6 / nRecords : 0.0;
}

// The same walk again with a clock on its phases, in microseconds per record. The reader's
// phase holds the simulator's answers, whose time the recorded walk measured; it is taken
// off. The clock counts time on the walk's thread, which on a loaded machine includes the
// time the thread waited for a processor.
void PrintPhases(CDefragPartition& partition, double dSim)
{
    CPhaseClock clock;
    partition.SetPhaseClock(&clock);
    const double dCpu = CpuSeconds();
    partition.Analyze();
    clock.Stop();
    const double dPhasedCpu = CpuSeconds() - dCpu;
    partition.SetPhaseClock(nullptr);
    const int32_t nRecords = partition.m_nFilesExamined;
    std::wprintf(L" phased_engine_us=%.2f setup_s=%.2f reader_us=%.2f naming_us=%.2f judging_us=%.2f progress_us=%.2f sim_us=%.2f",
                 PerRecordUs(dPhasedCpu - dSim, nRecords), clock.Seconds(PHASE_SETUP), PerRecordUs(clock.Seconds(PHASE_READER) - dSim, nRecords),
                 PerRecordUs(clock.Seconds(PHASE_NAMING), nRecords), PerRecordUs(clock.Seconds(PHASE_JUDGING), nRecords),
                 PerRecordUs(clock.Seconds(PHASE_PROGRESS), nRecords), PerRecordUs(dSim, nRecords));
}

void RunReports(CDefragPartition& partition, CMeasuringOwner& owner, const CSimVolume& volume, const wchar_t* pszFs)
{
    const LONGLONG llTotal = volume.TotalClusters();
    const struct
    {
        const wchar_t* pszRange;
        LONGLONG llFirst;
        LONGLONG llLast;
    } ranges[] = {{L"1%", llTotal / 2, llTotal / 2 + llTotal / 100 - 1}, {L"volume", 0, llTotal - 1}};
    for (const auto& range : ranges)
    {
        CMemoryWatch memory;
        const double dWall = WallSeconds();
        const double dCpu = CpuSeconds();
        partition.SendClusterRangeFiles(1, range.llFirst, range.llLast);
        std::wprintf(L"BENCH report fs=%ls kind=1005 range=%ls hold_s=%.2f cpu_s=%.2f entries=%d bytes=%lld peak_mib=%.0f\n",
                     pszFs, range.pszRange, WallSeconds() - dWall, CpuSeconds() - dCpu, owner.m_nLastEntries,
                     static_cast<long long>(owner.m_llLastBytes), memory.Stop());
        std::fflush(stdout);
    }
    const std::wstring strFile = LastFile(volume);
    const double dWall = WallSeconds();
    const double dCpu = CpuSeconds();
    partition.SendFileClusters(1, CUnicodeString(strFile.c_str()));
    std::wprintf(L"BENCH report fs=%ls kind=1010 hold_s=%.2f cpu_s=%.2f entries=%d\n", pszFs, WallSeconds() - dWall,
                 CpuSeconds() - dCpu, owner.m_nLastEntries);
    std::fflush(stdout);
}

int Run(SIM_FS eFs, int argc, wchar_t** argv)
{
    const bool bNtfs = eFs == SIM_FS::Ntfs;
    SIM_BUILD build;
    build.format.eFs = eFs;
    build.llFiles = Option(argc, argv, L"--files", bNtfs ? 1000000 : 500000);
    build.format.llTotalClusters = Option(argc, argv, L"--clusters", bNtfs ? build.llFiles * 64 : build.llFiles * 32);
    build.format.nMftPieces = bNtfs ? 24 : 1;
    build.llDirectories = build.llFiles / 10;
    build.nMaxDepth = 12;
    build.nFragmentedPercent = 15;
    build.uSeed = static_cast<unsigned>(Option(argc, argv, L"--seed", 1));
    std::wstring strError;
    const double dBuild = WallSeconds();
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    if (!pVolume)
    {
        std::fwprintf(stderr, L"analysis_bench: %ls\n", strError.c_str());
        return 2;
    }
    const LONGLONG llLayout = bNtfs ? Option(argc, argv, L"--layout", 3000) : 0;
    if (llLayout > 0)
        WriteLayoutList(*pVolume, llLayout, build.uSeed);
    std::fwprintf(stderr, L"built in %.0f s\n", WallSeconds() - dBuild);
    std::fflush(stderr);

    CSimSystem system;
    system.m_strWindowsDirectory = L"B:\\Windows";
    CSimVolume& volume = system.Mount(std::move(pVolume), L'B');
    system.Install();
    if (!native::BindNativeFunctions())
        return 3;
    SetSetting(L"UseIOGuard", 0);
    SetSetting(L"UseLayoutIni", llLayout > 0 ? 1 : 0);
    CMeasuringOwner owner;
    int nResult = 0;
    {
        CDefragPartition partition(CUnicodeString(volume.GuidPath().c_str()), &owner);
        if (!partition.Initialize())
            return 4;
        if (Option(argc, argv, L"--map", 1) != 0 &&
            !partition.SubscribeClusterMap(CDefragPartition::ClientBuildOnly, true))
            return 4;
        if (!bNtfs)
            partition.MarkMftUnreadable();
        CMemoryWatch memory;
        double dCpu = 0;
        double dWall = 0;
        double dSim = 0;
        LONGLONG llRecordCalls = 0;
        bool bWalked = false;
        {
            CCallRecorder recorder(sys::Current());
            dWall = WallSeconds();
            dCpu = CpuSeconds();
            bWalked = partition.Analyze();
            dCpu = CpuSeconds() - dCpu;
            dWall = WallSeconds() - dWall;
            llRecordCalls = recorder.Count(FSCTL_GET_NTFS_FILE_RECORD);
            if (bNtfs)
                dSim = recorder.Replay(L"\\\\.\\B:");
        }
        const double dPeak = memory.Stop();
        const int32_t nRecords = partition.m_nFilesExamined;
        const int32_t nFragmented = partition.m_nFragmentedEntries;
        if (bNtfs)
        {
            std::wprintf(L"BENCH analysis fs=ntfs files=%lld records=%d engine_cpu_s=%.2f sim_cpu_s=%.2f peak_mib=%.0f "
                         L"record_calls_per_record=%.3f wall_s=%.2f fragmented=%d boot_zone=%lld walked=%d "
                         L"engine_us=%.2f",
                         build.llFiles, nRecords, dCpu - dSim, dSim, dPeak,
                         nRecords > 0 ? static_cast<double>(llRecordCalls) / nRecords : 0.0, dWall, nFragmented,
                         static_cast<long long>(partition.GetBootZoneClusters()), bWalked ? 1 : 0,
                         PerRecordUs(dCpu - dSim, nRecords));
            if (Option(argc, argv, L"--phases", 1) != 0)
                PrintPhases(partition, dSim);
            std::wprintf(L"\n");
        }
        else
            std::wprintf(L"BENCH analysis fs=fat32 walk=directory files=%lld examined=%d cpu_s=%.2f wall_s=%.2f "
                         L"peak_mib=%.0f fragmented=%d walked=%d\n",
                         build.llFiles, nRecords, dCpu, dWall, dPeak, partition.m_nFragmentedEntries, bWalked ? 1 : 0);
        std::fflush(stdout);
        nResult = bWalked ? 0 : 1;
        if (bNtfs)
            RunReaderWalk(volume);
        if (Option(argc, argv, L"--reports", 1) != 0)
            RunReports(partition, owner, volume, bNtfs ? L"ntfs" : L"fat32");
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
    system.Uninstall();
    return nResult;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2 && std::wcscmp(argv[1], L"fat32") == 0)
        return Run(SIM_FS::Fat32, argc, argv);
    return Run(SIM_FS::Ntfs, argc, argv);
}
