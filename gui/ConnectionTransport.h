// IConnectionTransport: what the connection needs of the queued server in
// client mode, so that tests can put a scripted queue in its place.
#pragma once

#include "protocol/QueueItemList.h"

#include <windows.h>

#include <cstdint>

class IConnectionTransport
{
public:
    virtual ~IConnectionTransport() = default;

    // On failure the thread's last error tells why (ERROR_PIPE_BUSY: another
    // client holds the pair).
    virtual bool ConnectLocal(const wchar_t* pszPipeName) = 0;
    virtual bool IsConnected() const = 0;
    // The oldest event, or null. Items are made as CQOVQueuedServer makes
    // them and freed with CQOVQueuedServer::FreeItem, also after the
    // transport is gone.
    virtual stQueueItem* PopItem() = 0;
    virtual void FlushQueue() = 0;
    virtual void OnIdle() = 0;
    virtual bool SendToAll(const BYTE* pPayload, int32_t nLength) = 0;
    virtual void DisconnectClient(int nClientId) = 0;
    virtual void DisconnectAll() = 0;
    virtual void Stop() = 0;
};
