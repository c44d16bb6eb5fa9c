// Every free-space search of a client's run answered twice, by the run's free-run index and
// by a scan of the bitmap, for each method on each file system and two layouts: the answers
// must never differ, and the index must answer every search itself.
#include "PartitionFixture.h"

namespace {

struct CHECK_CASE
{
    SIM_FS eFs;
    unsigned uSeed;
    const char* pszMethod;
    bool bDelayedFree;   // clusters freed by a move stay marked in use until a checkpoint
};

class SearchCheckTest : public CPartitionFixture, public ::testing::WithParamInterface<CHECK_CASE>
{
};

TEST_P(SearchCheckTest, IndexAnswersEverySearchAsTheScanDoes)
{
    const CHECK_CASE& c = GetParam();
    SetSetting(L"UseIOGuard", 0);
    SIM_BUILD build;
    build.format.eFs = c.eFs;
    // Many blocks of the index, the last of them partial.
    build.format.llTotalClusters = 300001;
    build.llFiles = 500;
    build.nFragmentedPercent = 20;
    build.uSeed = c.uSeed;
    MountBuilt(build);
    m_pVolume->m_bDelayedFree = c.bDelayedFree;
    CDefragPartition& partition = Partition();
    const std::string strMethod = c.pszMethod;
    partition.SetMethod(strMethod != "quick");
    if (strMethod == "smartm")
        partition.ForceMoveModifiedFilesToEnd(2);
    partition.SetSearchCheck(true);
    uint32_t uRemaining = 0;
    EXPECT_TRUE(partition.Defragment(-1, 0, uRemaining));
    const CDefragPartition::SEARCH_COUNTS& counts = partition.GetSearchCounts();
    const CDefragPartition::SEARCH_MISMATCH& first = partition.GetFirstMismatch();
    EXPECT_EQ(0, counts.nMismatches)
        << (first.bNextUsed ? "next used from " : "free run from ") << first.stQuery.llFrom << " wanted "
        << first.stQuery.llWanted << " limit " << first.stQuery.llLimit << ": index " << first.stIndexed.bFound << " "
        << first.stIndexed.llLcn << ", scan " << first.stScanned.bFound << " " << first.stScanned.llLcn;
    EXPECT_GT(counts.llSearches, 0);
    EXPECT_EQ(0, counts.nScansInstead);
    EXPECT_EQ(0, counts.nRebuilds);
    EXPECT_GT(partition.m_nFilesDefragmented, 0);
    ExpectVerified();
}

std::vector<CHECK_CASE> AllCases()
{
    std::vector<CHECK_CASE> cases;
    for (SIM_FS eFs : {SIM_FS::Ntfs, SIM_FS::Fat32, SIM_FS::Exfat})
        for (unsigned uSeed : {3u, 11u})
            for (const char* pszMethod : {"quick", "complete", "smartm"})
                cases.push_back({eFs, uSeed, pszMethod, false});
    for (const char* pszMethod : {"quick", "complete"})
        cases.push_back({SIM_FS::Ntfs, 3u, pszMethod, true});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<CHECK_CASE>& info)
{
    const char* pszFs = info.param.eFs == SIM_FS::Ntfs ? "Ntfs" : info.param.eFs == SIM_FS::Fat32 ? "Fat32" : "Exfat";
    return std::string(pszFs) + "Seed" + std::to_string(info.param.uSeed) + "_" + info.param.pszMethod +
           (info.param.bDelayedFree ? "_DelayedFree" : "");
}

INSTANTIATE_TEST_SUITE_P(MethodsFileSystemsSeeds, SearchCheckTest, ::testing::ValuesIn(AllCases()), CaseName);

} // namespace
