// The service thread and its clients over the real pipes: what one connection leaves behind,
// clients that flood the queue, the two pairs served in turn, the stored password's gate, a
// process that holds a pipe name first, and the settings a client may write.
#include "ServiceFixture.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragSettingsLight.h"

#include <algorithm>

namespace
{
const wchar_t Digest[] = L"900150983CD24FB0D6963F7D28E17F72";

std::vector<int32_t> Codes(const std::vector<stRECEIVED>& messages)
{
    std::vector<int32_t> codes;
    for (const stRECEIVED& received : messages)
        codes.push_back(received.nCode);
    return codes;
}

CBytes BadHeader()
{
    CBytes payload;
    CServiceClient::PutInt32(payload, 4);
    CServiceClient::PutInt32(payload, 0);
    CServiceClient::PutInt32(payload, CMD_GET_VERSION_INFO);
    return payload;
}

CNetDefragSettingsLight2 GoodSettings()
{
    CNetDefragSettingsLight2 wanted;
    wanted.m_nDefaultPort = -1;
    wanted.m_nUseBoottimeDefrag = 0;
    wanted.m_strAddDrivesManually = L" t ";
    wanted.m_strIgnoreMonitoringDrives = L"S";
    wanted.m_nIOGuardMinIdlePercentage = 80;
    return wanted;
}

CBytes SettingsPayload(int32_t nCode, CNetDefragSettingsLight2& settings)
{
    CNetDefragBuffer ar(true);
    settings.Serialize(ar);
    CBytes payload = CServiceClient::Request(nCode);
    payload.insert(payload.end(), ar.GetBuffer(), ar.GetBuffer() + ar.GetUsed() - 1);
    return payload;
}

size_t CountLogged(const std::vector<std::wstring>& logged, const wchar_t* pszPart)
{
    return static_cast<size_t>(std::count_if(logged.begin(), logged.end(), [&](const std::wstring& strLine) {
        return strLine.find(pszPart) != std::wstring::npos;
    }));
}

class ServiceClients : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        Mount(L'S');
    }

    int32_t FirstIndex()
    {
        std::vector<int32_t> indexes;
        ListedRoots(&indexes, CServiceClient::CommandPipe);
        return indexes.empty() ? -1 : indexes[0];
    }
};
}

// A client that asks, then leaves before the slow request is answered: its replies, its 504
// and the disconnection that goes with it were meant for it, not for the next client.
TEST_F(ServiceClients, WhatWasMeantForAClientThatLeftNeverReachesTheNextOne)
{
    ASSERT_TRUE(StartService());
    const int32_t nIndex = FirstIndex();
    for (const wchar_t* pszPipe : {CServiceClient::GuiPipe, CServiceClient::CommandPipe})
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pszPipe)));
        {
            CServiceClient gone;
            ASSERT_TRUE(gone.Open(pszPipe));
            ASSERT_TRUE(gone.Send(CMD_GET_DRIVE_NAMES));
            ASSERT_TRUE(gone.Send(CMD_GET_SETTINGS));
            ASSERT_TRUE(gone.SendIndex(CMD_GET_FRAG_FILES, nIndex));
            ASSERT_TRUE(gone.SendPayload(BadHeader()));
        }
        CServiceClient next;
        ASSERT_TRUE(next.Open(pszPipe));
        ASSERT_TRUE(next.Send(CMD_GET_VERSION_INFO));
        // The slow request takes three seconds; everything queued behind it is done within this.
        EXPECT_EQ(Codes(next.Collect(6000)), std::vector<int32_t>{RESPONSE_VERSION_INFO});
        EXPECT_FALSE(next.HasEnded());
        EXPECT_TRUE(Answered(next));
    }
}

TEST_F(ServiceClients, ClientThatFloodsTheQueueIsDroppedAndLoggedOnce)
{
    ASSERT_TRUE(StartService());
    const struct
    {
        const char* pszCase;
        int nSlowRequests;
        size_t nPadding;
        int nFrames;
    } cases[] = {
        {"many small requests", 3, 0, 200},
        {"large requests", 1, 700 * 1024, 2},
    };
    for (const auto& c : cases)
    {
        CServiceClient flood;
        ASSERT_TRUE(flood.Open(CServiceClient::CommandPipe)) << c.pszCase;
        // The slow requests hold the service thread while the rest piles up.
        for (int i = 0; i < c.nSlowRequests; ++i)
            ASSERT_TRUE(flood.Send(CMD_GET_DRIVE_NAMES)) << c.pszCase;
        CBytes payload = CServiceClient::Request(CMD_GET_VERSION_INFO);
        payload.resize(payload.size() + c.nPadding, 0);
        for (int i = 0; i < c.nFrames && !flood.HasEnded(); ++i)
            flood.SendPayload(payload);
        EXPECT_TRUE(flood.WaitEnd(20000)) << c.pszCase;
        // What the dropped client left waiting is not worked through: the next client is
        // answered once the request in hand is done.
        CServiceClient next;
        ASSERT_TRUE(next.Open(CServiceClient::CommandPipe)) << c.pszCase;
        ASSERT_TRUE(next.Send(CMD_GET_VERSION_INFO));
        stRECEIVED received;
        EXPECT_TRUE(next.WaitFor(RESPONSE_VERSION_INFO, received, 8000)) << c.pszCase;
    }
    EXPECT_EQ(CountLogged(m_pService->Logged(), L"faster than the service"), 1u);
}

TEST_F(ServiceClients, TheTwoPairsAreServedInTurn)
{
    ASSERT_TRUE(StartService());
    CServiceClient command;
    ASSERT_TRUE(command.Open(CServiceClient::CommandPipe));
    ASSERT_TRUE(Answered(command));
    CServiceClient gui;
    ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(gui.Send(CMD_GET_DRIVE_NAMES));
    ASSERT_TRUE(command.Send(CMD_GET_VERSION_INFO));
    stRECEIVED version;
    ASSERT_TRUE(command.WaitFor(RESPONSE_VERSION_INFO, version, 15000));
    stRECEIVED names[2];
    for (stRECEIVED& received : names)
        ASSERT_TRUE(gui.WaitFor(RESPONSE_DRIVE_NAMES, received, 15000));
    EXPECT_LT(version.llArrived, names[1].llArrived) << "the command pair waits for one slow request, not three";
}

// The graphical program's way in: 101, 502, 1512, 503 with the list, then its requests. A
// client that never gives the password learns the version and nothing else.
TEST_F(ServiceClients, StoredPasswordGatesAConnectionUntilItHasGivenIt)
{
    SetSetting(L"Password", Digest);
    ASSERT_TRUE(StartService());
    CServiceClient member;
    ASSERT_TRUE(member.Open(CServiceClient::CommandPipe));
    ASSERT_TRUE(member.SendText(CMD_PASSWORD, Digest));
    const std::vector<stRECEIVED> welcome = member.Collect(1000);
    ASSERT_EQ(Codes(welcome), (std::vector<int32_t>{RESPONSE_PASSWORD_ACCEPTED, RESPONSE_PARTITION_LIST}));
    CNetDefragPartitionList list;
    ASSERT_TRUE(DecodeObject(welcome[1], list));
    ASSERT_EQ(list.GetCount(), 1);
    const int32_t nIndex = list.GetEntry(0)->m_nVolumeIndex;

    CServiceClient stranger;
    ASSERT_TRUE(stranger.Open(CServiceClient::GuiPipe));
    CNetDefragSettingsLight2 settings = GoodSettings();
    const std::vector<CBytes> refused = {
        CServiceClient::Request(CMD_GET_SETTINGS),
        CServiceClient::Request(CMD_GET_WIZARD_SETTINGS), CServiceClient::Request(CMD_PAUSE),
        SettingsPayload(CMD_SET_SETTINGS, settings),
    };
    for (const CBytes& payload : refused)
        ASSERT_TRUE(stranger.SendPayload(payload));
    for (int32_t nCode : {CMD_GET_FRAG_FILES, CMD_GET_PARTITION_INFO, CMD_CLUSTERMAP_SUBSCRIBE, CMD_ANALYZE})
        ASSERT_TRUE(stranger.SendIndex(nCode, nIndex));
    ASSERT_TRUE(stranger.SendText(CMD_SET_PASSWORD, L""));
    EXPECT_TRUE(stranger.Collect(1500).empty());
    std::wstring strStored;
    EXPECT_TRUE(ReadSetting(L"Password", strStored));
    EXPECT_EQ(strStored, Digest) << "the password is not replaced by one who does not know it";
    DWORD dwValue = 0;
    EXPECT_FALSE(ReadSetting(L"UseBoottimeDefrag", dwValue)) << "no setting is written";
    EXPECT_FALSE(m_pService->IsPaused());

    for (int32_t nCode : {CMD_GET_VERSION_INFO, CMD_GET_SERVICE_INFO, CMD_GET_PARTITION_LIST})
        ASSERT_TRUE(stranger.Send(nCode));
    EXPECT_EQ(Codes(stranger.Collect(1000)),
              (std::vector<int32_t>{RESPONSE_VERSION_INFO, RESPONSE_SERVICE_INFO, RESPONSE_PASSWORD_REQUIRED}));

    // State broadcasts carry file names: they reach the connection that logged in only.
    ASSERT_TRUE(member.SendIndex(CMD_ANALYZE, nIndex));
    stRECEIVED received;
    ASSERT_TRUE(member.WaitFor(RESPONSE_PARTITION_ENTRY, received));
    const std::vector<int32_t> codes = Codes(stranger.Collect(1500));
    EXPECT_EQ(std::count(codes.begin(), codes.end(), RESPONSE_PARTITION_ENTRY), 0);

    ASSERT_TRUE(stranger.SendText(CMD_PASSWORD, Digest));
    EXPECT_EQ(Codes(stranger.Collect(1000)), (std::vector<int32_t>{RESPONSE_PASSWORD_ACCEPTED, RESPONSE_PARTITION_LIST}));
    ASSERT_TRUE(stranger.Send(CMD_GET_SETTINGS));
    ASSERT_TRUE(stranger.WaitFor(RESPONSE_SETTINGS, received));
    CNetDefragSettingsLight2 stored;
    ASSERT_TRUE(DecodeObject(received, stored));
    EXPECT_EQ(Text(stored.m_strPassword), Digest);
}

// Wine creates a further instance of a pipe even when the first is asked for: the service
// must see for itself that the name is taken.
TEST_F(ServiceClients, ServiceDoesNotStartBesideAProcessThatHoldsItsPipe)
{
    for (const wchar_t* pszPipe : {CServiceClient::GuiPipe, CServiceClient::CommandPipe})
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pszPipe)));
        const std::wstring strHalf = std::wstring(L"\\\\.\\PIPE\\") + pszPipe + L"_IN";
        HANDLE hSquatter = ::CreateNamedPipeW(strHalf.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 2, 1024, 1024, 0,
                                              NULL);
        ASSERT_NE(hSquatter, INVALID_HANDLE_VALUE);
        m_pService = std::make_unique<CTestDefragService>();
        EXPECT_FALSE(StartService());
        EXPECT_EQ(CountLogged(m_pService->Logged(), (std::wstring(L"another process holds the pipe ") + pszPipe).c_str()),
                  1u);
        ::CloseHandle(hSquatter);
        ASSERT_TRUE(StopService());
    }
    ASSERT_TRUE(StartService()) << "the names are free again";
}

TEST_F(ServiceClients, SettingsOutsideTheirRangeAreRefusedWhole)
{
    ASSERT_TRUE(StartService());
    const struct
    {
        const char* pszCase;
        int32_t nCode;
        void (*fnSpoil)(CNetDefragSettingsLight2&);
    } cases[] = {
        {"port", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nDefaultPort = 0x41414141; }},
        {"port zero", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nDefaultPort = 0; }},
        {"removable disks", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nUseRemovableDisks = 2; }},
        {"boot-time flag", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nUseBoottimeDefrag = -1; }},
        {"chkdsk bits", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nRunChkDskBeforeDefrag = 4; }},
        {"guard bits", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nUseIOGuard = -1; }},
        {"battery flag", CMD_SET_SETTINGS, [](CNetDefragSettingsLight2& s) { s.m_nPauseOnBattery = 7; }},
        {"manual drives", CMD_SET_SETTINGS,
         [](CNetDefragSettingsLight2& s) { s.m_strAddDrivesManually = CUnicodeString(std::wstring(5000, L'D').c_str()); }},
        {"ignored drives", CMD_SET_SETTINGS,
         [](CNetDefragSettingsLight2& s) { s.m_strIgnoreMonitoringDrives = CUnicodeString(std::wstring(65, L'D').c_str()); }},
        {"password", CMD_SET_SETTINGS,
         [](CNetDefragSettingsLight2& s) { s.m_strPassword = CUnicodeString(std::wstring(200, L'A').c_str()); }},
        {"wizard removable disks", CMD_SET_WIZARD_SETTINGS,
         [](CNetDefragSettingsLight2& s) { s.m_nUseRemovableDisks = 2; }},
    };
    for (const auto& c : cases)
    {
        CNetDefragSettingsLight2 wanted = GoodSettings();
        c.fnSpoil(wanted);
        CServiceClient client;
        ASSERT_TRUE(client.Open(CServiceClient::CommandPipe)) << c.pszCase;
        client.SendPayload(SettingsPayload(c.nCode, wanted));
        stRECEIVED received;
        ASSERT_TRUE(client.Next(received)) << c.pszCase;
        EXPECT_EQ(received.nCode, RESPONSE_INCOMPATIBLE) << c.pszCase;
        DWORD dwValue = 0;
        EXPECT_FALSE(ReadSetting(L"UseBoottimeDefrag", dwValue)) << c.pszCase << ": nothing is written";
    }
    EXPECT_EQ(ListedRoots(), std::vector<std::wstring>{L"S:\\"}) << "the drive list is as it was";
}

TEST_F(ServiceClients, IdlePercentageIsClampedToItsScale)
{
    ASSERT_TRUE(StartService());
    CServiceClient client;
    ASSERT_TRUE(client.Open(CServiceClient::CommandPipe));
    const struct
    {
        int32_t nWanted;
        DWORD dwStored;
    } cases[] = {{-5, 0}, {150, 100}, {95, 95}};
    for (const auto& c : cases)
    {
        CNetDefragSettingsLight2 wanted = GoodSettings();
        wanted.m_nIOGuardMinIdlePercentage = c.nWanted;
        ASSERT_TRUE(client.SendPayload(SettingsPayload(CMD_SET_SETTINGS, wanted)));
        stRECEIVED received;
        ASSERT_TRUE(client.WaitFor(RESPONSE_PARTITION_LIST, received)) << c.nWanted;
        DWORD dwValue = MAXDWORD;
        EXPECT_TRUE(ReadSetting(L"IOGuardMinIdlePercentage", dwValue));
        EXPECT_EQ(dwValue, c.dwStored) << c.nWanted;
    }
}
