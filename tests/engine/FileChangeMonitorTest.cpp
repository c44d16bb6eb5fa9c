#include "RecordingListener.h"
#include "engine/FileChangeMonitor.h"
#include "platform/sys.h"

#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <string>
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
    size_t nBefore = listener.Events().size();
    Touch(L"a.txt");
    ::Sleep(200);
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

} // namespace
