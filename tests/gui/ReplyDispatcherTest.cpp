#include "ReplyFakes.h"

#include "gui/Md5HexDigest.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPassword.h"
#include "protocol/NetDefragVersionInfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace guitest;
using Events = std::vector<std::wstring>;

namespace
{
const wchar_t* const PasswordPrompt =
    L"password:This qov Defrag service is password protected. Please enter the connection password.";

// The digest text a 1512 or 1511 message carries.
std::wstring SentPassword(const CFakeSender::stSent& stMessage)
{
    CNetDefragBuffer ar(false);
    ar.Attach(stMessage.bytes.data(), static_cast<UINT>(stMessage.bytes.size()));
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    CNetDefragPassword password;
    password.Serialize(ar);
    return prototest::Text(password.m_strPassword);
}

class ReplyDispatcherTest : public ::testing::Test, protected CDispatchFixture
{
protected:
    bool DeliverVersion(int32_t nMajor, int32_t nMinor)
    {
        CNetDefragVersionInfo version;
        version.m_nMajorVersion = nMajor;
        version.m_nMinorVersion = nMinor;
        version.m_strVersionText = L"3.5.0.0";
        return Deliver(RESPONSE_VERSION_INFO, &version);
    }
    // True when another thread can take the list lock: nothing on this thread
    // holds it. The thread is joined at the end, once the lock is free again.
    bool ListLockIsFree()
    {
        auto pTaken = std::make_shared<std::promise<void>>();
        std::future<void> taken = pTaken->get_future();
        m_lockers.emplace_back([this, pTaken] {
            CSectionLock lock(m_rows.GetLock());
            pTaken->set_value();
        });
        return taken.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    }
    void TearDown() override
    {
        for (std::thread& locker : m_lockers)
            locker.join();
    }

    std::vector<std::thread> m_lockers;
    CWinApp m_app;
};

TEST_F(ReplyDispatcherTest, VersionCheck)
{
    struct stCase
    {
        const char* pszName;
        int32_t nServiceMajor;
        int32_t nServiceMinor;
        UINT nOwnMajor;
        UINT nOwnMinor;
        bool bOwnFile;
        Events events;
        std::vector<int32_t> sent;
    };
    const stCase aCases[] = {
        {"newer minor", 3, 6, 3, 5, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too new.", L"lost"}, {}},
        {"older minor", 3, 4, 3, 5, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too old.", L"lost"}, {}},
        {"older major", 2, 9, 3, 5, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too old.", L"lost"}, {}},
        {"newer major", 4, 0, 3, 5, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too new.", L"lost"}, {}},
        {"1.10 is too old even to itself", 1, 10, 1, 10, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too old.", L"lost"}, {}},
        {"1.65548 is too old even to itself", 1, 65548, 1, 65548, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too old.", L"lost"}, {}},
        {"minor -1 counts unsigned", 3, -1, 3, 5, true, {L"version:Version: 3.5.0.0", L"box:Remote component is too new.", L"lost"}, {}},
        {"no version file of its own", 3, 5, 3, 5, false, {L"lost"}, {}},
        {"equal", 3, 5, 3, 5, true, {L"version:Version: 3.5.0.0"}, {CMD_GET_PARTITION_LIST}},
    };
    for (const stCase& c : aCases)
    {
        CDispatchFixture fixture;
        fixture.m_ui.m_flags.bShowSplashScreen = false;
        fixture.m_own.m_bPresent = c.bOwnFile;
        fixture.m_own.m_nMajor = c.nOwnMajor;
        fixture.m_own.m_nMinor = c.nOwnMinor;
        CNetDefragVersionInfo version;
        version.m_nMajorVersion = c.nServiceMajor;
        version.m_nMinorVersion = c.nServiceMinor;
        version.m_strVersionText = L"3.5.0.0";
        EXPECT_TRUE(fixture.Deliver(RESPONSE_VERSION_INFO, &version)) << c.pszName;
        EXPECT_EQ(fixture.m_ui.m_events, c.events) << c.pszName;
        EXPECT_EQ(fixture.m_sender.Codes(), c.sent) << c.pszName;
    }
}

TEST_F(ReplyDispatcherTest, SplashPausesThreeSecondsBeforeTheDriveListIsAsked)
{
    ASSERT_TRUE(DeliverVersion(3, 5));
    EXPECT_EQ(m_ui.m_events, (Events{L"version:Version: 3.5.0.0", L"splash", L"pump", L"sleep:3000"}));
    EXPECT_EQ(m_sender.Codes(), (std::vector<int32_t>{CMD_GET_PARTITION_LIST}));

    // With the welcome dialog up nothing waits.
    m_ui.m_events.clear();
    m_ui.m_bWelcome = true;
    ASSERT_TRUE(DeliverVersion(3, 5));
    EXPECT_EQ(m_ui.m_events, (Events{L"version:Version: 3.5.0.0", L"splash"}));
    EXPECT_EQ(m_sender.m_sent.size(), 2u);
}

TEST_F(ReplyDispatcherTest, PasswordSequence)
{
    CString strPw;
    ASSERT_TRUE(PasswordDigest(L"pw", strPw));
    m_ui.m_answers = {L"pw", L"pw"};

    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    EXPECT_EQ(m_ui.Only(L"password:"), (Events{PasswordPrompt}));
    ASSERT_EQ(m_sender.Codes(), (std::vector<int32_t>{CMD_PASSWORD}));
    EXPECT_EQ(SentPassword(m_sender.m_sent[0]), strPw.Str());

    // Refused: the dialog asks again.
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    EXPECT_EQ(m_ui.Only(L"password:").size(), 2u);
    ASSERT_EQ(m_sender.m_sent.size(), 2u);

    // Accepted: a later request on the connection is answered without asking.
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_ACCEPTED));
    EXPECT_EQ(m_dispatcher.GetKeptPassword().Str(), L"pw");
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    EXPECT_EQ(m_ui.Only(L"password:").size(), 2u);
    ASSERT_EQ(m_sender.m_sent.size(), 3u);
    EXPECT_EQ(SentPassword(m_sender.m_sent[2]), strPw.Str());
    // ...but only once: the next request asks.
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    EXPECT_EQ(m_ui.Only(L"password:").size(), 3u);
    EXPECT_EQ(m_ui.Only(L"disconnect"), Events{L"disconnect"}) << "the fake's answers ran out: Cancel";
    EXPECT_EQ(m_sender.m_sent.size(), 3u);
}

TEST_F(ReplyDispatcherTest, PasswordCancelDisconnectsAndSendsNothing)
{
    m_ui.m_answers = {nullptr};
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    EXPECT_EQ(m_ui.m_events, (Events{PasswordPrompt, L"disconnect"}));
    EXPECT_TRUE(m_sender.m_sent.empty());
}

TEST_F(ReplyDispatcherTest, AnEmptyTypedPasswordIsStillDigested)
{
    m_ui.m_answers = {L""};
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    ASSERT_EQ(m_sender.m_sent.size(), 1u);
    EXPECT_EQ(SentPassword(m_sender.m_sent[0]), L"D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(ReplyDispatcherTest, SetPasswordSendsTheDigestOrNothingForAnEmptyText)
{
    m_ui.m_answers = {L"pw", L"", nullptr};
    m_dispatcher.SetConnectionPassword();
    m_dispatcher.SetConnectionPassword();
    EXPECT_EQ(m_dispatcher.GetKeptPassword().Str(), L"");
    m_dispatcher.SetKeptPassword(L"kept");
    m_dispatcher.SetConnectionPassword();
    EXPECT_EQ(m_dispatcher.GetKeptPassword().Str(), L"kept") << "Cancel keeps the kept password";
    ASSERT_EQ(m_sender.Codes(), (std::vector<int32_t>{CMD_SET_PASSWORD, CMD_SET_PASSWORD}));
    CString strPw;
    ASSERT_TRUE(PasswordDigest(L"pw", strPw));
    EXPECT_EQ(SentPassword(m_sender.m_sent[0]), strPw.Str());
    EXPECT_EQ(SentPassword(m_sender.m_sent[1]), L"");
    EXPECT_EQ(m_ui.Only(L"password:")[0],
              L"password:Please enter the password with which you will protect further connections to this computer.");
}

TEST_F(ReplyDispatcherTest, BareRepliesThatEndTheConnectionPostBeforeTheBox)
{
    struct stCase
    {
        int32_t nCode;
        const wchar_t* pszBox;
    };
    const stCase aCases[] = {
        {CMD_DISCONNECT, L"box:The qov Defrag service has disconnected this computer."},
        {RESPONSE_TOO_MANY_CLIENTS, L"box:The Server has already a connection."},
        {RESPONSE_INCOMPATIBLE, L"box:Remote component incompatible."},
    };
    for (const stCase& c : aCases)
    {
        CDispatchFixture fixture;
        EXPECT_TRUE(fixture.Deliver(c.nCode)) << c.nCode;
        EXPECT_EQ(fixture.m_ui.m_events, (Events{L"lost", c.pszBox})) << c.nCode;
        EXPECT_TRUE(fixture.m_sender.m_sent.empty());
    }
}

TEST_F(ReplyDispatcherTest, UnknownCodesAreToldAndTheConnectionStays)
{
    for (int32_t nCode : {2, 1011, 1012, 1015, 9999, 1000})
    {
        CDispatchFixture fixture;
        EXPECT_TRUE(fixture.Deliver(nCode)) << nCode;
        EXPECT_EQ(fixture.m_ui.m_events,
                  (Events{L"box:Unknown Command: " + std::to_wstring(nCode) + L" (Client: 0xffffffff)"}));
    }
    CDispatchFixture fixture;
    EXPECT_TRUE(fixture.Deliver(1012, nullptr, 0x1f));
    EXPECT_EQ(fixture.m_ui.m_events, (Events{L"box:Unknown Command: 1012 (Client: 0x1f)"}));
}

TEST_F(ReplyDispatcherTest, DriveListIsRebuiltInTheReceivedOrder)
{
    ASSERT_TRUE(DeliverList({MakeEntry(3, L"D:\\"), MakeEntry(1, L"C:\\", 4, 50), MakeEntry(2, L"E:\\")}));
    EXPECT_EQ(m_list.Drives(), (std::vector<std::wstring>{L"D:\\", L"C:\\", L"E:\\"}));
    EXPECT_EQ(m_list.Cell(1, 1), L"Analyzing");
    EXPECT_EQ(m_list.Cell(1, 2), L"50");
    EXPECT_TRUE(m_list.m_rows[0].bSelected);
    EXPECT_FALSE(m_list.m_rows[1].bSelected);
    EXPECT_EQ(m_list.m_nSorts, 1);
    EXPECT_EQ(m_list.m_nRedrawOff, 0);
    EXPECT_EQ(m_ui.m_events, (Events{L"tray:5", L"sync", L"welcome"}));

    // A second list replaces the rows; the welcome dialog never opens twice.
    m_ui.m_events.clear();
    ASSERT_TRUE(DeliverList({MakeEntry(5, L"F:\\")}));
    EXPECT_EQ(m_list.Drives(), (std::vector<std::wstring>{L"F:\\"}));
    EXPECT_EQ(m_rows.GetCount(), 1);
    EXPECT_EQ(m_ui.m_events, (Events{L"tray:2", L"sync"}));
}

TEST_F(ReplyDispatcherTest, WelcomeOpensOnceAndOnlyOverAnEmptyList)
{
    struct stCase
    {
        const char* pszName;
        bool bRowsBefore;
        bool bWelcomeExists;
        bool bShowWelcomeScreen;
        bool bOpens;
    };
    const stCase aCases[] = {
        {"first list", false, false, true, true},
        {"rows before", true, false, true, false},
        {"already open", false, true, true, false},
        {"turned off", false, false, false, false},
    };
    for (const stCase& c : aCases)
    {
        CDispatchFixture fixture;
        fixture.m_ui.m_flags.bShowClusterView = false;
        fixture.m_ui.m_flags.bShowWelcomeScreen = c.bShowWelcomeScreen;
        if (c.bRowsBefore)
        {
            fixture.m_ui.m_bWelcome = true;
            ASSERT_TRUE(fixture.DeliverList({MakeEntry(1, L"C:\\")}));
        }
        fixture.m_ui.m_bWelcome = c.bWelcomeExists;
        fixture.m_ui.m_events.clear();
        ASSERT_TRUE(fixture.DeliverList({})) << c.pszName;
        EXPECT_EQ(fixture.m_ui.Only(L"welcome").size(), c.bOpens ? 1u : 0u) << c.pszName;
        EXPECT_EQ(fixture.m_list.GetRowCount(), 0) << c.pszName;
    }
}

TEST_F(ReplyDispatcherTest, EntryUpdatesOnlyItsDrive)
{
    m_ui.m_flags.bShowClusterView = false;
    ASSERT_TRUE(DeliverList({MakeEntry(1, L"C:\\"), MakeEntry(2, L"D:\\")}));
    auto cells = m_list.m_rows;
    m_ui.m_events.clear();

    ASSERT_TRUE(DeliverEntry(MakeEntry(9, L"X:\\", 5, 10)));
    EXPECT_TRUE(m_ui.m_events.empty());
    for (size_t i = 0; i < cells.size(); ++i)
        EXPECT_TRUE(m_list.m_rows[i].cells == cells[i].cells) << "row " << i;

    ASSERT_TRUE(DeliverEntry(MakeEntry(2, L"D:\\", 5, 10)));
    EXPECT_EQ(m_list.Cell(1, 1), L"Defragmenting");
    EXPECT_EQ(m_list.Cell(1, 2), L"10");
    EXPECT_TRUE(m_list.m_rows[0].cells == cells[0].cells);
    EXPECT_EQ(m_ui.m_events, (Events{L"tray:6"}));
}

TEST_F(ReplyDispatcherTest, ResultDialogsOpenWhenARunEnds)
{
    struct stCase
    {
        const char* pszName;
        int32_t nRunningState;
        int32_t nDoneProgress;
        bool bShowAnalyzeFinish;
        bool bShowDefragFinish;
        bool bWaitText;
        Events opened;
    };
    const stCase aCases[] = {
        {"analysis done", 4, 100, true, true, false, {L"analysis:1"}},
        {"defragmentation done", 5, 100, true, true, false, {L"defrag:1"}},
        {"analysis stopped at 99", 4, 99, true, true, false, {}},
        {"analysis result off", 4, 100, false, true, false, {}},
        {"defragmentation result off", 5, 100, true, false, false, {}},
        {"only the wait text was shown", 4, 100, true, true, true, {}},
        {"background run", 2, 100, true, true, false, {}},
    };
    for (const stCase& c : aCases)
    {
        CDispatchFixture fixture;
        fixture.m_ui.m_flags.bShowAnalyzeFinish = c.bShowAnalyzeFinish;
        fixture.m_ui.m_flags.bShowDefragFinish = c.bShowDefragFinish;
        ASSERT_TRUE(fixture.DeliverList({MakeEntry(1, L"C:\\")}));
        if (c.bWaitText)
            fixture.m_rows.SendDriveAction(fixture.m_sender, CMD_ANALYZE, IDS_ANALYZING_WAIT, nullptr);
        else
            ASSERT_TRUE(fixture.DeliverEntry(MakeEntry(1, L"C:\\", c.nRunningState, 50)));
        ASSERT_TRUE(fixture.DeliverEntry(MakeEntry(1, L"C:\\", 0, c.nDoneProgress)));
        Events opened = fixture.m_ui.Only(L"analysis:");
        for (const std::wstring& str : fixture.m_ui.Only(L"defrag:"))
            opened.push_back(str);
        EXPECT_EQ(opened, c.opened) << c.pszName;
        EXPECT_EQ(fixture.m_list.Cell(0, 1), L"") << c.pszName;

        // A later idle report finds the Status empty and opens nothing again.
        ASSERT_TRUE(fixture.DeliverEntry(MakeEntry(1, L"C:\\", 0, 100)));
        EXPECT_EQ(fixture.m_ui.Only(L"analysis:").size() + fixture.m_ui.Only(L"defrag:").size(), c.opened.size())
            << c.pszName;
    }
}

TEST_F(ReplyDispatcherTest, FinishedDrivesReachThePaneOnlyWhileItIsInUse)
{
    ASSERT_TRUE(DeliverList({MakeEntry(1, L"C:\\")}));
    CNetDefragPartitionListEntry done = MakeEntry(1, L"C:\\", 0, 100);
    done.m_nFragmentationPercent = 3;
    ASSERT_TRUE(DeliverEntry(done));
    EXPECT_TRUE(m_ui.Only(L"finished").empty());
    m_ui.m_bPaneInUse = true;
    ASSERT_TRUE(DeliverEntry(done));
    done.m_nFragmentationPercent = 0;
    ASSERT_TRUE(DeliverEntry(done));
    EXPECT_EQ(m_ui.Only(L"finished"), (Events{L"finished:1:0", L"finished:1:1"}));
}

TEST_F(ReplyDispatcherTest, AMalformedReplyEndsTheConnectionOnceAndKeepsTheRows)
{
    ASSERT_TRUE(DeliverList({MakeEntry(1, L"C:\\"), MakeEntry(2, L"D:\\")}));
    m_ui.m_events.clear();
    // 256 drives: more than the list can hold.
    prototest::Bytes tooMany = prototest::CPayload().Header(RESPONSE_PARTITION_LIST).I32(256).Fill(256 * 168, 0).Get();
    EXPECT_FALSE(DeliverBytes(tooMany));
    EXPECT_EQ(m_ui.m_events, (Events{L"lost", L"box:Remote component incompatible."}));
    EXPECT_EQ(m_list.Drives(), (std::vector<std::wstring>{L"C:\\", L"D:\\"}));

    // What the same connection still delivers is dropped without a second box.
    EXPECT_FALSE(DeliverBytes(tooMany));
    EXPECT_FALSE(Deliver(CMD_DISCONNECT));
    EXPECT_EQ(m_ui.m_events.size(), 2u);

    m_dispatcher.OnConnectionStarted();
    EXPECT_TRUE(DeliverList({MakeEntry(3, L"E:\\")}));
    EXPECT_EQ(m_list.Drives(), (std::vector<std::wstring>{L"E:\\"}));
}

TEST_F(ReplyDispatcherTest, APeerOfAnotherProtocolVersionIsIncompatible)
{
    for (int32_t nVersion : {4, 6})
    {
        CDispatchFixture fixture;
        EXPECT_FALSE(fixture.DeliverBytes(prototest::CPayload().Header(CMD_DISCONNECT, nVersion).I32(0).Get()));
        EXPECT_EQ(fixture.m_ui.m_events, (Events{L"lost", L"box:Remote component incompatible."})) << nVersion;
    }
}

TEST_F(ReplyDispatcherTest, NoListLockIsHeldWhileABoxOrThePasswordDialogIsUp)
{
    ASSERT_TRUE(DeliverList({MakeEntry(1, L"C:\\")}));
    int nModal = 0;
    m_ui.m_fnDuringModal = [&] {
        ++nModal;
        EXPECT_TRUE(ListLockIsFree()) << "modal window " << nModal;
    };
    m_ui.m_answers = {L"pw"};
    ASSERT_TRUE(Deliver(RESPONSE_PASSWORD_REQUIRED));
    ASSERT_TRUE(Deliver(CMD_DISCONNECT));
    ASSERT_TRUE(Deliver(9999));
    m_own.m_nMinor = 9;
    ASSERT_TRUE(DeliverVersion(3, 5));
    EXPECT_FALSE(DeliverBytes(prototest::CPayload().Header(RESPONSE_PARTITION_ENTRY).I32(3).Get()));
    EXPECT_EQ(nModal, 5);
}
} // namespace
