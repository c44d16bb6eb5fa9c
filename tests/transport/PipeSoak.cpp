#include "PipeSoak.h"

#include "TransportTestSupport.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace
{
const DWORD ReplyWaitMs = 5000;
const DWORD NeverReadHoldMs = 20;
// A request of a bare message, as the programs send it.
const size_t RequestBytes = 16;
const int SendAttempts = 3;

enum EClientKind { ClientReads, ClientClosesAtOnce, ClientNeverReads, ClientHalfOpen, ClientKinds };

struct stSoakClient
{
    std::wstring strName;
    int nCycles;
    std::atomic<int> nRepliesRead;
    std::atomic<int> nCyclesRun;
};

// A client that opens "_OUT" just as the server gives up on the previous
// client's pair holds a dead "_OUT" and a live "_IN": its send fails, and it
// connects again as the programs' clients do.
bool OpenAndSend(CRawPipeClient& client, const std::wstring& strName)
{
    for (int nAttempt = 0; nAttempt < SendAttempts; ++nAttempt)
    {
        if (client.Open(strName, ReplyWaitMs) && client.Send(MakeFrame(MakePayload(RequestBytes))))
            return true;
        client.Close();
    }
    return false;
}

void RunCycle(stSoakClient& stClient, int nCycle)
{
    CRawPipeClient client;
    EClientKind eKind = static_cast<EClientKind>(nCycle % ClientKinds);
    if (eKind == ClientHalfOpen)
    {
        // Both halves in turn, each opened alone and closed at once.
        DWORD dwStart = ::GetTickCount();
        while (!client.OpenHalf(stClient.strName, (nCycle / ClientKinds) % 2 == 0) &&
               client.GetOpenError() == ERROR_PIPE_BUSY && ::GetTickCount() - dwStart < ReplyWaitMs)
            ::Sleep(5);
        return;
    }
    if (!OpenAndSend(client, stClient.strName))
        return;
    if (eKind == ClientReads)
    {
        CBytes reply = client.Read(ReplyWaitMs);
        if (reply.size() >= CFrameAssembler::GetFrameSize(CFrameAssembler::PipeHeaderSize, RequestBytes))
            ++stClient.nRepliesRead;
    }
    else if (eKind == ClientNeverReads)
        ::Sleep(NeverReadHoldMs);
}

void RunClient(stSoakClient& stClient)
{
    for (int i = 0; i < stClient.nCycles; ++i)
    {
        RunCycle(stClient, i);
        ++stClient.nCyclesRun;
    }
}

// Takes the items of both servers as the service's wait loop does and
// answers every request.
class CSoakConsumer
{
public:
    CSoakConsumer(CTestEndpoint* apServers[2], stSoakResult& stResult) : m_stResult(stResult)
    {
        m_apServers[0] = apServers[0];
        m_apServers[1] = apServers[1];
    }

    void Drain()
    {
        for (CTestEndpoint* pServer : m_apServers)
            while (stQueueItem* pItem = pServer->PopItem())
                Handle(*pServer, CItemPtr(pItem));
    }

    // Until hDone is set and nothing is left.
    void Serve(HANDLE hDone)
    {
        HANDLE ahWait[3] = {m_apServers[0]->GetItemsEvent(), m_apServers[1]->GetItemsEvent(), hDone};
        for (;;)
        {
            DWORD dwWait = ::WaitForMultipleObjects(3, ahWait, FALSE, INFINITE);
            Drain();
            if (dwWait == WAIT_OBJECT_0 + 2)
                return;
        }
    }

private:
    void Handle(CTestEndpoint& server, CItemPtr pItem)
    {
        switch (pItem->nKind)
        {
        case stQueueItem::KindData:
        {
            ++m_stResult.nRequests;
            CBytes reply = MakePayload(RequestBytes, 9);
            server.SendTo(pItem->nClientId, reply.data(), static_cast<int32_t>(reply.size()));
            break;
        }
        case stQueueItem::KindConnected:
            ++m_stResult.nConnected;
            break;
        case stQueueItem::KindDisconnected:
            ++m_stResult.nDisconnected;
            break;
        default:
            ++m_stResult.nErrorItems;
            break;
        }
    }

    CTestEndpoint* m_apServers[2];
    stSoakResult& m_stResult;
};

bool ServeFreshClient(const std::wstring& strName)
{
    CRawPipeClient client;
    return client.Open(strName, ReplyWaitMs) && client.Send(MakeFrame(MakePayload(RequestBytes))) &&
           client.Read(ReplyWaitMs) == MakeFrame(MakePayload(RequestBytes, 9));
}

// A deadlock must fail the run in bounded time, not wait for the run's time-out.
void JoinWithin(std::thread& thread, HANDLE hFinished, DWORD dwBoundMs)
{
    if (::WaitForSingleObject(hFinished, dwBoundMs) != WAIT_OBJECT_0)
    {
        fprintf(stderr, "pipe soak: a client is stuck after %lu ms\n", dwBoundMs);
        fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 3);
    }
    thread.join();
}
}

stSoakResult RunPipeSoak(int nCycles, DWORD dwBoundMs)
{
    stSoakResult stResult = {};
    CTestEndpoint servers[2];
    CTestEndpoint* apServers[2] = {&servers[0], &servers[1]};
    stSoakClient astClients[2];
    for (int i = 0; i < 2; ++i)
    {
        astClients[i].strName = MakePipeName(i == 0 ? L"soak_gui" : L"soak_cmd");
        astClients[i].nRepliesRead = 0;
        astClients[i].nCyclesRun = 0;
        servers[i].SetPipeClientId(i == 0 ? -1 : -2);
        if (!servers[i].StartServer(astClients[i].strName.c_str()))
            return stResult;
    }
    CSoakConsumer consumer(apServers, stResult);
    HANDLE hDone = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    std::thread consumerThread([&] { consumer.Serve(hDone); });

    // One cycle of every kind first: the thread pools and timers that the
    // transport starts once must not count as growth.
    for (stSoakClient& stClient : astClients)
    {
        stClient.nCycles = ClientKinds;
        RunClient(stClient);
    }
    ::Sleep(300);
    stResult.dwHandlesBefore = CountOpenHandles();

    ULONGLONG ullStart = ::GetTickCount64();
    for (int i = 0; i < 2; ++i)
        astClients[i].nCycles = nCycles / 2 + (i == 0 ? nCycles % 2 : 0);
    HANDLE ahFinished[2] = {::CreateEventW(NULL, TRUE, FALSE, NULL), ::CreateEventW(NULL, TRUE, FALSE, NULL)};
    std::thread clients[2];
    for (int i = 0; i < 2; ++i)
        clients[i] = std::thread([&astClients, &ahFinished, i] {
            RunClient(astClients[i]);
            ::SetEvent(ahFinished[i]);
        });
    for (int i = 0; i < 2; ++i)
    {
        JoinWithin(clients[i], ahFinished[i], dwBoundMs);
        ::CloseHandle(ahFinished[i]);
    }
    stResult.bFinished = true;
    stResult.dWallSeconds = (::GetTickCount64() - ullStart) / 1000.0;
    for (stSoakClient& stClient : astClients)
    {
        stResult.nCycles += stClient.nCyclesRun - ClientKinds;
        stResult.nRepliesRead += stClient.nRepliesRead;
    }

    stResult.bFreshClientServed = ServeFreshClient(astClients[0].strName) && ServeFreshClient(astClients[1].strName);
    // The servers see the last departures a moment later, and the consumer
    // takes them a moment after that.
    DWORD dwStart = ::GetTickCount();
    while ((servers[0].IsConnected() || servers[1].IsConnected()) && ::GetTickCount() - dwStart < ReplyWaitMs)
        ::Sleep(10);
    ::Sleep(CNamedPipe::HalfOpenPollMs * 3);
    stResult.dwHandlesAfter = CountOpenHandles();
    ::SetEvent(hDone);
    consumerThread.join();
    ::CloseHandle(hDone);
    return stResult;
}
