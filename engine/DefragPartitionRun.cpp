#include "engine/DefragPartition.h"

#include <algorithm>

#include "engine/NtfsRecordReader.h"
#include "engine/SysHandle.h"
#include "platform/Clock.h"

namespace {

constexpr int64_t NoTimeLimit = 4294967295LL;
constexpr int32_t MaxPendingShare = 50;
constexpr int64_t RecentWriteSlackSeconds = 30;
constexpr int64_t RetryDelaySeconds = 60;
constexpr int32_t ExtraChecksBeforeDrop = 5;
constexpr int64_t NewFileSeconds = 10;
constexpr int64_t LargeFileBytes = 1048576;
constexpr DWORD DefragmentationExitCode = 13;
// Seconds between 1601 and 1970, in the 100-nanosecond units of a file time.
constexpr int64_t FileTimeTo1970 = 116444736000000000LL;
constexpr int64_t FileTimeUnitsPerSecond = 10000000LL;

int64_t Now()
{
    return sysclock::Seconds();
}

} // namespace

// One pending entry while the pass works on it: a copy taken under the list lock, written
// back or removed under it again.
struct CDefragPartition::PENDING_WORK
{
    CUnicodeString strPath;
    PENDING_FILE_ENTRY stValues = {};
    int32_t nCountAfterTests = 0;
    bool bAttributesKnown = false;  // the file's attributes could be read
    DWORD dwAttributes = 0;
    int64_t llClusters = 0;
    bool bFragmented = false;
    bool bDone = false;
};

bool CDefragPartition::IsStopSet() const
{
    return m_hStopEvent != nullptr && ::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0;
}

bool CDefragPartition::IsMftPath(const CUnicodeString& strPath, const wchar_t* pszSuffix) const
{
    // Only the MFT itself: a file that merely holds the name somewhere is an ordinary file.
    const CUnicodeString strMft = DriveOrVolumeName() + pszSuffix;
    return strPath.CompareNoCase(strMft) == 0;
}

DWORD WINAPI CDefragPartition::DefragmentationThreadProc(LPVOID pParameter)
{
    CDefragPartition* pThis = static_cast<CDefragPartition*>(pParameter);
    const int32_t nRemembered = pThis->m_nState;
    uint32_t uRemaining = 0;
    pThis->Defragment(-1, 0, uRemaining);
    if (nRemembered == STATE_MONITORING && pThis->m_nState == STATE_IDLE && pThis->m_bBackgroundMode)
    {
        pThis->m_nState = STATE_MONITORING;
        pThis->ReportState();
    }
    return DefragmentationExitCode;
}

bool CDefragPartition::StartDefragmentation(const RUN_REQUEST* pRequest)
{
    const int32_t nState = m_nState;
    if (IsJobRunning())
        return false;
    if ((nState != STATE_IDLE && nState != STATE_MONITORING && nState != STATE_FAULTY &&
         nState != STATE_FAULTY_MONITORING) ||
        !LaunchJobThread(&DefragmentationThreadProc, false, STATE_DEFRAGMENTING, pRequest))
    {
        ReportState();
        return false;
    }
    return true;
}

void CDefragPartition::ForceMoveModifiedFilesToEnd(int32_t nValue)
{
    m_nMoveModifiedFilesToEnd = nValue;
    m_bForcedMoveToEnd = true;
}

bool CDefragPartition::EndRunEarly(bool bFailed)
{
    ::ResetEvent(m_hStopEvent);
    if (bFailed && m_stSkips.nStopped == 0)
        m_stSkips.nRunRefused = 1;
    WriteRunFailures();
    return !bFailed;
}

bool CDefragPartition::Defragment(int64_t llTimeLimit, int32_t nWaitSeconds, uint32_t& uRemaining)
{
    const bool bManual = llTimeLimit == -1;
    const CIndexedSearches indexed(*this, bManual);
    if (!bManual && GetPendingFileCount() == 0)
    {
        uRemaining = 0;
        if (m_nState != STATE_IDLE)
        {
            m_nState = STATE_IDLE;
            ReportState();
        }
        return true;
    }
    m_nProgress = 0;
    m_bManualRun = bManual;
    m_stSkips = RUN_SKIPS();
    m_runFailures.Clear();
    // A job or step took its settings when it was accepted.
    if (!IsWorkUnderWay())
        TakeRunSettings();
    m_stSlides = SLIDE_COUNTS();
    const int64_t llStart = Now();
    const int64_t llLimit = bManual ? NoTimeLimit : llTimeLimit;
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
    {
        m_nState = STATE_IDLE;
        ReportState();
        return EndRunEarly(true);
    }
    const bool bFilePass = bManual && m_nFileSystem == FS_NTFS && m_bMftReadable && m_stRun.nMethod == 1;
    int32_t nShare = bFilePass ? PendingShare() : 100;
    WaitForDiskIdle(volume.Get());
    if (m_nFileSystem == FS_NTFS && !CheckNtfsBeforeRun(volume.Get()))
        return EndRunEarly(true);
    if (!CheckBeforeRun(bManual))
        return EndRunEarly(true);
    if (bManual && !m_bAnalysisFresh)
    {
        if (!AnalyzeBeforeRun())
            return EndRunEarly(true);
        if (bFilePass)
            nShare = PendingShare();
    }
    m_bAnalysisFresh = false;
    m_hints.Clear();

    int nIndex = 0;
    const int64_t llStartCount = GetPendingFileCount();
    bool bFirstFile = bManual;
    bool bWorkedThrough = false;
    int64_t llNow = llStart;
    while (llNow < llStart + llLimit)
    {
        if (!(GetStatusText() == L" "))
        {
            SetStatusText(L" ");
            ReportState();
        }
        if (bManual)
        {
            const int64_t llCount = GetPendingFileCount();
            const int64_t llOf = std::max(llCount, llStartCount);
            const int32_t nProgress = llOf < 1 ? nShare
                                               : static_cast<int32_t>(std::min<int64_t>(
                                                     nShare, (nIndex + llOf - llCount) * nShare / llOf));
            if (nProgress != m_nProgress)
            {
                m_nProgress = nProgress;
                ReportState();
            }
        }
        else
        {
            bFirstFile = false;
        }
        if (IsStopSet())
            break;
        if (!PendingPassEntry(volume.Get(), nWaitSeconds, bManual, bFirstFile, nIndex, llNow))
        {
            bWorkedThrough = true;
            break;
        }
        llNow = Now();
    }

    m_bAnalysisFresh = false;
    if (!bWorkedThrough)
    {
        uRemaining = GetPendingFileCount();
        const bool bEntriesLeft = static_cast<int64_t>(nIndex) < static_cast<int64_t>(uRemaining);
        m_stSkips.nStopped = bEntriesLeft ? static_cast<int32_t>(uRemaining) - nIndex : 0;
        if (!bEntriesLeft && bManual)
            m_llLastManualDefragTime = Now();
        m_nState = STATE_IDLE;
        if (!bEntriesLeft)
            m_nProgress = 100;
        SetStatusText(L" ");
        ReportState();
        return EndRunEarly(bEntriesLeft);
    }
    if (bFilePass)
    {
        m_nState = STATE_DEFRAGMENTING;
        m_nProgress = nShare;
        ReportState();
        DefragmentFiles(nShare, 100 - nShare);
    }
    uRemaining = 0;
    m_nProgress = 100;
    m_nState = bManual ? STATE_DEFRAGMENTING : STATE_AUTO_DEFRAGMENTING;
    ReportState();
    m_nState = STATE_IDLE;
    ReportState();
    SetStatusText(L" ");
    if (bManual)
        m_llLastManualDefragTime = Now();
    ReportState();
    return EndRunEarly(false);
}

int32_t CDefragPartition::PendingShare() const
{
    if (m_llUsedClusters <= 0)
        return MaxPendingShare;
    return static_cast<int32_t>(
        std::min<int64_t>(MaxPendingShare, std::max<int64_t>(0, m_llFragmentedClusters) * 100 / m_llUsedClusters));
}

bool CDefragPartition::CheckNtfsBeforeRun(HANDLE hVolume)
{
    CNtfsRecordReader reader(hVolume, static_cast<DWORD>(m_nBytesPerFileRecord), static_cast<DWORD>(m_nBytesPerCluster));
    if (reader.BeginEnumeration() < 0)
    {
        m_nState = STATE_VOLUME_ERROR;
        ReportState(hVolume);
        m_nState = STATE_IDLE;
        return false;
    }
    if (reader.IsVolumeDirty())
    {
        m_nProgress = 0;
        m_nState = m_bBackgroundMode ? STATE_FAULTY_MONITORING : STATE_FAULTY;
        ReportState();
        return false;
    }
    return true;
}

bool CDefragPartition::CheckBeforeRun(bool bManual)
{
    // Bit 0 asks for a check before a background step, bit 1 before a run of a client. A
    // manual run is told by its own kind, not by the volume's background mode, which a run
    // on a monitored volume would otherwise take for a step and refuse.
    if (m_bCheckCompleted)
        return true;
    bool bResult = true;
    if (!bManual && (m_nRunChkDskBeforeDefrag == 1 || m_nRunChkDskBeforeDefrag == 3))
        bResult = RunCheckDiskAndWait();
    else if (bManual && (m_nRunChkDskBeforeDefrag == 2 || m_nRunChkDskBeforeDefrag == 3))
        bResult = RunCheckDiskNow();
    else
        return true;
    const int32_t nState = m_nState;
    return bResult && m_bCheckCompleted && nState != STATE_FAULTY && nState != STATE_FAULTY_MONITORING;
}

void CDefragPartition::ChangeTests(PENDING_WORK& work, int32_t nWaitSeconds, int64_t llNow)
{
    if (m_nUseLastWriteTime != 1 && m_nUseLastFileSize != 1)
        return;
    WIN32_FILE_ATTRIBUTE_DATA stData = {};
    if (work.strPath.GetBuffer() == nullptr ||
        !sys::GetFileAttributesExW(work.strPath.GetBuffer(), GetFileExInfoStandard, &stData))
        return;
    work.bAttributesKnown = true;
    work.dwAttributes = stData.dwFileAttributes;
    if (m_nUseLastWriteTime == 1)
    {
        const int64_t llFileTime =
            (static_cast<int64_t>(stData.ftLastWriteTime.dwHighDateTime) << 32) | stData.ftLastWriteTime.dwLowDateTime;
        const int64_t llWritten = (llFileTime - FileTimeTo1970) / FileTimeUnitsPerSecond;
        if (llWritten < llNow + RecentWriteSlackSeconds && stData.ftLastWriteTime.dwLowDateTime != 0 &&
            work.stValues.llLastSeen < llWritten)
        {
            if (llWritten + nWaitSeconds >= llNow)
                ++work.stValues.nChangeCount;
            work.stValues.llLastSeen = llWritten;
        }
    }
    if (m_nUseLastFileSize == 1)
    {
        const int64_t llSize = (static_cast<int64_t>(stData.nFileSizeHigh) << 32) | stData.nFileSizeLow;
        if (llSize != work.stValues.llSize)
        {
            work.stValues.llSize = llSize;
            ++work.stValues.nChangeCount;
            work.stValues.llLastSeen = llNow;
        }
    }
}

bool CDefragPartition::IsHeldBack(const PENDING_WORK& work, int32_t nWaitSeconds, int64_t llNow) const
{
    const PENDING_FILE_ENTRY& st = work.stValues;
    const bool bTestsOff = m_nUseLastWriteTime != 1 && m_nUseLastFileSize != 1;
    if (st.llLastSeen + nWaitSeconds < llNow)
        return false;
    if (!(bTestsOff || m_nMaxChecksBeforeDefrag == 0 || st.nChangeCount <= m_nMaxChecksBeforeDefrag))
        return false;
    if (!(bTestsOff || m_nMaxTimeBeforeDefrag == 0 || st.llFirstSeen + m_nMaxTimeBeforeDefrag >= llNow))
        return false;
    const bool bDirectory = work.bAttributesKnown && (work.dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!(m_nUseLastFileSize != 1 || st.llSize != 0 || bDirectory))
        return false;
    if (m_nUseLastWriteTime == 0 && m_nUseLastFileSize == 0 && st.nChangeCount == 0)
    {
        WIN32_FILE_ATTRIBUTE_DATA stData = {};
        const bool bRead = work.strPath.GetBuffer() != nullptr &&
                           sys::GetFileAttributesExW(work.strPath.GetBuffer(), GetFileExInfoStandard, &stData);
        return st.llFirstSeen + NewFileSeconds >= llNow || !bRead || stData.nFileSizeLow >= LargeFileBytes;
    }
    return true;
}

bool CDefragPartition::PendingPassEntry(HANDLE hVolume, int32_t nWaitSeconds, bool bManual, bool& bFirstFile,
                                        int& nIndex, int64_t llNow)
{
    PENDING_WORK work;
    {
        CSectionLock lock(m_csPending);
        const PENDING_FILE_ENTRY* pEntry = m_pendingFiles.GetAt(nIndex);
        if (pEntry == nullptr)
            return false;
        work.strPath = *pEntry->pPath;
        work.stValues = *pEntry;
        work.stValues.pPath = nullptr;
    }
    const int nLength = work.strPath.GetLength();
    if (m_nFileSystem != FS_NTFS && nLength > 0 && work.strPath.GetBuffer()[nLength - 1] == L'\\')
    {
        ++nIndex;
        return true;
    }
    if (!bManual)
    {
        ChangeTests(work, nWaitSeconds, llNow);
        if (IsHeldBack(work, nWaitSeconds, llNow))
        {
            ++m_stSkips.nHeldBack;
            FinishEntry(work, nIndex);
            return true;
        }
    }
    work.nCountAfterTests = work.stValues.nChangeCount;
    ++work.stValues.nChangeCount;
    HandleEntry(hVolume, work, bManual, bFirstFile);
    FinishEntry(work, nIndex);
    ReportState();
    return true;
}

void CDefragPartition::FinishEntry(PENDING_WORK& work, int& nIndex)
{
    CSectionLock lock(m_csPending);
    if (work.bDone)
    {
        RemovePendingLocked(work.strPath);
        return;
    }
    m_pendingFiles.Update(nIndex, &work.strPath, work.stValues);
    ++nIndex;
}

void CDefragPartition::HandleEntry(HANDLE hVolume, PENDING_WORK& work, bool bManual, bool& bFirstFile)
{
    BeginMoveFailure(work.strPath.GetBuffer());
    HANDLE hOpened = INVALID_HANDLE_VALUE;
    DWORD dwOpenError = ERROR_SUCCESS;
    bool bOpened = OpenFileForMove(work.strPath.GetBuffer(), hOpened, &dwOpenError);
    if (bOpened)
    {
        CSysHandle file(hOpened);
        BY_HANDLE_FILE_INFORMATION stInfo = {};
        if (sys::GetFileInformationByHandle(file.Get(), &stInfo))
        {
            work.bAttributesKnown = true;
            work.dwAttributes = stInfo.dwFileAttributes;
        }
        work.bFragmented = GetFileExtents(file.Get(), work.llClusters, m_extents);
    }
    if (!work.bFragmented)
    {
        // In place already, or gone. A step drops the entry unless it is new and unchanged,
        // which gets one more look; a run keeps what it could not open.
        if (!bOpened)
        {
            ++m_stSkips.nNotOpened;
            NoteMoveFailure(L"CreateFileW", dwOpenError, true, -1, -1);
            m_runFailures.Add(m_stMoveFailure);
        }
        work.bDone = bManual ? bOpened : work.nCountAfterTests != 0;
        return;
    }
    const int32_t nMovingState = bManual ? STATE_DEFRAGMENTING : STATE_AUTO_DEFRAGMENTING;
    if (m_nState != nMovingState)
    {
        m_nState = nMovingState;
        ReportState();
    }
    int64_t llTarget = -1;
    bool bNoTarget = false;
    bool bFound = FindTarget(hVolume, work, bFirstFile, llTarget, bNoTarget);
    if (!bFound && bManual && !bNoTarget)
    {
        const uint64_t ullHint = m_hints.GetSearchStart(static_cast<uint64_t>(work.llClusters));
        if (JoinExtentPairs(hVolume, work.strPath.GetBuffer(),
                            ullHint == CFreeRunHints::NoneLeft ? -1 : static_cast<int64_t>(ullHint)))
        {
            CountDefragmented(work);
            work.bDone = true;
        }
        else
        {
            uint32_t uExtents = 0;
            MoveFileInPieces(hVolume, work.strPath.GetBuffer(), uExtents, m_extents);
            ++m_stSkips.nNoFreeRun;
            m_runFailures.Add(m_stMoveFailure);
        }
        // The pieces took free space and gave some back: the hints start over.
        m_hints.Clear();
        return;
    }
    if (!bFound)
    {
        if (bNoTarget)
            ++m_stSkips.nNoTarget;
        else
            ++m_stSkips.nNoFreeRun;
        AfterUnmovedEntry(work, bManual);
        return;
    }
    CExtentList target;
    const bool bMoved = MoveFileWithMap(hVolume, work.strPath.GetBuffer(), true, llTarget, work.llClusters, m_extents,
                                        target);
    if (bMoved)
    {
        for (uint32_t u = 0; u < m_extents.GetCount(); ++u)
        {
            int64_t llStart = 0;
            int64_t llLength = 0;
            if (m_extents.Get(u, llStart, llLength))
                m_hints.OnClustersFreed(static_cast<uint64_t>(llStart), static_cast<uint64_t>(llLength));
        }
        if (m_stRun.nUseLayoutIni != 0 && m_llBootZoneClusters > 0)
            m_bootFiles.Remove(work.strPath.GetBuffer());
        CountDefragmented(work);
        work.bDone = true;
        return;
    }
    ++m_stSkips.nMoveFailed;
    m_runFailures.Add(m_stMoveFailure);
    AfterFailedMove(work);
    AfterUnmovedEntry(work, bManual);
}

void CDefragPartition::CountDefragmented(const PENDING_WORK& work)
{
    ++m_nFilesDefragmented;
    if (work.stValues.bFragmented)
        LowerCounter(m_llFragmentedClusters, work.llClusters);
}

void CDefragPartition::AfterUnmovedEntry(PENDING_WORK& work, bool bManual)
{
    if (!work.stValues.bFragmented)
    {
        {
            CSectionLock lock(m_csPending);
            ++m_nFragmentedEntries;
        }
        work.stValues.bFragmented = 1;
        ReportState();
    }
    if (bManual || work.nCountAfterTests == 0)
        return;
    // A step gives a file that keeps refusing a few more tries, a minute apart, and then
    // lets it go until it changes again.
    if (m_nFileSystem == FS_NTFS && work.stValues.nChangeCount < m_nMaxChecksBeforeDefrag + ExtraChecksBeforeDrop &&
        work.bAttributesKnown)
    {
        if (work.stValues.nChangeCount > 1)
            work.stValues.llLastSeen += RetryDelaySeconds;
        return;
    }
    work.bDone = true;
}

bool CDefragPartition::FindTarget(HANDLE hVolume, PENDING_WORK& work, bool& bFirstFile,
                                  int64_t& llTarget, bool& bNoTarget)
{
    llTarget = -1;
    bNoTarget = false;
    const int64_t llLength = work.llClusters;
    const int64_t llFree = m_llTotalClusters - m_llUsedClusters;
    if (m_llMftStartLcn != 0 && IsMftPath(work.strPath, L"$MFT"))
    {
        // The MFT goes back to its own start once the span behind it is cleared, and only once
        // until the geometry is read again.
        if (m_llMftStartLcn == m_llMftSpanStart && m_llMftStartLcn > 0 && ClearMftSpan())
        {
            llTarget = m_llMftStartLcn;
            m_llMftStartLcn = 0;
            return true;
        }
        bNoTarget = true;
        return false;
    }
    if (IsMftPath(work.strPath, L"$MFT::$BITMAP"))
    {
        bNoTarget = true;
        return false;
    }
    if (llLength <= 0 || llLength >= llFree)
        return false;
    if (bFirstFile)
    {
        // The first file of a run goes behind the used part, where the largest free run is.
        bFirstFile = false;
        return FindFreeRun(hVolume, m_llUsedClusters, llLength, llTarget);
    }
    const uint64_t ullStart = m_hints.GetSearchStart(static_cast<uint64_t>(llLength));
    if (ullStart == CFreeRunHints::NoneLeft)
        return false;
    if (!FindFreeRun(hVolume, static_cast<int64_t>(ullStart), llLength, llTarget))
        return false;
    m_hints.UpdateAfterSearch(static_cast<uint64_t>(llTarget), static_cast<uint64_t>(llLength),
                              static_cast<uint64_t>(llTarget));
    return true;
}

void CDefragPartition::AfterFailedMove(PENDING_WORK& work)
{
    // A move cut short may have moved part of the file: the map follows what is there now.
    CExtentList now;
    int64_t llClusters = 0;
    const bool bFragmented = GetFileExtentsByPath(work.strPath.GetBuffer(), llClusters, now);
    CSectionLock lock(m_csMap);
    if (!m_pClusterMap)
        return;
    const int32_t nKind = GetFileKind(work.strPath.GetBuffer(),
                                      (work.dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? KIND_DIRECTORY : KIND_FILE, -1);
    const int32_t anKinds[] = {KIND_USED, nKind, KIND_FRAGMENTED};
    for (int32_t nKindOf : anKinds)
    {
        m_extents.SetKind(nKindOf);
        m_pClusterMap->RemoveExtents(m_extents);
    }
    m_extents.SetKind(KIND_FREE);
    m_pClusterMap->AddExtents(m_extents);
    now.SetKind(KIND_FREE);
    m_pClusterMap->RemoveExtents(now);
    for (int32_t nKindOf : anKinds)
        if (nKindOf != KIND_FRAGMENTED || bFragmented)
        {
            now.SetKind(nKindOf);
            m_pClusterMap->AddExtents(now);
        }
}

bool CDefragPartition::AnalyzeBeforeRun()
{
    SubscribeClusterMap(ClientBuildOnly, true);
    m_nState = STATE_ANALYZING;
    ReportState();
    m_nAnalysisStepDelay = 0;
    return Analyze() && !IsStopSet();
}
