// CLCServer: the frame channel on a named-pipe pair. It puts frames around
// message payloads and reassembles the frames that arrive, however the reads
// split them; the service and both clients carry it.
#pragma once

#include "protocol/FrameAssembler.h"
#include "protocol/KeptBuffer.h"
#include "protocol/NamedPipe.h"

#include <cstdint>

class CLCServer : public CNamedPipe
{
public:
    CLCServer();
    ~CLCServer() override;

    bool StartServer(const wchar_t* pszName);
    bool ConnectLocal(const wchar_t* pszName);
    // A frame for one generation of the pipe's connection: nothing is sent
    // to a later peer.
    bool SendFrame(const BYTE* pPayload, int32_t nLength, uint32_t nGeneration = AnyGeneration);
    void FreeBuffers();
    void Disconnect(uint32_t nGeneration = AnyGeneration);

protected:
    void OnReceive(const BYTE* pBytes, DWORD dwCount) override;
    void OnDisconnect(uint32_t nGeneration) override;
    void OnError(DWORD dwError, uint32_t nGeneration) override;
    void OnConnect() override;

    // Called on the reader thread with the receive lock held. The default
    // writes the payload back unframed. False drops the peer.
    virtual bool OnMessage(const BYTE* pPayload, int32_t nLength);
    virtual void OnPipeDisconnected(uint32_t nGeneration) = 0;
    virtual void OnPipeError(DWORD dwError, uint32_t nGeneration) = 0;
    virtual void OnPipeConnected() = 0;
    virtual void OnStart(const wchar_t* pszName) = 0;

    // Error code reported for a frame of another frame version; the frame is
    // still delivered.
    static constexpr DWORD FrameVersionError = 1;

    CCriticalSection m_csReceive;
    CCriticalSection m_csSend;
    // Holds the receive record; guarded by the receive lock.
    CFrameAssembler m_assembler;

private:
    bool ConsumeReceived(const BYTE* pBytes, DWORD dwCount);
    bool DeliverFrame();

    int32_t m_nExpectedVersion;
    CKeptBuffer m_sendBuffer;
};
