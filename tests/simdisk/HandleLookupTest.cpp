// Another process's handles on simulated files: the process list, process handles, the
// system's handle table, duplication and object names.
#include "SimFixture.h"
#include "platform/LittleEndian.h"

#include "simdisk/SimProcesses.h"
#include "tests/platform/WaitFor.h"

#include <cstring>

namespace {

using le::Get;

class HandleLookup : public CSimFixture
{
protected:
    void SetUp() override
    {
        CSimFixture::SetUp();
        m_pVolume->CreateDirectory(L"dir");
        m_pVolume->CreateFile(L"dir\\held.txt", 4096 * 4, Exact({{0, 30000, 4}}));
        m_system.Processes().Hold(m_system.Processes().ExplorerPid(), *m_pVolume, L"dir\\held.txt", GENERIC_READ, 0);
    }

    std::vector<BYTE> HandleTable()
    {
        std::vector<BYTE> table(8192);
        ULONG ulNeeded = 0;
        NTSTATUS status = sys::NtQuerySystemInformation(SystemHandleInformation, table.data(), 8192, &ulNeeded);
        if (status == ntstatus::InfoLengthMismatch)
        {
            table.resize(ulNeeded + 256);
            status = sys::NtQuerySystemInformation(SystemHandleInformation, table.data(), ulNeeded + 256, &ulNeeded);
        }
        EXPECT_EQ(ntstatus::Success, status);
        return table;
    }
};

TEST_F(HandleLookup, ProcessListHasTheSystemAndTheShell)
{
    HANDLE h = sys::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD dwExplorer = 0, dwSystem = 0;
    for (BOOL b = sys::Process32FirstW(h, &entry); b; b = sys::Process32NextW(h, &entry))
    {
        if (std::wstring(entry.szExeFile) == L"explorer.exe")
            dwExplorer = entry.th32ProcessID;
        if (std::wstring(entry.szExeFile) == L"System")
            dwSystem = entry.th32ProcessID;
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), ::GetLastError());
    sys::CloseHandle(h);
    EXPECT_EQ(m_system.Processes().ExplorerPid(), dwExplorer);
    EXPECT_EQ(4u, dwSystem);
    EXPECT_EQ(nullptr, sys::OpenProcess(PROCESS_DUP_HANDLE, TRUE, 77777));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
}

TEST_F(HandleLookup, ShellProcessMayBeAbsentOrMoved)
{
    auto explorer = [&]() {
        HANDLE h = sys::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        DWORD dwFound = 0;
        for (BOOL b = sys::Process32FirstW(h, &entry); b; b = sys::Process32NextW(h, &entry))
            if (std::wstring(entry.szExeFile) == L"explorer.exe")
                dwFound = entry.th32ProcessID;
        sys::CloseHandle(h);
        return dwFound;
    };
    const DWORD dwFirst = m_system.Processes().ExplorerPid();
    m_system.Processes().RemoveProcess(dwFirst);
    EXPECT_EQ(0u, explorer());
    EXPECT_EQ(nullptr, sys::OpenProcess(PROCESS_DUP_HANDLE, TRUE, dwFirst));
    m_system.Processes().AddProcess(2468, L"explorer.exe");
    EXPECT_EQ(2468u, explorer());
    EXPECT_EQ(2468u, m_system.Processes().ExplorerPid());
}

TEST_F(HandleLookup, HeldFileIsFoundDuplicatedAndNamed)
{
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(L"S:\\dir\\held.txt", GENERIC_READ));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    std::vector<BYTE> table = HandleTable();
    const ULONG ulCount = Get<ULONG>(table.data(), 0);
    const DWORD dwExplorer = m_system.Processes().ExplorerPid();
    HANDLE hProcess = sys::OpenProcess(PROCESS_DUP_HANDLE, TRUE, dwExplorer);
    ASSERT_NE(nullptr, hProcess);
    HANDLE hFound = nullptr;
    for (ULONG i = 0; i < ulCount && !hFound; ++i)
    {
        const BYTE* p = table.data() + 8 + 24 * i;
        if (Get<USHORT>(p, 0) != dwExplorer || Get<WORD>(p, 4) != m_system.m_byFileObjectType)
            continue;
        HANDLE hDuplicate = nullptr;
        ASSERT_EQ(ntstatus::Success, sys::NtDuplicateObject(hProcess, reinterpret_cast<HANDLE>(Get<USHORT>(p, 6)),
                                                            ::GetCurrentProcess(), &hDuplicate, 0, 0, 0));
        std::vector<BYTE> name(4096);
        ULONG ulReturned = 0;
        ASSERT_EQ(ntstatus::Success, sys::NtQueryObject(hDuplicate, ObjectNameInformation, name.data(), 4096, &ulReturned));
        auto* pName = reinterpret_cast<UNICODE_STRING*>(name.data());
        std::wstring strName(pName->Buffer, pName->Length / 2);
        if (strName == L"\\Device\\HarddiskVolume1\\dir\\held.txt")
            hFound = hDuplicate;
        else
            sys::CloseHandle(hDuplicate);
    }
    ASSERT_NE(nullptr, hFound);
    m_opened.push_back(hFound);
    BY_HANDLE_FILE_INFORMATION info;
    EXPECT_TRUE(sys::GetFileInformationByHandle(hFound, &info)) << "a duplicate without access still answers";
    BYTE byData[16];
    DWORD dwRead;
    EXPECT_FALSE(sys::ReadFile(hFound, byData, 16, &dwRead, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
    EXPECT_EQ(ntstatus::Success, Move(OpenVolume(), hFound, 0, 50000, 4));
    m_system.m_bRefuseNoAccessMoves = true;
    EXPECT_EQ(ntstatus::AccessDenied, Move(OpenVolume(), hFound, 0, 60000, 4));
    sys::CloseHandle(hProcess);
}

TEST_F(HandleLookup, OwnHandlesStandInTheTableWithTheFileType)
{
    HANDLE hOwn = Open(L"S:\\dir", 0);
    std::vector<BYTE> table = HandleTable();
    const ULONG ulCount = Get<ULONG>(table.data(), 0);
    bool bFound = false;
    for (ULONG i = 0; i < ulCount; ++i)
    {
        const BYTE* p = table.data() + 8 + 24 * i;
        if (Get<USHORT>(p, 0) == static_cast<USHORT>(::GetCurrentProcessId()) &&
            Get<USHORT>(p, 6) == static_cast<USHORT>(reinterpret_cast<ULONG_PTR>(hOwn)))
        {
            bFound = true;
            EXPECT_EQ(m_system.m_byFileObjectType, p[4]);
        }
    }
    EXPECT_TRUE(bFound);
    std::vector<BYTE> name(64);
    ULONG ulNeeded = 0;
    EXPECT_EQ(ntstatus::InfoLengthMismatch, sys::NtQueryObject(OpenVolume(), ObjectNameInformation, name.data(), 20, &ulNeeded));
    name.resize(ulNeeded);
    ASSERT_EQ(ntstatus::Success, sys::NtQueryObject(OpenVolume(), ObjectNameInformation, name.data(), ulNeeded, &ulNeeded));
    auto* pName = reinterpret_cast<UNICODE_STRING*>(name.data());
    EXPECT_EQ(L"\\Device\\HarddiskVolume1", std::wstring(pName->Buffer, pName->Length / 2));
}

TEST_F(HandleLookup, ExtendedTableKeepsWholeHandleValues)
{
    // Enough handles that the next one's value no longer fits the old table's 16 bits.
    std::vector<HANDLE> filler;
    while (filler.size() < 40000 && (filler.empty() || reinterpret_cast<ULONG_PTR>(filler.back()) < 0x10000))
        filler.push_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE hOwn = Open(L"S:\\dir", 0);
    for (HANDLE h : filler)
        ::CloseHandle(h);
    ASSERT_GT(reinterpret_cast<ULONG_PTR>(hOwn), 0xFFFFu);
    const SYSTEM_INFORMATION_CLASS eExtended = static_cast<SYSTEM_INFORMATION_CLASS>(64);
    ULONG ulNeeded = 0;
    std::vector<BYTE> table(64);
    ASSERT_EQ(ntstatus::InfoLengthMismatch, sys::NtQuerySystemInformation(eExtended, table.data(), 64, &ulNeeded));
    table.resize(ulNeeded);
    ASSERT_EQ(ntstatus::Success, sys::NtQuerySystemInformation(eExtended, table.data(), ulNeeded, &ulNeeded));
    bool bFound = false;
    for (ULONG_PTR i = 0; i < Get<ULONG_PTR>(table.data(), 0); ++i)
    {
        const BYTE* p = table.data() + 16 + 40 * i;
        bFound = bFound || (Get<ULONG_PTR>(p, 8) == ::GetCurrentProcessId() &&
                            Get<ULONG_PTR>(p, 16) == reinterpret_cast<ULONG_PTR>(hOwn));
    }
    EXPECT_TRUE(bFound);
}

TEST_F(HandleLookup, NameQueryCanHangWithoutHoldingUpOtherCalls)
{
    SIM_FAULT fault;
    fault.eCall = SIM_CALL::QueryObject;
    // Far longer than an open takes even on a loaded machine.
    fault.dwDelayMs = 3000;
    fault.status = ntstatus::Unsuccessful;
    fault.nTimes = 1;
    m_system.Faults().Add(fault);
    HANDLE hVolume = OpenVolume();
    HANDLE hThread = ::CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
        BYTE name[512];
        ULONG ulReturned;
        return static_cast<DWORD>(sys::NtQueryObject(static_cast<HANDLE>(p), ObjectNameInformation, name, 512, &ulReturned));
    }, hVolume, 0, nullptr);
    ASSERT_TRUE(WaitFor([this] {
        CSimLock lock(m_system);
        return m_system.Faults().Fired() > 0;
    }));
    EXPECT_NE(INVALID_HANDLE_VALUE, Open(L"S:\\dir"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(hThread, 0))
        << "the open waited for the hanging query";
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(hThread, GenerousWaitMs));
    DWORD dwStatus = 0;
    ::GetExitCodeThread(hThread, &dwStatus);
    ::CloseHandle(hThread);
    EXPECT_EQ(static_cast<DWORD>(ntstatus::Unsuccessful), dwStatus);
}

TEST_F(HandleLookup, TableThatGrowsBetweenCallsFailsTheSecond)
{
    SIM_FAULT fault;
    fault.eCall = SIM_CALL::QuerySystemInformation;
    fault.nNth = 2;
    fault.eAction = SIM_FAULT_ACTION::GrowTable;
    m_system.Faults().Add(fault);
    std::vector<BYTE> table(64);
    ULONG ulNeeded = 0;
    ASSERT_EQ(ntstatus::InfoLengthMismatch, sys::NtQuerySystemInformation(SystemHandleInformation, table.data(), 64, &ulNeeded));
    table.resize(ulNeeded + 256);
    EXPECT_EQ(ntstatus::InfoLengthMismatch,
              sys::NtQuerySystemInformation(SystemHandleInformation, table.data(), ulNeeded + 256, &ulNeeded));
}

} // namespace
