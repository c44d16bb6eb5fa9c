// CNamedPipe: one connection endpoint made of two one-way, byte-mode, overlapped
// named pipes ("_IN" towards the server, "_OUT" towards the client), served by a
// reader thread that turns what arrives into calls of the virtual operations.
#pragma once

#include "base/SyncObjects.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

class CNamedPipe
{
public:
    static constexpr DWORD ChunkSize = 1024;
    static constexpr int MaxNameLength = 511;
    // How long one message, all its chunks and the flush, may wait for a peer
    // that does not read before that peer is dropped.
    static constexpr DWORD WriteTimeoutMs = 5000;
    static constexpr DWORD ClientRetryMs = 10000;
    static constexpr DWORD ListenRetryMs = 200;
    // How long the second half of a pair may take after the first connected.
    static constexpr DWORD HalfOpenTimeoutMs = 5000;
    // How often a half-open pair looks whether its client has left already.
    static constexpr DWORD HalfOpenPollMs = 100;
    static constexpr DWORD CloseWaitMs = 10000;
    // Writes and disconnections for whichever peer is connected.
    static constexpr uint32_t AnyGeneration = 0;

    CNamedPipe();
    // Derived classes call Close in their own destructors: the reader thread
    // calls their operations and must be gone before they are.
    virtual ~CNamedPipe();
    CNamedPipe(const CNamedPipe&) = delete;
    CNamedPipe& operator=(const CNamedPipe&) = delete;

    // False when the name is longer than MaxNameLength.
    bool SetName(const wchar_t* pszName, const wchar_t* pszComputer);
    std::wstring GetHalfName(bool bIn) const;

    // A server refuses to open a pair whose name another pipe holds already
    // (ERROR_ALREADY_EXISTS or ERROR_ACCESS_DENIED), so that it never shares
    // its clients with a process that poses as it.
    bool Open(bool bServerMode);
    // Writes are serialised here; a peer that has not read the whole message
    // within WriteTimeoutMs is dropped and the write fails. A write to a peer
    // that has already left fails without calling OnError: the reader thread
    // reports the departure through OnDisconnect. A write for a generation
    // other than the connected one fails with ERROR_PIPE_NOT_CONNECTED.
    bool Write(const BYTE* pBytes, DWORD dwCount, uint32_t nGeneration = AnyGeneration);
    // Nothing happens when the generation given is not the connected one.
    void Disconnect(uint32_t nGeneration = AnyGeneration);
    void Close();
    bool IsConnected() const { return m_bConnected; }
    bool IsServerMode() const { return m_bServerMode; }
    // Counts the connections: each peer that connects gets the next number,
    // so that what was meant for one peer never reaches the one after it on
    // the same pair. Never AnyGeneration.
    uint32_t GetGeneration() const { return m_nGeneration; }

protected:
    // OnReceive and OnConnect run on the reader thread, where GetGeneration
    // names the peer they are about. OnDisconnect and OnError may run on a
    // thread that writes or disconnects, and are told the generation.
    virtual void OnReceive(const BYTE* pBytes, DWORD dwCount) = 0;
    virtual void OnDisconnect(uint32_t nGeneration) = 0;
    virtual void OnError(DWORD dwError, uint32_t nGeneration) = 0;
    virtual void OnConnect() = 0;

    // Guards disconnection and the two pipe handles.
    CCriticalSection m_csPipe;

private:
    // ListenConnected also means "nothing has failed yet" while halves are pending.
    enum EListen { ListenConnected, ListenRetry, ListenStopped };
    enum ERead { ReadData, ReadEnded, ReadStopped };

    // One half of the pair while the server waits for its client.
    struct stListenHalf
    {
        HANDLE hPipe;
        OVERLAPPED* pOverlapped;
        bool bPending;
    };

    static DWORD WINAPI ReaderThreadProc(LPVOID pParam);
    void ReaderLoop();
    bool CreateServerPipes();
    bool IsNameHeld();
    bool OpenClientPipes();
    bool KeepPairOrClose();
    void CloseHandles();
    bool StartReader();
    bool StopReader();

    bool HasHandles();
    bool ListenForClient();
    EListen ConnectOnce();
    DWORD StartConnect(stListenHalf& stHalf, CEvent& evCompletion);
    EListen AwaitConnects(stListenHalf& stRead, stListenHalf& stWrite);
    EListen AwaitOneConnect(stListenHalf& stRead, stListenHalf& stWrite, ULONGLONG ullHalfSince);
    bool IsHalfOpenOver(stListenHalf& stRead, stListenHalf& stWrite, ULONGLONG ullHalfSince);
    static void CancelPending(stListenHalf& stHalf);
    static void CancelPendingIo(HANDLE hPipe, OVERLAPPED* pOverlapped);
    bool ReopenClient();
    bool IsStopRequested() const;
    bool WaitStopFor(DWORD dwMilliseconds) const;
    bool ReadUntilDisconnected();
    ERead ReadChunk(BYTE* pBuffer, DWORD* pdwRead);
    ERead AwaitRead(HANDLE hRead, DWORD* pdwRead);
    void MarkConnected();

    bool WriteChunk(HANDLE hWrite, const BYTE* pBytes, DWORD dwCount, ULONGLONG ullDeadline,
                    DWORD* pdwWritten);
    bool FlushBounded(HANDLE hPipe, ULONGLONG ullDeadline);
    void ReportWriteError(DWORD dwError, uint32_t nGeneration);
    void DropPeer();
    void DisconnectPeer(bool bFlush, uint32_t nGeneration);

    std::wstring m_strPipeName;
    std::wstring m_strComputer;
    std::wstring m_strFullName;
    HANDLE m_hWrite;
    HANDLE m_hRead;
    HANDLE m_hThread;
    DWORD m_dwThreadId;
    CEvent m_evStop;
    CEvent m_evStarted;
    CEvent m_evWrite;
    // The "_OUT" connect has its own completion event and OVERLAPPED so that
    // it never shares one with a write of another thread.
    CEvent m_evConnectOut;
    // Set when a write gave up on the peer: the reader thread then drops it.
    CEvent m_evDrop;
    // Used by the reader thread alone, for the "_IN" connect and every read.
    CEvent m_evRead;
    OVERLAPPED m_stWriteOverlapped;
    OVERLAPPED m_stConnectOverlapped;
    OVERLAPPED m_stReadOverlapped;
    bool m_bServerMode;
    std::atomic<bool> m_bConnected;
    std::atomic<bool> m_bDropping;
    // Changed by the reader thread alone, under the write and pipe locks.
    std::atomic<uint32_t> m_nGeneration;
    CCriticalSection m_csWrite;
};
