// The monitor on a simulated volume, whose notifications follow the system's
// rules that Wine does not keep: changes below subdirectories, rename pairs.
#include "../RecordingListener.h"
#include "engine/FileChangeMonitor.h"
#include "simdisk/SimSystem.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace {

// Sits over the simulator's seam and follows every directory read: which threads issue,
// cancel, close and complete them, and which reads are still outstanding.
class CReadTracker
{
public:
    CReadTracker() : m_table(sys::Current()), m_inner(sys::Current())
    {
        s_pCurrent = this;
        m_table.pfnReadDirectoryChangesW = &Read;
        m_table.pfnCancelIo = &Cancel;
        m_table.pfnCloseHandle = &Close;
        m_pInstall.reset(new sys::CScopedInstall(&m_table));
    }
    ~CReadTracker()
    {
        m_pInstall.reset();
        s_pCurrent = nullptr;
    }

    size_t Outstanding()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_outstanding.size();
    }
    // Every thread that touched a directory read or its handle.
    std::set<DWORD> Threads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

private:
    static BOOL WINAPI Read(HANDLE h, LPVOID pBuffer, DWORD dwLength, BOOL bSubtree, DWORD dwFilter,
                            LPDWORD pdwReturned, LPOVERLAPPED pOverlapped, LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine)
    {
        CReadTracker& self = *s_pCurrent;
        {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            self.m_threads.insert(::GetCurrentThreadId());
            self.m_directories.insert(h);
            self.m_outstanding[pOverlapped] = pfnRoutine;
        }
        if (self.m_inner.pfnReadDirectoryChangesW(h, pBuffer, dwLength, bSubtree, dwFilter, pdwReturned, pOverlapped,
                                                  &Completed))
            return TRUE;
        DWORD dwError = ::GetLastError();
        {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            self.m_outstanding.erase(pOverlapped);
        }
        ::SetLastError(dwError);
        return FALSE;
    }
    static void CALLBACK Completed(DWORD dwError, DWORD dwBytes, LPOVERLAPPED pOverlapped)
    {
        CReadTracker& self = *s_pCurrent;
        LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine = nullptr;
        {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            self.m_threads.insert(::GetCurrentThreadId());
            pfnRoutine = self.m_outstanding[pOverlapped];
            self.m_outstanding.erase(pOverlapped);
        }
        pfnRoutine(dwError, dwBytes, pOverlapped);
    }
    static BOOL WINAPI Cancel(HANDLE h)
    {
        s_pCurrent->Note(h);
        return s_pCurrent->m_inner.pfnCancelIo(h);
    }
    static BOOL WINAPI Close(HANDLE h)
    {
        s_pCurrent->Note(h);
        return s_pCurrent->m_inner.pfnCloseHandle(h);
    }
    void Note(HANDLE h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_directories.count(h) != 0)
            m_threads.insert(::GetCurrentThreadId());
    }

    static CReadTracker* s_pCurrent;
    sys::SYS_TABLE m_table;
    const sys::SYS_TABLE m_inner;
    std::unique_ptr<sys::CScopedInstall> m_pInstall;
    std::mutex m_mutex;
    std::map<LPOVERLAPPED, LPOVERLAPPED_COMPLETION_ROUTINE> m_outstanding;
    std::set<HANDLE> m_directories;
    std::set<DWORD> m_threads;
};
CReadTracker* CReadTracker::s_pCurrent = nullptr;

class FileChangeMonitorSim : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SIM_FORMAT format;
        format.eFs = SIM_FS::Ntfs;
        format.llTotalClusters = 20000;
        m_pVolume = &m_system.Mount(CSimVolume::Format(format), L'S');
        m_system.Install();
        m_pVolume->CreateDirectory(L"d");
    }
    void TearDown() override { m_system.Uninstall(); }

    CSimSystem m_system;
    CSimVolume* m_pVolume = nullptr;
};

TEST_F(FileChangeMonitorSim, ReportsChangesBelowTheRootRelativeToIt)
{
    CFileChangeMonitor monitor;
    CRecordingListener listener(m_pVolume->GuidPath());
    ASSERT_TRUE(monitor.WatchPartition(&listener));

    m_pVolume->CreateFile(L"a.txt", 100);
    EXPECT_TRUE(listener.WaitFor(L"FileAdded:a.txt"));
    m_pVolume->CreateFile(L"d\\b.txt", 100);
    EXPECT_TRUE(listener.WaitFor(L"FileAdded:d\\b.txt"));
    m_pVolume->Resize(L"d\\b.txt", 100000);
    EXPECT_TRUE(listener.WaitFor(L"FileModified:d\\b.txt"));
    m_pVolume->Rename(L"a.txt", L"c.txt");
    EXPECT_TRUE(listener.WaitFor(L"FileRenamed:a.txt>c.txt"));
    m_pVolume->CreateDirectory(L"d\\e");
    EXPECT_TRUE(listener.WaitFor(L"DirectoryAdded:d\\e"));
    m_pVolume->Rename(L"d\\e", L"d\\f");
    EXPECT_TRUE(listener.WaitFor(L"DirectoryRenamed:d\\e>d\\f"));
    m_pVolume->Delete(L"c.txt");
    EXPECT_TRUE(listener.WaitFor(L"FileRemoved:c.txt"));

    int nRenames = 0;
    for (const auto& strEvent : listener.Events())
        nRenames += strEvent == L"FileRenamed:a.txt>c.txt" ? 1 : 0;
    EXPECT_EQ(1, nRenames) << "a rename is one report";

    monitor.UnwatchPartition(&listener);
    EXPECT_EQ(0, monitor.GetWatchCount());
}

// A read is cancelled only by the thread that issued it, and its buffer may be freed only
// once its completion has run: everything happens on the monitor's thread, and nothing is
// outstanding when the unwatch returns.
TEST_F(FileChangeMonitorSim, UnwatchWhileChangesArriveEndsEveryRead)
{
    for (int nRound = 0; nRound < 10; ++nRound)
    {
        SCOPED_TRACE(nRound);
        CReadTracker tracker;
        CFileChangeMonitor monitor;
        CRecordingListener listener(m_pVolume->GuidPath());
        ASSERT_TRUE(monitor.WatchPartition(&listener));
        for (int i = 0; i < 30; ++i)
            m_pVolume->CreateFile(L"d\\f" + std::to_wstring(nRound * 100 + i), 10);
        monitor.UnwatchPartition(&listener);
        EXPECT_EQ(0, monitor.GetWatchCount());
        EXPECT_EQ(0u, tracker.Outstanding()) << "a read outlived its watch";
        std::set<DWORD> threads = tracker.Threads();
        EXPECT_EQ(1u, threads.size()) << "reads issued, stopped and completed on more than one thread";
        EXPECT_EQ(0u, threads.count(::GetCurrentThreadId()));
    }
}

} // namespace
