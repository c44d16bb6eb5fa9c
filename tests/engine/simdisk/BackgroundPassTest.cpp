// The background pass: what the change callbacks make of a change, the bound of the pending
// list, and steps that defragment the changed files while jobs and steps keep out of each
// other's way.
#include "PartitionFixture.h"

#include "engine/FileChangeMonitor.h"
#include "tests/platform/MovedClock.h"
#include "tests/platform/WaitFor.h"

#include <atomic>
#include <thread>

namespace {

HANDLE g_hRelease = nullptr;

// A check that lasts until the test lets it end.
VOID WINAPI HoldingChecker(PWCHAR, PWCHAR, BOOLEAN, PVOID, native::PFN_FMIFS_CALLBACK)
{
    ::WaitForSingleObject(g_hRelease, 5000);
}

class BackgroundPassTest : public CPartitionFixture
{
protected:
    void Start(SIM_FS eFs = SIM_FS::Ntfs, wchar_t cLetter = L'S')
    {
        SetSetting(L"UseIOGuard", 0);
        Mount(eFs, 40000, cLetter);
        Partition();
        m_pPartition->SetClientConnected(true);
        m_pPartition->SetBackgroundMode(true, nullptr, false);
    }

    std::vector<std::wstring> Pending()
    {
        std::vector<std::wstring> paths;
        m_pPartition->ForEachPending([&](const PENDING_FILE_ENTRY& entry) { paths.push_back(Text(*entry.pPath)); });
        return paths;
    }

    PENDING_FILE_ENTRY Entry(const std::wstring& strPath)
    {
        PENDING_FILE_ENTRY found = {};
        m_pPartition->ForEachPending([&](const PENDING_FILE_ENTRY& entry) {
            if (Text(*entry.pPath) == strPath)
                found = entry;
        });
        return found;
    }

    int FragmentedFiles()
    {
        CSimLock lock(m_system);
        int n = 0;
        for (size_t i = 0; i < m_pVolume->FileSlots(); ++i)
        {
            CSimFile* pFile = m_pVolume->File(i);
            if (pFile == nullptr || pFile->DefaultStream() == nullptr || m_pVolume->RelativePath(*pFile).empty())
                continue;
            const auto& runs = pFile->DefaultStream()->m_runs;
            for (size_t r = 1; r < runs.size(); ++r)
                if (runs[r].llLcn != runs[r - 1].llLcn + runs[r - 1].llLength)
                {
                    ++n;
                    break;
                }
        }
        return n;
    }

    LONGLONG DiskSamples()
    {
        CSimLock lock(m_system);
        return m_system.DiskPerf(*m_pVolume).Samples();
    }

    CMovedClock m_clock;
};

TEST_F(BackgroundPassTest, CallbacksMakeFullPathsAndReportParents)
{
    const struct
    {
        SIM_FS eFs;
        wchar_t cLetter;
        std::function<void(CDefragPartition&)> change;
        std::vector<std::wstring> pending;
    } cases[] = {
        {SIM_FS::Ntfs, L'S', [](CDefragPartition& p) { p.OnFileAdded(L"Docs\\new.txt"); },
         {L"S:\\Docs\\new.txt", L"S:\\Docs"}},
        {SIM_FS::Ntfs, L'S', [](CDefragPartition& p) { p.OnFileAdded(L"new.txt"); }, {L"S:\\new.txt"}},
        {SIM_FS::Ntfs, L'S', [](CDefragPartition& p) { p.OnFileModified(L"a\\b.txt"); }, {L"S:\\a\\b.txt"}},
        {SIM_FS::Ntfs, L'S', [](CDefragPartition& p) { p.OnDirectoryAdded(L"a\\b"); }, {L"S:\\a\\b"}},
        {SIM_FS::Ntfs, L'S',
         [](CDefragPartition& p) {
             p.OnFileAdded(L"a.txt");
             p.OnFileRenamed(L"a.txt", L"Docs\\b.txt");
         },
         {L"S:\\Docs\\b.txt", L"S:\\Docs"}},
        {SIM_FS::Ntfs, L'S',
         [](CDefragPartition& p) {
             p.OnFileAdded(L"x\\a.txt");
             p.OnFileAdded(L"xy\\a.txt");
             p.OnDirectoryRenamed(L"x", L"z");
         },
         {L"S:\\z\\a.txt", L"S:\\z", L"S:\\xy\\a.txt", L"S:\\xy"}},
        {SIM_FS::Ntfs, L'S',
         [](CDefragPartition& p) {
             p.OnFileAdded(L"a.txt");
             p.OnFileAdded(L"b.txt");
             p.OnFileRemoved(L"a.txt");
             p.OnDirectoryAdded(L"d");
             p.OnDirectoryRemoved(L"d");
         },
         {L"S:\\b.txt"}},
        // Directories are not files of their own on these volumes.
        {SIM_FS::Fat32, L'T',
         [](CDefragPartition& p) {
             p.OnFileAdded(L"Docs\\new.txt");
             p.OnDirectoryAdded(L"d");
             p.OnDirectoryModified(L"e");
             p.OnFileRenamed(L"Docs\\new.txt", L"Docs\\old.txt");
         },
         {L"T:\\Docs\\old.txt"}},
        {SIM_FS::Exfat, L'U', [](CDefragPartition& p) { p.OnDirectoryRenamed(L"a", L"b"); }, {}},
    };
    wchar_t cMounted = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pending.empty() ? std::string("none") : std::string(c.pending[0].begin(), c.pending[0].end()));
        if (c.cLetter != cMounted)
            Start(c.eFs, cMounted = c.cLetter);
        m_pPartition->ClearPendingFiles();
        c.change(*m_pPartition);
        EXPECT_EQ(c.pending, Pending());
    }
}

TEST_F(BackgroundPassTest, StampsAndSizes)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"sized.bin", 12345));
    SetSetting(L"UseLastFileSize", 1);
    m_pPartition->OnDirectoryModified(L"d");
    // Never stamped: both stamps are 0, long ago.
    EXPECT_TRUE(m_pPartition->HasBeenQuiet());
    EXPECT_GE(m_pPartition->SecondsSinceLastActivity(), static_cast<uint32_t>(sysclock::Seconds()) - 1);
    m_pPartition->OnFileAdded(L"sized.bin");
    EXPECT_EQ(12345, Entry(L"S:\\sized.bin").llSize);
    m_pPartition->OnFileAdded(L"missing.bin");
    EXPECT_EQ(0, Entry(L"S:\\missing.bin").llSize);
    // Stamps move whatever the mode; the list does not.
    m_pPartition->SetBackgroundMode(false, nullptr, false);
    m_pPartition->OnFileModified(L"late.bin");
    EXPECT_LE(m_pPartition->SecondsSinceLastActivity(), 2u);
    EXPECT_FALSE(m_pPartition->HasBeenQuiet());
    EXPECT_EQ(3u, Pending().size());
    // Exfat volumes stamp no added directory.
    Start(SIM_FS::Exfat, L'U');
    m_pPartition->OnDirectoryAdded(L"d");
    EXPECT_GT(m_pPartition->SecondsSinceLastActivity(), 1000000u);
}

TEST_F(BackgroundPassTest, RenamesKeepTheDrivePathForm)
{
    Start();
    m_pPartition->OnFileAdded(L"a.txt");
    m_pPartition->OnFileRenamed(L"a.txt", L"b.txt");
    EXPECT_EQ((std::vector<std::wstring>{L"S:\\b.txt"}), Pending());
    // A later change of the renamed file finds its entry.
    m_pPartition->OnFileRemoved(L"b.txt");
    EXPECT_TRUE(Pending().empty());
    // A rename of a file not in the list brings the new name in, marked fragmented.
    m_pPartition->OnFileRenamed(L"c.txt", L"d.txt");
    EXPECT_EQ(1, Entry(L"S:\\d.txt").bFragmented);
    EXPECT_EQ(1, m_pPartition->m_nFragmentedEntries);
    m_pPartition->OnFileRemoved(L"d.txt");
    EXPECT_EQ(0, m_pPartition->m_nFragmentedEntries);
}

TEST_F(BackgroundPassTest, TheListOverflowsPastItsBound)
{
    Start();
    for (int i = 0; i < 3000; ++i)
        m_pPartition->OnFileModified(L"f" + CUnicodeString(std::to_wstring(i).c_str()));
    EXPECT_FALSE(m_pPartition->IsListOverflow());
    m_owner.Clear();
    m_pPartition->OnFileRemoved(L"f0");
    m_pPartition->OnFileModified(L"f0");
    EXPECT_FALSE(m_pPartition->IsListOverflow());
    m_pPartition->OnFileModified(L"f3000");
    EXPECT_TRUE(m_pPartition->IsListOverflow());
    EXPECT_EQ(1, m_owner.Count(RESPONSE_PARTITION_ENTRY));
    // Changes are dropped from now on, removals too; the entries stay.
    m_pPartition->OnFileModified(L"f3001");
    m_pPartition->OnFileRemoved(L"f1");
    EXPECT_EQ(3001u, m_pPartition->GetPendingFileCount());
    EXPECT_EQ(1, m_owner.Count(RESPONSE_PARTITION_ENTRY));
    // Switching the mode lets changes in again.
    m_pPartition->SetBackgroundMode(true, nullptr, false);
    EXPECT_FALSE(m_pPartition->IsListOverflow());
    m_pPartition->OnFileRemoved(L"f1");
    EXPECT_EQ(3000u, m_pPartition->GetPendingFileCount());
}

TEST_F(BackgroundPassTest, StepDefragmentsTheChangedFiles)
{
    Start();
    const std::wstring names[] = {L"a.bin", L"b.bin", L"c.bin"};
    for (const std::wstring& strName : names)
    {
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 40, Fragmented(5, 2000)));
        m_pPartition->OnFileAdded(strName.c_str());
    }
    ASSERT_EQ(3, FragmentedFiles());
    uint32_t uRemaining = 99;
    // Changed within the last second: held back while the wait lasts.
    EXPECT_TRUE(m_pPartition->RunBackgroundStep(60, 30, uRemaining));
    EXPECT_EQ(3u, m_pPartition->GetPendingFileCount());
    EXPECT_EQ(3, m_pPartition->GetRunSkips().nHeldBack);
    m_clock.Advance(1);
    m_owner.Clear();
    EXPECT_TRUE(m_pPartition->RunBackgroundStep(60, 0, uRemaining));
    EXPECT_EQ(0u, uRemaining);
    EXPECT_EQ(0u, m_pPartition->GetPendingFileCount());
    EXPECT_EQ(0, FragmentedFiles());
    EXPECT_EQ(3, m_pPartition->m_nFilesDefragmented);
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    std::vector<int32_t> states;
    for (const CRecordingOwner::SENT& sent : m_owner.Sent())
        if (sent.nCode == RESPONSE_PARTITION_ENTRY && (states.empty() || states.back() != sent.nState))
            states.push_back(sent.nState);
    EXPECT_EQ((std::vector<int32_t>{STATE_AUTO_DEFRAGMENTING, STATE_MONITORING}), states);
    ExpectVerified();
}

TEST_F(BackgroundPassTest, ChangeTestsHoldBackFilesStillChanging)
{
    const struct
    {
        const char* pszName;
        DWORD dwMaxTime;
        DWORD dwMaxChecks;
        bool bResize;
        bool bNewWrite;
        bool bMoved;
    } cases[] = {
        {"size changed", 3600, 0, true, false, false},
        {"written just now", 3600, 0, false, true, false},
        {"changing for longer than allowed", 1, 0, true, false, true},
        {"changed more often than allowed", 3600, 1, true, true, true},
    };
    Start();
    int nFile = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        SetSetting(L"MaxTimeBeforeDefrag", c.dwMaxTime);
        SetSetting(L"MaxChecksBeforeDefrag", c.dwMaxChecks);
        m_pPartition->LoadSettings();
        const std::wstring strName = L"f" + std::to_wstring(++nFile) + L".bin";
        ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 20, Fragmented(4, 3000)));
        m_pPartition->ClearPendingFiles();
        m_pPartition->OnFileAdded(strName.c_str());
        m_clock.Advance(2);
        if (c.bResize)
        {
            ASSERT_TRUE(m_pVolume->Resize(strName, 4096 * 20 - 100));
        }
        if (c.bNewWrite)
        {
            CSimLock lock(m_system);
            m_pVolume->Lookup(strName)->m_llModified = CMovedClock::Now() | 1;
        }
        uint32_t uRemaining = 0;
        EXPECT_TRUE(m_pPartition->RunBackgroundStep(60, 10, uRemaining));
        EXPECT_EQ(c.bMoved ? 0u : 1u, m_pPartition->GetPendingFileCount());
        EXPECT_EQ(c.bMoved, IsContiguousAt(strName, RunsOf(strName).front().llLcn));
    }
    ExpectVerified();
}

TEST_F(BackgroundPassTest, StepsAndJobsKeepOutOfEachOther)
{
    Start();
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"a.bin", 4096 * 40, Fragmented(5, 2000)));
    m_pPartition->OnFileAdded(L"a.bin");
    m_clock.Advance(1);
    uint32_t uRemaining = 77;
    // No step in a state of work, nor while a job thread runs.
    m_pPartition->SetState(STATE_FAULTY_MONITORING);
    EXPECT_TRUE(m_pPartition->RunBackgroundStep(60, 0, uRemaining));
    EXPECT_EQ(77u, uRemaining);
    m_pPartition->SetState(STATE_IDLE);
    g_hRelease = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    native::ChkdskEx = &HoldingChecker;
    ASSERT_TRUE(m_pPartition->StartCheckDisk());
    EXPECT_TRUE(m_pPartition->RunBackgroundStep(60, 0, uRemaining));
    EXPECT_EQ(77u, uRemaining);
    EXPECT_EQ(1u, m_pPartition->GetPendingFileCount());
    ::SetEvent(g_hRelease);
    ASSERT_TRUE(WaitFor([this] { return !m_pPartition->IsJobRunning(); }));
    m_pPartition->SetState(STATE_IDLE);

    // A slow step holds the volume: no job starts meanwhile.
    SIM_FAULT slow;
    slow.eCall = SIM_CALL::Control;
    slow.dwCode = FSCTL_GET_RETRIEVAL_POINTERS;
    slow.dwDelayMs = 300;
    m_system.Faults().Add(slow);
    std::atomic<bool> bStepResult(false);
    std::thread step([&] { bStepResult = m_pPartition->RunBackgroundStep(60, 0, uRemaining); });
    EXPECT_TRUE(WaitFor([this] { return m_pPartition->IsStepRunning(); }));
    EXPECT_FALSE(m_pPartition->StartDefragmentation());
    EXPECT_FALSE(m_pPartition->StartCheckDisk());
    EXPECT_FALSE(m_pPartition->IsJobRunning());
    step.join();
    m_system.Faults().Clear();
    EXPECT_TRUE(bStepResult.load());
    EXPECT_FALSE(m_pPartition->IsStepRunning());
    EXPECT_EQ(0u, m_pPartition->GetPendingFileCount());
    ::CloseHandle(g_hRelease);
    ExpectVerified();
}

TEST_F(BackgroundPassTest, StepOutOfTimeLeavesItsEntries)
{
    Start();
    uint32_t uRemaining = 5;
    EXPECT_TRUE(m_pPartition->RunBackgroundStep(0, 0, uRemaining));
    EXPECT_EQ(0u, uRemaining);
    ASSERT_NE(nullptr, m_pVolume->CreateFile(L"a.bin", 4096 * 40, Fragmented(5, 2000)));
    m_pPartition->OnFileAdded(L"a.bin");
    m_pPartition->OnFileAdded(L"b.bin");
    EXPECT_FALSE(m_pPartition->RunBackgroundStep(0, 0, uRemaining));
    EXPECT_EQ(2u, uRemaining);
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
}

TEST_F(BackgroundPassTest, AStepOnABusyDiskKeepsItsTimeLimitAndEndsOnAStop)
{
    Start();
    SetSetting(L"UseIOGuard", 2);
    SetSetting(L"IOGuardWaitTime", 20);
    m_pPartition->LoadSettings();
    const struct
    {
        int64_t llLimit;
        bool bStop;
    } cases[] = {{1, false}, {600, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bStop);
        for (const wchar_t* pszName : {L"a.bin", L"b.bin", L"c.bin"})
        {
            const std::wstring strName = (c.bStop ? L"stop-" : L"limit-") + std::wstring(pszName);
            ASSERT_NE(nullptr, m_pVolume->CreateFile(strName, 4096 * 40, Fragmented(5, 2000)));
            m_pPartition->OnFileAdded(strName.c_str());
        }
        m_clock.Advance(2);
        m_system.DiskPerf(*m_pVolume).SetBusy(5, 4);
        m_pPartition->SetBackgroundMode(true, nullptr, false);
        HANDLE hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // A disk that never quiets down would hold the step for ever; it quiets after a while
        // so that a failing case ends.
        std::atomic<bool> bRelieved{false};
        std::thread relief([&] {
            if (::WaitForSingleObject(hDone, GenerousWaitMs) == WAIT_TIMEOUT)
            {
                CSimLock lock(m_system);
                m_system.DiskPerf(*m_pVolume).SetIdle();
                bRelieved = true;
            }
        });
        const LONGLONG llSamples = DiskSamples();
        uint32_t uRemaining = 0;
        std::thread step([&] { m_pPartition->RunBackgroundStep(c.llLimit, 0, uRemaining); });
        if (c.bStop)
        {
            // The step has looked at the disk twice and waits for it to quiet down.
            EXPECT_TRUE(WaitFor([&] { return DiskSamples() >= llSamples + 2; }));
            EXPECT_TRUE(m_pPartition->StopJob());
            EXPECT_FALSE(m_pPartition->IsStepRunning());
            EXPECT_NE(WAIT_OBJECT_0, ::WaitForSingleObject(m_pPartition->GetStopEvent(), 0));
        }
        step.join();
        ::SetEvent(hDone);
        relief.join();
        ::CloseHandle(hDone);
        EXPECT_FALSE(bRelieved.load()) << "the step waited for the busy disk past its limit or its stop";
        EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    }
    ExpectVerified();
}

TEST_F(BackgroundPassTest, AVolumeWhoseChangesCannotBeHeardLeavesMonitoringUntilItIsWatchedAgain)
{
    Mount(SIM_FS::Ntfs, 40000);
    Partition();
    m_pPartition->SetClientConnected(true);
    CFileChangeMonitor monitor;
    SIM_FAULT denied;
    denied.eCall = SIM_CALL::CreateFile;
    denied.strPath = m_pVolume->GuidPath();
    denied.status = static_cast<NTSTATUS>(0xC0000022);
    {
        CSimLock lock(m_system);
        m_system.Faults().Add(denied);
    }
    EXPECT_FALSE(m_pPartition->SetBackgroundMode(true, &monitor, true));
    EXPECT_FALSE(m_pPartition->IsBackgroundMode());
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetReportedState()) << "said monitoring while it hears nothing";
    {
        CSimLock lock(m_system);
        m_system.Faults().Clear();
    }
    EXPECT_TRUE(m_pPartition->RetryWatch(&monitor));
    EXPECT_EQ(STATE_MONITORING, m_pPartition->GetReportedState());
    // The monitor tells of a watch that ended on its own.
    m_pPartition->OnWatchFailed();
    EXPECT_FALSE(m_pPartition->IsBackgroundMode());
    EXPECT_TRUE(m_pPartition->IsWatchLost());
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetReportedState());
    EXPECT_TRUE(m_pPartition->RetryWatch(&monitor));
    EXPECT_TRUE(m_pPartition->IsBackgroundMode());
    EXPECT_EQ(2, monitor.GetWatchCount());
    int nWarnings = 0;
    for (const CRecordingOwner::EVENT& event : m_owner.Events())
        nWarnings += event.wType == EVENTLOG_WARNING_TYPE && event.strText.find(L"Monitoring of") == 0;
    EXPECT_EQ(2, nWarnings);
    m_pPartition->SetBackgroundMode(false, &monitor, false);
}

} // namespace
