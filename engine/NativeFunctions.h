// The run-time library, native and chkdsk entry points that the engine calls without linking
// them: looked up once at service start, before any worker thread exists, and read-only after.
#pragma once

#include "platform/sys.h"

namespace native {

// The run-time library's bitmap header: a bit count and ULONG-aligned bits.
struct RTL_BITMAP
{
    ULONG SizeOfBitMap;
    PULONG Buffer;
};

// The answer of the bit searches when nothing is found.
constexpr ULONG NoBitFound = 0xFFFFFFFF;

using PFN_RTL_INITIALIZE_BITMAP = VOID(NTAPI*)(RTL_BITMAP*, PULONG, ULONG);
using PFN_RTL_FIND_BITS = ULONG(NTAPI*)(RTL_BITMAP*, ULONG, ULONG);
using PFN_RTL_FIND_NEXT_FORWARD_RUN_CLEAR = ULONG(NTAPI*)(RTL_BITMAP*, ULONG, PULONG);
using PFN_NT_FS_CONTROL_FILE = decltype(sys::SYS_TABLE::pfnNtFsControlFile);
using PFN_NT_QUERY_INFORMATION_FILE = decltype(sys::SYS_TABLE::pfnNtQueryInformationFile);
using PFN_NT_QUERY_SYSTEM_INFORMATION = decltype(sys::SYS_TABLE::pfnNtQuerySystemInformation);
using PFN_NT_QUERY_OBJECT = decltype(sys::SYS_TABLE::pfnNtQueryObject);
using PFN_NT_DUPLICATE_OBJECT = decltype(sys::SYS_TABLE::pfnNtDuplicateObject);

// The checker calls back with a command, a sub-command and the command's data; answering
// FALSE asks it to stop.
using PFN_FMIFS_CALLBACK = BOOLEAN(WINAPI*)(DWORD dwCommand, DWORD dwSubCommand, PVOID pData);
using PFN_CHKDSK_EX = VOID(WINAPI*)(PWCHAR pszDriveRoot, PWCHAR pszFileSystem, BOOLEAN bFixErrors,
                                     PVOID pOptions, PFN_FMIFS_CALLBACK pfnCallback);
using PFN_CHKDSK = VOID(WINAPI*)(PWCHAR pszDriveRoot, PWCHAR pszFileSystem, BOOLEAN bFixErrors,
                                  BOOLEAN bVerbose, BOOLEAN bOnlyIfDirty, BOOLEAN bScanSurface,
                                  PVOID pReserved1, PVOID pReserved2, PFN_FMIFS_CALLBACK pfnCallback);
using PFN_HEAP_SET_INFORMATION = BOOL(WINAPI*)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);

// Null until bound.
extern PFN_RTL_INITIALIZE_BITMAP RtlInitializeBitMap;
extern PFN_RTL_FIND_BITS RtlFindClearBits;
extern PFN_RTL_FIND_BITS RtlFindSetBits;
extern PFN_RTL_FIND_NEXT_FORWARD_RUN_CLEAR RtlFindNextForwardRunClear;
extern PFN_NT_FS_CONTROL_FILE NtFsControlFile;
extern PFN_NT_QUERY_INFORMATION_FILE NtQueryInformationFile;
extern PFN_NT_QUERY_SYSTEM_INFORMATION NtQuerySystemInformation;
extern PFN_NT_QUERY_OBJECT NtQueryObject;
extern PFN_NT_DUPLICATE_OBJECT NtDuplicateObject;
extern PFN_CHKDSK_EX ChkdskEx;
extern PFN_CHKDSK Chkdsk;
extern PFN_HEAP_SET_INFORMATION HeapSetInformation;

// Binds every entry point through the seam, so that an installed simulator answers with its
// own. False at the first ntdll or fmifs entry point that is missing; the ones after it stay
// null. HeapSetInformation is optional.
bool BindNativeFunctions();

} // namespace native
