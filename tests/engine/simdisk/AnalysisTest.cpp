// Analysis of simulated volumes: the figures of both walks, the MFT span, the boot-file zone
// in each mode, and how a walk ends on a stop, a damaged MFT or failing directories.
#include "AnalysisFixture.h"

#include "tests/platform/WaitFor.h"

#include <set>

namespace {

class AnalysisTest : public CAnalysisFixture
{
protected:
    // Files whose clusters are known: a contiguous file with a fragmented named stream, two
    // fragmented files, one of them in a directory named like a hidden one.
    void AddKnownFiles()
    {
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"a.bin", 10 * 4096));
        if (m_pVolume->Fs() == SIM_FS::Ntfs)
        {
            ASSERT_NE(nullptr, m_pVolume->CreateStream(L"a.bin", L"s", 6 * 4096, Fragmented(2, 30000)));
        }
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"b.bin", 12 * 4096, Fragmented(3, 40000)));
        ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L".git"));
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L".git\\c.bin", 8 * 4096, Fragmented(2, 50000)));
    }
};

TEST_F(AnalysisTest, FiguresOfBothWalksAgreeOnTheSameFiles)
{
    const struct
    {
        SIM_FS eFs;
        bool bDirectoryWalk;
        const wchar_t* pszName;
    } cases[] = {{SIM_FS::Ntfs, false, L"MFT walk"},
                 {SIM_FS::Ntfs, true, L"directory walk on NTFS"},
                 {SIM_FS::Fat32, true, L"FAT32"},
                 {SIM_FS::Exfat, true, L"exFAT"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        MountWith(c.eFs, 100000);
        auto analyze = [&]() {
            CDefragPartition& partition = ReportingPartition();
            if (c.bDirectoryWalk)
                partition.MarkMftUnreadable();
            EXPECT_TRUE(partition.Analyze());
            EXPECT_TRUE(partition.IsAnalysisFresh());
            EXPECT_EQ(100, partition.m_nProgress);
            EXPECT_EQ(c.eFs != SIM_FS::Ntfs || !c.bDirectoryWalk, partition.IsMftReadable() || c.eFs != SIM_FS::Ntfs);
            return Figures(partition);
        };
        const FIGURES empty = analyze();
        AddKnownFiles();
        const FIGURES known = analyze();
        // Named streams exist on NTFS only; a file counts once whatever its streams.
        const bool bStreams = c.eFs == SIM_FS::Ntfs;
        EXPECT_EQ(4, known.nExamined - empty.nExamined);
        // A directory on FAT holds a cluster even with one entry; on NTFS its index stays in its record.
        EXPECT_EQ(bStreams ? 3 : 4, known.nWithClusters - empty.nWithClusters);
        EXPECT_EQ(bStreams ? 3 : 2, known.nFragmented - empty.nFragmented);
        EXPECT_EQ(bStreams ? 26 : 20, known.llFragmentedClusters - empty.llFragmentedClusters);
        std::map<std::wstring, int32_t> expected = {{L"b.bin", 3}, {L".git\\c.bin", 2}};
        if (bStreams)
            expected[L"a.bin:s:$DATA"] = 2;
        EXPECT_EQ(expected, FragmentedFiles(*m_pPartition));
    }
}

TEST_F(AnalysisTest, FragmentedMftReservesASpanBehindItsStart)
{
    const struct
    {
        int nPieces;
        bool bSpan;
    } cases[] = {{1, false}, {3, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nPieces);
        MountWith(SIM_FS::Ntfs, 200000, c.nPieces);
        const std::vector<SIM_RUN> mft = RunsOf(L"$MFT");
        const LONGLONG llClusters = ClustersOf(mft);
        // A file that lies inside the span the MFT would need.
        const LONGLONG llInside = mft[0].llLcn + llClusters + 1;
        if (c.bSpan)
        {
            ASSERT_NE(nullptr, m_pVolume->CreateFile(L"inside.bin", 4096, Exact({{0, llInside, 1}})));
        }
        CDefragPartition& partition = ReportingPartition();
        ASSERT_TRUE(partition.Analyze());
        EXPECT_EQ(c.bSpan ? mft[0].llLcn : 0, partition.GetMftSpanStart());
        EXPECT_EQ(c.bSpan ? mft[0].llLcn + llClusters + llClusters * 2 / 100 - 1 : 0, partition.GetMftSpanEnd());
        EXPECT_EQ(c.bSpan ? 1 : 0, partition.GetZoneFileCount());
        const std::map<std::wstring, int32_t> files = FragmentedFiles(partition);
        EXPECT_EQ(c.bSpan ? 1u : 0u, files.count(L"$MFT"));
    }
}

TEST_F(AnalysisTest, BootZoneFollowsTheLayoutMode)
{
    MountWith(SIM_FS::Ntfs, 200000);
    m_system.m_strWindowsDirectory = L"S:\\Windows";
    // Boot files of 30000 clusters, below the Windows directory and beside it.
    ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L"Windows"));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"Windows\\boot1.dll", 20000LL * 4096, Fragmented(2, 100000)));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"loader.bin", 10000LL * 4096 + 100));
    // The metadata alone, with no growth.
    SetSetting(L"UseLayoutIni", 3);
    SetSetting(L"LayoutIniForesightDivider", 0);
    CDefragPartition& bare = ReportingPartition();
    ASSERT_TRUE(bare.Analyze());
    const int64_t llMetadata = bare.GetBootZoneClusters();
    const int nMetadataFiles = bare.GetBootFiles().GetSize();
    ASSERT_GT(llMetadata, 0);
    EXPECT_EQ(0u, bare.GetZoneExtents().GetCount());
    WriteLayoutList({L"S:\\Windows\\boot1.dll", L"S:\\loader.bin", L"S:\\missing.dll", L"T:\\other.dll"});
    const struct
    {
        DWORD dwMode;
        bool bSystem;
        int32_t nDivider;
        int nListed;        // boot files beside the metadata; -1: no list at all
        bool bGrowsInZone;  // system runs in the zone enlarge it and are recorded
    } cases[] = {{0, true, 3, -1, false}, {1, true, 3, 2, true}, {2, true, 3, 0, true}, {3, true, 3, 2, false},
                 {3, true, -2, 2, false}, {4, false, 3, -1, false}, {4, true, 3, 1, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwMode * 100 + c.bSystem * 10 + c.nDivider);
        SetSetting(L"UseLayoutIni", c.dwMode);
        SetSetting(L"LayoutIniForesightDivider", static_cast<DWORD>(c.nDivider));
        m_system.m_strWindowsDirectory = c.bSystem ? L"S:\\Windows" : L"C:\\Windows";
        CDefragPartition& partition = ReportingPartition();
        ASSERT_TRUE(partition.Analyze());
        if (c.nListed < 0)
        {
            EXPECT_EQ(0, partition.GetBootZoneClusters());
            EXPECT_EQ(0, partition.GetBootFiles().GetSize());
            continue;
        }
        EXPECT_EQ(nMetadataFiles + c.nListed, partition.GetBootFiles().GetSize());
        const int64_t llFiles = c.nListed == 2 ? 30000 : c.nListed == 1 ? 20000 : 0;
        const int64_t llBase = llMetadata + llFiles;
        const int64_t llSized = llBase + (c.nDivider > 0 ? llBase / c.nDivider : 0);
        if (!c.bGrowsInZone)
        {
            EXPECT_EQ(llSized, partition.GetBootZoneClusters());
            EXPECT_EQ(0u, partition.GetZoneExtents().GetCount());
            continue;
        }
        EXPECT_GT(partition.GetBootZoneClusters(), llSized);
        ASSERT_GT(partition.GetZoneExtents().GetCount(), 0u);
        for (uint32_t i = 0; i < partition.GetZoneExtents().GetCount(); ++i)
        {
            EXPECT_GT(partition.GetZoneExtents().GetLcn(i), 0u);
            EXPECT_LE(static_cast<int64_t>(partition.GetZoneExtents().GetLcn(i)), partition.GetBootZoneClusters());
        }
    }
}

TEST_F(AnalysisTest, DirectoryWalkGoesOnPastDirectoriesThatFail)
{
    const struct
    {
        NTSTATUS status;
        bool bWalked;
    } cases[] = {{static_cast<NTSTATUS>(0xC000003A), true},   // vanished: path not found
                 {static_cast<NTSTATUS>(0xC0000022), true},   // access denied
                 {static_cast<NTSTATUS>(0xC0000185), false}}; // the device fails
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.status);
        MountWith(SIM_FS::Fat32, 100000);
        for (const wchar_t* pszDir : {L"gone", L"kept"})
        {
            ASSERT_NE(nullptr, m_pVolume->CreateDirectory(pszDir));
            ASSERT_NE(nullptr, m_pVolume->CreateFile(std::wstring(pszDir) + L"\\f.bin", 3 * 4096, Fragmented(3, 20000)));
        }
        SIM_FAULT fault;
        fault.eCall = SIM_CALL::FindFirstFile;
        fault.strPath = L"\\gone\\";
        fault.status = c.status;
        m_system.Faults().Add(fault);
        CDefragPartition& partition = ReportingPartition();
        EXPECT_EQ(c.bWalked, partition.Analyze());
        EXPECT_EQ(c.bWalked, partition.IsAnalysisFresh());
        EXPECT_EQ(STATE_IDLE, partition.GetState());
        const std::map<std::wstring, int32_t> files = FragmentedFiles(partition);
        EXPECT_EQ(0u, files.count(L"gone\\f.bin"));
        if (c.bWalked)
        {
            EXPECT_EQ(1u, files.count(L"kept\\f.bin"));
        }
        m_system.Faults().Clear();
    }
}

TEST_F(AnalysisTest, FailedMftReadMarksTheVolumeFaultyAndNothingSucceeds)
{
    const struct
    {
        bool bBackground;
        int32_t nState;
    } cases[] = {{false, STATE_FAULTY}, {true, STATE_FAULTY_MONITORING}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bBackground);
        MountWith(SIM_FS::Ntfs, 100000);
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"late.bin", 4 * 4096, Fragmented(2, 30000)));
        const LONGLONG llRecord = static_cast<LONGLONG>(m_pVolume->Lookup(L"late.bin")->m_ullId);
        CDefragPartition& partition = ReportingPartition();
        partition.SetBackgroundMode(c.bBackground, nullptr, false);
        FailRecordRead(llRecord);
        m_reports.Forget();
        EXPECT_FALSE(partition.Analyze());
        EXPECT_FALSE(partition.IsAnalysisFresh());
        EXPECT_EQ(c.nState, partition.GetState());
        EXPECT_NE(100, partition.m_nProgress);
        int32_t nLastState = -1;
        for (const CRecordingOwner::SENT& sent : m_reports.Sent())
            if (sent.nCode == RESPONSE_PARTITION_ENTRY)
                nLastState = sent.nState;
        EXPECT_EQ(c.nState, nLastState);
        m_system.Faults().Clear();
    }
}

TEST_F(AnalysisTest, UnreadableMftBitmapReportsAVolumeErrorOnceThenWalksDirectories)
{
    MountWith(SIM_FS::Ntfs, 100000);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"f.bin", 4 * 4096, Fragmented(2, 30000)));
    CDefragPartition& partition = ReportingPartition();
    FailRecordRead(0);
    m_reports.Forget();
    EXPECT_FALSE(partition.Analyze());
    EXPECT_EQ(STATE_IDLE, partition.GetState());
    int nErrors = 0;
    for (const CRecordingOwner::SENT& sent : m_reports.Sent())
        nErrors += sent.nCode == RESPONSE_PARTITION_ENTRY && sent.nState == STATE_VOLUME_ERROR;
    EXPECT_EQ(1, nErrors);
    EXPECT_FALSE(partition.IsMftReadable());
    m_system.Faults().Clear();
    EXPECT_TRUE(partition.Analyze());
    EXPECT_EQ(1u, FragmentedFiles(partition).count(L"f.bin"));
}

TEST_F(AnalysisTest, ProgressIsReportedOncePerPercentAndAStopEndsTheWalk)
{
    SIM_BUILD build;
    build.format.llTotalClusters = 200000;
    build.llFiles = 3000;
    MountBuilt(build);
    SetSetting(L"UseIOGuard", 0);
    for (bool bDirectoryWalk : {false, true})
    {
        SCOPED_TRACE(bDirectoryWalk);
        CDefragPartition& partition = ReportingPartition();
        if (bDirectoryWalk)
            partition.MarkMftUnreadable();
        std::vector<int32_t> progress;
        m_reports.m_onEntry = [&](const CNetDefragPartitionListEntry& entry) { progress.push_back(entry.m_nProgress); };
        ASSERT_TRUE(partition.Analyze());
        m_reports.m_onEntry = nullptr;
        ASSERT_GT(progress.size(), 50u);
        EXPECT_EQ(100, progress.back());
        std::set<int32_t> seen;
        for (size_t i = 0; i + 1 < progress.size(); ++i)
        {
            EXPECT_TRUE(progress[i] == 0 || seen.insert(progress[i]).second) << progress[i] << " twice";
            EXPECT_LE(progress[i], progress[i + 1]);
        }
        // A stop asked before the walk ends it at its first test.
        ::SetEvent(partition.GetStopEvent());
        EXPECT_FALSE(partition.Analyze());
        EXPECT_FALSE(partition.IsAnalysisFresh());
        EXPECT_LT(partition.m_nProgress, 100);
        EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(partition.GetStopEvent(), 0));
    }
}

TEST_F(AnalysisTest, AnalysisThreadBuildsTheMapAndEndsIdle)
{
    MountWith(SIM_FS::Ntfs, 100000);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"f.bin", 4 * 4096, Fragmented(2, 30000)));
    CDefragPartition& partition = ReportingPartition();
    partition.SetClientConnected(false);
    ASSERT_TRUE(partition.StartAnalysis(0));
    EXPECT_TRUE(WaitFor([&partition] { return !partition.IsJobRunning(); }));
    EXPECT_TRUE(partition.IsAnalysisFresh());
    EXPECT_EQ(STATE_IDLE, partition.GetState());
    EXPECT_FALSE(partition.HasClusterMap()) << "no client keeps it";
    partition.SetState(STATE_DEFRAGMENTING);
    EXPECT_FALSE(partition.StartAnalysis(0));
}

TEST_F(AnalysisTest, ScheduledAnalysisRunsOnlyInBackgroundModeAndEndsOnTheServiceStop)
{
    MountWith(SIM_FS::Ntfs, 100000);
    CDefragPartition& partition = ReportingPartition();
    HANDLE hServiceStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hServiceStop);
    EXPECT_FALSE(partition.RunScheduledAnalysis(hServiceStop, 0)) << "not in background mode";
    partition.SetBackgroundMode(true, nullptr, false);
    EXPECT_TRUE(partition.RunScheduledAnalysis(hServiceStop, 0));
    EXPECT_TRUE(partition.IsAnalysisFresh());
    EXPECT_EQ(STATE_IDLE, partition.GetState());
    // A service that stops first stops the analysis with it.
    ::SetEvent(hServiceStop);
    EXPECT_TRUE(partition.RunScheduledAnalysis(hServiceStop, 50));
    EXPECT_FALSE(partition.IsJobRunning());
    EXPECT_FALSE(partition.IsAnalysisFresh());
    EXPECT_EQ(STATE_IDLE, partition.GetState());
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(partition.GetStopEvent(), 0));
    ::CloseHandle(hServiceStop);
}

} // namespace
