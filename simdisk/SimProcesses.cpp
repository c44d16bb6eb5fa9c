#include "simdisk/SimProcesses.h"

#include "platform/LittleEndian.h"
#include "platform/NtStatus.h"
#include "simdisk/SimSystem.h"

#include <algorithm>
#include <cstring>

namespace {

using le::Put;

constexpr DWORD SystemPid = 4;
constexpr DWORD DefaultExplorerPid = 1500;
constexpr DWORD IdleShellPid = 1600; // a process without handles in the table
constexpr BYTE EventObjectType = 16;
constexpr ULONG HandleEntryBytes = 24;
constexpr ULONG ExtendedEntryBytes = 40;

USHORT HeldHandleValue(size_t nIndex) { return static_cast<USHORT>(0x40 + 4 * nIndex); }

} // namespace

CSimProcesses::CSimProcesses(CSimSystem& system) : m_system(system)
{
    m_processes.push_back({SystemPid, L"System"});
    m_processes.push_back({DefaultExplorerPid, L"explorer.exe"});
    m_processes.push_back({IdleShellPid, L"sihost.exe"});
}

void CSimProcesses::AddProcess(DWORD dwPid, const std::wstring& strName)
{
    RemoveProcess(dwPid);
    m_processes.push_back({dwPid, strName});
}

DWORD CSimProcesses::ExplorerPid() const
{
    for (const PROCESS& process : m_processes)
        if (process.strName == L"explorer.exe")
            return process.dwPid;
    return 0;
}

void CSimProcesses::RemoveProcess(DWORD dwPid)
{
    m_processes.erase(std::remove_if(m_processes.begin(), m_processes.end(),
                                     [&](const PROCESS& p) { return p.dwPid == dwPid; }),
                      m_processes.end());
}

bool CSimProcesses::Hold(DWORD dwPid, CSimVolume& volume, const std::wstring& strPath, DWORD dwAccess, DWORD dwShare)
{
    CSimLock lock(m_system);
    CSimFile* pFile = volume.Lookup(strPath);
    if (!pFile)
        return false;
    SIM_HANDLE holder;
    holder.eKind = SIM_HANDLE_KIND::File;
    holder.pVolume = &volume;
    holder.ullReference = pFile->Reference();
    holder.dwAccess = dwAccess;
    holder.dwShare = dwShare;
    holder.dwProcessId = dwPid;
    m_system.Handles().AddHolder(holder);
    return true;
}

HANDLE CSimProcesses::Snapshot()
{
    SIM_HANDLE handle;
    handle.eKind = SIM_HANDLE_KIND::Snapshot;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (const PROCESS& process : m_processes)
    {
        entry.th32ProcessID = process.dwPid;
        wcsncpy(entry.szExeFile, process.strName.c_str(), MAX_PATH - 1);
        handle.processes.push_back(entry);
    }
    entry.th32ProcessID = ::GetCurrentProcessId();
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    const wchar_t* pszBase = std::wcsrchr(szPath, L'\\');
    wcsncpy(entry.szExeFile, pszBase ? pszBase + 1 : szPath, MAX_PATH - 1);
    handle.processes.push_back(entry);
    return m_system.Handles().Open(handle);
}

BOOL CSimProcesses::Next(HANDLE h, LPPROCESSENTRY32W pEntry, bool bFirst)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h, SIM_HANDLE_KIND::Snapshot);
    if (!pHandle || !pEntry || pEntry->dwSize < sizeof(PROCESSENTRY32W))
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (bFirst)
        pHandle->nNext = 0;
    if (pHandle->nNext >= pHandle->processes.size())
    {
        ::SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *pEntry = pHandle->processes[pHandle->nNext++];
    return TRUE;
}

HANDLE CSimProcesses::OpenProcess(DWORD dwAccess, BOOL bInherit, DWORD dwPid)
{
    if (dwPid == ::GetCurrentProcessId())
        return sys::RealTable().pfnOpenProcess(dwAccess, bInherit, dwPid);
    for (const PROCESS& process : m_processes)
        if (process.dwPid == dwPid)
        {
            SIM_HANDLE handle;
            handle.eKind = SIM_HANDLE_KIND::Process;
            handle.dwProcessId = dwPid;
            handle.dwAccess = dwAccess;
            return m_system.Handles().Open(handle);
        }
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

std::vector<CSimProcesses::ENTRY> CSimProcesses::TableEntries() const
{
    std::vector<ENTRY> entries;
    const DWORD dwSelf = ::GetCurrentProcessId();
    const std::vector<SIM_HANDLE>& holders = m_system.Handles().Holders();
    for (const PROCESS& process : m_processes)
    {
        for (size_t i = 0; i < holders.size(); ++i)
            if (holders[i].dwProcessId == process.dwPid)
                entries.push_back({process.dwPid, m_system.m_byFileObjectType, 0, HeldHandleValue(i), holders[i].dwAccess});
        // Each simulated process also holds something that is not a file.
        if (process.dwPid != IdleShellPid)
            entries.push_back({process.dwPid, EventObjectType, 0, 0x4, EVENT_ALL_ACCESS});
    }
    m_system.Handles().ForEach([&](HANDLE h, const SIM_HANDLE& handle) {
        if (handle.eKind == SIM_HANDLE_KIND::File || handle.eKind == SIM_HANDLE_KIND::Volume)
            entries.push_back({dwSelf, m_system.m_byFileObjectType, 0,
                               reinterpret_cast<ULONG_PTR>(h), handle.dwAccess});
    });
    return entries;
}

NTSTATUS CSimProcesses::FillTable(bool bExtended, BYTE* pOut, ULONG ulLength, PULONG pulReturned, ULONG ulExtra) const
{
    const std::vector<ENTRY> entries = TableEntries();
    const ULONG ulHeader = bExtended ? 16 : 8;
    const ULONG ulEntry = bExtended ? ExtendedEntryBytes : HandleEntryBytes;
    const ULONG ulNeeded = ulHeader + ulEntry * static_cast<ULONG>(entries.size()) + ulExtra;
    if (pulReturned)
        *pulReturned = ulNeeded;
    if (ulLength < ulNeeded)
        return ntstatus::InfoLengthMismatch;
    std::memset(pOut, 0, ulNeeded);
    if (bExtended)
        Put<ULONG_PTR>(pOut, 0, entries.size());
    else
        Put<ULONG>(pOut, 0, static_cast<ULONG>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i)
    {
        BYTE* p = pOut + ulHeader + ulEntry * i;
        const ENTRY& entry = entries[i];
        ULONG_PTR ulObject = 0xFFFF800000000000ull + 0x100 * (i + 1);
        if (bExtended)
        {
            Put<ULONG_PTR>(p, 0, ulObject);
            Put<ULONG_PTR>(p, 8, entry.dwPid);
            Put<ULONG_PTR>(p, 16, entry.ulHandle);
            Put<ULONG>(p, 24, entry.dwAccess);
            Put<USHORT>(p, 30, entry.byType);
            Put<ULONG>(p, 32, entry.byFlags);
        }
        else
        {
            Put<USHORT>(p, 0, static_cast<USHORT>(entry.dwPid));
            Put<BYTE>(p, 4, entry.byType);
            Put<BYTE>(p, 5, entry.byFlags);
            Put<USHORT>(p, 6, static_cast<USHORT>(entry.ulHandle));
            Put<ULONG_PTR>(p, 8, ulObject);
            Put<ULONG>(p, 16, entry.dwAccess);
        }
    }
    return ntstatus::Success;
}

NTSTATUS CSimProcesses::QuerySystemInformation(SYSTEM_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength,
                                               PULONG pulReturned)
{
    const int nClass = static_cast<int>(eClass);
    if (nClass != SystemHandleInformation && nClass != 64)
        return sys::RealTable().pfnNtQuerySystemInformation(eClass, pInfo, ulLength, pulReturned);
    SIM_FAULT fault;
    ULONG ulExtra = 0;
    if (m_system.Fault(SIM_CALL::QuerySystemInformation, static_cast<DWORD>(nClass), L"", -1, &fault))
    {
        if (fault.eAction != SIM_FAULT_ACTION::GrowTable)
            return fault.status;
        // The table grew between the caller's two calls: the size just reported is short.
        ulExtra = 4096;
    }
    return FillTable(nClass == 64, static_cast<BYTE*>(pInfo), ulLength, pulReturned, ulExtra);
}

NTSTATUS CSimProcesses::DuplicateObject(HANDLE hSourceProcess, HANDLE hSource, HANDLE hTargetProcess, PHANDLE phTarget,
                                        ACCESS_MASK dwAccess, ULONG ulAttributes, ULONG ulOptions)
{
    SIM_HANDLE* pProcess = m_system.Handles().Find(hSourceProcess, SIM_HANDLE_KIND::Process);
    SIM_HANDLE* pOwn = hSourceProcess == ::GetCurrentProcess() ? m_system.Handles().Find(hSource) : nullptr;
    if (!pProcess && !pOwn)
        return sys::RealTable().pfnNtDuplicateObject(hSourceProcess, hSource, hTargetProcess, phTarget, dwAccess,
                                                      ulAttributes, ulOptions);
    SIM_HANDLE duplicate;
    if (pOwn)
        duplicate = *pOwn;
    else
    {
        const std::vector<SIM_HANDLE>& holders = m_system.Handles().Holders();
        size_t nIndex = 0;
        while (nIndex < holders.size() &&
               !(holders[nIndex].dwProcessId == pProcess->dwProcessId &&
                 HeldHandleValue(nIndex) == static_cast<USHORT>(reinterpret_cast<ULONG_PTR>(hSource))))
            ++nIndex;
        if (nIndex == holders.size())
            return ntstatus::InvalidHandle;
        duplicate = holders[nIndex];
    }
    // Without DUPLICATE_SAME_ACCESS the duplicate has only the access asked for, none at all here.
    if (!(ulOptions & DUPLICATE_SAME_ACCESS))
        duplicate.dwAccess = dwAccess;
    duplicate.dwProcessId = ::GetCurrentProcessId();
    duplicate.llPosition = 0;
    HANDLE h = m_system.Handles().Open(duplicate);
    if (h == INVALID_HANDLE_VALUE)
        return ntstatus::Unsuccessful;
    *phTarget = h;
    m_nDuplicated += pOwn ? 0 : 1;
    return ntstatus::Success;
}

NTSTATUS CSimProcesses::QueryObjectName(HANDLE h, PVOID pInfo, ULONG ulLength, PULONG pulReturned)
{
    SIM_FAULT fault;
    bool bFault = false;
    {
        CSimLock lock(m_system);
        bFault = m_system.Faults().Match(SIM_CALL::QueryObject, 0, L"", -1, &fault);
    }
    // A query that hangs, as one on a pipe handle can, waits without the simulator's lock so
    // that the caller's other threads go on.
    if (bFault)
    {
        ::Sleep(fault.dwDelayMs);
        if (fault.status)
            return fault.status;
    }
    CSimLock lock(m_system);
    SIM_HANDLE* pHandle = m_system.Handles().Find(h);
    if (!pHandle || !pHandle->pVolume)
        return ntstatus::InvalidHandle;
    const std::wstring strName = m_system.ObjectName(*pHandle);
    const ULONG ulText = static_cast<ULONG>(2 * strName.size());
    const ULONG ulNeeded = sizeof(UNICODE_STRING) + ulText + 2;
    if (pulReturned)
        *pulReturned = ulNeeded;
    if (ulLength < ulNeeded)
        return ntstatus::InfoLengthMismatch;
    BYTE* p = static_cast<BYTE*>(pInfo);
    UNICODE_STRING text;
    text.Length = static_cast<USHORT>(ulText);
    text.MaximumLength = static_cast<USHORT>(ulText + 2);
    text.Buffer = reinterpret_cast<PWSTR>(p + sizeof(UNICODE_STRING));
    std::memcpy(p, &text, sizeof(text));
    std::memcpy(p + sizeof(UNICODE_STRING), strName.c_str(), ulText + 2);
    return ntstatus::Success;
}
