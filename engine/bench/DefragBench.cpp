// Benchmark of the defragmentation run on simulated NTFS volumes: each method on a volume of
// N files and on the same layout with 4N files, without idle guard or step delay. Prints one
// "BENCH defrag ..." line per run. Time spent inside the simulator's answers is measured on
// the calling thread and reported apart from the engine's own.
//   defrag_bench [--files N] [--method quick|complete|smartm] [--seed S] [--recent P]
// P percent of the files were written within the last day (default 10), the others long ago:
// Smart/M sends recent files behind the used part, so P = 100 moves nearly every file.
// One run per process, so that its peak memory is its own.
#include "engine/DefragPartition.h"
#include "engine/EventLock.h"
#include "engine/NativeFunctions.h"
#include "engine/PartitionOwner.h"
#include "simdisk/SimBuilder.h"
#include "simdisk/SimSystem.h"
#include "engine/bench/SilentOwner.h"

#include <psapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

const sys::SYS_TABLE* g_pInner = nullptr;
unsigned long long g_ullBitmapBytes = 0;
unsigned long long g_ullMovedClusters = 0;
unsigned long long g_ullSimTime = 0;   // 100 ns of thread time inside the simulator

unsigned long long ThreadTime()
{
    FILETIME ftCreate = {};
    FILETIME ftExit = {};
    FILETIME ftKernel = {};
    FILETIME ftUser = {};
    ::GetThreadTimes(::GetCurrentThread(), &ftCreate, &ftExit, &ftKernel, &ftUser);
    return (static_cast<unsigned long long>(ftKernel.dwHighDateTime) << 32 | ftKernel.dwLowDateTime) +
           (static_cast<unsigned long long>(ftUser.dwHighDateTime) << 32 | ftUser.dwLowDateTime);
}

BOOL WINAPI TimedDeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                                 LPDWORD pdwReturned, LPOVERLAPPED pOverlapped)
{
    const unsigned long long ullFrom = ThreadTime();
    DWORD dwReturned = 0;
    const BOOL bOk = g_pInner->pfnDeviceIoControl(h, dwCode, pIn, dwIn, pOut, dwOut, &dwReturned, pOverlapped);
    if (pdwReturned)
        *pdwReturned = dwReturned;
    if (dwCode == FSCTL_GET_VOLUME_BITMAP)
        g_ullBitmapBytes += dwReturned;
    g_ullSimTime += ThreadTime() - ullFrom;
    return bOk;
}

decltype(sys::SYS_TABLE::pfnNtFsControlFile) g_pfnInnerControl = nullptr;

NTSTATUS NTAPI TimedControl(HANDLE h, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pContext, PIO_STATUS_BLOCK pIosb,
                            ULONG ulCode, PVOID pIn, ULONG ulIn, PVOID pOut, ULONG ulOut)
{
    const unsigned long long ullFrom = ThreadTime();
    const NTSTATUS status = g_pfnInnerControl(h, hEvent, pfnApc, pContext, pIosb, ulCode, pIn, ulIn, pOut, ulOut);
    if (ulCode == FSCTL_MOVE_FILE && status == 0 && ulIn >= sizeof(MOVE_FILE_DATA))
        g_ullMovedClusters += static_cast<const MOVE_FILE_DATA*>(pIn)->ClusterCount;
    g_ullSimTime += ThreadTime() - ullFrom;
    return status;
}

FARPROC WINAPI TimedGetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    FARPROC pfn = g_pInner->pfnGetProcAddress(hModule, pszName);
    if (reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF && std::strcmp(pszName, "NtFsControlFile") == 0)
    {
        g_pfnInnerControl = reinterpret_cast<decltype(g_pfnInnerControl)>(reinterpret_cast<void (*)()>(pfn));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&TimedControl));
    }
    return pfn;
}

// Fragments of the files' streams and the volume's free runs.
struct LAYOUT
{
    long long llFragments = 0;
    long long llFragmentedClusters = 0;
    long long llFreeRuns = 0;
    long long llLargestFreeRun = 0;
};

LAYOUT Measure(const CSimVolume& volume)
{
    LAYOUT layout;
    for (size_t i = 0; i < volume.FileSlots(); ++i)
    {
        const CSimFile* pFile = volume.File(i);
        if (pFile == nullptr)
            continue;
        for (const CSimStream& stream : pFile->m_streams)
        {
            long long llPieces = 0;
            long long llClusters = 0;
            LONGLONG llNext = -1;
            for (const SIM_RUN& run : stream.m_runs)
            {
                if (run.llLcn == SIM_SPARSE_LCN)
                    continue;
                llPieces += run.llLcn != llNext;
                llClusters += run.llLength;
                llNext = run.llLcn + run.llLength;
            }
            layout.llFragments += llPieces;
            if (llPieces > 1)
                layout.llFragmentedClusters += llClusters;
        }
    }
    const CSimBitmap& bitmap = volume.Bitmap();
    for (LONGLONG llLcn = bitmap.NextClear(0); llLcn >= 0 && llLcn < volume.TotalClusters();)
    {
        LONGLONG llEnd = bitmap.NextSet(llLcn);
        if (llEnd < 0)
            llEnd = volume.TotalClusters();
        ++layout.llFreeRuns;
        layout.llLargestFreeRun = std::max<long long>(layout.llLargestFreeRun, llEnd - llLcn);
        llLcn = llEnd < volume.TotalClusters() ? bitmap.NextClear(llEnd) : -1;
    }
    return layout;
}

PROCESS_MEMORY_COUNTERS MemoryCounters()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

void RunOnce(CSimSystem& system, const wchar_t* pszMethod, LONGLONG llFiles, unsigned uSeed, int nRecentPercent,
             int nVolume)
{
    SIM_BUILD build;
    build.format.llTotalClusters = llFiles * 64;
    build.llFiles = llFiles;
    build.nFragmentedPercent = 15;
    build.uSeed = uSeed;
    build.nRecentPercent = nRecentPercent;
    wchar_t szGuid[48] = {};
    std::swprintf(szGuid, 48, L"{D3F0BE7C-0000-4000-8000-%012X}", static_cast<unsigned>(nVolume));
    build.format.strGuid = szGuid;
    std::wstring strError;
    std::unique_ptr<CSimVolume> pBuilt = CSimBuilder::Build(build, &strError);
    if (!pBuilt)
    {
        std::wprintf(L"BENCH error what=build %ls\n", strError.c_str());
        return;
    }
    CSimVolume& volume = system.Mount(std::move(pBuilt), 0);
    LAYOUT before;
    {
        CSimLock lock(system);
        before = Measure(volume);
    }
    CSilentOwner owner;
    CDefragPartition partition(CUnicodeString(volume.GuidPath().c_str()), &owner);
    if (!partition.Initialize())
    {
        std::wprintf(L"BENCH error what=initialize\n");
        return;
    }
    partition.SetMethod(std::wcscmp(pszMethod, L"quick") != 0);
    if (std::wcscmp(pszMethod, L"smartm") == 0)
        partition.ForceMoveModifiedFilesToEnd(2);
    g_ullBitmapBytes = 0;
    g_ullMovedClusters = 0;
    g_ullSimTime = 0;
    const PROCESS_MEMORY_COUNTERS stBefore = MemoryCounters();
    const unsigned long long ullFrom = ThreadTime();
    uint32_t uRemaining = 0;
    partition.Defragment(-1, 0, uRemaining);
    const unsigned long long ullTotal = ThreadTime() - ullFrom;
    LAYOUT after;
    {
        CSimLock lock(system);
        after = Measure(volume);
    }
    const double dBitmapBytes = static_cast<double>(volume.TotalClusters()) / 8;
    std::wprintf(L"BENCH defrag fs=ntfs method=%ls files=%lld engine_cpu_s=%.2f sim_cpu_s=%.2f peak_mib=%.1f "
                 L"moved_clusters=%llu fragmented_clusters_before=%lld move_ratio=%.2f bitmap_read_ratio=%.2f "
                 L"fragments_before=%lld fragments_after=%lld free_runs_before=%lld free_runs_after=%lld "
                 L"largest_free_run_after=%lld recent_percent=%d slides_tried=%d slides_done=%d",
                 pszMethod, llFiles, (ullTotal - std::min(ullTotal, g_ullSimTime)) / 1e7, g_ullSimTime / 1e7,
                 MemoryCounters().PeakPagefileUsage / 1048576.0, g_ullMovedClusters, before.llFragmentedClusters,
                 before.llFragmentedClusters > 0 ? static_cast<double>(g_ullMovedClusters) / before.llFragmentedClusters
                                                 : 0.0,
                 g_ullBitmapBytes / dBitmapBytes, before.llFragments, after.llFragments, before.llFreeRuns,
                 after.llFreeRuns, after.llLargestFreeRun, nRecentPercent, partition.GetSlideCounts().nTried,
                 partition.GetSlideCounts().nDone);
    const CDefragPartition::SEARCH_COUNTS& searches = partition.GetSearchCounts();
    std::wprintf(L" searches=%lld search_ms=%.1f index_kib=%.0f before_run_mib=%.1f peak_before_run_mib=%.1f\n",
                 searches.llSearches, searches.llMicroseconds / 1000.0, searches.llIndexBytes / 1024.0,
                 stBefore.PagefileUsage / 1048576.0, stBefore.PeakPagefileUsage / 1048576.0);
    std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    LONGLONG llFiles = 25000;
    unsigned uSeed = 7;
    const wchar_t* pszMethod = L"quick";
    int nRecentPercent = 10;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::wcscmp(argv[i], L"--files") == 0)
            llFiles = _wtoi64(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--method") == 0)
            pszMethod = argv[i + 1];
        else if (std::wcscmp(argv[i], L"--seed") == 0)
            uSeed = static_cast<unsigned>(_wtoi(argv[i + 1]));
        else if (std::wcscmp(argv[i], L"--recent") == 0)
            nRecentPercent = std::max(0, std::min(100, _wtoi(argv[i + 1])));
    }
    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                          nullptr) == ERROR_SUCCESS)
    {
        DWORD dwOff = 0;
        ::RegSetValueExW(hKey, L"UseIOGuard", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwOff), sizeof(dwOff));
        ::RegCloseKey(hKey);
    }
    CSimSystem system;
    system.Install();
    g_pInner = &sys::Current();
    sys::SYS_TABLE table = sys::Current();
    table.pfnDeviceIoControl = &TimedDeviceIoControl;
    table.pfnGetProcAddress = &TimedGetProcAddress;
    sys::Install(&table);
    if (!native::BindNativeFunctions())
    {
        std::wprintf(L"BENCH error what=bind\n");
        return 1;
    }
    RunOnce(system, pszMethod, llFiles, uSeed, nRecentPercent, 1);
    sys::Install(g_pInner);
    system.Uninstall();
    return 0;
}
