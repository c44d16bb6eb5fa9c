// Images of simulated volumes: a round trip keeps every detail, and truncated, foreign,
// newer or damaged files are refused with a message.
#include "SimFixture.h"

#include "simdisk/SimBuilder.h"
#include "simdisk/SimImage.h"
#include "simdisk/SimStatistics.h"

#include <cstring>

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
    std::wstring strError;
    std::unique_ptr<CSimVolume> pLoaded = CSimImage::Decode(CSimImage::Encode(*pVolume), &strError);
    ASSERT_NE(nullptr, pLoaded) << std::string(strError.begin(), strError.end());
    EXPECT_TRUE(Whole(*pLoaded));
    EXPECT_TRUE(pLoaded->m_bDirty);
    const SIM_STATISTICS after = CSimStatistics::Of(*pLoaded);
    EXPECT_EQ(before.llFragments, after.llFragments);
    EXPECT_EQ(before.llFreeExtents, after.llFreeExtents);
    EXPECT_EQ(pVolume->GuidPath(), pLoaded->GuidPath());
    EXPECT_EQ(CSimImage::Encode(*pVolume), CSimImage::Encode(*pLoaded)) << "nothing is lost or added";
}

INSTANTIATE_TEST_SUITE_P(AllFileSystems, Image, ::testing::Values(SIM_FS::Ntfs, SIM_FS::Fat32, SIM_FS::Exfat));

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
    newer[8] = 2;
    cases.push_back({"newer version", newer, L"version 2"});
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

} // namespace
