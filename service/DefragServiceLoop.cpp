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

int32_t CDefragService::ClientKey(bool bCommandServer, int nServerClientId)
{
    // The pipe's id (-1 or -2) and the TCP slots 0-19 both land on positive keys.
    const int nSlot = nServerClientId < 0 ? 0 : nServerClientId + 1;
    return (bCommandServer ? CommandClientBase : GuiClientBase) + nSlot;
}

CQOVQueuedServer* CDefragService::ServerOfClient(int32_t nClient, int* pnServerClientId) const
{
    const bool bCommand = nClient >= CommandClientBase;
    CQOVQueuedServer* pServer = bCommand ? m_pCommandServer : m_pGuiServer;
    const int nSlot = nClient - (bCommand ? CommandClientBase : GuiClientBase);
    if (pServer == nullptr || nSlot < 0 || nSlot > CNCServer::SlotCount)
        return nullptr;
    *pnServerClientId = nSlot == 0 ? pServer->GetPipeClientId() : nSlot - 1;
    return pServer;
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
            DrainServer(false);
            IdleServers();
            break;
        case WAIT_OBJECT_0 + 2:
            ::ResetEvent(m_hMountedDevicesEvent);
            ArmMountedDevicesNotification();
            OnDeviceEvent(0, nullptr, nullptr);
            break;
        case WAIT_OBJECT_0 + 3:
            DrainServer(true);
            if (m_pCommandServer != nullptr)
                m_pCommandServer->OnIdle();
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

void CDefragService::DrainServer(bool bCommandServer)
{
    // The server pointers change only on this thread, so they are read here without a lock;
    // the server's lock is held only to take an item, never while it is handled.
    CCriticalSection& csServer = bCommandServer ? m_csCommandServer : m_csGuiServer;
    CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
    if (pServer == nullptr)
        return;
    for (;;)
    {
        stQueueItem* pItem = nullptr;
        {
            CSectionLock lock(csServer);
            pItem = pServer->PopItem();
        }
        if (pItem == nullptr)
            return;
        CItemHolder holder(pItem);
        HandleItem(bCommandServer, *pItem);
        if (::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0)
            return;
    }
}

void CDefragService::HandleItem(bool bCommandServer, const stQueueItem& stItem)
{
    switch (stItem.nKind)
    {
    case stQueueItem::KindData:
        HandleData(ClientKey(bCommandServer, stItem.nClientId), stItem);
        break;
    case stQueueItem::KindConnected:
        HandleConnected(bCommandServer, ClientKey(bCommandServer, stItem.nClientId));
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
    if (CQOVQueuedServer* pServer = ServerOfClient(nClient, &nId))
        pServer->DisconnectClient(nId);
}

int CDefragService::CountClients(bool bCommandServer)
{
    CSectionLock guiLock(m_csGuiServer);
    CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
    return pServer != nullptr ? pServer->GetClientCount() : 0;
}

void CDefragService::HandleConnected(bool bCommandServer, int32_t nClient)
{
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
    const int32_t nClient = ClientKey(bCommandServer, stItem.nClientId);
    {
        CSectionLock guiLock(m_csGuiServer);
        CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
        if (pServer != nullptr && stItem.nClientId != pServer->GetPipeClientId())
            pServer->DisconnectClient(stItem.nClientId);
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
    {
        CSectionLock guiLock(m_csGuiServer);
        CQOVQueuedServer* pServer = bCommandServer ? m_pCommandServer : m_pGuiServer;
        if (pServer != nullptr)
        {
            if (stItem.nClientId == pServer->GetPipeClientId())
                pServer->DisconnectAll();
            else
                pServer->DisconnectClient(stItem.nClientId);
        }
    }
    TrimWorkingSet();
    IdleServers();
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
