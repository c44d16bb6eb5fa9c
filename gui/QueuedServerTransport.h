// CQueuedServerTransport: the connection's transport over a real queued
// server in client mode on the service's named-pipe pair.
#pragma once

#include "gui/ConnectionTransport.h"

#include "protocol/QOVQueuedServer.h"

class CQueuedServerTransport : public IConnectionTransport
{
public:
    // Throws std::runtime_error when the server's own events cannot be made.
    explicit CQueuedServerTransport(HANDLE hItemsQueued) : m_server(hItemsQueued) {}

    bool ConnectLocal(const wchar_t* pszPipeName) override { return m_server.ConnectLocal(pszPipeName); }
    bool IsConnected() const override { return m_server.IsConnected(); }
    stQueueItem* PopItem() override { return m_server.PopItem(); }
    void FlushQueue() override { m_server.FlushQueue(); }
    void OnIdle() override { m_server.OnIdle(); }
    bool SendToAll(const BYTE* pPayload, int32_t nLength) override { return m_server.SendToAll(pPayload, nLength); }
    void DisconnectClient(int nClientId) override { m_server.DisconnectClient(nClientId); }
    void DisconnectAll() override { m_server.DisconnectAll(); }
    void Stop() override { m_server.Stop(); }

private:
    CQOVQueuedServer m_server;
};
