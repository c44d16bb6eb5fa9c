// The service's life: start-up failures, stop with clients on both pairs, pause and continue,
// clients that come, go or never read, broadcasts on both pairs and cluster-map subscribers.
#include "ServiceFixture.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionClustermap.h"

#include <algorithm>

namespace
{
class ServiceLifecycle : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        Mount(L'S');
        Mount(L'T');
    }

    // The service, with one client on each pair whose arrival it has seen.
    void StartWithClientsOnBothPairs(CServiceClient& gui, CServiceClient& command)
    {
        ASSERT_TRUE(StartService());
        ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe));
        ASSERT_TRUE(command.Open(CServiceClient::CommandPipe));
        ASSERT_TRUE(Answered(gui));
        ASSERT_TRUE(Answered(command));
    }

    // The states of the volume entries broadcast within the time.
    static std::vector<int32_t> BroadcastStates(CServiceClient& client, DWORD dwMs)
    {
        std::vector<int32_t> states;
        for (const stRECEIVED& received : client.Collect(dwMs))
        {
            CNetDefragPartitionListEntry entry;
            if (received.nCode == RESPONSE_PARTITION_ENTRY && DecodeObject(received, entry))
                states.push_back(entry.m_nState);
        }
        return states;
    }
};
}

TEST_F(ServiceLifecycle, StopTellsEveryClientOfBothPairsThenEndsTheirPipes)
{
    CServiceClient gui;
    CServiceClient command;
    ASSERT_NO_FATAL_FAILURE(StartWithClientsOnBothPairs(gui, command));
    ASSERT_TRUE(StopService());
    EXPECT_TRUE(RunResult());
    for (CServiceClient* pClient : {&gui, &command})
    {
        stRECEIVED received;
        ASSERT_TRUE(pClient->Next(received));
        EXPECT_EQ(received.nCode, CMD_DISCONNECT);
        EXPECT_EQ(received.payload.size(), 16u) << "a bare message";
        EXPECT_TRUE(pClient->WaitEnd());
    }
}

TEST_F(ServiceLifecycle, WithoutTheChkdskLibraryTheStartIsLoggedAndFails)
{
    // Without the simulator the system's own binding runs, and Wine has no chkdsk library.
    ASSERT_FALSE(StartService(false));
    std::vector<std::wstring> logged = m_pService->Logged();
    EXPECT_NE(std::find(logged.begin(), logged.end(), L"Can't bind native functions"), logged.end());
    ASSERT_TRUE(StopService());
    EXPECT_FALSE(RunResult());
    CServiceClient client;
    EXPECT_FALSE(client.Open(CServiceClient::CommandPipe, 300)) << "no pipe was left behind";
}

TEST_F(ServiceLifecycle, PauseAndContinueTwiceReportEveryVolumeAndAreIdempotent)
{
    ASSERT_TRUE(StartService());
    CServiceClient gui;
    ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe));
    stRECEIVED received;
    ASSERT_TRUE(gui.Send(CMD_GET_PARTITION_LIST));
    ASSERT_TRUE(gui.WaitFor(RESPONSE_PARTITION_LIST, received));
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        ASSERT_TRUE(gui.Send(CMD_PAUSE));
        EXPECT_EQ(BroadcastStates(gui, 700), (std::vector<int32_t>{9, 9})) << nRound;
        EXPECT_TRUE(m_pService->IsPaused());
        ASSERT_TRUE(gui.Send(CMD_PAUSE));
        EXPECT_TRUE(BroadcastStates(gui, 500).empty()) << "a second pause changes nothing";
        ASSERT_TRUE(gui.Send(CMD_CONTINUE));
        EXPECT_EQ(BroadcastStates(gui, 700), (std::vector<int32_t>{1, 1})) << nRound;
        EXPECT_FALSE(m_pService->IsPaused());
    }
    // A pause of the service manager pauses only on battery settings.
    m_pService->OnPause();
    EXPECT_FALSE(m_pService->IsPaused());
    ASSERT_TRUE(gui.Send(CMD_PAUSE));
    EXPECT_EQ(BroadcastStates(gui, 700), (std::vector<int32_t>{9, 9}));
    // A stop while paused continues first; nothing waits for a held scheduler.
    const DWORD dwStart = ::GetTickCount();
    ASSERT_TRUE(StopService());
    EXPECT_LT(::GetTickCount() - dwStart, 10000u);
}

TEST_F(ServiceLifecycle, OnBatteryAtStartThePauseFollowsTheSetting)
{
    m_system.m_nPowerLine = 0;
    for (DWORD dwPauseOnBattery : {0u, 1u})
    {
        SetSetting(L"PauseOnBattery", dwPauseOnBattery);
        ASSERT_TRUE(StartService());
        // The power is looked at before the start is complete, and so before an answer comes.
        EXPECT_EQ(m_pService->IsPaused(), dwPauseOnBattery == 1);
        ASSERT_TRUE(StopService());
    }
}

TEST_F(ServiceLifecycle, AClientThatNeverReadsDoesNotStopTheServiceServingOthers)
{
    ASSERT_TRUE(StartService());
    CServiceClient silent;
    ASSERT_TRUE(silent.Open(CServiceClient::GuiPipe, 10000, false));
    // Replies pile up in the pipe until the service's writes have to wait for the reader.
    for (int i = 0; i < 40; ++i)
        if (!silent.Send(CMD_GET_PARTITION_LIST))
            break;
    CServiceClient command;
    ASSERT_TRUE(command.Open(CServiceClient::CommandPipe));
    const DWORD dwStart = ::GetTickCount();
    ASSERT_TRUE(command.Send(CMD_GET_VERSION_INFO));
    stRECEIVED received;
    ASSERT_TRUE(command.WaitFor(RESPONSE_VERSION_INFO, received, 30000));
    EXPECT_LT(::GetTickCount() - dwStart, 30000u);
    // The silent client was let go: the pair takes the next one.
    silent.Close();
    CServiceClient next;
    ASSERT_TRUE(next.Open(CServiceClient::GuiPipe));
    ASSERT_TRUE(next.Send(CMD_GET_VERSION_INFO));
    EXPECT_TRUE(next.WaitFor(RESPONSE_VERSION_INFO, received));
}

TEST_F(ServiceLifecycle, AMountedDevicesChangeBroadcastsTheListToBothPairs)
{
    CServiceClient gui;
    CServiceClient command;
    ASSERT_NO_FATAL_FAILURE(StartWithClientsOnBothPairs(gui, command));
    stRECEIVED received;
    // A volume that turns removable leaves the list; the change is broadcast.
    {
        CSimLock lock(m_system);
        m_system.Volume(L'T')->m_bRemovable = true;
    }
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\MountedDevices", 0, KEY_SET_VALUE, &hKey));
    const DWORD dwValue = 1;
    ::RegSetValueExW(hKey, L"VarnefoldTestValue", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), 4);
    ::RegDeleteValueW(hKey, L"VarnefoldTestValue");
    ::RegCloseKey(hKey);
    for (CServiceClient* pClient : {&gui, &command})
    {
        ASSERT_TRUE(pClient->WaitFor(RESPONSE_PARTITION_LIST, received));
        CNetDefragPartitionList list;
        ASSERT_TRUE(DecodeObject(received, list));
        ASSERT_EQ(list.GetCount(), 1);
        EXPECT_EQ(Text(list.GetEntry(0)->m_strDriveRoot), L"S:\\");
    }
}

TEST_F(ServiceLifecycle, EachPairsSubscriberGetsItsOwnMapAndAVolumesEntriesReachBothPairs)
{
    ASSERT_TRUE(StartService());
    std::vector<int32_t> indexes;
    ASSERT_EQ(ListedRoots(&indexes).size(), 2u);
    CServiceClient gui;
    CServiceClient command;
    ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe));
    ASSERT_TRUE(command.Open(CServiceClient::CommandPipe));
    stRECEIVED received;
    ASSERT_TRUE(gui.SendIndex(CMD_CLUSTERMAP_SUBSCRIBE, indexes[0]));
    ASSERT_TRUE(gui.WaitFor(RESPONSE_CLUSTERMAP, received));
    CNetDefragPartitionClustermap map;
    ASSERT_TRUE(DecodeObject(received, map));
    EXPECT_EQ(map.m_nVolumeIndex, indexes[0]);
    // The command pipe's client is not "every subscriber": its map goes to it alone.
    ASSERT_TRUE(command.SendIndex(CMD_CLUSTERMAP_SUBSCRIBE, indexes[0]));
    ASSERT_TRUE(command.WaitFor(RESPONSE_CLUSTERMAP, received));
    std::vector<stRECEIVED> more = gui.Collect(700);
    EXPECT_TRUE(std::none_of(more.begin(), more.end(),
                             [](const stRECEIVED& r) { return r.nCode == RESPONSE_CLUSTERMAP; }));
    ASSERT_TRUE(command.SendIndex(CMD_CLUSTERMAP_UNSUBSCRIBE, indexes[0]));
    // Switching monitoring on again reports the volume to both pairs.
    ASSERT_TRUE(command.SendIndex(CMD_MONITOR, indexes[1]));
    for (CServiceClient* pClient : {&gui, &command})
    {
        ASSERT_TRUE(pClient->WaitFor(RESPONSE_PARTITION_ENTRY, received));
        CNetDefragPartitionListEntry entry;
        ASSERT_TRUE(DecodeObject(received, entry));
        EXPECT_EQ(entry.m_nVolumeIndex, indexes[1]);
        EXPECT_EQ(entry.m_nState, 1);
    }
}

TEST_F(ServiceLifecycle, AStatusTextLongerThanAReceiverTakesIsCut)
{
    ASSERT_TRUE(StartService());
    std::vector<int32_t> indexes;
    ASSERT_EQ(ListedRoots(&indexes).size(), 2u);
    {
        CSectionLock lock(m_pService->m_csDriveList);
        m_pService->ListedAt(0).pVolume->SetStatusText(CUnicodeString(std::wstring(6000, L'x').c_str()));
    }
    CServiceClient gui;
    ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe));
    ASSERT_TRUE(gui.Send(CMD_GET_PARTITION_LIST));
    stRECEIVED received;
    ASSERT_TRUE(gui.WaitFor(RESPONSE_PARTITION_LIST, received));
    CNetDefragPartitionList list;
    ASSERT_TRUE(DecodeObject(received, list)) << "every string within the receiver's limit";
    EXPECT_EQ(list.GetEntry(0)->m_strStatusText.GetLength(), 5120);
    ASSERT_TRUE(gui.SendIndex(CMD_MONITOR, indexes[0]));
    ASSERT_TRUE(gui.WaitFor(RESPONSE_PARTITION_ENTRY, received));
    CNetDefragPartitionListEntry entry;
    ASSERT_TRUE(DecodeObject(received, entry));
    EXPECT_EQ(entry.m_strStatusText.GetLength(), 5120);
}

TEST_F(ServiceLifecycle, ClientsComingAndGoingDuringPausesAndSchedulerTurnsNeverStallTheService)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    SetSetting(L"GlobalBackgroundWait", 20);
    ASSERT_TRUE(StartService());
    CServiceClient command;
    ASSERT_TRUE(command.Open(CServiceClient::CommandPipe));
    const DWORD dwStart = ::GetTickCount();
    for (int nRound = 0; ::GetTickCount() - dwStart < 4000; ++nRound)
    {
        CServiceClient gui;
        ASSERT_TRUE(gui.Open(CServiceClient::GuiPipe)) << nRound;
        ASSERT_TRUE(gui.Send(nRound % 2 == 0 ? CMD_PAUSE : CMD_CONTINUE)) << nRound;
        gui.Close();
        stRECEIVED received;
        ASSERT_TRUE(command.Send(CMD_GET_VERSION_INFO)) << nRound;
        ASSERT_TRUE(command.WaitFor(RESPONSE_VERSION_INFO, received, 2000)) << nRound;
    }
}
