// Directory-change notifications for changes from outside, delivered to completion routines
// on the issuing thread, with the subtree, renames, overflow, cancel and close rules.
#include "SimFixture.h"

#include <cstring>

namespace {

struct SEEN
{
    DWORD dwError = 0xFFFFFFFF;
    DWORD dwBytes = 0;
    int nCalls = 0;
    DWORD dwThread = 0;
};

SEEN* s_pSeen = nullptr;

void CALLBACK OnCompleted(DWORD dwError, DWORD dwBytes, LPOVERLAPPED)
{
    s_pSeen->dwError = dwError;
    s_pSeen->dwBytes = dwBytes;
    s_pSeen->dwThread = ::GetCurrentThreadId();
    ++s_pSeen->nCalls;
}

class Notify : public CSimFixture
{
protected:
    void SetUp() override
    {
        CSimFixture::SetUp();
        s_pSeen = &m_seen;
        m_pVolume->CreateDirectory(L"sub");
        m_hRoot = Open(m_pVolume->GuidPath(), FILE_LIST_DIRECTORY,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_hRoot);
    }

    BOOL Arm(DWORD dwFilter, DWORD dwLength = sizeof(m_buffer))
    {
        m_seen = SEEN();
        return sys::ReadDirectoryChangesW(m_hRoot, m_buffer, dwLength, TRUE, dwFilter, nullptr, &m_overlapped, &OnCompleted);
    }

    // Lets queued completion routines run on this thread.
    void Drain() { ::SleepEx(0, TRUE); }

    std::vector<std::pair<DWORD, std::wstring>> Records() const
    {
        std::vector<std::pair<DWORD, std::wstring>> records;
        for (DWORD dwAt = 0; m_seen.dwBytes;)
        {
            DWORD dwNext, dwAction, dwLength;
            std::memcpy(&dwNext, m_buffer + dwAt, 4);
            std::memcpy(&dwAction, m_buffer + dwAt + 4, 4);
            std::memcpy(&dwLength, m_buffer + dwAt + 8, 4);
            records.emplace_back(dwAction, std::wstring(reinterpret_cast<const wchar_t*>(m_buffer + dwAt + 12), dwLength / 2));
            if (!dwNext)
                break;
            dwAt += dwNext;
        }
        return records;
    }

    SEEN m_seen;
    HANDLE m_hRoot = INVALID_HANDLE_VALUE;
    alignas(8) BYTE m_buffer[4096] = {};
    OVERLAPPED m_overlapped = {};
};

TEST_F(Notify, SubtreeChangesArriveAsRelativeNamesOnTheIssuingThread)
{
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE));
    m_pVolume->CreateFile(L"sub\\new.txt", 5000);
    EXPECT_EQ(0, m_seen.nCalls) << "the routine runs only in an alertable wait";
    Drain();
    ASSERT_EQ(1, m_seen.nCalls);
    EXPECT_EQ(::GetCurrentThreadId(), m_seen.dwThread);
    EXPECT_EQ(0u, m_seen.dwError);
    auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(static_cast<DWORD>(FILE_ACTION_ADDED), records[0].first);
    EXPECT_EQ(L"sub\\new.txt", records[0].second);
    // What happens between two reads is kept for the next one.
    m_pVolume->Resize(L"sub\\new.txt", 90000);
    m_pVolume->Delete(L"sub\\new.txt");
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE));
    Drain();
    // The creation's own size change, the resize and the removal.
    records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(static_cast<DWORD>(FILE_ACTION_MODIFIED), records[0].first);
    EXPECT_EQ(static_cast<DWORD>(FILE_ACTION_MODIFIED), records[1].first);
    EXPECT_EQ(static_cast<DWORD>(FILE_ACTION_REMOVED), records[2].first);
}

TEST_F(Notify, RenameIsOldNameThenNewNameInOneBuffer)
{
    m_pVolume->CreateFile(L"a.txt", 10);
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME));
    m_pVolume->Rename(L"a.txt", L"sub\\b.txt");
    Drain();
    auto records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(static_cast<DWORD>(FILE_ACTION_RENAMED_OLD_NAME), records[0].first);
    EXPECT_EQ(L"a.txt", records[0].second);
    EXPECT_EQ(static_cast<DWORD>(FILE_ACTION_RENAMED_NEW_NAME), records[1].first);
    EXPECT_EQ(L"sub\\b.txt", records[1].second);
}

TEST_F(Notify, FiltersSeparateFilesFromDirectories)
{
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_DIR_NAME));
    m_pVolume->CreateFile(L"ignored.txt", 10);
    Drain();
    EXPECT_EQ(0, m_seen.nCalls);
    m_pVolume->CreateDirectory(L"sub\\deeper");
    Drain();
    ASSERT_EQ(1, m_seen.nCalls);
    EXPECT_EQ(L"sub\\deeper", Records()[0].second);
}

TEST_F(Notify, OverflowCompletesEmpty)
{
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME, 64));
    m_system.Lock();
    m_pVolume->CreateFile(L"a-rather-long-name-that-fills-the-small-buffer.txt", 1);
    m_system.Unlock();
    Drain();
    EXPECT_EQ(1, m_seen.nCalls);
    EXPECT_EQ(0u, m_seen.dwBytes);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOTIFY_ENUM_DIR), m_seen.dwError);
    EXPECT_EQ(static_cast<ULONG_PTR>(ntstatus::NotifyEnumDir), m_overlapped.Internal);
}

TEST_F(Notify, CancelFromAnotherThreadDoesNothingAndCloseCompletes)
{
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME));
    HANDLE hRoot = m_hRoot;
    HANDLE hThread = ::CreateThread(nullptr, 0, [](LPVOID p) -> DWORD { return sys::CancelIo(static_cast<HANDLE>(p)); },
                                    hRoot, 0, nullptr);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(hThread, 5000));
    ::CloseHandle(hThread);
    Drain();
    EXPECT_EQ(0, m_seen.nCalls);
    sys::CloseHandle(m_hRoot);
    m_opened.clear();
    Drain();
    EXPECT_EQ(1, m_seen.nCalls);
    EXPECT_EQ(0u, m_seen.dwBytes);
}

TEST_F(Notify, CancelOnTheIssuingThreadAborts)
{
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME));
    ASSERT_TRUE(sys::CancelIo(m_hRoot));
    Drain();
    EXPECT_EQ(1, m_seen.nCalls);
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), m_seen.dwError);
    EXPECT_EQ(static_cast<ULONG_PTR>(static_cast<ULONG>(ntstatus::Cancelled)), m_overlapped.Internal);
}

TEST_F(Notify, WineAnswersIgnoreTheSubtree)
{
    m_system.m_bWineAnswers = true;
    ASSERT_TRUE(Arm(FILE_NOTIFY_CHANGE_FILE_NAME));
    m_pVolume->CreateFile(L"sub\\deep.txt", 10);
    Drain();
    EXPECT_EQ(0, m_seen.nCalls);
    m_pVolume->CreateFile(L"top.txt", 10);
    Drain();
    EXPECT_EQ(1, m_seen.nCalls);
}

} // namespace
