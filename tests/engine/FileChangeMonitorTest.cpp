#include "RecordingListener.h"
#include "engine/FileChangeMonitor.h"
#include "platform/sys.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// A directory of the test's own under the temporary folder; Wine reports
// changes of the watched directory itself, not of its subdirectories.
class FileChangeMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t szTemp[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szTemp));
        m_strRoot = std::wstring(szTemp) + L"VfoldWatch" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(m_strRoot.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const wchar_t* pszName : {L"a.txt", L"x", L"y", L"grow.bin"})
            ::DeleteFileW((m_strRoot + pszName).c_str());
        ::RemoveDirectoryW((m_strRoot + L"d").c_str());
        ::RemoveDirectoryW(m_strRoot.c_str());
    }
    void Touch(const wchar_t* pszName, DWORD dwBytes = 0)
    {
        HANDLE hFile = ::CreateFileW((m_strRoot + pszName).c_str(), GENERIC_WRITE, 0, nullptr,
                                     OPEN_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        std::string strData(dwBytes, 'z');
        DWORD dwWritten = 0;
        if (dwBytes > 0)
            ::WriteFile(hFile, strData.data(), dwBytes, &dwWritten, nullptr);
        ::CloseHandle(hFile);
    }

    std::wstring m_strRoot;
};

TEST_F(FileChangeMonitorTest, ReportsFileAndDirectoryChangesOfTheRoot)
{
    CFileChangeMonitor monitor;
    CRecordingListener listener(m_strRoot);
    ASSERT_TRUE(monitor.WatchPartition(&listener));
    EXPECT_EQ(2, monitor.GetWatchCount());

    Touch(L"a.txt");
    EXPECT_TRUE(listener.WaitFor(L"FileAdded:a.txt"));
    ASSERT_TRUE(::CreateDirectoryW((m_strRoot + L"d").c_str(), nullptr));
    EXPECT_TRUE(listener.WaitFor(L"DirectoryAdded:d"));
    Touch(L"grow.bin");
    Touch(L"grow.bin", 5000);
    EXPECT_TRUE(listener.WaitFor(L"FileModified:grow.bin"));
    Touch(L"x");
    ASSERT_TRUE(::MoveFileW((m_strRoot + L"x").c_str(), (m_strRoot + L"y").c_str()));
    EXPECT_TRUE(listener.WaitFor(L"FileRenamed:x>y"));
    ASSERT_TRUE(::DeleteFileW((m_strRoot + L"a.txt").c_str()));
    EXPECT_TRUE(listener.WaitFor(L"FileRemoved:a.txt"));

    monitor.UnwatchPartition(&listener);
    EXPECT_EQ(0, monitor.GetWatchCount());
    // A second watch of the root sees the next change, and unwatching it passes once more
    // through the monitor's thread after that change: a watch still alive would have
    // reported it by then.
    size_t nBefore = listener.Events().size();
    CRecordingListener witness(m_strRoot);
    ASSERT_TRUE(monitor.WatchPartition(&witness));
    Touch(L"a.txt");
    EXPECT_TRUE(witness.WaitFor(L"FileAdded:a.txt"));
    monitor.UnwatchPartition(&witness);
    EXPECT_EQ(nBefore, listener.Events().size()) << "no report after the watch stopped";
}

TEST_F(FileChangeMonitorTest, UnopenableRootIsRefused)
{
    CFileChangeMonitor monitor;
    CRecordingListener listener(m_strRoot + L"missing\\");
    EXPECT_FALSE(monitor.WatchPartition(&listener));
    EXPECT_EQ(0, monitor.GetWatchCount());
}

TEST_F(FileChangeMonitorTest, StopsWhileChangesArrive)
{
    for (int nRound = 0; nRound < 5; ++nRound)
    {
        CFileChangeMonitor monitor;
        CRecordingListener listener(m_strRoot);
        ASSERT_TRUE(monitor.WatchPartition(&listener));
        for (int i = 0; i < 20; ++i)
            Touch(L"grow.bin", 100 * (i + 1));
        monitor.UnwatchPartition(&listener);
        EXPECT_EQ(0, monitor.GetWatchCount());
        ASSERT_TRUE(monitor.WatchPartition(&listener)) << "a volume can be watched again";
        Touch(L"a.txt");
        EXPECT_TRUE(listener.WaitFor(L"FileAdded:a.txt"));
        ::DeleteFileW((m_strRoot + L"a.txt").c_str());
    }
}

// A seam whose directory reads deliver one hand-made buffer, so that the
// walk over the records can be given what a real system rarely sends.
class CScriptedReads
{
public:
    static std::vector<BYTE> s_buffer;
    static DWORD s_dwReads;

    static sys::SYS_TABLE Table()
    {
        sys::SYS_TABLE table = sys::RealTable();
        table.pfnCreateFileW = [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
            return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        };
        table.pfnReadDirectoryChangesW = [](HANDLE hDirectory, LPVOID pBuffer, DWORD, BOOL, DWORD,
                                            LPDWORD, LPOVERLAPPED pOverlapped,
                                            LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine) -> BOOL {
            s_pending[hDirectory] = {pOverlapped, pfnRoutine, 0};
            if (s_dwReads++ == 0)
            {
                memcpy(pBuffer, s_buffer.data(), s_buffer.size());
                Complete(hDirectory, static_cast<DWORD>(s_buffer.size()));
            }
            return TRUE;
        };
        table.pfnCancelIo = [](HANDLE hDirectory) -> BOOL {
            Complete(hDirectory, 0);
            return TRUE;
        };
        return table;
    }

private:
    struct PENDING_READ
    {
        LPOVERLAPPED pOverlapped;
        LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine;
        DWORD dwBytes;
    };

    // Completes like the system: an APC to the thread that issued the read.
    static void Complete(HANDLE hDirectory, DWORD dwBytes)
    {
        auto it = s_pending.find(hDirectory);
        if (it == s_pending.end())
            return;
        PENDING_READ* pRead = new PENDING_READ(it->second);
        pRead->dwBytes = dwBytes;
        s_pending.erase(it);
        ::QueueUserAPC(
            [](ULONG_PTR p) {
                PENDING_READ* pDone = reinterpret_cast<PENDING_READ*>(p);
                pDone->pfnRoutine(0, pDone->dwBytes, pDone->pOverlapped);
                delete pDone;
            },
            ::GetCurrentThread(), reinterpret_cast<ULONG_PTR>(pRead));
    }

    static std::map<HANDLE, PENDING_READ> s_pending;
};
std::vector<BYTE> CScriptedReads::s_buffer;
DWORD CScriptedReads::s_dwReads;
std::map<HANDLE, CScriptedReads::PENDING_READ> CScriptedReads::s_pending;

void AddRecord(std::vector<BYTE>& buffer, DWORD dwAction, const std::wstring& strName, bool bLast,
               DWORD dwNameBytes = 0)
{
    size_t nStart = buffer.size();
    DWORD dwBytes = static_cast<DWORD>(strName.size() * 2);
    DWORD dwSize = (12 + dwBytes + 3) & ~3u;
    buffer.resize(nStart + dwSize);
    DWORD adwHeader[3] = {bLast ? 0 : dwSize, dwAction, dwNameBytes != 0 ? dwNameBytes : dwBytes};
    memcpy(&buffer[nStart], adwHeader, 12);
    memcpy(&buffer[nStart + 12], strName.data(), dwBytes);
}

TEST(FileChangeMonitorRecords, WalkStopsAtTheDeliveredBytes)
{
    struct { const char* what; std::vector<BYTE> buffer; std::vector<std::wstring> expected; } cases[4];
    cases[0].what = "sub-directory paths and a rename pair";
    AddRecord(cases[0].buffer, FILE_ACTION_ADDED, L"d\\b.txt", false);
    AddRecord(cases[0].buffer, FILE_ACTION_RENAMED_OLD_NAME, L"x", false);
    AddRecord(cases[0].buffer, FILE_ACTION_RENAMED_NEW_NAME, L"y", false);
    AddRecord(cases[0].buffer, 99, L"ignored", false);
    AddRecord(cases[0].buffer, FILE_ACTION_REMOVED, L"z", true);
    cases[0].expected = {L"FileAdded:d\\b.txt", L"FileRenamed:x>y", L"FileRemoved:z"};
    cases[1].what = "an old name as the last record";
    AddRecord(cases[1].buffer, FILE_ACTION_MODIFIED, L"m", false);
    AddRecord(cases[1].buffer, FILE_ACTION_RENAMED_OLD_NAME, L"x", true);
    cases[1].expected = {L"FileModified:m"};
    cases[2].what = "a name length past the buffer";
    AddRecord(cases[2].buffer, FILE_ACTION_ADDED, L"abcd", true, 60000);
    cases[2].expected = {L"FileAdded:abcd"};
    cases[3].what = "a step that would wrap round to an earlier record";
    AddRecord(cases[3].buffer, FILE_ACTION_ADDED, L"a", false);
    AddRecord(cases[3].buffer, FILE_ACTION_REMOVED, L"c", true);
    AddRecord(cases[3].buffer, FILE_ACTION_ADDED, L"b", false);
    const DWORD adwSteps[2] = {32, 0xFFFFFFF0};  // 0 -> 32, then 32 -> 16 modulo 2^32
    memcpy(&cases[3].buffer[0], &adwSteps[0], 4);
    memcpy(&cases[3].buffer[32], &adwSteps[1], 4);
    cases[3].expected = {L"FileAdded:a", L"FileAdded:b"};

    for (auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        CScriptedReads::s_buffer = c.buffer;
        CScriptedReads::s_dwReads = 0;
        sys::SYS_TABLE table = CScriptedReads::Table();
        sys::CScopedInstall install(&table);
        CFileChangeMonitor monitor;
        CRecordingListener listener(L"S:\\");
        ASSERT_TRUE(monitor.WatchPartition(&listener));
        ASSERT_TRUE(listener.WaitFor(c.expected.back()));
        monitor.UnwatchPartition(&listener);
        std::vector<std::wstring> events = listener.Events();
        // The second watch (directories) got no buffer of its own.
        EXPECT_EQ(c.expected, events);
    }
}

// A seam whose directory reads stay pending until cancelled, and whose cancelled reads
// complete the way a test chooses. Everything it keeps is guarded: callers may come from
// several threads.
class CHeldReads
{
public:
    enum class CANCEL { AtOnce, AfterTheStopperWaits };

    explicit CHeldReads(CANCEL eCancel, bool bFailRearm = false, std::vector<BYTE> firstDelivery = {})
        : m_table(sys::RealTable()), m_eCancel(eCancel), m_bFailRearm(bFailRearm),
          m_firstDelivery(std::move(firstDelivery))
    {
        s_pCurrent = this;
        m_table.pfnCreateFileW = [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
            return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        };
        m_table.pfnReadDirectoryChangesW = &ReadChanges;
        m_table.pfnCancelIo = &Cancel;
        m_pInstall.reset(new sys::CScopedInstall(&m_table));
    }
    ~CHeldReads()
    {
        m_pInstall.reset();
        s_pCurrent = nullptr;
        if (m_hMonitor != nullptr)
            ::CloseHandle(m_hMonitor);
    }

    HANDLE m_hStopper = nullptr;  // the thread that stops watches, for AfterTheStopperWaits

    // The pending reads that hold changes complete now, on the monitor's thread.
    void DeliverChanges()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_pending.begin(); it != m_pending.end();)
        {
            if (it->second.dwBytes == 0)
            {
                ++it;
                continue;
            }
            ::QueueUserAPC(&Deliver, m_hMonitor, reinterpret_cast<ULONG_PTR>(new READ(it->second)));
            it = m_pending.erase(it);
        }
    }
    int Issued() { std::lock_guard<std::mutex> lock(m_mutex); return m_nIssued; }
    int Completed() { std::lock_guard<std::mutex> lock(m_mutex); return m_nCompleted; }
    // Completions that found their watch's buffer already freed.
    int LateCompletions() { std::lock_guard<std::mutex> lock(m_mutex); return m_nLate; }

private:
    struct READ
    {
        BYTE* pBuffer;
        LPOVERLAPPED pOverlapped;
        LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine;
        DWORD dwBytes;
    };

    static BOOL WINAPI ReadChanges(HANDLE hDirectory, LPVOID pBuffer, DWORD, BOOL, DWORD, LPDWORD,
                                   LPOVERLAPPED pOverlapped, LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine)
    {
        CHeldReads& self = *s_pCurrent;
        std::lock_guard<std::mutex> lock(self.m_mutex);
        if (self.m_hMonitor == nullptr)
            ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self.m_hMonitor, 0,
                              FALSE, DUPLICATE_SAME_ACCESS);
        bool bFirst = self.m_armed.insert(hDirectory).second;
        if (!bFirst && self.m_bFailRearm)
        {
            ::SetLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
        }
        ++self.m_nIssued;
        READ stRead = {static_cast<BYTE*>(pBuffer), pOverlapped, pfnRoutine, 0};
        if (bFirst && !self.m_firstDelivery.empty())
        {
            memcpy(pBuffer, self.m_firstDelivery.data(), self.m_firstDelivery.size());
            stRead.dwBytes = static_cast<DWORD>(self.m_firstDelivery.size());
        }
        self.m_pending[hDirectory] = stRead;
        return TRUE;
    }

    // Runs on the monitor's thread. AfterTheStopperWaits passes the completion from the
    // monitor's next wait (the stop handed over) to the stopper's second alertable wait
    // after that, and back: the stopper has then either waited for it or gone on.
    static BOOL WINAPI Cancel(HANDLE hDirectory)
    {
        CHeldReads& self = *s_pCurrent;
        READ* pRead = nullptr;
        {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            auto it = self.m_pending.find(hDirectory);
            if (it == self.m_pending.end())
                return TRUE;
            pRead = new READ(it->second);
            self.m_pending.erase(it);
        }
        PAPCFUNC pfnFirst = self.m_eCancel == CANCEL::AtOnce ? &Deliver : &ToStopper;
        ::QueueUserAPC(pfnFirst, ::GetCurrentThread(), reinterpret_cast<ULONG_PTR>(pRead));
        return TRUE;
    }
    static void CALLBACK ToStopper(ULONG_PTR p) { ::QueueUserAPC(&StopperAgain, s_pCurrent->m_hStopper, p); }
    static void CALLBACK StopperAgain(ULONG_PTR p) { ::QueueUserAPC(&BackToMonitor, ::GetCurrentThread(), p); }
    static void CALLBACK BackToMonitor(ULONG_PTR p) { ::QueueUserAPC(&Deliver, s_pCurrent->m_hMonitor, p); }

    static void CALLBACK Deliver(ULONG_PTR p)
    {
        CHeldReads& self = *s_pCurrent;
        std::unique_ptr<READ> pRead(reinterpret_cast<READ*>(p));
        MEMORY_BASIC_INFORMATION stInfo = {};
        if (::VirtualQuery(pRead->pBuffer, &stInfo, sizeof(stInfo)) == 0 || stInfo.State != MEM_COMMIT)
        {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            ++self.m_nLate;
            return;
        }
        pRead->pfnRoutine(pRead->dwBytes != 0 ? ERROR_SUCCESS : ERROR_OPERATION_ABORTED, pRead->dwBytes,
                          pRead->pOverlapped);
        std::lock_guard<std::mutex> lock(self.m_mutex);
        ++self.m_nCompleted;
    }

    static CHeldReads* s_pCurrent;
    sys::SYS_TABLE m_table;
    std::unique_ptr<sys::CScopedInstall> m_pInstall;
    CANCEL m_eCancel;
    bool m_bFailRearm;
    std::vector<BYTE> m_firstDelivery;
    std::mutex m_mutex;
    HANDLE m_hMonitor = nullptr;
    std::map<HANDLE, READ> m_pending;
    std::set<HANDLE> m_armed;
    int m_nIssued = 0;
    int m_nCompleted = 0;
    int m_nLate = 0;
};
CHeldReads* CHeldReads::s_pCurrent = nullptr;

// A stopped watch's buffer stays until its cancelled read has completed, however late the
// system completes it.
TEST(FileChangeMonitorStop, BufferOutlivesTheLastCompletion)
{
    CHeldReads reads(CHeldReads::CANCEL::AfterTheStopperWaits);
    CFileChangeMonitor monitor;
    CRecordingListener listener(L"S:\\");
    ASSERT_TRUE(monitor.WatchPartition(&listener));
    struct STOP
    {
        CFileChangeMonitor* pMonitor;
        CRecordingListener* pListener;
    } stStop = {&monitor, &listener};
    HANDLE hStopper = ::CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto pStop = static_cast<STOP*>(p);
            pStop->pMonitor->UnwatchPartition(pStop->pListener);
            return 0;
        },
        &stStop, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(nullptr, hStopper);
    reads.m_hStopper = hStopper;
    ::ResumeThread(hStopper);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hStopper, 30000));
    ::CloseHandle(hStopper);
    EXPECT_EQ(0, monitor.GetWatchCount());
    EXPECT_EQ(2, reads.Completed()) << "both cancelled reads completed before unwatching returned";
    EXPECT_EQ(0, reads.LateCompletions());
}

// A read that cannot be issued again ends its watch; the listener hears of it and can fall
// back on a full look at the volume. Unwatching afterwards does not wait for a read that
// will never come.
TEST(FileChangeMonitorStop, WatchThatCannotBeRearmedTellsItsListener)
{
    std::vector<BYTE> buffer;
    AddRecord(buffer, FILE_ACTION_ADDED, L"a", true);
    CHeldReads reads(CHeldReads::CANCEL::AtOnce, true, buffer);
    CFileChangeMonitor monitor;
    CRecordingListener listener(L"S:\\");
    ASSERT_TRUE(monitor.WatchPartition(&listener));
    reads.DeliverChanges();
    ASSERT_TRUE(listener.WaitFor(L"WatchFailed:"));
    monitor.UnwatchPartition(&listener);
    std::vector<std::wstring> events = listener.Events();
    std::sort(events.begin(), events.end());
    EXPECT_EQ((std::vector<std::wstring>{L"DirectoryAdded:a", L"FileAdded:a", L"WatchFailed:", L"WatchFailed:"}),
              events);
    EXPECT_EQ(0, monitor.GetWatchCount());
}

// Several threads watch and unwatch at once; each call sees the table and the hand-over
// slot to itself, and every read issued ends.
TEST(FileChangeMonitorStop, CallersOnSeveralThreads)
{
    CHeldReads reads(CHeldReads::CANCEL::AtOnce);
    CFileChangeMonitor monitor;
    const int nThreads = 4;
    const int nRounds = 25;
    std::atomic<int> nRefused(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t)
    {
        threads.emplace_back([&] {
            CRecordingListener listener(L"S:\\");
            for (int i = 0; i < nRounds; ++i)
            {
                if (!monitor.WatchPartition(&listener))
                    ++nRefused;
                monitor.UnwatchPartition(&listener);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, nRefused.load());
    EXPECT_EQ(0, monitor.GetWatchCount());
    EXPECT_EQ(2 * nThreads * nRounds, reads.Issued());
    EXPECT_EQ(reads.Issued(), reads.Completed());
}

} // namespace
