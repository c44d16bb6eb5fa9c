// CObjectNameQuery: asks the type and then the object name of disk-file handles on a thread of
// its own. Both queries can block for good on some handles (a synchronous pipe with a read
// pending), so the caller waits a bounded time and leaves such a handle to the stuck thread.
#pragma once

#include <windows.h>

class CUnicodeString;

// The object name of a handle, as the system's native name query gives it; false when the
// query fails or its answer does not lie within the buffer. Can block: see CObjectNameQuery.
bool QueryObjectName(HANDLE hObject, CUnicodeString& strName);

class CObjectNameQuery
{
public:
    // NotDisk: the handle is not a disk file, and its name was not asked.
    enum class ANSWER { Named, NotDisk, Failed, TimedOut };
    static constexpr DWORD TimeoutMs = 1000;

    CObjectNameQuery() : m_pShared(nullptr), m_hThread(nullptr) {}
    ~CObjectNameQuery();
    CObjectNameQuery(const CObjectNameQuery&) = delete;
    CObjectNameQuery& operator=(const CObjectNameQuery&) = delete;

    // After TimedOut the handle is no longer the caller's: the stuck thread closes it if its
    // query ever returns, and the next question goes to a new thread.
    ANSWER Ask(HANDLE hObject, CUnicodeString& strName);

private:
    struct SHARED;

    bool Start();
    void Abandon();
    static DWORD WINAPI ThreadMain(LPVOID pParameter);
    static void Release(SHARED* pShared);

    SHARED* m_pShared;   // one reference is ours, one the thread's
    HANDLE m_hThread;
};
