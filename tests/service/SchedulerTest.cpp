// The background scheduler on short timers: when it analyses, which volumes it steps, how an
// overflow raises its steps, and that a pause or a rebuild never catches it in the middle.
#include "ServiceFixture.h"

#include "protocol/NetDefragCommand.h"
#include "tests/platform/MovedClock.h"
#include "tests/platform/WaitFor.h"

#include <algorithm>
#include <memory>

namespace
{
class Scheduler : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        Mount(L'S');
        Mount(L'T');
        SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", 2);
        SetSetting(L"GlobalBackgroundAnalyzeTimeRange", 3);
        SetSetting(L"GlobalBackgroundWait", 50);
        // T stays out of background mode.
        SetSetting(L"IgnoreMonitoringDrives", L"T");
    }

    int32_t IndexOf(wchar_t cLetter)
    {
        std::vector<int32_t> indexes;
        std::vector<std::wstring> roots = ListedRoots(&indexes);
        for (size_t i = 0; i < roots.size(); ++i)
            if (roots[i][0] == cLetter)
                return indexes[i];
        return -1;
    }

    std::vector<CTestDefragService::stWORK> WorkOn(int32_t nIndex, bool bAnalysis)
    {
        std::vector<CTestDefragService::stWORK> work = m_pService->Work();
        work.erase(std::remove_if(work.begin(), work.end(),
                                  [&](const CTestDefragService::stWORK& w) {
                                      return w.nIndex != nIndex || w.bAnalysis != bAnalysis;
                                  }),
                   work.end());
        return work;
    }

    bool WaitForWork(int32_t nIndex, bool bAnalysis, size_t nCount, DWORD dwTimeoutMs = GenerousWaitMs)
    {
        return WaitFor([&] { return WorkOn(nIndex, bAnalysis).size() >= nCount; }, dwTimeoutMs);
    }

    CMovedClock m_clock;
};
}

TEST_F(Scheduler, AnalysesAndStepsOnlyMonitoredVolumesAndWaitsForItsTime)
{
    const DWORD dwStart = ::GetTickCount();
    ASSERT_TRUE(StartService());
    const int32_t nS = IndexOf(L'S');
    const int32_t nT = IndexOf(L'T');
    ASSERT_TRUE(WaitForWork(nS, true, 1));
    // Two seconds of first wait, then the time range less that wait, to the second.
    EXPECT_GE(WorkOn(nS, true)[0].dwTick - dwStart, 3000u);
    ASSERT_TRUE(WaitForWork(nS, false, 3));
    EXPECT_TRUE(WorkOn(nT, true).empty());
    EXPECT_TRUE(WorkOn(nT, false).empty());
    const CTestDefragService::stWORK step = WorkOn(nS, false)[0];
    EXPECT_EQ(step.nDuration, 5);
    EXPECT_EQ(step.nWait, 120);
}

TEST_F(Scheduler, NoScheduledAnalysisStartsWhileAnyVolumeRunsAJob)
{
    HoldJobs();
    ASSERT_TRUE(StartService());
    ASSERT_EQ(m_held.size(), 2u);
    // The job runs on the volume the scheduler leaves alone.
    ASSERT_TRUE(m_held[1]->StartHeldJob());
    const int32_t nS = IndexOf(L'S');
    ASSERT_TRUE(WaitForWork(nS, false, 3, 20000));
    // An analysis is long due now; each turn on S would start it before its step.
    m_clock.Advance(3600);
    ASSERT_TRUE(WaitForWork(nS, false, WorkOn(nS, false).size() + 2));
    EXPECT_TRUE(WorkOn(nS, true).empty());
    ::SetEvent(m_hRelease);
    EXPECT_TRUE(WaitForWork(nS, true, 1));
}

TEST_F(Scheduler, AnOverflowRaisesTheStepsForTheNextPassesThenTheSettingsApplyAgain)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    SetSetting(L"GlobalBackgroundAnalyzeTimeRange", 3600);
    SetSetting(L"GlobalBackgroundFileListMax", 10);
    SetSetting(L"GlobalBackgroundElevatedRunsMax", 3);
    m_pService = std::make_unique<CTestDefragService>();
    CTestDefragService* pService = m_pService.get();
    auto pnSteps = std::make_shared<std::atomic<int>>(0);
    m_pService->m_onStep = [pService, pnSteps](CDefragPartition&) {
        // The second step finds more files pending than a volume may have.
        pService->m_uStepRemaining = ++*pnSteps == 2 ? 11 : 0;
    };
    ASSERT_TRUE(StartService());
    const int32_t nS = IndexOf(L'S');
    ASSERT_TRUE(WaitForWork(nS, false, 6));
    std::vector<std::pair<int32_t, int32_t>> steps;
    for (const CTestDefragService::stWORK& w : WorkOn(nS, false))
        steps.push_back({w.nDuration, w.nWait});
    steps.resize(6);
    const std::pair<int32_t, int32_t> normal(5, 120);
    const std::pair<int32_t, int32_t> raised(20, 5);
    // One volume makes one pass per step; the pass of the overflow ends with it.
    EXPECT_EQ(steps, (std::vector<std::pair<int32_t, int32_t>>{normal, normal, raised, raised, normal, normal}));
}

TEST_F(Scheduler, APauseHoldsTheSchedulerBetweenTurnsAndAContinueLetsItGoOn)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    ASSERT_TRUE(StartService());
    const int32_t nS = IndexOf(L'S');
    ASSERT_TRUE(WaitForWork(nS, false, 2));
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        m_pService->PauseService(true);
        m_pService->PauseService(true);
        // A turn under way when the pause came may still end with its one step; steps come
        // every 50 ms while the scheduler runs.
        const size_t nHeld = WorkOn(nS, false).size();
        EXPECT_FALSE(WaitForWork(nS, false, nHeld + 2, 1000)) << nRound;
        m_pService->OnContinue();
        EXPECT_TRUE(WaitForWork(nS, false, WorkOn(nS, false).size() + 2)) << nRound;
    }
}

TEST_F(Scheduler, AVolumeDroppedDuringAStepIsFreedOnlyWhenTheStepHasEnded)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    SetSetting(L"IgnoreMonitoringDrives", L" ");
    HoldJobs();
    m_pService->m_onStep = [this](CDefragPartition& volume) {
        if (m_held.size() > 1 && &volume == m_held[1])
        {
            ::SetEvent(m_hInStep);
            ::WaitForSingleObject(m_hRelease, 30000);
        }
    };
    ASSERT_TRUE(StartService());
    ASSERT_EQ(::WaitForSingleObject(m_hInStep, GenerousWaitMs), WAIT_OBJECT_0);
    {
        CSimLock lock(m_system);
        m_system.Volume(L'T')->m_bRemovable = true;
    }
    EXPECT_EQ(ListedRoots(), (std::vector<std::wstring>{L"S:\\"}));
    EXPECT_EQ(m_nFreed, 0) << "the scheduler still works on it";
    ::SetEvent(m_hRelease);
    EXPECT_TRUE(WaitFor([this] { return m_nFreed != 0; }));
    EXPECT_EQ(m_nFreed, 1);
}

TEST_F(Scheduler, AStepThatIgnoresTheStopIsEndedAfterTheBoundAndTheServiceStops)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    m_pService = std::make_unique<CTestDefragService>();
    m_pService->m_dwSchedulerStopWaitMs = 2000;
    m_pService->m_onStep = [this](CDefragPartition&) {
        ::SetEvent(m_hInStep);
        ::WaitForSingleObject(m_hRelease, 120000);
    };
    ASSERT_TRUE(StartService());
    ASSERT_EQ(::WaitForSingleObject(m_hInStep, GenerousWaitMs), WAIT_OBJECT_0);
    const DWORD dwStart = ::GetTickCount();
    ASSERT_TRUE(StopService(60000)) << "the stop waited for the scheduler without end";
    EXPECT_LT(::GetTickCount() - dwStart, 30000u);
}
