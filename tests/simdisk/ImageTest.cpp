// Images of simulated volumes: a round trip keeps every detail, and truncated, foreign,
// newer or damaged files are refused with a message.
#include "SimFixture.h"

#include "simdisk/SimBuilder.h"
#include "simdisk/SimImage.h"
#include "simdisk/SimStatistics.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

std::unique_ptr<CSimVolume> Built(SIM_FS eFs, LONGLONG llFiles, unsigned uSeed)
{
    SIM_BUILD build;
    build.format.eFs = eFs;
    build.format.llTotalClusters = 120000;
    build.llFiles = llFiles;
    build.nFragmentedPercent = 30;
    build.uSeed = uSeed;
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    EXPECT_NE(nullptr, pVolume) << std::string(strError.begin(), strError.end());
    return pVolume;
}

bool Whole(const CSimVolume& volume)
{
    CSimVerifier verifier(volume);
    return verifier.Run();
}

class Image : public ::testing::TestWithParam<SIM_FS>
{
};

TEST_P(Image, BuiltVolumeIsWholeFragmentedAsAskedAndSurvivesARoundTrip)
{
    std::unique_ptr<CSimVolume> pVolume = Built(GetParam(), 3000, 5);
    ASSERT_NE(nullptr, pVolume);
    EXPECT_TRUE(Whole(*pVolume));
    const SIM_STATISTICS before = CSimStatistics::Of(*pVolume);
    EXPECT_EQ(3000, before.llFiles);
    EXPECT_NEAR(900, before.llFragmentedFiles, 150);
    pVolume->CreateStream(L"dir0000001", L"x", 10);
    pVolume->m_bDirty = true;
    pVolume->m_bClipMovesPastAllocation = true;
    pVolume->m_bRefuseMovesIntoMftZone = true;
    pVolume->m_llBitmapGranule = 32768;
    pVolume->m_bBitmapTailSet = false;
    pVolume->m_bMftZoneEndInclusive = true;
    pVolume->m_byLoneNameSpace = 3;
    std::wstring strError;
    std::unique_ptr<CSimVolume> pLoaded = CSimImage::Decode(CSimImage::Encode(*pVolume), &strError);
    ASSERT_NE(nullptr, pLoaded) << std::string(strError.begin(), strError.end());
    EXPECT_TRUE(Whole(*pLoaded));
    EXPECT_TRUE(pLoaded->m_bDirty);
    EXPECT_EQ(32768, pLoaded->m_llBitmapGranule);
    EXPECT_EQ(3, pLoaded->m_byLoneNameSpace);
    const SIM_STATISTICS after = CSimStatistics::Of(*pLoaded);
    EXPECT_EQ(before.llFragments, after.llFragments);
    EXPECT_EQ(before.llFreeExtents, after.llFreeExtents);
    EXPECT_EQ(pVolume->GuidPath(), pLoaded->GuidPath());
    EXPECT_EQ(CSimImage::Encode(*pVolume), CSimImage::Encode(*pLoaded)) << "nothing is lost or added";
}

INSTANTIATE_TEST_SUITE_P(AllFileSystems, Image, ::testing::Values(SIM_FS::Ntfs, SIM_FS::Fat32, SIM_FS::Exfat));

TEST(Builder, VolumeTooSmallForTheFilesIsRefused)
{
    for (SIM_FS eFs : {SIM_FS::Ntfs, SIM_FS::Fat32})
    {
        SIM_BUILD build;
        build.format.eFs = eFs;
        build.format.llTotalClusters = 8000;
        build.llFiles = 20000;
        std::wstring strError;
        std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
        EXPECT_EQ(nullptr, pVolume) << (pVolume ? CSimStatistics::Of(*pVolume).llFiles : 0) << " files of 20000";
        EXPECT_FALSE(strError.empty());
    }
}

// Images made from different seeds mount side by side; a second volume with a name already
// mounted is refused.
TEST(ImageFile, EachSeedGivesItsOwnVolumeName)
{
    std::unique_ptr<CSimVolume> volumes[3];
    const std::pair<SIM_FS, unsigned> made[3] = {{SIM_FS::Ntfs, 1}, {SIM_FS::Exfat, 2}, {SIM_FS::Ntfs, 1}};
    for (int i = 0; i < 3; ++i)
    {
        SIM_FORMAT format;
        format.eFs = made[i].first;
        format.llTotalClusters = 20000;
        format.dwSerial = CSimBuilder::SerialForSeed(made[i].second);
        volumes[i] = CSimVolume::Format(format);
    }
    EXPECT_NE(volumes[0]->GuidPath(), volumes[1]->GuidPath());
    EXPECT_EQ(volumes[0]->GuidPath(), volumes[2]->GuidPath()) << "runs repeat";
    CSimSystem system;
    std::wstring strError;
    EXPECT_NE(nullptr, system.TryMount(std::move(volumes[0]), L'P', &strError));
    EXPECT_NE(nullptr, system.TryMount(std::move(volumes[1]), L'Q', &strError));
    EXPECT_EQ(nullptr, system.TryMount(std::move(volumes[2]), L'R', &strError));
    EXPECT_NE(std::wstring::npos, strError.find(L"mounted already"));
    EXPECT_EQ(2u, system.Mounts().size());
}

// A letter names one volume: a second volume there is refused, and the letter keeps
// answering for the first.
TEST(ImageFile, ASecondVolumeOnATakenLetterIsRefused)
{
    CSimSystem system;
    std::wstring strError;
    std::unique_ptr<CSimVolume> volumes[2];
    for (int i = 0; i < 2; ++i)
    {
        SIM_FORMAT format;
        format.llTotalClusters = 20000;
        format.dwSerial = CSimBuilder::SerialForSeed(static_cast<unsigned>(i + 1));
        volumes[i] = CSimVolume::Format(format);
    }
    CSimVolume* pFirst = system.TryMount(std::move(volumes[0]), L'P', &strError);
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(nullptr, system.TryMount(std::move(volumes[1]), L'p', &strError));
    EXPECT_NE(std::wstring::npos, strError.find(L"P: is taken")) << std::string(strError.begin(), strError.end());
    EXPECT_EQ(pFirst, system.Volume(L'P'));
    EXPECT_EQ(1u, system.Mounts().size());
}

TEST(ImageFile, DamageIsKeptSoThatVerifyFails)
{
    std::unique_ptr<CSimVolume> pVolume = Built(SIM_FS::Ntfs, 200, 2);
    pVolume->Bitmap().Flip(100000);
    std::wstring strError;
    std::unique_ptr<CSimVolume> pLoaded = CSimImage::Decode(CSimImage::Encode(*pVolume), &strError);
    ASSERT_NE(nullptr, pLoaded);
    EXPECT_FALSE(Whole(*pLoaded));
}

TEST(ImageFile, BadImagesAreRefusedWithAReason)
{
    std::unique_ptr<CSimVolume> pVolume = Built(SIM_FS::Fat32, 100, 3);
    const std::vector<BYTE> good = CSimImage::Encode(*pVolume);
    struct CASE
    {
        const char* pszCase;
        std::vector<BYTE> image;
        const wchar_t* pszReason;
    };
    std::vector<CASE> cases;
    cases.push_back({"empty", {}, L"not a simulated disk image"});
    cases.push_back({"foreign", std::vector<BYTE>(good.size(), 'x'), L"not a simulated disk image"});
    cases.push_back({"truncated", std::vector<BYTE>(good.begin(), good.end() - 10), L"truncated"});
    cases.push_back({"header only", std::vector<BYTE>(good.begin(), good.begin() + 64), L"truncated"});
    std::vector<BYTE> newer = good;
    newer[8] = 3;
    cases.push_back({"newer version", newer, L"version 3"});
    std::vector<BYTE> reserved = good;
    reserved[40] = 1;
    cases.push_back({"reserved header bytes", reserved, L"reserved"});
    std::vector<BYTE> flipped = good;
    flipped[good.size() / 2] ^= 0x40;
    cases.push_back({"damaged", flipped, L"checksum"});
    for (const CASE& c : cases)
    {
        std::wstring strError;
        EXPECT_EQ(nullptr, CSimImage::Decode(c.image, &strError)) << c.pszCase;
        EXPECT_NE(std::wstring::npos, strError.find(c.pszReason)) << c.pszCase << ": " << std::string(strError.begin(), strError.end());
    }
}

// The image's own checksum, so that a test can hand the loader a crafted file that is not
// merely damaged: the payload, then the header with the checksum zero.
void Reseal(std::vector<BYTE>& image)
{
    std::memset(image.data() + 24, 0, 4);
    DWORD dwCrc = 0xFFFFFFFFu;
    for (size_t n = 0; n < image.size(); ++n)
    {
        dwCrc ^= image[(n + 64) % image.size()];
        for (int k = 0; k < 8; ++k)
            dwCrc = (dwCrc & 1) ? 0xEDB88320u ^ (dwCrc >> 1) : dwCrc >> 1;
    }
    dwCrc ^= 0xFFFFFFFFu;
    std::memcpy(image.data() + 24, &dwCrc, 4);
}

TEST(ImageFile, CraftedImagesAreRefusedBeforeAnyAnswerCanGoWrong)
{
    struct CASE
    {
        const char* pszCase;
        std::function<void(CSimVolume&)> craft;
        const wchar_t* pszReason;
    };
    auto file = [](CSimVolume& volume, const wchar_t* pszPath) { return volume.Lookup(pszPath); };
    const CASE cases[] = {
        {"directories in a cycle",
         [&](CSimVolume& v) { file(v, L"a")->m_ullParent = file(v, L"a\\b")->m_ullId; }, L"cycle"},
        {"a file below a file",
         [&](CSimVolume& v) { file(v, L"a\\b\\c.txt")->m_ullParent = file(v, L"top.txt")->m_ullId; },
         L"not a directory"},
        {"one name twice in a directory", [&](CSimVolume& v) { file(v, L"top.txt")->m_strName = L"a"; }, L"repeated"},
        {"a resident stream larger than a record",
         [&](CSimVolume& v) {
             CSimStream* pData = file(v, L"top.txt")->FindStream(ntfs::Data, L"");
             pData->m_bytes.resize(100000);
             v.SetDataSize(*pData, 100000);
         },
         L"size"},
        {"a negative stream size",
         [&](CSimVolume& v) { v.SetDataSize(*file(v, L"top.txt")->FindStream(ntfs::Data, L""), -5); }, L"size"},
        {"a stream name longer than 255 characters",
         [&](CSimVolume& v) { v.CreateStream(L"top.txt", L"s", 10)->m_strName.assign(300, L'n'); }, L"longer"},
        {"two streams in one slot",
         [&](CSimVolume& v) { v.CreateStream(L"top.txt", L"s", 10)->m_wSlot = 0; }, L"slot"},
        {"a resident stream that no record can hold",
         [&](CSimVolume& v) { v.CreateStream(L"top.txt", L"s", 500)->m_strName.assign(255, L'n'); }, L"fit"},
        {"an MFT without its bitmap",
         [&](CSimVolume& v) { v.File(ntfs::RecordMft)->RemoveStream(ntfs::Bitmap, L""); }, L"bitmap is missing"},
    };
    for (const CASE& c : cases)
    {
        SIM_FORMAT format;
        format.llTotalClusters = 20000;
        std::unique_ptr<CSimVolume> pVolume = CSimVolume::Format(format);
        pVolume->CreateDirectory(L"a");
        pVolume->CreateDirectory(L"a\\b");
        pVolume->CreateFile(L"a\\b\\c.txt", 100);
        pVolume->CreateFile(L"top.txt", 100);
        c.craft(*pVolume);
        std::wstring strError;
        EXPECT_EQ(nullptr, CSimImage::Decode(CSimImage::Encode(*pVolume), &strError)) << c.pszCase;
        EXPECT_NE(std::wstring::npos, strError.find(c.pszReason))
            << c.pszCase << ": " << std::string(strError.begin(), strError.end());
    }
}

TEST(ImageFile, GeometryBeyondWhatTheImageHoldsIsRefusedAtOnce)
{
    std::unique_ptr<CSimVolume> pVolume = Built(SIM_FS::Fat32, 10, 6);
    std::vector<BYTE> image = CSimImage::Encode(*pVolume);
    // The cluster count stands behind the header, the section's tag and length, and four sizes.
    const LONGLONG llHuge = 1ll << 36;
    std::memcpy(image.data() + 64 + 12 + 16, &llHuge, 8);
    Reseal(image);
    std::wstring strError;
    EXPECT_EQ(nullptr, CSimImage::Decode(image, &strError));
    EXPECT_NE(std::wstring::npos, strError.find(L"larger than the image")) << std::string(strError.begin(), strError.end());
}

TEST(ImageFile, SaveAndLoadThroughAFile)
{
    std::unique_ptr<CSimVolume> pVolume = Built(SIM_FS::Exfat, 300, 4);
    wchar_t szDir[MAX_PATH];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szDir));
    const std::wstring strPath = std::wstring(szDir) + L"vf_image_test.img";
    std::wstring strError;
    ASSERT_TRUE(CSimImage::Save(*pVolume, strPath, &strError));
    std::unique_ptr<CSimVolume> pLoaded = CSimImage::Load(strPath, &strError);
    ASSERT_NE(nullptr, pLoaded);
    EXPECT_TRUE(Whole(*pLoaded));
    EXPECT_TRUE(::DeleteFileW(strPath.c_str()));
    EXPECT_EQ(nullptr, CSimImage::Load(strPath, &strError));
    EXPECT_NE(std::wstring::npos, strError.find(L"cannot open"));
}

// Each case changes one field of a saved volume to what no file system holds, as a damaged
// or hand-made image would; sealed again, the image is refused by the loader, and the volume
// with that field is refused by the check.
TEST(ImageFile, OneFieldNoFileSystemHoldsIsRefusedByTheLoaderAndTheCheck)
{
    struct CASE
    {
        const char* pszCase;
        SIM_FS eFs;
        std::function<void(CSimVolume&)> change;
        const wchar_t* pszReason;
    };
    auto file = [](CSimVolume& volume, const wchar_t* pszPath) { return volume.Lookup(pszPath); };
    auto data = [&](CSimVolume& volume) { return file(volume, L"top.txt")->FindStream(ntfs::Data, L""); };
    auto flags = [&](WORD wFlags) { return [&, wFlags](CSimVolume& v) { data(v)->m_wFlags = wFlags; }; };
    auto type = [&](DWORD dwType) { return [&, dwType](CSimVolume& v) { data(v)->m_dwType = dwType; }; };
    auto directory = [&](CSimVolume& v) { file(v, L"top.txt")->m_dwAttributes |= FILE_ATTRIBUTE_DIRECTORY; };
    // What a loader makes of a changed parent: the file is the new directory's entry, while
    // the entry orders stay as they were saved.
    auto reparent = [&](CSimVolume& v) {
        CSimFile* pTop = file(v, L"top.txt");
        v.Root()->m_children.erase(L"TOP.TXT");
        file(v, L"a")->m_children[L"TOP.TXT"] = pTop->m_ullId;
        pTop->m_ullParent = file(v, L"a")->m_ullId;
    };
    auto entry = [&](const wchar_t* pszPath) { return [&, pszPath](CSimVolume& v) {
        auto& order = v.Root()->m_order;
        *std::find(order.begin(), order.end(), file(v, L"a")->m_ullId) = pszPath ? file(v, pszPath)->m_ullId : 4321;
    }; };
    const CASE cases[] = {
        {"a compressed FAT32 stream", SIM_FS::Fat32, flags(ntfs::FlagCompressed), L"flags"},
        {"a sparse exFAT stream", SIM_FS::Exfat, flags(ntfs::FlagSparse), L"flags"},
        {"an encrypted FAT32 stream", SIM_FS::Fat32, flags(0x4000), L"flags"},
        {"an index root on clusters", SIM_FS::Ntfs, type(ntfs::IndexRoot), L"cannot hold clusters"},
        {"an unknown NTFS stream on clusters", SIM_FS::Ntfs, type(0x12345), L"cannot hold clusters"},
        {"an unknown FAT32 stream on clusters", SIM_FS::Fat32, type(0x90), L"cannot hold clusters"},
        {"an unknown exFAT stream on clusters", SIM_FS::Exfat, type(0x12345), L"cannot hold clusters"},
        {"an NTFS directory with data", SIM_FS::Ntfs, directory, L"directory yet has data"},
        {"a FAT32 directory with data", SIM_FS::Fat32, directory, L"directory yet has data"},
        {"a FAT32 file moved to another directory", SIM_FS::Fat32, reparent, L"entry order"},
        {"an exFAT file moved to another directory", SIM_FS::Exfat, reparent, L"entry order"},
        {"a bogus entry in a FAT32 directory's order", SIM_FS::Fat32, entry(nullptr), L"entry order"},
        {"an entry twice in an exFAT directory's order", SIM_FS::Exfat, entry(L"top.txt"), L"entry order"},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        SIM_FORMAT format;
        format.eFs = c.eFs;
        format.llTotalClusters = 20000;
        std::unique_ptr<CSimVolume> pVolume = CSimVolume::Format(format);
        pVolume->CreateDirectory(L"a");
        pVolume->CreateDirectory(L"a\\b");
        pVolume->CreateFile(L"a\\b\\c.txt", 100);
        pVolume->CreateFile(L"top.txt", 3 * 4096 + 100);
        const std::vector<BYTE> good = CSimImage::Encode(*pVolume);
        ASSERT_TRUE(Whole(*pVolume));
        c.change(*pVolume);
        const std::vector<BYTE> changed = CSimImage::Encode(*pVolume);
        // One field: the images differ within eight bytes.
        ASSERT_EQ(good.size(), changed.size());
        size_t nFirst = 64;
        while (nFirst < good.size() && good[nFirst] == changed[nFirst])
            ++nFirst;
        size_t nLast = good.size() - 1;
        while (nLast > nFirst && good[nLast] == changed[nLast])
            --nLast;
        ASSERT_LT(nFirst, good.size());
        EXPECT_LT(nLast - nFirst, 8u);

        std::wstring strError;
        EXPECT_EQ(nullptr, CSimImage::Decode(changed, &strError));
        EXPECT_NE(std::wstring::npos, strError.find(c.pszReason)) << std::string(strError.begin(), strError.end());
        CSimVerifier verifier(*pVolume);
        EXPECT_FALSE(verifier.Run());
        std::wstring strProblems;
        for (const std::wstring& strProblem : verifier.Problems())
            strProblems += strProblem + L"\n";
        EXPECT_NE(std::wstring::npos, strProblems.find(c.pszReason)) << std::string(strProblems.begin(), strProblems.end());
    }
}

} // namespace
