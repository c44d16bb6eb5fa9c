// CNCServer: the TCP channel of a queued server. As a server it serves 20
// client slots on overlapped sockets from one worker thread; as a client it
// holds one connection in slot 0. Its frames carry a sequence number.
#pragma once

#include "protocol/FrameAssembler.h"
#include "protocol/KeptBuffer.h"
#include "base/SyncObjects.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

class CNCServer
{
public:
    static constexpr int SlotCount = 20;
    static constexpr DWORD AcceptDataSize = 4032;
    static constexpr DWORD AddressSize = 32;
    static constexpr DWORD ReceiveSize = 4096;
    static constexpr DWORD SendPieceSize = 0x100000;
    // How long one message to a slot, all its pieces, may wait for the client.
    static constexpr DWORD SendWaitMs = 2000;
    static constexpr DWORD MaintainWaitMs = 5000;

    enum ESlotState { SlotFree = 0, SlotClosing = 1, SlotFailed = 2, SlotAcceptPending = 3, SlotConnected = 4 };

    CNCServer();
    // Derived classes call Stop in their own destructors: the worker thread
    // calls their operations.
    virtual ~CNCServer();
    CNCServer(const CNCServer&) = delete;
    CNCServer& operator=(const CNCServer&) = delete;

    // Port 0 lets the system choose; GetPort then tells which.
    bool Listen(USHORT usPort, int nBacklog);
    bool Connect(const char* pszHost, USHORT usPort);
    bool SendFrame(int nSlot, const BYTE* pPayload, int32_t nLength);
    bool Broadcast(const BYTE* pPayload, int32_t nLength);
    void CloseClient(int nSlot);
    void CloseAll();
    void Maintain();
    void Stop();

    int GetConnectedCount() const;
    bool IsAnyConnected() const { return GetConnectedCount() > 0; }
    USHORT GetPort() const { return m_usPort; }
    int GetSlotState(int nSlot) const { return m_aSlots[nSlot].nState; }

protected:
    virtual void OnTcpStart() = 0;
    virtual void OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength) = 0;
    virtual void OnClientDisconnected(int nClient) = 0;
    virtual void OnClientError(int nClient, DWORD dwError) = 0;
    virtual void OnClientConnected(int nClient) = 0;

private:
    // Lock order: receive lock, send lock, a slot's socket lock.
    struct stClientSlot
    {
        stClientSlot();
        ~stClientSlot();
        // Held by a send from its check of the state to its last piece, and
        // by whatever closes or re-arms the socket, so that a send never
        // reaches a socket closed or recycled under it.
        CCriticalSection csSocket;
        SOCKET hSocket;
        HANDLE hReceiveEvent;
        HANDLE hSendEvent;
        std::atomic<int> nState;
        OVERLAPPED stReceive;
        BYTE abAccept[AcceptDataSize + 2 * AddressSize];
        BYTE abReceive[ReceiveSize];
        CFrameAssembler assembler;
    };

    bool StartWinsock();
    bool StartWorker();
    static DWORD WINAPI WorkerThreadProc(LPVOID pParam);
    void WorkerLoop();
    bool IsOnWorker() const { return ::GetCurrentThreadId() == m_dwThreadId; }
    bool IsWorkerRunning() const { return m_hThread != NULL; }

    void DoMaintain();
    void ArmAccept(int nSlot);
    void PostReceive(int nSlot);
    void HandleCompletion(int nSlot);
    bool Feed(int nSlot, const BYTE* pBytes, DWORD dwCount);
    void FailSlot(int nSlot, DWORD dwError);
    void CloseSocket(int nSlot);
    bool SendToSlot(int nSlot, const BYTE* pBytes, size_t nCount);
    bool SendPiece(int nSlot, const BYTE* pBytes, DWORD dwCount, ULONGLONG ullDeadline, DWORD* pdwSent);
    void CloseSockets();

    stClientSlot m_aSlots[SlotCount];
    SOCKET m_hListen;
    USHORT m_usPort;
    CEvent m_evStop;
    CEvent m_evMaintain;
    CEvent m_evMaintained;
    HANDLE m_hThread;
    DWORD m_dwThreadId;
    bool m_bWinsock;
    CCriticalSection m_csReceive;
    CCriticalSection m_csSend;
    CKeptBuffer m_broadcastBuffer;
    int32_t m_nSequence;
};
