// The one seam through which the programs reach volumes, files on volumes, the disk, the
// handle table, the process list and the libraries they bind at run time. Every call forwards
// through one table, bound to the real system until another table is installed.
#pragma once

#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>

extern "C" NTSTATUS NTAPI NtDuplicateObject(HANDLE hSourceProcess, HANDLE hSource,
                                            HANDLE hTargetProcess, PHANDLE phTarget,
                                            ACCESS_MASK dwAccess, ULONG ulAttributes,
                                            ULONG ulOptions);

namespace sys {

// One pointer per call of the seam, with the system's own signature.
struct SYS_TABLE
{
    // Files and volumes as files.
    HANDLE (WINAPI* pfnCreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL (WINAPI* pfnCloseHandle)(HANDLE);
    BOOL (WINAPI* pfnReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI* pfnWriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    DWORD (WINAPI* pfnSetFilePointer)(HANDLE, LONG, PLONG, DWORD);
    BOOL (WINAPI* pfnSetFilePointerEx)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
    BOOL (WINAPI* pfnDeviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (WINAPI* pfnGetFileInformationByHandle)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
    BOOL (WINAPI* pfnGetFileSizeEx)(HANDLE, PLARGE_INTEGER);
    BOOL (WINAPI* pfnGetFileTime)(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME);
    DWORD (WINAPI* pfnGetFileType)(HANDLE);
    BOOL (WINAPI* pfnGetFileAttributesExW)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
    DWORD (WINAPI* pfnGetCompressedFileSizeW)(LPCWSTR, LPDWORD);
    DWORD (WINAPI* pfnGetLongPathNameW)(LPCWSTR, LPWSTR, DWORD);
    HANDLE (WINAPI* pfnFindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
    BOOL (WINAPI* pfnFindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
    BOOL (WINAPI* pfnFindClose)(HANDLE);
    BOOL (WINAPI* pfnReadDirectoryChangesW)(HANDLE, LPVOID, DWORD, BOOL, DWORD, LPDWORD, LPOVERLAPPED,
                                            LPOVERLAPPED_COMPLETION_ROUTINE);
    BOOL (WINAPI* pfnCancelIo)(HANDLE);

    // Volumes.
    HANDLE (WINAPI* pfnFindFirstVolumeW)(LPWSTR, DWORD);
    BOOL (WINAPI* pfnFindNextVolumeW)(HANDLE, LPWSTR, DWORD);
    BOOL (WINAPI* pfnFindVolumeClose)(HANDLE);
    UINT (WINAPI* pfnGetDriveTypeW)(LPCWSTR);
    BOOL (WINAPI* pfnGetVolumeNameForVolumeMountPointW)(LPCWSTR, LPWSTR, DWORD);
    BOOL (WINAPI* pfnGetVolumeInformationW)(LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD);
    BOOL (WINAPI* pfnGetDiskFreeSpaceExW)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    BOOL (WINAPI* pfnGetDiskFreeSpaceW)(LPCWSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
    UINT (WINAPI* pfnGetWindowsDirectoryW)(LPWSTR, UINT);
    UINT (WINAPI* pfnGetSystemWindowsDirectoryW)(LPWSTR, UINT);

    // Native calls.
    NTSTATUS (NTAPI* pfnNtFsControlFile)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK, ULONG,
                                         PVOID, ULONG, PVOID, ULONG);
    NTSTATUS (NTAPI* pfnNtQueryInformationFile)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    NTSTATUS (NTAPI* pfnNtQuerySystemInformation)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    NTSTATUS (NTAPI* pfnNtQueryObject)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    NTSTATUS (NTAPI* pfnNtDuplicateObject)(HANDLE, HANDLE, HANDLE, PHANDLE, ACCESS_MASK, ULONG, ULONG);

    // Processes.
    HANDLE (WINAPI* pfnOpenProcess)(DWORD, BOOL, DWORD);
    HANDLE (WINAPI* pfnCreateToolhelp32Snapshot)(DWORD, DWORD);
    BOOL (WINAPI* pfnProcess32FirstW)(HANDLE, LPPROCESSENTRY32W);
    BOOL (WINAPI* pfnProcess32NextW)(HANDLE, LPPROCESSENTRY32W);

    // Libraries bound at run time.
    HMODULE (WINAPI* pfnGetModuleHandleW)(LPCWSTR);
    FARPROC (WINAPI* pfnGetProcAddress)(HMODULE, LPCSTR);
    HMODULE (WINAPI* pfnLoadLibraryW)(LPCWSTR);
    BOOL (WINAPI* pfnFreeLibrary)(HMODULE);

    // Power.
    BOOL (WINAPI* pfnGetSystemPowerStatus)(LPSYSTEM_POWER_STATUS);
};

// The table that calls the system itself.
const SYS_TABLE& RealTable();

// The table in force now.
const SYS_TABLE& Current();

// Puts a table in force (null: the real one) and returns the one it replaces. The table must
// outlive its time in force.
const SYS_TABLE* Install(const SYS_TABLE* pTable);

// Keeps a table in force for a scope and puts back the one it found.
class CScopedInstall
{
public:
    explicit CScopedInstall(const SYS_TABLE* pTable) : m_pPrevious(Install(pTable)) {}
    ~CScopedInstall() { Install(m_pPrevious); }
    CScopedInstall(const CScopedInstall&) = delete;
    CScopedInstall& operator=(const CScopedInstall&) = delete;

private:
    const SYS_TABLE* m_pPrevious;
};

HANDLE CreateFileW(LPCWSTR pszPath, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                   DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate);
BOOL CloseHandle(HANDLE h);
BOOL ReadFile(HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwRead, LPOVERLAPPED pOverlapped);
BOOL WriteFile(HANDLE h, LPCVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten, LPOVERLAPPED pOverlapped);
DWORD SetFilePointer(HANDLE h, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod);
BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER liDistance, PLARGE_INTEGER pliNew, DWORD dwMethod);
BOOL DeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                     LPDWORD pdwReturned, LPOVERLAPPED pOverlapped);
BOOL GetFileInformationByHandle(HANDLE h, LPBY_HANDLE_FILE_INFORMATION pInfo);
BOOL GetFileSizeEx(HANDLE h, PLARGE_INTEGER pliSize);
BOOL GetFileTime(HANDLE h, LPFILETIME pCreation, LPFILETIME pAccess, LPFILETIME pWrite);
DWORD GetFileType(HANDLE h);
BOOL GetFileAttributesExW(LPCWSTR pszPath, GET_FILEEX_INFO_LEVELS eLevel, LPVOID pInfo);
DWORD GetCompressedFileSizeW(LPCWSTR pszPath, LPDWORD pdwHigh);
DWORD GetLongPathNameW(LPCWSTR pszShort, LPWSTR pszLong, DWORD dwLength);
HANDLE FindFirstFileW(LPCWSTR pszPattern, LPWIN32_FIND_DATAW pData);
BOOL FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW pData);
BOOL FindClose(HANDLE h);
BOOL ReadDirectoryChangesW(HANDLE h, LPVOID pBuffer, DWORD dwLength, BOOL bSubtree, DWORD dwFilter,
                           LPDWORD pdwReturned, LPOVERLAPPED pOverlapped,
                           LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine);
BOOL CancelIo(HANDLE h);

HANDLE FindFirstVolumeW(LPWSTR pszName, DWORD dwLength);
BOOL FindNextVolumeW(HANDLE h, LPWSTR pszName, DWORD dwLength);
BOOL FindVolumeClose(HANDLE h);
UINT GetDriveTypeW(LPCWSTR pszRoot);
BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR pszMountPoint, LPWSTR pszName, DWORD dwLength);
BOOL GetVolumeInformationW(LPCWSTR pszRoot, LPWSTR pszLabel, DWORD dwLabelLength, LPDWORD pdwSerial,
                           LPDWORD pdwMaxComponent, LPDWORD pdwFlags, LPWSTR pszFsName,
                           DWORD dwFsNameLength);
BOOL GetDiskFreeSpaceExW(LPCWSTR pszPath, PULARGE_INTEGER pAvailable, PULARGE_INTEGER pTotal,
                         PULARGE_INTEGER pFree);
BOOL GetDiskFreeSpaceW(LPCWSTR pszRoot, LPDWORD pdwSectorsPerCluster, LPDWORD pdwBytesPerSector,
                       LPDWORD pdwFreeClusters, LPDWORD pdwTotalClusters);
UINT GetWindowsDirectoryW(LPWSTR pszBuffer, UINT uSize);
UINT GetSystemWindowsDirectoryW(LPWSTR pszBuffer, UINT uSize);

NTSTATUS NtFsControlFile(HANDLE h, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pApcContext,
                         PIO_STATUS_BLOCK pIosb, ULONG ulCode, PVOID pIn, ULONG ulIn, PVOID pOut,
                         ULONG ulOut);
NTSTATUS NtQueryInformationFile(HANDLE h, PIO_STATUS_BLOCK pIosb, PVOID pInfo, ULONG ulLength,
                                FILE_INFORMATION_CLASS eClass);
NTSTATUS NtQuerySystemInformation(SYSTEM_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength,
                                  PULONG pulReturned);
NTSTATUS NtQueryObject(HANDLE h, OBJECT_INFORMATION_CLASS eClass, PVOID pInfo, ULONG ulLength,
                       PULONG pulReturned);
NTSTATUS NtDuplicateObject(HANDLE hSourceProcess, HANDLE hSource, HANDLE hTargetProcess,
                           PHANDLE phTarget, ACCESS_MASK dwAccess, ULONG ulAttributes, ULONG ulOptions);

HANDLE OpenProcess(DWORD dwAccess, BOOL bInherit, DWORD dwProcessId);
HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD dwProcessId);
BOOL Process32FirstW(HANDLE h, LPPROCESSENTRY32W pEntry);
BOOL Process32NextW(HANDLE h, LPPROCESSENTRY32W pEntry);

HMODULE GetModuleHandleW(LPCWSTR pszModule);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR pszName);
HMODULE LoadLibraryW(LPCWSTR pszFile);
BOOL FreeLibrary(HMODULE hModule);

BOOL GetSystemPowerStatus(LPSYSTEM_POWER_STATUS pStatus);

} // namespace sys
