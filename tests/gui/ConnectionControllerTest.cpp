#include "FakeConnection.h"

#include "gui/ConnectionController.h"
#include "tests/platform/WaitFor.h"

#include "protocol/NetDefragString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

// The drain must free every item it pops, also when the reply handling
// closes the connection under it; a watched item tells when it is freed.
namespace
{
std::atomic<void*> g_pWatchedBlock{nullptr};
std::atomic<bool> g_bWatchedFreed{false};
}

void operator delete(void* pBlock) noexcept
{
    if (pBlock != nullptr && pBlock == g_pWatchedBlock.load())
        g_bWatchedFreed = true;
    std::free(pBlock);
}

void operator delete(void* pBlock, std::size_t) noexcept
{
    ::operator delete(pBlock);
}

namespace
{
const wchar_t* const Connecting = L"Connecting...";
const wchar_t* const Ready = L"Ready";
const wchar_t* const AlreadyConnected = L"Already locally connected.";
const wchar_t* const Incompatible = L"Remote component incompatible.";
const wchar_t* const ServiceDisconnected = L"The qov Defrag service has disconnected this computer.";

class ConnectionControllerTest : public ::testing::Test
{
protected:
    ConnectionControllerTest() : m_host(m_service), m_connection(m_host) {}

    // Connected to this computer, the first request sent and forgotten.
    void Connect()
    {
        ASSERT_TRUE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
        m_service.sentCommands.clear();
    }

    stFakeService m_service;
    CFakeHost m_host;
    CConnectionController m_connection;
};

TEST_F(ConnectionControllerTest, ConnectsToThisComputerAndAsksForTheVersion)
{
    EXPECT_TRUE(m_connection.ConnectToComputer(L"testhost", true));

    EXPECT_EQ(std::wstring(L"TESTHOST"), m_connection.GetComputerName().Str());
    EXPECT_EQ(L"TESTHOST", m_host.strComputerPane);
    EXPECT_EQ(std::vector<int32_t>{102}, m_service.sentCommands);
    EXPECT_EQ((std::vector<std::wstring>{Connecting, Ready}), m_host.statusTexts);
    EXPECT_TRUE(m_connection.IsWaitThreadRunning());
    EXPECT_TRUE(m_connection.HasRetryEnded());
    EXPECT_EQ(0, m_host.nWaitCursors);

    // The same computer again, in any case: nothing happens.
    m_service.sentCommands.clear();
    EXPECT_TRUE(m_connection.ConnectToComputer(L"TestHost", true));
    EXPECT_TRUE(m_service.sentCommands.empty());
    EXPECT_EQ(1, m_service.nConnectCalls);
    EXPECT_EQ(1, m_host.nEmptyLists);
}

TEST_F(ConnectionControllerTest, AcceptsOnlyThisComputer)
{
    struct stCASE
    {
        const wchar_t* pszName;
        bool bLocal;
    };
    const stCASE aCases[] = {
        {L"My Computer", true},
        {L"\\\\TestHost", true},
        {L"TESTHOST2", true}, // contains the local name
        {L"OtherPc", false},
        {L"Test", false},
        {L"", false},
    };
    for (const stCASE& stCase : aCases)
    {
        stFakeService service;
        CFakeHost host(service);
        CConnectionController connection(host);
        SCOPED_TRACE(testing::Message() << "name " << std::string(stCase.pszName, stCase.pszName + wcslen(stCase.pszName)));

        EXPECT_EQ(stCase.bLocal, connection.ConnectToComputer(stCase.pszName, true));
        EXPECT_EQ(stCase.bLocal ? 1 : 0, service.nConnectCalls);
        EXPECT_EQ(Ready, host.statusTexts.back());
        // A foreign name is retried like an absent service.
        EXPECT_EQ(!stCase.bLocal, host.bTimerRunning);
        EXPECT_TRUE(host.boxes.empty());
    }
}

TEST_F(ConnectionControllerTest, RetriesEveryFiveSecondsUntilTheFirstSuccess)
{
    m_service.connectAnswers = {ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND};

    EXPECT_FALSE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
    EXPECT_TRUE(m_host.bTimerRunning);
    EXPECT_EQ(5000u, m_host.nTimerElapse);

    m_connection.OnRetryTimer();
    EXPECT_FALSE(m_connection.IsConnected());
    EXPECT_TRUE(m_host.bTimerRunning);

    m_connection.OnRetryTimer();
    EXPECT_TRUE(m_connection.IsConnected());
    // A connect of the timer asks for "My Computer", and that is the name kept.
    EXPECT_EQ(std::wstring(L"MY COMPUTER"), m_connection.GetComputerName().Str());
    EXPECT_EQ(1, m_host.nTimerStarts);
    EXPECT_EQ(3, m_service.nConnectCalls);

    // The next tick only ends the timer.
    m_connection.OnRetryTimer();
    EXPECT_FALSE(m_host.bTimerRunning);
    EXPECT_EQ(3, m_service.nConnectCalls);

    // After the user's own disconnect a failing connect starts no timer.
    m_connection.Disconnect();
    m_service.connectAnswers = {ERROR_FILE_NOT_FOUND};
    EXPECT_FALSE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
    EXPECT_FALSE(m_host.bTimerRunning);
    EXPECT_EQ(1, m_host.nTimerStarts);
}

TEST_F(ConnectionControllerTest, BusyPipeShowsOneBoxAndStopsRetrying)
{
    m_service.connectAnswers = {ERROR_PIPE_BUSY};

    EXPECT_FALSE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));

    EXPECT_EQ(std::vector<std::wstring>{AlreadyConnected}, m_host.boxes);
    EXPECT_FALSE(m_host.bTimerRunning);
    EXPECT_EQ(Ready, m_host.statusTexts.back());
}

TEST_F(ConnectionControllerTest, BusyPipeWhileRetryingStacksNoSecondBox)
{
    m_service.connectAnswers = {ERROR_FILE_NOT_FOUND, ERROR_PIPE_BUSY, ERROR_PIPE_BUSY};
    EXPECT_FALSE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
    ASSERT_TRUE(m_host.bTimerRunning);
    // The box's modal loop goes on delivering the retry timer.
    m_host.onBox = [this] {
        if (m_host.bTimerRunning)
            m_connection.OnRetryTimer();
    };

    m_connection.OnRetryTimer();

    EXPECT_EQ(std::vector<std::wstring>{AlreadyConnected}, m_host.boxes);
    EXPECT_FALSE(m_host.bTimerRunning);
    EXPECT_EQ(2, m_service.nConnectCalls);
    // Nor does a tick already queued start another attempt.
    m_connection.OnRetryTimer();
    EXPECT_EQ(2, m_service.nConnectCalls);
    EXPECT_EQ(1u, m_host.boxes.size());
}

TEST_F(ConnectionControllerTest, DrainDispatchesDataUntilTheServiceLeaves)
{
    Connect();
    m_service.QueueData(1008);
    m_service.QueueEvent(stQueueItem::KindConnected, -1);
    m_service.QueueData(1001);
    m_service.QueueEvent(stQueueItem::KindDisconnected, -1);
    m_service.QueueData(1002);

    m_connection.DrainQueue();

    EXPECT_EQ((std::vector<int32_t>{1008, 1001}), m_host.dispatched);
    EXPECT_TRUE(m_service.queue.empty());
    EXPECT_EQ(1, m_service.nFlushes);
    EXPECT_EQ(std::vector<bool>{true}, m_host.lostPosts);
    EXPECT_TRUE(m_host.boxes.empty());
}

// A run's reports may come as fast as they are handled: the drain must still give the window
// back to its message loop, and go on later from the timer without losing an item.
TEST_F(ConnectionControllerTest, ADrainThatNeverRunsDryReturnsAndGoesOnLater)
{
    Connect();
    int nHandled = 0;
    m_host.onDispatch = [&](int32_t, CNetDefragBuffer&) {
        ++nHandled;
        ::Sleep(1);
        m_service.QueueData(1002);
    };
    m_service.QueueData(1002);

    m_connection.DrainQueue();
    EXPECT_EQ(1, m_host.nDrainResumes) << "the drain that used its time asks to go on";
    EXPECT_GT(nHandled, 0);
    EXPECT_EQ(1u, m_service.queue.size()) << "what came last waits for the next drain";

    m_host.onDispatch = nullptr;
    m_connection.DrainQueue();
    EXPECT_EQ(nHandled + 1, static_cast<int>(m_host.dispatched.size()));
    EXPECT_TRUE(m_service.queue.empty());
    EXPECT_EQ(1, m_host.nDrainResumes) << "a drain that empties the queue asks for nothing";
}

TEST_F(ConnectionControllerTest, LeaveItemsDropTheirClients)
{
    struct stCASE
    {
        int nKind;
        int nClientId;
        int nDisconnectAll;
        std::vector<int> disconnected;
    };
    const stCASE aCases[] = {
        {stQueueItem::KindDisconnected, -1, 0, {}},
        {stQueueItem::KindDisconnected, 0, 0, {}},
        {stQueueItem::KindDisconnected, 3, 0, {3}},
        {stQueueItem::KindError, -1, 1, {}},
        {stQueueItem::KindError, 0, 0, {0}},
        {stQueueItem::KindError, 5, 0, {5}},
    };
    for (const stCASE& stCase : aCases)
    {
        SCOPED_TRACE(testing::Message() << "kind " << stCase.nKind << " client " << stCase.nClientId);
        stFakeService service;
        CFakeHost host(service);
        CConnectionController connection(host);
        ASSERT_TRUE(connection.ConnectToComputer(CFakeHost::LocalName, true));
        service.QueueEvent(stCase.nKind, stCase.nClientId, 10054);
        service.QueueData(1001);

        connection.DrainQueue();

        EXPECT_EQ(stCase.nDisconnectAll, service.nDisconnectAll);
        EXPECT_EQ(stCase.disconnected, service.disconnectedClients);
        EXPECT_TRUE(host.dispatched.empty());
        EXPECT_EQ(std::vector<bool>{true}, host.lostPosts);
    }
}

TEST_F(ConnectionControllerTest, ForeignHeaderOrDecodingErrorRefusesThePeerOnce)
{
    struct stCASE
    {
        int32_t nVersion;
        bool bDispatcherThrows;
        std::vector<int32_t> dispatched;
    };
    const stCASE aCases[] = {
        {4, false, {}},
        {6, false, {}},
        {5, true, {1001}},
    };
    for (const stCASE& stCase : aCases)
    {
        SCOPED_TRACE(testing::Message() << "version " << stCase.nVersion);
        stFakeService service;
        CFakeHost host(service);
        CConnectionController connection(host);
        ASSERT_TRUE(connection.ConnectToComputer(CFakeHost::LocalName, true));
        if (stCase.bDispatcherThrows)
            host.onDispatch = [](int32_t, CNetDefragBuffer& ar) {
                int32_t nValue;
                ar.ReadInt32(nValue);
            };
        service.QueueData(1001, stCase.nVersion);
        service.QueueData(1002);

        connection.DrainQueue();

        EXPECT_EQ(stCase.dispatched, host.dispatched);
        EXPECT_EQ(std::vector<std::wstring>{Incompatible}, host.boxes);
        // An incompatible peer is not called again every few seconds.
        EXPECT_EQ(std::vector<bool>{false}, host.lostPosts);
        EXPECT_TRUE(service.queue.empty());
    }
}

TEST_F(ConnectionControllerTest, SendsOnTheWrongSideOfTheLimitAreReportedAndStillSent)
{
    Connect();
    CNetDefragString object;
    struct stCASE
    {
        bool bBare;
        int32_t nCode;
        int nAssertions;
    };
    const stCASE aCases[] = {
        {true, 1500, 1}, {false, 50, 1}, {true, 1000, 0}, {false, 1000, 0}, {true, 101, 0}, {false, 1513, 0},
    };
    for (const stCASE& stCase : aCases)
    {
        SCOPED_TRACE(testing::Message() << "code " << stCase.nCode);
        int nBefore = m_connection.GetAssertionCount();
        m_service.sentCommands.clear();

        bool bSent = stCase.bBare ? m_connection.SendBareCommand(stCase.nCode)
                                  : m_connection.SendCommand(stCase.nCode, object);

        EXPECT_TRUE(bSent);
        EXPECT_EQ(std::vector<int32_t>{stCase.nCode}, m_service.sentCommands);
        EXPECT_EQ(nBefore + stCase.nAssertions, m_connection.GetAssertionCount());
    }
}

TEST_F(ConnectionControllerTest, SendWithoutConnectionSendsNothing)
{
    EXPECT_FALSE(m_connection.SendBareCommand(101));
    EXPECT_TRUE(m_service.sentCommands.empty());
    EXPECT_TRUE(m_host.boxes.empty());
}

TEST_F(ConnectionControllerTest, FailedSendClosesWithABoxAndRetries)
{
    Connect();
    m_service.bSendFails = true;

    EXPECT_FALSE(m_connection.SendBareCommand(101));

    EXPECT_EQ(std::vector<std::wstring>{ServiceDisconnected}, m_host.boxes);
    EXPECT_FALSE(m_connection.IsConnected());
    EXPECT_FALSE(m_connection.IsWaitThreadRunning());
    EXPECT_EQ(1, m_host.nResets);
    // Nothing more is sent to a broken pipe, the disconnect request included.
    EXPECT_EQ(std::vector<int32_t>{101}, m_service.sentCommands);
    EXPECT_EQ(std::vector<bool>{false}, m_host.mapReleases);
    EXPECT_TRUE(m_host.bTimerRunning);
}

TEST_F(ConnectionControllerTest, OrderlyDisconnectTellsTheServiceAndClearsTheName)
{
    Connect();

    EXPECT_TRUE(m_connection.Disconnect());

    EXPECT_EQ(std::vector<int32_t>{1}, m_service.sentCommands);
    EXPECT_EQ(std::vector<bool>{true}, m_host.mapReleases);
    EXPECT_EQ(0, m_service.nTransportsAlive);
    EXPECT_FALSE(m_connection.IsWaitThreadRunning());
    EXPECT_TRUE(m_connection.GetComputerName().IsEmpty());
    EXPECT_EQ(L"", m_host.strComputerPane);
    EXPECT_EQ(L"Version: not available", m_host.strServiceVersion);
    EXPECT_EQ(std::vector<int>{0}, m_host.trayStates);
    EXPECT_FALSE(m_host.bTimerRunning);
}

TEST_F(ConnectionControllerTest, LossTheUserDidNotAskForIsRetried)
{
    Connect();
    m_service.QueueEvent(stQueueItem::KindDisconnected, -1);
    m_connection.DrainQueue();
    ASSERT_EQ(std::vector<bool>{true}, m_host.lostPosts);

    m_connection.OnServerLost(true);
    EXPECT_FALSE(m_connection.IsConnected());
    EXPECT_EQ(1, m_host.nResets);
    EXPECT_TRUE(m_host.bTimerRunning);

    m_service.connectAnswers = {ERROR_FILE_NOT_FOUND};
    m_connection.OnRetryTimer();
    EXPECT_FALSE(m_connection.IsConnected());
    EXPECT_TRUE(m_host.bTimerRunning);
    m_connection.OnRetryTimer();
    EXPECT_EQ(std::wstring(L"MY COMPUTER"), m_connection.GetComputerName().Str());
    m_connection.OnRetryTimer();
    EXPECT_FALSE(m_host.bTimerRunning);

    // A refused peer, the user's own connect and the user's own disconnect end the retry.
    m_connection.OnServerLost(true);
    ASSERT_TRUE(m_host.bTimerRunning);
    m_service.connectAnswers = {ERROR_FILE_NOT_FOUND};
    EXPECT_FALSE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
    EXPECT_FALSE(m_host.bTimerRunning);
    EXPECT_TRUE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
    m_connection.OnServerLost(false);
    EXPECT_FALSE(m_host.bTimerRunning);
    EXPECT_TRUE(m_connection.ConnectToComputer(CFakeHost::LocalName, true));
    m_connection.Disconnect();
    EXPECT_FALSE(m_host.bTimerRunning);
}

TEST_F(ConnectionControllerTest, ReplyHandlingThatClosesTheConnectionEndsTheDrainAndFreesItsItem)
{
    Connect();
    m_service.QueueData(502);
    m_service.QueueData(1001);
    g_bWatchedFreed = false;
    g_pWatchedBlock = m_service.queue.front();
    // A password box whose Cancel disconnects.
    m_host.onDispatch = [this](int32_t nCommand, CNetDefragBuffer&) {
        if (nCommand == 502)
            m_connection.Disconnect();
    };

    m_connection.DrainQueue();
    g_pWatchedBlock = nullptr;

    EXPECT_EQ(std::vector<int32_t>{502}, m_host.dispatched);
    EXPECT_TRUE(g_bWatchedFreed);
    EXPECT_EQ(0, m_service.nTransportsAlive);
}

TEST_F(ConnectionControllerTest, DrainReenteredFromAModalBoxDispatchesEachItemOnce)
{
    Connect();
    m_service.QueueData(1008);
    m_service.QueueData(1001);
    m_service.QueueData(1002);
    // The version box's modal loop runs the next WM_SERVER_DATA.
    m_host.onDispatch = [this](int32_t nCommand, CNetDefragBuffer&) {
        if (nCommand == 1008)
            m_connection.DrainQueue();
    };

    m_connection.DrainQueue();

    EXPECT_EQ((std::vector<int32_t>{1008, 1001, 1002}), m_host.dispatched);
    EXPECT_TRUE(m_connection.IsConnected());
}

// The waiting thread's idle tick comes while a dispatcher box is open; the
// box's Cancel then disconnects, which must end.
TEST_F(ConnectionControllerTest, CancelOfALongBoxInsideTheReplyHandlingEnds)
{
    m_connection.SetTimings(20, 5000);
    Connect();
    m_service.QueueData(502);
    bool bTicked = false;
    m_host.onDispatch = [&](int32_t, CNetDefragBuffer&) {
        int nIdle = m_service.nIdleCalls;
        int nDeferred = m_connection.GetIdleTicksDeferred();
        bTicked = WaitFor([&] {
            return m_service.nIdleCalls > nIdle || m_connection.GetIdleTicksDeferred() > nDeferred;
        });
        m_connection.Disconnect();
    };

    m_connection.DrainQueue();

    EXPECT_TRUE(bTicked);
    EXPECT_FALSE(m_connection.IsWaitThreadRunning());
    EXPECT_EQ(0, m_connection.GetThreadStopsAbandoned());
    EXPECT_EQ(0, m_service.nTransportsAlive);
}

// A reconnect closes the old connection with the lock held, while the
// waiting thread's idle tick waits for that lock.
TEST_F(ConnectionControllerTest, ReconnectStopsTheWaitingThreadWhileItsIdleTickWaitsForTheLock)
{
    m_connection.SetTimings(20, 5000);
    Connect();
    bool bDeferred = false;
    m_host.onEmptyList = [&] {
        int nDeferred = m_connection.GetIdleTicksDeferred();
        bDeferred = WaitFor([&] { return m_connection.GetIdleTicksDeferred() > nDeferred; });
    };

    EXPECT_TRUE(m_connection.ConnectToComputer(L"My Computer", true));

    EXPECT_TRUE(bDeferred);
    EXPECT_EQ(0, m_connection.GetThreadStopsAbandoned());
    EXPECT_EQ(std::wstring(L"MY COMPUTER"), m_connection.GetComputerName().Str());
    EXPECT_EQ(2, m_service.nTransportsMade);
    EXPECT_EQ(1, m_service.nTransportsAlive);
}

TEST_F(ConnectionControllerTest, WaitingThreadPostsQueuedEvents)
{
    Connect();
    ASSERT_NE(nullptr, m_service.hItemsQueued);

    ASSERT_TRUE(::SetEvent(m_service.hItemsQueued));

    EXPECT_TRUE(WaitFor([this] { return m_host.nDataPosts > 0; }));
}
}
