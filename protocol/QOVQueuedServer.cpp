#include "protocol/QOVQueuedServer.h"

#include <cstring>
#include <new>

CQOVQueuedServer::CQOVQueuedServer(HANDLE hItemsQueued)
    : m_aLoad(), m_nMaxItems(0), m_llMaxBytes(0), m_hItemsQueued(hItemsQueued)
{
}

CQOVQueuedServer::~CQOVQueuedServer()
{
    // The producer threads call into this object: they end before the queue goes.
    Stop();
    FlushQueue();
}

void CQOVQueuedServer::SetClientCaps(int nMaxItems, int64_t llMaxBytes)
{
    CSectionLock queueLock(m_csQueue);
    m_nMaxItems = nMaxItems;
    m_llMaxBytes = llMaxBytes;
}

stQueueItem* CQOVQueuedServer::MakeItem(int nKind, int nClient, int nValue, uint32_t nGeneration)
{
    stQueueItem* pItem = new (std::nothrow) stQueueItem();
    if (pItem != nullptr)
    {
        pItem->nKind = nKind;
        pItem->nClientId = nClient;
        pItem->nValue = nValue;
        pItem->nGeneration = nGeneration;
    }
    return pItem;
}

void CQOVQueuedServer::AppendItem(stQueueItem* pItem)
{
    if (pItem == nullptr)
        return;
    if (!m_queue.AddTail(pItem))
    {
        FreeItem(pItem);
        return;
    }
    if (pItem->nKind == stQueueItem::KindData)
    {
        if (stCLIENT_LOAD* pLoad = LoadOf(pItem->nClientId))
        {
            ++pLoad->nItems;
            pLoad->llBytes += pItem->nLength;
        }
    }
    ::SetEvent(m_hItemsQueued);
}

CQOVQueuedServer::stCLIENT_LOAD* CQOVQueuedServer::LoadOf(int nClient)
{
    if (nClient == m_nPipeClientId)
        return &m_aLoad[0];
    return IsSlot(nClient) ? &m_aLoad[1 + nClient] : nullptr;
}

bool CQOVQueuedServer::IsOverCap(int nClient, int32_t nLength)
{
    const stCLIENT_LOAD* pLoad = LoadOf(nClient);
    if (pLoad == nullptr)
        return false;
    return (m_nMaxItems > 0 && pLoad->nItems + 1 > m_nMaxItems) ||
           (m_llMaxBytes > 0 && pLoad->llBytes + nLength > m_llMaxBytes);
}

// Under the queue lock. What a dropped client left waiting would only hold the owner up.
void CQOVQueuedServer::DropWaitingData(int nClient, uint32_t nGeneration)
{
    stCLIENT_LOAD* pLoad = LoadOf(nClient);
    m_queue.RemoveMatching(
        [&](const stQueueItem& stItem) {
            return stItem.nKind == stQueueItem::KindData && stItem.nClientId == nClient &&
                   stItem.nGeneration == nGeneration;
        },
        [&](stQueueItem* pItem) {
            if (pLoad != nullptr)
            {
                --pLoad->nItems;
                pLoad->llBytes -= pItem->nLength;
            }
            FreeItem(pItem);
        });
}

void CQOVQueuedServer::QueueEvent(int nKind, int nClient, int nValue, uint32_t nGeneration)
{
    CSectionLock queueLock(m_csQueue);
    AppendItem(MakeItem(nKind, nClient, nValue, nGeneration));
}

bool CQOVQueuedServer::QueueData(int nClient, const BYTE* pPayload, int32_t nLength, uint32_t nGeneration)
{
    {
        // A client that sends faster than the owner handles its requests
        // would otherwise make the queue, and the owner's backlog, grow
        // without bound.
        CSectionLock queueLock(m_csQueue);
        if (IsOverCap(nClient, nLength))
        {
            DropWaitingData(nClient, nGeneration);
            AppendItem(MakeItem(stQueueItem::KindError, nClient, static_cast<int>(OverCapError), nGeneration));
            return false;
        }
    }
    stQueueItem* pItem = MakeItem(stQueueItem::KindData, nClient, 0, nGeneration);
    if (pItem != nullptr)
    {
        pItem->pPayload = new (std::nothrow) BYTE[nLength > 0 ? nLength : 1];
        if (pItem->pPayload == nullptr)
        {
            FreeItem(pItem);
            QueueEvent(stQueueItem::KindError, nClient, ERROR_NOT_ENOUGH_MEMORY, nGeneration);
            return true;
        }
        if (nLength > 0)
            std::memcpy(pItem->pPayload, pPayload, nLength);
        pItem->nLength = nLength;
    }
    m_csQueue.Lock();
    AppendItem(pItem);
    for (int i = 0; i < BackOffYields && m_queue.GetCount() > BackOffDepth; ++i)
    {
        m_csQueue.Unlock();
        ::SwitchToThread();
        m_csQueue.Lock();
    }
    m_csQueue.Unlock();
    return true;
}

void CQOVQueuedServer::OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength)
{
    // The worker cannot close a slot from inside its own receive: the owner
    // drops it on the error item.
    QueueData(nClient, pPayload, nLength, GetGeneration(nClient));
}

void CQOVQueuedServer::OnClientConnected(int nClient)
{
    NextSlotGeneration(nClient);
    QueueEvent(stQueueItem::KindConnected, nClient, 0, GetGeneration(nClient));
}

void CQOVQueuedServer::OnClientDisconnected(int nClient)
{
    QueueEvent(stQueueItem::KindDisconnected, nClient, 0, GetGeneration(nClient));
}

void CQOVQueuedServer::OnClientError(int nClient, DWORD dwError)
{
    QueueEvent(stQueueItem::KindError, nClient, static_cast<int>(dwError), GetGeneration(nClient));
}

bool CQOVQueuedServer::OnMessage(const BYTE* pPayload, int32_t nLength)
{
    return QueueData(m_nPipeClientId, pPayload, nLength, CNamedPipe::GetGeneration());
}

void CQOVQueuedServer::OnPipeError(DWORD dwError, uint32_t nGeneration)
{
    QueueEvent(stQueueItem::KindError, m_nPipeClientId, static_cast<int>(dwError), nGeneration);
}

void CQOVQueuedServer::OnPipeDisconnected(uint32_t nGeneration)
{
    QueueEvent(stQueueItem::KindDisconnected, m_nPipeClientId, 0, nGeneration);
}

void CQOVQueuedServer::OnPipeConnected()
{
    QueueEvent(stQueueItem::KindConnected, m_nPipeClientId, 0, CNamedPipe::GetGeneration());
}

stQueueItem* CQOVQueuedServer::PopItem()
{
    CSectionLock queueLock(m_csQueue);
    stQueueItem* pItem = m_queue.RemoveHead();
    if (pItem != nullptr && pItem->nKind == stQueueItem::KindData)
    {
        if (stCLIENT_LOAD* pLoad = LoadOf(pItem->nClientId))
        {
            --pLoad->nItems;
            pLoad->llBytes -= pItem->nLength;
        }
    }
    return pItem;
}

void CQOVQueuedServer::FreeItem(stQueueItem* pItem)
{
    if (pItem == nullptr)
        return;
    delete[] pItem->pPayload;
    delete pItem;
}

void CQOVQueuedServer::FlushQueue()
{
    while (stQueueItem* pItem = PopItem())
        FreeItem(pItem);
}

void CQOVQueuedServer::OnIdle()
{
    {
        CSectionLock queueLock(m_csQueue);
        if (!m_queue.IsEmpty())
            ::SetEvent(m_hItemsQueued);
    }
    FreeBuffers();
}

int CQOVQueuedServer::GetQueuedCount()
{
    CSectionLock queueLock(m_csQueue);
    return m_queue.GetCount();
}
