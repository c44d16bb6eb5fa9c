#include "protocol/QueueItemList.h"

#include <new>

bool CQueueItemList::AddTail(stQueueItem* pItem)
{
    stNode* pNode = new (std::nothrow) stNode{pItem, nullptr};
    if (pNode == nullptr)
        return false;
    if (m_pTail != nullptr)
        m_pTail->pNext = pNode;
    else
        m_pHead = pNode;
    m_pTail = pNode;
    ++m_nCount;
    return true;
}

stQueueItem* CQueueItemList::RemoveHead()
{
    stNode* pNode = m_pHead;
    if (pNode == nullptr)
        return nullptr;
    m_pHead = pNode->pNext;
    if (m_pHead == nullptr)
        m_pTail = nullptr;
    --m_nCount;
    stQueueItem* pItem = pNode->pItem;
    delete pNode;
    return pItem;
}

void CQueueItemList::RemoveAll()
{
    while (m_pHead != nullptr)
        RemoveHead();
}
