// stQueueItem and CQueueItemList: the events of a queued server, kept first in,
// first out. The list owns its nodes, never the items.
#pragma once

#include <windows.h>

#include <cstdint>

struct stQueueItem
{
    enum EKind { KindData = 1, KindConnected = 2, KindDisconnected = 3, KindError = 4 };

    BYTE* pPayload; // a copy of the received payload (data only), owned by the item
    int32_t nLength;
    int32_t nKind;
    int32_t nClientId;
    int32_t nValue; // the error code of an error item
    uint32_t nGeneration; // the client's connection the event belongs to (CQOVServer::GetGeneration)
};

class CQueueItemList
{
public:
    CQueueItemList() : m_pHead(nullptr), m_pTail(nullptr), m_nCount(0) {}
    ~CQueueItemList() { RemoveAll(); }
    CQueueItemList(const CQueueItemList&) = delete;
    CQueueItemList& operator=(const CQueueItemList&) = delete;

    // False when no node could be allocated; the item is then not queued.
    bool AddTail(stQueueItem* pItem);
    // Null when empty.
    stQueueItem* RemoveHead();
    int GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    // Drops the nodes and leaves the items to their owners.
    void RemoveAll();
    // Takes out, in order, every item for which fnMatch is true and hands each to fnTake.
    template <class TMatch, class TTake> void RemoveMatching(TMatch fnMatch, TTake fnTake)
    {
        stNode** ppLink = &m_pHead;
        m_pTail = nullptr;
        while (stNode* pNode = *ppLink)
        {
            if (!fnMatch(*pNode->pItem))
            {
                m_pTail = pNode;
                ppLink = &pNode->pNext;
                continue;
            }
            *ppLink = pNode->pNext;
            --m_nCount;
            stQueueItem* pItem = pNode->pItem;
            delete pNode;
            fnTake(pItem);
        }
    }

private:
    struct stNode
    {
        stQueueItem* pItem;
        stNode* pNext;
    };

    stNode* m_pHead;
    stNode* m_pTail;
    int m_nCount;
};
