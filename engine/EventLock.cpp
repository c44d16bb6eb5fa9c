#include "engine/EventLock.h"

CEventLock::CEventLock() : m_hEvent(::CreateEventW(nullptr, FALSE, TRUE, nullptr)), m_bClosed(false), m_lWaiters(0)
{
}

CEventLock::~CEventLock()
{
    Close();
}

bool CEventLock::Lock(HANDLE hAbort)
{
    if (m_bClosed || m_hEvent == nullptr)
        return false;
    ::InterlockedIncrement(&m_lWaiters);
    DWORD dwResult = WAIT_FAILED;
    if (hAbort != nullptr && hAbort != INVALID_HANDLE_VALUE)
    {
        // The abort handle comes first, so that a set abort wins over a free lock.
        HANDLE ahWait[2] = {hAbort, m_hEvent};
        dwResult = ::WaitForMultipleObjects(2, ahWait, FALSE, INFINITE);
    }
    else
    {
        dwResult = ::WaitForSingleObject(m_hEvent, INFINITE) == WAIT_OBJECT_0 ? WAIT_OBJECT_0 + 1 : WAIT_FAILED;
    }
    ::InterlockedDecrement(&m_lWaiters);
    // Only a wait that ended on the event took the lock; a failed wait must not pass for one.
    return dwResult == WAIT_OBJECT_0 + 1;
}

void CEventLock::Unlock()
{
    if (m_hEvent != nullptr)
        ::SetEvent(m_hEvent);
}

void CEventLock::Close()
{
    m_bClosed = true;
    HANDLE hEvent = m_hEvent;
    m_hEvent = nullptr;
    if (hEvent != nullptr)
        ::CloseHandle(hEvent);
}

CEventLockGuard::CEventLockGuard(CEventLock* pLock, HANDLE hAbort)
    : m_pLock(pLock), m_hAbort(hAbort), m_bAcquired(pLock != nullptr && pLock->Lock(hAbort))
{
}

CEventLockGuard::~CEventLockGuard()
{
    if (m_bAcquired && m_pLock->HasEvent())
        m_pLock->Unlock();
}
