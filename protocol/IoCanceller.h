// CIoCanceller: bounds one blocking call of the current thread (a pipe flush
// waits until the peer has read everything) by cancelling the thread's
// synchronous I/O when the time runs out, or at once when an abort event is
// set while the call blocks.
#pragma once

#include <windows.h>

#include <atomic>

class CIoCanceller
{
public:
    // hAbort may be NULL: the time alone then bounds the call.
    explicit CIoCanceller(DWORD dwTimeoutMs, HANDLE hAbort = NULL);
    // Ends and waits for a callback that is running, so that a late cancel
    // never hits the thread's next call.
    ~CIoCanceller();
    CIoCanceller(const CIoCanceller&) = delete;
    CIoCanceller& operator=(const CIoCanceller&) = delete;

    bool IsArmed() const { return m_hTimer != NULL || m_hWait != NULL; }
    // The time ran out or the abort event was set.
    bool HasFired() const { return m_bFired; }

private:
    static VOID CALLBACK OnFire(PVOID pParam, BOOLEAN bTimerOrWait);

    HANDLE m_hThread;
    HANDLE m_hTimer;
    HANDLE m_hWait;
    std::atomic<bool> m_bFired;
    std::atomic<bool> m_bDone;
};
