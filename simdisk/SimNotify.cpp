#include "simdisk/SimNotify.h"

#include "platform/NtStatus.h"
#include "simdisk/SimSystem.h"

#include <cstring>

namespace {

// What a read still pending on a handle that is closed completes with.
constexpr DWORD NotifyCleanupError = 745;

struct COMPLETION
{
    LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine;
    DWORD dwError;
    DWORD dwBytes;
    LPOVERLAPPED pOverlapped;
};

void CALLBACK RunCompletion(ULONG_PTR ulParameter)
{
    COMPLETION* pCompletion = reinterpret_cast<COMPLETION*>(ulParameter);
    pCompletion->pfnRoutine(pCompletion->dwError, pCompletion->dwBytes, pCompletion->pOverlapped);
    delete pCompletion;
}

} // namespace

CSimNotify::~CSimNotify()
{
    for (auto& entry : m_watches)
        if (entry.second.hThread)
            ::CloseHandle(entry.second.hThread);
}

BOOL CSimNotify::Read(HANDLE h, LPVOID pBuffer, DWORD dwLength, BOOL bSubtree, DWORD dwFilter, LPOVERLAPPED pOverlapped,
                      LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h, SIM_HANDLE_KIND::File);
    CSimFile* pDir = pHandle ? m_system.FileOf(*pHandle) : nullptr;
    if (!pDir || !pDir->IsDirectory() || !(pHandle->dwAccess & (FILE_LIST_DIRECTORY | GENERIC_READ)))
    {
        ::SetLastError(pDir ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Only overlapped reads are served: a synchronous one would block inside the simulator.
    if (!pOverlapped || !(pHandle->dwFlags & FILE_FLAG_OVERLAPPED) || dwFilter == 0)
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WATCH& watch = m_watches[h];
    if (watch.bPending)
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    watch.pVolume = pHandle->pVolume;
    watch.strDirectory = pHandle->pVolume->RelativePath(*pDir);
    watch.bArmed = true;
    watch.bPending = true;
    watch.pBuffer = static_cast<BYTE*>(pBuffer);
    watch.dwLength = dwLength;
    watch.bSubtree = m_system.m_bWineAnswers ? FALSE : bSubtree;
    watch.dwFilter = dwFilter;
    watch.pOverlapped = pOverlapped;
    watch.pfnRoutine = pfnRoutine;
    if (watch.dwThreadId != ::GetCurrentThreadId())
    {
        if (watch.hThread)
            ::CloseHandle(watch.hThread);
        watch.dwThreadId = ::GetCurrentThreadId();
        watch.hThread = ::OpenThread(THREAD_SET_CONTEXT, FALSE, watch.dwThreadId);
    }
    pOverlapped->Internal = static_cast<ULONG_PTR>(ntstatus::Pending);
    pOverlapped->InternalHigh = 0;
    if (!watch.records.empty())
        Deliver(watch);
    return TRUE;
}

void CSimNotify::Cancel(HANDLE h)
{
    auto it = m_watches.find(h);
    if (it != m_watches.end() && it->second.bPending && it->second.dwThreadId == ::GetCurrentThreadId())
        Complete(it->second, ERROR_OPERATION_ABORTED, 0);
}

void CSimNotify::Closing(HANDLE h)
{
    auto it = m_watches.find(h);
    if (it == m_watches.end())
        return;
    if (it->second.bPending)
        Complete(it->second, NotifyCleanupError, 0);
    if (it->second.hThread)
        ::CloseHandle(it->second.hThread);
    m_watches.erase(it);
}

bool CSimNotify::Matches(const WATCH& watch, bool bDirectory, SIM_CHANGE eChange)
{
    if (eChange == SIM_CHANGE::Modified)
        return !bDirectory && (watch.dwFilter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
    return (watch.dwFilter & (bDirectory ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME)) != 0;
}

void CSimNotify::OnChange(const CSimVolume& volume, const std::wstring& strRelativePath, bool bDirectory,
                          SIM_CHANGE eChange)
{
    for (auto& entry : m_watches)
    {
        WATCH& watch = entry.second;
        if (watch.pVolume != &volume || !watch.bArmed || !Matches(watch, bDirectory, eChange))
            continue;
        std::wstring strName;
        if (watch.strDirectory.empty())
            strName = strRelativePath;
        else if (SimUpper(strRelativePath).compare(0, watch.strDirectory.size() + 1, SimUpper(watch.strDirectory + L"\\")) == 0)
            strName = strRelativePath.substr(watch.strDirectory.size() + 1);
        else
            continue;
        if (!watch.bSubtree && strName.find(L'\\') != std::wstring::npos)
            continue;
        watch.records.push_back({static_cast<DWORD>(eChange), strName});
        // A rename's old name waits for its new one so that both arrive in the same buffer.
        if (watch.bPending && eChange != SIM_CHANGE::RenamedOld)
            Deliver(watch);
    }
}

void CSimNotify::Deliver(WATCH& watch)
{
    DWORD dwAt = 0;
    DWORD dwPrevious = 0;
    for (size_t i = 0; i < watch.records.size(); ++i)
    {
        const RECORD& record = watch.records[i];
        const DWORD dwNameBytes = static_cast<DWORD>(2 * record.strName.size());
        const DWORD dwEntry = (12 + dwNameBytes + 3) & ~3u;
        if (dwAt + 12 + dwNameBytes > watch.dwLength)
        {
            // More changes than the buffer holds: the read completes empty, and the reader
            // must look at the directory again.
            watch.records.clear();
            Complete(watch, ERROR_NOTIFY_ENUM_DIR, 0);
            return;
        }
        BYTE* p = watch.pBuffer + dwAt;
        if (i)
        {
            DWORD dwNext = dwAt - dwPrevious;
            std::memcpy(watch.pBuffer + dwPrevious, &dwNext, 4);
        }
        DWORD dwZero = 0;
        std::memcpy(p, &dwZero, 4);
        std::memcpy(p + 4, &record.dwAction, 4);
        std::memcpy(p + 8, &dwNameBytes, 4);
        std::memcpy(p + 12, record.strName.data(), dwNameBytes);
        dwPrevious = dwAt;
        dwAt += dwEntry;
    }
    DWORD dwBytes = watch.records.empty() ? 0 : std::min(dwAt, watch.dwLength);
    watch.records.clear();
    Complete(watch, NO_ERROR, dwBytes);
}

void CSimNotify::Complete(WATCH& watch, DWORD dwError, DWORD dwBytes)
{
    watch.bPending = false;
    // The overlapped record holds the status that the error stands for.
    NTSTATUS status = ntstatus::Success;
    if (dwError == ERROR_OPERATION_ABORTED)
        status = ntstatus::Cancelled;
    else if (dwError == ERROR_NOTIFY_ENUM_DIR)
        status = ntstatus::NotifyEnumDir;
    else if (dwError != NO_ERROR)
        status = ntstatus::NotifyCleanup;
    watch.pOverlapped->Internal = static_cast<ULONG_PTR>(static_cast<ULONG>(status));
    watch.pOverlapped->InternalHigh = dwBytes;
    if (watch.pfnRoutine && watch.hThread)
        ::QueueUserAPC(&RunCompletion, watch.hThread,
                       reinterpret_cast<ULONG_PTR>(new COMPLETION{watch.pfnRoutine, dwError, dwBytes, watch.pOverlapped}));
    else if (watch.pOverlapped->hEvent)
        ::SetEvent(watch.pOverlapped->hEvent);
}
