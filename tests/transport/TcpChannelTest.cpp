// The TCP channel on the loopback address only.
#include "TransportTestSupport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{
CBytes MakeTcpFrame(const CBytes& payload, int32_t nSequence = 1)
{
    CBytes frame(CFrameAssembler::GetFrameSize(CFrameAssembler::TcpHeaderSize,
                                               static_cast<int32_t>(payload.size())));
    CFrameAssembler::WriteFrame(frame.data(), CFrameAssembler::TcpHeaderSize, payload.data(),
                                static_cast<int32_t>(payload.size()), nSequence);
    return frame;
}

// A plain blocking socket on 127.0.0.1, for sending exactly the bytes a case needs.
class CRawTcpClient
{
public:
    CRawTcpClient() : m_hSocket(INVALID_SOCKET)
    {
        WSADATA stData;
        m_bStarted = ::WSAStartup(MAKEWORD(2, 2), &stData) == 0;
    }
    ~CRawTcpClient()
    {
        Close();
        if (m_bStarted)
            ::WSACleanup();
    }

    bool Connect(USHORT usPort)
    {
        m_hSocket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        BOOL bNoDelay = TRUE;
        ::setsockopt(m_hSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bNoDelay),
                     sizeof(bNoDelay));
        sockaddr_in stAddress = {};
        stAddress.sin_family = AF_INET;
        stAddress.sin_port = htons(usPort);
        stAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(m_hSocket, reinterpret_cast<sockaddr*>(&stAddress), sizeof(stAddress)) == 0;
    }
    bool Send(const CBytes& bytes)
    {
        return ::send(m_hSocket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                      0) == static_cast<int>(bytes.size());
    }
    void Close()
    {
        if (m_hSocket != INVALID_SOCKET)
            ::closesocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }

private:
    bool m_bStarted;
    SOCKET m_hSocket;
};

class TcpChannel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.Listen(0, 5));
        ASSERT_NE(m_server.GetPort(), 0);
    }

    CTestEndpoint m_server;
};
}

TEST_F(TcpChannel, ClientAndServerExchangeFramesWithSlotIds)
{
    CTestEndpoint client;
    ASSERT_TRUE(client.Connect("127.0.0.1", m_server.GetPort()));
    CItemPtr pClientUp = client.WaitItem();
    ASSERT_TRUE(pClientUp);
    EXPECT_EQ(pClientUp->nKind, stQueueItem::KindConnected);
    EXPECT_EQ(pClientUp->nClientId, 0);

    // The server's accept completes with the client's first data.
    CBytes request = MakePayload(6000, 2);
    ASSERT_TRUE(client.SendTo(0, request.data(), static_cast<int32_t>(request.size())));
    CItemPtr pUp = m_server.WaitItem();
    ASSERT_TRUE(pUp);
    EXPECT_EQ(pUp->nKind, stQueueItem::KindConnected);
    int nSlot = pUp->nClientId;
    EXPECT_GE(nSlot, 0);
    EXPECT_LT(nSlot, CNCServer::SlotCount);
    EXPECT_EQ(m_server.GetClientCount(), 1);
    CItemPtr pRequest = m_server.WaitKind(stQueueItem::KindData);
    ASSERT_TRUE(pRequest);
    EXPECT_EQ(pRequest->nClientId, nSlot);
    EXPECT_EQ(PayloadOf(*pRequest), request);

    CBytes reply = MakePayload(20, 8);
    ASSERT_TRUE(m_server.SendTo(nSlot, reply.data(), static_cast<int32_t>(reply.size())));
    ASSERT_TRUE(m_server.SendToAll(reply.data(), static_cast<int32_t>(reply.size())));
    for (int i = 0; i < 2; ++i)
    {
        CItemPtr pReply = client.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pReply);
        EXPECT_EQ(PayloadOf(*pReply), reply);
    }

    client.Stop();
    CItemPtr pGone = m_server.WaitKind(stQueueItem::KindDisconnected);
    ASSERT_TRUE(pGone);
    EXPECT_EQ(pGone->nClientId, nSlot);
    EXPECT_EQ(m_server.GetClientCount(), 0);
}

TEST_F(TcpChannel, SeveralFramesInOneReceiveAndSplitHeadersAreAllDelivered)
{
    CRawTcpClient raw;
    ASSERT_TRUE(raw.Connect(m_server.GetPort()));
    CBytes a = MakePayload(10, 1), b = MakePayload(0), c = MakePayload(300, 3);
    ASSERT_TRUE(raw.Send(Concat(Concat(MakeTcpFrame(a, 1), MakeTcpFrame(b, 2)), MakeTcpFrame(c, 3))));
    for (const CBytes* pExpected : {&a, &b, &c})
    {
        CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
        ASSERT_TRUE(pData);
        EXPECT_EQ(PayloadOf(*pData), *pExpected);
    }
    CBytes d = MakePayload(50, 6);
    CBytes frame = MakeTcpFrame(d, 4);
    ASSERT_TRUE(raw.Send(CBytes(frame.begin(), frame.begin() + 7)));
    ::Sleep(100);
    ASSERT_TRUE(raw.Send(CBytes(frame.begin() + 7, frame.end())));
    CItemPtr pData = m_server.WaitKind(stQueueItem::KindData);
    ASSERT_TRUE(pData);
    EXPECT_EQ(PayloadOf(*pData), d);
}

TEST_F(TcpChannel, BadEndByteClosesTheSlotAndAFreedSlotIsArmedAgain)
{
    CRawTcpClient raw;
    ASSERT_TRUE(raw.Connect(m_server.GetPort()));
    CBytes frame = MakeTcpFrame(MakePayload(5));
    frame.back() = 0x04;
    ASSERT_TRUE(raw.Send(frame));
    ASSERT_TRUE(m_server.WaitKind(stQueueItem::KindConnected));
    CItemPtr pGone = m_server.WaitItem();
    ASSERT_TRUE(pGone);
    EXPECT_EQ(pGone->nKind, stQueueItem::KindDisconnected);

    m_server.OnIdle();
    for (int i = 0; i < CNCServer::SlotCount; ++i)
        EXPECT_EQ(m_server.GetSlotState(i), CNCServer::SlotAcceptPending) << "slot " << i;
}

// Sends run on another thread while the worker closes slots and Maintain
// re-arms them with new sockets: a send may only ever reach the connected
// socket whose state it checked, never one closed or recycled under it.
TEST_F(TcpChannel, SendsDuringClientChurnReachNoClosedOrRecycledSocket)
{
    const int nClients = 500;
    std::atomic<bool> bDone(false);
    CBytes payload = MakePayload(64);
    std::thread senders[2] = {std::thread([&] {
                                  while (!bDone)
                                      for (int i = 0; i < CNCServer::SlotCount; ++i)
                                          m_server.SendTo(i, payload.data(), static_cast<int32_t>(payload.size()));
                              }),
                              std::thread([&] {
                                  while (!bDone)
                                      m_server.SendToAll(payload.data(), static_cast<int32_t>(payload.size()));
                              })};
    int nServed = 0;
    std::vector<DWORD> wrongSocketErrors;
    for (int n = 0; n < nClients; ++n)
    {
        {
            CRawTcpClient raw;
            if (raw.Connect(m_server.GetPort()) && raw.Send(MakeTcpFrame(MakePayload(4))))
                nServed += m_server.WaitKind(stQueueItem::KindData, 2000) ? 1 : 0;
        }
        while (CItemPtr pItem = m_server.WaitItem(n % 4 == 0 ? 20 : 0))
            if (pItem->nKind == stQueueItem::KindError &&
                (pItem->nValue == WSAENOTSOCK || pItem->nValue == WSAENOTCONN))
                wrongSocketErrors.push_back(pItem->nValue);
        // Failed and freed slots get new sockets here.
        m_server.OnIdle();
    }
    bDone = true;
    for (std::thread& sender : senders)
        sender.join();
    EXPECT_TRUE(wrongSocketErrors.empty()) << wrongSocketErrors.size() << " sends reached a wrong socket, first error "
                                           << wrongSocketErrors.front();
    EXPECT_EQ(nServed, nClients);
}
