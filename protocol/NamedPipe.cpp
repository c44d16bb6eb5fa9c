#include "protocol/NamedPipe.h"

#include "protocol/IoCanceller.h"

#include <algorithm>

namespace
{
const DWORD PipeInstances = 2;
const DWORD PipeBufferSize = 1024;
const DWORD PipeDefaultTimeoutMs = 120000;

bool IsValid(HANDLE h)
{
    return h != INVALID_HANDLE_VALUE && h != NULL;
}

void ClosePipeHandle(HANDLE& h)
{
    if (IsValid(h))
        ::CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
}

void PrepareOverlapped(OVERLAPPED& stOverlapped, CEvent& evCompletion)
{
    ZeroMemory(&stOverlapped, sizeof(stOverlapped));
    evCompletion.ResetEvent();
    stOverlapped.hEvent = evCompletion.GetHandle();
}
}

CNamedPipe::CNamedPipe()
    : m_strComputer(L"."),
      m_strFullName(L"\\\\.\\PIPE\\"),
      m_hWrite(INVALID_HANDLE_VALUE),
      m_hRead(INVALID_HANDLE_VALUE),
      m_hThread(NULL),
      m_dwThreadId(0),
      m_evStop(TRUE, FALSE),
      m_evStarted(TRUE, FALSE),
      m_evWrite(TRUE, FALSE),
      m_evConnectOut(TRUE, FALSE),
      m_evDrop(TRUE, FALSE),
      m_evRead(TRUE, TRUE),
      m_bServerMode(true),
      m_bConnected(false),
      m_bDropping(false)
{
    ZeroMemory(&m_stWriteOverlapped, sizeof(m_stWriteOverlapped));
    ZeroMemory(&m_stConnectOverlapped, sizeof(m_stConnectOverlapped));
    ZeroMemory(&m_stReadOverlapped, sizeof(m_stReadOverlapped));
}

CNamedPipe::~CNamedPipe()
{
    Close();
}

bool CNamedPipe::SetName(const wchar_t* pszName, const wchar_t* pszComputer)
{
    std::wstring strName(pszName != nullptr ? pszName : L"");
    if (strName.size() > static_cast<size_t>(MaxNameLength))
        return false;
    m_strPipeName = strName;
    m_strComputer = pszComputer != nullptr ? pszComputer : L".";
    m_strFullName = L"\\\\" + m_strComputer + L"\\PIPE\\" + m_strPipeName;
    return true;
}

std::wstring CNamedPipe::GetHalfName(bool bIn) const
{
    return m_strFullName + (bIn ? L"_IN" : L"_OUT");
}

bool CNamedPipe::Open(bool bServerMode)
{
    Close();
    m_bServerMode = bServerMode;
    bool bOpened;
    DWORD dwError;
    {
        CSectionLock writeLock(m_csWrite);
        CSectionLock pipeLock(m_csPipe);
        bOpened = bServerMode ? CreateServerPipes() : OpenClientPipes();
        dwError = ::GetLastError();
    }
    // A client without a server still gets its reader thread, which keeps
    // trying to open the pair until the server appears or Close is called.
    if (!bOpened && bServerMode)
        return false;
    if (!StartReader())
    {
        dwError = ::GetLastError();
        Close();
        ::SetLastError(dwError);
        return false;
    }
    ::SetLastError(dwError);
    return bOpened;
}

bool CNamedPipe::CreateServerPipes()
{
    // A NULL DACL: every local account may connect.
    SECURITY_DESCRIPTOR stDescriptor;
    if (!::InitializeSecurityDescriptor(&stDescriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&stDescriptor, TRUE, NULL, FALSE))
        return false;
    SECURITY_ATTRIBUTES stAttributes = {sizeof(stAttributes), &stDescriptor, FALSE};
    const DWORD dwMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    m_hRead = ::CreateNamedPipeW(GetHalfName(true).c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                 dwMode, PipeInstances, PipeBufferSize, PipeBufferSize,
                                 PipeDefaultTimeoutMs, &stAttributes);
    if (IsValid(m_hRead))
        m_hWrite = ::CreateNamedPipeW(GetHalfName(false).c_str(),
                                      PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, dwMode,
                                      PipeInstances, PipeBufferSize, PipeBufferSize,
                                      PipeDefaultTimeoutMs, &stAttributes);
    return KeepPairOrClose();
}

bool CNamedPipe::OpenClientPipes()
{
    // "_OUT" first: the server counts a client once its "_IN" connects, and by
    // then the half that carries the replies must exist.
    m_hRead = ::CreateFileW(GetHalfName(false).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, NULL);
    if (IsValid(m_hRead))
        m_hWrite = ::CreateFileW(GetHalfName(true).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, NULL);
    return KeepPairOrClose();
}

bool CNamedPipe::KeepPairOrClose()
{
    if (IsValid(m_hRead) && IsValid(m_hWrite))
        return true;
    // Keep no half of a pair: on the client side it would hold one half of
    // the server busy.
    DWORD dwError = ::GetLastError();
    CloseHandles();
    ::SetLastError(dwError);
    return false;
}

void CNamedPipe::CloseHandles()
{
    ClosePipeHandle(m_hWrite);
    ClosePipeHandle(m_hRead);
}

bool CNamedPipe::StartReader()
{
    if (m_hThread != NULL)
        return false;
    m_evStarted.ResetEvent();
    m_hThread = ::CreateThread(NULL, 0, ReaderThreadProc, this, 0, &m_dwThreadId);
    if (m_hThread == NULL)
        return false;
    HANDLE ahWait[2] = {m_evStarted.GetHandle(), m_hThread};
    return ::WaitForMultipleObjects(2, ahWait, FALSE, INFINITE) == WAIT_OBJECT_0;
}

void CNamedPipe::Close()
{
    StopReader();
    CSectionLock writeLock(m_csWrite);
    CSectionLock pipeLock(m_csPipe);
    m_bConnected = false;
    CloseHandles();
}

void CNamedPipe::StopReader()
{
    if (m_hThread == NULL)
        return;
    m_evStop.SetEvent();
    // Called from one of its own callbacks: the reader ends once that returns.
    if (::GetCurrentThreadId() == m_dwThreadId)
        return;
    // Every wait of the reader includes the stop event, so only a callback
    // that never returns can keep it: terminating it then is the last resort.
    if (::WaitForSingleObject(m_hThread, CloseWaitMs) != WAIT_OBJECT_0)
        ::TerminateThread(m_hThread, 3);
    ::CloseHandle(m_hThread);
    m_hThread = NULL;
    m_dwThreadId = 0;
    m_evStop.ResetEvent();
}

DWORD WINAPI CNamedPipe::ReaderThreadProc(LPVOID pParam)
{
    static_cast<CNamedPipe*>(pParam)->ReaderLoop();
    return 0;
}

void CNamedPipe::ReaderLoop()
{
    m_evStarted.SetEvent();
    while (!IsStopRequested())
    {
        if (m_bServerMode)
        {
            if (!ListenForClient())
                return;
        }
        else if (!HasHandles() && !ReopenClient())
            return;
        MarkConnected();
        if (!ReadUntilDisconnected())
            return;
    }
}

bool CNamedPipe::IsStopRequested() const
{
    return ::WaitForSingleObject(m_evStop.GetHandle(), 0) == WAIT_OBJECT_0;
}

bool CNamedPipe::WaitStopFor(DWORD dwMilliseconds) const
{
    return ::WaitForSingleObject(m_evStop.GetHandle(), dwMilliseconds) == WAIT_OBJECT_0;
}

bool CNamedPipe::HasHandles()
{
    CSectionLock pipeLock(m_csPipe);
    return IsValid(m_hRead) && IsValid(m_hWrite);
}

void CNamedPipe::MarkConnected()
{
    m_evDrop.ResetEvent();
    m_bDropping = false;
    m_bConnected = true;
    OnConnect();
}

bool CNamedPipe::ListenForClient()
{
    for (;;)
    {
        switch (ConnectOnce())
        {
        case ListenConnected:
            return true;
        case ListenStopped:
            return false;
        case ListenRetry:
            // A pause, so that a pipe that keeps failing never spins.
            if (WaitStopFor(ListenRetryMs))
                return false;
            break;
        }
    }
}

CNamedPipe::EListen CNamedPipe::ConnectOnce()
{
    HANDLE hRead, hWrite;
    {
        CSectionLock pipeLock(m_csPipe);
        hRead = m_hRead;
        hWrite = m_hWrite;
    }
    PrepareOverlapped(m_stConnectOverlapped, m_evConnectOut);
    PrepareOverlapped(m_stReadOverlapped, m_evRead);
    // "_IN" listens first: a client opens "_OUT" first, and one that found
    // "_OUT" listening must find "_IN" listening too, or it leaves a half of
    // the pair connected to nobody.
    BOOL bReadDone = ::ConnectNamedPipe(hRead, &m_stReadOverlapped);
    DWORD dwReadError = bReadDone ? ERROR_SUCCESS : ::GetLastError();
    BOOL bWriteDone = ::ConnectNamedPipe(hWrite, &m_stConnectOverlapped);
    DWORD dwWriteError = bWriteDone ? ERROR_SUCCESS : ::GetLastError();

    // ERROR_PIPE_CONNECTED: the client opened the half before this call.
    if (dwWriteError == ERROR_PIPE_CONNECTED)
        dwWriteError = ERROR_SUCCESS;
    if (dwReadError == ERROR_PIPE_CONNECTED)
        dwReadError = ERROR_SUCCESS;
    bool bWritePending = dwWriteError == ERROR_IO_PENDING;
    bool bReadPending = dwReadError == ERROR_IO_PENDING;
    DWORD dwError = !bWritePending && dwWriteError != ERROR_SUCCESS ? dwWriteError
                    : !bReadPending && dwReadError != ERROR_SUCCESS ? dwReadError
                                                                    : ERROR_SUCCESS;
    if (dwError == ERROR_SUCCESS)
        return AwaitConnects(hRead, bReadPending, hWrite, bWritePending);

    if (bWritePending)
        CancelConnect(hWrite, &m_stConnectOverlapped);
    if (bReadPending)
        CancelConnect(hRead, &m_stReadOverlapped);
    // ERROR_NO_DATA: a client came and went before the connect. The instance
    // answers so on every further connect until it is disconnected.
    ::DisconnectNamedPipe(hWrite);
    ::DisconnectNamedPipe(hRead);
    if (dwError != ERROR_NO_DATA)
        OnError(dwError);
    return ListenRetry;
}

CNamedPipe::EListen CNamedPipe::AwaitConnects(HANDLE hRead, bool bReadPending, HANDLE hWrite,
                                              bool bWritePending)
{
    bool bFailed = false;
    bool bHalfConnected = bReadPending != bWritePending;
    while (bReadPending || bWritePending)
    {
        // Only the halves still pending are waited on: a half that connected
        // at once may have left its event set.
        HANDLE ahWait[3] = {m_evStop.GetHandle()};
        DWORD dwCount = 1, dwReadIndex = MAXDWORD, dwWriteIndex = MAXDWORD;
        if (bReadPending)
        {
            dwReadIndex = WAIT_OBJECT_0 + dwCount;
            ahWait[dwCount++] = m_evRead.GetHandle();
        }
        if (bWritePending)
        {
            dwWriteIndex = WAIT_OBJECT_0 + dwCount;
            ahWait[dwCount++] = m_evConnectOut.GetHandle();
        }
        // A client that opened one half and never the other would hold the
        // pair for good.
        DWORD dwWait = ::WaitForMultipleObjects(dwCount, ahWait, FALSE,
                                                bHalfConnected ? HalfOpenTimeoutMs : INFINITE);
        bHalfConnected = true;
        DWORD dwBytes = 0;
        if (dwWait == WAIT_TIMEOUT)
        {
            bFailed = true;
            break;
        }
        if (dwWait == dwReadIndex)
        {
            bReadPending = false;
            bFailed |= !::GetOverlappedResult(hRead, &m_stReadOverlapped, &dwBytes, FALSE);
        }
        else if (dwWait == dwWriteIndex)
        {
            bWritePending = false;
            bFailed |= !::GetOverlappedResult(hWrite, &m_stConnectOverlapped, &dwBytes, FALSE);
        }
        else
        {
            if (bWritePending)
                CancelConnect(hWrite, &m_stConnectOverlapped);
            if (bReadPending)
                CancelConnect(hRead, &m_stReadOverlapped);
            return ListenStopped;
        }
    }
    if (!bFailed)
        return ListenConnected;
    if (bWritePending)
        CancelConnect(hWrite, &m_stConnectOverlapped);
    if (bReadPending)
        CancelConnect(hRead, &m_stReadOverlapped);
    Disconnect();
    return ListenRetry;
}

void CNamedPipe::CancelConnect(HANDLE hPipe, OVERLAPPED* pOverlapped)
{
    DWORD dwBytes = 0;
    ::CancelIo(hPipe);
    ::GetOverlappedResult(hPipe, pOverlapped, &dwBytes, TRUE);
}

bool CNamedPipe::ReopenClient()
{
    for (;;)
    {
        bool bOpened;
        DWORD dwError;
        {
            CSectionLock writeLock(m_csWrite);
            CSectionLock pipeLock(m_csPipe);
            bOpened = OpenClientPipes();
            dwError = ::GetLastError();
        }
        if (bOpened)
            return true;
        OnError(dwError);
        if (WaitStopFor(ClientRetryMs))
            return false;
    }
}

bool CNamedPipe::ReadUntilDisconnected()
{
    BYTE abBuffer[ChunkSize];
    for (;;)
    {
        if (IsStopRequested())
            return false;
        HANDLE hRead;
        DWORD dwRead = 0;
        BOOL bRead;
        DWORD dwError;
        {
            // The read is issued under the pipe lock: a Disconnect on another thread closes
            // the handle only under it, so the read can never reach a reused handle value.
            CSectionLock pipeLock(m_csPipe);
            hRead = m_hRead;
            if (m_bDropping || !IsValid(hRead))
                break;
            PrepareOverlapped(m_stReadOverlapped, m_evRead);
            bRead = ::ReadFile(hRead, abBuffer, ChunkSize, &dwRead, &m_stReadOverlapped);
            dwError = ::GetLastError();
        }
        if (!bRead)
        {
            if (dwError != ERROR_IO_PENDING)
                break;
            HANDLE ahWait[3] = {m_evStop.GetHandle(), m_evRead.GetHandle(), m_evDrop.GetHandle()};
            DWORD dwWait = ::WaitForMultipleObjects(3, ahWait, FALSE, INFINITE);
            if (dwWait != WAIT_OBJECT_0 + 1)
            {
                CancelConnect(hRead, &m_stReadOverlapped);
                if (dwWait == WAIT_OBJECT_0 + 2)
                    break;
                return false;
            }
            if (!::GetOverlappedResult(hRead, &m_stReadOverlapped, &dwRead, FALSE))
                break;
        }
        if (dwRead == 0)
            break;
        OnReceive(abBuffer, dwRead);
    }
    DisconnectPeer(!m_bDropping);
    return true;
}

bool CNamedPipe::Write(const BYTE* pBytes, DWORD dwCount)
{
    CSectionLock writeLock(m_csWrite);
    HANDLE hWrite = m_hWrite;
    if (!IsValid(hWrite) || m_bDropping)
        return false;
    DWORD dwTotal = 0;
    while (dwTotal < dwCount)
    {
        DWORD dwWritten = 0;
        if (!WriteChunk(hWrite, pBytes + dwTotal, std::min(ChunkSize, dwCount - dwTotal), &dwWritten))
            return false;
        if (dwWritten == 0)
            break;
        dwTotal += dwWritten;
    }
    if (!FlushBounded(hWrite))
        return false;
    if (dwTotal != dwCount)
    {
        OnError(ERROR_IO_INCOMPLETE);
        return false;
    }
    return true;
}

bool CNamedPipe::WriteChunk(HANDLE hWrite, const BYTE* pBytes, DWORD dwCount, DWORD* pdwWritten)
{
    DWORD dwError = ERROR_SUCCESS;
    // A chunk whose completion reports a failure is written once more.
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt)
    {
        PrepareOverlapped(m_stWriteOverlapped, m_evWrite);
        if (::WriteFile(hWrite, pBytes, dwCount, pdwWritten, &m_stWriteOverlapped))
            return true;
        dwError = ::GetLastError();
        if (dwError != ERROR_IO_PENDING)
            break;
        ::SwitchToThread();
        if (::WaitForSingleObject(m_evWrite.GetHandle(), WriteTimeoutMs) != WAIT_OBJECT_0)
        {
            ::CancelIoEx(hWrite, &m_stWriteOverlapped);
            ::GetOverlappedResult(hWrite, &m_stWriteOverlapped, pdwWritten, TRUE);
            DropPeer();
            return false;
        }
        if (::GetOverlappedResult(hWrite, &m_stWriteOverlapped, pdwWritten, FALSE))
            return true;
        dwError = ::GetLastError();
    }
    OnError(dwError);
    return false;
}

bool CNamedPipe::FlushBounded(HANDLE hPipe)
{
    // The flush returns only once the peer has read everything.
    CIoCanceller canceller(WriteTimeoutMs);
    if (!canceller.IsArmed())
    {
        OnError(::GetLastError());
        return false;
    }
    if (::FlushFileBuffers(hPipe) || !canceller.HasFired())
        return true;
    DropPeer();
    return false;
}

void CNamedPipe::DropPeer()
{
    m_bDropping = true;
    m_evDrop.SetEvent();
}

void CNamedPipe::Disconnect()
{
    DisconnectPeer(true);
}

void CNamedPipe::DisconnectPeer(bool bFlush)
{
    bool bWasConnected;
    {
        CSectionLock writeLock(m_csWrite);
        CSectionLock pipeLock(m_csPipe);
        bWasConnected = m_bConnected.exchange(false);
        // Only the write half holds data for the peer; a flush of the read
        // half has nothing to deliver.
        if (bFlush && bWasConnected && IsValid(m_hWrite))
            FlushBounded(m_hWrite);
        if (m_bServerMode)
        {
            ::DisconnectNamedPipe(m_hWrite);
            ::DisconnectNamedPipe(m_hRead);
        }
        else
        {
            // The reader may be waiting on a read of the handle being closed.
            if (IsValid(m_hRead))
                ::CancelIoEx(m_hRead, NULL);
            CloseHandles();
        }
    }
    // Outside the locks: the handlers take the receive lock, which the reader
    // holds while it may itself come here.
    if (bWasConnected)
        OnDisconnect();
}
