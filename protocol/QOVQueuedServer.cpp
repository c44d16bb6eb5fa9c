#include "protocol/QOVQueuedServer.h"

#include <cstring>
#include <new>

CQOVQueuedServer::CQOVQueuedServer(HANDLE hItemsQueued) : m_hItemsQueued(hItemsQueued)
{
}

CQOVQueuedServer::~CQOVQueuedServer()
{
    // The producer threads call into this object: they end before the queue goes.
    Stop();
    FlushQueue();
}

stQueueItem* CQOVQueuedServer::MakeItem(int nKind, int nClient, int nValue)
{
    stQueueItem* pItem = new (std::nothrow) stQueueItem();
    if (pItem != nullptr)
    {
        pItem->nKind = nKind;
        pItem->nClientId = nClient;
        pItem->nValue = nValue;
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
    ::SetEvent(m_hItemsQueued);
}

void CQOVQueuedServer::QueueEvent(int nKind, int nClient, int nValue)
{
    CSectionLock queueLock(m_csQueue);
    AppendItem(MakeItem(nKind, nClient, nValue));
}

void CQOVQueuedServer::OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength)
{
    stQueueItem* pItem = MakeItem(stQueueItem::KindData, nClient, 0);
    if (pItem != nullptr)
    {
        pItem->pPayload = new (std::nothrow) BYTE[nLength > 0 ? nLength : 1];
        if (pItem->pPayload == nullptr)
        {
            FreeItem(pItem);
            OnClientError(nClient, ERROR_NOT_ENOUGH_MEMORY);
            return;
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
}

void CQOVQueuedServer::OnClientConnected(int nClient)
{
    QueueEvent(stQueueItem::KindConnected, nClient, 0);
}

void CQOVQueuedServer::OnClientDisconnected(int nClient)
{
    QueueEvent(stQueueItem::KindDisconnected, nClient, 0);
}

void CQOVQueuedServer::OnClientError(int nClient, DWORD dwError)
{
    QueueEvent(stQueueItem::KindError, nClient, static_cast<int>(dwError));
}

void CQOVQueuedServer::OnMessage(const BYTE* pPayload, int32_t nLength)
{
    OnClientMessage(m_nPipeClientId, pPayload, nLength);
}

void CQOVQueuedServer::OnPipeError(DWORD dwError)
{
    OnClientError(m_nPipeClientId, dwError);
}

void CQOVQueuedServer::OnPipeDisconnected()
{
    OnClientDisconnected(m_nPipeClientId);
}

void CQOVQueuedServer::OnPipeConnected()
{
    OnClientConnected(m_nPipeClientId);
}

stQueueItem* CQOVQueuedServer::PopItem()
{
    CSectionLock queueLock(m_csQueue);
    return m_queue.RemoveHead();
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
