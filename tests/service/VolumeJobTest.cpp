// Requests that run the engine on a volume: analyses started by a client or by the scheduler,
// and the reports that answer the asking client alone.
#include "ServiceFixture.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragPartitionListEntry.h"
#include "simdisk/SimVerifier.h"

#include <winioctl.h>

#include <algorithm>

namespace
{
class VolumeJobs : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        MountBuilt(L'S', 400, 30);
    }

    void StartWithClients()
    {
        ASSERT_TRUE(StartService());
        std::vector<int32_t> indexes;
        ASSERT_EQ(ListedRoots(&indexes).size(), 1u);
        m_nIndex = indexes[0];
        ASSERT_TRUE(m_gui.Open(CServiceClient::GuiPipe));
        ASSERT_TRUE(m_command.Open(CServiceClient::CommandPipe));
        ASSERT_TRUE(Answered(m_gui));
        ASSERT_TRUE(Answered(m_command));
    }

    struct stSTATE
    {
        int32_t nState;
        int32_t nProgress;
    };

    // The volume's entries broadcast until the last of them ends the wait.
    template <class TEnd>
    static std::vector<stSTATE> EntriesUntil(CServiceClient& client, DWORD dwTimeoutMs, TEnd fnEnd)
    {
        std::vector<stSTATE> entries;
        stRECEIVED received;
        const DWORD dwStart = ::GetTickCount();
        while (::GetTickCount() - dwStart < dwTimeoutMs && client.WaitFor(RESPONSE_PARTITION_ENTRY, received, 5000))
        {
            CNetDefragPartitionListEntry entry;
            if (!DecodeObject(received, entry))
                break;
            entries.push_back({entry.m_nState, entry.m_nProgress});
            if (fnEnd(entries))
                break;
        }
        return entries;
    }

    // Until one shows a state that ends a job; with a working state, one that ends it after
    // that state was seen (a run analyses first).
    static std::vector<stSTATE> EntriesUntilIdle(CServiceClient& client, DWORD dwTimeoutMs = 30000,
                                                 int32_t nWorkState = -1)
    {
        bool bWorked = nWorkState < 0;
        return EntriesUntil(client, dwTimeoutMs, [&](const std::vector<stSTATE>& entries) {
            const int32_t nState = entries.back().nState;
            bWorked = bWorked || nState == nWorkState;
            return bWorked && entries.size() > 1 && (nState == STATE_IDLE || nState == STATE_MONITORING);
        });
    }

    // Until one shows the state.
    static std::vector<stSTATE> EntriesUntilState(CServiceClient& client, int32_t nState)
    {
        return EntriesUntil(client, 60000,
                            [nState](const std::vector<stSTATE>& entries) { return entries.back().nState == nState; });
    }

    // Files of the volume whose data lies in more than one piece, as the disk holds them.
    int FragmentedOnDisk()
    {
        CSimLock lock(m_system);
        const CSimVolume& volume = *m_system.Volume(L'S');
        int nFragmented = 0;
        for (size_t i = 0; i < volume.FileSlots(); ++i)
        {
            const CSimFile* pFile = volume.File(i);
            const CSimStream* pData = pFile && !pFile->IsDirectory() ? pFile->FindStream(ntfs::Data, L"") : nullptr;
            if (pData == nullptr)
                continue;
            for (size_t r = 1; r < pData->m_runs.size(); ++r)
                if (pData->m_runs[r].llLcn != pData->m_runs[r - 1].llLcn + pData->m_runs[r - 1].llLength)
                {
                    ++nFragmented;
                    break;
                }
        }
        return nFragmented;
    }

    CServiceClient m_gui;
    CServiceClient m_command;
    int32_t m_nIndex = -1;
};
}

TEST_F(VolumeJobs, AnAnalysisIsBroadcastToBothPairsFromItsStartToItsEnd)
{
    StartWithClients();
    ASSERT_TRUE(m_command.SendIndex(CMD_ANALYZE, m_nIndex));
    for (CServiceClient* pClient : {&m_gui, &m_command})
    {
        std::vector<stSTATE> entries = EntriesUntilIdle(*pClient);
        ASSERT_GE(entries.size(), 2u);
        EXPECT_EQ(entries.front().nState, 4);
        EXPECT_EQ(entries.back().nState, 1) << "back to monitoring";
        for (size_t i = 1; i + 1 < entries.size(); ++i)
            EXPECT_GE(entries[i].nProgress, entries[i - 1].nProgress);
    }
}

TEST_F(VolumeJobs, AnAnalysisStartedWhilePausedWaitsAsSuspended)
{
    StartWithClients();
    ASSERT_TRUE(m_gui.Send(CMD_PAUSE));
    ASSERT_TRUE(m_gui.SendIndex(CMD_ANALYZE, m_nIndex));
    stRECEIVED received;
    bool bSuspended = false;
    for (int i = 0; i < 10 && !bSuspended && m_gui.WaitFor(RESPONSE_PARTITION_ENTRY, received, 3000); ++i)
    {
        CNetDefragPartitionListEntry entry;
        bSuspended = DecodeObject(received, entry) && entry.m_nState == 9;
    }
    EXPECT_TRUE(bSuspended);
    ASSERT_TRUE(m_gui.Send(CMD_CONTINUE));
    std::vector<stSTATE> entries = EntriesUntilIdle(m_gui);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().nState, 1);
}

TEST_F(VolumeJobs, ReportsAnswerTheAskingClientAlone)
{
    StartWithClients();
    ASSERT_TRUE(m_command.SendIndex(CMD_ANALYZE, m_nIndex));
    EntriesUntilIdle(m_command);
    m_gui.Collect(300);

    stRECEIVED received;
    ASSERT_TRUE(m_command.SendIndex(CMD_GET_PARTITION_INFO, m_nIndex));
    ASSERT_TRUE(m_command.WaitFor(RESPONSE_PARTITION_INFO, received));
    CNetDefragPartitionInfo info;
    ASSERT_TRUE(DecodeObject(received, info));
    EXPECT_EQ(info.m_nVolumeIndex, m_nIndex);

    ASSERT_TRUE(m_command.SendIndex(CMD_GET_FRAG_FILES, m_nIndex));
    ASSERT_TRUE(m_command.WaitFor(RESPONSE_FRAG_FILES, received));
    CNetDefragPartitionFragFiles fragmented;
    ASSERT_TRUE(DecodeObject(received, fragmented));
    EXPECT_GT(fragmented.GetCount(), 0);

    const struct
    {
        const char* pszCase;
        int64_t llFirst;
        int64_t llLast;
        bool bFiles;
    } ranges[] = {{"the volume's start", 0, 100000, true}, {"first after last", 5000, 10, false},
                  {"negative first", -100, 10, false}};
    for (const auto& range : ranges)
    {
        CBytes payload = CServiceClient::Request(CMD_CLUSTEREXPLORER_ASK);
        CServiceClient::PutInt32(payload, m_nIndex);
        CServiceClient::PutInt64(payload, range.llFirst);
        CServiceClient::PutInt64(payload, range.llLast);
        ASSERT_TRUE(m_command.SendPayload(payload)) << range.pszCase;
        ASSERT_TRUE(m_command.WaitFor(RESPONSE_CLUSTEREXPLORER, received)) << range.pszCase;
        CNetDefragPartitionClusterExplorerResponse files;
        ASSERT_TRUE(DecodeObject(received, files)) << range.pszCase;
        EXPECT_EQ(files.GetCount() > 0, range.bFiles) << range.pszCase;
    }

    CBytes showFile = CServiceClient::Request(CMD_SHOW_FILE);
    CServiceClient::PutInt32(showFile, m_nIndex);
    CServiceClient::PutText(showFile, L"\\no such file");
    ASSERT_TRUE(m_command.SendPayload(showFile));
    ASSERT_TRUE(m_command.WaitFor(RESPONSE_FILE_CLUSTERS, received));
    CNetDefragPartitionClusterExplorerResponse clusters;
    ASSERT_TRUE(DecodeObject(received, clusters));
    EXPECT_EQ(clusters.GetCount(), 0);
    // None of the answers reached the other pair.
    for (const stRECEIVED& other : m_gui.Collect(500))
        EXPECT_EQ(other.nCode, RESPONSE_PARTITION_ENTRY);
}

TEST_F(VolumeJobs, TheSchedulerAnalysesAMonitoredVolumeForReal)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", 1);
    SetSetting(L"GlobalBackgroundAnalyzeTimeRange", 2);
    SetSetting(L"GlobalBackgroundWait", 50);
    m_pService = std::make_unique<CTestDefragService>();
    m_pService->m_bRealWork = true;
    StartWithClients();
    stRECEIVED received;
    bool bAutoAnalysing = false;
    const DWORD dwStart = ::GetTickCount();
    while (!bAutoAnalysing && ::GetTickCount() - dwStart < 20000 &&
           m_gui.WaitFor(RESPONSE_PARTITION_ENTRY, received, 20000))
    {
        CNetDefragPartitionListEntry entry;
        bAutoAnalysing = DecodeObject(received, entry) && entry.m_nState == 2;
    }
    EXPECT_TRUE(bAutoAnalysing);
}

TEST_F(VolumeJobs, EachMethodRunsToItsEndAndLeavesTheVolumeWholeAndUnfragmented)
{
    StartWithClients();
    auto fragmentedFiles = [this]() {
        stRECEIVED received;
        CNetDefragPartitionFragFiles fragmented;
        if (!m_command.SendIndex(CMD_GET_FRAG_FILES, m_nIndex) ||
            !m_command.WaitFor(RESPONSE_FRAG_FILES, received) || !DecodeObject(received, fragmented))
            return -1;
        return fragmented.GetCount();
    };
    ASSERT_TRUE(m_command.SendIndex(CMD_ANALYZE, m_nIndex));
    EntriesUntilIdle(m_command);
    const int nBefore = fragmentedFiles();
    ASSERT_GT(nBefore, 0);
    const struct
    {
        int32_t nCode;
        const char* pszMethod;
    } methods[] = {{CMD_DEFRAG_QUICK, "quick"}, {CMD_DEFRAG_COMPLETE, "complete"}, {CMD_DEFRAG_ADVANCED, "advanced"}};
    for (const auto& method : methods)
    {
        m_gui.Collect(200);
        ASSERT_TRUE(m_command.SendIndex(method.nCode, m_nIndex)) << method.pszMethod;
        std::vector<stSTATE> entries = EntriesUntilIdle(m_gui, 120000, 5);
        ASSERT_FALSE(entries.empty()) << method.pszMethod;
        EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const stSTATE& s) { return s.nState == 5; }))
            << method.pszMethod;
        EXPECT_EQ(entries.back().nState, 1) << method.pszMethod;
        m_command.Collect(300);
    }
    // Free space is plenty: no file is left in pieces, on the disk or in the volume's list.
    EXPECT_EQ(fragmentedFiles(), 0);
    EXPECT_EQ(FragmentedOnDisk(), 0);
    CSimLock lock(m_system);
    CSimVerifier verifier(*m_system.Volume(L'S'));
    EXPECT_TRUE(verifier.Run());
}

TEST_F(VolumeJobs, ACheckAndAStoppedRunEndAndReportTheirStates)
{
    StartWithClients();
    ASSERT_TRUE(m_command.SendIndex(CMD_CHECK_DISK, m_nIndex));
    std::vector<stSTATE> entries = EntriesUntilIdle(m_gui, 60000, 11);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().nState, 11);
    EXPECT_EQ(entries.back().nState, 1);

    // Each move lasts a while, so that the run is still moving when the stop arrives.
    SIM_FAULT slow;
    slow.dwCode = FSCTL_MOVE_FILE;
    slow.dwDelayMs = 100;
    {
        CSimLock lock(m_system);
        m_system.Faults().Add(slow);
    }
    m_gui.Collect(300);
    const int nBefore = FragmentedOnDisk();
    ASSERT_GT(nBefore, 2);
    ASSERT_TRUE(m_command.SendIndex(CMD_DEFRAG_COMPLETE, m_nIndex));
    entries = EntriesUntilState(m_gui, STATE_DEFRAGMENTING);
    ASSERT_FALSE(entries.empty());
    ASSERT_EQ(entries.back().nState, STATE_DEFRAGMENTING);
    ASSERT_TRUE(m_command.SendIndex(CMD_STOP, m_nIndex));
    // Whether the stopping state is seen depends on how soon the run meets the stop; its end is
    // the same either way.
    entries = EntriesUntilIdle(m_gui, 60000);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().nState, STATE_IDLE) << "a stop ends the volume's monitoring too";
    CSimLock lock(m_system);
    m_system.Faults().Clear();
    EXPECT_GT(FragmentedOnDisk(), 0) << "the run went on to its end";
    CSimVerifier verifier(*m_system.Volume(L'S'));
    EXPECT_TRUE(verifier.Run());
}

TEST_F(VolumeJobs, ARefusedRunRequestLeavesTheSettingsOfTheNextRunAlone)
{
    HoldJobs();
    ASSERT_TRUE(StartService());
    std::vector<int32_t> indexes;
    ASSERT_EQ(ListedRoots(&indexes).size(), 1u);
    ASSERT_EQ(m_held.size(), 1u);
    CHeldJobPartition& volume = *m_held[0];
    ASSERT_TRUE(volume.StartHeldJob());
    ASSERT_TRUE(m_command.Open(CServiceClient::CommandPipe));
    stRECEIVED received;
    // Refused: a job runs. It must not leave its method or its placement of recent files behind.
    ASSERT_TRUE(m_command.SendIndex(CMD_DEFRAG_ADVANCED, indexes[0]));
    ASSERT_TRUE(m_command.Send(CMD_GET_VERSION_INFO));
    ASSERT_TRUE(m_command.WaitFor(RESPONSE_VERSION_INFO, received));
    ::SetEvent(m_hRelease);
    ASSERT_TRUE(WaitFor([&volume] { return !volume.IsJobRunning(); }));
    ASSERT_TRUE(m_command.SendIndex(CMD_DEFRAG_QUICK, indexes[0]));
    ASSERT_TRUE(m_command.Send(CMD_GET_VERSION_INFO));
    ASSERT_TRUE(m_command.WaitFor(RESPONSE_VERSION_INFO, received));
    EXPECT_EQ(0, volume.GetRunSettings().nMethod);
    EXPECT_EQ(0, volume.GetRunSettings().nMoveModifiedFilesToEnd) << "the refused request forced it";
    EXPECT_TRUE(WaitFor([&volume] { return !volume.IsJobRunning(); }));
}
