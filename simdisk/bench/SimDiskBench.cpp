// Benchmark of the simulated disk: building a large volume, then reading it the way the
// engine does through the seam (the whole bitmap, every MFT record, retrieval pointers of
// many files), with the CPU time and the peak memory of each step.
//   simdisk_bench [--files N] [--clusters N] [--reads N] [--seed S]
// With --image, the life of an image instead: built, saved, loaded and checked, in one line
//   BENCH simdisk files=N build_s=.. save_s=.. load_s=.. verify_s=.. peak_mib=..
#include "simdisk/SimBuilder.h"
#include "simdisk/SimImage.h"
#include "simdisk/SimStatistics.h"
#include "simdisk/SimSystem.h"
#include "simdisk/SimVerifier.h"

#include <psapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>

namespace {

double CpuSeconds()
{
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    if (!::GetProcessTimes(::GetCurrentProcess(), &ftCreate, &ftExit, &ftKernel, &ftUser))
        return 0;
    auto seconds = [](const FILETIME& ft) { return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 1e7; };
    return seconds(ftKernel) + seconds(ftUser);
}

unsigned long long PeakMiB()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<unsigned long long>(counters.PeakPagefileUsage >> 20);
}

class CStep
{
public:
    explicit CStep(const wchar_t* pszName) : m_pszName(pszName), m_dCpu(CpuSeconds()), m_dwStart(::GetTickCount()) {}

    void Done(const std::wstring& strWhat)
    {
        std::wprintf(L"%-22ls %-48ls %8.2f s CPU %8.2f s wall %7llu MiB peak\n", m_pszName, strWhat.c_str(),
                     CpuSeconds() - m_dCpu, (::GetTickCount() - m_dwStart) / 1000.0, PeakMiB());
        std::fflush(stdout);
    }

private:
    const wchar_t* m_pszName;
    double m_dCpu;
    DWORD m_dwStart;
};

LONGLONG Option(int argc, wchar_t** argv, const wchar_t* pszName, LONGLONG llDefault)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wcscmp(argv[i], pszName) == 0)
            return std::wcstoll(argv[i + 1], nullptr, 10);
    return llDefault;
}

LONGLONG ReadWholeBitmap(HANDLE hVolume, int* pnCalls)
{
    std::vector<BYTE> buffer(81896 + 24);
    LONGLONG llFrom = 0, llUsed = 0;
    for (;;)
    {
        DWORD dwReturned = 0;
        BOOL bOk = sys::DeviceIoControl(hVolume, FSCTL_GET_VOLUME_BITMAP, &llFrom, 8, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), &dwReturned, nullptr);
        if (!bOk && ::GetLastError() != ERROR_MORE_DATA)
            return llUsed;
        ++*pnCalls;
        auto* p = reinterpret_cast<VOLUME_BITMAP_BUFFER*>(buffer.data());
        LONGLONG llBits = bOk ? p->BitmapSize.QuadPart : static_cast<LONGLONG>(dwReturned) * 8 - 192;
        for (LONGLONG i = 0; i < llBits / 8; ++i)
            llUsed += __builtin_popcount(p->Buffer[i]);
        // The last byte of the volume may hold fewer clusters than bits.
        for (LONGLONG i = llBits / 8 * 8; i < llBits; ++i)
            llUsed += (p->Buffer[i / 8] >> (i % 8)) & 1;
        llFrom += llBits;
    }
}

// Reads the MFT's bitmap raw, as the record reader does, and asks for every record in use.
LONGLONG ReadAllRecords(HANDLE hVolume, const CSimVolume& volume)
{
    HANDLE hBitmap = sys::CreateFileW(L"B:\\$MFT::$BITMAP", FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BYTE runs[4112];
    LONGLONG llVcn = 0;
    IO_STATUS_BLOCK iosb = {};
    NTSTATUS status = sys::NtFsControlFile(hBitmap, nullptr, nullptr, nullptr, &iosb, FSCTL_GET_RETRIEVAL_POINTERS,
                                           &llVcn, 8, runs, sizeof(runs));
    sys::CloseHandle(hBitmap);
    if (status != 0)
        return -1;
    auto* pRuns = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(runs);
    std::vector<BYTE> bits(static_cast<size_t>(pRuns->Extents[0].NextVcn.QuadPart) * volume.BytesPerCluster());
    LARGE_INTEGER liAt;
    liAt.QuadPart = pRuns->Extents[0].Lcn.QuadPart * volume.BytesPerCluster();
    DWORD dwRead = 0;
    if (!sys::SetFilePointerEx(hVolume, liAt, nullptr, FILE_BEGIN) ||
        !sys::ReadFile(hVolume, bits.data(), static_cast<DWORD>(bits.size()), &dwRead, nullptr))
        return -1;
    std::vector<BYTE> record(12 + volume.BytesPerRecord() + 15);
    LONGLONG llRead = 0;
    // The first run of the bitmap holds every record of an MFT that has not grown.
    const LONGLONG llRecords = std::min<LONGLONG>(volume.MftRecords(), static_cast<LONGLONG>(bits.size()) * 8);
    for (LONGLONG r = 0; r < llRecords; ++r)
    {
        if (!((bits[static_cast<size_t>(r / 8)] >> (r % 8)) & 1))
            continue;
        DWORD dwReturned = 0;
        if (sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_FILE_RECORD, &r, 8, record.data(),
                                 static_cast<DWORD>(record.size()), &dwReturned, nullptr))
            ++llRead;
    }
    return llRead;
}

LONGLONG ReadRetrievalPointers(const CSimVolume& volume, LONGLONG llReads, unsigned uSeed, LONGLONG* pllExtents)
{
    std::mt19937_64 random(uSeed);
    std::vector<BYTE> buffer(4112);
    LONGLONG llCalls = 0;
    while (llCalls < llReads)
    {
        const CSimFile* pFile = volume.File(ntfs::FirstUserRecord + random() % (volume.FileSlots() - ntfs::FirstUserRecord));
        if (!pFile || pFile->IsDirectory())
            continue;
        const std::wstring strPath = L"B:\\" + volume.RelativePath(*pFile);
        HANDLE h = sys::CreateFileW(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_NO_BUFFERING, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        LONGLONG llVcn = 0;
        for (;;)
        {
            IO_STATUS_BLOCK iosb = {};
            NTSTATUS status = sys::NtFsControlFile(h, nullptr, nullptr, nullptr, &iosb, FSCTL_GET_RETRIEVAL_POINTERS,
                                                   &llVcn, 8, buffer.data(), 4112);
            ++llCalls;
            if (status != 0 && status != static_cast<NTSTATUS>(0x80000005))
                break;
            auto* p = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(buffer.data());
            *pllExtents += p->ExtentCount;
            llVcn = p->Extents[p->ExtentCount - 1].NextVcn.QuadPart;
        }
        sys::CloseHandle(h);
    }
    return llCalls;
}

// Build, save, load and check one image; the peak is the whole run's, so each size runs in a
// process of its own.
int ImageLife(const SIM_BUILD& build)
{
    wchar_t szDir[MAX_PATH];
    if (!::GetTempPathW(MAX_PATH, szDir))
        return 2;
    const std::wstring strPath = std::wstring(szDir) + L"simdisk_bench_" + std::to_wstring(::GetCurrentProcessId()) + L".img";
    std::wstring strError;
    double dAt = CpuSeconds();
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    const double dBuild = CpuSeconds() - dAt;
    bool bOk = pVolume != nullptr;
    dAt = CpuSeconds();
    bOk = bOk && CSimImage::Save(*pVolume, strPath, &strError);
    const double dSave = CpuSeconds() - dAt;
    pVolume.reset();
    dAt = CpuSeconds();
    if (bOk)
        pVolume = CSimImage::Load(strPath, &strError);
    const double dLoad = CpuSeconds() - dAt;
    dAt = CpuSeconds();
    bOk = pVolume && CSimVerifier(*pVolume).Run();
    const double dVerify = CpuSeconds() - dAt;
    ::DeleteFileW(strPath.c_str());
    if (!bOk)
    {
        std::fwprintf(stderr, L"simdisk_bench: %ls\n", strError.empty() ? L"the loaded volume is not whole" : strError.c_str());
        return 1;
    }
    std::wprintf(L"BENCH simdisk files=%lld build_s=%.2f save_s=%.2f load_s=%.2f verify_s=%.2f peak_mib=%llu\n",
                 build.llFiles, dBuild, dSave, dLoad, dVerify, PeakMiB());
    return 0;
}

bool HasFlag(int argc, wchar_t** argv, const wchar_t* pszName)
{
    for (int i = 1; i < argc; ++i)
        if (std::wcscmp(argv[i], pszName) == 0)
            return true;
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SIM_BUILD build;
    build.llFiles = Option(argc, argv, L"--files", 1000000);
    build.format.llTotalClusters = Option(argc, argv, L"--clusters", 100000000);
    build.uSeed = static_cast<unsigned>(Option(argc, argv, L"--seed", 1));
    build.nFragmentedPercent = 15;
    const LONGLONG llReads = Option(argc, argv, L"--reads", 100000);
    if (HasFlag(argc, argv, L"--image"))
        return ImageLife(build);

    CStep buildStep(L"build");
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    if (!pVolume)
    {
        std::fwprintf(stderr, L"simdisk_bench: %ls\n", strError.c_str());
        return 2;
    }
    const SIM_STATISTICS stats = CSimStatistics::Of(*pVolume);
    buildStep.Done(std::to_wstring(stats.llFiles) + L" files, " + std::to_wstring(stats.llFragments) + L" fragments, " +
                   std::to_wstring(pVolume->TotalClusters()) + L" clusters");

    CSimSystem system;
    const CSimVolume& volume = system.Mount(std::move(pVolume), L'B');
    system.Install();
    HANDLE hVolume = sys::CreateFileW(L"\\\\.\\B:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);

    CStep bitmapStep(L"bitmap read");
    int nCalls = 0;
    LONGLONG llUsed = ReadWholeBitmap(hVolume, &nCalls);
    bitmapStep.Done(std::to_wstring(nCalls) + L" calls, " + std::to_wstring(llUsed) + L" clusters in use");

    CStep mftStep(L"MFT read");
    LONGLONG llRecords = ReadAllRecords(hVolume, volume);
    mftStep.Done(std::to_wstring(llRecords) + L" file records");

    CStep retrievalStep(L"retrieval pointers");
    LONGLONG llExtents = 0;
    LONGLONG llReadsDone = ReadRetrievalPointers(volume, llReads, build.uSeed, &llExtents);
    retrievalStep.Done(std::to_wstring(llReadsDone) + L" reads, " + std::to_wstring(llExtents) + L" extents");

    sys::CloseHandle(hVolume);
    system.Uninstall();
    return llRecords > 0 && llUsed == volume.TotalClusters() - volume.FreeClusters() ? 0 : 1;
}
