// Benchmark of the volume object on simulated volumes: how many bitmap bytes a free-run
// search reads, and the time and memory of reading the extents of a heavily fragmented file.
// Prints one "BENCH <kind> key=value ..." line per measurement.
//   engine_bench [--clusters N] [--fragments N]
#include "engine/DefragPartition.h"
#include "engine/EventLock.h"
#include "engine/ExtentList.h"
#include "engine/NativeFunctions.h"
#include "engine/PartitionOwner.h"
#include "engine/SysHandle.h"
#include "simdisk/SimSystem.h"
#include "engine/bench/SilentOwner.h"

#include <psapi.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

namespace {

// Counts what the bitmap control hands back.
const sys::SYS_TABLE* g_pInner = nullptr;
unsigned long long g_ullBitmapBytes = 0;
unsigned long long g_ullBitmapCalls = 0;
unsigned long long g_ullRetrievalCalls = 0;

BOOL WINAPI CountingDeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                                    LPDWORD pdwReturned, LPOVERLAPPED pOverlapped)
{
    DWORD dwReturned = 0;
    BOOL bOk = g_pInner->pfnDeviceIoControl(h, dwCode, pIn, dwIn, pOut, dwOut, &dwReturned, pOverlapped);
    if (pdwReturned)
        *pdwReturned = dwReturned;
    if (dwCode == FSCTL_GET_VOLUME_BITMAP)
    {
        ++g_ullBitmapCalls;
        g_ullBitmapBytes += dwReturned;
    }
    return bOk;
}

decltype(sys::SYS_TABLE::pfnNtFsControlFile) g_pfnInnerControl = nullptr;

NTSTATUS NTAPI CountingControl(HANDLE h, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pContext, PIO_STATUS_BLOCK pIosb,
                               ULONG ulCode, PVOID pIn, ULONG ulIn, PVOID pOut, ULONG ulOut)
{
    if (ulCode == FSCTL_GET_RETRIEVAL_POINTERS)
        ++g_ullRetrievalCalls;
    return g_pfnInnerControl(h, hEvent, pfnApc, pContext, pIosb, ulCode, pIn, ulIn, pOut, ulOut);
}

FARPROC WINAPI CountingGetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    FARPROC pfn = g_pInner->pfnGetProcAddress(hModule, pszName);
    if (reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF && std::strcmp(pszName, "NtFsControlFile") == 0)
    {
        g_pfnInnerControl = reinterpret_cast<decltype(g_pfnInnerControl)>(reinterpret_cast<void (*)()>(pfn));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&CountingControl));
    }
    return pfn;
}

double Milliseconds(const LARGE_INTEGER& liFrom)
{
    LARGE_INTEGER liNow = {};
    LARGE_INTEGER liFrequency = {};
    ::QueryPerformanceCounter(&liNow);
    ::QueryPerformanceFrequency(&liFrequency);
    return (liNow.QuadPart - liFrom.QuadPart) * 1000.0 / liFrequency.QuadPart;
}

SIZE_T PeakPrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakPagefileUsage;
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

// Free runs of 10 clusters every 1000 clusters, one run of 5000 at three quarters of the
// volume, the rest in use; searches that end early, late and never.
void BenchSearches(CSimSystem& system, LONGLONG llClusters)
{
    SIM_FORMAT format;
    format.llTotalClusters = llClusters;
    CSimVolume& volume = system.Mount(CSimVolume::Format(format), L'B');
    {
        CSimLock lock(system);
        volume.Bitmap().Set(0, llClusters);
        for (LONGLONG llLcn = 1000; llLcn + 10 < llClusters; llLcn += 1000)
            volume.Bitmap().Clear(llLcn, 10);
        volume.Bitmap().Clear(llClusters / 4 * 3 + 500, 5000);
    }
    CSilentOwner owner;
    CDefragPartition partition(CUnicodeString(volume.GuidPath().c_str()), &owner);
    if (!partition.Initialize())
    {
        std::wprintf(L"BENCH error what=initialize\n");
        return;
    }
    CSysHandle hVolume(partition.OpenVolume());
    const unsigned long long ullBitmapBytes = (llClusters + 7) / 8;
    const struct
    {
        const wchar_t* pszCase;
        LONGLONG llWanted;
    } cases[] = {{L"early", 10}, {L"late", 5000}, {L"none", 100000}};
    for (const auto& c : cases)
    {
        g_ullBitmapBytes = g_ullBitmapCalls = 0;
        LARGE_INTEGER liStart = {};
        ::QueryPerformanceCounter(&liStart);
        int64_t llFound = -1;
        const bool bFound = partition.FindFreeRun(hVolume.Get(), 0, c.llWanted, llFound);
        std::wprintf(L"BENCH free_run_search case=%ls clusters=%lld bitmap_bytes=%llu bytes_read=%llu "
                     L"read_share=%.3f chunks=%llu found=%d ms=%.2f\n",
                     c.pszCase, llClusters, ullBitmapBytes, g_ullBitmapBytes,
                     static_cast<double>(g_ullBitmapBytes) / ullBitmapBytes, g_ullBitmapCalls, bFound ? 1 : 0,
                     Milliseconds(liStart));
    }
}

void BenchExtents(CSimSystem& system, LONGLONG llFragments)
{
    SIM_FORMAT format;
    format.llTotalClusters = llFragments * 3 + 100000;
    CSimVolume& volume = system.Mount(CSimVolume::Format(format), L'E');
    if (!volume.CreateFile(L"frag.bin", llFragments * 4096, Fragmented(static_cast<int>(llFragments), 1000)))
    {
        std::wprintf(L"BENCH error what=create_fragmented_file\n");
        return;
    }
    CSilentOwner owner;
    CDefragPartition partition(CUnicodeString(volume.GuidPath().c_str()), &owner);
    if (!partition.Initialize())
    {
        std::wprintf(L"BENCH error what=initialize\n");
        return;
    }
    CExtentList extents;
    int64_t llClusters = 0;
    g_ullRetrievalCalls = 0;
    const SIZE_T nBefore = PrivateBytes();
    const SIZE_T nPeakBefore = PeakPrivateBytes();
    LARGE_INTEGER liStart = {};
    ::QueryPerformanceCounter(&liStart);
    const bool bFragmented = partition.GetFileExtentsByPath(L"E:\\frag.bin", llClusters, extents);
    const double dMs = Milliseconds(liStart);
    const SIZE_T nPeakAfter = PeakPrivateBytes();
    std::wprintf(L"BENCH file_extents fragments=%lld extents=%u clusters=%lld fragmented=%d ms=%.2f "
                 L"retrieval_calls=%llu list_bytes=%llu peak_growth_kib=%llu\n",
                 llFragments, extents.GetCount(), llClusters, bFragmented ? 1 : 0, dMs, g_ullRetrievalCalls,
                 static_cast<unsigned long long>(extents.GetCapacity()) * sizeof(EXTENT_ENTRY),
                 static_cast<unsigned long long>(nPeakAfter > nPeakBefore ? nPeakAfter - nPeakBefore : 0) / 1024);
    (void)nBefore;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    LONGLONG llClusters = 64LL * 1024 * 1024;
    LONGLONG llFragments = 100000;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::wcscmp(argv[i], L"--clusters") == 0)
            llClusters = _wtoi64(argv[i + 1]);
        else if (std::wcscmp(argv[i], L"--fragments") == 0)
            llFragments = _wtoi64(argv[i + 1]);
    }
    CSimSystem system;
    system.Install();
    g_pInner = &sys::Current();
    sys::SYS_TABLE table = sys::Current();
    table.pfnDeviceIoControl = &CountingDeviceIoControl;
    table.pfnGetProcAddress = &CountingGetProcAddress;
    sys::Install(&table);
    if (!native::BindNativeFunctions())
    {
        std::wprintf(L"BENCH error what=bind\n");
        return 1;
    }
    BenchSearches(system, llClusters);
    BenchExtents(system, llFragments);
    sys::Install(g_pInner);
    system.Uninstall();
    return 0;
}
