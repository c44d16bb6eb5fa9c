#include "engine/HandleSnapshot.h"
#include "engine/ObjectNameQuery.h"
#include "engine/SystemLevel.h"

#include "platform/NtStatus.h"
#include "platform/sys.h"
#include "tests/platform/WaitFor.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// A process list, a handle table and the names of the objects behind it, answered through
// the seam. Handles it gives out are values no real handle of this process has.
class CFakeSystem
{
public:
    struct HELD
    {
        DWORD dwProcess;
        ULONG_PTR ulHandle;
        BYTE byType;
        BYTE byFlags;
        std::wstring strName;
        DWORD dwFileType;
        bool bHangs;
    };

    static constexpr ULONG_PTR ProcessBase = 0x70000000, DuplicateBase = 0x71000000, VolumeHandle = 0x72000000,
                               SnapshotHandle = 0x73000000, FakeEnd = 0x74000000;

    CFakeSystem() : m_table(sys::RealTable()), m_hRelease(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        s_pCurrent = this;
        m_table.pfnNtQuerySystemInformation = &QuerySystem;
        m_table.pfnOpenProcess = &OpenProcess;
        m_table.pfnNtDuplicateObject = &Duplicate;
        m_table.pfnGetFileType = &GetFileType;
        m_table.pfnNtQueryObject = &QueryObject;
        m_table.pfnCreateFileW = &CreateFileW;
        m_table.pfnCloseHandle = &CloseHandle;
        m_table.pfnCreateToolhelp32Snapshot = &Snapshot;
        m_table.pfnProcess32FirstW = &ProcessFirst;
        m_table.pfnProcess32NextW = &ProcessNext;
        sys::Install(&m_table);
    }
    ~CFakeSystem()
    {
        ::SetEvent(m_hRelease);
        WaitUntilClosed();
        sys::Install(nullptr);
        s_pCurrent = nullptr;
        ::CloseHandle(m_hRelease);
    }

    // The threads on which a question blocked.
    std::set<DWORD> StuckThreads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stuck;
    }

    // A stuck name query is let go; the thread that asked it must then close its duplicate.
    bool WaitUntilClosed()
    {
        ::SetEvent(m_hRelease);
        return WaitFor([this] {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_open.empty() && std::includes(m_closers.begin(), m_closers.end(), m_stuck.begin(), m_stuck.end());
        });
    }
    size_t OpenCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_open.size();
    }
    int StrayCloses()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nStrayCloses;
    }
    std::vector<std::wstring> Named()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_named;
    }

    std::vector<std::pair<std::wstring, DWORD>> m_processes;
    std::vector<HELD> m_held;
    bool m_bExtended = true;
    size_t m_nGrowth = 0;          // entries the table gains on every call
    ULONG_PTR m_ulClaimedCount = 0; // a count beyond the entries, when not 0
    bool m_bSnapshotFails = false;
    bool m_bVolumeOpenFails = false;
    bool m_bDeviceNameFails = false;
    BYTE m_byOwnType = 0;          // the type the table gives our own file handles; 0 lists none
    std::wstring m_strDevice = L"\\Device\\HarddiskVolume2";
    std::wstring m_strVolumeOpened;
    std::vector<ULONG> m_options;

private:
    static CFakeSystem* s_pCurrent;

    static bool IsFake(HANDLE h)
    {
        ULONG_PTR ul = reinterpret_cast<ULONG_PTR>(h);
        return ul >= ProcessBase && ul < FakeEnd;
    }
    HANDLE Hand(ULONG_PTR ul)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.insert(ul);
        return reinterpret_cast<HANDLE>(ul);
    }
    const HELD* Duplicated(HANDLE h) const
    {
        ULONG_PTR ul = reinterpret_cast<ULONG_PTR>(h);
        if (ul < DuplicateBase || ul >= DuplicateBase + m_held.size())
            return nullptr;
        return &m_held[ul - DuplicateBase];
    }

    std::vector<HELD> Table()
    {
        std::vector<HELD> table = m_held;
        for (ULONG_PTR ulOwn : m_own)
            table.push_back({::GetCurrentProcessId(), ulOwn, m_byOwnType, 0, L"", FILE_TYPE_DISK, false});
        m_nGrown += m_nGrowth;
        for (size_t i = 0; i < m_nGrown; ++i)
            table.push_back({999, 4 * (i + 1), 7, 0, L"", FILE_TYPE_UNKNOWN, false});
        return table;
    }

    static NTSTATUS NTAPI QuerySystem(SYSTEM_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength, PULONG pulNeeded)
    {
        CFakeSystem& self = *s_pCurrent;
        bool bExtended = eClass == SystemExtendedHandleInformation;
        if ((bExtended && !self.m_bExtended) || (!bExtended && eClass != SystemHandleInformation))
            return ntstatus::InvalidInfoClass;
        std::vector<HELD> table = self.Table();
        size_t nHeader = bExtended ? offsetof(SYSTEM_HANDLE_INFORMATION_EX, Handles)
                                   : offsetof(SYSTEM_HANDLE_INFORMATION, Handle);
        size_t nEntry = bExtended ? sizeof(SYSTEM_HANDLE_ENTRY_EX) : sizeof(SYSTEM_HANDLE_ENTRY);
        ULONG ulNeeded = static_cast<ULONG>(nHeader + table.size() * nEntry);
        *pulNeeded = ulNeeded;
        if (ulLength < ulNeeded)
            return ntstatus::InfoLengthMismatch;
        ULONG_PTR ulCount = self.m_ulClaimedCount != 0 ? self.m_ulClaimedCount : table.size();
        BYTE* pOut = static_cast<BYTE*>(pInfo);
        memset(pOut, 0, ulNeeded);
        if (bExtended)
            memcpy(pOut, &ulCount, sizeof(ulCount));
        else
            *reinterpret_cast<ULONG*>(pOut) = static_cast<ULONG>(ulCount);
        for (size_t i = 0; i < table.size(); ++i)
        {
            const HELD& held = table[i];
            BYTE* pEntry = pOut + nHeader + i * nEntry;
            PVOID pObject = reinterpret_cast<PVOID>(0xFFFF800012340000ull + i * 0x10);
            if (bExtended)
            {
                auto p = reinterpret_cast<SYSTEM_HANDLE_ENTRY_EX*>(pEntry);
                *p = {pObject, held.dwProcess, held.ulHandle, 0x12019F, 0,
                      held.byType, held.byFlags, 0};
            }
            else
            {
                auto p = reinterpret_cast<SYSTEM_HANDLE_ENTRY*>(pEntry);
                *p = {held.dwProcess, held.byType, held.byFlags, static_cast<USHORT>(held.ulHandle), pObject, 0x12019F};
            }
        }
        return ntstatus::Success;
    }

    static HANDLE WINAPI OpenProcess(DWORD dwAccess, BOOL bInherit, DWORD dwProcess)
    {
        CFakeSystem& self = *s_pCurrent;
        bool bKnown = std::any_of(self.m_processes.begin(), self.m_processes.end(),
                                  [&](const auto& p) { return p.second == dwProcess; });
        if (!bKnown || dwAccess != PROCESS_DUP_HANDLE || !bInherit)
        {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        return self.Hand(ProcessBase + dwProcess);
    }

    static NTSTATUS NTAPI Duplicate(HANDLE hProcess, HANDLE hSource, HANDLE hTarget, PHANDLE phTarget, ACCESS_MASK,
                                    ULONG, ULONG ulOptions)
    {
        CFakeSystem& self = *s_pCurrent;
        self.m_options.push_back(ulOptions);
        ULONG_PTR ulProcess = reinterpret_cast<ULONG_PTR>(hProcess) - ProcessBase;
        for (size_t i = 0; i < self.m_held.size(); ++i)
        {
            const HELD& held = self.m_held[i];
            if (held.dwProcess == ulProcess && held.ulHandle == reinterpret_cast<ULONG_PTR>(hSource) &&
                hTarget == ::GetCurrentProcess())
            {
                *phTarget = self.Hand(DuplicateBase + i);
                return ntstatus::Success;
            }
        }
        return ntstatus::InvalidHandle;
    }

    // A synchronous pipe with a read pending blocks every question, its type included.
    static DWORD WINAPI GetFileType(HANDLE h)
    {
        CFakeSystem& self = *s_pCurrent;
        const HELD* pHeld = self.Duplicated(h);
        if (pHeld == nullptr)
            return sys::RealTable().pfnGetFileType(h);
        if (pHeld->bHangs && pHeld->dwFileType == FILE_TYPE_PIPE)
        {
            {
                std::lock_guard<std::mutex> lock(self.m_mutex);
                self.m_stuck.insert(::GetCurrentThreadId());
            }
            ::WaitForSingleObject(self.m_hRelease, 10000);
        }
        return pHeld->dwFileType;
    }

    static NTSTATUS NTAPI QueryObject(HANDLE h, OBJECT_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength,
                                      PULONG pulReturned)
    {
        CFakeSystem& self = *s_pCurrent;
        std::wstring strName;
        if (reinterpret_cast<ULONG_PTR>(h) == VolumeHandle && !self.m_bDeviceNameFails)
            strName = self.m_strDevice;
        else if (const HELD* pHeld = self.Duplicated(h))
        {
            if (pHeld->bHangs)
            {
                {
                    std::lock_guard<std::mutex> lock(self.m_mutex);
                    self.m_stuck.insert(::GetCurrentThreadId());
                }
                ::WaitForSingleObject(self.m_hRelease, 10000);
                return ntstatus::Unsuccessful;
            }
            strName = pHeld->strName;
        }
        else
            return ntstatus::InvalidHandle;
        {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            self.m_named.push_back(strName);
        }
        ULONG ulNeeded = static_cast<ULONG>(sizeof(OBJECT_NAME_INFORMATION) + strName.size() * 2 + 2);
        *pulReturned = ulNeeded;
        if (eClass != ObjectNameInformation || ulLength < ulNeeded)
            return ntstatus::InfoLengthMismatch;
        auto pName = static_cast<OBJECT_NAME_INFORMATION*>(pInfo);
        pName->Name.Buffer = reinterpret_cast<PWSTR>(pName + 1);
        pName->Name.Length = static_cast<USHORT>(strName.size() * 2);
        pName->Name.MaximumLength = static_cast<USHORT>(strName.size() * 2 + 2);
        memcpy(pName->Name.Buffer, strName.c_str(), strName.size() * 2 + 2);
        return ntstatus::Success;
    }

    static HANDLE WINAPI CreateFileW(LPCWSTR pszPath, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                                     DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate)
    {
        CFakeSystem& self = *s_pCurrent;
        std::wstring strPath(pszPath);
        if (strPath.compare(0, 4, L"\\\\.\\") == 0 || strPath.compare(0, 10, L"\\\\?\\Volume") == 0)
        {
            self.m_strVolumeOpened = strPath;
            if (self.m_bVolumeOpenFails || dwAccess != GENERIC_READ)
            {
                ::SetLastError(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            if (self.m_byOwnType != 0)
                self.m_own.insert(VolumeHandle);
            return self.Hand(VolumeHandle);
        }
        HANDLE h = sys::RealTable().pfnCreateFileW(pszPath, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags,
                                                   hTemplate);
        if (h != INVALID_HANDLE_VALUE && self.m_byOwnType != 0)
            self.m_own.insert(reinterpret_cast<ULONG_PTR>(h));
        return h;
    }

    static BOOL WINAPI CloseHandle(HANDLE h)
    {
        CFakeSystem& self = *s_pCurrent;
        self.m_own.erase(reinterpret_cast<ULONG_PTR>(h));
        if (!IsFake(h))
            return sys::RealTable().pfnCloseHandle(h);
        std::lock_guard<std::mutex> lock(self.m_mutex);
        self.m_closers.insert(::GetCurrentThreadId());
        if (self.m_open.erase(reinterpret_cast<ULONG_PTR>(h)) != 0)
            return TRUE;
        ++self.m_nStrayCloses;
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }

    static HANDLE WINAPI Snapshot(DWORD dwFlags, DWORD)
    {
        if (s_pCurrent->m_bSnapshotFails || dwFlags != TH32CS_SNAPPROCESS)
        {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        s_pCurrent->m_nNextProcess = 0;
        return s_pCurrent->Hand(SnapshotHandle);
    }
    static BOOL WINAPI ProcessFirst(HANDLE h, LPPROCESSENTRY32W pEntry)
    {
        s_pCurrent->m_nNextProcess = 0;
        return ProcessNext(h, pEntry);
    }
    static BOOL WINAPI ProcessNext(HANDLE, LPPROCESSENTRY32W pEntry)
    {
        CFakeSystem& self = *s_pCurrent;
        if (self.m_nNextProcess >= self.m_processes.size())
        {
            ::SetLastError(ERROR_NO_MORE_FILES);
            return FALSE;
        }
        const auto& process = self.m_processes[self.m_nNextProcess++];
        wcsncpy(pEntry->szExeFile, process.first.c_str(), MAX_PATH);
        pEntry->th32ProcessID = process.second;
        return TRUE;
    }

    sys::SYS_TABLE m_table;
    HANDLE m_hRelease;
    std::mutex m_mutex;
    std::set<ULONG_PTR> m_open;
    std::set<ULONG_PTR> m_own;
    std::vector<std::wstring> m_named;
    size_t m_nGrown = 0;
    size_t m_nNextProcess = 0;
    std::set<DWORD> m_stuck;    // threads whose name query hung
    std::set<DWORD> m_closers;  // threads that closed one of our handles
    int m_nStrayCloses = 0;  // closes of handles that were not open: closed twice, or never ours
};

CFakeSystem* CFakeSystem::s_pCurrent = nullptr;

using HELD = CFakeSystem::HELD;
const std::wstring Target = L"\\Device\\HarddiskVolume2\\dir\\f.txt";
const wchar_t* const Guid = L"\\\\?\\Volume{0a1b2c3d-0000-1111-2222-333344445555}";

ULONG_PTR DuplicateOf(const CFakeSystem& fake, ULONG_PTR ulHandle)
{
    for (size_t i = 0; i < fake.m_held.size(); ++i)
    {
        if (fake.m_held[i].ulHandle == ulHandle)
            return CFakeSystem::DuplicateBase + i;
    }
    return 0;
}

class HandleSnapshotTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        m_fake.m_bExtended = GetParam();
        m_fake.m_processes = {{L"System", 4}, {L"explorer.exe", 1234}, {L"other.exe", 8}};
    }
    void TearDown() override
    {
        EXPECT_TRUE(m_fake.WaitUntilClosed());
        EXPECT_EQ(0, m_fake.StrayCloses());
        EXPECT_EQ(0, CObjectNameQuery::GetStuckThreadCount()) << "a released query forgets its object";
    }

    // Handles of every kind that the search must pass over, around the one it must find.
    void HoldTargetAmongOthers(DWORD dwProcess)
    {
        m_fake.m_held = {
            {8, 0x20, 25, 0, Target, FILE_TYPE_DISK, false},
            {dwProcess, 0x10, 25, 0, L"\\Device\\NamedPipe\\busy", FILE_TYPE_PIPE, false},
            {dwProcess, 0x14, 7, 0, L"\\BaseNamedObjects\\event", FILE_TYPE_UNKNOWN, false},
            {dwProcess, 0x18, 25, 0, L"\\Device\\HarddiskVolume2\\other.txt", FILE_TYPE_DISK, false},
            {dwProcess, 0x1C, 25, 2, Target, FILE_TYPE_DISK, false},
            {dwProcess, 0x20, 25, 0, L"\\Device\\HarddiskVolume2\\DIR\\f.txt", FILE_TYPE_DISK, false},
            {dwProcess, 0x24, 25, 0, Target, FILE_TYPE_DISK, false},
            {9, 0x28, 25, 0, Target, FILE_TYPE_DISK, false},
        };
    }

    CFakeSystem m_fake;
};

TEST_P(HandleSnapshotTest, FindsTheFileAmongAProcesssHandles)
{
    for (DWORD dwProcess : {4u, 1234u})
    {
        SCOPED_TRACE(dwProcess);
        HoldTargetAmongOthers(dwProcess);
        m_fake.m_options.clear();
        CHandleSnapshot snapshot(dwProcess);
        HANDLE hFound = snapshot.FindFileHandle(L"C:\\", 25, L"C:\\dir\\f.txt");
        EXPECT_EQ(DuplicateOf(m_fake, 0x24), reinterpret_cast<ULONG_PTR>(hFound));
        EXPECT_EQ(L"\\\\.\\C:", m_fake.m_strVolumeOpened);
        std::vector<std::wstring> named = m_fake.Named();
        EXPECT_EQ(named.end(), std::find(named.begin(), named.end(), L"\\Device\\NamedPipe\\busy"))
            << "a pipe is never asked its name";
        EXPECT_EQ(std::vector<ULONG>(m_fake.m_options.size(), DUPLICATE_SAME_ACCESS), m_fake.m_options);
        EXPECT_EQ(1u, m_fake.OpenCount()) << "only the duplicate found stays open";
        sys::CloseHandle(hFound);
    }
}

TEST_P(HandleSnapshotTest, FindsAFileNamedByItsVolumeGuid)
{
    HoldTargetAmongOthers(4);
    CHandleSnapshot snapshot(4);
    std::wstring strRoot = std::wstring(Guid) + L"\\";
    HANDLE hFound = snapshot.FindFileHandle(strRoot.c_str(), 25, (strRoot + L"dir\\f.txt").c_str());
    EXPECT_EQ(DuplicateOf(m_fake, 0x24), reinterpret_cast<ULONG_PTR>(hFound));
    EXPECT_EQ(Guid, m_fake.m_strVolumeOpened);
    sys::CloseHandle(hFound);
}

// A name query that never returns costs a time-out, and the search goes on with the next
// handle; the stuck query's duplicate is closed once the query lets go.
TEST_P(HandleSnapshotTest, StuckNameQueryIsLeftBehind)
{
    m_fake.m_held = {{4, 0x10, 25, 0, L"\\Device\\NamedPipe\\sync", FILE_TYPE_DISK, true},
                     {4, 0x14, 25, 0, Target, FILE_TYPE_DISK, false}};
    CHandleSnapshot snapshot(4);
    DWORD dwStart = ::GetTickCount();
    HANDLE hFound = snapshot.FindFileHandle(L"C:\\", 25, L"C:\\dir\\f.txt");
    DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_EQ(DuplicateOf(m_fake, 0x14), reinterpret_cast<ULONG_PTR>(hFound));
    EXPECT_GE(dwElapsed + 50, CObjectNameQuery::TimeoutMs);
    EXPECT_LT(dwElapsed, GenerousWaitMs) << "waited for the stuck query";
    sys::CloseHandle(hFound);
    EXPECT_TRUE(m_fake.WaitUntilClosed());
}

// Later searches skip an object that is still stuck in an earlier one, instead of leaving
// another thread behind on it.
TEST_P(HandleSnapshotTest, StuckObjectIsSkippedByLaterSearches)
{
    m_fake.m_held = {{4, 0x10, 25, 0, L"\\Device\\NamedPipe\\sync", FILE_TYPE_DISK, true},
                     {4, 0x14, 25, 0, Target, FILE_TYPE_DISK, false}};
    for (int nSearch = 0; nSearch < 2; ++nSearch)
    {
        SCOPED_TRACE(nSearch);
        CHandleSnapshot snapshot(4);
        HANDLE hFound = snapshot.FindFileHandle(L"C:\\", 25, L"C:\\dir\\f.txt");
        EXPECT_EQ(DuplicateOf(m_fake, 0x14), reinterpret_cast<ULONG_PTR>(hFound));
        sys::CloseHandle(hFound);
    }
    EXPECT_EQ(1u, m_fake.StuckThreads().size());
    EXPECT_EQ(1, CObjectNameQuery::GetStuckThreadCount());
}

// Once as many threads as allowed are stuck, nothing more is asked: the search gives up
// rather than leave more threads behind.
TEST_P(HandleSnapshotTest, StuckThreadsAreCapped)
{
    for (ULONG_PTR ulHandle = 0x10; ulHandle < 0x10 + 4 * (CObjectNameQuery::MaxStuckThreads + 1); ulHandle += 4)
        m_fake.m_held.push_back({4, ulHandle, 25, 0, L"\\Device\\NamedPipe\\sync", FILE_TYPE_DISK, true});
    m_fake.m_held.push_back({4, 0x80, 25, 0, Target, FILE_TYPE_DISK, false});
    CHandleSnapshot snapshot(4);
    EXPECT_EQ(INVALID_HANDLE_VALUE, snapshot.FindFileHandle(L"C:\\", 25, L"C:\\dir\\f.txt"));
    EXPECT_EQ(static_cast<size_t>(CObjectNameQuery::MaxStuckThreads), m_fake.StuckThreads().size());
    EXPECT_EQ(CObjectNameQuery::MaxStuckThreads, CObjectNameQuery::GetStuckThreadCount());
}

// The caller's stop event ends the search, also while it waits for a stuck query; without it
// the search would go on to the file after the time-out.
TEST_P(HandleSnapshotTest, StopEventEndsTheSearchWhileItWaits)
{
    m_fake.m_held = {{4, 0x10, 25, 0, L"\\Device\\NamedPipe\\sync", FILE_TYPE_DISK, true},
                     {4, 0x14, 25, 0, Target, FILE_TYPE_DISK, false}};
    HANDLE hStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hStop);
    std::thread stopper([&] {
        EXPECT_TRUE(WaitFor([&] { return !m_fake.StuckThreads().empty(); })) << "no query got stuck";
        ::SetEvent(hStop);
    });
    CHandleSnapshot snapshot(4);
    HANDLE hFound = snapshot.FindFileHandle(L"C:\\", 25, L"C:\\dir\\f.txt", hStop);
    stopper.join();
    EXPECT_EQ(INVALID_HANDLE_VALUE, hFound);
    std::vector<std::wstring> named = m_fake.Named();
    EXPECT_EQ(named.end(), std::find(named.begin(), named.end(), Target)) << "nothing is asked after the stop";
    ::CloseHandle(hStop);
}

TEST_P(HandleSnapshotTest, StuckTypeQueryIsLeftBehind)
{
    m_fake.m_held = {{4, 0x10, 25, 0, L"\\Device\\NamedPipe\\sync", FILE_TYPE_PIPE, true},
                     {4, 0x14, 25, 0, Target, FILE_TYPE_DISK, false}};
    CHandleSnapshot snapshot(4);
    HANDLE hFound = snapshot.FindFileHandle(L"C:\\", 25, L"C:\\dir\\f.txt");
    EXPECT_EQ(DuplicateOf(m_fake, 0x14), reinterpret_cast<ULONG_PTR>(hFound));
    sys::CloseHandle(hFound);
    EXPECT_TRUE(m_fake.WaitUntilClosed());
    std::set<DWORD> stuck = m_fake.StuckThreads();
    EXPECT_EQ(1u, stuck.size());
    EXPECT_EQ(0u, stuck.count(::GetCurrentThreadId())) << "the type was asked on the searching thread";
}

TEST_P(HandleSnapshotTest, EveryFailureClosesWhatWasOpened)
{
    struct CASE
    {
        const char* pszName;
        DWORD dwProcess;
        const wchar_t* pszRoot;
        const wchar_t* pszPath;
        bool CFakeSystem::*pbFails;
    };
    const CASE cases[] = {
        {"process cannot be opened", 77, L"C:\\", L"C:\\dir\\f.txt", nullptr},
        {"volume cannot be opened", 4, L"C:\\", L"C:\\dir\\f.txt", &CFakeSystem::m_bVolumeOpenFails},
        {"device has no name", 4, L"C:\\", L"C:\\dir\\f.txt", &CFakeSystem::m_bDeviceNameFails},
        {"no handle matches", 4, L"C:\\", L"C:\\dir\\g.txt", nullptr},
        {"path without volume", 4, L"C:\\", L"dir\\f.txt", nullptr},
        {"no volume root", 4, L"", L"C:\\dir\\f.txt", nullptr},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        HoldTargetAmongOthers(4);
        m_fake.m_bVolumeOpenFails = m_fake.m_bDeviceNameFails = false;
        if (c.pbFails != nullptr)
            m_fake.*c.pbFails = true;
        CHandleSnapshot snapshot(c.dwProcess);
        EXPECT_EQ(INVALID_HANDLE_VALUE, snapshot.FindFileHandle(c.pszRoot, 25, c.pszPath));
        EXPECT_EQ(0u, m_fake.OpenCount());
    }
}

TEST_P(HandleSnapshotTest, NextHandleWalksOnlyTheProcesssEntries)
{
    m_fake.m_held = {{8, 0x40, 25, 0, L"", FILE_TYPE_DISK, false},
                     {4, 0x10, 25, 0, L"", FILE_TYPE_DISK, false},
                     {4, 0x14, 7, 2, L"", FILE_TYPE_UNKNOWN, false},
                     {4, 0x18, 28, 0, L"", FILE_TYPE_DISK, false},
                     {9, 0x50, 25, 0, L"", FILE_TYPE_DISK, false}};
    m_fake.m_nGrowth = 700;  // the table outgrows the size it reported, call after call
    CHandleSnapshot snapshot(4);
    DWORD dwObject = 0;
    WORD wTypeAndFlags = 0;
    ACCESS_MASK dwAccess = 0;
    std::vector<ULONG_PTR> handles;
    std::vector<WORD> types;
    for (ULONG_PTR ul = snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess); ul != 0;
         ul = snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess))
    {
        handles.push_back(ul);
        types.push_back(wTypeAndFlags);
        EXPECT_EQ(0x12019Fu, dwAccess);
        EXPECT_EQ(0x12340000u + 0x10 * handles.size(), dwObject);
    }
    EXPECT_EQ((std::vector<ULONG_PTR>{0x10, 0x14, 0x18}), handles);
    EXPECT_EQ((std::vector<WORD>{25, 0x0207, 28}), types);
    EXPECT_EQ(0u, snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess));

    CHandleSnapshot none(77);
    EXPECT_EQ(0u, none.NextHandle(dwObject, wTypeAndFlags, dwAccess));
}

// A count that claims more entries than were written is cut to the buffer.
TEST_P(HandleSnapshotTest, ClaimedCountIsBoundedByTheBuffer)
{
    m_fake.m_held = {{4, 0x10, 25, 0, L"", FILE_TYPE_DISK, false}, {4, 0x14, 25, 0, L"", FILE_TYPE_DISK, false}};
    m_fake.m_ulClaimedCount = 50000000;
    CHandleSnapshot snapshot(4);
    DWORD dwObject = 0;
    WORD wTypeAndFlags = 0;
    ACCESS_MASK dwAccess = 0;
    EXPECT_EQ(0x10u, snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess));
    EXPECT_EQ(0x14u, snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess));
    EXPECT_EQ(0u, snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess));
}

TEST_P(HandleSnapshotTest, FileTypeNumberIsFoundFromOurOwnHandle)
{
    int nLevel = GetSystemLevel();
    SetSystemLevel(3);
    m_fake.m_byOwnType = 37;
    EXPECT_EQ(37, GetFileObjectTypeNumber());
    // The classic table cuts handle values to 16 bits, which the fake volume handle is not.
    EXPECT_EQ(GetParam() ? 37 : 25, GetFileObjectTypeNumber(L"C:\\"));
    EXPECT_EQ(L"\\\\.\\C:", m_fake.m_strVolumeOpened);
    EXPECT_EQ(0u, m_fake.OpenCount());
    m_fake.m_byOwnType = 0;
    EXPECT_EQ(25, GetFileObjectTypeNumber());
    SetSystemLevel(2);
    EXPECT_EQ(28, GetFileObjectTypeNumber());
    SetSystemLevel(1);
    EXPECT_EQ(28, GetFileObjectTypeNumber());
    SetSystemLevel(nLevel);
}

INSTANTIATE_TEST_SUITE_P(Tables, HandleSnapshotTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Extended" : "Classic";
                         });

TEST(FindExplorerProcessId, ExactNameOnly)
{
    struct CASE
    {
        const char* pszName;
        std::vector<std::pair<std::wstring, DWORD>> processes;
        bool bSnapshotFails;
        DWORD dwExpected;
    };
    const CASE cases[] = {
        {"present", {{L"System", 4}, {L"explorer.exe", 1234}, {L"explorer.exe", 1500}}, false, 1234},
        {"other case", {{L"System", 4}, {L"Explorer.EXE", 77}}, false, NoExplorerProcess},
        {"none", {}, false, NoExplorerProcess},
        {"process list unavailable", {{L"explorer.exe", 1234}}, true, 0},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CFakeSystem fake;
        fake.m_processes = c.processes;
        fake.m_bSnapshotFails = c.bSnapshotFails;
        EXPECT_EQ(c.dwExpected, FindExplorerProcessId());
        EXPECT_EQ(0u, fake.OpenCount());
    }
}

// Wine's own handle table and process list, through the real binding.
TEST(HandleSnapshotOnThisSystem, OwnFileHandleIsListedWithTheFileType)
{
    wchar_t szPath[MAX_PATH];
    ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, szPath, MAX_PATH));
    HANDLE hFile = ::CreateFileW(szPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    CHandleSnapshot snapshot(::GetCurrentProcessId());
    DWORD dwObject = 0;
    WORD wTypeAndFlags = 0;
    ACCESS_MASK dwAccess = 0;
    WORD wType = 0;
    for (ULONG_PTR ul = snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess); ul != 0 && wType == 0;
         ul = snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess))
    {
        if (ul == reinterpret_cast<ULONG_PTR>(hFile))
            wType = wTypeAndFlags & 0xFF;
    }
    ::CloseHandle(hFile);
    ASSERT_NE(0, wType) << "our own handle is in the table";
    EXPECT_EQ(wType, GetFileObjectTypeNumber());
    EXPECT_NE(0u, FindExplorerProcessId()) << "the process list can be walked";
}

} // namespace
