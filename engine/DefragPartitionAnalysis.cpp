#include "engine/DefragPartition.h"

#include <algorithm>

#include "engine/SysHandle.h"
#include "platform/Clock.h"

bool CDefragPartition::StartAnalysis(int32_t nStepDelay)
{
    if (IsJobRunning())
        return false;
    const int32_t nState = m_nState;
    if (nState != STATE_IDLE && nState != STATE_FAULTY && nState != STATE_FAULTY_MONITORING)
    {
        ReportState();
        return false;
    }
    ::ResetEvent(m_hStopEvent);
    m_nAnalysisStepDelay = std::max(0, nStepDelay);
    return LaunchJobThread(AnalysisThreadProc, false, STATE_ANALYZING);
}

bool CDefragPartition::RunScheduledAnalysis(HANDLE hServiceStop, int32_t nStepDelay)
{
    if (IsJobRunning())
        return false;
    const int32_t nState = m_nState;
    if ((nState != STATE_IDLE && nState != STATE_FAULTY && nState != STATE_FAULTY_MONITORING) || !m_bBackgroundMode)
        return false;
    m_nState = STATE_AUTO_ANALYZING;
    ReportState();
    ::ResetEvent(m_hStopEvent);
    m_nAnalysisStepDelay = m_nUseIOGuard == 2 || m_nUseIOGuard == 3 ? 1 : std::max(0, nStepDelay);
    if (!StartJobThread(AnalysisThreadProc))
    {
        m_nState = STATE_IDLE;
        ReportState();
        return false;
    }
    HANDLE hWait = nullptr;
    {
        CSectionLock lock(m_csJob);
        if (m_hJobThread != nullptr)
        {
            ::SetThreadPriority(m_hJobThread, ::GetThreadPriority(::GetCurrentThread()));
            // The wait runs on a handle of its own: the object's handle is closed in one place.
            ::DuplicateHandle(::GetCurrentProcess(), m_hJobThread, ::GetCurrentProcess(), &hWait, SYNCHRONIZE, FALSE,
                              0);
        }
    }
    if (hWait != nullptr)
    {
        const HANDLE ahWait[] = {hServiceStop, hWait};
        const DWORD dwFirst = hServiceStop != nullptr ? ::WaitForMultipleObjects(2, ahWait, FALSE, INFINITE)
                                                      : ::WaitForSingleObject(hWait, INFINITE) + 1;
        ::CloseHandle(hWait);
        if (dwFirst == WAIT_OBJECT_0)
            ::SetEvent(m_hStopEvent);
    }
    WaitForJobThread(INFINITE);
    ::ResetEvent(m_hStopEvent);
    m_nState = STATE_IDLE;
    ReportState();
    return true;
}

DWORD WINAPI CDefragPartition::AnalysisThreadProc(LPVOID pParameter)
{
    CDefragPartition& partition = *static_cast<CDefragPartition*>(pParameter);
    const int32_t nStarted = partition.m_nState;
    if (nStarted == STATE_IDLE || nStarted == STATE_MONITORING)
        partition.m_nState = STATE_ANALYZING;
    partition.SubscribeClusterMap(ClientBuildOnly, true);
    const bool bWalked = partition.Analyze();
    if (!partition.m_bClientConnected)
    {
        CSectionLock lock(partition.m_csMap);
        partition.m_pClusterMap.reset();
    }
    if (nStarted == STATE_MONITORING && partition.m_nState == STATE_IDLE && partition.m_bBackgroundMode)
    {
        partition.m_nState = STATE_MONITORING;
        partition.ReportState();
    }
    return bWalked ? 1 : 0;
}

bool CDefragPartition::Analyze()
{
    EnterPhase(PHASE_SETUP);
    {
        CSectionLock lock(m_csPending);
        m_pendingFiles.RemoveAll();
        m_nFragmentedEntries = 0;
    }
    Initialize();
    ResetAnalysisFigures();
    if (!FillMapForAnalysis())
        return false;
    sysclock::GetSystemTimeAsFileTime(&m_ftAnalysisTime);
    const WALK eWalk = m_nFileSystem == FS_NTFS && m_bMftReadable ? WalkMft() : WalkDirectories();
    if (eWalk == WALK::Failed)
        return false;
    m_bAnalysisFresh = eWalk == WALK::Completed;
    if (m_bAnalysisFresh)
        m_nProgress = 100;
    SetStatusText(L" ");
    m_nState = STATE_IDLE;
    ReportState();
    SendClusterMapChanges();
    return m_bAnalysisFresh;
}

void CDefragPartition::ResetAnalysisFigures()
{
    m_nProgress = 0;
    m_nFilesExamined = 0;
    m_nFilesWithClusters = 0;
    m_nFilesMoved = 0;
    m_nFilesDefragmented = 0;
    m_llFragmentedClusters = 0;
    m_bCheckCompleted = false;
}

// The map starts again from the bitmap; the walk then classifies what is in use.
bool CDefragPartition::FillMapForAnalysis()
{
    if (!HasClusterMap())
        return true;
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
    {
        m_nState = STATE_IDLE;
        ReportState();
        return false;
    }
    ReportState();
    {
        CSectionLock lock(m_csMap);
        if (!m_pClusterMap)
            return true;
        m_pClusterMap->Fill(volume.Get());
        if (m_nFileSystem == FS_NTFS && m_llMftZoneStart >= 0 && m_llMftZoneEnd >= m_llMftZoneStart)
            m_pClusterMap->AddRange(m_llMftZoneStart, m_llMftZoneEnd - m_llMftZoneStart + 1, KIND_MFT_ZONE);
    }
    SendClusterMap(AllSubscribers);
    return true;
}

CUnicodeString CDefragPartition::RootPath() const
{
    CUnicodeString strDrivePath = GetDrivePath();
    return strDrivePath.GetLength() > 0 ? strDrivePath : m_strVolumeName;
}

// Clusters met can exceed the used clusters of the volume while files grow under the walk.
int32_t CDefragPartition::ProgressOf(int64_t llCounted) const
{
    const int64_t llUsed = m_llUsedClusters;
    if (llUsed <= 0)
        return m_nProgress;
    return static_cast<int32_t>(std::min<int64_t>(100, std::max<int64_t>(0, llCounted) * 100 / llUsed));
}

// With a step delay the wait is the throttle, once per step. Without one the event is looked
// at after the first few steps and then once a clock tick has passed: each look is a round
// trip to the kernel that costs as much as hundreds of steps, while a tick is as soon as a
// stop is ever needed.
bool CDefragPartition::IsStepStopped(STOP_LOOK& look)
{
    constexpr uint32_t StepsPerLook = 64;
    constexpr ULONGLONG LookIntervalMs = 10;
    if (m_nAnalysisStepDelay > 0)
        return IsStopRequested(static_cast<DWORD>(m_nAnalysisStepDelay));
    if (++look.uSteps % StepsPerLook != 0)
        return false;
    const ULONGLONG ullNow = ::GetTickCount64();
    if (look.uSteps != StepsPerLook && ullNow - look.ullLastTick < LookIntervalMs)
        return false;
    look.ullLastTick = ullNow;
    return IsStopRequested(0);
}

bool CDefragPartition::IsStopRequested(DWORD dwWait)
{
    if (::WaitForSingleObject(m_hStopEvent, dwWait) != WAIT_OBJECT_0)
        return false;
    ::ResetEvent(m_hStopEvent);
    return true;
}

int32_t CDefragPartition::FaultyState() const
{
    return m_bBackgroundMode ? STATE_FAULTY_MONITORING : STATE_FAULTY;
}

int CDefragPartition::GetZoneFileCount()
{
    CSectionLock lock(m_csZoneFiles);
    return m_zoneFiles.GetSize();
}
