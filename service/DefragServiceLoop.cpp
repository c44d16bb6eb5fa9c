// The wait loop of the service thread and the queue items of both servers.
#include "service/DefragService.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragException.h"
#include "protocol/NetDefragPacketHeader.h"

#include <exception>

namespace {

// Frees a queue item at the end of a scope, also when its handling throws.
class CItemHolder
{
public:
    explicit CItemHolder(stQueueItem* pItem) : m_pItem(pItem) {}
    ~CItemHolder() { CQOVQueuedServer::FreeItem(m_pItem); }
    CItemHolder(const CItemHolder&) = delete;
    CItemHolder& operator=(const CItemHolder&) = delete;

private:
    stQueueItem* m_pItem;
};

} // namespace

int32_t CDefragService::ClientKey(bool bCommandServer, int nServerClientId, uint32_t nGeneration)
{
    // The pipe's id (-1 or -2) and the TCP slots 0-19 both land on positive keys.
    const int nSlot = nServerClientId < 0 ? 0 : nServerClientId + 1;
    return CClientTable::MakeKey(bCommandServer, nSlot, nGeneration);
}

CQOVQueuedServer* CDefragService::ServerOfClient(int32_t nClient, int* pnServerClientId,
                                                 uint32_t* pnGeneration) const
{
    CClientTable::stCLIENT stClient;
    if (!CClientTable::Decode(nClient, stClient))
        return nullptr;
    CQOVQueuedServer* pServer = stClient.bCommandServer ? m_pCommandServer : m_pGuiServer;
    if (pServer == nullptr)
        return nullptr;
    *pnServerClientId = stClient.nSlot == 0 ? pServer->GetPipeClientId() : stClient.nSlot - 1;
    *pnGeneration = pServer->GetGeneration(*pnServerClientId);
    return CClientTable::IsGeneration(*pnGeneration, stClient.nGeneration) ? pServer : nullptr;
}

void CDefragService::WaitLoop()
{
    const HANDLE ahWait[] = {m_hStopEvent, m_hGuiItems, m_hMountedDevicesEvent, m_hCommandItems};
    for (;;)
    {
        const DWORD dwResult = ::WaitForMultipleObjects(4, ahWait, FALSE, WaitLoopTimeoutMs);
        switch (dwResult)
        {
        case WAIT_OBJECT_0:
            return;
        case WAIT_OBJECT_0 + 1:
        case WAIT_OBJECT_0 + 3:
            ServeInTurn();
            IdleServers();
            break;
        case WAIT_OBJECT_0 + 2:
            ::ResetEvent(m_hMountedDevicesEvent);
            ArmMountedDevicesNotification();
            OnDeviceEvent(0, nullptr, nullptr);
            break;
        case WAIT_TIMEOUT:
            IdleServers();
            break;
        default:
            // A handle went bad: nothing can be waited for any more.
            LogEvent(GetSystemErrorText(::GetLastError()).GetBuffer(), EVENTLOG_ERROR_TYPE);
            return;
        }
    }
}

// The two servers are served in turn, a few items each, until both are empty: a client that
// keeps one server busy cannot hold the other one's requests back.
void CDefragService::ServeInTurn()
{
    for (;;)
    {
        const int nGui = DrainServer(false, ItemsPerTurn);
        if (nGui < 0)
            return;
        const int nCommand = DrainServer(true, ItemsPerTurn);
        if (nCommand < 0 || nGui + nCommand == 0)
            return;
    }
}

int CDefragService::DrainServer(bool bCommandServer, int nMaxItems)
{
    // The server pointers change only on this thread, so they are read here without a lock;
    // the server's lock is held only to take an item, never while it is handled.
    CCriticalSection& csServer = bCommandServer ? m_csCommandServer : m_csGuiServer;
    CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
    if (pServer == nullptr)
        return 0;
    int nHandled = 0;
    while (nHandled < nMaxItems)
    {
        stQueueItem* pItem = nullptr;
        {
            CSectionLock lock(csServer);
            pItem = pServer->PopItem();
        }
        if (pItem == nullptr)
            break;
        CItemHolder holder(pItem);
        HandleItem(bCommandServer, *pItem);
        ++nHandled;
        if (::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0)
            return -1;
    }
    return nHandled;
}

void CDefragService::HandleItem(bool bCommandServer, const stQueueItem& stItem)
{
    const int32_t nClient = ClientKey(bCommandServer, stItem.nClientId, stItem.nGeneration);
    switch (stItem.nKind)
    {
    case stQueueItem::KindData:
        HandleData(nClient, stItem);
        break;
    case stQueueItem::KindConnected:
        HandleConnected(bCommandServer, nClient);
        break;
    case stQueueItem::KindDisconnected:
        HandleDisconnected(bCommandServer, stItem);
        break;
    case stQueueItem::KindError:
        HandleError(bCommandServer, stItem);
        break;
    default:
        break;
    }
}

void CDefragService::HandleData(int32_t nClient, const stQueueItem& stItem)
{
    try
    {
        CNetDefragBuffer ar(false, 0, CNetDefragBuffer::DefaultGrowthStep);
        ar.Attach(stItem.pPayload, static_cast<UINT>(stItem.nLength > 0 ? stItem.nLength : 0));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        DispatchCommand(nClient, header.GetCommand(), ar);
        return;
    }
    catch (const CNetDefragException&)
    {
    }
    catch (const std::exception&)
    {
    }
    SendCode(nClient, RESPONSE_INCOMPATIBLE);
    DisconnectClient(nClient);
}

void CDefragService::DisconnectClient(int32_t nClient)
{
    CSectionLock guiLock(m_csGuiServer);
    int nId = 0;
    uint32_t nGeneration = 0;
    if (CQOVQueuedServer* pServer = ServerOfClient(nClient, &nId, &nGeneration))
        pServer->DisconnectClient(nId, nGeneration);
}

int CDefragService::CountClients(bool bCommandServer)
{
    CSectionLock guiLock(m_csGuiServer);
    CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
    return pServer != nullptr ? pServer->GetClientCount() : 0;
}

void CDefragService::HandleConnected(bool bCommandServer, int32_t nClient)
{
    m_clients.Connected(nClient);
    UpdateDriveList();
    // The count is taken under the server's lock, and the volumes are touched after it is
    // released: the drive-list lock is never taken inside a server's lock.
    if (CountClients(bCommandServer) > MaxClientsPerServer)
    {
        SendCode(nClient, RESPONSE_TOO_MANY_CLIENTS);
        DisconnectClient(nClient);
        return;
    }
    CSectionLock lock(m_csDriveList);
    SetClientFlags(true);
    // A key is reused by the next client of the same pipe: nothing of a departed client's
    // subscriptions may reach the new one.
    for (int i = 0; i < GetVolumeCount(); ++i)
        ListedAt(i).pVolume->SubscribeClusterMap(nClient, false);
}

void CDefragService::HandleDisconnected(bool bCommandServer, const stQueueItem& stItem)
{
    const int32_t nClient = ClientKey(bCommandServer, stItem.nClientId, stItem.nGeneration);
    m_clients.Disconnected(nClient);
    {
        CSectionLock guiLock(m_csGuiServer);
        CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
        if (pServer != nullptr && stItem.nClientId != pServer->GetPipeClientId())
            pServer->DisconnectClient(stItem.nClientId, stItem.nGeneration);
    }
    const bool bAnyClient = CountClients(false) + CountClients(true) > 0;
    {
        CSectionLock lock(m_csDriveList);
        for (int i = 0; i < GetVolumeCount(); ++i)
        {
            CDefragPartition* pVolume = ListedAt(i).pVolume;
            if (!bAnyClient)
            {
                pVolume->SetClientConnected(false);
                pVolume->ReleaseClusterMap();
            }
            pVolume->SubscribeClusterMap(nClient, false);
        }
    }
    TrimWorkingSet();
    IdleServers();
}

void CDefragService::HandleError(bool bCommandServer, const stQueueItem& stItem)
{
    if (static_cast<DWORD>(stItem.nValue) == CQOVQueuedServer::OverCapError)
        LogOverCap();
    {
        // The error is about the connection it was queued for, not about a client that
        // connected since.
        CSectionLock guiLock(m_csGuiServer);
        CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
        if (pServer != nullptr)
        {
            if (stItem.nClientId == pServer->GetPipeClientId())
                pServer->DisconnectAll(stItem.nGeneration);
            else
                pServer->DisconnectClient(stItem.nClientId, stItem.nGeneration);
        }
    }
    TrimWorkingSet();
    IdleServers();
}

// Once per run of the service: a client that keeps coming back over its cap must not fill
// the event log.
void CDefragService::LogOverCap()
{
    if (m_bOverCapLogged)
        return;
    m_bOverCapLogged = true;
    LogEvent(L"A client was disconnected: it sent requests faster than the service handles them",
             EVENTLOG_WARNING_TYPE);
}

void CDefragService::IdleServers()
{
    {
        CSectionLock guiLock(m_csGuiServer);
        if (m_pGuiServer != nullptr)
            m_pGuiServer->OnIdle();
        if (m_pCommandServer != nullptr)
            m_pCommandServer->OnIdle();
    }
    if (CountClients(false) + CountClients(true) == 0)
        ReleaseMapsWithoutClients();
}

void CDefragService::ReleaseMapsWithoutClients()
{
    CSectionLock lock(m_csDriveList);
    SetClientFlags(false);
    for (int i = 0; i < GetVolumeCount(); ++i)
        ListedAt(i).pVolume->ReleaseClusterMap();
}

void CDefragService::SetClientFlags(bool bConnected)
{
    CSectionLock lock(m_csDriveList);
    for (int i = 0; i < GetVolumeCount(); ++i)
        ListedAt(i).pVolume->SetClientConnected(bConnected);
}

void CDefragService::TrimWorkingSet()
{
    ::SetProcessWorkingSetSize(::GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}
