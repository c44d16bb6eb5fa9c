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
    bool SendFrame(const BYTE* pPayload, int32_t nLength);
    void FreeBuffers();
    void Disconnect();

protected:
    void OnReceive(const BYTE* pBytes, DWORD dwCount) override;
    void OnDisconnect() override;
    void OnError(DWORD dwError) override;
    void OnConnect() override;

    // Called on the reader thread with the receive lock held. The default
    // writes the payload back unframed.
    virtual void OnMessage(const BYTE* pPayload, int32_t nLength);
    virtual void OnPipeDisconnected() = 0;
    virtual void OnPipeError(DWORD dwError) = 0;
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
    void DeliverFrame();

    int32_t m_nExpectedVersion;
    CKeptBuffer m_sendBuffer;
};
