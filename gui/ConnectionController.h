// CConnectionController: the program's one connection to the service of this
// computer, without windows: connecting and retrying, the waiting thread, the
// drain of the queued events on the window's thread, sending and closing.
//
// Locks: only the connection lock is ever held here, and never across a modal
// box or the reply handling, which may open boxes of its own; their modal
// loops re-enter the drain and may close the connection under it. The waiting
// thread only tries the lock, so a stop never waits on a lock holder.
#pragma once

#include "gui/ConnectionHost.h"
#include "gui/ConnectionMessages.h"

#include "base/AutoHandle.h"
#include "base/SyncObjects.h"
#include "classlib/String.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CNetDefragObject;

class CConnectionController
{
public:
    static constexpr const wchar_t* PipeName = L"qovDefragService1";
    static constexpr UINT RetryIntervalMs = 5000;
    static constexpr DWORD IdleIntervalMs = 10000;
    static constexpr ULONGLONG DrainSliceMs = 50;
    // How long a stop waits for the waiting thread, pumping messages.
    static constexpr DWORD ThreadStopLimitMs = 30000;
    // How often the waiting thread looks at the stop event while the lock is busy.
    static constexpr DWORD LockRetryMs = 50;
    // Codes up to this one travel bare, codes from it on carry an object.
    static constexpr int32_t BareCodeLimit = 1000;

    explicit CConnectionController(IConnectionHost& host);
    ~CConnectionController();
    CConnectionController(const CConnectionController&) = delete;
    CConnectionController& operator=(const CConnectionController&) = delete;

    bool ConnectToComputer(const wchar_t* pszComputer, bool bStopRetry);
    void OnRetryTimer();
    // The queue holds events; on the window's thread.
    void DrainQueue();
    // The connection broke or the peer is incompatible: close and reset the
    // windows; with bRetry, try again every few seconds, as before the first
    // success.
    void OnServerLost(bool bRetry);
    bool SendCommand(int32_t nCode, CNetDefragObject& object);
    bool SendBareCommand(int32_t nCode);
    // Orderly close at the user's request.
    bool Disconnect();
    void OnConnectionLost();

    bool IsConnected();
    CString GetComputerName();
    bool IsRetryTimerRunning() const { return m_nRetryTimer != 0; }
    bool HasRetryEnded() const { return m_bRetryEnded; }
    bool IsWaitThreadRunning() const { return m_hThread.Get() != NULL; }
    // Codes sent on the wrong side of BareCodeLimit.
    int GetAssertionCount() const { return m_nAssertions; }
    // Idle ticks of the waiting thread that found the lock taken, and stops
    // that gave up waiting for the thread.
    int GetIdleTicksDeferred() const { return m_nIdleTicksDeferred; }
    int GetThreadStopsAbandoned() const { return m_nThreadStopsAbandoned; }
    // Tests shorten the waiting thread's idle interval and the stop limit,
    // and give the pipe pair a name of their own.
    void SetTimings(DWORD dwIdleMs, DWORD dwStopLimitMs);
    void SetPipeName(const wchar_t* pszName) { m_strPipeName = pszName; }

private:
    static unsigned __stdcall ConnectionWaitThread(void* pController);
    void WaitLoop();
    // False when stopped while waiting for the lock.
    bool IdleTick();

    bool CreateEvents();
    bool OpenPipe(const CString& strComputer);
    static bool IsLocalComputer(const CString& strComputer, const CString& strMyComputer,
                                const CString& strLocal);
    void OnConnectFailed(DWORD dwError);
    bool StartRetryTimer();
    void StopRetryTimer();
    void ArmRetryAfterLoss();

    // False ends the drain.
    bool HandleData(const stQueueItem& stItem);
    void HandleLeave(const stQueueItem& stItem);

    bool Send(int32_t nCode, CNetDefragObject* pObject);
    void ReportAssertion(int nLine);

    enum class ECloseKind { Orderly, Lost };
    void Close(ECloseKind eKind);
    void StopWaitThread();
    void WaitPumping(HANDLE hThread);

    IConnectionHost& m_host;
    CString m_strPipeName;
    CString m_strComputerName;
    CAutoHandle m_hStopEvent;
    CAutoHandle m_hThread;
    CAutoHandle m_hDataEvent;
    CCriticalSection m_csConnection;
    std::unique_ptr<IConnectionTransport> m_pTransport;
    bool m_bRetryEnded;
    // A loss the user did not ask for re-arms the retry after the first success.
    bool m_bRetryAfterLoss;
    UINT_PTR m_nRetryTimer;
    // A timer tick inside a connect's modal box must not start another connect.
    bool m_bConnecting;
    int m_nAssertions;
    std::atomic<int> m_nIdleTicksDeferred;
    // New items are announced once, by one message in the window's queue or by
    // the drain's own timer: a queue that never empties would keep the window
    // from painting.
    std::atomic<bool> m_bDataPosted;
    int m_nThreadStopsAbandoned;
    DWORD m_dwIdleMs;
    DWORD m_dwStopLimitMs;
};
