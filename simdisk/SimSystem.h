// The simulated system behind the seam: it mounts simulated volumes at drive letters and
// under volume GUID names, answers every seam call for its own paths and handles as Windows
// answers it, and hands everything else to the real system. While installed, the ntdll and
// fmifs bindings made through the seam reach its own entry points.
#pragma once

#include "platform/sys.h"
#include "simdisk/SimDiskPerf.h"
#include "simdisk/SimFaults.h"
#include "simdisk/SimHandles.h"
#include "simdisk/SimPath.h"
#include "simdisk/SimVolume.h"

#include <memory>
#include <string>
#include <vector>

class CSimNotify;
class CSimProcesses;
class CSimFileCalls;
class CSimControls;

class CSimSystem
{
public:
    CSimSystem();
    ~CSimSystem();
    CSimSystem(const CSimSystem&) = delete;
    CSimSystem& operator=(const CSimSystem&) = delete;

    // Takes the volume; cLetter 0 mounts it under its GUID name only. A volume whose GUID is
    // already mounted, or a letter that names a volume already, is refused: null with a message.
    CSimVolume* TryMount(std::unique_ptr<CSimVolume> pVolume, wchar_t cLetter, std::wstring* pstrError);
    // The same for volumes the caller made distinct; a refusal throws std::invalid_argument.
    CSimVolume& Mount(std::unique_ptr<CSimVolume> pVolume, wchar_t cLetter);
    // Takes the letter from the volume that has it, as a removed drive letter does: the volume
    // stays mounted under its GUID name.
    void RemoveLetter(wchar_t cLetter);
    CSimVolume* Volume(wchar_t cLetter) const;
    const std::vector<SIM_MOUNT>& Mounts() const { return m_mounts; }

    // Puts the simulator's table in force (one simulator at a time) and takes it out again.
    void Install();
    void Uninstall();
    static CSimSystem* Active();

    // Answers a test may choose.
    std::wstring m_strWindowsDirectory;  // empty: the real system's
    bool m_bListRealVolumes = false;     // volume enumeration shows the real volumes too
    bool m_bWineAnswers = false;         // the controls answer as Wine 8 does
    bool m_bPendingOverlapped = false;   // controls on overlapped handles complete later
    bool m_bRefuseNoAccessMoves = false; // a move through a handle without access is refused
    bool m_bCheckerDoneAfterStop = true; // the checker still reports done after a stop
    int m_nPowerLine = -1;               // -1: the real power status; 0 on battery; 1 on mains
    BYTE m_byFileObjectType = 28;        // object type number of files in the handle table

    CSimFaults& Faults() { return m_faults; }
    CSimDiskPerf& DiskPerf(const CSimVolume& volume);
    CSimProcesses& Processes() { return *m_pProcesses; }
    CSimNotify& Notify() { return *m_pNotify; }
    CSimHandles& Handles() { return m_handles; }
    CSimFileCalls& Files() { return *m_pFiles; }
    CSimControls& Controls() { return *m_pControls; }

    // The one lock of the simulator; every answer runs under it.
    void Lock() { ::EnterCriticalSection(&m_section); }
    void Unlock() { ::LeaveCriticalSection(&m_section); }

    // Path and handle resolution shared by the answers.
    SIM_PATH Parse(LPCWSTR pszPath) const { return CSimPath::Parse(pszPath, m_mounts); }
    // The file and stream a path names; false with a Win32 error.
    bool Resolve(const SIM_PATH& path, CSimFile** ppFile, CSimStream** ppStream, DWORD* pdwError) const;
    CSimFile* FileOf(const SIM_HANDLE& handle) const;
    CSimStream* StreamOf(const SIM_HANDLE& handle) const;
    // "\Device\HarddiskVolumeN" and the path below it, as the object manager names it.
    std::wstring ObjectName(const SIM_HANDLE& handle) const;
    bool Fault(SIM_CALL eCall, DWORD dwCode, const std::wstring& strPath, LONGLONG llRecord, SIM_FAULT* pFault);

    // Volume calls.
    HANDLE FindFirstVolume(LPWSTR pszName, DWORD dwLength);
    BOOL FindNextVolume(HANDLE h, LPWSTR pszName, DWORD dwLength);
    BOOL FindVolumeClose(HANDLE h);
    UINT GetDriveType(LPCWSTR pszRoot);
    BOOL GetVolumeNameForMountPoint(LPCWSTR pszMountPoint, LPWSTR pszName, DWORD dwLength);
    BOOL GetVolumeInformation(LPCWSTR pszRoot, LPWSTR pszLabel, DWORD dwLabelLength, LPDWORD pdwSerial,
                              LPDWORD pdwMaxComponent, LPDWORD pdwFlags, LPWSTR pszFsName, DWORD dwFsNameLength);
    BOOL GetDiskFreeSpaceEx(LPCWSTR pszPath, PULARGE_INTEGER pAvailable, PULARGE_INTEGER pTotal, PULARGE_INTEGER pFree);
    BOOL GetDiskFreeSpace(LPCWSTR pszRoot, LPDWORD pdwSectorsPerCluster, LPDWORD pdwBytesPerSector,
                          LPDWORD pdwFreeClusters, LPDWORD pdwTotalClusters);
    UINT GetWindowsDirectory(LPWSTR pszBuffer, UINT uSize, bool bSystem);
    BOOL GetPowerStatus(LPSYSTEM_POWER_STATUS pStatus);

    // Libraries bound at run time.
    HMODULE LoadLibrary(LPCWSTR pszFile);
    FARPROC GetProcAddress(HMODULE hModule, LPCSTR pszName);
    BOOL FreeLibrary(HMODULE hModule);

    BOOL CloseHandle(HANDLE h);

private:
    CSimVolume* VolumeOfRoot(LPCWSTR pszRoot, DWORD* pdwError) const;

    CRITICAL_SECTION m_section;
    std::vector<std::unique_ptr<CSimVolume>> m_volumes;
    std::vector<SIM_MOUNT> m_mounts;
    std::vector<std::unique_ptr<CSimDiskPerf>> m_perf;
    CSimHandles m_handles;
    CSimFaults m_faults;
    std::unique_ptr<CSimNotify> m_pNotify;
    std::unique_ptr<CSimProcesses> m_pProcesses;
    std::unique_ptr<CSimFileCalls> m_pFiles;
    std::unique_ptr<CSimControls> m_pControls;
    const sys::SYS_TABLE* m_pPrevious = nullptr;
    bool m_bInstalled = false;
};

// Holds the simulator's lock for a scope.
class CSimLock
{
public:
    explicit CSimLock(CSimSystem& system) : m_system(system) { m_system.Lock(); }
    ~CSimLock() { m_system.Unlock(); }
    CSimLock(const CSimLock&) = delete;
    CSimLock& operator=(const CSimLock&) = delete;

private:
    CSimSystem& m_system;
};
