#include "engine/HandleSnapshot.h"

#include <cstddef>
#include <cwchar>

#include "engine/ObjectNameQuery.h"
#include "engine/SystemLevel.h"
#include "base/UnicodeString.h"
#include "platform/NtStatus.h"
#include "platform/sys.h"

namespace {

constexpr SIZE_T FirstTableBytes = 8192;
constexpr SIZE_T MaxTableBytes = 256 * 1024 * 1024;
// The table grows while it is copied on a busy system, so the size the system reports may
// already be short on the next call.
constexpr int MaxQueries = 8;
constexpr SIZE_T ReportedSlack = 256;
constexpr DWORD GuidRootLength = 48;   // "\\?\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
constexpr WORD FileTypeLevel3 = 25;
constexpr WORD FileTypeOlder = 28;

constexpr SIZE_T ClassicHeaderBytes = offsetof(SYSTEM_HANDLE_INFORMATION, Handle);
constexpr SIZE_T ExtendedHeaderBytes = offsetof(SYSTEM_HANDLE_INFORMATION_EX, Handles);

struct HANDLE_ENTRY
{
    ULONG_PTR ulProcess;
    ULONG_PTR ulHandle;
    ULONG_PTR ulObject;
    WORD wTypeAndFlags;
    ACCESS_MASK dwAccess;
};

// The classic table carries 16-bit process ids and handle values.
HANDLE_ENTRY ReadEntry(const BYTE* pEntry, bool bExtended)
{
    HANDLE_ENTRY stEntry;
    if (bExtended)
    {
        const auto* p = reinterpret_cast<const SYSTEM_HANDLE_ENTRY_EX*>(pEntry);
        stEntry.ulProcess = p->UniqueProcessId;
        stEntry.ulHandle = p->HandleValue;
        stEntry.ulObject = reinterpret_cast<ULONG_PTR>(p->Object);
        stEntry.wTypeAndFlags = static_cast<WORD>((p->ObjectTypeIndex & 0xFF) | ((p->HandleAttributes & 0xFF) << 8));
        stEntry.dwAccess = p->GrantedAccess;
        return stEntry;
    }
    const auto* p = reinterpret_cast<const SYSTEM_HANDLE_ENTRY*>(pEntry);
    stEntry.ulProcess = p->OwnerPid & 0xFFFF;
    stEntry.ulHandle = p->HandleValue;
    stEntry.ulObject = reinterpret_cast<ULONG_PTR>(p->ObjectPointer);
    stEntry.wTypeAndFlags = static_cast<WORD>(p->ObjectType | (p->HandleFlags << 8));
    stEntry.dwAccess = p->AccessMask;
    return stEntry;
}

// The file's path below its volume: after the drive ("C:") or the volume GUID name.
const wchar_t* PathBelowVolume(const wchar_t* pszFilePath)
{
    size_t nLength = pszFilePath != nullptr ? wcslen(pszFilePath) : 0;
    if (nLength >= 3 && pszFilePath[2] == L'\\')
        return pszFilePath + 2;
    if (nLength > GuidRootLength && pszFilePath[2] == L'?')
        return pszFilePath + GuidRootLength;
    return nullptr;
}

// "C:\" names the device "\\.\C:"; a volume GUID root names it without its last backslash.
HANDLE OpenVolumeDevice(const wchar_t* pszVolumeRoot)
{
    CUnicodeString strDevice(pszVolumeRoot);
    strDevice = strDevice.Left(strDevice.GetLength() - 1);
    if (strDevice.GetLength() < 4)
        strDevice = L"\\\\.\\" + strDevice;
    return sys::CreateFileW(strDevice.GetBuffer(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
}

bool IsVolumeDeviceName(const CUnicodeString& strName)
{
    return strName.GetLength() > 8 && strName.GetBuffer()[8] == L'H';
}

HANDLE OpenProgramFile()
{
    wchar_t szProgram[MAX_PATH];
    DWORD dwLength = ::GetModuleFileNameW(nullptr, szProgram, MAX_PATH);
    if (dwLength == 0 || dwLength >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    return sys::CreateFileW(szProgram, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
}

} // namespace

CHandleSnapshot::CHandleSnapshot(DWORD dwProcessId)
    : m_dwProcessId(dwProcessId), m_dwCount(0), m_pTable(nullptr), m_nTableBytes(0), m_dwPosition(0),
      m_pFirst(nullptr), m_bExtended(true)
{
    if (!Query(SystemExtendedHandleInformation))
    {
        m_bExtended = false;
        Query(SystemHandleInformation);
    }
    for (DWORD i = 0; i < m_dwCount && m_pFirst == nullptr; ++i)
    {
        const BYTE* pEntry = Entries() + static_cast<SIZE_T>(i) * EntrySize();
        if (IsOfProcess(pEntry))
            m_pFirst = pEntry;
    }
}

void CHandleSnapshot::Release()
{
    if (m_pTable != nullptr)
        ::VirtualFree(m_pTable, 0, MEM_RELEASE);
    m_pTable = nullptr;
    m_nTableBytes = 0;
    m_dwCount = 0;
    m_pFirst = nullptr;
    m_dwPosition = 0;
}

DWORD CHandleSnapshot::EntrySize() const
{
    return m_bExtended ? sizeof(SYSTEM_HANDLE_ENTRY_EX) : sizeof(SYSTEM_HANDLE_ENTRY);
}

const BYTE* CHandleSnapshot::Entries() const
{
    return m_pTable + (m_bExtended ? ExtendedHeaderBytes : ClassicHeaderBytes);
}

bool CHandleSnapshot::IsOfProcess(const BYTE* pEntry) const
{
    ULONG_PTR ulWanted = m_bExtended ? m_dwProcessId : (m_dwProcessId & 0xFFFF);
    return ReadEntry(pEntry, m_bExtended).ulProcess == ulWanted;
}

// Asks for the table with a growing buffer. The count is cut to the entries that the buffer
// holds, whatever the answer claims.
bool CHandleSnapshot::Query(SYSTEM_INFORMATION_CLASS eClass)
{
    Release();
    SIZE_T nHeader = m_bExtended ? ExtendedHeaderBytes : ClassicHeaderBytes;
    SIZE_T nBytes = FirstTableBytes;
    for (int nTry = 0; nTry < MaxQueries && nBytes <= MaxTableBytes; ++nTry)
    {
        m_pTable = static_cast<BYTE*>(::VirtualAlloc(nullptr, nBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (m_pTable == nullptr)
            return false;
        m_nTableBytes = nBytes;
        ULONG ulNeeded = 0;
        NTSTATUS status = sys::NtQuerySystemInformation(eClass, m_pTable, static_cast<ULONG>(nBytes), &ulNeeded);
        if (NT_SUCCESS(status))
        {
            ULONG_PTR ulClaimed = m_bExtended ? *reinterpret_cast<const ULONG_PTR*>(m_pTable)
                                              : *reinterpret_cast<const ULONG*>(m_pTable);
            ULONG_PTR ulFits = (nBytes - nHeader) / EntrySize();
            m_dwCount = static_cast<DWORD>(ulClaimed < ulFits ? ulClaimed : ulFits);
            return true;
        }
        Release();
        if (status != ntstatus::InfoLengthMismatch && status != ntstatus::BufferTooSmall &&
            status != ntstatus::BufferOverflow)
            return false;
        SIZE_T nReported = static_cast<SIZE_T>(ulNeeded) + ReportedSlack;
        nBytes = nReported > 2 * nBytes ? nReported : 2 * nBytes;
    }
    return false;
}

ULONG_PTR CHandleSnapshot::NextHandle(DWORD& dwObject, WORD& wTypeAndFlags, ACCESS_MASK& dwAccess)
{
    if (m_pFirst == nullptr)
        return 0;
    SIZE_T nFirst = static_cast<SIZE_T>(m_pFirst - Entries()) / EntrySize();
    if (nFirst + m_dwPosition >= m_dwCount)
        return 0;
    const BYTE* pEntry = m_pFirst + static_cast<SIZE_T>(m_dwPosition) * EntrySize();
    if (!IsOfProcess(pEntry))
        return 0;
    HANDLE_ENTRY stEntry = ReadEntry(pEntry, m_bExtended);
    dwObject = static_cast<DWORD>(stEntry.ulObject);
    wTypeAndFlags = stEntry.wTypeAndFlags;
    dwAccess = stEntry.dwAccess;
    ++m_dwPosition;
    return stEntry.ulHandle;
}

HANDLE CHandleSnapshot::FindFileHandle(const wchar_t* pszVolumeRoot, WORD wTypeNumber, const wchar_t* pszFilePath,
                                       HANDLE hStopEvent)
{
    const wchar_t* pszBelow = PathBelowVolume(pszFilePath);
    if (pszVolumeRoot == nullptr || pszVolumeRoot[0] == L'\0' || pszBelow == nullptr)
        return INVALID_HANDLE_VALUE;
    HANDLE hProcess = sys::OpenProcess(PROCESS_DUP_HANDLE, TRUE, m_dwProcessId);
    if (hProcess == nullptr)
        return INVALID_HANDLE_VALUE;
    HANDLE hFound = INVALID_HANDLE_VALUE;
    HANDLE hDevice = OpenVolumeDevice(pszVolumeRoot);
    CUnicodeString strDevice;
    if (hDevice != INVALID_HANDLE_VALUE && QueryObjectName(hDevice, strDevice))
        hFound = SearchHandles(hProcess, wTypeNumber, strDevice + pszBelow, hStopEvent);
    if (hDevice != INVALID_HANDLE_VALUE)
        sys::CloseHandle(hDevice);
    sys::CloseHandle(hProcess);
    return hFound;
}

// Only disk files are asked their names, and both questions go to the query's thread: on
// other kinds of handle either can block for good. An object stuck in an earlier search is
// not duplicated again, and the caller's stop event ends the search, also while it waits.
// A duplicate keeps the access of the original, which the move controls need.
HANDLE CHandleSnapshot::SearchHandles(HANDLE hProcess, WORD wTypeNumber, const CUnicodeString& strTarget,
                                      HANDLE hStopEvent)
{
    CObjectNameQuery query;
    DWORD dwObject = 0;
    WORD wTypeAndFlags = 0;
    ACCESS_MASK dwAccess = 0;
    m_dwPosition = 0;
    for (ULONG_PTR ulHandle = NextHandle(dwObject, wTypeAndFlags, dwAccess); ulHandle != 0;
         ulHandle = NextHandle(dwObject, wTypeAndFlags, dwAccess))
    {
        if (hStopEvent != nullptr && ::WaitForSingleObject(hStopEvent, 0) == WAIT_OBJECT_0)
            break;
        ULONG_PTR ulObjectAddress = ReadEntry(m_pFirst + static_cast<SIZE_T>(m_dwPosition - 1) * EntrySize(),
                                              m_bExtended).ulObject;
        HANDLE hDuplicate = nullptr;
        if (wTypeAndFlags != wTypeNumber || CObjectNameQuery::IsStuck(ulObjectAddress) ||
            !NT_SUCCESS(sys::NtDuplicateObject(hProcess, reinterpret_cast<HANDLE>(ulHandle), ::GetCurrentProcess(),
                                               &hDuplicate, 0, 0, DUPLICATE_SAME_ACCESS)) ||
            hDuplicate == nullptr)
            continue;
        CUnicodeString strName;
        CObjectNameQuery::ANSWER eAnswer = query.Ask(hDuplicate, ulObjectAddress, hStopEvent, strName);
        if (eAnswer == CObjectNameQuery::ANSWER::Stopped)
            break;
        if (eAnswer == CObjectNameQuery::ANSWER::TimedOut)
            continue;
        if (eAnswer == CObjectNameQuery::ANSWER::Named && IsVolumeDeviceName(strName) && strName == strTarget)
            return hDuplicate;
        sys::CloseHandle(hDuplicate);
    }
    return INVALID_HANDLE_VALUE;
}

DWORD FindExplorerProcessId()
{
    HANDLE hSnapshot = sys::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W stProcess = {};
    stProcess.dwSize = sizeof(stProcess);
    DWORD dwFound = NoExplorerProcess;
    BOOL bMore = sys::Process32FirstW(hSnapshot, &stProcess);
    for (; bMore; bMore = sys::Process32NextW(hSnapshot, &stProcess))
    {
        stProcess.szExeFile[MAX_PATH - 1] = L'\0';
        if (wcscmp(stProcess.szExeFile, L"explorer.exe") == 0)
        {
            dwFound = stProcess.th32ProcessID;
            break;
        }
    }
    DWORD dwError = bMore ? ERROR_SUCCESS : ::GetLastError();
    sys::CloseHandle(hSnapshot);
    return dwError == ERROR_SUCCESS || dwError == ERROR_NO_MORE_FILES ? dwFound : 0;
}

// The numbers differ between builds of the system (and Wine has its own), so the table is
// asked what it calls a handle that is known to be a file object.
WORD GetFileObjectTypeNumber(const wchar_t* pszVolumeRoot)
{
    WORD wType = GetSystemLevel() == 3 ? FileTypeLevel3 : FileTypeOlder;
    bool bVolume = pszVolumeRoot != nullptr && pszVolumeRoot[0] != L'\0';
    HANDLE hOwn = bVolume ? OpenVolumeDevice(pszVolumeRoot) : OpenProgramFile();
    if (hOwn == INVALID_HANDLE_VALUE)
        return wType;
    CHandleSnapshot snapshot(::GetCurrentProcessId());
    DWORD dwObject = 0;
    WORD wTypeAndFlags = 0;
    ACCESS_MASK dwAccess = 0;
    for (ULONG_PTR ulHandle = snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess); ulHandle != 0;
         ulHandle = snapshot.NextHandle(dwObject, wTypeAndFlags, dwAccess))
    {
        if (ulHandle == reinterpret_cast<ULONG_PTR>(hOwn))
        {
            wType = wTypeAndFlags & 0xFF;
            break;
        }
    }
    sys::CloseHandle(hOwn);
    return wType;
}
