// IConnectionHost: what the connection asks of the window that owns it: the
// transport, the retry timer, the status panes, boxes, posted messages and
// the reply handling. The drive list view is the one real host.
#pragma once

#include "gui/ConnectionTransport.h"

#include "classlib/String.h"

#include <windows.h>

#include <cstdint>
#include <memory>

class CNetDefragBuffer;

class IConnectionHost
{
public:
    virtual ~IConnectionHost() = default;

    // A queued server that sets the event whenever it queues an item; null
    // when it cannot be made.
    virtual std::unique_ptr<IConnectionTransport> CreateTransport(HANDLE hItemsQueued) = 0;

    // The retry timer; SetRetryTimer answers the timer's id, 0 on failure.
    virtual UINT_PTR SetRetryTimer(UINT nElapseMs) = 0;
    virtual void KillRetryTimer(UINT_PTR nTimerId) = 0;

    // The first status pane and the pane with the computer's name.
    virtual void SetStatusText(const wchar_t* pszText) = 0;
    virtual void ShowComputerName(const wchar_t* pszName) = 0;
    virtual void SetServiceVersion(const wchar_t* pszText) = 0;
    virtual void SetTrayState(int nState) = 0;
    // A modal box with the program's name as its title.
    virtual void ShowMessageBox(const wchar_t* pszText) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Called from the waiting thread: the queue holds events.
    virtual void PostServerData() = 0;
    // A drain that used its time goes on from a timer, after the window's
    // input and painting.
    virtual void ResumeDrainLater() = 0;
    // From the drain: bRetry asks for the retry timer after the close.
    virtual void PostServerLost(bool bRetry) = 0;
    // Runs what waits in the window thread's queue.
    virtual void PumpMessages() = 0;
    virtual void Sleep(DWORD dwMs) = 0;
    virtual CString GetLocalComputerName() = 0;
    virtual void TrimWorkingSet() = 0;

    virtual void EmptyList() = 0;
    virtual void ResetWindows() = 0;
    // Gives up the cluster maps; bUnsubscribe tells whether the service is
    // still there to be told.
    virtual void ReleaseClusterMaps(bool bUnsubscribe) = 0;
    // One received message after its header; an exception refuses the peer.
    virtual void DispatchPacket(int32_t nClientId, int32_t nCommand, CNetDefragBuffer& ar) = 0;
};
