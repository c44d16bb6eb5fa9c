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

// The answers of a write whose peer has already left (or was dropped).
bool IsPeerGone(DWORD dwError)
{
    return dwError == ERROR_NO_DATA || dwError == ERROR_BROKEN_PIPE || dwError == ERROR_PIPE_NOT_CONNECTED ||
           dwError == ERROR_PIPE_LISTENING;
}

DWORD TimeLeft(ULONGLONG ullDeadline)
{
    ULONGLONG ullNow = ::GetTickCount64();
    return ullNow >= ullDeadline ? 0 : static_cast<DWORD>(ullDeadline - ullNow);
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
      m_bDropping(false),
      m_nGeneration(AnyGeneration + 1)
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
    if (IsNameHeld())
    {
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    // A NULL DACL: every local account may connect.
    SECURITY_DESCRIPTOR stDescriptor;
    if (!::InitializeSecurityDescriptor(&stDescriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&stDescriptor, TRUE, NULL, FALSE))
        return false;
    SECURITY_ATTRIBUTES stAttributes = {sizeof(stAttributes), &stDescriptor, FALSE};
    // Remote clients are refused: the TCP channel is the way in from other machines.
    const DWORD dwMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    // The first instance: another process that made the name first keeps it,
    // and this pair is not opened beside it.
    const DWORD dwFlags = FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    m_hRead = ::CreateNamedPipeW(GetHalfName(true).c_str(), PIPE_ACCESS_INBOUND | dwFlags, dwMode,
                                 PipeInstances, PipeBufferSize, PipeBufferSize, PipeDefaultTimeoutMs,
                                 &stAttributes);
    if (IsValid(m_hRead))
        m_hWrite = ::CreateNamedPipeW(GetHalfName(false).c_str(), PIPE_ACCESS_OUTBOUND | dwFlags, dwMode,
                                      PipeInstances, PipeBufferSize, PipeBufferSize, PipeDefaultTimeoutMs,
                                      &stAttributes);
    return KeepPairOrClose();
}

// Wine creates a further instance of a name even when asked for the first
// one, so a name that answers at all counts as held.
bool CNamedPipe::IsNameHeld()
{
    for (bool bIn : {true, false})
    {
        if (::WaitNamedPipeW(GetHalfName(bIn).c_str(), 1))
            return true;
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_BAD_PATHNAME)
            return true;
    }
    return false;
}

bool CNamedPipe::OpenClientPipes()
{
    // "_OUT" first: the server counts a client once its "_IN" connects, and by
    // then the half that carries the replies must exist. A server may learn
    // who the client is, never act as it.
    const DWORD dwFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    m_hRead = ::CreateFileW(GetHalfName(false).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, dwFlags, NULL);
    if (IsValid(m_hRead))
        m_hWrite = ::CreateFileW(GetHalfName(true).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, dwFlags, NULL);
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
    // The stop event also ends a write in progress, so the locks below come free at once.
    bool bReaderGone = StopReader();
    {
        CSectionLock writeLock(m_csWrite);
        CSectionLock pipeLock(m_csPipe);
        m_bConnected = false;
        CloseHandles();
    }
    // A reader still returning from the callback that called Close must find the event set.
    if (bReaderGone)
        m_evStop.ResetEvent();
}

bool CNamedPipe::StopReader()
{
    if (m_hThread == NULL)
        return true;
    m_evStop.SetEvent();
    // Called from one of its own callbacks: the reader ends once that returns.
    if (::GetCurrentThreadId() == m_dwThreadId)
        return false;
    // Every wait of the reader includes the stop event, and so does every write
    // it may make, so only a callback that never returns can keep it:
    // terminating it then is the last resort.
    if (::WaitForSingleObject(m_hThread, CloseWaitMs) != WAIT_OBJECT_0)
        ::TerminateThread(m_hThread, 3);
    ::CloseHandle(m_hThread);
    m_hThread = NULL;
    m_dwThreadId = 0;
    return true;
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
    {
        CSectionLock writeLock(m_csWrite);
        CSectionLock pipeLock(m_csPipe);
        m_evDrop.ResetEvent();
        m_bDropping = false;
        uint32_t nNext = m_nGeneration + 1;
        if (nNext == AnyGeneration)
            ++nNext;
        m_nGeneration = nNext;
        m_bConnected = true;
    }
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
    stListenHalf stRead = {NULL, &m_stReadOverlapped, false};
    stListenHalf stWrite = {NULL, &m_stConnectOverlapped, false};
    {
        CSectionLock pipeLock(m_csPipe);
        stRead.hPipe = m_hRead;
        stWrite.hPipe = m_hWrite;
    }
    // "_IN" listens first: a client opens "_OUT" first, and one that found
    // "_OUT" listening must find "_IN" listening too, or it leaves a half of
    // the pair connected to nobody.
    DWORD dwReadError = StartConnect(stRead, m_evRead);
    DWORD dwError = StartConnect(stWrite, m_evConnectOut);
    if (dwError == ERROR_SUCCESS)
        dwError = dwReadError;
    if (dwError == ERROR_SUCCESS)
        return AwaitConnects(stRead, stWrite);

    CancelPending(stWrite);
    CancelPending(stRead);
    // ERROR_NO_DATA: a client came and went before the connect. The instance
    // answers so on every further connect until it is disconnected.
    ::DisconnectNamedPipe(stWrite.hPipe);
    ::DisconnectNamedPipe(stRead.hPipe);
    if (dwError != ERROR_NO_DATA)
        OnError(dwError, m_nGeneration);
    return ListenRetry;
}

DWORD CNamedPipe::StartConnect(stListenHalf& stHalf, CEvent& evCompletion)
{
    PrepareOverlapped(*stHalf.pOverlapped, evCompletion);
    stHalf.bPending = false;
    if (::ConnectNamedPipe(stHalf.hPipe, stHalf.pOverlapped))
        return ERROR_SUCCESS;
    DWORD dwError = ::GetLastError();
    stHalf.bPending = dwError == ERROR_IO_PENDING;
    // ERROR_PIPE_CONNECTED: the client opened the half before this call.
    return stHalf.bPending || dwError == ERROR_PIPE_CONNECTED ? ERROR_SUCCESS : dwError;
}

CNamedPipe::EListen CNamedPipe::AwaitConnects(stListenHalf& stRead, stListenHalf& stWrite)
{
    ULONGLONG ullHalfSince = 0;
    EListen eResult = ListenConnected;
    while (eResult == ListenConnected && (stRead.bPending || stWrite.bPending))
    {
        if (ullHalfSince == 0 && stRead.bPending != stWrite.bPending)
            ullHalfSince = ::GetTickCount64();
        eResult = AwaitOneConnect(stRead, stWrite, ullHalfSince);
    }
    if (eResult == ListenConnected)
        return ListenConnected;
    CancelPending(stWrite);
    CancelPending(stRead);
    if (eResult == ListenRetry)
        DisconnectPeer(false, AnyGeneration);
    return eResult;
}

CNamedPipe::EListen CNamedPipe::AwaitOneConnect(stListenHalf& stRead, stListenHalf& stWrite,
                                                ULONGLONG ullHalfSince)
{
    // Only the halves still pending are waited on: a half that connected at
    // once may have left its event set.
    HANDLE ahWait[3] = {m_evStop.GetHandle()};
    stListenHalf* apHalves[3] = {nullptr};
    DWORD dwCount = 1;
    for (stListenHalf* pHalf : {&stRead, &stWrite})
    {
        if (!pHalf->bPending)
            continue;
        apHalves[dwCount] = pHalf;
        ahWait[dwCount++] = pHalf->pOverlapped->hEvent;
    }
    DWORD dwWait = ::WaitForMultipleObjects(dwCount, ahWait, FALSE, ullHalfSince != 0 ? HalfOpenPollMs : INFINITE);
    if (dwWait == WAIT_TIMEOUT)
        return IsHalfOpenOver(stRead, stWrite, ullHalfSince) ? ListenRetry : ListenConnected;
    if (dwWait <= WAIT_OBJECT_0 || dwWait >= WAIT_OBJECT_0 + dwCount)
        return ListenStopped;
    stListenHalf& stHalf = *apHalves[dwWait - WAIT_OBJECT_0];
    stHalf.bPending = false;
    DWORD dwBytes = 0;
    return ::GetOverlappedResult(stHalf.hPipe, stHalf.pOverlapped, &dwBytes, FALSE) ? ListenConnected
                                                                                      : ListenRetry;
}

// A client that opened one half and never the other would hold the pair for
// good; one that has closed its half already is let go at once.
bool CNamedPipe::IsHalfOpenOver(stListenHalf& stRead, stListenHalf& stWrite, ULONGLONG ullHalfSince)
{
    if (::GetTickCount64() - ullHalfSince >= HalfOpenTimeoutMs)
        return true;
    if (!stRead.bPending)
    {
        DWORD dwAvailable = 0;
        return !::PeekNamedPipe(stRead.hPipe, NULL, 0, NULL, &dwAvailable, NULL);
    }
    // A write of no bytes reaches no reader of a byte pipe, and fails once the
    // client has closed its half.
    PrepareOverlapped(*stWrite.pOverlapped, m_evConnectOut);
    DWORD dwWritten = 0;
    if (::WriteFile(stWrite.hPipe, "", 0, &dwWritten, stWrite.pOverlapped))
        return false;
    if (::GetLastError() != ERROR_IO_PENDING)
        return true;
    CancelPendingIo(stWrite.hPipe, stWrite.pOverlapped);
    return false;
}

void CNamedPipe::CancelPending(stListenHalf& stHalf)
{
    if (stHalf.bPending)
        CancelPendingIo(stHalf.hPipe, stHalf.pOverlapped);
    stHalf.bPending = false;
}

// The OVERLAPPED must outlive the I/O: the cancel is waited for.
void CNamedPipe::CancelPendingIo(HANDLE hPipe, OVERLAPPED* pOverlapped)
{
    DWORD dwBytes = 0;
    ::CancelIoEx(hPipe, pOverlapped);
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
        OnError(dwError, m_nGeneration);
        if (WaitStopFor(ClientRetryMs))
            return false;
    }
}

bool CNamedPipe::ReadUntilDisconnected()
{
    BYTE abBuffer[ChunkSize];
    for (;;)
    {
        DWORD dwRead = 0;
        ERead eRead = ReadChunk(abBuffer, &dwRead);
        if (eRead == ReadStopped)
            return false;
        if (eRead == ReadEnded)
            break;
        OnReceive(abBuffer, dwRead);
    }
    DisconnectPeer(!m_bDropping, AnyGeneration);
    return true;
}

CNamedPipe::ERead CNamedPipe::ReadChunk(BYTE* pBuffer, DWORD* pdwRead)
{
    if (IsStopRequested())
        return ReadStopped;
    HANDLE hRead;
    BOOL bRead;
    DWORD dwError;
    {
        // The read is issued under the pipe lock: a Disconnect on another thread closes
        // the handle only under it, so the read can never reach a reused handle value.
        CSectionLock pipeLock(m_csPipe);
        hRead = m_hRead;
        if (m_bDropping || !IsValid(hRead))
            return ReadEnded;
        PrepareOverlapped(m_stReadOverlapped, m_evRead);
        bRead = ::ReadFile(hRead, pBuffer, ChunkSize, pdwRead, &m_stReadOverlapped);
        dwError = ::GetLastError();
    }
    if (!bRead)
    {
        if (dwError != ERROR_IO_PENDING)
            return ReadEnded;
        ERead eRead = AwaitRead(hRead, pdwRead);
        if (eRead != ReadData)
            return eRead;
    }
    // A completion with no bytes is the end of the connection.
    return *pdwRead == 0 ? ReadEnded : ReadData;
}

CNamedPipe::ERead CNamedPipe::AwaitRead(HANDLE hRead, DWORD* pdwRead)
{
    HANDLE ahWait[3] = {m_evStop.GetHandle(), m_evRead.GetHandle(), m_evDrop.GetHandle()};
    DWORD dwWait = ::WaitForMultipleObjects(3, ahWait, FALSE, INFINITE);
    if (dwWait != WAIT_OBJECT_0 + 1)
    {
        CancelPendingIo(hRead, &m_stReadOverlapped);
        return dwWait == WAIT_OBJECT_0 + 2 ? ReadEnded : ReadStopped;
    }
    return ::GetOverlappedResult(hRead, &m_stReadOverlapped, pdwRead, FALSE) ? ReadData : ReadEnded;
}

bool CNamedPipe::Write(const BYTE* pBytes, DWORD dwCount, uint32_t nGeneration)
{
    CSectionLock writeLock(m_csWrite);
    HANDLE hWrite = m_hWrite;
    // The generation cannot change while the write lock is held: a reply
    // either reaches its own peer or nobody.
    const bool bOtherPeer = nGeneration != AnyGeneration && (!m_bConnected || nGeneration != m_nGeneration);
    if (!IsValid(hWrite) || m_bDropping || bOtherPeer)
    {
        ::SetLastError(ERROR_PIPE_NOT_CONNECTED);
        return false;
    }
    // One deadline for the whole message: a peer that takes a little now and
    // then must not hold the send, and the locks of its callers, any longer.
    ULONGLONG ullDeadline = ::GetTickCount64() + WriteTimeoutMs;
    DWORD dwTotal = 0;
    while (dwTotal < dwCount)
    {
        DWORD dwWritten = 0;
        if (!WriteChunk(hWrite, pBytes + dwTotal, std::min(ChunkSize, dwCount - dwTotal), ullDeadline,
                        &dwWritten))
            return false;
        if (dwWritten == 0)
            break;
        dwTotal += dwWritten;
    }
    if (!FlushBounded(hWrite, ullDeadline))
        return false;
    if (dwTotal != dwCount)
    {
        OnError(ERROR_IO_INCOMPLETE, m_nGeneration);
        return false;
    }
    return true;
}

bool CNamedPipe::WriteChunk(HANDLE hWrite, const BYTE* pBytes, DWORD dwCount, ULONGLONG ullDeadline,
                            DWORD* pdwWritten)
{
    DWORD dwError = ERROR_SUCCESS;
    // A chunk whose completion reports a failure is written once more.
    for (int nAttempt = 0; nAttempt < 2 && !IsPeerGone(dwError); ++nAttempt)
    {
        PrepareOverlapped(m_stWriteOverlapped, m_evWrite);
        if (::WriteFile(hWrite, pBytes, dwCount, pdwWritten, &m_stWriteOverlapped))
            return true;
        dwError = ::GetLastError();
        if (dwError != ERROR_IO_PENDING)
            break;
        ::SwitchToThread();
        HANDLE ahWait[2] = {m_evWrite.GetHandle(), m_evStop.GetHandle()};
        if (::WaitForMultipleObjects(2, ahWait, FALSE, TimeLeft(ullDeadline)) != WAIT_OBJECT_0)
        {
            // Out of time, or the pipe is being closed.
            CancelPendingIo(hWrite, &m_stWriteOverlapped);
            DropPeer();
            return false;
        }
        if (::GetOverlappedResult(hWrite, &m_stWriteOverlapped, pdwWritten, FALSE))
            return true;
        dwError = ::GetLastError();
    }
    ReportWriteError(dwError, m_nGeneration);
    return false;
}

bool CNamedPipe::FlushBounded(HANDLE hPipe, ULONGLONG ullDeadline)
{
    DWORD dwLeft = TimeLeft(ullDeadline);
    if (dwLeft == 0)
    {
        DropPeer();
        return false;
    }
    // The flush returns only once the peer has read everything; closing the
    // pipe ends it as well.
    CIoCanceller canceller(dwLeft, m_evStop.GetHandle());
    if (!canceller.IsArmed())
    {
        OnError(::GetLastError(), m_nGeneration);
        return false;
    }
    if (::FlushFileBuffers(hPipe))
        return true;
    DWORD dwError = ::GetLastError();
    if (canceller.HasFired())
    {
        DropPeer();
        return false;
    }
    ReportWriteError(dwError, m_nGeneration);
    return false;
}

// A peer that has already left is no fault of the connection now served: the
// reader reports its departure, and an error reported here could be taken for
// the next client's.
void CNamedPipe::ReportWriteError(DWORD dwError, uint32_t nGeneration)
{
    if (!IsPeerGone(dwError))
        OnError(dwError, nGeneration);
    ::SetLastError(dwError);
}

void CNamedPipe::DropPeer()
{
    m_bDropping = true;
    m_evDrop.SetEvent();
}

void CNamedPipe::Disconnect(uint32_t nGeneration)
{
    DisconnectPeer(true, nGeneration);
}

void CNamedPipe::DisconnectPeer(bool bFlush, uint32_t nGeneration)
{
    bool bWasConnected;
    uint32_t nEnded;
    {
        CSectionLock writeLock(m_csWrite);
        CSectionLock pipeLock(m_csPipe);
        if (nGeneration != AnyGeneration && (!m_bConnected || nGeneration != m_nGeneration))
            return;
        nEnded = m_nGeneration;
        bWasConnected = m_bConnected.exchange(false);
        // Only the write half holds data for the peer; a flush of the read
        // half has nothing to deliver.
        if (bFlush && bWasConnected && IsValid(m_hWrite))
            FlushBounded(m_hWrite, ::GetTickCount64() + WriteTimeoutMs);
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
        OnDisconnect(nEnded);
}
