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

    // The event is the owner's; it is set whenever an item is queued.
    explicit CQOVQueuedServer(HANDLE hItemsQueued);
    ~CQOVQueuedServer() override;

    // The oldest item, or null; the caller frees it with FreeItem.
    stQueueItem* PopItem();
    static void FreeItem(stQueueItem* pItem);
    void FlushQueue();
    void OnIdle();
    int GetQueuedCount();

protected:
    void OnMessage(const BYTE* pPayload, int32_t nLength) override;
    void OnPipeError(DWORD dwError) override;
    void OnPipeDisconnected() override;
    void OnPipeConnected() override;

    void OnClientMessage(int nClient, const BYTE* pPayload, int32_t nLength) override;
    void OnClientConnected(int nClient) override;
    void OnClientDisconnected(int nClient) override;
    void OnClientError(int nClient, DWORD dwError) override;

private:
    static stQueueItem* MakeItem(int nKind, int nClient, int nValue);
    void QueueEvent(int nKind, int nClient, int nValue);
    // Under the queue lock.
    void AppendItem(stQueueItem* pItem);

    CQueueItemList m_queue;
    CCriticalSection m_csQueue;
    HANDLE m_hItemsQueued;
};
