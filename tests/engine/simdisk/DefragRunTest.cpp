// A client's run: the analysis, the pending pass with the first file behind the used part,
// the file pass with recently written files sent to the end, a check before the run, and a
// stop in each phase.
#include "PartitionFixture.h"

#include "tests/platform/WaitFor.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <ctime>

namespace {

struct TEXT_RECORD
{
    DWORD dwLines;
    PCHAR pszText;
};

bool g_bCheckClean = true;
int g_nChecks = 0;

VOID WINAPI ScriptedChecker(PWCHAR, PWCHAR, BOOLEAN, PVOID, native::PFN_FMIFS_CALLBACK pfn)
{
    ++g_nChecks;
    DWORD dwPercent = 100;
    pfn(0, 0, &dwPercent);
    char szLine[] = "Errors were found.\n";
    TEXT_RECORD record = {1, szLine};
    if (!g_bCheckClean)
        pfn(14, 0, &record);
    BOOLEAN bDone = g_bCheckClean ? TRUE : FALSE;
    pfn(11, 0, &bDone);
}

class DefragRunTest : public CPartitionFixture
{
protected:
    // Each case on a volume of its own, at a letter of its own.
    void Start()
    {
        SetSetting(L"UseIOGuard", 0);
        Mount(SIM_FS::Ntfs, 30000, static_cast<wchar_t>(L'K' + m_nStarted++));
        const std::wstring names[] = {L"a.bin", L"b.bin", L"c.bin", L"d.bin"};
        for (const std::wstring& strName : names)
            ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 30, Fragmented(5, 3000)));
        Partition();
        m_pPartition->SetClientConnected(true);
    }

    int FragmentedOf(const std::vector<std::wstring>& names)
    {
        int n = 0;
        for (const std::wstring& strName : names)
        {
            const auto runs = RunsOf(strName);
            n += !runs.empty() && !IsContiguousAt(strName, runs.front().llLcn);
        }
        return n;
    }

    std::vector<int32_t> States()
    {
        std::vector<int32_t> states;
        for (const CRecordingOwner::SENT& sent : m_owner.Sent())
            if (sent.nCode == RESPONSE_PARTITION_ENTRY && (states.empty() || states.back() != sent.nState))
                states.push_back(sent.nState);
        return states;
    }

    int m_nStarted = 0;
    const std::vector<std::wstring> m_names = {L"a.bin", L"b.bin", L"c.bin", L"d.bin"};
};

TEST_F(DefragRunTest, QuickRunDefragmentsThePendingFiles)
{
    Start();
    const int64_t llBefore = std::time(nullptr);
    m_pPartition->SetMethod(false);
    uint32_t uRemaining = 9;
    ASSERT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
    EXPECT_EQ(0u, uRemaining);
    EXPECT_EQ(0, FragmentedOf(m_names));
    EXPECT_EQ(4, m_pPartition->m_nFilesDefragmented);
    EXPECT_EQ(0u, m_pPartition->GetPendingFileCount());
    EXPECT_EQ(0, m_pPartition->m_nFragmentedEntries);
    EXPECT_EQ(100, m_pPartition->m_nProgress);
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    EXPECT_FALSE(m_pPartition->IsAnalysisFresh());
    EXPECT_EQ((std::vector<int32_t>{STATE_ANALYZING, STATE_IDLE, STATE_DEFRAGMENTING, STATE_IDLE}), States());
    // The first file goes behind the used part of the volume.
    bool bBehind = false;
    for (const std::wstring& strName : m_names)
        bBehind = bBehind || RunsOf(strName).front().llLcn >= m_pPartition->GetUsedClusters();
    EXPECT_TRUE(bBehind);
    CNetDefragPartitionListEntry entry;
    m_pPartition->FillListEntry(entry);
    EXPECT_GE(entry.m_llLastManualDefragTime, llBefore);
    ExpectVerified();
}

TEST_F(DefragRunTest, CompleteRunSendsRecentlyWrittenFilesToTheEnd)
{
    const struct
    {
        int32_t nMoveToEnd;
        bool bRecent;
        bool bAtEnd;
    } cases[] = {{1, true, true}, {1, false, false}, {0, true, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nMoveToEnd * 10 + c.bRecent);
        Start();
        FILETIME ftNow = {};
        ::GetSystemTimeAsFileTime(&ftNow);
        const LONGLONG llNow = static_cast<LONGLONG>(ftNow.dwHighDateTime) << 32 | ftNow.dwLowDateTime;
        // Written 1439 minutes before now, or 1441.
        const LONGLONG llMinute = 600000000LL;
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"late.bin", 4096 * 8, Contiguous(2000)));
        m_pVolume->Lookup(L"late.bin")->m_llModified = llNow - (c.bRecent ? 1439 : 1441) * llMinute;
        m_pPartition->SetMethod(true);
        m_pPartition->ForceMoveModifiedFilesToEnd(c.nMoveToEnd);
        uint32_t uRemaining = 0;
        ASSERT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
        EXPECT_EQ(0, FragmentedOf(m_names));
        EXPECT_EQ(c.bAtEnd, RunsOf(L"late.bin").front().llLcn >= m_pPartition->GetUsedClusters());
        ExpectVerified();
        m_pPartition.reset();
    }
}

TEST_F(DefragRunTest, CheckBeforeTheRun)
{
    const struct
    {
        DWORD dwSetting;
        bool bClean;
        bool bResult;
        int nChecks;
        int32_t nState;
    } cases[] = {{2, true, true, 1, STATE_IDLE},
                 {2, false, false, 1, STATE_FAULTY},
                 {1, true, true, 0, STATE_IDLE},   // before background steps only
                 {3, false, false, 1, STATE_FAULTY}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwSetting * 10 + c.bClean);
        SetSetting(L"RunChkDskBeforeDefrag", c.dwSetting);
        Start();
        g_bCheckClean = c.bClean;
        g_nChecks = 0;
        native::ChkdskEx = &ScriptedChecker;
        uint32_t uRemaining = 0;
        EXPECT_EQ(c.bResult, m_pPartition->Defragment(-1, 0, uRemaining));
        EXPECT_EQ(c.nChecks, g_nChecks);
        EXPECT_EQ(c.nState, m_pPartition->GetState());
        EXPECT_EQ(c.bResult ? 0 : 4, FragmentedOf(m_names));
        ExpectVerified();
        m_pPartition.reset();
    }
}

TEST_F(DefragRunTest, StopInEachPhase)
{
    const struct
    {
        const char* pszPhase;
        int32_t nStopAt;   // the state whose first report asks for the stop
        bool bResult;
        bool bSomeMoved;
    } cases[] = {{"analysis", STATE_ANALYZING, false, false}, {"pending pass", STATE_DEFRAGMENTING, false, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszPhase);
        Start();
        HANDLE hStop = m_pPartition->GetStopEvent();
        const int32_t nStopAt = c.nStopAt;
        m_owner.m_onEntry = [hStop, nStopAt](const CNetDefragPartitionListEntry& entry) {
            if (entry.m_nState == nStopAt)
                ::SetEvent(hStop);
        };
        m_pPartition->SetMethod(true);
        uint32_t uRemaining = 0;
        EXPECT_EQ(c.bResult, m_pPartition->Defragment(-1, 0, uRemaining));
        m_owner.m_onEntry = nullptr;
        EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
        EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(hStop, 0));
        EXPECT_EQ(c.bSomeMoved, FragmentedOf(m_names) < 4);
        EXPECT_GT(FragmentedOf(m_names), 0);
        ExpectVerified();
        m_pPartition.reset();
    }
}

} // namespace

namespace {

class BootPlacementTest : public CPartitionFixture
{
};

TEST_F(BootPlacementTest, BootFilesGoToTheZoneInListOrder)
{
    const struct
    {
        DWORD dwMode;
        bool bPlaced;
    } cases[] = {{1, true}, {3, false}};
    int nCase = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dwMode);
        SetSetting(L"UseIOGuard", 0);
        SetSetting(L"UseLayoutIni", c.dwMode);
        Mount(SIM_FS::Ntfs, 60000, static_cast<wchar_t>(L'P' + nCase++));
        const std::wstring strRoot = std::wstring(1, static_cast<wchar_t>(L'P' + nCase - 1)) + L":\\";
        m_system.m_strWindowsDirectory = strRoot + L"Windows";
        ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L"Windows"));
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"Windows\\boot1.dll", 300LL * 4096, Fragmented(3, 40000)));
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"loader.bin", 200LL * 4096, Contiguous(50000)));
        ASSERT_NE(nullptr, m_pVolume->CreateFile(L"other.bin", 100LL * 4096, Fragmented(4, 30000)));
        WriteLayoutList({strRoot + L"Windows\\boot1.dll", strRoot + L"loader.bin"});
        const LONGLONG llLoaderBefore = RunsOf(L"loader.bin").front().llLcn;
        Partition();
        m_pPartition->SetMethod(true);
        uint32_t uRemaining = 0;
        ASSERT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
        const int64_t llZone = m_pPartition->GetBootZoneClusters();
        ASSERT_GT(llZone, 500);
        const auto boot = RunsOf(L"Windows\\boot1.dll");
        const auto loader = RunsOf(L"loader.bin");
        EXPECT_TRUE(IsContiguousAt(L"Windows\\boot1.dll", boot.front().llLcn));
        EXPECT_TRUE(IsContiguousAt(L"other.bin", RunsOf(L"other.bin").front().llLcn));
        if (c.bPlaced)
        {
            EXPECT_LT(boot.front().llLcn + 300, llZone);
            EXPECT_EQ(boot.front().llLcn + 300, loader.front().llLcn);
        }
        else
        {
            // Boot files stay where they are, wherever that is.
            EXPECT_EQ(llLoaderBefore, loader.front().llLcn);
        }
        // The next analysis builds the lists again.
        EXPECT_EQ(0, m_pPartition->GetBootFiles().GetSize());
        EXPECT_EQ(0u, m_pPartition->GetZoneExtents().GetCount());
        ExpectVerified();
        m_pPartition.reset();
    }
}

} // namespace

namespace {

class MftSpanTest : public CPartitionFixture
{
protected:
    // A volume whose MFT lies in three pieces.
    void MountWithFragmentedMft()
    {
        SetSetting(L"UseIOGuard", 0);
        SIM_FORMAT format;
        format.llTotalClusters = 60000;
        format.nMftPieces = 3;
        format.strGuid = L"{5A3C1E07-0000-4000-8000-00000000ABCD}";
        MountAndInstall(format, L'S');
        ASSERT_TRUE(native::BindNativeFunctions());
    }
};

TEST_F(MftSpanTest, TheSpanBehindAFragmentedMftIsCleared)
{
    MountWithFragmentedMft();
    std::vector<SIM_RUN> mft = m_pVolume->File(ntfs::RecordMft)->DefaultStream()->m_runs;
    ASSERT_GT(mft.size(), 1u);
    LONGLONG llMftClusters = 0;
    for (const SIM_RUN& run : mft)
        llMftClusters += run.llLength;
    // A file right behind the MFT's first piece, where the MFT would grow together.
    const LONGLONG llBehind = mft[0].llLcn + mft[0].llLength;
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"inside.bin", 4 * 4096, Exact({{0, llBehind + 1, 4}})));
    Partition();
    m_pPartition->SetMethod(false);
    uint32_t uRemaining = 0;
    EXPECT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
    // Nothing but the MFT is left in the span, and the MFT grew together from its start.
    const LONGLONG llSpanEnd = mft[0].llLcn + llMftClusters + llMftClusters * 2 / 100 - 1;
    const LONGLONG llInside = RunsOf(L"inside.bin").front().llLcn;
    EXPECT_TRUE(llInside < mft[0].llLcn || llInside > llSpanEnd) << llInside;
    EXPECT_TRUE(IsContiguousAt(L"inside.bin", llInside));
    const std::vector<SIM_RUN> after = m_pVolume->File(ntfs::RecordMft)->DefaultStream()->m_runs;
    EXPECT_EQ(mft[0].llLcn, after.front().llLcn);
    EXPECT_EQ(1u, after.size());
    ExpectVerified();
}

TEST_F(MftSpanTest, TheZoneFileListStaysFreeWhileItsFilesMove)
{
    MountWithFragmentedMft();
    const std::vector<SIM_RUN> mft = m_pVolume->File(ntfs::RecordMft)->DefaultStream()->m_runs;
    const LONGLONG llBehind = mft[0].llLcn + mft[0].llLength;
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"inside.bin", 4 * 4096, Exact({{0, llBehind + 1, 4}})));
    Partition();
    m_pPartition->SetClientConnected(true);
    m_pPartition->SetMethod(false);
    // While the file moves, another thread asks for the list: it must not wait for the move.
    std::atomic<int> nAsked{0};
    std::atomic<int> nBlocked{0};
    std::vector<std::thread> askers;
    CDefragPartition* pPartition = m_pPartition.get();
    m_owner.m_onEntry = [&](const CNetDefragPartitionListEntry& entry) {
        if (Text(entry.m_strStatusText) != L"S:\\inside.bin")
            return;
        ++nAsked;
        auto pAnswered = std::make_shared<std::promise<void>>();
        std::future<void> answered = pAnswered->get_future();
        askers.emplace_back([pPartition, pAnswered] {
            pPartition->GetZoneFileCount();
            pAnswered->set_value();
        });
        if (answered.wait_for(std::chrono::milliseconds(GenerousWaitMs)) != std::future_status::ready)
            ++nBlocked;
    };
    uint32_t uRemaining = 0;
    EXPECT_TRUE(m_pPartition->Defragment(-1, 0, uRemaining));
    m_owner.m_onEntry = nullptr;
    for (std::thread& asker : askers)
        asker.join();
    EXPECT_GT(nAsked.load(), 0);
    EXPECT_EQ(0, nBlocked.load()) << "the zone-file lock was held through the move";
    EXPECT_EQ(0, m_pPartition->GetZoneFileCount());
    ExpectVerified();
}

} // namespace

namespace {

class DefragJobTest : public CPartitionFixture
{
};

TEST_F(DefragJobTest, RunsOnItsThreadFromTheStatesThatAllowIt)
{
    SetSetting(L"UseIOGuard", 0);
    Mount(SIM_FS::Ntfs, 30000);
    // Only the MFT itself is the MFT: a file that holds its name is an ordinary one.
    ASSERT_NE(nullptr, m_pVolume->CreateDirectory(L"backup"));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"backup\\$MFT.bin", 4096 * 30, Fragmented(5, 3000)));
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"$MFTcopy", 4096 * 30, Fragmented(5, 5000)));
    Partition();
    m_pPartition->SetClientConnected(true);
    m_pPartition->SetMethod(false);
    m_pPartition->SetState(STATE_DEFRAGMENTING);
    m_owner.Clear();
    EXPECT_FALSE(m_pPartition->StartDefragmentation());
    EXPECT_EQ(1, m_owner.Count(RESPONSE_PARTITION_ENTRY));
    m_pPartition->SetState(STATE_FAULTY);
    ASSERT_TRUE(m_pPartition->StartDefragmentation());
    EXPECT_TRUE(WaitFor([this] { return !m_pPartition->IsJobRunning(); }));
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    EXPECT_TRUE(IsContiguousAt(L"backup\\$MFT.bin", RunsOf(L"backup\\$MFT.bin").front().llLcn));
    EXPECT_TRUE(IsContiguousAt(L"$MFTcopy", RunsOf(L"$MFTcopy").front().llLcn));
    ExpectVerified();
}

TEST_F(DefragJobTest, AnAcceptedJobIsBusyAtOnceAndTakesItsSettingsAtItsStart)
{
    SetSetting(L"UseIOGuard", 0);
    Mount(SIM_FS::Ntfs, 30000);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"parts.bin", 4096 * 30, Fragmented(5, 3000)));
    Partition();
    m_pPartition->SetClientConnected(true);
    // The job's first opening of the volume is held back, as on a loaded machine.
    std::wstring strDevice = m_pVolume->GuidPath();
    strDevice.pop_back();
    SIM_FAULT held;
    held.eCall = SIM_CALL::CreateFile;
    held.strPath = strDevice;
    held.nTimes = 1;
    held.dwDelayMs = 1500;
    {
        CSimLock lock(m_system);
        m_system.Faults().Add(held);
    }
    const CDefragPartition::RUN_REQUEST request = {true, CDefragPartition::RUN_REQUEST::MOVE_TO_END::Forced, 2};
    ASSERT_TRUE(m_pPartition->StartDefragmentation(&request));
    EXPECT_EQ(STATE_DEFRAGMENTING, m_pPartition->GetReportedState()) << "an accepted run looked idle";
    CNetDefragPartitionListEntry entry;
    m_pPartition->FillListEntry(entry);
    EXPECT_EQ(STATE_DEFRAGMENTING, entry.m_nState);
    // Settings read while the run works wait for the next one.
    SetSetting(L"MoveModifiedFilesToEnd", 1);
    SetSetting(L"UseLayoutIni", 3);
    m_pPartition->LoadSettings();
    EXPECT_EQ(2, m_pPartition->GetRunSettings().nMoveModifiedFilesToEnd);
    EXPECT_EQ(0, m_pPartition->GetRunSettings().nUseLayoutIni);
    const CDefragPartition::RUN_REQUEST refused = {false, CDefragPartition::RUN_REQUEST::MOVE_TO_END::Keep, 0};
    EXPECT_FALSE(m_pPartition->StartDefragmentation(&refused));
    ASSERT_TRUE(WaitFor([this] { return !m_pPartition->IsJobRunning(); }));
    EXPECT_EQ(1, m_pPartition->GetRunSettings().nMethod);
    EXPECT_EQ(2, m_pPartition->GetRunSettings().nMoveModifiedFilesToEnd);
    EXPECT_EQ(0, m_pPartition->GetRunSettings().nUseLayoutIni);
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetReportedState());
    m_pPartition->LoadSettings();
    EXPECT_EQ(3, m_pPartition->GetRunSettings().nUseLayoutIni);
    // The last report of the run says that it is over.
    const std::vector<CRecordingOwner::SENT> sent = m_owner.Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(STATE_IDLE, sent.back().nState);
    EXPECT_TRUE(IsContiguousAt(L"parts.bin", RunsOf(L"parts.bin").front().llLcn));
    ExpectVerified();
}

} // namespace
