// The moves a file system refuses, next to the ones it makes, on each kind of volume.
#include "SimFixture.h"

namespace {

struct MOVE_RULE
{
    const char* pszCase;
    const wchar_t* pszPath;
    DWORD dwFileAccess;
    LONGLONG llVcn;
    LONGLONG llLcn;
    DWORD dwCount;
    NTSTATUS status;
};

class MoveRules : public CSimFixture, public ::testing::WithParamInterface<SIM_FS>
{
protected:
    void SetUp() override { MountAndInstall(GetParam(), 200000); }

    // A directory of three clusters, a plain file and, on NTFS, an encrypted file and a
    // compressed one whose last unit keeps clusters past the end of its data.
    void Populate()
    {
        m_pVolume->CreateDirectory(L"dir");
        for (int i = 0; i < 100; ++i)
            ASSERT_NE(nullptr, m_pVolume->CreateFile(L"dir\\f" + std::to_wstring(i), 10));
        m_pVolume->CreateFile(L"plain.bin", 4096ll * 40, Exact({{0, 20000, 20}, {0, 30000, 20}}));
        if (GetParam() != SIM_FS::Ntfs)
            return;
        m_pVolume->CreateFile(L"secret.bin", 4096ll * 8, Exact({{0, 40000, 8}}),
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_ENCRYPTED);
        // 36 clusters of data in units of 16 keeping 5 clusters each: VCNs 32 to 36 hold
        // clusters, and VCN 36 lies past the data.
        m_pVolume->CreateFile(L"packed.bin", 4096ll * 36);
        ASSERT_TRUE(m_pVolume->Compress(L"packed.bin", 5));
    }

    void RunCases(const std::vector<MOVE_RULE>& cases)
    {
        HANDLE hVolume = OpenVolume();
        for (const MOVE_RULE& c : cases)
        {
            HANDLE hFile = Open(std::wstring(L"S:\\") + c.pszPath, c.dwFileAccess);
            ASSERT_NE(INVALID_HANDLE_VALUE, hFile) << c.pszCase;
            EXPECT_EQ(c.status, Move(hVolume, hFile, c.llVcn, c.llLcn, c.dwCount)) << c.pszCase;
        }
        ExpectVerified();
    }
};

TEST_P(MoveRules, RefusedAndAcceptedMoves)
{
    Populate();
    std::vector<MOVE_RULE> cases = {
        {"plain file without data access", L"plain.bin", 0, 0, 150000, 40, ntstatus::Success},
        {"no clusters", L"plain.bin", 0, 0, 150000, 0, ntstatus::InvalidParameter},
        {"start past the allocation", L"plain.bin", 0, 40, 150000, 1, ntstatus::InvalidParameter},
    };
    if (GetParam() == SIM_FS::Ntfs)
    {
        cases.insert(cases.end(), {
            {"encrypted: handle without data access", L"secret.bin", 0, 0, 90000, 8, ntstatus::AccessDenied},
            {"encrypted: handle for attributes", L"secret.bin", FILE_READ_ATTRIBUTES, 0, 90000, 8, ntstatus::AccessDenied},
            {"encrypted: read handle", L"secret.bin", GENERIC_READ, 0, 90000, 8, ntstatus::Success},
            {"encrypted: append handle", L"secret.bin", FILE_APPEND_DATA, 0, 95000, 8, ntstatus::Success},
            {"encrypted: execute handle", L"secret.bin", FILE_EXECUTE, 0, 90000, 8, ntstatus::Success},
            {"compressed: start inside a unit", L"packed.bin", 0, 8, 160000, 16, ntstatus::InvalidParameter},
            {"compressed: count short of a unit", L"packed.bin", 0, 0, 160000, 8, ntstatus::InvalidParameter},
            {"compressed: clusters past the data", L"packed.bin", 0, 32, 160000, 16, ntstatus::InvalidParameter},
            {"compressed: whole units", L"packed.bin", 0, 0, 160000, 32, ntstatus::Success},
            {"directory: first cluster", L"dir", 0, 0, 170000, 1, ntstatus::Success},
        });
    }
    else
    {
        cases.insert(cases.end(), {
            {"directory: first cluster", L"dir", 0, 0, 170000, 1, ntstatus::AccessDenied},
            {"directory: whole chain", L"dir", 0, 0, 170000, 3, ntstatus::AccessDenied},
            {"root: first cluster", L"", 0, 0, 170000, 1, ntstatus::AccessDenied},
            {"directory: the clusters behind the first", L"dir", 0, 1, 170000, 2, ntstatus::Success},
        });
    }
    RunCases(cases);
}

TEST_P(MoveRules, VolumeHandleNeedsDataAccess)
{
    m_pVolume->CreateFile(L"a.bin", 4096ll * 4, Exact({{0, 20000, 4}}));
    HANDLE hFile = Open(L"S:\\a.bin");
    const DWORD accesses[] = {0, FILE_READ_ATTRIBUTES, SYNCHRONIZE};
    for (DWORD dwAccess : accesses)
    {
        HANDLE hVolume = Open(L"\\\\.\\S:", dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
        ASSERT_NE(INVALID_HANDLE_VALUE, hVolume);
        EXPECT_EQ(ntstatus::AccessDenied, Move(hVolume, hFile, 0, 150000, 4)) << std::hex << dwAccess;
    }
    for (DWORD dwAccess : {DWORD(GENERIC_READ), DWORD(FILE_READ_DATA), DWORD(GENERIC_WRITE)})
    {
        HANDLE hVolume = Open(L"\\\\.\\S:", dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
        EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 0, 150000 + 10 * (dwAccess & 0xF), 4)) << std::hex << dwAccess;
        EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 0, 20000, 4));
    }
    ExpectVerified();
}

INSTANTIATE_TEST_SUITE_P(FileSystems, MoveRules, ::testing::Values(SIM_FS::Ntfs, SIM_FS::Fat32, SIM_FS::Exfat),
                         [](const ::testing::TestParamInfo<SIM_FS>& info) {
                             return info.param == SIM_FS::Ntfs ? "Ntfs" : info.param == SIM_FS::Fat32 ? "Fat32" : "Exfat";
                         });

using NtfsMoveSwitches = CSimFixture;

// A range that reaches past the allocation: refused, or clipped to the clusters that exist.
// A chunked move that never asks past the allocation is right either way.
TEST_F(NtfsMoveSwitches, RangePastTheAllocationRefusedOrClipped)
{
    m_pVolume->CreateFile(L"m.bin", 4096ll * 20, Exact({{0, 20000, 10}, {0, 30000, 10}}));
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\m.bin");
    EXPECT_EQ(ntstatus::InvalidParameter, Move(hVolume, hFile, 10, 50000, 16));
    EXPECT_EQ(30000, ReadExtents(hFile)[1].llLcn);
    m_pVolume->m_bClipMovesPastAllocation = true;
    EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 10, 50000, 16));
    std::vector<SIM_RUN> runs = ReadExtents(hFile);
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ(50000, runs[1].llLcn);
    EXPECT_EQ(10, runs[1].llLength);
    EXPECT_TRUE(m_pVolume->Bitmap().IsClear(50010, 6)) << "nothing moved beyond the allocation";
    EXPECT_EQ(ntstatus::InvalidParameter, Move(hVolume, hFile, 20, 60000, 4)) << "a start past the end stays refused";
    ExpectVerified();
}

TEST_F(NtfsMoveSwitches, TargetsInTheMftZoneAllowedOrRefused)
{
    const LONGLONG llZone = m_pVolume->MftZoneStart() + 100;
    ASSERT_LT(llZone + 8, m_pVolume->MftZoneEnd());
    ASSERT_TRUE(m_pVolume->Bitmap().IsClear(llZone, 8));
    m_pVolume->CreateFile(L"z.bin", 4096ll * 4, Exact({{0, 20000, 4}}));
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\z.bin");
    m_pVolume->m_bRefuseMovesIntoMftZone = true;
    EXPECT_EQ(ntstatus::AlreadyCommitted, Move(hVolume, hFile, 0, llZone, 4));
    EXPECT_EQ(ntstatus::AlreadyCommitted, Move(hVolume, hFile, 0, m_pVolume->MftZoneEnd() - 2, 4)) << "overlapping its end";
    EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 0, m_pVolume->MftZoneEnd(), 4)) << "right behind it";
    m_pVolume->m_bRefuseMovesIntoMftZone = false;
    EXPECT_EQ(ntstatus::Success, Move(hVolume, hFile, 0, llZone, 4));
    ExpectVerified();
}

// A move that splits a file's runs needs room for them in its records. With the MFT full and
// too few free clusters to grow it, the file system cannot record the move: it fails and the
// file, the records and the bitmap stay as they were.
TEST_F(NtfsMoveSwitches, MoveThatCannotBeRecordedChangesNothing)
{
    SIM_FORMAT format;
    format.llTotalClusters = 30000;
    format.llMftRecords = ntfs::FirstUserRecord + 8;
    MountAndInstall(format, L'S');
    // The most runs of three clusters that still fit in the file's own record.
    int nPieces = 8;
    for (bool bFits = true; bFits; ++nPieces)
    {
        CSimFile* pProbe = m_pVolume->CreateFile(L"probe.bin", 4096ll * 3 * nPieces, Fragmented(nPieces, 1000));
        ASSERT_NE(nullptr, pProbe);
        bFits = pProbe->m_extensions.empty();
        ASSERT_TRUE(m_pVolume->Delete(L"probe.bin"));
    }
    nPieces -= 2;
    CSimFile* pFile = m_pVolume->CreateFile(L"frag.bin", 4096ll * 3 * nPieces, Fragmented(nPieces, 1000));
    ASSERT_NE(nullptr, pFile);
    ASSERT_TRUE(pFile->m_extensions.empty());
    // Every free cluster but four taken, then every free record.
    LONGLONG llFill = m_pVolume->FreeClusters() - 4;
    std::vector<SIM_RUN> fill;
    for (LONGLONG llAt = m_pVolume->Bitmap().NextClear(0), llLeft = llFill; llLeft > 0;)
    {
        LONGLONG llEnd = m_pVolume->Bitmap().NextSet(llAt);
        const LONGLONG llTake = std::min(llLeft, (llEnd < 0 ? m_pVolume->TotalClusters() : llEnd) - llAt);
        fill.push_back({0, llAt, llTake});
        llLeft -= llTake;
        llAt = m_pVolume->Bitmap().NextClear(llAt + llTake);
    }
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"filler.bin", 4096 * llFill, Exact(fill)));
    for (int i = 0; m_pVolume->MftBitmap().NextClear(m_pVolume->FirstUserRecord()) >= 0; ++i)
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"e" + std::to_wstring(i), 0));
    ASSERT_GT(m_pVolume->FreeClusters(), 0);
    ASSERT_LT(m_pVolume->FreeClusters(), 16) << "too few to grow the MFT";
    ExpectVerified();

    const std::vector<SIM_RUN> before = pFile->FindStream(ntfs::Data, L"")->m_runs;
    const LONGLONG llFree = m_pVolume->FreeClusters();
    HANDLE hVolume = OpenVolume();
    HANDLE hFile = Open(L"S:\\frag.bin");
    EXPECT_EQ(ntstatus::DiskFull, Move(hVolume, hFile, 1, m_pVolume->Bitmap().NextClear(0), 1));
    const std::vector<SIM_RUN>& after = pFile->FindStream(ntfs::Data, L"")->m_runs;
    EXPECT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size() && i < after.size(); ++i)
        EXPECT_EQ(before[i].llLcn, after[i].llLcn) << i;
    EXPECT_EQ(llFree, m_pVolume->FreeClusters());
    EXPECT_TRUE(pFile->m_extensions.empty());
    ExpectVerified();
}

} // namespace
