#include "cmdtool/ServiceConnection.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragException.h"
#include "protocol/NetDefragObject.h"
#include "protocol/NetDefragPacketHeader.h"

#include <algorithm>
#include <exception>
#include <new>

namespace
{
// Codes up to this one travel bare, larger ones with an object.
const int32_t LastBareCode = 1000;
}

CServiceConnection::CServiceConnection()
{
}

CServiceConnection::~CServiceConnection()
{
    if (m_hReceiverThread.Get() != NULL)
    {
        ::SetEvent(m_hStopEvent.Get());
        ::WaitForSingleObject(m_hReceiverThread.Get(), INFINITE);
        m_hReceiverThread.Reset();
    }
    if (m_pServer)
    {
        {
            CSectionLock connectionLock(m_csConnection);
            m_pServer->Stop();
        }
        m_pServer->FlushQueue();
    }
    m_packets.RemoveAll();
    m_pServer.reset();
}

bool CServiceConnection::Create()
{
    m_hDataEvent.Reset(::CreateEventW(NULL, FALSE, FALSE, NULL));
    m_hStopEvent.Reset(::CreateEventW(NULL, FALSE, FALSE, NULL));
    if (m_hDataEvent.Get() == NULL || m_hStopEvent.Get() == NULL)
        return false;
    try
    {
        m_pServer.reset(new CQOVQueuedServer(m_hDataEvent.Get()));
    }
    catch (const std::exception&)
    {
        // The server's own events could not be made.
        return false;
    }
    return true;
}

bool CServiceConnection::Connect(const wchar_t* pszPipeName, bool* pbBusy)
{
    *pbBusy = false;
    CSectionLock connectionLock(m_csConnection);
    if (!m_pServer)
        return false;
    const ULONGLONG ullDeadline = ::GetTickCount64() + BusyWaitMs;
    for (;;)
    {
        if (m_pServer->ConnectLocal(pszPipeName))
            return true;
        // The service serves one client a pair: another VfoldCmd, or the one that waits
        // for the volumes, may hold it for a moment. When that client leaves, the service
        // makes the pair anew, and the name is gone for that moment: once the pair was
        // seen busy, a missing name is waited out the same way.
        const DWORD dwError = ::GetLastError();
        // A failed open leaves the pipe's reader trying the pair on its own. This loop
        // does the trying here: a pair that reader took as the service came back would
        // be the busy one the wait below waits for until its end.
        m_pServer->CNamedPipe::Close();
        if (dwError == ERROR_PIPE_BUSY)
            *pbBusy = true;
        else if (!*pbBusy || dwError != ERROR_FILE_NOT_FOUND)
            return false;
        const ULONGLONG ullNow = ::GetTickCount64();
        if (ullNow >= ullDeadline)
            return false;
        // The reply half is opened first, so it is the one to wait for; the other may be
        // taken in between, and the loop tries again.
        const DWORD dwLeft = static_cast<DWORD>(ullDeadline - ullNow);
        // A wait cut short (the name went while it waited, which Wine reports in a code of
        // its own) is followed by a short pause; the next attempt tells what became of it.
        if (!::WaitNamedPipeW(m_pServer->GetHalfName(false).c_str(), dwLeft) &&
            ::GetLastError() != ERROR_SEM_TIMEOUT)
            ::Sleep(std::min<DWORD>(dwLeft, RemadeNameRetryMs));
    }
}

bool CServiceConnection::StartReceiver()
{
    m_hReceiverThread.Reset(::CreateThread(NULL, 0, ReceiverThreadProc, this, 0, NULL));
    return m_hReceiverThread.Get() != NULL;
}

bool CServiceConnection::WaitConnected()
{
    for (int i = 0; i < ConnectChecks; ++i)
    {
        if (m_pServer->IsConnected())
            return true;
        ::SleepEx(ConnectCheckMs, TRUE);
    }
    return false;
}

bool CServiceConnection::SendCode(int32_t nCode)
{
    return nCode <= LastBareCode && SendMessage(nCode, nullptr);
}

bool CServiceConnection::SendObject(int32_t nCode, CNetDefragObject& object)
{
    return nCode >= LastBareCode && SendMessage(nCode, &object);
}

bool CServiceConnection::SendMessage(int32_t nCode, CNetDefragObject* pObject)
{
    CNetDefragBuffer ar(true);
    CNetDefragPacketHeader header;
    header.SetCommand(nCode);
    header.Serialize(ar);
    if (pObject != nullptr)
        pObject->Serialize(ar);
    // A message that could not be built whole never goes out.
    if (ar.HasFailed())
        return false;
    CSectionLock connectionLock(m_csConnection);
    if (!m_pServer || !m_pServer->IsConnected())
        return false;
    return m_pServer->CLCServer::SendFrame(ar.GetBuffer(), static_cast<int32_t>(ar.GetSize()));
}

bool CServiceConnection::AwaitReply(int32_t nCode, DWORD dwSeconds, CNetDefragObject* pObject,
                                    bool* pbPasswordWanted)
{
    if (pbPasswordWanted != nullptr)
        *pbPasswordWanted = false;
    ULONGLONG ullStart = ::GetTickCount64();
    while (::GetTickCount64() - ullStart <= dwSeconds * 1000ULL)
    {
        stPacketEntry stEntry;
        if (!m_packets.TakeOldest(stEntry))
        {
            ::Sleep(EmptyListSleepMs);
            continue;
        }
        // Messages with other codes are dropped: a late reply to an earlier
        // request must not answer this one.
        if (stEntry.nCommand == nCode)
            return LoadReply(stEntry, pObject);
        if (stEntry.nCommand == RESPONSE_PASSWORD_REQUIRED && pbPasswordWanted != nullptr)
        {
            *pbPasswordWanted = true;
            return false;
        }
        ::SwitchToThread();
    }
    return false;
}

bool CServiceConnection::LoadReply(const stPacketEntry& stEntry, CNetDefragObject* pObject)
{
    if (pObject == nullptr)
        return true;
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(stEntry.vecPayload.data(), static_cast<UINT>(stEntry.vecPayload.size()));
        pObject->Serialize(ar);
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

DWORD WINAPI CServiceConnection::ReceiverThreadProc(LPVOID pParam)
{
    static_cast<CServiceConnection*>(pParam)->ReceiverLoop();
    return 0;
}

void CServiceConnection::ReceiverLoop()
{
    HANDLE ahWait[2] = {m_hStopEvent.Get(), m_hDataEvent.Get()};
    for (;;)
    {
        DWORD dwWait = ::WaitForMultipleObjects(2, ahWait, FALSE, IdleMs);
        CSectionLock connectionLock(m_csConnection);
        if (dwWait == WAIT_TIMEOUT)
            m_pServer->OnIdle();
        else if (dwWait == WAIT_OBJECT_0 + 1)
            TakeQueuedItems();
        else
            return;
    }
}

void CServiceConnection::TakeQueuedItems()
{
    while (stQueueItem* pItem = m_pServer->PopItem())
    {
        if (pItem->nKind == stQueueItem::KindData)
            KeepPacket(*pItem);
        CQOVQueuedServer::FreeItem(pItem);
    }
}

void CServiceConnection::KeepPacket(const stQueueItem& stItem)
{
    try
    {
        CNetDefragBuffer ar(false);
        ar.Attach(stItem.pPayload, static_cast<UINT>(stItem.nLength));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        size_t nHeaderBytes = static_cast<size_t>(ar.GetCurrent() - ar.GetBuffer());
        m_packets.Append(header.GetCommand(), stItem.pPayload + nHeaderBytes,
                         static_cast<size_t>(stItem.nLength) - nHeaderBytes);
    }
    catch (const std::exception&)
    {
        // A message of another protocol version or too short for a header
        // is skipped.
    }
}
