// The drive list (which volumes, in which mode, kept by identity across rebuilds) and the
// boot-time entry in the Session Manager's list.
#include "ServiceFixture.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragSettingsLight.h"
#include "service/BootExecuteList.h"

#include <atomic>
#include <map>

namespace
{
const wchar_t SessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";

std::wstring Joined(const std::vector<std::wstring>& entries)
{
    std::wstring strList;
    for (const std::wstring& strEntry : entries)
        strList += strEntry + L'\0';
    return strList + L'\0';
}

class DriveList : public ServiceFixture
{
protected:
    // Roots and reported states of the listed volumes.
    std::map<std::wstring, int32_t> ListedStates()
    {
        std::map<std::wstring, int32_t> states;
        CServiceClient client;
        stRECEIVED received;
        CNetDefragPartitionList list;
        if (!client.Open(CServiceClient::GuiPipe) || !client.Send(CMD_GET_PARTITION_LIST) ||
            !client.WaitFor(RESPONSE_PARTITION_LIST, received) || !DecodeObject(received, list))
            return states;
        for (int i = 0; i < list.GetCount(); ++i)
            states[Text(list.GetEntry(i)->m_strDriveRoot)] = list.GetEntry(i)->m_nState;
        return states;
    }

    // A client's arrival rebuilds the list.
    void Rebuild()
    {
        CServiceClient client;
        ASSERT_TRUE(client.Open(CServiceClient::CommandPipe));
        ASSERT_TRUE(Answered(client));
    }

    void SetRemovable(wchar_t cLetter, bool bRemovable)
    {
        CSimLock lock(m_system);
        m_system.Volume(cLetter)->m_bRemovable = bRemovable;
    }

    void SaveBootExecute()
    {
        m_bHadBootExecute = ReadBootExecute(m_strSavedBootExecute);
    }
    void RestoreBootExecute()
    {
        if (m_bHadBootExecute)
            WriteBootExecute(m_strSavedBootExecute);
        else
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SessionManagerKey, L"BootExecute");
    }
    static bool ReadBootExecute(std::wstring& strList)
    {
        wchar_t szList[2048] = {};
        DWORD dwSize = sizeof(szList);
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, SessionManagerKey, L"BootExecute", RRF_RT_REG_MULTI_SZ, NULL, szList,
                           &dwSize) != ERROR_SUCCESS)
            return false;
        strList.assign(szList, dwSize / sizeof(wchar_t));
        return true;
    }
    static void WriteBootExecute(const std::wstring& strList)
    {
        ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, SessionManagerKey, L"BootExecute", REG_MULTI_SZ, strList.data(),
                          static_cast<DWORD>(strList.size() * sizeof(wchar_t)));
    }

    bool m_bHadBootExecute = false;
    std::wstring m_strSavedBootExecute;
};
}

TEST(BootExecuteList, TheEntryIsAddedOnceAndItsFirstRunRemoved)
{
    const struct
    {
        const char* pszCase;
        std::vector<std::wstring> before;
        bool bWanted;
        bool bChanged;
        std::vector<std::wstring> after;
    } cases[] = {
        {"added behind the other entry", {L"autocheck autochk *"}, true, true, {L"autocheck autochk *", L"VfoldBtx"}},
        {"added to an empty list", {}, true, true, {L"VfoldBtx"}},
        {"already there", {L"VfoldBtx", L"x"}, true, false, {L"VfoldBtx", L"x"}},
        {"removed, the other entry stays", {L"autocheck autochk *", L"VfoldBtx"}, false, true, {L"autocheck autochk *"}},
        {"first run removed", {L"a", L"VfoldBtx", L"VfoldBtx", L"b", L"VfoldBtx"}, false, true,
         {L"a", L"b", L"VfoldBtx"}},
        {"the name must match whole and in case", {L"vfoldbtx", L"VfoldBtx2"}, false, false, {L"vfoldbtx", L"VfoldBtx2"}},
        {"the only entry removed", {L"VfoldBtx"}, false, true, {}},
    };
    for (const auto& c : cases)
    {
        std::wstring strList = Joined(c.before);
        wchar_t szBuffer[CBootExecuteList::BufferBytes / sizeof(wchar_t)] = {};
        strList.copy(szBuffer, strList.size());
        DWORD dwBytes = static_cast<DWORD>(strList.size() * sizeof(wchar_t));
        EXPECT_EQ(CBootExecuteList::Apply(szBuffer, dwBytes, c.bWanted), c.bChanged) << c.pszCase;
        EXPECT_EQ(std::wstring(szBuffer, dwBytes / sizeof(wchar_t)), Joined(c.after)) << c.pszCase;
    }
}

TEST(BootExecuteList, AListWithoutItsEndOrWithoutRoomIsLeftAlone)
{
    wchar_t szBuffer[CBootExecuteList::BufferBytes / sizeof(wchar_t)] = {};
    // No closing empty string.
    std::wstring strOpen = L"abc";
    strOpen.copy(szBuffer, strOpen.size());
    DWORD dwBytes = 6;
    EXPECT_FALSE(CBootExecuteList::Apply(szBuffer, dwBytes, true));
    EXPECT_EQ(dwBytes, 6u);
    // Full up to the last few units: the new entry would run past the buffer.
    const size_t nUnits = CBootExecuteList::BufferBytes / sizeof(wchar_t);
    std::wstring strFull(nUnits - 6, L'x');
    strFull += L'\0';
    strFull += L'\0';
    std::fill(std::begin(szBuffer), std::end(szBuffer), L'\0');
    strFull.copy(szBuffer, strFull.size());
    dwBytes = static_cast<DWORD>(strFull.size() * sizeof(wchar_t));
    EXPECT_FALSE(CBootExecuteList::Apply(szBuffer, dwBytes, true));
    EXPECT_EQ(std::wstring(szBuffer, dwBytes / sizeof(wchar_t)), strFull);
}

TEST_F(DriveList, TheBootTimeEntryFollowsTheSettingAndLeavesTheRestOfTheListAsItIs)
{
    Mount(L'S');
    SaveBootExecute();
    WriteBootExecute(Joined({L"autocheck autochk *"}));
    SetSetting(L"UseBoottimeDefrag", 1);
    ASSERT_TRUE(StartService());
    std::wstring strList;
    ASSERT_TRUE(ReadBootExecute(strList));
    EXPECT_EQ(strList, Joined({L"autocheck autochk *", L"VfoldBtx"}));

    CServiceClient client;
    ASSERT_TRUE(client.Open(CServiceClient::CommandPipe));
    CNetDefragSettingsLight2 wanted;
    wanted.m_nUseBoottimeDefrag = 0;
    CNetDefragBuffer ar(true);
    wanted.Serialize(ar);
    CBytes payload = CServiceClient::Request(CMD_SET_WIZARD_SETTINGS);
    payload.insert(payload.end(), ar.GetBuffer(), ar.GetBuffer() + ar.GetSize());
    ASSERT_TRUE(client.SendPayload(payload));
    stRECEIVED received;
    ASSERT_TRUE(client.WaitFor(RESPONSE_PARTITION_LIST, received));
    ASSERT_TRUE(ReadBootExecute(strList));
    EXPECT_EQ(strList, Joined({L"autocheck autochk *"}));
    ASSERT_TRUE(StopService());

    // Without the value nothing is made up.
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SessionManagerKey, L"BootExecute");
    ASSERT_TRUE(StartService());
    EXPECT_FALSE(ReadBootExecute(strList));
    RestoreBootExecute();
}

TEST_F(DriveList, VolumesAreListedAndMonitoredByTypeBusAndSettings)
{
    Mount(L'S');
    Mount(L'U', false, 7);
    Mount(L'R', true);
    const int32_t Monitored = 1;
    const int32_t Idle = 0;
    const struct
    {
        const char* pszCase;
        std::vector<std::pair<const wchar_t*, DWORD>> numbers;
        const wchar_t* pszIgnored;
        std::map<std::wstring, int32_t> listed;
    } cases[] = {
        {"defaults", {}, nullptr, {{L"S:\\", Monitored}}},
        {"USB disks as fixed ones", {{L"TreatUSBAsRemovableDisks", 0}}, nullptr,
         {{L"S:\\", Monitored}, {L"U:\\", Monitored}}},
        {"removable disks too", {{L"UseRemovableDisks", 1}}, nullptr,
         {{L"S:\\", Monitored}, {L"U:\\", Monitored}, {L"R:\\", Idle}}},
        {"another value lists no volume", {{L"UseRemovableDisks", 2}}, nullptr, {}},
        {"ignored by letter", {}, L"s", {{L"S:\\", Idle}}},
        {"a colon matches every root", {{L"UseRemovableDisks", 1}}, L":",
         {{L"S:\\", Idle}, {L"U:\\", Idle}, {L"R:\\", Idle}}},
        {"no automatic monitoring", {{L"DisableAutoMonitoring", 1}}, nullptr, {{L"S:\\", Idle}}},
    };
    for (const auto& c : cases)
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
        SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", 3600);
        for (const auto& number : c.numbers)
            SetSetting(number.first, number.second);
        if (c.pszIgnored)
            SetSetting(L"IgnoreMonitoringDrives", c.pszIgnored);
        ASSERT_TRUE(StartService()) << c.pszCase;
        EXPECT_EQ(ListedStates(), c.listed) << c.pszCase;
        ASSERT_TRUE(StopService()) << c.pszCase;
    }
}

TEST_F(DriveList, AVolumeThatLeavesShiftsNoOtherIndexAndComesBackUnderANewOne)
{
    Mount(L'S');
    Mount(L'T');
    Mount(L'V');
    ASSERT_TRUE(StartService());
    std::vector<int32_t> before;
    ASSERT_EQ(ListedRoots(&before), (std::vector<std::wstring>{L"S:\\", L"T:\\", L"V:\\"}));
    SetRemovable(L'T', true);
    std::vector<int32_t> after;
    EXPECT_EQ(ListedRoots(&after), (std::vector<std::wstring>{L"S:\\", L"V:\\"}));
    EXPECT_EQ(after, (std::vector<int32_t>{before[0], before[2]}));
    // Requests for the old index find nothing.
    CServiceClient client;
    ASSERT_TRUE(client.Open(CServiceClient::CommandPipe));
    ASSERT_TRUE(client.SendIndex(CMD_CLUSTERMAP_SUBSCRIBE, before[1]));
    EXPECT_TRUE(client.Collect(700).empty());
    client.Close();
    SetRemovable(L'T', false);
    std::vector<int32_t> back;
    EXPECT_EQ(ListedRoots(&back), (std::vector<std::wstring>{L"S:\\", L"V:\\", L"T:\\"}));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_GT(back[2], before[2]);
}

TEST_F(DriveList, AManualDriveKeepsItsObjectAndIndexAcrossRebuilds)
{
    Mount(L'S');
    Mount(L'R', true);
    SetSetting(L"AddDrivesManually", L" r ");
    ASSERT_TRUE(StartService());
    std::vector<int32_t> first;
    ASSERT_EQ(ListedRoots(&first), (std::vector<std::wstring>{L"S:\\", L"R:\\"}));
    for (int i = 0; i < 3; ++i)
        Rebuild();
    std::vector<int32_t> later;
    EXPECT_EQ(ListedRoots(&later), (std::vector<std::wstring>{L"S:\\", L"R:\\"}));
    EXPECT_EQ(later, first);
    EXPECT_EQ(ListedStates()[L"R:\\"], 0) << "a removable drive is not monitored";
    SetSetting(L"AddDrivesManually", L"");
    EXPECT_EQ(ListedRoots(), (std::vector<std::wstring>{L"S:\\"}));
}

TEST_F(DriveList, AVolumeLeavingTheListIsFreedOnlyAfterItsJobHasEnded)
{
    Mount(L'S');
    Mount(L'T');
    HoldJobs();
    ASSERT_TRUE(StartService());
    ASSERT_EQ(m_held.size(), 2u);
    CHeldJobPartition* pHeld = m_held[1];
    ASSERT_TRUE(pHeld->StartHeldJob());
    SetRemovable(L'T', true);
    EXPECT_EQ(ListedRoots(), (std::vector<std::wstring>{L"S:\\"}));
    EXPECT_EQ(m_nFreed, 0) << "its job still runs in it";
    ::SetEvent(m_hRelease);
    EXPECT_TRUE(WaitFor([pHeld] { return !pHeld->IsJobRunning(); }));
    Rebuild();
    EXPECT_EQ(m_nFreed, 1);
    ASSERT_TRUE(StopService());
    EXPECT_EQ(m_nFreed, 2);
}
