#include "protocol/IoCanceller.h"

namespace
{
const DWORD RecancelMs = 10;
const ULONG FireFlags = WT_EXECUTEONLYONCE | WT_EXECUTELONGFUNCTION;
}

CIoCanceller::CIoCanceller(DWORD dwTimeoutMs, HANDLE hAbort)
    : m_hThread(NULL), m_hTimer(NULL), m_hWait(NULL), m_bFired(false), m_bDone(false)
{
    // GetCurrentThread is a pseudo handle that would name the callback's own thread.
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                           &m_hThread, 0, FALSE, DUPLICATE_SAME_ACCESS))
    {
        m_hThread = NULL;
        return;
    }
    if (hAbort != NULL)
    {
        // A wait on the event with the time-out fires on whichever comes first.
        if (!::RegisterWaitForSingleObject(&m_hWait, hAbort, OnFire, this, dwTimeoutMs, FireFlags))
            m_hWait = NULL;
        return;
    }
    if (!::CreateTimerQueueTimer(&m_hTimer, NULL, OnFire, this, dwTimeoutMs, 0, FireFlags))
        m_hTimer = NULL;
}

CIoCanceller::~CIoCanceller()
{
    m_bDone = true;
    if (m_hTimer != NULL)
        ::DeleteTimerQueueTimer(NULL, m_hTimer, INVALID_HANDLE_VALUE);
    if (m_hWait != NULL)
        ::UnregisterWaitEx(m_hWait, INVALID_HANDLE_VALUE);
    if (m_hThread != NULL)
        ::CloseHandle(m_hThread);
}

VOID CALLBACK CIoCanceller::OnFire(PVOID pParam, BOOLEAN)
{
    CIoCanceller* pThis = static_cast<CIoCanceller*>(pParam);
    pThis->m_bFired = true;
    // The call may not have begun yet when the time is short: cancelling
    // once would then miss it, so the cancel repeats until the owner is done.
    while (!pThis->m_bDone)
    {
        ::CancelSynchronousIo(pThis->m_hThread);
        ::Sleep(RecancelMs);
    }
}
