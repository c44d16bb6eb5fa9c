// The volume reports on simulated volumes, read back as their receiver reads them: the files
// of a cluster range, the runs of one file, the fragmented files and the volume information.
#include "AnalysisFixture.h"

namespace {

class VolumeReportsTest : public CAnalysisFixture
{
protected:
    // The first cluster of a free stretch of this many clusters behind the MFT zone.
    LONGLONG FreeBehindZone(LONGLONG llClusters)
    {
        return m_pVolume->Bitmap().FindClearRun(m_pVolume->MftZoneEnd() + 100, llClusters);
    }

    std::vector<RANGE_ENTRY> RangeFiles(CDefragPartition& partition, int64_t llFirst, int64_t llLast,
                                        int64_t* pllReplyLast = nullptr)
    {
        m_reports.Forget();
        partition.SendClusterRangeFiles(7, llFirst, llLast);
        CNetDefragPartitionClusterExplorerResponse reply;
        EXPECT_TRUE(m_reports.Last(RESPONSE_CLUSTEREXPLORER, reply));
        if (pllReplyLast)
            *pllReplyLast = reply.m_llLastCluster;
        return Entries(reply);
    }

    std::vector<RANGE_ENTRY> FileClusters(CDefragPartition& partition, const wchar_t* pszPath)
    {
        m_reports.Forget();
        EXPECT_FALSE(partition.SendFileClusters(7, CUnicodeString(pszPath)));
        CNetDefragPartitionClusterExplorerResponse reply;
        EXPECT_TRUE(m_reports.Last(RESPONSE_FILE_CLUSTERS, reply));
        EXPECT_EQ(L"", Text(reply.m_strDriveRoot));
        return Entries(reply);
    }

    static std::vector<RANGE_ENTRY> AsEntries(const std::vector<SIM_RUN>& runs)
    {
        std::vector<RANGE_ENTRY> entries;
        for (const SIM_RUN& run : runs)
            if (run.llLcn != SIM_SPARSE_LCN)
                entries.push_back({L" ", run.llLcn, run.llLcn + run.llLength - 1, 0});
        return entries;
    }
};

TEST_F(VolumeReportsTest, FileClustersListTheRunsOfTheStreamNamed)
{
    for (SIM_FS eFs : {SIM_FS::Ntfs, SIM_FS::Fat32})
    {
        SCOPED_TRACE(static_cast<int>(eFs));
        MountWith(eFs, 100000);
        const LONGLONG llAt = FreeBehindZone(100);
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"a.bin", 5 * 4096, Exact({{0, llAt + 10, 2}, {0, llAt, 3}})));
        const std::vector<RANGE_ENTRY> data = {{L" ", llAt, llAt + 2, 0}, {L" ", llAt + 10, llAt + 11, 0}};
        CDefragPartition& partition = ReportingPartition();
        EXPECT_EQ(data, FileClusters(partition, L"a.bin"));
        EXPECT_EQ(std::vector<RANGE_ENTRY>(), FileClusters(partition, L"missing.bin"));
        if (eFs != SIM_FS::Ntfs)
            continue;
        ASSERT_NE(nullptr, m_pVolume->CreateStream(L"a.bin", L"s", 4 * 4096, Exact({{0, llAt + 20, 4}})));
        ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L"d"));
        for (int i = 0; i < 200; ++i)
            m_pVolume->CreateFile(L"d\\entry with a long name " + std::to_wstring(i), 0);
        const std::vector<RANGE_ENTRY> index = AsEntries(RunsOf(L"d"));
        ASSERT_FALSE(index.empty());
        const struct
        {
            const wchar_t* pszPath;
            std::vector<RANGE_ENTRY> expected;
        } cases[] = {{L"a.bin:s:$DATA", {{L" ", llAt + 20, llAt + 23, 0}}},
                     {L"a.bin::$DATA", data},
                     {L"A.BIN", data},
                     {L"d", index},
                     {L"a.bin:s:$BITMAP", {}}};
        for (const auto& c : cases)
        {
            SCOPED_TRACE(c.pszPath);
            EXPECT_EQ(c.expected, FileClusters(partition, c.pszPath));
        }
    }
}

TEST_F(VolumeReportsTest, ClusterRangeListsClippedRunsAndAcceptsOnlyRangesOfTheVolume)
{
    MountWith(SIM_FS::Ntfs, 100000);
    const LONGLONG llAt = FreeBehindZone(100);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"frag.bin", 6 * 4096, Exact({{0, llAt, 3}, {0, llAt + 10, 3}})));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"plain.bin", 4 * 4096, Exact({{0, llAt + 20, 4}})));
    CDefragPartition& partition = ReportingPartition();
    const LONGLONG llTotal = m_pVolume->TotalClusters();
    const LONGLONG llZone = m_pVolume->MftZoneStart();
    const struct
    {
        int64_t llFirst;
        int64_t llLast;
        std::vector<RANGE_ENTRY> expected;
    } cases[] = {
        {llAt + 1, llAt + 21,
         {{L"frag.bin", llAt + 1, llAt + 2, KIND_FRAGMENTED},
          {L"frag.bin", llAt + 10, llAt + 12, KIND_FRAGMENTED},
          {L"plain.bin", llAt + 20, llAt + 21, KIND_FILE}}},
        {llAt + 21, llAt + 21, {{L"plain.bin", llAt + 21, llAt + 21, KIND_FILE}}},
        {llAt + 5, llAt + 8, {}},
        {llZone + 10, llZone + 20, {{L" ", llZone + 10, llZone + 20, KIND_MFT_ZONE}}},
        {llAt + 21, llAt + 11, {}},
        {-5, llAt + 1, {}},
        {llTotal, llTotal + 10, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.llFirst);
        EXPECT_EQ(c.expected, RangeFiles(partition, c.llFirst, c.llLast));
    }
    int64_t llReplyLast = 0;
    RangeFiles(partition, llTotal - 2, llTotal + 1000, &llReplyLast);
    EXPECT_EQ(llTotal - 1, llReplyLast);
}

TEST_F(VolumeReportsTest, ClusterRangeOnFatCountsOnlyWhatLiesInTheRange)
{
    MountWith(SIM_FS::Fat32, 100000);
    // A root of several clusters, and a file right behind it.
    for (int i = 0; i < 400; ++i)
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"empty " + std::to_wstring(i), 0));
    const std::vector<SIM_RUN> root = RunsOf(L"");
    ASSERT_FALSE(root.empty());
    const LONGLONG llRootEnd = root.back().llLcn + root.back().llLength - 1;
    ASSERT_GT(root.back().llLength, 2);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"next.bin", 4096, Exact({{0, llRootEnd + 1, 1}})));
    ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L".cache"));
    CDefragPartition& partition = ReportingPartition();
    const std::vector<RANGE_ENTRY> expected = {{L".", llRootEnd, llRootEnd, KIND_DIRECTORY},
                                               {L"next.bin", llRootEnd + 1, llRootEnd + 1, KIND_FILE}};
    EXPECT_EQ(expected, RangeFiles(partition, llRootEnd, llRootEnd + 1));
    const std::vector<SIM_RUN> cache = RunsOf(L".cache");
    ASSERT_FALSE(cache.empty());
    const std::vector<RANGE_ENTRY> dotted = {{L".cache", cache[0].llLcn, cache[0].llLcn, KIND_DIRECTORY}};
    EXPECT_EQ(dotted, RangeFiles(partition, cache[0].llLcn, cache[0].llLcn));
}

TEST_F(VolumeReportsTest, FragmentedFilesComeMostFragmentedFirstWithNamesTheReceiverAccepts)
{
    MountWith(SIM_FS::Ntfs, 200000);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"two.bin", 4 * 4096, Fragmented(2, 30000)));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"five.bin", 10 * 4096, Fragmented(5, 40000)));
    // A path far longer than one string of a message may be.
    std::wstring strDeep;
    for (int i = 0; i < 30; ++i)
    {
        strDeep += (i ? L"\\" : L"") + std::wstring(240, static_cast<wchar_t>(L'a' + i % 26));
        ASSERT_NE(nullptr, m_pVolume->CreateDirectory(strDeep));
    }
    ASSERT_NE(nullptr, m_pVolume->CreateFile(strDeep + L"\\deep.bin", 6 * 4096, Fragmented(3, 50000)));
    CDefragPartition& partition = ReportingPartition();
    ASSERT_TRUE(partition.Analyze());
    ASSERT_TRUE(partition.SendFragmentedFiles(7));
    CNetDefragPartitionFragFiles reply;
    ASSERT_TRUE(m_reports.Last(RESPONSE_FRAG_FILES, reply));
    EXPECT_EQ(L"S:\\", Text(reply.m_strDriveRoot));
    std::vector<std::pair<std::wstring, int32_t>> files;
    FRAG_FILES_RESPONSE_ENTRY stEntry;
    while (reply.GetNext(stEntry))
        files.push_back({Text(stEntry.strFileName), stEntry.nFragments});
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(std::make_pair(std::wstring(L"five.bin"), 5), files[0]);
    EXPECT_EQ(CNetDefragBuffer::MaxStringBytes / 2, static_cast<int>(files[1].first.size()));
    EXPECT_EQ(std::make_pair(std::wstring(L"two.bin"), 2), files[2]);
}

TEST_F(VolumeReportsTest, VolumeInformationFillsTheMftFiguresOnNtfsOnly)
{
    for (SIM_FS eFs : {SIM_FS::Ntfs, SIM_FS::Fat32})
    {
        SCOPED_TRACE(static_cast<int>(eFs));
        MountWith(eFs, 100000);
        CDefragPartition& partition = ReportingPartition();
        EXPECT_TRUE(partition.SendVolumeInfo(7));
        CNetDefragPartitionInfo info;
        ASSERT_TRUE(m_reports.Last(RESPONSE_PARTITION_INFO, info));
        const bool bNtfs = eFs == SIM_FS::Ntfs;
        EXPECT_EQ(partition.GetIndex(), info.m_nVolumeIndex);
        EXPECT_EQ(L"S:\\", Text(info.m_strDriveRoot));
        EXPECT_EQ(bNtfs ? L"NTFS" : L"FAT32", Text(info.m_strFileSystemName));
        EXPECT_EQ(m_pVolume->TotalClusters(), info.m_llTotalClusters);
        EXPECT_EQ(m_pVolume->FreeClusters(), info.m_llFreeClusters);
        EXPECT_EQ(bNtfs ? m_pVolume->MftRecords() * 1024 : 0, info.m_llMftValidDataLength);
        EXPECT_EQ(bNtfs ? m_pVolume->MftRecords() * 1024 / 4096 : 0, info.m_llMftValidDataClusters);
        EXPECT_EQ(bNtfs ? m_pVolume->MftZoneStart() : 0, info.m_llMftZoneStart);
        EXPECT_EQ(bNtfs ? m_pVolume->MftZoneEnd() : 0, info.m_llMftZoneEnd);
    }
    SIM_FAULT fault;
    fault.eCall = SIM_CALL::CreateFile;
    fault.strPath = L"Volume{";
    fault.status = static_cast<NTSTATUS>(0xC0000022);
    m_system.Faults().Add(fault);
    m_reports.Forget();
    EXPECT_FALSE(m_pPartition->SendVolumeInfo(7));
    EXPECT_FALSE(m_pPartition->SendFragmentedFiles(7));
    CNetDefragPartitionInfo info;
    ASSERT_TRUE(m_reports.Last(RESPONSE_PARTITION_INFO, info));
    EXPECT_EQ(L"-", Text(info.m_strFileSystemName));
    EXPECT_EQ(L"-", Text(info.m_strVolumeLabel));
    EXPECT_EQ(0, info.m_llTotalClusters);
    CNetDefragPartitionFragFiles files;
    ASSERT_TRUE(m_reports.Last(RESPONSE_FRAG_FILES, files));
    EXPECT_EQ(L"-", Text(files.m_strDriveRoot));
    EXPECT_EQ(0, files.GetCount());
    m_system.Faults().Clear();
}

TEST_F(VolumeReportsTest, ClusterRangeOnAnUnreadableMftSendsNothing)
{
    MountWith(SIM_FS::Ntfs, 100000);
    CDefragPartition& partition = ReportingPartition();
    FailRecordRead(0);
    m_reports.Forget();
    EXPECT_FALSE(partition.SendClusterRangeFiles(7, 0, 100));
    EXPECT_EQ(0, m_reports.Count(RESPONSE_CLUSTEREXPLORER));
    EXPECT_FALSE(partition.IsMftReadable());
    m_system.Faults().Clear();
}

} // namespace
