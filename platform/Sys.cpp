#include "platform/sys.h"

#include <atomic>

namespace sys {
namespace {

// Each entry is bound by its name: several share one signature (CloseHandle, FindClose,
// FindVolumeClose, CancelIo), and a table filled by position would take a swap silently.
SYS_TABLE BindRealTable()
{
    SYS_TABLE t = {};
    t.pfnCreateFileW = &::CreateFileW;
    t.pfnCloseHandle = &::CloseHandle;
    t.pfnReadFile = &::ReadFile;
    t.pfnWriteFile = &::WriteFile;
    t.pfnSetFilePointer = &::SetFilePointer;
    t.pfnSetFilePointerEx = &::SetFilePointerEx;
    t.pfnDeviceIoControl = &::DeviceIoControl;
    t.pfnGetFileInformationByHandle = &::GetFileInformationByHandle;
    t.pfnGetFileSizeEx = &::GetFileSizeEx;
    t.pfnGetFileTime = &::GetFileTime;
    t.pfnGetFileType = &::GetFileType;
    t.pfnGetFileAttributesExW = &::GetFileAttributesExW;
    t.pfnGetCompressedFileSizeW = &::GetCompressedFileSizeW;
    t.pfnGetLongPathNameW = &::GetLongPathNameW;
    t.pfnFindFirstFileW = &::FindFirstFileW;
    t.pfnFindNextFileW = &::FindNextFileW;
    t.pfnFindClose = &::FindClose;
    t.pfnReadDirectoryChangesW = &::ReadDirectoryChangesW;
    t.pfnCancelIo = &::CancelIo;
    t.pfnFindFirstVolumeW = &::FindFirstVolumeW;
    t.pfnFindNextVolumeW = &::FindNextVolumeW;
    t.pfnFindVolumeClose = &::FindVolumeClose;
    t.pfnGetDriveTypeW = &::GetDriveTypeW;
    t.pfnGetVolumeNameForVolumeMountPointW = &::GetVolumeNameForVolumeMountPointW;
    t.pfnGetVolumeInformationW = &::GetVolumeInformationW;
    t.pfnGetDiskFreeSpaceExW = &::GetDiskFreeSpaceExW;
    t.pfnGetDiskFreeSpaceW = &::GetDiskFreeSpaceW;
    t.pfnGetWindowsDirectoryW = &::GetWindowsDirectoryW;
    t.pfnGetSystemWindowsDirectoryW = &::GetSystemWindowsDirectoryW;
    t.pfnNtFsControlFile = &::NtFsControlFile;
    t.pfnNtQueryInformationFile = &::NtQueryInformationFile;
    t.pfnNtQuerySystemInformation = &::NtQuerySystemInformation;
    t.pfnNtQueryObject = &::NtQueryObject;
    t.pfnNtDuplicateObject = &::NtDuplicateObject;
    t.pfnOpenProcess = &::OpenProcess;
    t.pfnCreateToolhelp32Snapshot = &::CreateToolhelp32Snapshot;
    t.pfnProcess32FirstW = &::Process32FirstW;
    t.pfnProcess32NextW = &::Process32NextW;
    t.pfnGetModuleHandleW = &::GetModuleHandleW;
    t.pfnGetProcAddress = &::GetProcAddress;
    t.pfnLoadLibraryW = &::LoadLibraryW;
    t.pfnFreeLibrary = &::FreeLibrary;
    t.pfnGetSystemPowerStatus = &::GetSystemPowerStatus;
    return t;
}

// Made on first use, so that tables built while the program starts may copy entries from it.
const SYS_TABLE& Real()
{
    static const SYS_TABLE s_real = BindRealTable();
    return s_real;
}

// Null until a table is installed: the real one.
std::atomic<const SYS_TABLE*> s_pCurrent{nullptr};

} // namespace

const SYS_TABLE& RealTable() { return Real(); }

const SYS_TABLE& Current()
{
    const SYS_TABLE* pTable = s_pCurrent.load(std::memory_order_acquire);
    return pTable ? *pTable : Real();
}

const SYS_TABLE* Install(const SYS_TABLE* pTable)
{
    const SYS_TABLE* pPrevious = s_pCurrent.exchange(pTable, std::memory_order_acq_rel);
    return pPrevious ? pPrevious : &Real();
}

HANDLE CreateFileW(LPCWSTR pszPath, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                   DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate)
{
    return Current().pfnCreateFileW(pszPath, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags, hTemplate);
}
BOOL CloseHandle(HANDLE h) { return Current().pfnCloseHandle(h); }
BOOL ReadFile(HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwRead, LPOVERLAPPED pOverlapped)
{
    return Current().pfnReadFile(h, pBuffer, dwToRead, pdwRead, pOverlapped);
}
BOOL WriteFile(HANDLE h, LPCVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten, LPOVERLAPPED pOverlapped)
{
    return Current().pfnWriteFile(h, pBuffer, dwToWrite, pdwWritten, pOverlapped);
}
DWORD SetFilePointer(HANDLE h, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod)
{
    return Current().pfnSetFilePointer(h, lDistance, plDistanceHigh, dwMethod);
}
BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER liDistance, PLARGE_INTEGER pliNew, DWORD dwMethod)
{
    return Current().pfnSetFilePointerEx(h, liDistance, pliNew, dwMethod);
}
BOOL DeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                     LPDWORD pdwReturned, LPOVERLAPPED pOverlapped)
{
    return Current().pfnDeviceIoControl(h, dwCode, pIn, dwIn, pOut, dwOut, pdwReturned, pOverlapped);
}
BOOL GetFileInformationByHandle(HANDLE h, LPBY_HANDLE_FILE_INFORMATION pInfo)
{
    return Current().pfnGetFileInformationByHandle(h, pInfo);
}
BOOL GetFileSizeEx(HANDLE h, PLARGE_INTEGER pliSize) { return Current().pfnGetFileSizeEx(h, pliSize); }
BOOL GetFileTime(HANDLE h, LPFILETIME pCreation, LPFILETIME pAccess, LPFILETIME pWrite)
{
    return Current().pfnGetFileTime(h, pCreation, pAccess, pWrite);
}
DWORD GetFileType(HANDLE h) { return Current().pfnGetFileType(h); }
BOOL GetFileAttributesExW(LPCWSTR pszPath, GET_FILEEX_INFO_LEVELS eLevel, LPVOID pInfo)
{
    return Current().pfnGetFileAttributesExW(pszPath, eLevel, pInfo);
}
DWORD GetCompressedFileSizeW(LPCWSTR pszPath, LPDWORD pdwHigh)
{
    return Current().pfnGetCompressedFileSizeW(pszPath, pdwHigh);
}
DWORD GetLongPathNameW(LPCWSTR pszShort, LPWSTR pszLong, DWORD dwLength)
{
    return Current().pfnGetLongPathNameW(pszShort, pszLong, dwLength);
}
HANDLE FindFirstFileW(LPCWSTR pszPattern, LPWIN32_FIND_DATAW pData)
{
    return Current().pfnFindFirstFileW(pszPattern, pData);
}
BOOL FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW pData) { return Current().pfnFindNextFileW(h, pData); }
BOOL FindClose(HANDLE h) { return Current().pfnFindClose(h); }
BOOL ReadDirectoryChangesW(HANDLE h, LPVOID pBuffer, DWORD dwLength, BOOL bSubtree, DWORD dwFilter,
                           LPDWORD pdwReturned, LPOVERLAPPED pOverlapped,
                           LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine)
{
    return Current().pfnReadDirectoryChangesW(h, pBuffer, dwLength, bSubtree, dwFilter, pdwReturned,
                                              pOverlapped, pfnRoutine);
}
BOOL CancelIo(HANDLE h) { return Current().pfnCancelIo(h); }

HANDLE FindFirstVolumeW(LPWSTR pszName, DWORD dwLength) { return Current().pfnFindFirstVolumeW(pszName, dwLength); }
BOOL FindNextVolumeW(HANDLE h, LPWSTR pszName, DWORD dwLength)
{
    return Current().pfnFindNextVolumeW(h, pszName, dwLength);
}
BOOL FindVolumeClose(HANDLE h) { return Current().pfnFindVolumeClose(h); }
UINT GetDriveTypeW(LPCWSTR pszRoot) { return Current().pfnGetDriveTypeW(pszRoot); }
BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR pszMountPoint, LPWSTR pszName, DWORD dwLength)
{
    return Current().pfnGetVolumeNameForVolumeMountPointW(pszMountPoint, pszName, dwLength);
}
BOOL GetVolumeInformationW(LPCWSTR pszRoot, LPWSTR pszLabel, DWORD dwLabelLength, LPDWORD pdwSerial,
                           LPDWORD pdwMaxComponent, LPDWORD pdwFlags, LPWSTR pszFsName, DWORD dwFsNameLength)
{
    return Current().pfnGetVolumeInformationW(pszRoot, pszLabel, dwLabelLength, pdwSerial, pdwMaxComponent,
                                              pdwFlags, pszFsName, dwFsNameLength);
}
BOOL GetDiskFreeSpaceExW(LPCWSTR pszPath, PULARGE_INTEGER pAvailable, PULARGE_INTEGER pTotal, PULARGE_INTEGER pFree)
{
    return Current().pfnGetDiskFreeSpaceExW(pszPath, pAvailable, pTotal, pFree);
}
BOOL GetDiskFreeSpaceW(LPCWSTR pszRoot, LPDWORD pdwSectorsPerCluster, LPDWORD pdwBytesPerSector,
                       LPDWORD pdwFreeClusters, LPDWORD pdwTotalClusters)
{
    return Current().pfnGetDiskFreeSpaceW(pszRoot, pdwSectorsPerCluster, pdwBytesPerSector, pdwFreeClusters,
                                          pdwTotalClusters);
}
UINT GetWindowsDirectoryW(LPWSTR pszBuffer, UINT uSize) { return Current().pfnGetWindowsDirectoryW(pszBuffer, uSize); }
UINT GetSystemWindowsDirectoryW(LPWSTR pszBuffer, UINT uSize)
{
    return Current().pfnGetSystemWindowsDirectoryW(pszBuffer, uSize);
}

NTSTATUS NtFsControlFile(HANDLE h, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pApcContext, PIO_STATUS_BLOCK pIosb,
                         ULONG ulCode, PVOID pIn, ULONG ulIn, PVOID pOut, ULONG ulOut)
{
    return Current().pfnNtFsControlFile(h, hEvent, pfnApc, pApcContext, pIosb, ulCode, pIn, ulIn, pOut, ulOut);
}
NTSTATUS NtQueryInformationFile(HANDLE h, PIO_STATUS_BLOCK pIosb, PVOID pInfo, ULONG ulLength,
                                FILE_INFORMATION_CLASS eClass)
{
    return Current().pfnNtQueryInformationFile(h, pIosb, pInfo, ulLength, eClass);
}
NTSTATUS NtQuerySystemInformation(SYSTEM_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength, PULONG pulReturned)
{
    return Current().pfnNtQuerySystemInformation(eClass, pInfo, ulLength, pulReturned);
}
NTSTATUS NtQueryObject(HANDLE h, OBJECT_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength, PULONG pulReturned)
{
    return Current().pfnNtQueryObject(h, eClass, pInfo, ulLength, pulReturned);
}
NTSTATUS NtDuplicateObject(HANDLE hSourceProcess, HANDLE hSource, HANDLE hTargetProcess, PHANDLE phTarget,
                           ACCESS_MASK dwAccess, ULONG ulAttributes, ULONG ulOptions)
{
    return Current().pfnNtDuplicateObject(hSourceProcess, hSource, hTargetProcess, phTarget, dwAccess,
                                          ulAttributes, ulOptions);
}

HANDLE OpenProcess(DWORD dwAccess, BOOL bInherit, DWORD dwProcessId)
{
    return Current().pfnOpenProcess(dwAccess, bInherit, dwProcessId);
}
HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD dwProcessId)
{
    return Current().pfnCreateToolhelp32Snapshot(dwFlags, dwProcessId);
}
BOOL Process32FirstW(HANDLE h, LPPROCESSENTRY32W pEntry) { return Current().pfnProcess32FirstW(h, pEntry); }
BOOL Process32NextW(HANDLE h, LPPROCESSENTRY32W pEntry) { return Current().pfnProcess32NextW(h, pEntry); }

HMODULE GetModuleHandleW(LPCWSTR pszModule) { return Current().pfnGetModuleHandleW(pszModule); }
FARPROC GetProcAddress(HMODULE hModule, LPCSTR pszName) { return Current().pfnGetProcAddress(hModule, pszName); }
HMODULE LoadLibraryW(LPCWSTR pszFile) { return Current().pfnLoadLibraryW(pszFile); }
BOOL FreeLibrary(HMODULE hModule) { return Current().pfnFreeLibrary(hModule); }

BOOL GetSystemPowerStatus(LPSYSTEM_POWER_STATUS pStatus) { return Current().pfnGetSystemPowerStatus(pStatus); }

} // namespace sys
