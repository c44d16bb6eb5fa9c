// CIoCanceller: bounds one blocking call of the current thread (a pipe flush
// waits until the peer has read everything) by cancelling the thread's
// synchronous I/O when the time runs out.
#pragma once

#include <windows.h>

#include <atomic>

class CIoCanceller
{
public:
    explicit CIoCanceller(DWORD dwTimeoutMs);
    // Waits for a timer callback that is already running, so that a late
    // cancel never hits the thread's next call.
    ~CIoCanceller();
    CIoCanceller(const CIoCanceller&) = delete;
    CIoCanceller& operator=(const CIoCanceller&) = delete;

    bool IsArmed() const { return m_hTimer != NULL; }
    bool HasFired() const { return m_bFired; }

private:
    static VOID CALLBACK OnTimer(PVOID pParam, BOOLEAN bTimerOrWait);

    HANDLE m_hThread;
    HANDLE m_hTimer;
    std::atomic<bool> m_bFired;
};
