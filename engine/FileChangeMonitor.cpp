#include "engine/FileChangeMonitor.h"

#include <cstring>
#include <stdexcept>

#include "engine/FileChangeListener.h"
#include "base/UnicodeString.h"
#include "platform/sys.h"

namespace {

constexpr DWORD MaxNameBytes = 520;
// A stopped watch's last read completes as soon as the monitor thread waits
// again; this bound only keeps a broken system from hanging the service.
constexpr DWORD FinishWaitMs = 10000;

CUnicodeString NameOf(const FILE_NOTIFY_INFORMATION* pRecord, DWORD dwRoom)
{
    DWORD dwBytes = pRecord->FileNameLength;
    if (dwBytes > MaxNameBytes)
        dwBytes = MaxNameBytes;
    if (dwBytes > dwRoom)
        dwBytes = dwRoom;
    CUnicodeString strName;
    int nUnits = static_cast<int>(dwBytes / sizeof(wchar_t));
    if (nUnits > 0)
        memcpy(strName.GetBufferSetLength(nUnits), pRecord->FileName, nUnits * sizeof(wchar_t));
    return strName;
}

// Where the record after the one at dwOffset starts, or 0 when its header would not lie
// within the delivered bytes. The step comes from the buffer, so the sum must not wrap.
DWORD NextRecordOffset(const FILE_NOTIFY_INFORMATION* pRecord, DWORD dwOffset, DWORD dwBytes)
{
    const DWORD dwHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    DWORD dwNext = pRecord->NextEntryOffset;
    if (dwNext == 0 || dwNext > dwBytes - dwOffset - dwHeader)
        return 0;
    return dwOffset + dwNext;
}

} // namespace

CFileChangeMonitor::CFileChangeMonitor()
    : m_csCallers(), m_pHandOver(nullptr), m_hThread(NULL), m_dwThreadId(0), m_hStopEvent(NULL),
      m_hRequestEvent(NULL), m_apWatches()
{
    m_hStopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hRequestEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (m_hStopEvent != NULL && m_hRequestEvent != NULL)
        m_hThread = ::CreateThread(nullptr, 0, &CFileChangeMonitor::ThreadProc, this, 0,
                                   &m_dwThreadId);
    if (m_hThread == NULL)
    {
        if (m_hStopEvent != NULL)
            ::CloseHandle(m_hStopEvent);
        if (m_hRequestEvent != NULL)
            ::CloseHandle(m_hRequestEvent);
        throw std::runtime_error("file-change monitor cannot start");
    }
}

CFileChangeMonitor::~CFileChangeMonitor()
{
    Stop();
    ::CloseHandle(m_hThread);
    ::CloseHandle(m_hStopEvent);
    ::CloseHandle(m_hRequestEvent);
}

DWORD WINAPI CFileChangeMonitor::ThreadProc(void* pParam)
{
    static_cast<CFileChangeMonitor*>(pParam)->Run();
    return 0;
}

// Completions run inside this alertable wait, so every read is issued,
// completed and stopped on this one thread.
void CFileChangeMonitor::Run()
{
    HANDLE ahEvents[2] = {m_hStopEvent, m_hRequestEvent};
    for (;;)
    {
        DWORD dwResult = ::WaitForMultipleObjectsEx(2, ahEvents, FALSE, INFINITE, TRUE);
        if (dwResult == WAIT_IO_COMPLETION)
            continue;
        if (dwResult != WAIT_OBJECT_0 + 1)
            return;
        FILE_WATCH* pWatch = m_pHandOver;
        if (pWatch == nullptr)
            continue;
        if (pWatch->bStopRequested)
            CloseDirectory(pWatch);
        else
            ArmOnMonitorThread(pWatch);
        ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pHandOver), nullptr);
    }
}

bool CFileChangeMonitor::IssueRead(FILE_WATCH* pWatch)
{
    memset(pWatch->pBuffer, 0, ChangeBufferBytes);
    return sys::ReadDirectoryChangesW(pWatch->hDirectory, pWatch->pBuffer, ChangeBufferBytes, TRUE,
                                      pWatch->dwFilter, nullptr, &pWatch->stOverlapped,
                                      &CFileChangeMonitor::OnReadCompleted) != FALSE;
}

// A watch whose read cannot be issued will see no completion, so it is
// finished at once: its stopper must not wait for one.
void CFileChangeMonitor::ArmOnMonitorThread(FILE_WATCH* pWatch)
{
    if (!IssueRead(pWatch))
        ::InterlockedExchange(&pWatch->bFinished, 1);
}

// On the monitor thread, cancelling is what cancels the read it issued;
// the closed handle then completes it on this thread's next alertable wait.
void CFileChangeMonitor::CloseDirectory(FILE_WATCH* pWatch)
{
    HANDLE hDirectory = pWatch->hDirectory;
    pWatch->hDirectory = NULL;
    if (hDirectory == NULL)
        return;
    sys::CancelIo(hDirectory);
    sys::CloseHandle(hDirectory);
}

// A read that cannot be issued again while the watch is not being stopped ends
// the watch on its own, which its listener is told.
void CALLBACK CFileChangeMonitor::OnReadCompleted(DWORD, DWORD dwBytes, LPOVERLAPPED pOverlapped)
{
    FILE_WATCH* pWatch = static_cast<FILE_WATCH*>(pOverlapped->hEvent);
    if (pWatch->pListener != nullptr && pWatch->hDirectory != NULL)
        Dispatch(pWatch, dwBytes > ChangeBufferBytes ? ChangeBufferBytes : dwBytes);
    if (pWatch->hDirectory != NULL && IssueRead(pWatch))
        return;
    bool bFailed = pWatch->hDirectory != NULL;
    ::InterlockedExchange(&pWatch->bFinished, 1);
    if (bFailed && pWatch->pListener != nullptr)
        pWatch->pListener->OnWatchFailed();
}

// Walks only the bytes the read delivered; a record that would reach past
// them ends the walk.
void CFileChangeMonitor::Dispatch(const FILE_WATCH* pWatch, DWORD dwBytes)
{
    const DWORD dwHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    bool bFiles = (pWatch->dwFilter & FILE_NOTIFY_CHANGE_FILE_NAME) != 0;
    CFileChangeListener* pListener = pWatch->pListener;
    DWORD dwOffset = 0;
    while (dwOffset + dwHeader <= dwBytes)
    {
        auto pRecord = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(pWatch->pBuffer + dwOffset);
        CUnicodeString strName = NameOf(pRecord, dwBytes - dwOffset - dwHeader);
        switch (pRecord->Action)
        {
        case FILE_ACTION_ADDED:
            bFiles ? pListener->OnFileAdded(strName) : pListener->OnDirectoryAdded(strName);
            break;
        case FILE_ACTION_REMOVED:
            bFiles ? pListener->OnFileRemoved(strName) : pListener->OnDirectoryRemoved(strName);
            break;
        case FILE_ACTION_MODIFIED:
            bFiles ? pListener->OnFileModified(strName) : pListener->OnDirectoryModified(strName);
            break;
        case FILE_ACTION_RENAMED_OLD_NAME:
        {
            dwOffset = NextRecordOffset(pRecord, dwOffset, dwBytes);
            if (dwOffset == 0)
                return;
            pRecord = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(pWatch->pBuffer + dwOffset);
            CUnicodeString strNew = NameOf(pRecord, dwBytes - dwOffset - dwHeader);
            bFiles ? pListener->OnFileRenamed(strName, strNew)
                   : pListener->OnDirectoryRenamed(strName, strNew);
            break;
        }
        default:
            break;
        }
        dwOffset = NextRecordOffset(pRecord, dwOffset, dwBytes);
        if (dwOffset == 0)
            return;
    }
}

// Callers hand over one at a time (under the callers' lock), so waiting for a
// free slot waits only for the monitor thread to finish the previous request.
// False when the monitor thread has ended and nobody will take the watch.
bool CFileChangeMonitor::HandOver(FILE_WATCH* pWatch)
{
    while (m_pHandOver != nullptr)
    {
        if (!WaitAlertably())
            return false;
    }
    ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pHandOver), pWatch);
    ::SetEvent(m_hRequestEvent);
    while (m_pHandOver != nullptr)
    {
        if (!WaitAlertably())
        {
            ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pHandOver), nullptr);
            return false;
        }
    }
    return true;
}

// One millisecond of alertable waiting; false once the monitor thread is gone.
bool CFileChangeMonitor::WaitAlertably(DWORD dwMs) const
{
    return ::WaitForSingleObjectEx(m_hThread, dwMs, TRUE) != WAIT_OBJECT_0;
}

bool CFileChangeMonitor::IsMonitorThread() const
{
    return ::GetCurrentThreadId() == m_dwThreadId;
}

bool CFileChangeMonitor::WatchPartition(CFileChangeListener* pListener)
{
    if (IsMonitorThread())
        return false;
    CSectionLock lock(m_csCallers);
    const wchar_t* pszRoot = pListener->GetRootPath().GetBuffer();
    HANDLE ahRoots[2];
    for (HANDLE& hRoot : ahRoots)
        hRoot = sys::CreateFileW(pszRoot, FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr);
    if (ahRoots[0] == INVALID_HANDLE_VALUE || ahRoots[1] == INVALID_HANDLE_VALUE)
    {
        for (HANDLE hRoot : ahRoots)
        {
            if (hRoot != INVALID_HANDLE_VALUE)
                sys::CloseHandle(hRoot);
        }
        return false;
    }
    bool bFiles = CreateWatch(ahRoots[0], FileFilter, pListener);
    bool bDirectories = CreateWatch(ahRoots[1], DirectoryFilter, pListener);
    if (bFiles && bDirectories)
        return true;
    UnwatchPartition(pListener);
    return false;
}

bool CFileChangeMonitor::CreateWatch(HANDLE hDirectory, DWORD dwFilter,
                                     CFileChangeListener* pListener)
{
    int nSlot = 0;
    while (nSlot < MaxWatches && m_apWatches[nSlot] != nullptr)
        ++nSlot;
    BYTE* pBuffer = nSlot < MaxWatches
                        ? static_cast<BYTE*>(::VirtualAlloc(nullptr, ChangeBufferBytes,
                                                            MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
                        : nullptr;
    if (pBuffer == nullptr)
    {
        sys::CloseHandle(hDirectory);
        return false;
    }
    FILE_WATCH* pWatch = new FILE_WATCH();
    pWatch->dwFilter = dwFilter;
    pWatch->hDirectory = hDirectory;
    pWatch->pBuffer = pBuffer;
    pWatch->pListener = pListener;
    pWatch->stOverlapped.hEvent = pWatch;
    m_apWatches[nSlot] = pWatch;
    if (HandOver(pWatch) && !pWatch->bFinished)
        return true;
    StopWatch(nSlot);
    return false;
}

void CFileChangeMonitor::StopWatch(int nSlot)
{
    FILE_WATCH* pWatch = m_apWatches[nSlot];
    m_apWatches[nSlot] = nullptr;
    pWatch->bStopRequested = 1;
    if (!HandOver(pWatch))
    {
        // The system cancels the reads of a thread that has ended, so with
        // the monitor thread gone nothing can fill the buffer any more.
        CloseDirectory(pWatch);
        FreeWatch(pWatch);
        return;
    }
    DWORD dwStart = ::GetTickCount();
    while (!pWatch->bFinished && ::GetTickCount() - dwStart < FinishWaitMs)
        ::SleepEx(2, TRUE);
    // A read that never completed may still write into the buffer: it is
    // left allocated rather than freed under the system's feet.
    if (pWatch->bFinished)
        FreeWatch(pWatch);
}

void CFileChangeMonitor::FreeWatch(FILE_WATCH* pWatch)
{
    ::VirtualFree(pWatch->pBuffer, 0, MEM_RELEASE);
    delete pWatch;
}

void CFileChangeMonitor::UnwatchPartition(CFileChangeListener* pListener)
{
    if (IsMonitorThread())
        return;
    CSectionLock lock(m_csCallers);
    for (int i = 0; i < MaxWatches; ++i)
    {
        if (m_apWatches[i] != nullptr && m_apWatches[i]->pListener == pListener)
            StopWatch(i);
    }
}

void CFileChangeMonitor::Stop()
{
    if (IsMonitorThread())
        return;
    CSectionLock lock(m_csCallers);
    for (int i = 0; i < MaxWatches; ++i)
    {
        if (m_apWatches[i] != nullptr)
            StopWatch(i);
    }
    ::SetEvent(m_hStopEvent);
    ::WaitForSingleObjectEx(m_hThread, 5000, TRUE);
}

int CFileChangeMonitor::GetWatchCount() const
{
    CSectionLock lock(m_csCallers);
    int nCount = 0;
    for (const FILE_WATCH* pWatch : m_apWatches)
        nCount += pWatch != nullptr ? 1 : 0;
    return nCount;
}
