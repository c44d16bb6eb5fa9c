// The processes of the simulated system and the handles they hold on simulated files: the
// process list, process handles, the system's handle table (with this process's own file
// handles), duplication of another process's handle and the object names of handles.
#pragma once

#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

class CSimSystem;
class CSimVolume;

class CSimProcesses
{
public:
    explicit CSimProcesses(CSimSystem& system);

    // "System" (4) and "explorer.exe" are there from the start; a test may add or remove others.
    void AddProcess(DWORD dwPid, const std::wstring& strName);
    void RemoveProcess(DWORD dwPid);
    // The process holds the file (or stream) open, as an open of that access and sharing would.
    bool Hold(DWORD dwPid, CSimVolume& volume, const std::wstring& strPath, DWORD dwAccess, DWORD dwShare);
    // The process named "explorer.exe", or 0 when there is none.
    DWORD ExplorerPid() const;

    HANDLE Snapshot();
    BOOL Next(HANDLE h, LPPROCESSENTRY32W pEntry, bool bFirst);
    HANDLE OpenProcess(DWORD dwAccess, BOOL bInherit, DWORD dwPid);
    NTSTATUS QuerySystemInformation(SYSTEM_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength, PULONG pulReturned);
    NTSTATUS DuplicateObject(HANDLE hSourceProcess, HANDLE hSource, HANDLE hTargetProcess, PHANDLE phTarget,
                             ACCESS_MASK dwAccess, ULONG ulAttributes, ULONG ulOptions);
    NTSTATUS QueryObjectName(HANDLE h, PVOID pInfo, ULONG ulLength, PULONG pulReturned);
    // How many handles of other processes were duplicated into this one.
    int Duplicated() const { return m_nDuplicated; }

private:
    struct PROCESS
    {
        DWORD dwPid;
        std::wstring strName;
    };
    struct ENTRY
    {
        DWORD dwPid;
        BYTE byType;
        BYTE byFlags;
        ULONG_PTR ulHandle; // whole; the old table's entries keep its low 16 bits
        DWORD dwAccess;
    };
    std::vector<ENTRY> TableEntries() const;
    NTSTATUS FillTable(bool bExtended, BYTE* pOut, ULONG ulLength, PULONG pulReturned, ULONG ulExtra) const;

    CSimSystem& m_system;
    std::vector<PROCESS> m_processes;
    int m_nDuplicated = 0;
};
