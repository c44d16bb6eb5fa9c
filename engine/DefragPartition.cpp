#include "engine/DefragPartition.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "engine/FileChangeMonitor.h"
#include "engine/NtfsRecordReader.h"
#include "engine/PartitionOwner.h"
#include "engine/SysHandle.h"
#include "engine/SystemLevel.h"
#include "engine/VolumeBitmapReader.h"
#include "engine/VolumeBitmapSource.h"
#include "platform/Clock.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionListEntry.h"
#include "protocol/NetDefragPartitionNameList.h"

namespace {

LONG g_lNextIndex = 0;

constexpr DWORD StopWaitMs = 500;

const wchar_t* FileSystemName(int32_t nCode)
{
    switch (nCode)
    {
    case FS_FAT: return L"FAT";
    case FS_FAT32: return L"FAT32";
    case FS_NTFS: return L"NTFS";
    case FS_EXFAT: return L"exFAT";
    default: return L"none";
    }
}

int32_t FileSystemCode(const wchar_t* pszName)
{
    static const struct
    {
        const wchar_t* pszName;
        int32_t nCode;
    } codes[] = {{L"FAT", FS_FAT}, {L"FAT32", FS_FAT32}, {L"exFAT", FS_EXFAT}, {L"NTFS", FS_NTFS}};
    for (const auto& code : codes)
        if (std::wcscmp(pszName, code.pszName) == 0)
            return code.nCode;
    return FS_NONE;
}

} // namespace

CDefragPartition::CDefragPartition(const CUnicodeString& strVolumeName, CPartitionOwner* pOwner)
    : CFileChangeListener(strVolumeName), m_nFilesExamined(0), m_nFilesWithClusters(0), m_nFilesMoved(0),
      m_nFilesDefragmented(0), m_llFragmentedClusters(0), m_nFragmentedEntries(0), m_nProgress(0),
      m_pOwner(pOwner), m_nIndex(::InterlockedIncrement(&g_lNextIndex)), m_strVolumeName(strVolumeName),
      m_nState(STATE_IDLE), m_bBackgroundMode(false), m_bPaused(false), m_bClientConnected(false),
      m_nSubscriberCount(0), m_bAnalysisFresh(false), m_hJobThread(nullptr), m_dwJobThreadId(0), m_pfnJob(nullptr),
      m_lStartingState(STATE_IDLE), m_hStopEvent(nullptr),
      m_nAnalysisStepDelay(0), m_nUseIOGuard(2), m_nIOGuardWaitTime(200), m_nIOGuardMinIdlePercentage(95),
      m_llLastQueryTime(0), m_llLastIdleTime(0), m_bManualRun(false), m_nUseLayoutIni(0), m_bSystemVolume(false),
      m_llBootZoneClusters(0), m_nLayoutIniForesightDivider(3), m_nUseEveryOverlappedMove(0), m_nUseLastWriteTime(1),
      m_nUseLastFileSize(1), m_nMoveModifiedFilesToEnd(0), m_bForcedMoveToEnd(false), m_nMethod(1),
      m_nUseFastStopMethod(1), m_nMaxMBMove(100), m_nFileSystem(FS_NONE), m_bMftReadable(true),
      m_llMftZoneStart(-1), m_llMftZoneEnd(-1), m_llTotalClusters(0), m_llUsedClusters(-1),
      m_dwBitmapBufferBytes(0), m_nBytesPerFileRecord(-1), m_nBytesPerCluster(-1), m_nBytesPerSector(0),
      m_llMftStartLcn(-1), m_llMftSpanEnd(-1), m_llMftMirrorStartLcn(-1), m_llMftSpanStart(0),
      m_strStatusText(L" "), m_nNtfsMajorVersion(-1),
      m_nNtfsMinorVersion(-1), m_nNtfsVolumeFlags(-1), m_bListOverflow(false), m_llLastAddRemoveTime(0),
      m_llLastModifyTime(0), m_nPartitionBackgroundFileListMax(3000), m_llLastManualDefragTime(0),
      m_nRunChkDskBeforeDefrag(0), m_bCheckCompleted(false), m_nChkDskLevel(0), m_nMaxChecksBeforeDefrag(0),
      m_nMaxTimeBeforeDefrag(3600), m_nLastModificationTimeInterval(24), m_nMaxTimeMoveHighFragFiles(300),
      m_anSubscribers(), m_pChangeMonitor(nullptr), m_bWatchLost(false), m_ftAnalysisTime(), m_bStepRunning(false),
      m_hStepEnded(nullptr), m_ullStepDeadline(0), m_hints(), m_stSkips(),
      m_stRun{m_nMethod, m_nMoveModifiedFilesToEnd, m_nUseLayoutIni}, m_stSlides(), m_nFreedAtOnce(-1)
{
    if (m_strVolumeName.GetLength() > 0)
        ReadLastManualDefragTime();
}

CDefragPartition::~CDefragPartition()
{
    StopJob();
    // A job that outlives the stop's grace period still uses this object: nothing is freed
    // before it has ended. It sees the stop event between its steps, and a pause no longer
    // holds it.
    m_bPaused = false;
    if (m_hStopEvent)
        ::SetEvent(m_hStopEvent);
    WaitForJobThread(INFINITE);
    if (m_strVolumeName.GetLength() > 0)
        WriteLastManualDefragTime();
    if (m_hStopEvent)
        ::CloseHandle(m_hStopEvent);
    if (m_hStepEnded)
        ::CloseHandle(m_hStepEnded);
}

HANDLE CDefragPartition::OpenVolume() const
{
    // "C:\" becomes "\\.\C:"; a GUID name loses its trailing backslash, which would name the
    // root directory.
    CUnicodeString strDevice = m_strVolumeName.Left(m_strVolumeName.GetLength() - 1);
    if (strDevice.GetLength() < 4)
        strDevice = L"\\\\.\\" + strDevice;
    HANDLE hVolume = sys::CreateFileW(strDevice.GetBuffer() ? strDevice.GetBuffer() : L"", GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hVolume != INVALID_HANDLE_VALUE)
        return hVolume;
    return sys::CreateFileW(m_strVolumeName.GetBuffer() ? m_strVolumeName.GetBuffer() : L"", GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool CDefragPartition::Initialize()
{
    m_llUsedClusters = -1;
    if (m_hStopEvent == nullptr)
        m_hStopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_hStepEnded == nullptr)
        m_hStepEnded = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (m_hStopEvent == nullptr || m_hStepEnded == nullptr || m_strVolumeName.GetLength() == 0)
        return false;
    VOLUME_IDENTITY next;
    next.strDrivePath = FindDrivePath();
    wchar_t szLabel[256] = {};
    wchar_t szFileSystem[256] = {};
    DWORD dwFlags = 0;
    DWORD dwMaxComponent = 0;
    if (!sys::GetVolumeInformationW(m_strVolumeName.GetBuffer(), szLabel, 255, &next.dwSerialNumber,
                                    &dwMaxComponent, &dwFlags, szFileSystem, 255) ||
        (dwFlags & FILE_READ_ONLY_VOLUME) != 0)
        return false;
    next.strLabel = szLabel;
    next.nFileSystem = FileSystemCode(szFileSystem);
    m_nFileSystem = next.nFileSystem;
    if (m_nFileSystem == FS_NTFS && !ReadNtfsGeometry(next.stNtfsData))
        return false;
    ULARGE_INTEGER uliAvailable = {};
    ULARGE_INTEGER uliTotal = {};
    ULARGE_INTEGER uliFree = {};
    if (!sys::GetDiskFreeSpaceExW(m_strVolumeName.GetBuffer(), &uliAvailable, &uliTotal, &uliFree))
        return false;
    next.llTotalBytes = static_cast<int64_t>(uliTotal.QuadPart);
    next.llFreeBytes = static_cast<int64_t>(uliFree.QuadPart);
    if (m_nFileSystem != FS_NTFS || m_llUsedClusters <= 0)
    {
        DWORD dwSectorsPerCluster = 0;
        DWORD dwBytesPerSector = 0;
        DWORD dwFreeClusters = 0;
        DWORD dwTotalClusters = 0;
        if (!sys::GetDiskFreeSpaceW(m_strVolumeName.GetBuffer(), &dwSectorsPerCluster, &dwBytesPerSector,
                                    &dwFreeClusters, &dwTotalClusters))
            return false;
        const int64_t llBytesPerCluster = static_cast<int64_t>(dwSectorsPerCluster) * dwBytesPerSector;
        if (llBytesPerCluster <= 0 || llBytesPerCluster > INT32_MAX)
            return false;
        m_nBytesPerCluster = static_cast<int32_t>(llBytesPerCluster);
        m_llUsedClusters = (next.llTotalBytes - next.llFreeBytes) / llBytesPerCluster;
        m_llTotalClusters = dwTotalClusters;
        m_nBytesPerSector = static_cast<int32_t>(dwBytesPerSector);
    }
    if (!AllocateBitmapBuffer())
        return false;
    wchar_t szWindows[MAX_PATH + 1] = {};
    m_bSystemVolume = next.strDrivePath.GetLength() > 0 && sys::GetWindowsDirectoryW(szWindows, MAX_PATH) != 0 &&
                      std::towupper(szWindows[0]) == std::towupper(next.strDrivePath.GetBuffer()[0]);
    {
        CSectionLock lock(m_csIdentity);
        m_identity = next;
    }
    LoadSettings();
    return true;
}

VOLUME_IDENTITY CDefragPartition::GetIdentity() const
{
    CSectionLock lock(m_csIdentity);
    return m_identity;
}

CUnicodeString CDefragPartition::FindDrivePath() const
{
    wchar_t szRoot[] = L"A:\\";
    for (wchar_t chLetter = L'A'; chLetter <= L'Z'; ++chLetter)
    {
        szRoot[0] = chLetter;
        wchar_t szName[1024] = {};
        if (sys::GetVolumeNameForVolumeMountPointW(szRoot, szName, 1024) &&
            std::wcsstr(szName, m_strVolumeName.GetBuffer()) != nullptr)
            return CUnicodeString(szRoot);
    }
    if (m_strVolumeName.GetLength() == 3)
        return m_strVolumeName;
    return CUnicodeString();
}

bool CDefragPartition::ReadNtfsGeometry(NTFS_VOLUME_DATA& stData)
{
    if (!m_pRecordBuffer)
    {
        m_pRecordBuffer.reset(new (std::nothrow) BYTE[RecordBufferBytes]);
        if (!m_pRecordBuffer)
            return false;
    }
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
        return false;
    DWORD dwReturned = 0;
    if (!sys::DeviceIoControl(volume.Get(), FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &stData, sizeof(stData),
                              &dwReturned, nullptr) ||
        dwReturned < sizeof(stData))
        return false;
    m_llTotalClusters = stData.llTotalClusters;
    m_llUsedClusters = stData.llTotalClusters - stData.llFreeClusters;
    m_llMftZoneStart = stData.llMftZoneStart;
    m_llMftZoneEnd = stData.llMftZoneEnd;
    m_llMftStartLcn = stData.llMftStartLcn;
    m_llMftMirrorStartLcn = stData.llMft2StartLcn;
    m_nBytesPerSector = static_cast<int32_t>(stData.dwBytesPerSector);
    m_nBytesPerCluster = static_cast<int32_t>(stData.dwBytesPerCluster);
    m_nBytesPerFileRecord = static_cast<int32_t>(stData.dwBytesPerFileRecordSegment);
    if (GetSystemLevel() != 1)
        ApplyMftZoneRule();
    CNtfsRecordReader reader(volume.Get(), stData.dwBytesPerFileRecordSegment, stData.dwBytesPerCluster);
    BYTE byMajor = 0;
    BYTE byMinor = 0;
    WORD wFlags = 0;
    if (reader.GetVolumeInformation(byMajor, byMinor, wFlags))
    {
        m_nNtfsMajorVersion = byMajor;
        m_nNtfsMinorVersion = byMinor;
        m_nNtfsVolumeFlags = wFlags;
    }
    return true;
}

void CDefragPartition::ApplyMftZoneRule()
{
    // A full volume gets the space of a large MFT zone back for files.
    if (m_llTotalClusters <= 0)
        return;
    const int64_t llZone = m_llMftZoneEnd - m_llMftZoneStart;
    if (llZone * 100 / m_llTotalClusters > 10 &&
        m_llUsedClusters + m_llUsedClusters / 100 * 20 >= m_llTotalClusters)
    {
        const int64_t llEnd = m_llMftZoneStart + m_llMftZoneStart / 100 * 10;
        if (llEnd < m_llMftZoneEnd)
            m_llMftZoneEnd = llEnd;
    }
}

bool CDefragPartition::AllocateBitmapBuffer()
{
    const DWORD dwBytes = CVolumeBitmapReader::BufferBytesFor(m_llTotalClusters, MaxBitmapBytes);
    CSectionLock lock(m_csBitmap);
    if (m_pBitmapBuffer && dwBytes == m_dwBitmapBufferBytes)
        return true;
    // ULONG-aligned for the bit searches: the bits start 16 bytes in.
    m_pBitmapBuffer.reset(new (std::nothrow) BYTE[dwBytes]);
    m_dwBitmapBufferBytes = m_pBitmapBuffer ? dwBytes : 0;
    return m_pBitmapBuffer != nullptr;
}

bool CDefragPartition::StartJobThread(LPTHREAD_START_ROUTINE pfnJob)
{
    return LaunchJobThread(pfnJob, false);
}

bool CDefragPartition::StartStepJobThread(LPTHREAD_START_ROUTINE pfnJob)
{
    return LaunchJobThread(pfnJob, true);
}

bool CDefragPartition::LaunchJobThread(LPTHREAD_START_ROUTINE pfnJob, bool bForStep, int32_t nStartingState,
                                       const RUN_REQUEST* pRequest)
{
    CSectionLock lock(m_csJob);
    // A background step works on the volume without a job thread: no job runs beside it.
    if (m_bStepRunning && !bForStep)
        return false;
    if (m_hJobThread != nullptr)
    {
        if (::WaitForSingleObject(m_hJobThread, 0) != WAIT_OBJECT_0)
            return false;
        ::CloseHandle(m_hJobThread);
        m_hJobThread = nullptr;
    }
    m_pfnJob = pfnJob;
    // Started suspended, so that the handle is in place before the job can look at it.
    DWORD dwThreadId = 0;
    HANDLE hThread = ::CreateThread(nullptr, 0, &JobThreadEntry, this, CREATE_SUSPENDED, &dwThreadId);
    if (hThread == nullptr)
        return false;
    m_hJobThread = hThread;
    m_dwJobThreadId = dwThreadId;
    if (pRequest != nullptr)
        ApplyRunRequest(*pRequest);
    if (!bForStep)
        TakeRunSettings();
    // An accepted job shows as busy to every request from now on, not only once its thread
    // gets going.
    ::InterlockedExchange(&m_lStartingState, nStartingState);
    ::ResumeThread(hThread);
    return true;
}

DWORD WINAPI CDefragPartition::JobThreadEntry(LPVOID pParameter)
{
    CDefragPartition* pThis = static_cast<CDefragPartition*>(pParameter);
    const DWORD dwExit = pThis->m_pfnJob(pParameter);
    // A job that ended without a report of its own still tells that it is over.
    if (::InterlockedExchange(&pThis->m_lStartingState, STATE_IDLE) != STATE_IDLE)
        pThis->ReportState();
    return dwExit;
}

bool CDefragPartition::IsWorkUnderWay()
{
    return IsJobRunning() || IsStepRunning();
}

bool CDefragPartition::IsJobRunning()
{
    CSectionLock lock(m_csJob);
    return m_hJobThread != nullptr && ::WaitForSingleObject(m_hJobThread, 0) == WAIT_TIMEOUT;
}

bool CDefragPartition::WaitForJobThread(DWORD dwTimeout)
{
    HANDLE hWait = nullptr;
    {
        CSectionLock lock(m_csJob);
        if (m_hJobThread == nullptr)
            return true;
        // The wait runs on a handle of its own, so that the lock is not held through it and
        // the object's handle is closed in one place only.
        if (!::DuplicateHandle(::GetCurrentProcess(), m_hJobThread, ::GetCurrentProcess(), &hWait, SYNCHRONIZE,
                               FALSE, 0))
            return false;
    }
    const DWORD dwResult = ::WaitForSingleObject(hWait, dwTimeout);
    ::CloseHandle(hWait);
    if (dwResult != WAIT_OBJECT_0)
        return false;
    CSectionLock lock(m_csJob);
    if (m_hJobThread != nullptr && ::WaitForSingleObject(m_hJobThread, 0) == WAIT_OBJECT_0)
    {
        ::CloseHandle(m_hJobThread);
        m_hJobThread = nullptr;
    }
    return true;
}

bool CDefragPartition::StopJob()
{
    if (m_bBackgroundMode)
    {
        SetBackgroundMode(false, m_pChangeMonitor, false);
        ReportState();
    }
    if (IsStepRunning())
        return StopStep();
    {
        CSectionLock lock(m_csJob);
        if (m_hJobThread == nullptr)
            return false;
    }
    if (IsJobRunning())
    {
        m_nState = STATE_STOPPING;
        ::SetEvent(m_hStopEvent);
        if (!WaitForJobThread(StopWaitMs))
        {
            {
                CSectionLock lock(m_csJob);
                if (m_hJobThread != nullptr)
                    ::ResumeThread(m_hJobThread);
            }
            m_bPaused = false;
            if (!WaitForJobThread(StopWaitMs))
                return false;
        }
    }
    ::ResetEvent(m_hStopEvent);
    return WaitForJobThread(0);
}

bool CDefragPartition::SetBackgroundMode(bool bOn, CFileChangeMonitor* pMonitor, bool bReport)
{
    bool bWatched = true;
    if (pMonitor != nullptr)
    {
        if (bOn && !m_bBackgroundMode)
            bWatched = pMonitor->WatchPartition(this);
        else if (!bOn && m_bBackgroundMode)
            pMonitor->UnwatchPartition(this);
        m_bForcedMoveToEnd = false;
    }
    m_pChangeMonitor = pMonitor;
    m_bWatchLost = !bWatched;
    // A volume whose changes cannot be heard must not claim to be monitored.
    m_bBackgroundMode = bOn && bWatched;
    m_bListOverflow = false;
    if (m_bBackgroundMode && m_nState == STATE_FAULTY)
        m_nState = STATE_FAULTY_MONITORING;
    else if (!m_bBackgroundMode && m_nState == STATE_FAULTY_MONITORING)
        m_nState = STATE_FAULTY;
    if (m_nState == STATE_MONITORING)
        m_nState = STATE_IDLE;
    if (!bWatched)
        ReportLostWatch(L"its changes cannot be watched");
    if (bReport || !bWatched)
        ReportState();
    return bWatched;
}

void CDefragPartition::OnWatchFailed()
{
    m_bWatchLost = true;
    m_bBackgroundMode = false;
    if (m_nState == STATE_FAULTY_MONITORING)
        m_nState = STATE_FAULTY;
    if (m_nState == STATE_MONITORING)
        m_nState = STATE_IDLE;
    ReportLostWatch(L"the watch of its changes ended");
    ReportState();
}

void CDefragPartition::ReportLostWatch(const wchar_t* pszWhy)
{
    if (m_pOwner == nullptr)
        return;
    CUnicodeString strText;
    strText.Format(L"Monitoring of %ls stopped: %ls; it is tried again when the drive list is rebuilt",
                   RootPath().GetBuffer(), pszWhy);
    m_pOwner->LogVolumeEvent(EVENTLOG_WARNING_TYPE, strText.GetBuffer());
}

bool CDefragPartition::RetryWatch(CFileChangeMonitor* pMonitor)
{
    if (!m_bWatchLost || pMonitor == nullptr)
        return true;
    // What is left of the dead watch goes first: the other half may still be armed.
    pMonitor->UnwatchPartition(this);
    return SetBackgroundMode(true, pMonitor, true);
}

int32_t CDefragPartition::GetReportedState()
{
    int32_t nStored = m_nState;
    const int32_t nStarting = m_lStartingState;
    if (nStarting != STATE_IDLE && (nStored == STATE_IDLE || nStored == STATE_MONITORING))
        nStored = nStarting;
    int32_t nState = nStored;
    if (m_bPaused && m_bBackgroundMode)
        nState = STATE_SUSPENDED;
    else if (!m_bPaused && nStored == STATE_IDLE && m_bBackgroundMode)
        nState = STATE_MONITORING;
    if (nStored != STATE_IDLE && m_hStopEvent != nullptr && ::WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0)
        nState = STATE_STOPPING;
    // A finished job keeps its handle until the next start closes it: what counts is
    // whether work is under way.
    if (m_bPaused && (IsJobRunning() || IsStepRunning()))
        nState = STATE_SUSPENDED;
    return nState;
}

bool CDefragPartition::FillListEntry(CNetDefragPartitionListEntry& entry)
{
    const VOLUME_IDENTITY identity = GetIdentity();
    // A volume without a letter shows its volume name where the drive path would be.
    entry.m_strDriveRoot = identity.strDrivePath.GetLength() > 0 ? identity.strDrivePath : m_strVolumeName;
    entry.m_strVolumeGuidPath = m_strVolumeName;
    entry.m_strVolumeLabel = identity.strLabel;
    entry.m_strStatusText = GetStatusText();
    entry.m_strFileSystemName = FileSystemName(identity.nFileSystem);
    entry.m_strSerialNumber.Format(L"%04X-%04X", identity.dwSerialNumber >> 16, identity.dwSerialNumber & 0xFFFF);
    entry.m_nVolumeIndex = m_nIndex;
    entry.m_nFileSystemCode = identity.nFileSystem;
    entry.m_llMftStart = m_llMftStartLcn;
    entry.m_llMftSpanEnd = m_llMftSpanEnd;
    entry.m_llMftZoneStart = m_llMftZoneStart;
    entry.m_llMftZoneEnd = m_llMftZoneEnd;
    entry.m_llTotalClusters = m_llTotalClusters;
    entry.m_llUsedClusters = m_llUsedClusters;
    entry.m_llMftMirrorStart = m_llMftMirrorStartLcn;
    entry.m_nBytesPerSector = m_nBytesPerSector;
    entry.m_nState = GetReportedState();
    entry.m_nFragmentedEntries = m_nFragmentedEntries;
    entry.m_nProgress = m_nProgress;
    entry.m_nPendingFiles = static_cast<int32_t>(GetPendingFileCount());
    entry.m_llTotalBytes = identity.llTotalBytes;
    entry.m_llFreeBytes = identity.llFreeBytes;
    entry.m_nBytesPerCluster = m_nBytesPerCluster;
    entry.m_nBytesPerFileRecord = m_nBytesPerFileRecord;
    entry.m_nFilesExamined = m_nFilesExamined;
    entry.m_nFilesWithClusters = m_nFilesWithClusters;
    entry.m_nFilesMoved = m_nFilesMoved;
    entry.m_nFilesDefragmented = m_nFilesDefragmented;
    const int64_t llUsed = m_llUsedClusters;
    entry.m_nFragmentationPercent =
        llUsed > 0 ? static_cast<int32_t>(std::max<int64_t>(0, m_llFragmentedClusters) * 100 / llUsed) : 0;
    entry.m_nNtfsMajorVersion = m_nNtfsMajorVersion;
    entry.m_nNtfsMinorVersion = m_nNtfsMinorVersion;
    entry.m_llLastManualDefragTime = m_llLastManualDefragTime;
    return true;
}

bool CDefragPartition::FillVolumeNames(CNetDefragPartitionNameEntry& entry) const
{
    const VOLUME_IDENTITY identity = GetIdentity();
    entry.m_strDriveRoot = identity.strDrivePath;
    entry.m_strVolumeGuidPath = m_strVolumeName;
    entry.m_strVolumeLabel = identity.strLabel;
    entry.m_nVolumeIndex = m_nIndex;
    return true;
}

bool CDefragPartition::ReportState(HANDLE hVolume)
{
    // From its first report on, a job's own state is what the volume shows.
    if (::GetCurrentThreadId() == m_dwJobThreadId)
        ::InterlockedExchange(&m_lStartingState, STATE_IDLE);
    if (hVolume != nullptr && hVolume != INVALID_HANDLE_VALUE)
        WaitForDiskIdle(hVolume);
    if (!m_bClientConnected || m_pOwner == nullptr)
        return false;
    // Filled under the volume's own locks, sent after they are released.
    CNetDefragPartitionListEntry entry;
    FillListEntry(entry);
    return m_pOwner->BroadcastObject(RESPONSE_PARTITION_ENTRY, entry);
}

void CDefragPartition::SetStatusText(const CUnicodeString& strText)
{
    // The text travels in every list entry: it is kept to what one message string holds.
    constexpr int MaxUnits = CNetDefragBuffer::MaxStringBytes / 2;
    CSectionLock lock(m_csStatus);
    m_strStatusText = strText.GetLength() > MaxUnits ? strText.Left(MaxUnits) : strText;
}

CUnicodeString CDefragPartition::GetStatusText()
{
    CSectionLock lock(m_csStatus);
    return m_strStatusText;
}

void CDefragPartition::SetListOverflow(bool bOverflow)
{
    m_bListOverflow = bOverflow;
    if (bOverflow)
        ReportState();
}

void CDefragPartition::SetClientConnected(bool bConnected)
{
    m_bClientConnected = bConnected;
    if (!bConnected)
        m_bAnalysisFresh = false;
}

uint32_t CDefragPartition::GetPendingFileCount()
{
    CSectionLock lock(m_csPending);
    return static_cast<uint32_t>(m_pendingFiles.GetSize());
}

uint32_t CDefragPartition::SecondsSinceLastActivity() const
{
    const uint32_t uNow = static_cast<uint32_t>(sysclock::Seconds());
    const uint32_t uSinceModify = uNow - static_cast<uint32_t>(m_llLastModifyTime);
    const uint32_t uSinceAddRemove = uNow - static_cast<uint32_t>(m_llLastAddRemoveTime);
    return std::max(uSinceModify, uSinceAddRemove);
}

bool CDefragPartition::ClearPendingFiles()
{
    {
        CSectionLock lock(m_csPending);
        m_pendingFiles.RemoveAll();
        m_nFragmentedEntries = 0;
    }
    ReportState();
    return true;
}

bool CDefragPartition::IsUsbDrive(const wchar_t* pszPath, int nLength)
{
    if (pszPath == nullptr || nLength < 0)
        return false;
    CUnicodeString strPath(pszPath);
    strPath = strPath.Left(nLength);
    CSysHandle device(sys::CreateFileW(strPath.GetBuffer() ? strPath.GetBuffer() : L"", GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device.IsOpen())
        return false;
    STORAGE_PROPERTY_QUERY stQuery = {};
    stQuery.PropertyId = StorageDeviceProperty;
    stQuery.QueryType = PropertyStandardQuery;
    BYTE abDescriptor[40] = {};
    DWORD dwReturned = 0;
    if (!sys::DeviceIoControl(device.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &stQuery, 12, abDescriptor,
                              sizeof(abDescriptor), &dwReturned, nullptr) ||
        dwReturned < 32)
        return false;
    DWORD dwBusType = 0;
    std::memcpy(&dwBusType, abDescriptor + 28, sizeof(dwBusType));
    return dwBusType == BusTypeUsb;
}

void CDefragPartition::LowerCounter(int64_t& llCounter, int64_t llBy)
{
    llCounter = llCounter > llBy ? llCounter - llBy : 0;
}
