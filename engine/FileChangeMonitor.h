// CFileChangeMonitor: watches the roots of volumes in background mode on one
// thread of its own, which issues every directory-change read and runs every
// completion, and hands each change to the volume's listener. Any thread but the
// monitor's own may watch and unwatch; those calls are taken one at a time.
#pragma once

#include <windows.h>

#include "base/SyncObjects.h"

class CFileChangeListener;

struct FILE_WATCH
{
    DWORD dwFilter;
    HANDLE hDirectory;          // cleared by the monitor thread when the watch stops
    BYTE* pBuffer;              // ChangeBufferBytes of committed pages
    CFileChangeListener* pListener;
    OVERLAPPED stOverlapped;    // hEvent carries the watch itself
    volatile LONG bFinished;    // the last read has completed; nothing touches the buffer
    volatile LONG bStopRequested;
};

class CFileChangeMonitor
{
public:
    static constexpr int MaxWatches = 256;
    static constexpr DWORD ChangeBufferBytes = 65536;
    static constexpr DWORD FileFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE;
    static constexpr DWORD DirectoryFilter = FILE_NOTIFY_CHANGE_DIR_NAME;

    // Throws std::runtime_error when its events or thread cannot be made.
    CFileChangeMonitor();
    ~CFileChangeMonitor();
    CFileChangeMonitor(const CFileChangeMonitor&) = delete;
    CFileChangeMonitor& operator=(const CFileChangeMonitor&) = delete;

    // False when the root cannot be opened or a watch cannot be armed; then
    // nothing of the volume stays watched. False also on the monitor's thread
    // (from a listener), which cannot wait for itself; unwatching does nothing there.
    bool WatchPartition(CFileChangeListener* pListener);
    void UnwatchPartition(CFileChangeListener* pListener);
    void Stop();

    int GetWatchCount() const;

private:
    static DWORD WINAPI ThreadProc(void* pParam);
    static void CALLBACK OnReadCompleted(DWORD dwError, DWORD dwBytes, LPOVERLAPPED pOverlapped);
    static void Dispatch(const FILE_WATCH* pWatch, DWORD dwBytes);
    static bool IssueRead(FILE_WATCH* pWatch);

    void Run();
    bool HandOver(FILE_WATCH* pWatch);
    bool IsMonitorThread() const;
    bool WaitAlertably(DWORD dwMs = 1) const;
    bool CreateWatch(HANDLE hDirectory, DWORD dwFilter, CFileChangeListener* pListener);
    void StopWatch(int nSlot);
    static void ArmOnMonitorThread(FILE_WATCH* pWatch);
    static void CloseDirectory(FILE_WATCH* pWatch);
    static void FreeWatch(FILE_WATCH* pWatch);

    // Taken by every caller around the hand-over slot and the watch table; the
    // monitor thread never takes it.
    mutable CCriticalSection m_csCallers;
    FILE_WATCH* volatile m_pHandOver;
    HANDLE m_hThread;
    DWORD m_dwThreadId;
    HANDLE m_hStopEvent;
    HANDLE m_hRequestEvent;
    FILE_WATCH* m_apWatches[MaxWatches];
};
