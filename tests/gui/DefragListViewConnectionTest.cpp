// The drive list view in a frame, connected over a real pipe pair to a
// server in this process that plays the service.
#include "gui/ConnectionController.h"
#include "gui/ConnectionFrame.h"
#include "gui/DefragListView.h"
#include "gui/Resource.h"

#include "classlib/FrameWnd.h"
#include "classlib/StatusBar.h"
#include "guitoolkit/GuiUtilities.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPacketHeader.h"
#include "tests/transport/TransportTestSupport.h"

#include "GuiTestSupport.h"
#include "ServiceRequests.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
// Long enough for a loaded machine, and for the retry that comes every five seconds.
const DWORD ReplyWaitMs = 60000;

class CConnectionTestFrame : public CFrameWnd, public IConnectionFrame
{
public:
    void SetTrayState(int nState) override { m_trayStates.push_back(nState); }
    void HideClusterView() override {}

    CStatusBar m_statusBar;
    std::vector<int> m_trayStates;
};

class CRecordingListView : public CDefragListView
{
public:
    using CDefragListView::Connection;
    std::vector<int32_t> m_replies;

protected:
    void DispatchPacket(int32_t /*nClientId*/, int32_t nCommand, CNetDefragBuffer& /*ar*/) override
    {
        m_replies.push_back(nCommand);
    }
};

int g_nClosingViewsGone = 0;
int g_nGoneWhenDispatchReturned = -1;

// Handles a reply as the version reply does with its splash: pumps the queue,
// where the user's close of the frame was waiting.
class CClosingListView : public CDefragListView
{
public:
    using CDefragListView::Connection;
    ~CClosingListView() override { ++g_nClosingViewsGone; }

protected:
    void DispatchPacket(int32_t /*nClientId*/, int32_t /*nCommand*/, CNetDefragBuffer& /*ar*/) override
    {
        GetParent()->PostMessage(WM_CLOSE);
        ::PumpMessages();
        // Only a global: were this object gone, its members would be too.
        g_nGoneWhenDispatchReturned = g_nClosingViewsGone;
    }
};

bool SendHeader(CTestEndpoint& server, int32_t nCommand)
{
    CNetDefragBuffer ar(true);
    CNetDefragPacketHeader header;
    header.SetCommand(nCommand);
    header.Serialize(ar);
    return server.SendToAll(ar.GetBuffer(), static_cast<int32_t>(ar.GetSize()));
}

class DefragListViewConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CConnectionTestFrame;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Connection", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 520, 320)));
        ASSERT_TRUE(m_pFrame->m_statusBar.Create(m_pFrame));
        const UINT anIndicators[] = {ID_SEPARATOR, ID_INDICATOR_COMPUTER};
        ASSERT_TRUE(m_pFrame->m_statusBar.SetIndicators(anIndicators, 2));
        m_pView = new CRecordingListView;
        ASSERT_TRUE(m_pView->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 400, 200), m_pFrame,
                                    AFX_IDW_PANE_FIRST));
        m_pFrame->RecalcLayout();
        m_strPipe = MakePipeName(L"gui");
        m_pView->Connection().SetPipeName(m_strPipe.c_str());
    }
    void TearDown() override
    {
        if (m_pFrame != nullptr)
            m_pFrame->DestroyWindow();
    }

    std::wstring ComputerPane() const
    {
        return m_pFrame->m_statusBar.GetPaneText(m_pFrame->m_statusBar.CommandToIndex(ID_INDICATOR_COMPUTER)).Str();
    }

    CConnectionTestFrame* m_pFrame = nullptr;
    CRecordingListView* m_pView = nullptr;
    std::wstring m_strPipe;
};

TEST_F(DefragListViewConnectionTest, RepliesReachTheViewAndALostServiceIsFoundAgain)
{
    std::unique_ptr<CTestEndpoint> pServer(new CTestEndpoint);
    ASSERT_TRUE(pServer->StartServer(m_strPipe.c_str()));

    ASSERT_TRUE(m_pView->ConnectToComputer(L"My Computer", L"0", L"0", true));
    EXPECT_EQ(L"MY COMPUTER", ComputerPane());
    EXPECT_EQ(L"Ready", m_pFrame->m_statusBar.GetPaneText(0).Str());
    EXPECT_EQ(CMD_GET_VERSION_INFO, ReceiveCommand(*pServer));

    ASSERT_TRUE(SendHeader(*pServer, 1008));
    EXPECT_TRUE(PumpUntil([this] { return !m_pView->m_replies.empty(); }, ReplyWaitMs));
    EXPECT_EQ(std::vector<int32_t>{1008}, m_pView->m_replies);

    // The service goes away: the view forgets the computer and shows it.
    pServer.reset();
    EXPECT_TRUE(PumpUntil([this] { return !m_pView->IsConnected(); }, ReplyWaitMs));
    EXPECT_EQ(L"", ComputerPane());
    ASSERT_FALSE(m_pFrame->m_trayStates.empty());
    EXPECT_EQ(0, m_pFrame->m_trayStates.back());

    // It comes back, and the retry timer finds it.
    pServer.reset(new CTestEndpoint);
    ASSERT_TRUE(pServer->StartServer(m_strPipe.c_str()));
    EXPECT_TRUE(PumpUntil([this] { return m_pView->IsConnected(); }, ReplyWaitMs));
    EXPECT_EQ(L"MY COMPUTER", ComputerPane());
    EXPECT_EQ(CMD_GET_VERSION_INFO, ReceiveCommand(*pServer));

    // Closing the window closes the connection in order.
    m_pFrame->DestroyWindow();
    m_pFrame = nullptr;
    EXPECT_EQ(CMD_DISCONNECT, ReceiveCommand(*pServer));
}

TEST_F(DefragListViewConnectionTest, FrameClosedWhileAReplyIsHandledLeavesTheViewUntilTheReplyReturns)
{
    // A view of its own in the fixture's frame, in place of the recording one.
    m_pView->DestroyWindow();
    g_nClosingViewsGone = 0;
    g_nGoneWhenDispatchReturned = -1;
    auto* pView = new CClosingListView;
    ASSERT_TRUE(pView->Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 400, 200), m_pFrame,
                              AFX_IDW_PANE_FIRST));
    pView->Connection().SetPipeName(m_strPipe.c_str());
    CTestEndpoint server;
    ASSERT_TRUE(server.StartServer(m_strPipe.c_str()));
    ASSERT_TRUE(pView->ConnectToComputer(L"My Computer", L"0", L"0", true));
    EXPECT_EQ(CMD_GET_VERSION_INFO, ReceiveCommand(server));

    HWND hFrame = m_pFrame->m_hWnd;
    ASSERT_TRUE(SendHeader(server, 1008));
    EXPECT_TRUE(PumpUntil([] { return g_nClosingViewsGone == 1; }, ReplyWaitMs));
    m_pFrame = nullptr;
    EXPECT_FALSE(::IsWindow(hFrame));
    // The reply's handling went on with its object whole; it went afterwards.
    EXPECT_EQ(0, g_nGoneWhenDispatchReturned);
    EXPECT_EQ(1, g_nClosingViewsGone);
    EXPECT_EQ(CMD_DISCONNECT, ReceiveCommand(server));
}
}
