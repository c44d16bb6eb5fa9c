// Helpers of the transport tests: a queued endpoint whose events the test
// waits for with a bound, raw pipe clients that write exactly the bytes a
// case needs, and frame builders.
#pragma once

#include "protocol/FrameAssembler.h"
#include "protocol/QOVQueuedServer.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

typedef std::vector<BYTE> CBytes;

// A queue item that frees itself.
struct stItemDeleter
{
    void operator()(stQueueItem* pItem) const { CQOVQueuedServer::FreeItem(pItem); }
};
typedef std::unique_ptr<stQueueItem, stItemDeleter> CItemPtr;

// Built before the server so that the server can be given its event.
struct stItemsEvent
{
    stItemsEvent() : m_evItems(FALSE, FALSE) {}
    CEvent m_evItems;
};

class CTestEndpoint : private stItemsEvent, public CQOVQueuedServer
{
public:
    CTestEndpoint();
    ~CTestEndpoint() override;

    // The next item, or null when none came within dwTimeoutMs.
    CItemPtr WaitItem(DWORD dwTimeoutMs = 5000);
    // Skips other items until one of the kind arrives; null on time-out.
    CItemPtr WaitKind(int nKind, DWORD dwTimeoutMs = 5000);
    CCriticalSection& PipeLock() { return m_csPipe; }
    HANDLE GetItemsEvent() const { return m_evItems.GetHandle(); }
};

std::wstring MakePipeName(const wchar_t* pszCase);
CBytes MakePayload(size_t nCount, BYTE bSeed = 1);
CBytes MakeFrame(const CBytes& payload, int32_t nVersion = 1, BYTE bEnd = 0x03);
CBytes MakeHeader(int32_t nLength, int32_t nVersion = 1);
CBytes Concat(const CBytes& a, const CBytes& b);
CBytes PayloadOf(const stQueueItem& stItem);
// The handles this process holds, found by probing handle values: the
// system's own count answers 0 under Wine.
DWORD CountOpenHandles();

// A client of a pipe pair opened with plain synchronous handles.
class CRawPipeClient
{
public:
    // Longest a write or flush may wait for the server to read.
    static constexpr DWORD IoTimeoutMs = 10000;

    CRawPipeClient() : m_hRead(INVALID_HANDLE_VALUE), m_hWrite(INVALID_HANDLE_VALUE), m_dwError(0) {}
    ~CRawPipeClient() { Close(); }

    // Retries while the pair is busy: between two clients the server needs a
    // moment to listen again.
    bool Open(const std::wstring& strName, DWORD dwBusyRetryMs = 3000);
    DWORD GetOpenError() const { return m_dwError; }
    // One write, then a flush: the server reads these bytes on their own.
    bool Send(const CBytes& bytes);
    // One write and no flush.
    bool SendRaw(const CBytes& bytes);
    // A read of at most nMax bytes that ends within dwTimeoutMs; the bytes
    // read, or empty on end or time-out.
    CBytes Read(DWORD dwTimeoutMs, size_t nMax = 65536);
    // Opens one half of the pair only ("_IN" or "_OUT").
    bool OpenHalf(const std::wstring& strName, bool bIn);
    DWORD GetLastSendError() const { return m_dwError; }
    void Close();

private:
    bool OpenOnce(const std::wstring& strName);

    HANDLE m_hRead;
    HANDLE m_hWrite;
    DWORD m_dwError;
};
