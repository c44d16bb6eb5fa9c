// The free-space searches over a bitmap that comes in two chunks, with the start granules and
// the last byte's spare bits that file systems differ in, the MFT zone and the limit.
#include "PartitionFixture.h"

#include "engine/FreeRunIndex.h"
#include "engine/SysHandle.h"
#include "engine/VolumeBitmapSource.h"

#include <winioctl.h>

#include <vector>

namespace {

// Answers of the bitmap control as another file system gives them: the start rounded down to
// a coarser granule, and the bits past the volume's end clear instead of set.
struct BITMAP_STYLE
{
    LONGLONG llGranule;
    bool bTailClear;
};

BITMAP_STYLE g_style = {8, false};
const sys::SYS_TABLE* g_pInner = nullptr;

BOOL WINAPI StyledDeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                                  LPDWORD pdwReturned, LPOVERLAPPED pOverlapped)
{
    if (dwCode != FSCTL_GET_VOLUME_BITMAP || dwIn < 8)
        return g_pInner->pfnDeviceIoControl(h, dwCode, pIn, dwIn, pOut, dwOut, pdwReturned, pOverlapped);
    LONGLONG llStart = *static_cast<LONGLONG*>(pIn);
    if (llStart > 0)
        llStart = llStart / g_style.llGranule * g_style.llGranule;
    BOOL bOk = g_pInner->pfnDeviceIoControl(h, dwCode, &llStart, 8, pOut, dwOut, pdwReturned, pOverlapped);
    if (bOk && g_style.bTailClear)
    {
        auto* pBitmap = static_cast<VOLUME_BITMAP_BUFFER*>(pOut);
        const LONGLONG llBits = pBitmap->BitmapSize.QuadPart;
        if (llBits % 8 != 0)
            pBitmap->Buffer[llBits / 8] &= static_cast<BYTE>((1 << (llBits % 8)) - 1);
    }
    return bOk;
}

struct RUN_CASE
{
    LONGLONG llFrom;
    LONGLONG llWanted;
    LONGLONG llLimit;
    bool bFound;
    LONGLONG llOut;
};

struct USED_CASE
{
    LONGLONG llFrom;
    bool bFound;
    LONGLONG llOut;
};

class FreeSpaceSearchTest : public CPartitionFixture, public ::testing::WithParamInterface<BITMAP_STYLE>
{
protected:
    void SetUp() override
    {
        Mount(SIM_FS::Ntfs, TotalClusters);
        m_pVolume->SetMftZone(1000, 2000);
        {
            // Everything in use but these free runs.
            CSimLock lock(m_system);
            CSimBitmap& bitmap = m_pVolume->Bitmap();
            bitmap.Set(0, TotalClusters);
            for (const auto& run : {std::pair<LONGLONG, LONGLONG>{100, 10}, {1500, 1000}, {3000, 100},
                                    {655100, 200}, {699000, TotalClusters - 699000}})
                bitmap.Clear(run.first, run.second);
        }
        Partition();
        g_style = GetParam();
        g_pInner = &sys::Current();
        m_table = sys::Current();
        m_table.pfnDeviceIoControl = &StyledDeviceIoControl;
        sys::Install(&m_table);
        m_hVolume = m_pPartition->OpenVolume();
        ASSERT_NE(INVALID_HANDLE_VALUE, m_hVolume);
    }
    void TearDown() override
    {
        sys::CloseHandle(m_hVolume);
        sys::Install(g_pInner);
        CPartitionFixture::TearDown();
    }

    static std::vector<RUN_CASE> RunCases()
    {
        return {
            {0, 5, -1, true, 100},
            {0, 10, -1, true, 100},
            {0, 300, -1, true, 2001},          // the run starting in the zone is used behind it
            {1200, 10, -1, true, 2001},
            {2600, 150, -1, true, 655100},     // one run across the chunk border
            {2600, 150, 655100, false, 3000},  // a run starting at the limit is not taken
            {2600, 150, 655101, true, 655100},
            {0, TotalClusters - 699000, -1, true, 699000},
            {0, 5000, -1, false, 699000},      // the run open at the end is the longest
            {655200, 50, -1, true, 655200},
            {TotalClusters, 1, -1, false, -1},
            {-20, 5, -1, true, 100},
        };
    }
    static std::vector<USED_CASE> UsedCases()
    {
        return {{0, true, 0},           {100, true, 110},    {655100, true, 655300},
                {655160, true, 655300}, {699000, false, -1}, {TotalClusters, false, -1}};
    }

    sys::SYS_TABLE m_table = {};
    HANDLE m_hVolume = INVALID_HANDLE_VALUE;
};

TEST_P(FreeSpaceSearchTest, FindsRunsAcrossChunksAroundTheZoneAndBeforeTheLimit)
{
    for (const RUN_CASE& c : RunCases())
    {
        SCOPED_TRACE(std::to_string(c.llFrom) + " " + std::to_string(c.llWanted));
        int64_t llOut = 7;
        EXPECT_EQ(c.bFound, m_pPartition->FindFreeRun(m_hVolume, c.llFrom, c.llWanted, llOut, c.llLimit));
        EXPECT_EQ(c.llOut, llOut);
    }
}

TEST_P(FreeSpaceSearchTest, FindsTheNextUsedCluster)
{
    for (const USED_CASE& c : UsedCases())
    {
        SCOPED_TRACE(c.llFrom);
        int64_t llOut = 7;
        EXPECT_EQ(c.bFound, m_pPartition->FindNextUsedCluster(m_hVolume, c.llFrom, llOut));
        EXPECT_EQ(c.llOut, llOut);
    }
}

// The free-run index reads the same answers through its own small reads, whatever granule
// the file system rounds their starts to.
TEST_P(FreeSpaceSearchTest, TheIndexBuiltFromTheseAnswersFindsTheSame)
{
    CVolumeBitmapSource source(m_pPartition->GetVolumeName(), m_pPartition->GetTotalClusters(),
                               m_pPartition->GetBytesPerCluster(), CDefragPartition::MaxBitmapBytes);
    source.SetVolume(m_hVolume);
    CFreeRunIndex index(source);
    ASSERT_TRUE(index.Build());
    for (const RUN_CASE& c : RunCases())
    {
        SCOPED_TRACE(std::to_string(c.llFrom) + " " + std::to_string(c.llWanted));
        FREE_RUN_ANSWER answer = {};
        ASSERT_TRUE(index.FindFreeRun({c.llFrom, c.llWanted, c.llLimit, true, 1000, 2000}, answer));
        EXPECT_EQ(c.bFound, answer.bFound);
        EXPECT_EQ(c.llOut, answer.llLcn);
    }
    for (const USED_CASE& c : UsedCases())
    {
        SCOPED_TRACE(c.llFrom);
        FREE_RUN_ANSWER answer = {};
        ASSERT_TRUE(index.FindNextUsedCluster(c.llFrom, answer));
        EXPECT_EQ(c.bFound, answer.bFound);
        EXPECT_EQ(c.llOut, answer.llLcn);
    }
}

INSTANTIATE_TEST_SUITE_P(BitmapStyles, FreeSpaceSearchTest,
                         ::testing::Values(BITMAP_STYLE{8, false}, BITMAP_STYLE{8, true}, BITMAP_STYLE{4096, false},
                                           BITMAP_STYLE{4096, true}, BITMAP_STYLE{32768, false}));

// A zone that reaches into the next chunk drops the run that starts inside it.
TEST_F(CPartitionFixture, RunStartingInAZoneThatEndsInTheNextChunkIsDropped)
{
    Mount(SIM_FS::Ntfs, TotalClusters);
    m_pVolume->SetMftZone(650000, 660000);
    {
        CSimLock lock(m_system);
        m_pVolume->Bitmap().Set(0, TotalClusters);
        m_pVolume->Bitmap().Clear(649000, 500);     // before the zone
        m_pVolume->Bitmap().Clear(651000, 12000);   // starts inside, ends behind it
    }
    CDefragPartition& partition = Partition();
    CSysHandle volume(partition.OpenVolume());
    int64_t llOut = 0;
    EXPECT_TRUE(partition.FindFreeRun(volume.Get(), 0, 1000, llOut));
    EXPECT_EQ(660001, llOut);
    EXPECT_TRUE(partition.FindFreeRun(volume.Get(), 0, 400, llOut));
    EXPECT_EQ(649000, llOut);
}

// Searches that start inside a byte of the bitmap, among single free clusters and before a run
// that ends inside a byte.
TEST_F(CPartitionFixture, RunsFoundFromInsideAByte)
{
    Mount(SIM_FS::Ntfs, TotalClusters);
    {
        CSimLock lock(m_system);
        CSimBitmap& bitmap = m_pVolume->Bitmap();
        bitmap.Set(0, TotalClusters);
        for (LONGLONG llFree : {64, 65, 67, 70})
            bitmap.Clear(llFree, 1);
        bitmap.Clear(16560, 64);
        bitmap.Clear(16625, 1);
        bitmap.Clear(20000, 100);
    }
    CDefragPartition& partition = Partition();
    CSysHandle volume(partition.OpenVolume());
    const struct
    {
        LONGLONG llFrom;
        LONGLONG llWanted;
        LONGLONG llOut;
    } cases[] = {{66, 1, 67}, {68, 1, 70}, {65, 2, 16560}, {16562, 62, 16562}, {16562, 63, 20000}, {16563, 1, 16563}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.llFrom) + " " + std::to_string(c.llWanted));
        int64_t llOut = 7;
        EXPECT_TRUE(partition.FindFreeRun(volume.Get(), c.llFrom, c.llWanted, llOut));
        EXPECT_EQ(c.llOut, llOut);
    }
}

} // namespace
