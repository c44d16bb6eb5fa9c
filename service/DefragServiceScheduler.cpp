// The background scheduler: one volume per period, each in turn.
#include "service/DefragService.h"

#include "platform/Clock.h"

struct CDefragService::stSCHEDULER_STATE
{
    int nTurn;            // list position of the next volume
    int nElevatedLeft;    // passes over the list still run at raised priority
    bool bElevated;
    int32_t nDuration;    // seconds of a background step
    int32_t nWait;        // seconds a changed file rests before it is moved
};

namespace {

constexpr int32_t ElevatedDuration = 20;
constexpr int32_t ElevatedWait = 5;

int64_t Now()
{
    return sysclock::Seconds();
}

} // namespace

bool CDefragService::RunScheduledAnalysis(CDefragPartition& volume)
{
    return volume.RunScheduledAnalysis(m_hStopEvent, m_stBackground.nAnalyzeWaitTime);
}

bool CDefragService::RunBackgroundStep(CDefragPartition& volume, int32_t nDuration, int32_t nWait, uint32_t& uRemaining)
{
    return volume.RunBackgroundStep(nDuration, nWait, uRemaining);
}

DWORD WINAPI CDefragService::SchedulerThreadProc(LPVOID pParam)
{
    static_cast<CDefragService*>(pParam)->RunScheduler();
    return 0;
}

bool CDefragService::IsSchedulerStopped() const
{
    return ::WaitForSingleObject(m_hSchedulerStop, 0) == WAIT_OBJECT_0 ||
           ::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0;
}

bool CDefragService::WaitSchedulerPeriod(DWORD dwMs)
{
    if (::WaitForSingleObject(m_hSchedulerStop, dwMs) != WAIT_TIMEOUT)
        return false;
    // A pause holds the scheduler here, where it holds no lock and works on no volume.
    const HANDLE ahWait[] = {m_hSchedulerStop, m_hSchedulerRun};
    return ::WaitForMultipleObjects(2, ahWait, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 && !IsSchedulerStopped();
}

void CDefragService::SetSchedulerPriority(int nPriority)
{
    ::SetThreadPriority(::GetCurrentThread(), nPriority);
}

void CDefragService::ResetElevation(stSCHEDULER_STATE& stState)
{
    stState.nElevatedLeft = 0;
    stState.bElevated = false;
    SetSchedulerPriority(m_stBackground.nThreadPrio);
    stState.nDuration = m_stBackground.nRealDuration;
    stState.nWait = m_stBackground.nWaitTimeForFileModification;
}

void CDefragService::RunScheduler()
{
    if (::WaitForSingleObject(m_hSchedulerStop, static_cast<DWORD>(m_stBackground.nAnalyzeWaitToStartTime) * 1000) !=
        WAIT_TIMEOUT)
        return;
    const int64_t llNow = Now();
    stSCHEDULER_STATE stState = {};
    ResetElevation(stState);
    {
        CSectionLock lock(m_csDriveList);
        for (int i = 0; i < GetVolumeCount(); ++i)
            ListedAt(i).llLastAnalysis = llNow + m_stBackground.nAnalyzeWaitToStartTime -
                                         m_stBackground.nAnalyzeTimeRange - 1;
    }
    while (WaitSchedulerPeriod(static_cast<DWORD>(m_stBackground.nWaitMs)))
        if (!SchedulerTurn(stState))
            return;
}

int CDefragService::PositionOf(const CDefragPartition* pVolume) const
{
    for (int i = 0; i < GetVolumeCount(); ++i)
        if (ListedAt(i).pVolume == pVolume)
            return i;
    return -1;
}

bool CDefragService::AnyJobRunning() const
{
    for (int i = 0; i < GetVolumeCount(); ++i)
        if (ListedAt(i).pVolume->IsJobRunning())
            return true;
    return false;
}

template <class TWork> int CDefragService::Unlocked(CDefragPartition* pVolume, TWork fnWork)
{
    // While the lock is released the volume is held: a rebuild that drops it parks it
    // instead of freeing it, and it is found again by identity, never by position.
    m_pSchedulerVolume = pVolume;
    m_csDriveList.Unlock();
    // No new work starts once the service stops: the stop reaches only the work under way.
    if (!IsSchedulerStopped())
        fnWork();
    m_csDriveList.Lock();
    m_pSchedulerVolume = nullptr;
    const int nPosition = PositionOf(pVolume);
    if (nPosition < 0)
        ReapRetired();
    return nPosition;
}

bool CDefragService::SchedulerTurn(stSCHEDULER_STATE& stState)
{
    const int64_t llNow = Now();
    CSectionLock lock(m_csDriveList);
    if (GetVolumeCount() == 0)
        return true;
    if (stState.nTurn >= GetVolumeCount())
    {
        stState.nTurn = 0;
        if (stState.nElevatedLeft > 1)
            --stState.nElevatedLeft;
        else if (stState.bElevated)
            ResetElevation(stState);
    }
    const int nTurn = stState.nTurn;
    int nPosition = nTurn;
    CDefragPartition* pVolume = ListedAt(nPosition).pVolume;
    bool bRestart = false;
    bool bStay = false;

    if (ListedAt(nPosition).llLastAnalysis + m_stBackground.nAnalyzeTimeRange < llNow && !AnyJobRunning())
    {
        SetSchedulerPriority(m_stBackground.nAnalyzeThreadPrio);
        if (pVolume->IsBackgroundMode())
        {
            ListedAt(nPosition).bAnalysisWanted = false;
            nPosition = Unlocked(pVolume, [&] { RunScheduledAnalysis(*pVolume); });
            if (nPosition >= 0)
                ListedAt(nPosition).llLastAnalysis = llNow;
            if (IsSchedulerStopped())
                return false;
            bRestart = true;
        }
        SetSchedulerPriority(stState.bElevated ? THREAD_PRIORITY_ABOVE_NORMAL : m_stBackground.nThreadPrio);
    }

    uint32_t uRemaining = 0;
    if (nPosition >= 0 && ListedAt(nPosition).bAnalysisWanted && pVolume->IsBackgroundMode() &&
        pVolume->SecondsSinceLastActivity() > 1 && pVolume->GetPendingFileCount() == 0)
    {
        ListedAt(nPosition).bAnalysisWanted = false;
        nPosition = Unlocked(pVolume, [&] { RunScheduledAnalysis(*pVolume); });
        if (nPosition >= 0)
        {
            ListedAt(nPosition).llLastAnalysis = Now();
            nPosition = Unlocked(pVolume, [&] {
                RunBackgroundStep(*pVolume, stState.nDuration, stState.nWait, uRemaining);
            });
        }
        if (IsSchedulerStopped())
            return false;
    }

    if (nPosition >= 0 && pVolume->IsBackgroundMode())
    {
        bool bFinished = false;
        if (pVolume->SecondsSinceLastActivity() != 0)
            nPosition = Unlocked(pVolume, [&] {
                bFinished = RunBackgroundStep(*pVolume, stState.nDuration, stState.nWait, uRemaining);
            });
        else
            uRemaining = pVolume->GetPendingFileCount();
        if (nPosition >= 0 && !bFinished)
        {
            if (uRemaining > static_cast<uint32_t>(m_stBackground.nFileListMax) &&
                pVolume->SecondsSinceLastActivity() < 2)
            {
                ListedAt(nPosition).bAnalysisWanted = true;
                pVolume->ReportState();
            }
            bStay = true;
        }
    }

    if (uRemaining > static_cast<uint32_t>(m_stBackground.nFileListMax))
    {
        stState.nElevatedLeft = m_stBackground.nElevatedRunsMax;
        stState.bElevated = true;
        SetSchedulerPriority(THREAD_PRIORITY_ABOVE_NORMAL);
        stState.nDuration = ElevatedDuration;
        stState.nWait = ElevatedWait;
    }
    // A volume that left the list during the turn gives its place to the one after it.
    if (bStay && nPosition >= 0)
        stState.nTurn = nPosition;
    else if (bRestart)
        stState.nTurn = 0;
    else
        stState.nTurn = nPosition >= 0 ? nPosition + 1 : nTurn;
    return !IsSchedulerStopped();
}
