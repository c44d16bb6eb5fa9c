// CHandleSnapshot: the open handles of one process, from the system's handle table, and the
// search among them for a file that the process holds, duplicated into this process so that
// the file can still be moved while nobody else may open it.
#pragma once

#include <windows.h>
#include <winternl.h>

class CUnicodeString;

// The extended handle table, whose process ids and handle values have their full width.
constexpr SYSTEM_INFORMATION_CLASS SystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);

struct SYSTEM_HANDLE_ENTRY_EX
{
    PVOID Object;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR HandleValue;
    ULONG GrantedAccess;
    USHORT CreatorBackTraceIndex;
    USHORT ObjectTypeIndex;
    ULONG HandleAttributes;
    ULONG Reserved;
};

struct SYSTEM_HANDLE_INFORMATION_EX
{
    ULONG_PTR NumberOfHandles;
    ULONG_PTR Reserved;
    SYSTEM_HANDLE_ENTRY_EX Handles[1];
};

class CHandleSnapshot
{
public:
    explicit CHandleSnapshot(DWORD dwProcessId);
    ~CHandleSnapshot() { Release(); }
    CHandleSnapshot(const CHandleSnapshot&) = delete;
    CHandleSnapshot& operator=(const CHandleSnapshot&) = delete;

    // The next handle value of the process, 0 at the end; with it the object's address (low
    // 32 bits), the type number with the handle's flags in the byte above, and the access.
    ULONG_PTR NextHandle(DWORD& dwObject, WORD& wTypeAndFlags, ACCESS_MASK& dwAccess);
    // A duplicate of the process's handle on the file, or INVALID_HANDLE_VALUE. The file path
    // starts with a drive ("C:\...") or a volume GUID name ("\\?\Volume{...}\...").
    // A stop event, when given, ends the search as soon as it is set.
    HANDLE FindFileHandle(const wchar_t* pszVolumeRoot, WORD wTypeNumber, const wchar_t* pszFilePath,
                          HANDLE hStopEvent = nullptr);
    void Release();

private:
    bool Query(SYSTEM_INFORMATION_CLASS eClass);
    DWORD EntrySize() const;
    const BYTE* Entries() const;
    bool IsOfProcess(const BYTE* pEntry) const;
    HANDLE SearchHandles(HANDLE hProcess, WORD wTypeNumber, const CUnicodeString& strTarget, HANDLE hStopEvent);

    DWORD m_dwProcessId;
    DWORD m_dwCount;
    BYTE* m_pTable;        // committed pages, ours
    SIZE_T m_nTableBytes;
    DWORD m_dwPosition;    // counted from the process's first entry
    const BYTE* m_pFirst;  // the process's first entry, null when it has none
    bool m_bExtended;      // entries of the extended table
};

// The first process whose executable is exactly "explorer.exe": its id, NoExplorerProcess when
// there is none, 0 when the process list cannot be walked.
constexpr DWORD NoExplorerProcess = static_cast<DWORD>(-1);
DWORD FindExplorerProcessId();

// The type number of file objects in the handle table: found from a file handle of our own,
// an open of the volume's device when a volume root is given, else of this program's file;
// when that handle is not listed, the number of the system level (25 on level 3, 28 below).
WORD GetFileObjectTypeNumber(const wchar_t* pszVolumeRoot = nullptr);
