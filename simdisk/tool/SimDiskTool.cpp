// simdisk.exe: creates, describes and checks the image files of simulated volumes.
//   simdisk create IMAGE --fs ntfs|fat32|exfat --size SIZE[K|M|G|T] --files N
//                        [--fragmented PERCENT] [--seed S] [--cluster BYTES] [--label TEXT]
//   simdisk info IMAGE
//   simdisk verify IMAGE
// Exit status: 0 done (verify: the volume is whole), 1 the volume is damaged, 2 bad command
// line or an image that cannot be made or read.
#include "simdisk/SimBuilder.h"
#include "simdisk/SimImage.h"
#include "simdisk/SimStatistics.h"
#include "simdisk/SimVerifier.h"

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

namespace {

constexpr int ExitDamaged = 1;
constexpr int ExitUsage = 2;

int Usage()
{
    std::fwprintf(stderr, L"usage: simdisk create IMAGE --fs ntfs|fat32|exfat --size SIZE --files N "
                          L"[--fragmented PERCENT] [--seed S] [--cluster BYTES] [--label TEXT]\n"
                          L"       simdisk info IMAGE\n"
                          L"       simdisk verify IMAGE\n");
    return ExitUsage;
}

bool ParseNumber(const std::wstring& str, ULONGLONG ullMax, ULONGLONG* pullValue, bool bUnits = false)
{
    if (str.empty())
        return false;
    ULONGLONG ullValue = 0;
    size_t i = 0;
    for (; i < str.size() && iswdigit(str[i]); ++i)
    {
        if (ullValue > (ullMax - (str[i] - L'0')) / 10)
            return false;
        ullValue = ullValue * 10 + (str[i] - L'0');
    }
    if (i == 0)
        return false;
    int nShift = 0;
    if (bUnits && i + 1 == str.size())
    {
        switch (towupper(str[i]))
        {
        case L'K': nShift = 10; break;
        case L'M': nShift = 20; break;
        case L'G': nShift = 30; break;
        case L'T': nShift = 40; break;
        default: return false;
        }
        ++i;
    }
    if (i != str.size() || (nShift && ullValue > (ullMax >> nShift)))
        return false;
    *pullValue = ullValue << nShift;
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, std::map<std::wstring, std::wstring>& options)
{
    for (int i = 3; i < argc; i += 2)
    {
        std::wstring strName = argv[i];
        if (strName.compare(0, 2, L"--") != 0 || i + 1 >= argc)
            return false;
        options[strName.substr(2)] = argv[i + 1];
    }
    return true;
}

int Fail(const std::wstring& strMessage)
{
    std::fwprintf(stderr, L"simdisk: %ls\n", strMessage.c_str());
    return ExitUsage;
}

int Create(const std::wstring& strImage, std::map<std::wstring, std::wstring>& options)
{
    SIM_BUILD build;
    const std::wstring strFs = options[L"fs"];
    if (strFs == L"ntfs")
        build.format.eFs = SIM_FS::Ntfs;
    else if (strFs == L"fat32")
        build.format.eFs = SIM_FS::Fat32;
    else if (strFs == L"exfat")
        build.format.eFs = SIM_FS::Exfat;
    else
        return Fail(L"--fs must be ntfs, fat32 or exfat");
    ULONGLONG ullSize = 0, ullFiles = 0, ullPercent = 10, ullSeed = 1, ullCluster = 4096;
    if (!ParseNumber(options[L"size"], 1ull << 50, &ullSize, true))
        return Fail(L"--size must be a number of bytes, with K, M, G or T if wanted");
    if (!ParseNumber(options[L"files"], 100000000ull, &ullFiles))
        return Fail(L"--files must be a number up to 100000000");
    if (options.count(L"fragmented") && (!ParseNumber(options[L"fragmented"], 100, &ullPercent)))
        return Fail(L"--fragmented must be a percentage from 0 to 100");
    if (options.count(L"seed") && !ParseNumber(options[L"seed"], 0xFFFFFFFFull, &ullSeed))
        return Fail(L"--seed must be a number");
    if (options.count(L"cluster") &&
        (!ParseNumber(options[L"cluster"], 1u << 21, &ullCluster) || ullCluster < 512 || (ullCluster & (ullCluster - 1))))
        return Fail(L"--cluster must be a power of two from 512 to 2097152");
    if (options.count(L"label"))
        build.format.strLabel = options[L"label"];
    if (ullSize / ullCluster > static_cast<ULONGLONG>(CSimImage::MaxClusters))
        return Fail(L"--size gives more clusters than an image holds (2^36 at most)");
    build.format.dwBytesPerCluster = static_cast<DWORD>(ullCluster);
    build.format.llTotalClusters = static_cast<LONGLONG>(ullSize / ullCluster);
    build.llFiles = static_cast<LONGLONG>(ullFiles);
    build.nFragmentedPercent = static_cast<int>(ullPercent);
    build.uSeed = static_cast<unsigned>(ullSeed);
    build.format.dwSerial = CSimBuilder::SerialForSeed(build.uSeed);
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    if (!pVolume)
        return Fail(strError);
    if (!CSimImage::Save(*pVolume, strImage, &strError))
        return Fail(strError);
    std::wprintf(L"created %ls: %ls, %lld clusters, %lld files\n", strImage.c_str(), pVolume->FsName(),
                 pVolume->TotalClusters(), CSimStatistics::Of(*pVolume).llFiles);
    return 0;
}

int Info(const CSimVolume& volume)
{
    const SIM_STATISTICS stats = CSimStatistics::Of(volume);
    std::wprintf(L"file system          %ls\n", volume.FsName());
    std::wprintf(L"label                %ls\n", volume.Label().c_str());
    std::wprintf(L"volume name          %ls\n", volume.GuidPath().c_str());
    std::wprintf(L"bytes per sector     %lu\n", volume.BytesPerSector());
    std::wprintf(L"bytes per cluster    %lu\n", volume.BytesPerCluster());
    std::wprintf(L"total clusters       %lld\n", volume.TotalClusters());
    std::wprintf(L"free clusters        %lld\n", volume.FreeClusters());
    if (volume.Fs() == SIM_FS::Ntfs)
    {
        std::wprintf(L"bytes per record     %lu\n", volume.BytesPerRecord());
        std::wprintf(L"MFT records          %lld\n", volume.MftRecords());
        std::wprintf(L"MFT start            %lld\n", volume.MftStartLcn());
        std::wprintf(L"MFT zone             %lld - %lld\n", volume.MftZoneStart(), volume.MftZoneEnd());
    }
    std::wprintf(L"files                %lld\n", stats.llFiles);
    std::wprintf(L"directories          %lld\n", stats.llDirectories);
    std::wprintf(L"fragmented files     %lld\n", stats.llFragmentedFiles);
    std::wprintf(L"fragments            %lld\n", stats.llFragments);
    std::wprintf(L"free-space extents   %lld\n", stats.llFreeExtents);
    std::wprintf(L"largest free extent  %lld\n", stats.llLargestFree);
    return 0;
}

int Verify(const CSimVolume& volume)
{
    CSimVerifier verifier(volume);
    if (verifier.Run())
    {
        std::wprintf(L"the volume is whole\n");
        return 0;
    }
    for (const std::wstring& strProblem : verifier.Problems())
        std::wprintf(L"%ls\n", strProblem.c_str());
    std::wprintf(L"the volume is damaged\n");
    return ExitDamaged;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return Usage();
    const std::wstring strCommand = argv[1];
    const std::wstring strImage = argv[2];
    std::map<std::wstring, std::wstring> options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    if (strCommand == L"create")
        return Create(strImage, options);
    if ((strCommand != L"info" && strCommand != L"verify") || !options.empty())
        return Usage();
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimImage::Load(strImage, &strError);
    if (!pVolume)
        return Fail(strImage + L": " + strError);
    return strCommand == L"info" ? Info(*pVolume) : Verify(*pVolume);
}
