// CQOVServer: one endpoint that joins the pipe channel and the TCP channel and
// names its clients by id: the pipe client (-1, or -2 for the service's command
// server) and the TCP slots 0-19. Unless overridden, payloads are echoed.
#pragma once

#include "protocol/LCServer.h"
#include "protocol/NCServer.h"

#include <atomic>

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
    // The connection a client id names now (see CNamedPipe::GetGeneration).
    uint32_t GetGeneration(int nClientId) const;
    // With a generation, nothing reaches a client that connected after the
    // one meant: a send to it is dropped (true), a disconnection skipped.
    bool SendTo(int nClientId, const BYTE* pPayload, int32_t nLength, uint32_t nGeneration = AnyGeneration);
    bool SendToAll(const BYTE* pPayload, int32_t nLength);
    void DisconnectClient(int nClientId, uint32_t nGeneration = AnyGeneration);
    void DisconnectAll(uint32_t nGeneration = AnyGeneration);
    void Stop();
    void FreeBuffers();

protected:
    void OnPipeDisconnected(uint32_t) override {}
    void OnPipeError(DWORD, uint32_t) override {}
    void OnPipeConnected() override {}
    void OnStart(const wchar_t*) override {}

    void OnTcpStart() override {}
    void OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength) override;
    void OnClientDisconnected(int) override {}
    void OnClientError(int, DWORD) override {}
    void OnClientConnected(int) override {}

    // A TCP slot's next connection; on the worker thread.
    void NextSlotGeneration(int nSlot);
    bool IsOtherSlotPeer(int nClientId, uint32_t nGeneration) const;
    bool IsSlot(int nClientId) const { return nClientId >= 0 && nClientId < SlotCount; }

    int m_nPipeClientId;
    std::atomic<uint32_t> m_anSlotGeneration[SlotCount];
};
