// Every request of the protocol against the service over its real pipes: answers, silence,
// malformed requests and the password gate.
#include "ServiceFixture.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionNameList.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragVersionInfo.h"

namespace
{
class ServiceRequests : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        Mount(L'S');
        Mount(L'T');
    }

    void OpenCommandClient()
    {
        ASSERT_TRUE(StartService());
        ASSERT_TRUE(m_client.Open(CServiceClient::CommandPipe));
    }

    // The codes of every message that arrives within the time.
    std::vector<int32_t> CodesWithin(DWORD dwMs)
    {
        std::vector<int32_t> codes;
        for (const stRECEIVED& received : m_client.Collect(dwMs))
            codes.push_back(received.nCode);
        return codes;
    }

    CServiceClient m_client;
};
}

TEST_F(ServiceRequests, VersionAndSettingsRequestsAnswerFromTheProgramsVersionAndTheDefaults)
{
    OpenCommandClient();
    const struct
    {
        int32_t nRequest;
        int32_t nReply;
    } cases[] = {{CMD_GET_VERSION_INFO, RESPONSE_VERSION_INFO}, {CMD_GET_SERVICE_INFO, RESPONSE_SERVICE_INFO}};
    for (const auto& c : cases)
    {
        ASSERT_TRUE(m_client.Send(c.nRequest));
        stRECEIVED received;
        ASSERT_TRUE(m_client.Next(received)) << c.nRequest;
        EXPECT_EQ(received.nCode, c.nReply);
        CNetDefragVersionInfo info;
        ASSERT_TRUE(DecodeObject(received, info));
        // The test program's resource: product version 5.6.7.8, file version "1, 2, 3, 4".
        EXPECT_EQ(info.m_nMajorVersion, 5);
        EXPECT_EQ(info.m_nMinorVersion, 6);
        EXPECT_EQ(info.m_nThirdVersion, 7);
        EXPECT_EQ(Text(info.m_strVersionText), L"1.2.3.4 BETA");
    }
    for (int32_t nRequest : {CMD_GET_SETTINGS, CMD_GET_WIZARD_SETTINGS})
    {
        ASSERT_TRUE(m_client.Send(nRequest));
        stRECEIVED received;
        ASSERT_TRUE(m_client.Next(received)) << nRequest;
        EXPECT_EQ(received.nCode, nRequest == CMD_GET_SETTINGS ? RESPONSE_SETTINGS : RESPONSE_WIZARD_SETTINGS);
        CNetDefragSettingsLight2 stored;
        ASSERT_TRUE(DecodeObject(received, stored));
        EXPECT_EQ(stored.m_nDefaultPort, 7110);
        EXPECT_EQ(stored.m_nUseBoottimeDefrag, 1);
        // With no value stored, the two texts go out as a blank, as the settings table has them.
        EXPECT_EQ(Text(stored.m_strIgnoreMonitoringDrives), L" ");
        EXPECT_EQ(Text(stored.m_strAddDrivesManually), L" ");
        EXPECT_EQ(stored.m_nIOGuardMinIdlePercentage, 95);
        EXPECT_EQ(stored.m_nPauseOnBattery, 0);
        EXPECT_EQ(Text(stored.m_strVersionText), L"1.2.3.4");
        EXPECT_EQ(Text(stored.m_strPassword), L"");
    }
}

TEST_F(ServiceRequests, DriveListAndDriveNamesNameTheSimulatedVolumes)
{
    OpenCommandClient();
    ASSERT_TRUE(m_client.Send(CMD_GET_PARTITION_LIST));
    stRECEIVED received;
    ASSERT_TRUE(m_client.Next(received));
    ASSERT_EQ(received.nCode, RESPONSE_PARTITION_LIST);
    CNetDefragPartitionList list;
    ASSERT_TRUE(DecodeObject(received, list));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(Text(list.GetEntry(0)->m_strDriveRoot), L"S:\\");
    EXPECT_EQ(Text(list.GetEntry(1)->m_strDriveRoot), L"T:\\");
    EXPECT_NE(list.GetEntry(0)->m_nVolumeIndex, list.GetEntry(1)->m_nVolumeIndex);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(list.GetEntry(i)->m_nState, 1) << "fixed volumes are monitored";

    const DWORD dwStart = ::GetTickCount();
    ASSERT_TRUE(m_client.Send(CMD_GET_DRIVE_NAMES));
    ASSERT_TRUE(m_client.Next(received, 10000));
    EXPECT_GE(::GetTickCount() - dwStart, 2900u);
    ASSERT_EQ(received.nCode, RESPONSE_DRIVE_NAMES);
    CNetDefragPartitionNameList names;
    ASSERT_TRUE(DecodeObject(received, names));
    ASSERT_EQ(names.GetCount(), 2);
    EXPECT_EQ(Text(names.GetEntry(1)->m_strVolumeLabel), L"VOLT");
    EXPECT_EQ(names.GetEntry(1)->m_nVolumeIndex, list.GetEntry(1)->m_nVolumeIndex);
}

TEST_F(ServiceRequests, UnknownCodesRepliesAndUnlistedVolumesGetNoAnswer)
{
    OpenCommandClient();
    for (int32_t nCode : {104, 110, 1001, 1002, 1011, 1510, 1514, 9999, -5})
        ASSERT_TRUE(m_client.Send(nCode)) << nCode;
    for (int32_t nCode : {CMD_STOP, CMD_ANALYZE, CMD_MONITOR, CMD_CLUSTERMAP_SUBSCRIBE, CMD_GET_PARTITION_INFO,
                          CMD_GET_FRAG_FILES, CMD_DEFRAG_QUICK, CMD_CHECK_DISK})
        ASSERT_TRUE(m_client.SendIndex(nCode, 777)) << nCode;
    EXPECT_TRUE(CodesWithin(1500).empty());
    ASSERT_TRUE(m_client.Send(CMD_GET_VERSION_INFO));
    stRECEIVED received;
    ASSERT_TRUE(m_client.Next(received));
    EXPECT_EQ(received.nCode, RESPONSE_VERSION_INFO) << "the connection is kept";
}

TEST_F(ServiceRequests, MalformedRequestsGet504AndEndTheConnectionOnly)
{
    ASSERT_TRUE(StartService());
    auto header = [](int32_t nVersion, int32_t nCode) {
        CBytes payload;
        CServiceClient::PutInt32(payload, nVersion);
        CServiceClient::PutInt32(payload, 0);
        CServiceClient::PutInt32(payload, nCode);
        return payload;
    };
    auto withCount = [](int32_t nCode, int32_t nIndex, int32_t nCount, size_t nBytes) {
        CBytes payload = CServiceClient::Request(nCode);
        CServiceClient::PutInt32(payload, nIndex);
        CServiceClient::PutInt32(payload, nCount);
        payload.resize(payload.size() + nBytes, 0x41);
        return payload;
    };
    const struct
    {
        const char* pszCase;
        CBytes payload;
    } cases[] = {
        {"header version 4", header(4, CMD_GET_VERSION_INFO)},
        {"header version 6", header(6, CMD_GET_VERSION_INFO)},
        {"payload shorter than a header", CBytes(8, 0)},
        {"empty payload", CBytes()},
        {"string count above the limit", withCount(CMD_SHOW_FILE, 1, 10242, 10242)},
        {"odd string count", withCount(CMD_SHOW_FILE, 1, 3, 3)},
        {"negative string count", withCount(CMD_SHOW_FILE, 1, -1, 4)},
        {"string count past the payload", withCount(CMD_SHOW_FILE, 1, 400, 10)},
        {"object missing", CServiceClient::Request(CMD_ANALYZE)},
    };
    for (const auto& c : cases)
    {
        CServiceClient client;
        ASSERT_TRUE(client.Open(CServiceClient::GuiPipe)) << c.pszCase;
        // The service may drop the client before the client's flush of a long frame returns.
        client.SendPayload(c.payload);
        stRECEIVED received;
        ASSERT_TRUE(client.Next(received)) << c.pszCase;
        EXPECT_EQ(received.nCode, RESPONSE_INCOMPATIBLE) << c.pszCase;
        EXPECT_TRUE(client.WaitEnd()) << c.pszCase;
    }
    CServiceClient next;
    ASSERT_TRUE(next.Open(CServiceClient::GuiPipe));
    ASSERT_TRUE(next.Send(CMD_GET_VERSION_INFO));
    stRECEIVED received;
    ASSERT_TRUE(next.Next(received));
    EXPECT_EQ(received.nCode, RESPONSE_VERSION_INFO);
}

TEST_F(ServiceRequests, PasswordGatesTheDriveList)
{
    OpenCommandClient();
    ASSERT_TRUE(m_client.SendText(CMD_SET_PASSWORD, L"900150983CD24FB0D6963F7D28E17F72"));
    std::wstring strStored;
    EXPECT_TRUE(WaitFor([&strStored] { return ReadSetting(L"Password", strStored); }));
    EXPECT_EQ(strStored, L"900150983CD24FB0D6963F7D28E17F72");
    const struct
    {
        const char* pszCase;
        int32_t nCode;
        const wchar_t* pszText; // null: a bare request
        std::vector<int32_t> replies;
    } cases[] = {
        {"list asked", CMD_GET_PARTITION_LIST, nullptr, {RESPONSE_PASSWORD_REQUIRED}},
        {"wrong password", CMD_PASSWORD, L"900150983cd24fb0d6963f7d28e17f72", {RESPONSE_PASSWORD_REQUIRED}},
        {"shorter password", CMD_PASSWORD, L"900150983CD24FB0D6963F7D28E17F7", {RESPONSE_PASSWORD_REQUIRED}},
        {"right password", CMD_PASSWORD, L"900150983CD24FB0D6963F7D28E17F72",
         {RESPONSE_PASSWORD_ACCEPTED, RESPONSE_PARTITION_LIST}},
        {"password cleared", CMD_SET_PASSWORD, L"", {}},
        {"list without password", CMD_GET_PARTITION_LIST, nullptr, {RESPONSE_PARTITION_LIST}},
        {"empty password matches none", CMD_PASSWORD, L"", {RESPONSE_PASSWORD_ACCEPTED, RESPONSE_PARTITION_LIST}},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(c.pszText ? m_client.SendText(c.nCode, c.pszText) : m_client.Send(c.nCode)) << c.pszCase;
        EXPECT_EQ(CodesWithin(700), c.replies) << c.pszCase;
    }
}

TEST_F(ServiceRequests, SettingsRequestsWriteTheirValuesAndAnswerWithTheList)
{
    OpenCommandClient();
    SetSetting(L"DefaultPort", 7222);
    auto settings = [](int32_t nPort, const wchar_t* pszManual) {
        CNetDefragSettingsLight2 wanted;
        wanted.m_nDefaultPort = nPort;
        wanted.m_nUseBoottimeDefrag = 0;
        wanted.m_strAddDrivesManually = pszManual;
        wanted.m_strIgnoreMonitoringDrives = L" s t ";
        wanted.m_nDisableAutoMonitoring = 1;
        wanted.m_nUseRemovableDisks = 0;
        wanted.m_nPauseOnBattery = 1;
        wanted.m_nRunChkDskBeforeDefrag = 2;
        wanted.m_nUseIOGuard = 3;
        wanted.m_nIOGuardMinIdlePercentage = 80;
        wanted.m_nMoveModifiedFilesToEnd = 2;
        return wanted;
    };
    const struct
    {
        int32_t nPort;
        DWORD dwStoredPort;
    } cases[] = {{-1, 7222}, {7111, 7111}};
    for (const auto& c : cases)
    {
        CNetDefragSettingsLight2 wanted = settings(c.nPort, L" t ");
        CNetDefragBuffer ar(true);
        wanted.Serialize(ar);
        CBytes payload = CServiceClient::Request(CMD_SET_SETTINGS);
        payload.insert(payload.end(), ar.GetBuffer(), ar.GetBuffer() + ar.GetUsed() - 1);
        ASSERT_TRUE(m_client.SendPayload(payload));
        stRECEIVED received;
        ASSERT_TRUE(m_client.Next(received)) << c.nPort;
        EXPECT_EQ(received.nCode, RESPONSE_PARTITION_LIST);
        DWORD dwValue = 0;
        EXPECT_TRUE(ReadSetting(L"DefaultPort", dwValue));
        EXPECT_EQ(dwValue, c.dwStoredPort);
    }
    std::wstring strText;
    EXPECT_TRUE(ReadSetting(L"AddDrivesManually", strText));
    EXPECT_EQ(strText, L"T");
    EXPECT_TRUE(ReadSetting(L"IgnoreMonitoringDrives", strText));
    EXPECT_EQ(strText, L"S T");
    const struct
    {
        const wchar_t* pszName;
        DWORD dwValue;
    } stored[] = {{L"UseBoottimeDefrag", 0},     {L"DisableAutoMonitoring", 1}, {L"UseRemovableDisks", 0},
                  {L"PauseOnBattery", 1},        {L"RunChkDskBeforeDefrag", 2}, {L"UseIOGuard", 3},
                  {L"IOGuardMinIdlePercentage", 80}};
    for (const auto& s : stored)
    {
        DWORD dwValue = MAXDWORD;
        EXPECT_TRUE(ReadSetting(s.pszName, dwValue)) << Text(CUnicodeString(s.pszName)).size();
        EXPECT_EQ(dwValue, s.dwValue);
    }
    DWORD dwUnwritten = 0;
    EXPECT_FALSE(ReadSetting(L"MoveModifiedFilesToEnd", dwUnwritten));
    // "T" names a volume that is listed already: the list does not take it twice.
    EXPECT_EQ(ListedRoots(), (std::vector<std::wstring>{L"S:\\", L"T:\\"}));
}

TEST_F(ServiceRequests, DisconnectRequestEndsAGraphicalClientOnlyAndTheNextIsServed)
{
    OpenCommandClient();
    ASSERT_TRUE(m_client.Send(CMD_DISCONNECT));
    EXPECT_TRUE(CodesWithin(500).empty());
    EXPECT_TRUE(Answered(m_client)) << "the command pipe's client stays";
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        CServiceClient gui;
        ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe)) << nRound;
        ASSERT_TRUE(Answered(gui)) << nRound;
        ASSERT_TRUE(gui.Send(CMD_DISCONNECT)) << nRound;
        EXPECT_TRUE(gui.WaitEnd()) << nRound;
    }
}
