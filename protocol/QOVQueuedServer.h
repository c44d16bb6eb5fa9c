// CQOVQueuedServer: turns every event of both channels into a queue item and
// signals the owner's event, so that the owner's thread handles all events in
// order. Producers are the reader and worker threads.
//
// Error items of the pipe: a send to a client that has already left (the
// pipe answers that its peer is gone, not connected or listening again)
// queues no error item. The client's departure arrives as its disconnected
// item, queued by the reader in order with its other events, so a consumer
// that drops the clients of a pair on an error item never drops a client
// that connected after the one the error was about. The send itself returns
// false with that answer as the last error.
//
// Every item carries the generation of its client's connection, so that the
// owner can tell what belongs to a client that left from what belongs to the
// next client of the same id.
//
// With caps set, a client whose data items waiting in the queue would pass
// either cap is dropped: its frame and the data items it has waiting are not
// handed out, an error item with OverCapError is queued in their place, and a
// pipe client is disconnected.
#pragma once

#include "protocol/QOVServer.h"
#include "protocol/QueueItemList.h"

class CQOVQueuedServer : public CQOVServer
{
public:
    // A reader that queued data yields up to this many times while more than
    // BackOffDepth items wait, so that a fast sender cannot run far ahead.
    static constexpr int BackOffYields = 10;
    static constexpr int BackOffDepth = 2;
    static constexpr DWORD OverCapError = ERROR_NOT_ENOUGH_QUOTA;

    // The event is the owner's; it is set whenever an item is queued.
    explicit CQOVQueuedServer(HANDLE hItemsQueued);
    ~CQOVQueuedServer() override;

    // The oldest item, or null; the caller frees it with FreeItem.
    stQueueItem* PopItem();
    static void FreeItem(stQueueItem* pItem);
    void FlushQueue();
    void OnIdle();
    int GetQueuedCount();
    // At most this many data items and payload bytes waiting per client; 0
    // leaves that measure free, as it is at construction.
    void SetClientCaps(int nMaxItems, int64_t llMaxBytes);

protected:
    bool OnMessage(const BYTE* pPayload, int32_t nLength) override;
    void OnPipeError(DWORD dwError, uint32_t nGeneration) override;
    void OnPipeDisconnected(uint32_t nGeneration) override;
    void OnPipeConnected() override;

    void OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength) override;
    void OnClientConnected(int nClient) override;
    void OnClientDisconnected(int nClient) override;
    void OnClientError(int nClient, DWORD dwError) override;

private:
    // What one client has waiting in the queue.
    struct stCLIENT_LOAD
    {
        int nItems;
        int64_t llBytes;
    };

    static stQueueItem* MakeItem(int nKind, int nClient, int nValue, uint32_t nGeneration);
    void QueueEvent(int nKind, int nClient, int nValue, uint32_t nGeneration);
    // False when the client is over a cap; the data item is then not queued.
    bool QueueData(int nClient, const BYTE* pPayload, int32_t nLength, uint32_t nGeneration);
    // Under the queue lock.
    void AppendItem(stQueueItem* pItem);
    stCLIENT_LOAD* LoadOf(int nClient);
    bool IsOverCap(int nClient, int32_t nLength);
    void DropWaitingData(int nClient, uint32_t nGeneration);

    CQueueItemList m_queue;
    // The pipe's client first, then the TCP slots.
    stCLIENT_LOAD m_aLoad[1 + SlotCount];
    int m_nMaxItems;
    int64_t m_llMaxBytes;
    CCriticalSection m_csQueue;
    HANDLE m_hItemsQueued;
};
