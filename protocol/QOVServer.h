// CQOVServer: one endpoint that joins the pipe channel and the TCP channel and
// names its clients by id: the pipe client (-1, or -2 for the service's command
// server) and the TCP slots 0-19. Unless overridden, payloads are echoed.
#pragma once

#include "protocol/LCServer.h"
#include "protocol/NCServer.h"

class CQOVServer : public CLCServer, public CNCServer
{
public:
    static constexpr int DefaultPipeClientId = -1;

    CQOVServer();
    ~CQOVServer() override;

    void SetPipeClientId(int nClientId) { m_nPipeClientId = nClientId; }
    int GetPipeClientId() const { return m_nPipeClientId; }

    int GetClientCount() const;
    bool IsConnected() const;
    bool SendTo(int nClientId, const BYTE* pPayload, int32_t nLength);
    bool SendToAll(const BYTE* pPayload, int32_t nLength);
    void DisconnectClient(int nClientId);
    void DisconnectAll();
    void Stop();
    void FreeBuffers();

protected:
    void OnPipeDisconnected() override {}
    void OnPipeError(DWORD) override {}
    void OnPipeConnected() override {}
    void OnStart(const wchar_t*) override {}

    void OnTcpStart() override {}
    void OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength) override;
    void OnClientDisconnected(int) override {}
    void OnClientError(int, DWORD) override {}
    void OnClientConnected(int) override {}

    int m_nPipeClientId;
};
