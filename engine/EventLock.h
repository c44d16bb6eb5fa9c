// CEventLock: a lock across the whole service, held by one volume's check at a time; a thread
// waiting for it gives up when its own abort event is set. CEventLockGuard takes it for a
// scope and gives it back on every way out, and only when it got it.
#pragma once

#include <windows.h>

class CEventLock
{
public:
    CEventLock();
    ~CEventLock();
    CEventLock(const CEventLock&) = delete;
    CEventLock& operator=(const CEventLock&) = delete;

    // False when closed, when the abort handle was set first, or when the wait failed.
    bool Lock(HANDLE hAbort);
    void Unlock();
    void Close();
    bool HasEvent() const { return m_hEvent != nullptr; }
    LONG GetWaiterCount() const { return m_lWaiters; }

private:
    HANDLE m_hEvent;   // auto-reset, signalled while free
    volatile bool m_bClosed;
    volatile LONG m_lWaiters;
};

class CEventLockGuard
{
public:
    CEventLockGuard(CEventLock* pLock, HANDLE hAbort);
    ~CEventLockGuard();
    CEventLockGuard(const CEventLockGuard&) = delete;
    CEventLockGuard& operator=(const CEventLockGuard&) = delete;

    bool IsAcquired() const { return m_bAcquired; }

private:
    CEventLock* m_pLock;
    HANDLE m_hAbort;
    bool m_bAcquired;
};
