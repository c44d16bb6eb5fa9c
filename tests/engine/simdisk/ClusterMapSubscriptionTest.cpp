// The cluster map of a volume object: built from the bitmap, sent to its subscribers, freed
// when nobody looks.
#include "PartitionFixture.h"

#include <algorithm>

#include "engine/ClusterMap.h"
#include "platform/sys.h"
#include "simdisk/SimBitmap.h"

namespace {

class ClusterMapSubscriptionTest : public CPartitionFixture
{
};

TEST_F(ClusterMapSubscriptionTest, MapCountsEveryClusterOfATwoChunkVolume)
{
    Mount(SIM_FS::Ntfs, TotalClusters);
    m_pVolume->CreateFile(L"a.bin", 4096 * 3000, Fragmented(30, 600000));
    CDefragPartition& partition = Partition();
    ASSERT_TRUE(partition.SubscribeClusterMap(CDefragPartition::ClientBuildOnly, true));
    EXPECT_EQ(0, m_owner.Count(RESPONSE_CLUSTERMAP)) << "building alone sends nothing";
    partition.SetClientConnected(true);
    ASSERT_TRUE(partition.SubscribeClusterMap(1, true));
    ASSERT_EQ(1, m_owner.Count(RESPONSE_CLUSTERMAP, 1));
    const CRecordingOwner::SENT sent = m_owner.Sent().back();
    EXPECT_EQ(TotalClusters, sent.allKinds[KIND_FREE] + sent.allKinds[KIND_USED]);
    EXPECT_EQ(m_pVolume->FreeClusters(), sent.allKinds[KIND_FREE]);
    EXPECT_EQ(m_pVolume->MftZoneEnd() - m_pVolume->MftZoneStart() + 1, sent.allKinds[KIND_MFT_ZONE]);
}

// Cells of a few hundred clusters over runs that cross their borders, and a last cell that
// the volume fills only in part.
TEST_F(ClusterMapSubscriptionTest, FilledCellsCountTheBitmapCellByCell)
{
    const LONGLONG llClusters = 1300001;
    Mount(SIM_FS::Ntfs, llClusters);
    m_pVolume->CreateFile(L"a.bin", 4096 * 3000, Fragmented(30, 600000));
    m_pVolume->CreateFile(L"b.bin", 4096 * 777, Fragmented(7, 1290000));
    int64_t llCells = 0;
    uint64_t ullPerCell = 0;
    CClusterMap::ComputeGeometry(llClusters, llCells, ullPerCell);
    CClusterMap map;
    ASSERT_TRUE(map.Create(1, llClusters, llCells, ullPerCell));
    HANDLE hVolume = sys::CreateFileW(L"\\\\.\\S:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hVolume);
    EXPECT_TRUE(map.Fill(hVolume));
    sys::CloseHandle(hVolume);
    const CSimBitmap& bitmap = m_pVolume->Bitmap();
    for (int64_t llCell = 0; llCell < llCells; ++llCell)
    {
        const int64_t llFirst = llCell * static_cast<int64_t>(ullPerCell);
        const int64_t llEnd = std::min<int64_t>(llClusters, llFirst + static_cast<int64_t>(ullPerCell));
        uint32_t uUsed = 0;
        for (int64_t llLcn = llFirst; llLcn < llEnd; ++llLcn)
            uUsed += bitmap.Test(llLcn) ? 1 : 0;
        SCOPED_TRACE(llCell);
        ASSERT_EQ(uUsed, map.GetCounter(llCell, KIND_USED));
        ASSERT_EQ(static_cast<uint32_t>(llEnd - llFirst) - uUsed, map.GetCounter(llCell, KIND_FREE));
    }
}

TEST_F(ClusterMapSubscriptionTest, TenSubscribersGetTheMapAndTheEleventhNothing)
{
    Mount(SIM_FS::Ntfs, 70000);
    CDefragPartition& partition = Partition();
    partition.SetClientConnected(true);
    for (int32_t nClient = 1; nClient <= 11; ++nClient)
        EXPECT_TRUE(partition.SubscribeClusterMap(nClient, true));
    EXPECT_TRUE(partition.SubscribeClusterMap(3, true)) << "a second subscription takes no second slot";
    for (int32_t nClient = 1; nClient <= 10; ++nClient)
        EXPECT_EQ(nClient == 3 ? 2 : 1, m_owner.Count(RESPONSE_CLUSTERMAP, nClient)) << nClient;
    EXPECT_EQ(0, m_owner.Count(RESPONSE_CLUSTERMAP, 11));
    EXPECT_EQ(5000, m_owner.Sent().front().nCells);
    m_owner.Clear();
    ASSERT_TRUE(partition.SendClusterMap(CDefragPartition::AllSubscribers));
    EXPECT_EQ(10, m_owner.Count(RESPONSE_CLUSTERMAP));
    // Once a slot is free, the next subscriber gets it.
    partition.SubscribeClusterMap(4, false);
    partition.SubscribeClusterMap(11, true);
    EXPECT_EQ(1, m_owner.Count(RESPONSE_CLUSTERMAP, 11));
    for (int32_t nClient = 1; nClient <= 11; ++nClient)
        partition.SubscribeClusterMap(nClient, false);
    m_owner.Clear();
    EXPECT_FALSE(partition.SendClusterMap(CDefragPartition::AllSubscribers)) << "nobody subscribes any more";
    EXPECT_TRUE(partition.HasClusterMap());
}

TEST_F(ClusterMapSubscriptionTest, MapIsFreedOnlyWithoutClientsWhileIdle)
{
    Mount(SIM_FS::Ntfs, 70000);
    CDefragPartition& partition = Partition();
    partition.SetClientConnected(true);
    partition.SubscribeClusterMap(CDefragPartition::ClientBuildOnly, true);
    const struct
    {
        bool bClient;
        int32_t nState;
        bool bKept;
    } cases[] = {{true, STATE_IDLE, true}, {false, STATE_DEFRAGMENTING, true}, {false, STATE_ANALYZING, true},
                 {false, STATE_FAULTY, false}, {false, STATE_IDLE, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nState);
        partition.SubscribeClusterMap(CDefragPartition::ClientBuildOnly, true);
        partition.SetClientConnected(c.bClient);
        partition.SetState(c.nState);
        EXPECT_TRUE(partition.ReleaseClusterMap());
        EXPECT_EQ(c.bKept, partition.HasClusterMap());
    }
}

} // namespace
