// The volume's own proof after random work, and that it catches a damaged cluster or bitmap.
#include "SimFixture.h"

#include "simdisk/SimImage.h"

#include <functional>
#include <random>

namespace {

class Integrity : public CSimFixture, public ::testing::WithParamInterface<SIM_FS>
{
protected:
    void SetUp() override { MountAndInstall(GetParam(), 60000); }
};

TEST_P(Integrity, RandomMovesKeepTheVolumeWhole)
{
    std::mt19937 random(7);
    std::vector<std::wstring> paths;
    m_pVolume->CreateDirectory(L"d");
    for (int i = 0; i < 40; ++i)
    {
        std::wstring strPath = (i % 2 ? L"d\\f" : L"f") + std::to_wstring(i) + L".bin";
        int nPieces = 1 + static_cast<int>(random() % 40);
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strPath, 4096ll * (nPieces + random() % 60), Fragmented(nPieces, random() % 50000)));
        paths.push_back(strPath);
    }
    HANDLE hVolume = Open(GetParam() == SIM_FS::Ntfs ? L"\\\\.\\S:" : L"\\\\.\\S:", GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    int nMoved = 0;
    for (int i = 0; i < 600; ++i)
    {
        const std::wstring& strPath = paths[random() % paths.size()];
        HANDLE hFile = Open(L"S:\\" + strPath);
        std::vector<SIM_RUN> runs = ReadExtents(hFile);
        ASSERT_FALSE(runs.empty());
        const SIM_RUN& run = runs[random() % runs.size()];
        LONGLONG llCount = 1 + static_cast<LONGLONG>(random() % run.llLength);
        LONGLONG llTarget = static_cast<LONGLONG>(random() % (m_pVolume->TotalClusters() - llCount));
        NTSTATUS status = Move(hVolume, hFile, run.llVcn, llTarget, static_cast<DWORD>(llCount));
        ASSERT_TRUE(status == ntstatus::Success || status == ntstatus::AlreadyCommitted) << std::hex << status;
        nMoved += status == ntstatus::Success;
        sys::CloseHandle(hFile);
        m_opened.pop_back();
        if (i % 200 == 0)
            m_pVolume->Resize(paths[i % paths.size()], 4096ll * (1 + random() % 80));
    }
    EXPECT_GT(nMoved, 100);
    ExpectVerified();
}

TEST_P(Integrity, ChangesFromOutsideKeepTheVolumeWhole)
{
    m_pVolume->CreateDirectory(L"a");
    m_pVolume->CreateDirectory(L"a\\b");
    for (int i = 0; i < 30; ++i)
        m_pVolume->CreateFile(L"a\\b\\x" + std::to_wstring(i), 4096ll * (i + 1), Interleaved(3));
    EXPECT_TRUE(m_pVolume->Resize(L"a\\b\\x3", 4096ll * 500, Fragmented(7)));
    EXPECT_TRUE(m_pVolume->Resize(L"a\\b\\x4", 10));
    EXPECT_TRUE(m_pVolume->Rename(L"a\\b", L"c"));
    EXPECT_FALSE(m_pVolume->Rename(L"c", L"c\\inside")) << "a directory cannot move into itself";
    EXPECT_TRUE(m_pVolume->Delete(L"c\\x7"));
    EXPECT_TRUE(m_pVolume->Delete(L"a"));
    EXPECT_EQ(nullptr, m_pVolume->Lookup(L"a"));
    EXPECT_NE(nullptr, m_pVolume->Lookup(L"C\\X3"));
    ExpectVerified();
}

TEST_P(Integrity, ExactPlacementMustHoldWhatItPlaces)
{
    const LONGLONG llFree = m_pVolume->FreeClusters();
    EXPECT_EQ(nullptr, m_pVolume->CreateFile(L"short.bin", 4096ll * 40, Exact({{0, 40000, 20}, {0, 41000, 11}})));
    EXPECT_EQ(nullptr, m_pVolume->CreateFile(L"negative.bin", 4096ll * 2, Exact({{0, 40000, 3}, {0, 41000, -1}})));
    EXPECT_EQ(nullptr, m_pVolume->Lookup(L"short.bin"));
    EXPECT_EQ(nullptr, m_pVolume->Lookup(L"negative.bin"));
    EXPECT_EQ(llFree, m_pVolume->FreeClusters());
    EXPECT_NE(nullptr, m_pVolume->CreateFile(L"exact.bin", 4096ll * 31, Exact({{0, 40000, 20}, {0, 41000, 11}})));
    ExpectVerified();
}

TEST_P(Integrity, DamagedClusterIsCaught)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"victim.bin", 4096ll * 10, Contiguous(30000));
    LONGLONG llLcn = pFile->FindStream(ntfs::Data, L"")->m_runs[0].llLcn + 4;
    m_pVolume->Content().Corrupt(llLcn);
    CSimLock lock(m_system);
    CSimVerifier verifier(*m_pVolume);
    EXPECT_FALSE(verifier.Run());
    ASSERT_FALSE(verifier.Problems().empty());
    EXPECT_NE(std::wstring::npos, verifier.Problems()[0].find(std::to_wstring(llLcn)));
}

TEST_P(Integrity, FlippedBitmapBitIsCaught)
{
    for (LONGLONG llLcn : {40000ll, m_pVolume->Root()->DefaultStream()->m_runs.empty() ? 1ll : m_pVolume->Root()->DefaultStream()->m_runs[0].llLcn})
    {
        m_pVolume->Bitmap().Flip(llLcn);
        CSimLock lock(m_system);
        CSimVerifier verifier(*m_pVolume);
        EXPECT_FALSE(verifier.Run()) << llLcn;
        m_pVolume->Bitmap().Flip(llLcn);
    }
    ExpectVerified();
}

TEST_P(Integrity, StreamKeptInItsRecordThatOwnsClustersIsCaught)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"hidden.bin", 4096ll * 3, Exact({{0, 44000, 3}}));
    ASSERT_NE(nullptr, pFile);
    pFile->DefaultStream()->m_bResident = true;
    CSimLock lock(m_system);
    CSimVerifier verifier(*m_pVolume);
    EXPECT_FALSE(verifier.Run()) << "no reader sees clusters behind data kept in the record, yet the bitmap keeps them";
}

TEST_P(Integrity, FileMissingFromItsDirectoryIsCaught)
{
    m_pVolume->CreateDirectory(L"d");
    CSimFile* pFile = m_pVolume->CreateFile(L"d\\lost.bin", 4096ll * 3);
    m_pVolume->Lookup(L"d")->m_children.erase(SimUpper(pFile->m_strName));
    CSimLock lock(m_system);
    CSimVerifier verifier(*m_pVolume);
    EXPECT_FALSE(verifier.Run()) << "its clusters are whole, but no listing or path reaches it";
}

INSTANTIATE_TEST_SUITE_P(AllFileSystems, Integrity, ::testing::Values(SIM_FS::Ntfs, SIM_FS::Fat32, SIM_FS::Exfat));

using NtfsIntegrity = CSimFixture;

TEST_F(NtfsIntegrity, ExtensionRecordClaimedByTwoFilesIsCaught)
{
    CSimFile* pFirst = m_pVolume->CreateFile(L"first.bin", 4096ll * 2000, Fragmented(1000, 100));
    CSimFile* pSecond = m_pVolume->CreateFile(L"second.bin", 4096ll * 2000, Fragmented(1000, 300000));
    ASSERT_FALSE(pFirst->m_extensions.empty());
    ASSERT_FALSE(pSecond->m_extensions.empty());
    ExpectVerified();
    pSecond->m_extensions[0] = pFirst->m_extensions[0];
    CSimLock lock(m_system);
    CSimVerifier verifier(*m_pVolume);
    EXPECT_FALSE(verifier.Run()) << "one record cannot hold the runs of two files";
}

TEST_F(NtfsIntegrity, AttributeListAndMftBitmapOnDiskAreChecked)
{
    CSimFile* pFile = m_pVolume->CreateFile(L"heavy.bin", 4096ll * 12000, Fragmented(6000, 100));
    CSimStream* pList = pFile->FindStream(ntfs::AttributeList, L"");
    ASSERT_NE(nullptr, pList);
    ASSERT_FALSE(pList->m_bResident);
    ExpectVerified();
    const struct
    {
        const char* pszCase;
        std::function<void()> damage;
        std::function<void()> mend;
    } cases[] = {
        {"a list entry that names the wrong record", [&] { pList->m_bytes[16] ^= 1; }, [&] { pList->m_bytes[16] ^= 1; }},
        {"an MFT bitmap shorter than the MFT",
         [&] { m_pVolume->File(ntfs::RecordMft)->FindStream(ntfs::Bitmap, L"")->m_llDataSize -= 8; },
         [&] { m_pVolume->File(ntfs::RecordMft)->FindStream(ntfs::Bitmap, L"")->m_llDataSize += 8; }},
    };
    for (const auto& c : cases)
    {
        c.damage();
        {
            CSimLock lock(m_system);
            CSimVerifier verifier(*m_pVolume);
            EXPECT_FALSE(verifier.Run()) << c.pszCase << ": readers of the raw clusters would see it";
        }
        c.mend();
    }
    ExpectVerified();
}

struct IMPOSSIBLE_CASE
{
    const char* pszCase;
    SIM_FS eFs;
    std::function<void(CSimVolume&, CSimFile&)> damage;
    const wchar_t* pszProblem;
};

// States no file system can be in, whatever moves were made: the check names them, and an
// image that describes one is refused even with a matching checksum.
TEST(ImpossibleVolume, FailsTheCheckAndIsRefusedAsAnImage)
{
    auto data = [](CSimFile& file) -> CSimStream& { return *file.FindStream(ntfs::Data, L""); };
    const IMPOSSIBLE_CASE cases[] = {
        {"a pending free over a live file's clusters", SIM_FS::Ntfs,
         [&](CSimVolume& v, CSimFile& f) { v.AddPendingFree({0, data(f).m_runs[0].llLcn + 1, 2}); }, L"freed clusters"},
        {"more bytes initialised than the data holds", SIM_FS::Ntfs,
         [&](CSimVolume&, CSimFile& f) { data(f).m_llInitSize = data(f).m_llDataSize + 1; }, L"initialised"},
        {"a FAT chain longer than its size needs", SIM_FS::Fat32,
         [&](CSimVolume&, CSimFile& f) { data(f).m_llDataSize = data(f).m_llInitSize = 4096; }, L"chain of 3 clusters"},
        {"an exFAT chain longer than its size needs", SIM_FS::Exfat,
         [&](CSimVolume&, CSimFile& f) { data(f).m_llDataSize = data(f).m_llInitSize = 0; }, L"chain of 3 clusters"},
        {"compressed with no compressed stream", SIM_FS::Ntfs,
         [&](CSimVolume&, CSimFile& f) { f.m_dwAttributes |= FILE_ATTRIBUTE_COMPRESSED; }, L"compressed attribute"},
        {"a reparse point on FAT32", SIM_FS::Fat32,
         [&](CSimVolume&, CSimFile& f) {
             f.m_dwAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
             f.m_dwReparseTag = 0xA0000003;
         },
         L"cannot hold"},
    };
    for (const IMPOSSIBLE_CASE& c : cases)
    {
        SIM_FORMAT format;
        format.eFs = c.eFs;
        format.llTotalClusters = 20000;
        std::unique_ptr<CSimVolume> pVolume = CSimVolume::Format(format);
        CSimFile* pFile = pVolume->CreateFile(L"victim.bin", 4096 * 3, Exact({{0, 9000, 3}}));
        ASSERT_NE(nullptr, pFile) << c.pszCase;
        c.damage(*pVolume, *pFile);
        CSimVerifier verifier(*pVolume);
        EXPECT_FALSE(verifier.Run()) << c.pszCase;
        std::wstring strAll;
        for (const std::wstring& str : verifier.Problems())
            strAll += str + L"\n";
        EXPECT_NE(std::wstring::npos, strAll.find(c.pszProblem)) << c.pszCase << ": " << std::string(strAll.begin(), strAll.end());
        std::wstring strError;
        EXPECT_EQ(nullptr, CSimImage::Decode(CSimImage::Encode(*pVolume), &strError)) << c.pszCase;
        EXPECT_NE(std::wstring::npos, strError.find(c.pszProblem))
            << c.pszCase << ": " << std::string(strError.begin(), strError.end());
    }
}

class FatVolume : public CSimFixture
{
protected:
    void SetUp() override { MountAndInstall(SIM_FS::Fat32, 50000); }
};

TEST_F(FatVolume, DirectoriesHaveClusterChainsAndNoStreams)
{
    m_pVolume->CreateDirectory(L"dir");
    for (int i = 0; i < 200; ++i)
        m_pVolume->CreateFile(L"dir\\file" + std::to_wstring(i) + L".txt", 100);
    std::vector<SIM_RUN> runs = ReadExtents(Open(L"S:\\dir"));
    LONGLONG llClusters = 0;
    for (const SIM_RUN& run : runs)
        llClusters += run.llLength;
    EXPECT_EQ(m_pVolume->IndexClustersFor(200), llClusters);
    EXPECT_FALSE(ReadExtents(Open(L"S:\\")).empty()) << "the root directory owns clusters";
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\dir\\file1.txt:alt"));
    WIN32_FIND_DATAW data;
    HANDLE h = sys::FindFirstFileW(L"S:\\dir\\*.*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ASSERT_TRUE(sys::FindNextFileW(h, &data));
    ASSERT_TRUE(sys::FindNextFileW(h, &data));
    EXPECT_STREQ(L"file0.txt", data.cFileName) << "entry order, not name order";
    sys::FindClose(h);
    wchar_t szFs[32];
    ASSERT_TRUE(sys::GetVolumeInformationW(L"S:\\", nullptr, 0, nullptr, nullptr, nullptr, szFs, 32));
    EXPECT_STREQ(L"FAT32", szFs);
    ExpectVerified();
}

} // namespace
