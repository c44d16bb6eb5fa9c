#include "simdisk/SimSystem.h"

#include "platform/NtStatus.h"
#include "simdisk/SimChkdsk.h"
#include "simdisk/SimControls.h"
#include "simdisk/SimFileCalls.h"
#include "simdisk/SimNotify.h"
#include "simdisk/SimProcesses.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cstring>
#include <cwctype>
#include <stdexcept>

namespace {

std::atomic<CSimSystem*> s_pActive{nullptr};

// The module handle the stand-in chkdsk library answers with: an address of this module, so
// it is distinct from every real one and never freed.
const char s_fmifsModule = 0;
HMODULE FmifsModule() { return reinterpret_cast<HMODULE>(const_cast<char*>(&s_fmifsModule)); }

const sys::SYS_TABLE& Real() { return sys::RealTable(); }

bool Owns(CSimSystem& system, HANDLE h)
{
    CSimLock lock(system);
    return system.Handles().Find(h) != nullptr;
}

bool NamesSim(CSimSystem& system, LPCWSTR pszPath) { return system.Parse(pszPath).pVolume != nullptr; }

// A call on a handle goes to the simulator when the handle is one of its own, else to the system.
template <typename FReal, typename FSim> auto ByHandle(HANDLE h, FReal real, FSim sim) -> decltype(real())
{
    CSimSystem& system = *CSimSystem::Active();
    if (!Owns(system, h))
        return real();
    CSimLock lock(system);
    return sim(system);
}

// A call on a path goes to the simulator when the path names one of its volumes.
template <typename FReal, typename FSim> auto ByPath(LPCWSTR pszPath, FReal real, FSim sim) -> decltype(real())
{
    CSimSystem& system = *CSimSystem::Active();
    if (!NamesSim(system, pszPath))
        return real();
    CSimLock lock(system);
    return sim(system);
}

HANDLE WINAPI SimCreateFileW(LPCWSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t)
{
    return ByPath(p, [&] { return Real().pfnCreateFileW(p, a, s, sa, d, f, t); },
                  [&](CSimSystem& system) { return system.Files().CreateFile(p, a, s, d, f); });
}

BOOL WINAPI SimCloseHandle(HANDLE h)
{
    CSimSystem& system = *CSimSystem::Active();
    return Owns(system, h) ? system.CloseHandle(h) : Real().pfnCloseHandle(h);
}

BOOL WINAPI SimReadFile(HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o)
{
    return ByHandle(h, [&] { return Real().pfnReadFile(h, b, n, r, o); },
                    [&](CSimSystem& system) { return system.Files().ReadFile(h, b, n, r, o); });
}

BOOL WINAPI SimWriteFile(HANDLE h, LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED o)
{
    return ByHandle(h, [&] { return Real().pfnWriteFile(h, b, n, w, o); },
                    [&](CSimSystem& system) { return system.Files().WriteFile(h, w); });
}

DWORD WINAPI SimSetFilePointer(HANDLE h, LONG l, PLONG ph, DWORD m)
{
    CSimSystem& system = *CSimSystem::Active();
    if (!Owns(system, h))
        return Real().pfnSetFilePointer(h, l, ph, m);
    CSimLock lock(system);
    LARGE_INTEGER li;
    li.QuadPart = ph ? (static_cast<LONGLONG>(*ph) << 32) | static_cast<DWORD>(l) : l;
    LARGE_INTEGER liNew = {};
    if (!system.Files().SetFilePointer(h, li, &liNew, m))
        return INVALID_SET_FILE_POINTER;
    if (ph)
        *ph = liNew.HighPart;
    ::SetLastError(NO_ERROR);
    return liNew.LowPart;
}

BOOL WINAPI SimSetFilePointerEx(HANDLE h, LARGE_INTEGER li, PLARGE_INTEGER pNew, DWORD m)
{
    return ByHandle(h, [&] { return Real().pfnSetFilePointerEx(h, li, pNew, m); },
                    [&](CSimSystem& system) { return system.Files().SetFilePointer(h, li, pNew, m); });
}

BOOL WINAPI SimDeviceIoControl(HANDLE h, DWORD c, LPVOID i, DWORD ni, LPVOID o, DWORD no, LPDWORD r, LPOVERLAPPED ov)
{
    CSimSystem& system = *CSimSystem::Active();
    if (!Owns(system, h))
        return Real().pfnDeviceIoControl(h, c, i, ni, o, no, r, ov);
    return system.Controls().DeviceIoControl(h, c, i, ni, o, no, r);
}

BOOL WINAPI SimGetFileInformationByHandle(HANDLE h, LPBY_HANDLE_FILE_INFORMATION p)
{
    return ByHandle(h, [&] { return Real().pfnGetFileInformationByHandle(h, p); },
                    [&](CSimSystem& system) { return system.Files().GetInformation(h, p); });
}

BOOL WINAPI SimGetFileSizeEx(HANDLE h, PLARGE_INTEGER p)
{
    return ByHandle(h, [&] { return Real().pfnGetFileSizeEx(h, p); },
                    [&](CSimSystem& system) { return system.Files().GetSize(h, p); });
}

BOOL WINAPI SimGetFileTime(HANDLE h, LPFILETIME c, LPFILETIME a, LPFILETIME w)
{
    return ByHandle(h, [&] { return Real().pfnGetFileTime(h, c, a, w); },
                    [&](CSimSystem& system) { return system.Files().GetTime(h, c, a, w); });
}

DWORD WINAPI SimGetFileType(HANDLE h)
{
    CSimSystem& system = *CSimSystem::Active();
    CSimLock lock(system);
    SIM_HANDLE* p = system.Handles().Find(h);
    if (!p)
        return Real().pfnGetFileType(h);
    bool bDisk = p->eKind == SIM_HANDLE_KIND::File || p->eKind == SIM_HANDLE_KIND::Volume;
    return bDisk ? FILE_TYPE_DISK : FILE_TYPE_UNKNOWN;
}

BOOL WINAPI SimGetFileAttributesExW(LPCWSTR p, GET_FILEEX_INFO_LEVELS l, LPVOID i)
{
    return ByPath(p, [&] { return Real().pfnGetFileAttributesExW(p, l, i); },
                  [&](CSimSystem& system) { return system.Files().GetAttributesEx(p, l, i); });
}

DWORD WINAPI SimGetCompressedFileSizeW(LPCWSTR p, LPDWORD h)
{
    return ByPath(p, [&] { return Real().pfnGetCompressedFileSizeW(p, h); },
                  [&](CSimSystem& system) { return system.Files().GetCompressedSize(p, h); });
}

DWORD WINAPI SimGetLongPathNameW(LPCWSTR p, LPWSTR b, DWORD n)
{
    return ByPath(p, [&] { return Real().pfnGetLongPathNameW(p, b, n); },
                  [&](CSimSystem& system) { return system.Files().GetLongPathName(p, b, n); });
}

HANDLE WINAPI SimFindFirstFileW(LPCWSTR p, LPWIN32_FIND_DATAW d)
{
    return ByPath(p, [&] { return Real().pfnFindFirstFileW(p, d); },
                  [&](CSimSystem& system) { return system.Files().FindFirst(p, d); });
}

BOOL WINAPI SimFindNextFileW(HANDLE h, LPWIN32_FIND_DATAW d)
{
    return ByHandle(h, [&] { return Real().pfnFindNextFileW(h, d); },
                    [&](CSimSystem& system) { return system.Files().FindNext(h, d); });
}

BOOL WINAPI SimFindClose(HANDLE h)
{
    CSimSystem& system = *CSimSystem::Active();
    return Owns(system, h) ? system.CloseHandle(h) : Real().pfnFindClose(h);
}

BOOL WINAPI SimReadDirectoryChangesW(HANDLE h, LPVOID b, DWORD n, BOOL t, DWORD f, LPDWORD r, LPOVERLAPPED o,
                                     LPOVERLAPPED_COMPLETION_ROUTINE c)
{
    return ByHandle(h, [&] { return Real().pfnReadDirectoryChangesW(h, b, n, t, f, r, o, c); },
                    [&](CSimSystem& system) { return system.Notify().Read(h, b, n, t, f, o, c); });
}

BOOL WINAPI SimCancelIo(HANDLE h)
{
    CSimSystem& system = *CSimSystem::Active();
    if (!Owns(system, h))
        return Real().pfnCancelIo(h);
    CSimLock lock(system);
    system.Notify().Cancel(h);
    return TRUE;
}

HANDLE WINAPI SimFindFirstVolumeW(LPWSTR p, DWORD n)
{
    CSimSystem& system = *CSimSystem::Active();
    CSimLock lock(system);
    return system.FindFirstVolume(p, n);
}

BOOL WINAPI SimFindNextVolumeW(HANDLE h, LPWSTR p, DWORD n)
{
    return ByHandle(h, [&] { return Real().pfnFindNextVolumeW(h, p, n); },
                    [&](CSimSystem& system) { return system.FindNextVolume(h, p, n); });
}

BOOL WINAPI SimFindVolumeClose(HANDLE h)
{
    CSimSystem& system = *CSimSystem::Active();
    return Owns(system, h) ? system.CloseHandle(h) : Real().pfnFindVolumeClose(h);
}

UINT WINAPI SimGetDriveTypeW(LPCWSTR p)
{
    return ByPath(p, [&] { return Real().pfnGetDriveTypeW(p); },
                  [&](CSimSystem& system) { return system.GetDriveType(p); });
}

BOOL WINAPI SimGetVolumeNameForVolumeMountPointW(LPCWSTR p, LPWSTR b, DWORD n)
{
    CSimSystem& system = *CSimSystem::Active();
    CSimLock lock(system);
    return system.GetVolumeNameForMountPoint(p, b, n);
}

BOOL WINAPI SimGetVolumeInformationW(LPCWSTR p, LPWSTR l, DWORD nl, LPDWORD s, LPDWORD m, LPDWORD f, LPWSTR fs, DWORD nfs)
{
    return ByPath(p, [&] { return Real().pfnGetVolumeInformationW(p, l, nl, s, m, f, fs, nfs); },
                  [&](CSimSystem& system) { return system.GetVolumeInformation(p, l, nl, s, m, f, fs, nfs); });
}

BOOL WINAPI SimGetDiskFreeSpaceExW(LPCWSTR p, PULARGE_INTEGER a, PULARGE_INTEGER t, PULARGE_INTEGER f)
{
    return ByPath(p, [&] { return Real().pfnGetDiskFreeSpaceExW(p, a, t, f); },
                  [&](CSimSystem& system) { return system.GetDiskFreeSpaceEx(p, a, t, f); });
}

BOOL WINAPI SimGetDiskFreeSpaceW(LPCWSTR p, LPDWORD spc, LPDWORD bps, LPDWORD f, LPDWORD t)
{
    return ByPath(p, [&] { return Real().pfnGetDiskFreeSpaceW(p, spc, bps, f, t); },
                  [&](CSimSystem& system) { return system.GetDiskFreeSpace(p, spc, bps, f, t); });
}

UINT WINAPI SimGetWindowsDirectoryW(LPWSTR b, UINT n)
{
    CSimSystem& system = *CSimSystem::Active();
    CSimLock lock(system);
    return system.GetWindowsDirectory(b, n, false);
}

UINT WINAPI SimGetSystemWindowsDirectoryW(LPWSTR b, UINT n)
{
    CSimSystem& system = *CSimSystem::Active();
    CSimLock lock(system);
    return system.GetWindowsDirectory(b, n, true);
}

NTSTATUS NTAPI SimNtFsControlFile(HANDLE h, HANDLE e, PIO_APC_ROUTINE a, PVOID ac, PIO_STATUS_BLOCK io, ULONG c,
                                  PVOID i, ULONG ni, PVOID o, ULONG no)
{
    CSimSystem* pSystem = CSimSystem::Active();
    if (!pSystem || !Owns(*pSystem, h))
        return Real().pfnNtFsControlFile(h, e, a, ac, io, c, i, ni, o, no);
    return pSystem->Controls().NtFsControlFile(h, e, io, c, i, ni, o, no);
}

NTSTATUS NTAPI SimNtQueryInformationFile(HANDLE h, PIO_STATUS_BLOCK io, PVOID p, ULONG n, FILE_INFORMATION_CLASS c)
{
    CSimSystem* pSystem = CSimSystem::Active();
    if (!pSystem || !Owns(*pSystem, h))
        return Real().pfnNtQueryInformationFile(h, io, p, n, c);
    CSimLock lock(*pSystem);
    return pSystem->Controls().QueryInformationFile(h, io, p, n, c);
}

NTSTATUS NTAPI SimNtQuerySystemInformation(SYSTEM_INFORMATION_CLASS c, PVOID p, ULONG n, PULONG r)
{
    CSimSystem* pSystem = CSimSystem::Active();
    if (!pSystem)
        return Real().pfnNtQuerySystemInformation(c, p, n, r);
    CSimLock lock(*pSystem);
    return pSystem->Processes().QuerySystemInformation(c, p, n, r);
}

NTSTATUS NTAPI SimNtQueryObject(HANDLE h, OBJECT_INFORMATION_CLASS c, PVOID p, ULONG n, PULONG r)
{
    CSimSystem* pSystem = CSimSystem::Active();
    if (!pSystem || !Owns(*pSystem, h) || c != ObjectNameInformation)
        return Real().pfnNtQueryObject(h, c, p, n, r);
    return pSystem->Processes().QueryObjectName(h, p, n, r);
}

NTSTATUS NTAPI SimNtDuplicateObject(HANDLE sp, HANDLE s, HANDLE tp, PHANDLE t, ACCESS_MASK a, ULONG at, ULONG o)
{
    CSimSystem* pSystem = CSimSystem::Active();
    if (!pSystem)
        return Real().pfnNtDuplicateObject(sp, s, tp, t, a, at, o);
    CSimLock lock(*pSystem);
    return pSystem->Processes().DuplicateObject(sp, s, tp, t, a, at, o);
}

HANDLE WINAPI SimOpenProcess(DWORD a, BOOL i, DWORD pid)
{
    CSimSystem& system = *CSimSystem::Active();
    CSimLock lock(system);
    return system.Processes().OpenProcess(a, i, pid);
}

HANDLE WINAPI SimCreateToolhelp32Snapshot(DWORD f, DWORD pid)
{
    CSimSystem& system = *CSimSystem::Active();
    if (!(f & TH32CS_SNAPPROCESS))
        return Real().pfnCreateToolhelp32Snapshot(f, pid);
    CSimLock lock(system);
    return system.Processes().Snapshot();
}

BOOL WINAPI SimProcess32FirstW(HANDLE h, LPPROCESSENTRY32W e)
{
    return ByHandle(h, [&] { return Real().pfnProcess32FirstW(h, e); },
                    [&](CSimSystem& system) { return system.Processes().Next(h, e, true); });
}

BOOL WINAPI SimProcess32NextW(HANDLE h, LPPROCESSENTRY32W e)
{
    return ByHandle(h, [&] { return Real().pfnProcess32NextW(h, e); },
                    [&](CSimSystem& system) { return system.Processes().Next(h, e, false); });
}

HMODULE WINAPI SimLoadLibraryW(LPCWSTR p)
{
    CSimSystem& system = *CSimSystem::Active();
    return system.LoadLibrary(p);
}

FARPROC WINAPI SimGetProcAddress(HMODULE m, LPCSTR n)
{
    CSimSystem& system = *CSimSystem::Active();
    return system.GetProcAddress(m, n);
}

BOOL WINAPI SimFreeLibrary(HMODULE m)
{
    CSimSystem& system = *CSimSystem::Active();
    return system.FreeLibrary(m);
}

BOOL WINAPI SimGetSystemPowerStatus(LPSYSTEM_POWER_STATUS p)
{
    CSimSystem& system = *CSimSystem::Active();
    return system.GetPowerStatus(p);
}

// The simulator's answers, each bound by its name (see the real table).
sys::SYS_TABLE BindTable()
{
    sys::SYS_TABLE t = {};
    t.pfnCreateFileW = &SimCreateFileW;
    t.pfnCloseHandle = &SimCloseHandle;
    t.pfnReadFile = &SimReadFile;
    t.pfnWriteFile = &SimWriteFile;
    t.pfnSetFilePointer = &SimSetFilePointer;
    t.pfnSetFilePointerEx = &SimSetFilePointerEx;
    t.pfnDeviceIoControl = &SimDeviceIoControl;
    t.pfnGetFileInformationByHandle = &SimGetFileInformationByHandle;
    t.pfnGetFileSizeEx = &SimGetFileSizeEx;
    t.pfnGetFileTime = &SimGetFileTime;
    t.pfnGetFileType = &SimGetFileType;
    t.pfnGetFileAttributesExW = &SimGetFileAttributesExW;
    t.pfnGetCompressedFileSizeW = &SimGetCompressedFileSizeW;
    t.pfnGetLongPathNameW = &SimGetLongPathNameW;
    t.pfnFindFirstFileW = &SimFindFirstFileW;
    t.pfnFindNextFileW = &SimFindNextFileW;
    t.pfnFindClose = &SimFindClose;
    t.pfnReadDirectoryChangesW = &SimReadDirectoryChangesW;
    t.pfnCancelIo = &SimCancelIo;
    t.pfnFindFirstVolumeW = &SimFindFirstVolumeW;
    t.pfnFindNextVolumeW = &SimFindNextVolumeW;
    t.pfnFindVolumeClose = &SimFindVolumeClose;
    t.pfnGetDriveTypeW = &SimGetDriveTypeW;
    t.pfnGetVolumeNameForVolumeMountPointW = &SimGetVolumeNameForVolumeMountPointW;
    t.pfnGetVolumeInformationW = &SimGetVolumeInformationW;
    t.pfnGetDiskFreeSpaceExW = &SimGetDiskFreeSpaceExW;
    t.pfnGetDiskFreeSpaceW = &SimGetDiskFreeSpaceW;
    t.pfnGetWindowsDirectoryW = &SimGetWindowsDirectoryW;
    t.pfnGetSystemWindowsDirectoryW = &SimGetSystemWindowsDirectoryW;
    t.pfnNtFsControlFile = &SimNtFsControlFile;
    t.pfnNtQueryInformationFile = &SimNtQueryInformationFile;
    t.pfnNtQuerySystemInformation = &SimNtQuerySystemInformation;
    t.pfnNtQueryObject = &SimNtQueryObject;
    t.pfnNtDuplicateObject = &SimNtDuplicateObject;
    t.pfnOpenProcess = &SimOpenProcess;
    t.pfnCreateToolhelp32Snapshot = &SimCreateToolhelp32Snapshot;
    t.pfnProcess32FirstW = &SimProcess32FirstW;
    t.pfnProcess32NextW = &SimProcess32NextW;
    t.pfnGetModuleHandleW = sys::RealTable().pfnGetModuleHandleW;
    t.pfnGetProcAddress = &SimGetProcAddress;
    t.pfnLoadLibraryW = &SimLoadLibraryW;
    t.pfnFreeLibrary = &SimFreeLibrary;
    t.pfnGetSystemPowerStatus = &SimGetSystemPowerStatus;
    return t;
}

const sys::SYS_TABLE& Table()
{
    static const sys::SYS_TABLE s_table = BindTable();
    return s_table;
}

bool IsNamed(LPCWSTR pszFile, const wchar_t* pszModule)
{
    if (!pszFile)
        return false;
    const wchar_t* pszBase = std::max(std::wcsrchr(pszFile, L'\\'), std::wcsrchr(pszFile, L'/'));
    pszBase = pszBase ? pszBase + 1 : pszFile;
    std::wstring strBase(pszBase);
    std::wstring strModule(pszModule);
    return _wcsicmp(strBase.c_str(), strModule.c_str()) == 0 ||
           _wcsicmp(strBase.c_str(), strModule.substr(0, strModule.size() - 4).c_str()) == 0;
}

BOOL CopyOut(const std::wstring& str, LPWSTR pszOut, DWORD dwLength, DWORD dwErrorWhenShort)
{
    if (!pszOut || dwLength <= str.size())
    {
        ::SetLastError(dwErrorWhenShort);
        return FALSE;
    }
    std::wmemcpy(pszOut, str.c_str(), str.size() + 1);
    return TRUE;
}

} // namespace

CSimSystem::CSimSystem()
    : m_pNotify(std::make_unique<CSimNotify>(*this)), m_pProcesses(std::make_unique<CSimProcesses>(*this)),
      m_pFiles(std::make_unique<CSimFileCalls>(*this)), m_pControls(std::make_unique<CSimControls>(*this))
{
    ::InitializeCriticalSection(&m_section);
}

CSimSystem::~CSimSystem()
{
    Uninstall();
    m_pNotify.reset();
    ::DeleteCriticalSection(&m_section);
}

CSimSystem* CSimSystem::Active() { return s_pActive.load(std::memory_order_acquire); }

void CSimSystem::Install()
{
    if (m_bInstalled)
        return;
    s_pActive.store(this, std::memory_order_release);
    m_pPrevious = sys::Install(&Table());
    m_bInstalled = true;
}

void CSimSystem::Uninstall()
{
    if (!m_bInstalled)
        return;
    sys::Install(m_pPrevious);
    s_pActive.store(nullptr, std::memory_order_release);
    m_bInstalled = false;
}

CSimVolume& CSimSystem::Mount(std::unique_ptr<CSimVolume> pVolume, wchar_t cLetter)
{
    std::wstring strError;
    CSimVolume* p = TryMount(std::move(pVolume), cLetter, &strError);
    if (!p)
        throw std::invalid_argument(std::string(strError.begin(), strError.end()));
    return *p;
}

CSimVolume* CSimSystem::TryMount(std::unique_ptr<CSimVolume> pVolume, wchar_t cLetter, std::wstring* pstrError)
{
    CSimLock lock(*this);
    if (!pVolume)
    {
        *pstrError = L"no volume to mount";
        return nullptr;
    }
    for (const auto& pMounted : m_volumes)
        if (SimUpper(pMounted->GuidPath()) == SimUpper(pVolume->GuidPath()))
        {
            *pstrError = L"a volume named " + pVolume->GuidPath() + L" is mounted already";
            return nullptr;
        }
    // A letter names one volume: a second one there would answer for the first's paths.
    const wchar_t cUpper = static_cast<wchar_t>(std::towupper(cLetter));
    for (const SIM_MOUNT& mount : m_mounts)
        if (cUpper != 0 && mount.cLetter == cUpper)
        {
            *pstrError = std::wstring(L"drive letter ") + cUpper + L": is taken already";
            return nullptr;
        }
    CSimVolume* p = pVolume.get();
    p->m_nDeviceNumber = static_cast<int>(m_volumes.size()) + 1;
    p->SetListener(m_pNotify.get());
    p->SetLock(&m_section);
    m_volumes.push_back(std::move(pVolume));
    m_perf.push_back(std::make_unique<CSimDiskPerf>());
    m_mounts.push_back({p, cUpper});
    return p;
}

void CSimSystem::RemoveLetter(wchar_t cLetter)
{
    CSimLock lock(*this);
    for (SIM_MOUNT& mount : m_mounts)
        if (mount.cLetter && mount.cLetter == std::towupper(cLetter))
            mount.cLetter = 0;
}

CSimVolume* CSimSystem::Volume(wchar_t cLetter) const
{
    for (const SIM_MOUNT& mount : m_mounts)
        if (mount.cLetter && mount.cLetter == std::towupper(cLetter))
            return mount.pVolume;
    return nullptr;
}

CSimDiskPerf& CSimSystem::DiskPerf(const CSimVolume& volume)
{
    for (size_t i = 0; i < m_volumes.size(); ++i)
        if (m_volumes[i].get() == &volume)
            return *m_perf[i];
    return *m_perf.front();
}

bool CSimSystem::Fault(SIM_CALL eCall, DWORD dwCode, const std::wstring& strPath, LONGLONG llRecord, SIM_FAULT* pFault)
{
    if (!m_faults.Match(eCall, dwCode, strPath, llRecord, pFault))
        return false;
    if (pFault->dwDelayMs)
        ::Sleep(pFault->dwDelayMs);
    return pFault->status != 0 || pFault->eAction != SIM_FAULT_ACTION::Answer;
}

bool CSimSystem::Resolve(const SIM_PATH& path, CSimFile** ppFile, CSimStream** ppStream, DWORD* pdwError) const
{
    *ppFile = nullptr;
    *ppStream = nullptr;
    if (path.dwError)
    {
        *pdwError = path.dwError;
        return false;
    }
    CSimFile* pFile = path.pVolume->Lookup(path.strRelative);
    if (pFile && (pFile->m_dwFlags & SimFileHidden))
        pFile = nullptr;
    if (!pFile)
    {
        size_t nSlash = path.strRelative.find_last_of(L'\\');
        CSimFile* pParent = path.pVolume->Lookup(nSlash == std::wstring::npos ? L"" : path.strRelative.substr(0, nSlash));
        *pdwError = pParent && pParent->IsDirectory() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return false;
    }
    *ppFile = pFile;
    if (!path.bStream)
        return true;
    DWORD dwType = path.strType.empty() ? ntfs::Data : CSimPath::TypeCode(path.strType);
    if (!dwType)
    {
        *pdwError = ERROR_INVALID_NAME;
        return false;
    }
    if (path.pVolume->Fs() != SIM_FS::Ntfs)
    {
        // FAT has one data stream; "::$DATA" names it and nothing else exists.
        if (dwType == ntfs::Data && path.strStream.empty() && !pFile->IsDirectory())
            return true;
        *pdwError = ERROR_FILE_NOT_FOUND;
        return false;
    }
    CSimStream* pStream = pFile->FindStream(dwType, path.strStream);
    if (!pStream && path.strStream.empty() && dwType != ntfs::Data)
        pStream = pFile->FindStream(dwType, L"$I30");
    if (!pStream && dwType == ntfs::IndexAllocation && pFile->IsDirectory() && SimUpper(path.strStream) == L"$I30")
    {
        // A small directory has its whole index in its record: the stream exists, empty.
        return true;
    }
    if (!pStream)
    {
        *pdwError = ERROR_FILE_NOT_FOUND;
        return false;
    }
    *ppStream = pStream;
    return true;
}

CSimFile* CSimSystem::FileOf(const SIM_HANDLE& handle) const
{
    if (handle.eKind != SIM_HANDLE_KIND::File || !handle.pVolume)
        return nullptr;
    CSimFile* pFile = handle.pVolume->File(handle.ullReference & 0xFFFFFFFFFFFFull);
    return pFile && pFile->Reference() == handle.ullReference ? pFile : nullptr;
}

CSimStream* CSimSystem::StreamOf(const SIM_HANDLE& handle) const
{
    CSimFile* pFile = FileOf(handle);
    if (!pFile)
        return nullptr;
    if (handle.wSlot == SIM_DEFAULT_STREAM)
        return pFile->DefaultStream();
    for (CSimStream& stream : pFile->m_streams)
        if (stream.m_wSlot == handle.wSlot)
            return &stream;
    return nullptr;
}

std::wstring CSimSystem::ObjectName(const SIM_HANDLE& handle) const
{
    std::wstring strName = L"\\Device\\HarddiskVolume" + std::to_wstring(handle.pVolume->m_nDeviceNumber);
    CSimFile* pFile = FileOf(handle);
    if (!pFile)
        return strName;
    if (m_bWineAnswers)
    {
        // Wine names a file by its DOS path under "\??\", never by its device.
        const std::wstring strGuid = handle.pVolume->GuidPath();
        strName = L"\\??\\" + strGuid.substr(4, strGuid.size() - 5);
        for (const SIM_MOUNT& mount : m_mounts)
            if (mount.pVolume == handle.pVolume && mount.cLetter)
                strName = std::wstring(L"\\??\\") + mount.cLetter + L":";
    }
    strName += L"\\" + handle.pVolume->RelativePath(*pFile);
    CSimStream* pStream = handle.wSlot == SIM_DEFAULT_STREAM ? nullptr : StreamOf(handle);
    if (pStream && pStream != pFile->DefaultStream())
        strName += L":" + pStream->m_strName;
    return strName;
}

BOOL CSimSystem::CloseHandle(HANDLE h)
{
    CSimLock lock(*this);
    SIM_HANDLE* p = m_handles.Find(h, SIM_HANDLE_KIND::VolumeFind);
    if (p && p->hRealFind != INVALID_HANDLE_VALUE)
        Real().pfnFindVolumeClose(p->hRealFind);
    m_pNotify->Closing(h);
    m_handles.Close(h);
    return TRUE;
}

HANDLE CSimSystem::FindFirstVolume(LPWSTR pszName, DWORD dwLength)
{
    if (m_mounts.empty() && m_bListRealVolumes)
        return Real().pfnFindFirstVolumeW(pszName, dwLength);
    if (m_mounts.empty())
    {
        ::SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    SIM_HANDLE handle;
    handle.eKind = SIM_HANDLE_KIND::VolumeFind;
    handle.nNext = 1;
    if (!CopyOut(m_mounts.front().pVolume->GuidPath(), pszName, dwLength, ERROR_FILENAME_EXCED_RANGE))
        return INVALID_HANDLE_VALUE;
    return m_handles.Open(handle);
}

BOOL CSimSystem::FindNextVolume(HANDLE h, LPWSTR pszName, DWORD dwLength)
{
    SIM_HANDLE* p = m_handles.Find(h, SIM_HANDLE_KIND::VolumeFind);
    if (p && p->nNext >= m_mounts.size() && m_bListRealVolumes)
    {
        if (p->hRealFind != INVALID_HANDLE_VALUE)
            return Real().pfnFindNextVolumeW(p->hRealFind, pszName, dwLength);
        p->hRealFind = Real().pfnFindFirstVolumeW(pszName, dwLength);
        return p->hRealFind != INVALID_HANDLE_VALUE;
    }
    if (!p || p->nNext >= m_mounts.size())
    {
        ::SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    if (!CopyOut(m_mounts[p->nNext].pVolume->GuidPath(), pszName, dwLength, ERROR_FILENAME_EXCED_RANGE))
        return FALSE;
    ++p->nNext;
    return TRUE;
}

BOOL CSimSystem::FindVolumeClose(HANDLE h) { return CloseHandle(h); }

CSimVolume* CSimSystem::VolumeOfRoot(LPCWSTR pszRoot, DWORD* pdwError) const
{
    SIM_PATH path = Parse(pszRoot);
    if (!path.pVolume)
    {
        *pdwError = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    // A root must end in a backslash; "C:" or "\\?\Volume{...}" alone are not roots.
    if (path.bDevice || !path.strRelative.empty() || !path.bTrailingSlash)
    {
        *pdwError = ERROR_INVALID_NAME;
        return nullptr;
    }
    return path.pVolume;
}

UINT CSimSystem::GetDriveType(LPCWSTR pszRoot)
{
    DWORD dwError = 0;
    CSimVolume* pVolume = VolumeOfRoot(pszRoot, &dwError);
    if (!pVolume)
        return DRIVE_NO_ROOT_DIR;
    if (m_bWineAnswers && Parse(pszRoot).pVolume && std::wcsstr(pszRoot, L"Volume{"))
        return DRIVE_UNKNOWN;
    return pVolume->m_bRemovable ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

BOOL CSimSystem::GetVolumeNameForMountPoint(LPCWSTR pszMountPoint, LPWSTR pszName, DWORD dwLength)
{
    SIM_PATH path = Parse(pszMountPoint);
    if (path.pVolume && !path.bDevice && path.strRelative.empty() && path.bTrailingSlash)
        return CopyOut(path.pVolume->GuidPath(), pszName, dwLength, ERROR_FILENAME_EXCED_RANGE);
    if (m_bListRealVolumes)
        return Real().pfnGetVolumeNameForVolumeMountPointW(pszMountPoint, pszName, dwLength);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL CSimSystem::GetVolumeInformation(LPCWSTR pszRoot, LPWSTR pszLabel, DWORD dwLabelLength, LPDWORD pdwSerial,
                                      LPDWORD pdwMaxComponent, LPDWORD pdwFlags, LPWSTR pszFsName, DWORD dwFsNameLength)
{
    DWORD dwError = 0;
    CSimVolume* pVolume = VolumeOfRoot(pszRoot, &dwError);
    SIM_FAULT fault;
    if (pVolume && Fault(SIM_CALL::VolumeInformation, 0, pszRoot, -1, &fault))
        dwError = RtlNtStatusToDosError(fault.status);
    if (!pVolume || dwError)
    {
        ::SetLastError(dwError);
        return FALSE;
    }
    if ((pszLabel && !CopyOut(pVolume->Label(), pszLabel, dwLabelLength, ERROR_BAD_LENGTH)) ||
        (pszFsName && !CopyOut(pVolume->FsName(), pszFsName, dwFsNameLength, ERROR_BAD_LENGTH)))
        return FALSE;
    if (pdwSerial)
        *pdwSerial = pVolume->Serial();
    if (pdwMaxComponent)
        *pdwMaxComponent = 255;
    if (pdwFlags)
    {
        DWORD dwFlags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
        if (pVolume->Fs() == SIM_FS::Ntfs)
            dwFlags |= FILE_CASE_SENSITIVE_SEARCH | FILE_PERSISTENT_ACLS | FILE_FILE_COMPRESSION |
                       FILE_NAMED_STREAMS | FILE_SUPPORTS_SPARSE_FILES | FILE_SUPPORTS_REPARSE_POINTS;
        if (pVolume->m_bReadOnly)
            dwFlags |= FILE_READ_ONLY_VOLUME;
        *pdwFlags = dwFlags;
    }
    return TRUE;
}

BOOL CSimSystem::GetDiskFreeSpaceEx(LPCWSTR pszPath, PULARGE_INTEGER pAvailable, PULARGE_INTEGER pTotal,
                                    PULARGE_INTEGER pFree)
{
    SIM_PATH path = Parse(pszPath);
    SIM_FAULT fault;
    if (Fault(SIM_CALL::DiskFreeSpace, 0, pszPath, -1, &fault))
    {
        ::SetLastError(RtlNtStatusToDosError(fault.status));
        return FALSE;
    }
    CSimFile* pFile = nullptr;
    CSimStream* pStream = nullptr;
    DWORD dwError = 0;
    if (path.bDevice || !Resolve(path, &pFile, &pStream, &dwError) || !pFile->IsDirectory())
    {
        ::SetLastError(dwError ? dwError : ERROR_DIRECTORY);
        return FALSE;
    }
    const ULONGLONG ullCluster = path.pVolume->BytesPerCluster();
    const ULONGLONG ullFree = static_cast<ULONGLONG>(path.pVolume->FreeClusters()) * ullCluster;
    if (pAvailable)
        pAvailable->QuadPart = ullFree;
    if (pTotal)
        pTotal->QuadPart = static_cast<ULONGLONG>(path.pVolume->TotalClusters()) * ullCluster;
    if (pFree)
        pFree->QuadPart = ullFree;
    return TRUE;
}

BOOL CSimSystem::GetDiskFreeSpace(LPCWSTR pszRoot, LPDWORD pdwSectorsPerCluster, LPDWORD pdwBytesPerSector,
                                  LPDWORD pdwFreeClusters, LPDWORD pdwTotalClusters)
{
    ULARGE_INTEGER uliTotal;
    if (!GetDiskFreeSpaceEx(pszRoot, nullptr, &uliTotal, nullptr))
        return FALSE;
    CSimVolume* pVolume = Parse(pszRoot).pVolume;
    // The counts are 32 bits wide and saturate, as the system's own answer does.
    auto clamp = [](LONGLONG ll) { return static_cast<DWORD>(std::min<LONGLONG>(ll, 0xFFFFFFFFll)); };
    if (pdwSectorsPerCluster)
        *pdwSectorsPerCluster = pVolume->BytesPerCluster() / pVolume->BytesPerSector();
    if (pdwBytesPerSector)
        *pdwBytesPerSector = pVolume->BytesPerSector();
    if (pdwFreeClusters)
        *pdwFreeClusters = clamp(pVolume->FreeClusters());
    if (pdwTotalClusters)
        *pdwTotalClusters = clamp(pVolume->TotalClusters());
    return TRUE;
}

UINT CSimSystem::GetWindowsDirectory(LPWSTR pszBuffer, UINT uSize, bool bSystem)
{
    if (m_strWindowsDirectory.empty())
        return bSystem ? Real().pfnGetSystemWindowsDirectoryW(pszBuffer, uSize) : Real().pfnGetWindowsDirectoryW(pszBuffer, uSize);
    const UINT uLength = static_cast<UINT>(m_strWindowsDirectory.size());
    if (!pszBuffer || uSize <= uLength)
        return uLength + 1;
    std::wmemcpy(pszBuffer, m_strWindowsDirectory.c_str(), uLength + 1);
    return uLength;
}

BOOL CSimSystem::GetPowerStatus(LPSYSTEM_POWER_STATUS pStatus)
{
    if (m_nPowerLine < 0)
        return Real().pfnGetSystemPowerStatus(pStatus);
    std::memset(pStatus, 0, sizeof(*pStatus));
    pStatus->ACLineStatus = static_cast<BYTE>(m_nPowerLine);
    pStatus->BatteryFlag = m_nPowerLine ? 1 : 2;
    pStatus->BatteryLifePercent = m_nPowerLine ? 100 : 40;
    pStatus->BatteryLifeTime = static_cast<DWORD>(-1);
    pStatus->BatteryFullLifeTime = static_cast<DWORD>(-1);
    return TRUE;
}

HMODULE CSimSystem::LoadLibrary(LPCWSTR pszFile)
{
    if (!IsNamed(pszFile, L"fmifs.dll"))
        return Real().pfnLoadLibraryW(pszFile);
    if (m_bWineAnswers)
    {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return FmifsModule();
}

FARPROC CSimSystem::GetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    // An ordinal (a name pointer below 64 KiB) goes to the system as it stands.
    const bool bByName = reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF;
    if (hModule == FmifsModule())
    {
        FARPROC pfn = bByName ? CSimChkdsk::EntryPoint(pszName) : nullptr;
        if (!pfn)
            ::SetLastError(ERROR_PROC_NOT_FOUND);
        return pfn;
    }
    if (bByName && hModule && hModule == Real().pfnGetModuleHandleW(L"ntdll.dll"))
    {
        static const struct
        {
            const char* pszName;
            FARPROC pfn;
        } routes[] = {
            {"NtFsControlFile", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SimNtFsControlFile))},
            {"NtQueryInformationFile", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SimNtQueryInformationFile))},
            {"NtQuerySystemInformation", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SimNtQuerySystemInformation))},
            {"NtQueryObject", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SimNtQueryObject))},
            {"NtDuplicateObject", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SimNtDuplicateObject))},
        };
        for (const auto& route : routes)
            if (std::strcmp(route.pszName, pszName) == 0)
                return route.pfn;
    }
    return Real().pfnGetProcAddress(hModule, pszName);
}

BOOL CSimSystem::FreeLibrary(HMODULE hModule)
{
    return hModule == FmifsModule() ? TRUE : Real().pfnFreeLibrary(hModule);
}
