#include "FakeConnection.h"

#include "protocol/NetDefragPacketHeader.h"
#include "protocol/QOVQueuedServer.h"

#include <cstring>
#include <new>

namespace
{
stQueueItem* NewItem(int nKind, int nClientId, int nValue)
{
    stQueueItem* pItem = new stQueueItem();
    pItem->nKind = nKind;
    pItem->nClientId = nClientId;
    pItem->nValue = nValue;
    return pItem;
}
}

stFakeService::~stFakeService()
{
    for (stQueueItem* pItem : queue)
        CQOVQueuedServer::FreeItem(pItem);
}

void stFakeService::QueueData(int32_t nCommand, int32_t nVersion, int nClientId)
{
    // The header as it travels: version, reserved, command.
    const int32_t anHeader[3] = {nVersion, 0, nCommand};
    stQueueItem* pItem = NewItem(stQueueItem::KindData, nClientId, 0);
    pItem->nLength = sizeof(anHeader);
    pItem->pPayload = new BYTE[sizeof(anHeader)];
    memcpy(pItem->pPayload, anHeader, sizeof(anHeader));
    queue.push_back(pItem);
}

void stFakeService::QueuePayload(const std::vector<BYTE>& payload, int nClientId)
{
    stQueueItem* pItem = NewItem(stQueueItem::KindData, nClientId, 0);
    pItem->nLength = static_cast<int32_t>(payload.size());
    pItem->pPayload = new BYTE[payload.empty() ? 1 : payload.size()];
    if (!payload.empty())
        memcpy(pItem->pPayload, payload.data(), payload.size());
    queue.push_back(pItem);
}

void stFakeService::QueueEvent(int nKind, int nClientId, int nValue)
{
    queue.push_back(NewItem(nKind, nClientId, nValue));
}

CFakeTransport::CFakeTransport(stFakeService& service) : m_service(service)
{
    ++m_service.nTransportsMade;
    ++m_service.nTransportsAlive;
}

CFakeTransport::~CFakeTransport()
{
    --m_service.nTransportsAlive;
}

bool CFakeTransport::ConnectLocal(const wchar_t* /*pszPipeName*/)
{
    ++m_service.nConnectCalls;
    DWORD dwAnswer = 0;
    if (!m_service.connectAnswers.empty())
    {
        dwAnswer = m_service.connectAnswers.front();
        m_service.connectAnswers.pop_front();
    }
    m_service.bConnected = dwAnswer == 0;
    ::SetLastError(dwAnswer);
    return dwAnswer == 0;
}

stQueueItem* CFakeTransport::PopItem()
{
    if (m_service.queue.empty())
        return nullptr;
    stQueueItem* pItem = m_service.queue.front();
    m_service.queue.pop_front();
    return pItem;
}

void CFakeTransport::FlushQueue()
{
    ++m_service.nFlushes;
    for (stQueueItem* pItem : m_service.queue)
        CQOVQueuedServer::FreeItem(pItem);
    m_service.queue.clear();
}

bool CFakeTransport::SendToAll(const BYTE* pPayload, int32_t nLength)
{
    CNetDefragBuffer ar(false);
    ar.Attach(pPayload, static_cast<UINT>(nLength));
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    m_service.sentCommands.push_back(header.GetCommand());
    return !m_service.bSendFails;
}

void CFakeTransport::DisconnectAll()
{
    ++m_service.nDisconnectAll;
    m_service.bConnected = false;
}

std::unique_ptr<IConnectionTransport> CFakeHost::CreateTransport(HANDLE hItemsQueued)
{
    m_service.hItemsQueued = hItemsQueued;
    return std::unique_ptr<IConnectionTransport>(new CFakeTransport(m_service));
}

UINT_PTR CFakeHost::SetRetryTimer(UINT nElapseMs)
{
    bTimerRunning = true;
    nTimerElapse = nElapseMs;
    ++nTimerStarts;
    return TimerId;
}

void CFakeHost::KillRetryTimer(UINT_PTR nTimerId)
{
    if (nTimerId == TimerId)
        bTimerRunning = false;
}

void CFakeHost::ShowMessageBox(const wchar_t* pszText)
{
    boxes.push_back(pszText);
    if (onBox)
        onBox();
}

void CFakeHost::EmptyList()
{
    ++nEmptyLists;
    if (onEmptyList)
        onEmptyList();
}

void CFakeHost::DispatchPacket(int32_t /*nClientId*/, int32_t nCommand, CNetDefragBuffer& ar)
{
    dispatched.push_back(nCommand);
    if (onDispatch)
        onDispatch(nCommand, ar);
}
