// CObjectNameQuery: asks the type and then the object name of disk-file handles on a thread of
// its own. Both queries can block for good on some handles (a synchronous pipe with a read
// pending), so the caller waits a bounded time and leaves such a handle to the stuck thread.
// The objects met stuck are remembered for the whole process and skipped while their thread
// is still stuck, and the number of threads left stuck is capped.
#pragma once

#include <windows.h>

class CUnicodeString;

// The object name of a handle, as the system's native name query gives it; false when the
// query fails or its answer does not lie within the buffer. Can block: see CObjectNameQuery.
bool QueryObjectName(HANDLE hObject, CUnicodeString& strName);

class CObjectNameQuery
{
public:
    // NotDisk: the handle is not a disk file, and its name was not asked. Skipped: the object
    // is stuck in an earlier question, or no more threads may be left stuck; nothing was
    // asked. Stopped: the stop event ended the wait.
    enum class ANSWER { Named, NotDisk, Failed, TimedOut, Skipped, Stopped };
    static constexpr DWORD TimeoutMs = 1000;
    static constexpr LONG MaxStuckThreads = 4;

    CObjectNameQuery() : m_pShared(nullptr), m_hThread(nullptr) {}
    ~CObjectNameQuery();
    CObjectNameQuery(const CObjectNameQuery&) = delete;
    CObjectNameQuery& operator=(const CObjectNameQuery&) = delete;

    // After TimedOut and Stopped the handle is no longer the caller's: the thread left behind
    // closes it when its query returns, and the next question goes to a new thread. ulObject
    // is the object's address from the handle table, by which a stuck object is known again
    // (0: not known); hStopEvent, when given, ends the wait at once.
    ANSWER Ask(HANDLE hObject, ULONG_PTR ulObject, HANDLE hStopEvent, CUnicodeString& strName);
    // Threads whose question has not returned, and whether an object is stuck in one.
    static LONG GetStuckThreadCount();
    static bool IsStuck(ULONG_PTR ulObject);

private:
    struct SHARED;

    bool Start();
    void Abandon();
    static DWORD WINAPI ThreadMain(LPVOID pParameter);
    static void Release(SHARED* pShared);

    SHARED* m_pShared;   // one reference is ours, one the thread's
    HANDLE m_hThread;
};
