// Checks of a volume's file system: the stand-in checker on a clean and a damaged volume, and
// scripted checkers for the answers a real one gives (stages, failure before any progress,
// long output, a stop, marks of trouble in the text), with the service-wide lock.
#include "PartitionFixture.h"

#include "tests/platform/WaitFor.h"

#include <atomic>
#include <string>
#include <thread>

namespace {

struct TEXT_RECORD
{
    DWORD dwLines;
    PCHAR pszText;
};

// A checker whose calls the test writes.
std::function<void(native::PFN_FMIFS_CALLBACK)> g_script;
std::wstring g_strRoot;
std::wstring g_strFileSystem;
bool g_bFileSystemNull = false;

VOID WINAPI ScriptedChkdskEx(PWCHAR pszRoot, PWCHAR pszFileSystem, BOOLEAN, PVOID, native::PFN_FMIFS_CALLBACK pfn)
{
    g_strRoot = pszRoot ? pszRoot : L"";
    g_bFileSystemNull = pszFileSystem == nullptr;
    g_strFileSystem = pszFileSystem ? pszFileSystem : L"";
    if (g_script)
        g_script(pfn);
}

BOOLEAN Progress(native::PFN_FMIFS_CALLBACK pfn, DWORD dwPercent)
{
    return pfn(0, 0, &dwPercent);
}

BOOLEAN Line(native::PFN_FMIFS_CALLBACK pfn, std::string strText)
{
    TEXT_RECORD record = {1, &strText[0]};
    return pfn(14, 0, &record);
}

void Done(native::PFN_FMIFS_CALLBACK pfn, bool bSuccess)
{
    BOOLEAN bResult = bSuccess ? TRUE : FALSE;
    pfn(11, 0, &bResult);
}

class CheckDiskTest : public CPartitionFixture
{
protected:
    void Start(SIM_FS eFs = SIM_FS::Ntfs, wchar_t cLetter = L'S')
    {
        SetSetting(L"UseIOGuard", 0);
        Mount(eFs, 20000, cLetter);
        Partition();
        m_pPartition->SetClientConnected(true);
    }
    void Script(std::function<void(native::PFN_FMIFS_CALLBACK)> script)
    {
        g_script = std::move(script);
        native::ChkdskEx = &ScriptedChkdskEx;
    }
    void TearDown() override
    {
        g_script = nullptr;
        CPartitionFixture::TearDown();
    }

    std::vector<int32_t> ReportedProgress()
    {
        std::vector<int32_t> progress;
        for (const CRecordingOwner::SENT& sent : m_owner.Sent())
            if (sent.nCode == RESPONSE_PARTITION_ENTRY && sent.nState == STATE_CHECKING)
                progress.push_back(sent.nProgress);
        return progress;
    }
};

TEST_F(CheckDiskTest, CleanVolumeRisesThroughThreeStages)
{
    Start();
    ASSERT_TRUE(m_pPartition->RunCheckDiskNow());
    EXPECT_TRUE(m_pPartition->IsCheckCompleted());
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    EXPECT_EQ(100, m_pPartition->m_nProgress);
    EXPECT_TRUE(Text(m_pPartition->GetStatusText()) == L" ");
    const std::vector<int32_t> progress = ReportedProgress();
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LE(progress.back(), 99);
    EXPECT_GE(progress.back(), 66);
    EXPECT_TRUE(m_owner.Events().empty());
}

TEST_F(CheckDiskTest, ErrorsFoundMarkTheVolumeFaulty)
{
    const struct
    {
        bool bBackground;
        int32_t nState;
        const wchar_t* pszEvent;
        bool bOutputInEvent;
    } cases[] = {{false, STATE_FAULTY, L"ChkDsk error on drive: S:\\\n", true},
                 {true, STATE_FAULTY_MONITORING, L"AutoChkDsk error on drive: S:\\", false}};
    wchar_t szTemp[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szTemp));
    const std::wstring strLog = std::wstring(szTemp) + L"vf_check_log.txt";
    ::DeleteFileW(strLog.c_str());
    Start();
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    ::RegSetValueExW(hKey, L"ChkDskLogFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(strLog.c_str()),
                     static_cast<DWORD>((strLog.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hKey);
    {
        // A cluster marked in use that no file owns.
        CSimLock lock(m_system);
        m_pVolume->Bitmap().Set(m_pVolume->TotalClusters() - 10);
    }
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.bBackground);
        m_owner.ClearEvents();
        m_pPartition->SetState(STATE_IDLE);
        m_pPartition->SetBackgroundMode(c.bBackground, nullptr, false);
        EXPECT_FALSE(m_pPartition->RunCheckDiskNow());
        EXPECT_EQ(c.nState, m_pPartition->GetState());
        EXPECT_FALSE(m_pPartition->IsCheckCompleted());
        const auto events = m_owner.Events();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(EVENTLOG_ERROR_TYPE, events[0].wType);
        EXPECT_EQ(0u, events[0].strText.find(c.pszEvent));
        EXPECT_EQ(c.bOutputInEvent, events[0].strText.find(L"Problems were found") != std::wstring::npos);
    }
    {
        CSimLock lock(m_system);
        m_pVolume->Bitmap().Clear(m_pVolume->TotalClusters() - 10);
    }
    // Both checks appended their output, as UTF-16 without a byte-order mark.
    HANDLE hFile = ::CreateFileW(strLog.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    std::wstring strText(8192, L'\0');
    DWORD dwRead = 0;
    ::ReadFile(hFile, &strText[0], static_cast<DWORD>(strText.size() * sizeof(wchar_t)), &dwRead, nullptr);
    ::CloseHandle(hFile);
    ::DeleteFileW(strLog.c_str());
    strText.resize(dwRead / sizeof(wchar_t));
    EXPECT_EQ(0u, strText.find(L"The type of the file system is NTFS."));
    EXPECT_NE(strText.find(L"Problems were found"), strText.rfind(L"Problems were found"));
}

TEST_F(CheckDiskTest, ScriptedAnswers)
{
    const std::string strLong(99, 'x');
    const struct
    {
        const char* pszName;
        DWORD dwLevel;
        std::function<void(native::PFN_FMIFS_CALLBACK)> script;
        bool bResult;
        int32_t nState;
        const wchar_t* pszInEvent;
    } cases[] = {
        // A checker that cannot even start (the volume is in use) has failed.
        {"fails before progress", 0, [](native::PFN_FMIFS_CALLBACK pfn) {
             Line(pfn, "Cannot lock the current drive.\r\n");
             Done(pfn, false);
         }, false, STATE_FAULTY, L"Cannot lock the current drive."},
        {"three stages", 0, [](native::PFN_FMIFS_CALLBACK pfn) {
             for (DWORD dwStage = 0; dwStage < 3; ++dwStage)
                 for (DWORD dwPercent : {0u, 50u, 100u})
                     Progress(pfn, dwPercent);
             Line(pfn, "  1/3 of the index entries checked  \n");
             Done(pfn, true);
         }, true, STATE_IDLE, nullptr},
        {"a mark of trouble", 1, [](native::PFN_FMIFS_CALLBACK pfn) {
             Progress(pfn, 10);
             Line(pfn, "1/3 of the index entries checked\n");
             Done(pfn, true);
         }, false, STATE_FAULTY, L"\n1/3 of the index entries checked"},
        {"long output", 0, [strLong](native::PFN_FMIFS_CALLBACK pfn) {
             Progress(pfn, 10);
             for (int i = 0; i < 2000; ++i)
                 Line(pfn, std::to_string(i) + strLong + "\n");
             Line(pfn, "the last line\n");
             Done(pfn, false);
         }, false, STATE_FAULTY, L"the last line"},
    };
    Start();
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        SetSetting(L"ChkDskLevel", c.dwLevel);
        m_pPartition->LoadSettings();
        m_pPartition->SetState(STATE_IDLE);
        m_owner.ClearEvents();
        m_owner.Clear();
        Script(c.script);
        EXPECT_EQ(c.bResult, m_pPartition->RunCheckDiskNow());
        EXPECT_EQ(c.bResult, m_pPartition->IsCheckCompleted());
        EXPECT_EQ(c.nState, m_pPartition->GetState());
        EXPECT_EQ(L"S:\\", g_strRoot);
        EXPECT_EQ(L"NTFS", g_strFileSystem);
        const auto events = m_owner.Events();
        ASSERT_EQ(c.pszInEvent ? 1u : 0u, events.size());
        if (c.pszInEvent)
        {
            // One event-log string holds at most 31,839 characters; the latest lines stay.
            EXPECT_LE(events[0].strText.size(), 31839u);
            EXPECT_NE(std::wstring::npos, events[0].strText.find(c.pszInEvent));
        }
        // The three stages share the bar: 0-33, 33-66, 66-99 (the line after them reports
        // 99 again), and the end is 100.
        if (std::string(c.pszName) == "three stages")
        {
            EXPECT_EQ((std::vector<int32_t>{0, 16, 33, 33, 49, 66, 66, 82, 99, 99}), ReportedProgress());
            EXPECT_EQ(100, m_pPartition->m_nProgress);
        }
    }
}

TEST_F(CheckDiskTest, FileSystemNames)
{
    const struct
    {
        SIM_FS eFs;
        const wchar_t* pszName;
        wchar_t cLetter;
    } cases[] = {{SIM_FS::Fat32, L"FAT32", L'T'}, {SIM_FS::Exfat, nullptr, L'U'}, {SIM_FS::Ntfs, L"NTFS", L'V'}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.eFs));
        Start(c.eFs, c.cLetter);
        Script([](native::PFN_FMIFS_CALLBACK pfn) {
            Progress(pfn, 100);
            Done(pfn, true);
        });
        EXPECT_TRUE(m_pPartition->RunCheckDiskNow());
        EXPECT_EQ(c.pszName == nullptr, g_bFileSystemNull);
        EXPECT_EQ(c.pszName ? c.pszName : L"", g_strFileSystem);
    }
}

TEST_F(CheckDiskTest, StopEndsTheCheckUncompleted)
{
    Start();
    HANDLE hStop = m_pPartition->GetStopEvent();
    Script([hStop](native::PFN_FMIFS_CALLBACK pfn) {
        Progress(pfn, 10);
        ::SetEvent(hStop);
        // From the stop on the callback asks the checker to end.
        EXPECT_FALSE(Progress(pfn, 20));
        EXPECT_FALSE(Line(pfn, "more\n"));
        Done(pfn, false);
    });
    EXPECT_TRUE(m_pPartition->RunCheckDiskNow());
    EXPECT_FALSE(m_pPartition->IsCheckCompleted());
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    EXPECT_TRUE(m_owner.Events().empty());
    ::ResetEvent(hStop);
}

TEST_F(CheckDiskTest, OneVolumeAtATime)
{
    Start();
    std::atomic<int> nCalls(0);
    Script([&nCalls](native::PFN_FMIFS_CALLBACK pfn) {
        ++nCalls;
        Progress(pfn, 100);
        Done(pfn, true);
    });
    CEventLock& lock = m_owner.GetCheckLock();
    ASSERT_TRUE(lock.Lock(nullptr));
    // Another volume is being checked: this one waits for the lock ...
    ASSERT_TRUE(m_pPartition->StartCheckDisk());
    ASSERT_TRUE(WaitFor([&lock] { return lock.GetWaiterCount() > 0; }));
    EXPECT_EQ(1, lock.GetWaiterCount());
    EXPECT_TRUE(m_pPartition->IsJobRunning());
    EXPECT_EQ(STATE_CHECKING, m_pPartition->GetState());
    // ... and gives up when it is told to stop, without a check.
    EXPECT_TRUE(m_pPartition->StopJob());
    EXPECT_EQ(0, nCalls.load());
    EXPECT_FALSE(m_pPartition->IsCheckCompleted());
    EXPECT_EQ(STATE_IDLE, m_pPartition->GetState());
    // A check that waits runs once the other ends.
    ASSERT_TRUE(m_pPartition->StartCheckDisk());
    ASSERT_TRUE(WaitFor([&lock] { return lock.GetWaiterCount() > 0; }));
    EXPECT_EQ(0, nCalls.load());
    lock.Unlock();
    ASSERT_TRUE(WaitFor([this] { return !m_pPartition->IsJobRunning(); }));
    EXPECT_EQ(1, nCalls.load());
    EXPECT_TRUE(m_pPartition->IsCheckCompleted());
    // The lock was given back.
    EXPECT_TRUE(lock.Lock(nullptr));
    lock.Unlock();
}

TEST_F(CheckDiskTest, CheckAndWaitRunsOnAThreadOfItsOwn)
{
    Start();
    DWORD dwCaller = ::GetCurrentThreadId();
    DWORD dwChecker = 0;
    int32_t nStateSeen = -1;
    CDefragPartition* pPartition = m_pPartition.get();
    Script([&](native::PFN_FMIFS_CALLBACK pfn) {
        dwChecker = ::GetCurrentThreadId();
        nStateSeen = pPartition->GetState();
        Progress(pfn, 100);
        Done(pfn, true);
    });
    m_pPartition->SetBackgroundMode(true, nullptr, false);
    EXPECT_TRUE(m_pPartition->RunCheckDiskAndWait());
    EXPECT_NE(dwCaller, dwChecker);
    EXPECT_EQ(STATE_AUTO_CHECKING, nStateSeen);
    EXPECT_FALSE(m_pPartition->IsJobRunning());
    EXPECT_TRUE(m_pPartition->IsCheckCompleted());
    EXPECT_EQ(STATE_MONITORING, m_pPartition->GetState());
    // Not from a state of work.
    m_pPartition->SetState(STATE_DEFRAGMENTING);
    EXPECT_FALSE(m_pPartition->RunCheckDiskAndWait());
    EXPECT_FALSE(m_pPartition->RunCheckDiskNow());
    EXPECT_FALSE(m_pPartition->StartCheckDisk());
}

} // namespace
