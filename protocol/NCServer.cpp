#include "protocol/NCServer.h"

#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <new>
#include <vector>

CNCServer::stClientSlot::stClientSlot()
    : hSocket(INVALID_SOCKET),
      hReceiveEvent(::CreateEventW(NULL, FALSE, FALSE, NULL)),
      hSendEvent(::CreateEventW(NULL, FALSE, FALSE, NULL)),
      nState(SlotFree),
      stReceive(),
      assembler(CFrameAssembler::TcpHeaderSize)
{
}

CNCServer::stClientSlot::~stClientSlot()
{
    if (hReceiveEvent != NULL)
        ::CloseHandle(hReceiveEvent);
    if (hSendEvent != NULL)
        ::CloseHandle(hSendEvent);
}

CNCServer::CNCServer()
    : m_hListen(INVALID_SOCKET),
      m_usPort(0),
      m_evStop(TRUE, FALSE),
      m_evMaintain(FALSE, FALSE),
      m_evMaintained(FALSE, FALSE),
      m_hThread(NULL),
      m_dwThreadId(0),
      m_bWinsock(false),
      m_nSequence(0)
{
}

CNCServer::~CNCServer()
{
    Stop();
}

bool CNCServer::StartWinsock()
{
    if (m_bWinsock)
        return true;
    WSADATA stData;
    m_bWinsock = ::WSAStartup(MAKEWORD(2, 2), &stData) == 0;
    return m_bWinsock;
}

bool CNCServer::Listen(USHORT usPort, int nBacklog)
{
    if (IsWorkerRunning())
        return false;
    OnTcpStart();
    if (!StartWinsock())
        return false;
    m_hListen = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, NULL, 0, WSA_FLAG_OVERLAPPED);
    if (m_hListen == INVALID_SOCKET)
        return false;
    sockaddr_in stAddress = {};
    stAddress.sin_family = AF_INET;
    stAddress.sin_addr.s_addr = htonl(INADDR_ANY);
    stAddress.sin_port = htons(usPort);
    int nLength = sizeof(stAddress);
    if (::bind(m_hListen, reinterpret_cast<sockaddr*>(&stAddress), sizeof(stAddress)) != 0 ||
        ::listen(m_hListen, nBacklog) != 0 ||
        ::getsockname(m_hListen, reinterpret_cast<sockaddr*>(&stAddress), &nLength) != 0)
    {
        Stop();
        return false;
    }
    m_usPort = ntohs(stAddress.sin_port);
    if (!StartWorker())
    {
        Stop();
        return false;
    }
    // The accepts are posted by the worker, so that they live as long as it.
    Maintain();
    return true;
}

bool CNCServer::Connect(const char* pszHost, USHORT usPort)
{
    if (IsWorkerRunning() || !StartWinsock())
        return false;
    addrinfo stHints = {};
    stHints.ai_family = AF_INET;
    stHints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    if (::getaddrinfo(pszHost, nullptr, &stHints, &pResult) != 0)
        return false;
    sockaddr_in stAddress = *reinterpret_cast<sockaddr_in*>(pResult->ai_addr);
    ::freeaddrinfo(pResult);
    stAddress.sin_port = htons(usPort);
    stClientSlot& stSlot = m_aSlots[0];
    stSlot.hSocket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, NULL, 0, WSA_FLAG_OVERLAPPED);
    if (stSlot.hSocket == INVALID_SOCKET)
        return false;
    if (::WSAConnect(stSlot.hSocket, reinterpret_cast<sockaddr*>(&stAddress), sizeof(stAddress), NULL,
                     NULL, NULL, NULL) != 0)
    {
        CloseSocket(0);
        return false;
    }
    m_usPort = usPort;
    stSlot.nState = SlotConnected;
    if (!StartWorker())
    {
        Stop();
        return false;
    }
    return true;
}

bool CNCServer::StartWorker()
{
    m_evStop.ResetEvent();
    m_hThread = ::CreateThread(NULL, 0, WorkerThreadProc, this, 0, &m_dwThreadId);
    return m_hThread != NULL;
}

DWORD WINAPI CNCServer::WorkerThreadProc(LPVOID pParam)
{
    static_cast<CNCServer*>(pParam)->WorkerLoop();
    return 0;
}

void CNCServer::WorkerLoop()
{
    if (m_aSlots[0].nState == SlotConnected)
    {
        CSectionLock receiveLock(m_csReceive);
        OnClientConnected(0);
        PostReceive(0);
    }
    HANDLE ahWait[2 + SlotCount] = {m_evStop.GetHandle(), m_evMaintain.GetHandle()};
    for (int i = 0; i < SlotCount; ++i)
        ahWait[2 + i] = m_aSlots[i].hReceiveEvent;
    for (;;)
    {
        DWORD dwWait = ::WSAWaitForMultipleEvents(2 + SlotCount, ahWait, FALSE, WSA_INFINITE, FALSE);
        if (dwWait == WSA_WAIT_EVENT_0 + 1)
        {
            DoMaintain();
            m_evMaintained.SetEvent();
        }
        else if (dwWait >= WSA_WAIT_EVENT_0 + 2 && dwWait < WSA_WAIT_EVENT_0 + 2 + SlotCount)
            HandleCompletion(static_cast<int>(dwWait - WSA_WAIT_EVENT_0 - 2));
        else
            return;
    }
}

void CNCServer::Maintain()
{
    if (!IsWorkerRunning())
        return;
    if (IsOnWorker())
    {
        DoMaintain();
        return;
    }
    m_evMaintain.SetEvent();
    HANDLE ahWait[2] = {m_evMaintained.GetHandle(), m_hThread};
    ::WaitForMultipleObjects(2, ahWait, FALSE, MaintainWaitMs);
}

void CNCServer::DoMaintain()
{
    CSectionLock receiveLock(m_csReceive);
    for (int i = 0; i < SlotCount; ++i)
    {
        stClientSlot& stSlot = m_aSlots[i];
        if (stSlot.nState == SlotFailed)
            CloseSocket(i);
        if (stSlot.nState == SlotFree && m_hListen != INVALID_SOCKET)
            ArmAccept(i);
        if (stSlot.assembler.IsIdle())
            stSlot.assembler.Reset();
    }
}

void CNCServer::ArmAccept(int nSlot)
{
    stClientSlot& stSlot = m_aSlots[nSlot];
    CSectionLock socketLock(stSlot.csSocket);
    stSlot.hSocket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, NULL, 0, WSA_FLAG_OVERLAPPED);
    if (stSlot.hSocket == INVALID_SOCKET)
        return;
    ZeroMemory(&stSlot.stReceive, sizeof(stSlot.stReceive));
    stSlot.stReceive.hEvent = stSlot.hReceiveEvent;
    DWORD dwReceived = 0;
    // With first-data space, an accept completes only once the client has
    // sent something (or closed).
    if (::AcceptEx(m_hListen, stSlot.hSocket, stSlot.abAccept, AcceptDataSize, AddressSize,
                   AddressSize, &dwReceived, &stSlot.stReceive) ||
        ::WSAGetLastError() == ERROR_IO_PENDING)
    {
        stSlot.nState = SlotAcceptPending;
        return;
    }
    CloseSocket(nSlot);
}

void CNCServer::PostReceive(int nSlot)
{
    stClientSlot& stSlot = m_aSlots[nSlot];
    ZeroMemory(&stSlot.stReceive, sizeof(stSlot.stReceive));
    stSlot.stReceive.hEvent = stSlot.hReceiveEvent;
    WSABUF stBuffer = {ReceiveSize, reinterpret_cast<CHAR*>(stSlot.abReceive)};
    DWORD dwFlags = 0;
    if (::WSARecv(stSlot.hSocket, &stBuffer, 1, NULL, &dwFlags, &stSlot.stReceive, NULL) != 0)
    {
        int nError = ::WSAGetLastError();
        if (nError != WSA_IO_PENDING)
            FailSlot(nSlot, nError);
    }
}

void CNCServer::HandleCompletion(int nSlot)
{
    CSectionLock receiveLock(m_csReceive);
    stClientSlot& stSlot = m_aSlots[nSlot];
    int nState = stSlot.nState;
    // Completions of sockets closed meanwhile carry nothing.
    if (nState != SlotAcceptPending && nState != SlotConnected)
        return;
    DWORD dwBytes = 0, dwFlags = 0;
    if (!::WSAGetOverlappedResult(stSlot.hSocket, &stSlot.stReceive, &dwBytes, FALSE, &dwFlags))
    {
        DWORD dwError = ::WSAGetLastError();
        if (dwError != WSA_IO_INCOMPLETE)
            FailSlot(nSlot, dwError);
        return;
    }
    const BYTE* pData = stSlot.abReceive;
    if (nState == SlotAcceptPending)
    {
        ::setsockopt(stSlot.hSocket, SOL_SOCKET, SO_UPDATE_ACCEPT_CONTEXT,
                     reinterpret_cast<const char*>(&m_hListen), sizeof(m_hListen));
        stSlot.nState = SlotConnected;
        OnClientConnected(nSlot);
        pData = stSlot.abAccept;
    }
    if (dwBytes == 0)
    {
        CloseClient(nSlot);
        return;
    }
    if (Feed(nSlot, pData, dwBytes))
        PostReceive(nSlot);
}

bool CNCServer::Feed(int nSlot, const BYTE* pBytes, DWORD dwCount)
{
    stClientSlot& stSlot = m_aSlots[nSlot];
    size_t nLeft = dwCount;
    while (nLeft > 0)
    {
        size_t nUsed = 0;
        CFrameAssembler::EResult eResult = stSlot.assembler.Take(pBytes, nLeft, &nUsed);
        pBytes += nUsed;
        nLeft -= nUsed;
        if (eResult == CFrameAssembler::NeedMore)
            continue;
        if (eResult != CFrameAssembler::FrameDone)
        {
            if (eResult == CFrameAssembler::NoMemory)
                OnClientError(nSlot, 0);
            CloseClient(nSlot);
            return false;
        }
        const stFrameRecord* pRecord = stSlot.assembler.GetRecord();
        if (pRecord->nFrameVersion != CFrameAssembler::FrameVersion)
            OnClientError(nSlot, 1);
        try
        {
            OnClientMessage(nSlot, pRecord->pPayload, stSlot.assembler.GetPayloadLength());
        }
        catch (...)
        {
            // A consumer's failure must not end the worker thread.
        }
    }
    return true;
}

void CNCServer::FailSlot(int nSlot, DWORD dwError)
{
    m_aSlots[nSlot].nState = SlotFailed;
    OnClientError(nSlot, dwError);
}

void CNCServer::CloseSocket(int nSlot)
{
    stClientSlot& stSlot = m_aSlots[nSlot];
    CSectionLock socketLock(stSlot.csSocket);
    if (stSlot.hSocket != INVALID_SOCKET)
    {
        ::shutdown(stSlot.hSocket, SD_BOTH);
        ::closesocket(stSlot.hSocket);
        stSlot.hSocket = INVALID_SOCKET;
    }
    stSlot.assembler.Reset();
    stSlot.nState = SlotFree;
}

void CNCServer::CloseClient(int nSlot)
{
    if (nSlot < 0 || nSlot >= SlotCount)
        return;
    CSectionLock receiveLock(m_csReceive);
    int nState = m_aSlots[nSlot].nState;
    if (nState != SlotConnected && nState != SlotFailed)
        return;
    m_aSlots[nSlot].nState = SlotClosing;
    CloseSocket(nSlot);
    OnClientDisconnected(nSlot);
}

void CNCServer::CloseAll()
{
    for (int i = 0; i < SlotCount; ++i)
        if (m_aSlots[i].nState == SlotConnected)
            CloseClient(i);
}

int CNCServer::GetConnectedCount() const
{
    int nCount = 0;
    for (const stClientSlot& stSlot : m_aSlots)
        nCount += stSlot.nState == SlotConnected ? 1 : 0;
    return nCount;
}

bool CNCServer::SendFrame(int nSlot, const BYTE* pPayload, int32_t nLength)
{
    if (!IsWorkerRunning() || nSlot < 0 || nSlot >= SlotCount || nLength < 0 ||
        nLength > CFrameAssembler::MaxPayload)
        return false;
    size_t nSize = CFrameAssembler::GetFrameSize(CFrameAssembler::TcpHeaderSize, nLength);
    std::unique_ptr<BYTE[]> pFrame(new (std::nothrow) BYTE[nSize]);
    if (!pFrame)
        return false;
    CSectionLock sendLock(m_csSend);
    CFrameAssembler::WriteFrame(pFrame.get(), CFrameAssembler::TcpHeaderSize, pPayload, nLength,
                                ++m_nSequence);
    return SendToSlot(nSlot, pFrame.get(), nSize);
}

bool CNCServer::Broadcast(const BYTE* pPayload, int32_t nLength)
{
    if (!IsWorkerRunning() || nLength < 0 || nLength > CFrameAssembler::MaxPayload)
        return false;
    CSectionLock sendLock(m_csSend);
    size_t nSize = CFrameAssembler::GetFrameSize(CFrameAssembler::TcpHeaderSize, nLength);
    BYTE* pFrame = m_broadcastBuffer.Reserve(nSize);
    if (pFrame == nullptr)
        return false;
    CFrameAssembler::WriteFrame(pFrame, CFrameAssembler::TcpHeaderSize, pPayload, nLength, ++m_nSequence);
    bool bAllSent = true;
    for (int i = 0; i < SlotCount; ++i)
        if (m_aSlots[i].nState == SlotConnected)
            bAllSent &= SendToSlot(i, pFrame, nSize);
    return bAllSent;
}

bool CNCServer::SendToSlot(int nSlot, const BYTE* pBytes, size_t nCount)
{
    CSectionLock socketLock(m_aSlots[nSlot].csSocket);
    if (m_aSlots[nSlot].nState != SlotConnected)
        return false;
    // One deadline for the whole message, as on the pipe.
    ULONGLONG ullDeadline = ::GetTickCount64() + SendWaitMs;
    while (nCount > 0)
    {
        DWORD dwSent = 0;
        DWORD dwPiece = static_cast<DWORD>(std::min<size_t>(nCount, SendPieceSize));
        if (!SendPiece(nSlot, pBytes, dwPiece, ullDeadline, &dwSent) || dwSent == 0)
            return false;
        pBytes += dwSent;
        nCount -= dwSent;
    }
    return true;
}

bool CNCServer::SendPiece(int nSlot, const BYTE* pBytes, DWORD dwCount, ULONGLONG ullDeadline, DWORD* pdwSent)
{
    stClientSlot& stSlot = m_aSlots[nSlot];
    OVERLAPPED stOverlapped = {};
    stOverlapped.hEvent = stSlot.hSendEvent;
    WSABUF stBuffer = {dwCount, reinterpret_cast<CHAR*>(const_cast<BYTE*>(pBytes))};
    if (::WSASend(stSlot.hSocket, &stBuffer, 1, pdwSent, 0, &stOverlapped, NULL) == 0)
        return true;
    int nError = ::WSAGetLastError();
    if (nError != WSA_IO_PENDING)
    {
        FailSlot(nSlot, nError);
        return false;
    }
    ULONGLONG ullNow = ::GetTickCount64();
    DWORD dwLeft = ullNow >= ullDeadline ? 0 : static_cast<DWORD>(ullDeadline - ullNow);
    HANDLE ahWait[2] = {m_evStop.GetHandle(), stSlot.hSendEvent};
    DWORD dwFlags = 0;
    if (::WaitForMultipleObjects(2, ahWait, FALSE, dwLeft) != WAIT_OBJECT_0 + 1)
    {
        // The OVERLAPPED lives on this stack: the send must be over before it goes.
        ::CancelIoEx(reinterpret_cast<HANDLE>(stSlot.hSocket), &stOverlapped);
        ::WSAGetOverlappedResult(stSlot.hSocket, &stOverlapped, pdwSent, TRUE, &dwFlags);
        return false;
    }
    return ::WSAGetOverlappedResult(stSlot.hSocket, &stOverlapped, pdwSent, FALSE, &dwFlags) != FALSE;
}

void CNCServer::Stop()
{
    if (m_hThread != NULL)
    {
        m_evStop.SetEvent();
        if (!IsOnWorker())
        {
            ::WaitForSingleObject(m_hThread, INFINITE);
            ::CloseHandle(m_hThread);
            m_hThread = NULL;
            m_dwThreadId = 0;
        }
    }
    if (IsWorkerRunning())
        return;
    CloseSockets();
    if (m_bWinsock)
    {
        ::WSACleanup();
        m_bWinsock = false;
    }
}

void CNCServer::CloseSockets()
{
    CSectionLock receiveLock(m_csReceive);
    for (int i = 0; i < SlotCount; ++i)
        CloseSocket(i);
    if (m_hListen != INVALID_SOCKET)
    {
        ::closesocket(m_hListen);
        m_hListen = INVALID_SOCKET;
    }
}
