// The pipe pair and its frame channel over real pipes, both ends queued.
#include "TransportTestSupport.h"

#include "protocol/IoCanceller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
class PipeChannel : public ::testing::Test
{
protected:
    void StartServer(const wchar_t* pszCase)
    {
        m_strName = MakePipeName(pszCase);
        ASSERT_TRUE(m_server.StartServer(m_strName.c_str()));
    }

    // A raw client whose connection the server has seen.
    void OpenRaw(CRawPipeClient& client)
    {
        ASSERT_TRUE(client.Open(m_strName)) << client.GetOpenError();
        CItemPtr pConnected = m_server.WaitKind(stQueueItem::KindConnected);
        ASSERT_TRUE(pConnected);
        EXPECT_EQ(pConnected->nClientId, -1);
    }

    void ExpectDelivered(CRawPipeClient& client, size_t nPayload)
    {
        CBytes payload = MakePayload(nPayload, 4);
        ASSERT_TRUE(client.Send(MakeFrame(payload)));
        CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pData);
        EXPECT_EQ(PayloadOf(*pData), payload);
    }

    void ExpectServedAfterwards()
    {
        CRawPipeClient client;
        OpenRaw(client);
        ExpectDelivered(client, 50);
    }

    std::wstring m_strName;
    CTestEndpoint m_server;
};
}

TEST_F(PipeChannel, ServerAndClientExchangeFramesAndTheServerTakesTheNextClient)
{
    StartServer(L"pair");
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        CTestEndpoint client;
        // The server makes its next instance once the last client has gone; until it is there
        // the client's reader goes on trying, and a loaded machine may take a while.
        client.ConnectLocal(m_strName.c_str());
        CItemPtr pConnected = client.WaitKind(stQueueItem::KindConnected, 30000);
        ASSERT_TRUE(pConnected);
        ASSERT_TRUE(m_server.WaitKind(stQueueItem::KindConnected));
        EXPECT_EQ(m_server.GetClientCount(), 1);

        CBytes request = MakePayload(2000, static_cast<BYTE>(nRound));
        ASSERT_TRUE(client.SendTo(-1, request.data(), static_cast<int32_t>(request.size())));
        CItemPtr pRequest = m_server.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pRequest);
        EXPECT_EQ(PayloadOf(*pRequest), request);

        CBytes reply = MakePayload(16, 7);
        ASSERT_TRUE(m_server.SendTo(-1, reply.data(), static_cast<int32_t>(reply.size())));
        CItemPtr pReply = client.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pReply);
        EXPECT_EQ(PayloadOf(*pReply), reply);

        client.Stop();
        CItemPtr pGone = m_server.WaitKind(stQueueItem::KindDisconnected);
        ASSERT_TRUE(pGone);
        EXPECT_EQ(pGone->nClientId, -1);
    }
}

TEST_F(PipeChannel, SecondClientIsRefusedWhileOneIsConnected)
{
    StartServer(L"busy");
    CRawPipeClient first;
    OpenRaw(first);
    CRawPipeClient second;
    EXPECT_FALSE(second.Open(m_strName, 0));
    EXPECT_EQ(second.GetOpenError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
    CBytes payload = MakePayload(10);
    ASSERT_TRUE(first.Send(MakeFrame(payload)));
    CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
    ASSERT_TRUE(pData);
    EXPECT_EQ(PayloadOf(*pData), payload);
}

// Wine joins the chunks in the pipe, so the reader sees only that the
// message, four times the pipe's buffer, arrives whole and in order.
TEST_F(PipeChannel, MessagesLongerThanThePipeBufferArriveWhole)
{
    StartServer(L"chunks");
    CRawPipeClient client;
    OpenRaw(client);
    CBytes payload = MakePayload(4096);
    bool bSent = false;
    std::thread sender([&] { bSent = m_server.SendTo(-1, payload.data(), 4096); });
    CBytes received;
    while (received.size() < 4110)
    {
        CBytes read = client.Read(5000);
        if (read.empty())
            break;
        received.insert(received.end(), read.begin(), read.end());
    }
    sender.join();
    EXPECT_TRUE(bSent);
    EXPECT_EQ(received, MakeFrame(payload));
}

TEST_F(PipeChannel, FramesSplitOverReadsOrPrecededByJunkAreDeliveredOnce)
{
    struct stCase
    {
        const char* pszName;
        size_t nPayload;
        std::vector<size_t> cuts;
        CBytes junk;
    };
    const stCase aCases[] = {
        {"header, then the rest", 300, {13}, {}},
        {"1024, 1024 and the end byte", 2035, {1024, 2048}, {}},
        {"payload ends with a read", 40, {53}, {}},
        {"junk before the start byte", 20, {}, {0xAA, 0xBB, 0xCC}},
        {"start byte at the end of a read", 20, {1}, {0x10, 0x20}},
    };
    StartServer(L"split");
    for (const stCase& stC : aCases)
    {
        CRawPipeClient client;
        OpenRaw(client);
        CBytes payload = MakePayload(stC.nPayload, 5);
        CBytes stream = Concat(stC.junk, MakeFrame(payload));
        size_t nStart = 0;
        std::vector<size_t> cuts = stC.cuts;
        cuts.push_back(stream.size() - stC.junk.size());
        for (size_t nCut : cuts)
        {
            size_t nEnd = nCut + stC.junk.size();
            ASSERT_TRUE(client.Send(CBytes(stream.begin() + nStart, stream.begin() + nEnd)))
                << stC.pszName << " error " << client.GetLastSendError();
            nStart = nEnd;
        }
        CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pData) << stC.pszName;
        EXPECT_EQ(PayloadOf(*pData), payload) << stC.pszName;
        client.Close();
        ASSERT_TRUE(m_server.WaitKind(stQueueItem::KindDisconnected)) << stC.pszName;
        EXPECT_FALSE(m_server.WaitItem(0)) << stC.pszName;
    }
}

TEST_F(PipeChannel, BadFramesDropTheClientWhichIsThenReplaced)
{
    struct stCase
    {
        const char* pszName;
        CBytes bytes;
    };
    const stCase aCases[] = {
        {"bad end byte", MakeFrame(MakePayload(8), 1, 0x04)},
        {"negative length", Concat(MakeHeader(-1), MakePayload(20))},
        {"huge length", Concat(MakeHeader(0x7FFFFFF0), MakePayload(20))},
    };
    StartServer(L"bad");
    for (const stCase& stC : aCases)
    {
        CRawPipeClient client;
        OpenRaw(client);
        ASSERT_TRUE(client.SendRaw(stC.bytes)) << stC.pszName;
        CItemPtr pItem = m_server.WaitItem();
        ASSERT_TRUE(pItem) << stC.pszName;
        EXPECT_EQ(pItem->nKind, stQueueItem::KindDisconnected) << stC.pszName;
        EXPECT_TRUE(client.Read(2000).empty()) << stC.pszName;
    }
    ExpectServedAfterwards();
}

TEST_F(PipeChannel, ClientVanishingMidFrameLeavesNothingForTheNextClient)
{
    StartServer(L"vanish");
    {
        CRawPipeClient client;
        OpenRaw(client);
        CBytes frame = MakeFrame(MakePayload(2000));
        ASSERT_TRUE(client.Send(CBytes(frame.begin(), frame.begin() + 500)));
    }
    ASSERT_TRUE(m_server.WaitKind(stQueueItem::KindDisconnected));
    ExpectServedAfterwards();
}

// A long message waits on a pending chunk, a short one fits the pipe and
// waits in the flush; either wait ends with the bound.
TEST_F(PipeChannel, ClientThatNeverReadsIsDroppedWithinTheBound)
{
    StartServer(L"noread");
    for (size_t nPayload : {8000, 100})
    {
        CRawPipeClient client;
        OpenRaw(client);
        CBytes payload = MakePayload(nPayload);
        DWORD dwStart = ::GetTickCount();
        EXPECT_FALSE(m_server.SendTo(-1, payload.data(), static_cast<int32_t>(payload.size()))) << nPayload;
        EXPECT_LT(::GetTickCount() - dwStart, 3 * CNamedPipe::WriteTimeoutMs) << nPayload;
        ASSERT_TRUE(m_server.WaitKind(stQueueItem::KindDisconnected)) << nPayload;
        client.Close();
    }
    ExpectServedAfterwards();
}

// The bound is one per message: a client taking a chunk now and then, each
// within the bound, must not keep a long message going for minutes.
TEST_F(PipeChannel, ClientThatReadsTooSlowlyIsDroppedWithinOneBoundPerMessage)
{
    const DWORD dwTrickleMs = CNamedPipe::WriteTimeoutMs / 4;
    StartServer(L"trickle");
    CRawPipeClient client;
    OpenRaw(client);
    std::atomic<bool> bDone(false);
    std::thread trickle([&] {
        while (!bDone)
        {
            client.Read(dwTrickleMs, CNamedPipe::ChunkSize);
            ::Sleep(dwTrickleMs);
        }
    });
    CBytes payload = MakePayload(12 * CNamedPipe::ChunkSize);
    DWORD dwStart = ::GetTickCount();
    EXPECT_FALSE(m_server.SendTo(-1, payload.data(), static_cast<int32_t>(payload.size())));
    EXPECT_LT(::GetTickCount() - dwStart, 3 * CNamedPipe::WriteTimeoutMs);
    EXPECT_TRUE(m_server.WaitKind(stQueueItem::KindDisconnected));
    bDone = true;
    trickle.join();
    client.Close();
    ExpectServedAfterwards();
}

// The reader echoes on its own thread to a client that never reads: closing
// the pipe ends that write at once instead of waiting it out (or ending the
// thread by force).
TEST(PipeEcho, StopEndsAnEchoToAClientThatNeverReadsAtOnce)
{
    std::wstring strName = MakePipeName(L"echo");
    CQOVServer server;
    ASSERT_TRUE(server.StartServer(strName.c_str()));
    CRawPipeClient client;
    ASSERT_TRUE(client.Open(strName)) << client.GetOpenError();
    ASSERT_TRUE(client.Send(MakeFrame(MakePayload(8 * CNamedPipe::ChunkSize))));
    ::Sleep(500);
    DWORD dwStart = ::GetTickCount();
    server.Stop();
    EXPECT_LT(::GetTickCount() - dwStart, CNamedPipe::WriteTimeoutMs / 2);
}

TEST_F(PipeChannel, ClientThatCameAndWentBeforeTheListenDoesNotJamThePipe)
{
    m_strName = MakePipeName(L"cameandwent");
    {
        // Holding the pipe lock keeps the reader from its first connect.
        CSectionLock pipeLock(m_server.PipeLock());
        ASSERT_TRUE(m_server.StartServer(m_strName.c_str()));
        CRawPipeClient early;
        ASSERT_TRUE(early.Open(m_strName)) << early.GetOpenError();
    }
    // What the early client would have caused comes soon after the lock is let go, if at all.
    CItemPtr pItem = m_server.WaitItem(500);
    EXPECT_FALSE(pItem) << "kind " << pItem->nKind << " value " << pItem->nValue;
    ExpectServedAfterwards();
}

TEST_F(PipeChannel, ClientConnectedBeforeTheListenIsReported)
{
    m_strName = MakePipeName(L"early");
    CRawPipeClient early;
    {
        CSectionLock pipeLock(m_server.PipeLock());
        ASSERT_TRUE(m_server.StartServer(m_strName.c_str()));
        ASSERT_TRUE(early.Open(m_strName)) << early.GetOpenError();
    }
    CItemPtr pConnected = m_server.WaitItem();
    ASSERT_TRUE(pConnected);
    EXPECT_EQ(pConnected->nKind, stQueueItem::KindConnected);
    ExpectDelivered(early, 12);
}

TEST_F(PipeChannel, QueuedEventsCarryKindsAndTheServersClientId)
{
    StartServer(L"kinds");
    m_server.SetPipeClientId(-2);
    CBytes payload = MakePayload(3);
    EXPECT_TRUE(m_server.SendTo(-2, payload.data(), 3)) << "nobody connected: nothing to send";

    CRawPipeClient client;
    ASSERT_TRUE(client.Open(m_strName));
    // A frame of another frame version is reported and still delivered.
    ASSERT_TRUE(client.Send(MakeFrame(payload, 2)));
    const int aKinds[] = {stQueueItem::KindConnected, stQueueItem::KindError, stQueueItem::KindData};
    for (int nKind : aKinds)
    {
        CItemPtr pItem = m_server.WaitItem();
        ASSERT_TRUE(pItem);
        EXPECT_EQ(pItem->nKind, nKind);
        EXPECT_EQ(pItem->nClientId, -2);
        if (nKind == stQueueItem::KindError)
        {
            EXPECT_EQ(pItem->nValue, 1);
        }
        if (nKind == stQueueItem::KindData)
        {
            EXPECT_EQ(PayloadOf(*pItem), payload);
        }
    }
    client.Close();
    CItemPtr pGone = m_server.WaitItem();
    ASSERT_TRUE(pGone);
    EXPECT_EQ(pGone->nKind, stQueueItem::KindDisconnected);
    EXPECT_EQ(pGone->nClientId, -2);
}

TEST(PipeClient, KeepsRetryingUntilTheServerAppears)
{
    std::wstring strName = MakePipeName(L"late");
    CTestEndpoint client;
    EXPECT_FALSE(client.ConnectLocal(strName.c_str()));
    CItemPtr pError = client.WaitItem();
    ASSERT_TRUE(pError);
    EXPECT_EQ(pError->nKind, stQueueItem::KindError);
    EXPECT_EQ(pError->nValue, ERROR_FILE_NOT_FOUND);

    CTestEndpoint server;
    ASSERT_TRUE(server.StartServer(strName.c_str()));
    CItemPtr pConnected = client.WaitKind(stQueueItem::KindConnected, CNamedPipe::ClientRetryMs + 3000);
    ASSERT_TRUE(pConnected);
    ASSERT_TRUE(server.WaitKind(stQueueItem::KindConnected));
}

TEST_F(PipeChannel, ClientHoldingOneHalfOnlyIsDroppedAfterTheBound)
{
    StartServer(L"halfopen");
    HANDLE hHalf = ::CreateFileW((L"\\\\.\\PIPE\\" + m_strName + L"_OUT").c_str(), GENERIC_READ, 0, NULL,
                                 OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hHalf, INVALID_HANDLE_VALUE);
    CRawPipeClient client;
    EXPECT_TRUE(client.Open(m_strName, CNamedPipe::HalfOpenTimeoutMs + 3000)) << client.GetOpenError();
    ::CloseHandle(hHalf);
    CItemPtr pConnected = m_server.WaitItem();
    ASSERT_TRUE(pConnected);
    EXPECT_EQ(pConnected->nKind, stQueueItem::KindConnected);
    ExpectDelivered(client, 9);
}

// With little time left the bound may run out before the blocking call has
// begun; the call must still be cancelled instead of waiting for the peer.
TEST(IoCanceller, CallBegunAfterTheTimeRanOutIsStillCancelled)
{
    std::wstring strName = L"\\\\.\\PIPE\\" + MakePipeName(L"cancel");
    HANDLE hServer = ::CreateNamedPipeW(strName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                        1024, 1024, 0, NULL);
    ASSERT_NE(hServer, INVALID_HANDLE_VALUE);
    HANDLE hClient = ::CreateFileW(strName.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hClient, INVALID_HANDLE_VALUE);
    DWORD dwWritten = 0;
    // Unread bytes: a flush waits until the client reads them.
    ASSERT_TRUE(::WriteFile(hServer, "abc", 3, &dwWritten, NULL));
    CEvent evReturned(TRUE, FALSE);
    HANDLE hFlusher = NULL;
    CEvent evStarted(TRUE, FALSE);
    std::thread flusher([&] {
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &hFlusher, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
        evStarted.SetEvent();
        CIoCanceller canceller(0);
        ::Sleep(100);
        EXPECT_FALSE(::FlushFileBuffers(hServer));
        EXPECT_TRUE(canceller.HasFired());
        evReturned.SetEvent();
    });
    ASSERT_EQ(::WaitForSingleObject(evStarted.GetHandle(), 5000), WAIT_OBJECT_0);
    bool bReturned = ::WaitForSingleObject(evReturned.GetHandle(), 3000) == WAIT_OBJECT_0;
    EXPECT_TRUE(bReturned);
    while (!bReturned)
    {
        ::CancelSynchronousIo(hFlusher);
        bReturned = ::WaitForSingleObject(evReturned.GetHandle(), 100) == WAIT_OBJECT_0;
    }
    flusher.join();
    ::CloseHandle(hFlusher);
    ::CloseHandle(hClient);
    ::CloseHandle(hServer);
}

// What belongs to one connection of the pipe's client: its generation on every event,
// replies and disconnections that never reach the next client, and the caps on what it
// may leave waiting.
TEST_F(PipeChannel, RepliesAndDisconnectionsForAClientThatLeftNeverReachTheNext)
{
    StartServer(L"generation");
    uint32_t nFirst = 0;
    {
        CRawPipeClient first;
        OpenRaw(first);
        nFirst = m_server.GetGeneration(-1);
        ASSERT_TRUE(first.Send(MakeFrame(MakePayload(20))));
        CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pData);
        EXPECT_EQ(pData->nGeneration, nFirst);
    }
    CItemPtr pGone = m_server.WaitKind(stQueueItem::KindDisconnected);
    ASSERT_TRUE(pGone);
    EXPECT_EQ(pGone->nGeneration, nFirst);

    CRawPipeClient second;
    OpenRaw(second);
    const uint32_t nSecond = m_server.GetGeneration(-1);
    EXPECT_NE(nSecond, nFirst);
    EXPECT_EQ(m_server.GetGeneration(-1), nSecond);

    const CBytes stale = MakePayload(16, 9);
    EXPECT_TRUE(m_server.SendTo(-1, stale.data(), 16, nFirst)) << "dropped as for a client not connected";
    m_server.DisconnectClient(-1, nFirst);
    m_server.DisconnectAll(nFirst);
    EXPECT_TRUE(second.Read(500).empty()) << "nothing of the first client's reaches the second";
    ASSERT_TRUE(second.Send(MakeFrame(MakePayload(30))));
    CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
    ASSERT_TRUE(pData) << "the second client is still connected";
    EXPECT_EQ(pData->nGeneration, nSecond);

    // The send returns once the client has read the frame.
    const CBytes reply = MakePayload(16, 3);
    CBytes received;
    std::thread reader([&] { received = second.Read(5000); });
    EXPECT_TRUE(m_server.SendTo(-1, reply.data(), 16, nSecond));
    reader.join();
    EXPECT_EQ(received, MakeFrame(reply));
    m_server.DisconnectClient(-1, nSecond);
    CItemPtr pEnd = m_server.WaitKind(stQueueItem::KindDisconnected);
    ASSERT_TRUE(pEnd);
    EXPECT_EQ(pEnd->nGeneration, nSecond);
}

TEST_F(PipeChannel, ClientOverACapIsDroppedWithWhatItLeftWaiting)
{
    const struct
    {
        const wchar_t* pszCase;
        int nMaxItems;
        int64_t llMaxBytes;
        size_t nPayload;
        int nFrames;
    } cases[] = {
        {L"cap-items", 3, 0, 10, 5},
        {L"cap-bytes", 0, 100, 60, 3},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.pszCase)));
        CTestEndpoint server;
        const std::wstring strName = MakePipeName(c.pszCase);
        server.SetClientCaps(c.nMaxItems, c.llMaxBytes);
        ASSERT_TRUE(server.StartServer(strName.c_str()));
        CRawPipeClient client;
        ASSERT_TRUE(client.Open(strName));
        // Nothing is taken from the queue while the client sends, as by an owner that is busy.
        for (int i = 0; i < c.nFrames; ++i)
            client.Send(MakeFrame(MakePayload(c.nPayload)));
        EXPECT_TRUE(client.Read(5000).empty()) << "the client is dropped";
        const int aKinds[] = {stQueueItem::KindConnected, stQueueItem::KindError, stQueueItem::KindDisconnected};
        for (int nKind : aKinds)
        {
            CItemPtr pItem = server.WaitItem();
            ASSERT_TRUE(pItem);
            EXPECT_EQ(pItem->nKind, nKind) << "no data item of the dropped client is handed out";
            if (nKind == stQueueItem::KindError)
            {
                EXPECT_EQ(static_cast<DWORD>(pItem->nValue), CQOVQueuedServer::OverCapError);
            }
        }
        CRawPipeClient next;
        ASSERT_TRUE(next.Open(strName));
        ASSERT_TRUE(server.WaitKind(stQueueItem::KindConnected));
        const CBytes payload = MakePayload(c.nPayload, 5);
        ASSERT_TRUE(next.Send(MakeFrame(payload)));
        CItemPtr pData = server.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pData) << "the next client is served";
        EXPECT_EQ(PayloadOf(*pData), payload);
    }
}

// Wine makes a further instance of a name even when the first one is asked for, so the
// server looks for the name itself before it makes the pair.
TEST_F(PipeChannel, ServerRefusesAPipeNameAnotherHolds)
{
    m_strName = MakePipeName(L"squatted");
    // The squatter's instances match the server's, as one that poses as it would make them.
    const struct
    {
        const wchar_t* pszHalf;
        DWORD dwAccess;
    } halves[] = {{L"_IN", PIPE_ACCESS_INBOUND}, {L"_OUT", PIPE_ACCESS_OUTBOUND}};
    for (const auto& h : halves)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(h.pszHalf)));
        const std::wstring strHalf = L"\\\\.\\PIPE\\" + m_strName + h.pszHalf;
        HANDLE hSquatter = ::CreateNamedPipeW(strHalf.c_str(), h.dwAccess | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 2,
                                              1024, 1024, 0, NULL);
        ASSERT_NE(hSquatter, INVALID_HANDLE_VALUE);
        CTestEndpoint server;
        EXPECT_FALSE(server.StartServer(m_strName.c_str()));
        const DWORD dwError = ::GetLastError();
        EXPECT_TRUE(dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_ACCESS_DENIED) << dwError;
        ::CloseHandle(hSquatter);
    }
    ASSERT_TRUE(m_server.StartServer(m_strName.c_str())) << "the name is free again";
    CRawPipeClient client;
    ASSERT_TRUE(client.Open(m_strName));
}
