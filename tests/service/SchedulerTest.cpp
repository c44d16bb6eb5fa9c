// The background scheduler on short timers: when it analyses, which volumes it steps, how an
// overflow raises its steps, and that a pause or a rebuild never catches it in the middle.
#include "ServiceFixture.h"

#include "protocol/NetDefragCommand.h"

#include <algorithm>

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

    bool WaitForWork(int32_t nIndex, bool bAnalysis, size_t nCount, DWORD dwTimeoutMs = 15000)
    {
        const DWORD dwStart = ::GetTickCount();
        while (WorkOn(nIndex, bAnalysis).size() < nCount)
        {
            if (::GetTickCount() - dwStart > dwTimeoutMs)
                return false;
            ::Sleep(20);
        }
        return true;
    }
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
    std::atomic<int> nFreed(0);
    HANDLE hRelease = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    std::vector<CHeldJobPartition*> volumes;
    m_pService = std::make_unique<CTestDefragService>();
    m_pService->m_createPartition = [&](const CUnicodeString& strName, CPartitionOwner* pOwner) {
        volumes.push_back(new CHeldJobPartition(strName, pOwner, &nFreed, hRelease));
        return volumes.back();
    };
    ASSERT_TRUE(StartService());
    ASSERT_EQ(volumes.size(), 2u);
    // The job runs on the volume the scheduler leaves alone.
    ASSERT_TRUE(volumes[1]->StartHeldJob());
    const int32_t nS = IndexOf(L'S');
    ASSERT_TRUE(WaitForWork(nS, false, 3, 20000));
    ::Sleep(4000);
    EXPECT_TRUE(WorkOn(nS, true).empty());
    ::SetEvent(hRelease);
    EXPECT_TRUE(WaitForWork(nS, true, 1));
    ASSERT_TRUE(StopService());
    ::CloseHandle(hRelease);
}

TEST_F(Scheduler, AnOverflowRaisesTheStepsForTheNextPassesThenTheSettingsApplyAgain)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    SetSetting(L"GlobalBackgroundAnalyzeTimeRange", 3600);
    SetSetting(L"GlobalBackgroundFileListMax", 10);
    SetSetting(L"GlobalBackgroundElevatedRunsMax", 3);
    m_pService = std::make_unique<CTestDefragService>();
    std::atomic<int> nSteps(0);
    m_pService->m_onStep = [&](CDefragPartition&) {
        // The second step finds more files pending than a volume may have.
        m_pService->m_uStepRemaining = ++nSteps == 2 ? 11 : 0;
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
        ::Sleep(300);
        const size_t nHeld = m_pService->Work().size();
        ::Sleep(700);
        EXPECT_EQ(m_pService->Work().size(), nHeld) << nRound;
        m_pService->OnContinue();
        EXPECT_TRUE(WaitForWork(nS, false, WorkOn(nS, false).size() + 2)) << nRound;
    }
}

TEST_F(Scheduler, AVolumeDroppedDuringAStepIsFreedOnlyWhenTheStepHasEnded)
{
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", DWORD(0));
    SetSetting(L"IgnoreMonitoringDrives", L" ");
    std::atomic<int> nFreed(0);
    HANDLE hRelease = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE hInStep = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    CHeldJobPartition* pT = nullptr;
    m_pService = std::make_unique<CTestDefragService>();
    m_pService->m_createPartition = [&](const CUnicodeString& strName, CPartitionOwner* pOwner) {
        auto* pVolume = new CHeldJobPartition(strName, pOwner, &nFreed, hRelease);
        if (strName.Find(L"000000000002}") >= 0)
            pT = pVolume;
        return pVolume;
    };
    m_pService->m_onStep = [&](CDefragPartition& volume) {
        if (&volume == pT)
        {
            ::SetEvent(hInStep);
            ::WaitForSingleObject(hRelease, 30000);
        }
    };
    ASSERT_TRUE(StartService());
    ASSERT_EQ(::WaitForSingleObject(hInStep, 15000), WAIT_OBJECT_0);
    {
        CSimLock lock(m_system);
        m_system.Volume(L'T')->m_bRemovable = true;
    }
    EXPECT_EQ(ListedRoots(), (std::vector<std::wstring>{L"S:\\"}));
    EXPECT_EQ(nFreed, 0) << "the scheduler still works on it";
    ::SetEvent(hRelease);
    for (int i = 0; i < 100 && nFreed == 0; ++i)
        ::Sleep(20);
    EXPECT_EQ(nFreed, 1);
    ASSERT_TRUE(StopService());
    ::CloseHandle(hInStep);
    ::CloseHandle(hRelease);
}
