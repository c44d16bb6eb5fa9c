// CDefragPartition: the engine's object for one volume: its names and geometry, its settings,
// the state that clients see, the pending files, the cluster map with its subscribers, the
// free-space searches, the moves, and at most one job thread.
//
// Lock order: the map lock before the pending-list lock; the status, bitmap, identity and
// job locks are taken alone. No lock of the object is held while it waits for an idle disk
// or sends anything to a client.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/ClusterChange.h"
#include "engine/ClusterMap.h"
#include "engine/ExtentList.h"
#include "engine/FileChangeListener.h"
#include "engine/FreeRunHints.h"
#include "engine/FreeRunIndex.h"
#include "engine/LayoutFileList.h"
#include "engine/PendingFileList.h"
#include "engine/PhaseClock.h"
#include "engine/RunFailures.h"
#include "base/UnicodeString.h"
#include "engine/ZoneExtentList.h"
#include "protocol/PartitionState.h"
#include "base/SyncObjects.h"

class CFileChangeMonitor;
class CNetDefragPartitionClusterExplorerResponse;
class CNetDefragPartitionFragFiles;
class CNetDefragPartitionListEntry;
class CNetDefragPartitionNameEntry;
class CNtfsRecordReader;
class CPartitionOwner;
class CStreamNamer;
class CVolumeBitmapSource;

enum FILE_SYSTEM_CODE : int32_t
{
    FS_NONE = 0,
    FS_FAT = 1,
    FS_FAT32 = 2,
    FS_NTFS = 3,
    FS_EXFAT = 4,
};

// The answer of FSCTL_GET_NTFS_VOLUME_DATA.
struct NTFS_VOLUME_DATA
{
    LONGLONG llVolumeSerialNumber;
    LONGLONG llNumberSectors;
    LONGLONG llTotalClusters;
    LONGLONG llFreeClusters;
    LONGLONG llTotalReserved;
    DWORD dwBytesPerSector;
    DWORD dwBytesPerCluster;
    DWORD dwBytesPerFileRecordSegment;
    DWORD dwClustersPerFileRecordSegment;
    LONGLONG llMftValidDataLength;
    LONGLONG llMftStartLcn;
    LONGLONG llMft2StartLcn;
    LONGLONG llMftZoneStart;
    LONGLONG llMftZoneEnd;
};

// What names a volume and what the file system said of it at the last Initialize. Other
// threads report it while a job reads it afresh, so it is replaced whole under a lock and
// read as a copy.
struct VOLUME_IDENTITY
{
    CUnicodeString strDrivePath;   // empty for a volume without a letter
    CUnicodeString strLabel;
    DWORD dwSerialNumber = 0;
    int32_t nFileSystem = 0;
    NTFS_VOLUME_DATA stNtfsData = {};
    int64_t llTotalBytes = 0;
    int64_t llFreeBytes = -1;
};

class CDefragPartition : public CFileChangeListener
{
public:
    static constexpr int SubscriberSlots = 10;
    static constexpr int32_t ClientBuildOnly = -3;   // builds the map without subscribing
    static constexpr int32_t AllSubscribers = -2;
    static constexpr DWORD RecordBufferBytes = 32768;
    static constexpr DWORD MaxBitmapBytes = 81896;

    CDefragPartition(const CUnicodeString& strVolumeName, CPartitionOwner* pOwner);
    ~CDefragPartition() override;
    CDefragPartition(const CDefragPartition&) = delete;
    CDefragPartition& operator=(const CDefragPartition&) = delete;

    // Volume object.
    bool Initialize();
    HANDLE OpenVolume() const;
    void LoadSettings();
    bool ReadMoveModifiedFilesToEnd();
    bool StopJob();
    bool SetBackgroundMode(bool bOn, CFileChangeMonitor* pMonitor, bool bReport);
    void SetMethod(bool bFull) { m_nMethod = bFull ? 1 : 0; }
    bool FillListEntry(CNetDefragPartitionListEntry& entry);
    bool FillVolumeNames(CNetDefragPartitionNameEntry& entry) const;
    // With a volume handle, one idle-disk wait first; then the list entry to every client.
    bool ReportState(HANDLE hVolume = nullptr);
    int32_t GetReportedState();
    uint32_t GetPendingFileCount();
    uint32_t SecondsSinceLastActivity() const;
    bool ClearPendingFiles();
    static bool IsUsbDrive(const wchar_t* pszPath, int nLength);

    bool IsJobRunning();
    bool IsBackgroundMode() const { return m_bBackgroundMode; }
    bool IsListOverflow() const { return m_bListOverflow; }
    void SetListOverflow(bool bOverflow);
    void SetPaused(bool bPaused) { m_bPaused = bPaused; }
    bool IsPaused() const { return m_bPaused; }
    void SetClientConnected(bool bConnected);
    bool IsClientConnected() const { return m_bClientConnected; }
    int32_t GetIndex() const { return m_nIndex; }
    int32_t GetState() const { return m_nState; }
    void SetState(int32_t nState) { m_nState = nState; }
    HANDLE GetStopEvent() const { return m_hStopEvent; }
    void SetStatusText(const CUnicodeString& strText);
    CUnicodeString GetStatusText();
    // A clock that the MFT walk charges its phases to; benchmarks set one, the service never.
    void SetPhaseClock(CPhaseClock* pClock) { m_pPhaseClock = pClock; }

    const CUnicodeString& GetVolumeName() const { return m_strVolumeName; }
    CUnicodeString GetDrivePath() const { return GetIdentity().strDrivePath; }
    VOLUME_IDENTITY GetIdentity() const;
    int32_t GetFileSystem() const { return m_nFileSystem; }
    int64_t GetTotalClusters() const { return m_llTotalClusters; }
    int64_t GetUsedClusters() const { return m_llUsedClusters; }
    int32_t GetBytesPerCluster() const { return m_nBytesPerCluster; }
    int64_t GetMftZoneStart() const { return m_llMftZoneStart; }
    int64_t GetMftZoneEnd() const { return m_llMftZoneEnd; }
    bool IsSystemVolume() const { return m_bSystemVolume; }

    // Volume bitmap and free space.
    bool FindNextUsedCluster(HANDLE hVolume, int64_t llFrom, int64_t& llFound);
    bool FindFreeRun(HANDLE hVolume, int64_t llFrom, int64_t llWanted, int64_t& llFound, int64_t llLimit = -1);
    // The searches of a client's run go through a free-run index; with the check on (tests),
    // each of them is answered by a scan of the bitmap as well, and the scan's answer stands.
    struct SEARCH_COUNTS
    {
        int64_t llSearches;
        int64_t llMicroseconds;
        int64_t llIndexBytes;    // the most the index held
        int32_t nRebuilds;       // after others changed the volume
        int32_t nScansInstead;   // searches the index could not answer
        int32_t nMismatches;     // with the check on
    };
    struct SEARCH_MISMATCH
    {
        bool bNextUsed;          // FindNextUsedCluster, else FindFreeRun
        FREE_RUN_QUERY stQuery;
        FREE_RUN_ANSWER stIndexed;
        FREE_RUN_ANSWER stScanned;
    };
    void SetSearchCheck(bool bOn) { m_bSearchCheck = bOn; }
    const SEARCH_COUNTS& GetSearchCounts() const { return m_stSearches; }
    const SEARCH_MISMATCH& GetFirstMismatch() const { return m_stFirstMismatch; }

    // Idle-disk guard.
    int32_t WaitForDiskIdle(HANDLE hVolume);

    // Cluster map.
    bool SubscribeClusterMap(int32_t nClient, bool bOn);
    bool SendClusterMap(int32_t nClient);
    bool SendClusterMapChanges();
    bool ReleaseClusterMap();
    bool HasClusterMap();
    static int32_t GetFileKind(const wchar_t* pszPath, int32_t nDefaultKind, int64_t llRecord);
    static bool IsMetadataFile(const wchar_t* pszPath, int64_t llRecord);
    // Where GetFileKind looks for the letters of a name: behind a drive root ("C:\") and behind
    // a volume GUID path ("\\?\Volume{...}\").
    static constexpr int DrivePathLength = 3;
    static constexpr int GuidPathLength = 49;
    // Whether GetFileKind may give a path of this length another kind than its default, judged
    // by the letters at(n) of the path that it looks at (L'\0' past the end), each asked for
    // only where it counts. False is sure without the path; true asks for the path itself.
    template <typename LETTER_AT>
    static bool NameMayGiveKind(int64_t llRecord, int nLength, const LETTER_AT& at)
    {
        if (IsMetadataFile(nullptr, llRecord))
            return true;
        const wchar_t chFirst = at(0);
        const wchar_t chBehindDrive = at(DrivePathLength);
        auto startsWith = [&](wchar_t ch) { return chFirst == ch || chBehindDrive == ch; };
        if (nLength >= 5 && (nLength <= GuidPathLength ? startsWith(L'$')
                                                       : chFirst == L'\\' && at(GuidPathLength) == L'$'))
            return true;
        const bool bShort = nLength == 12 || nLength == 15;
        return (bShort && (startsWith(L'p') || startsWith(L'h'))) || startsWith(L'S');
    }
    // The names of the metadata table, in its order; null past its end.
    static const wchar_t* GetMetadataName(int nIndex);

    // Extents and moves.
    // pdwError: the open's last Win32 error when it fails.
    bool OpenFileForMove(const wchar_t* pszPath, HANDLE& hFile, DWORD* pdwError = nullptr);
    bool GetFileExtents(HANDLE hFile, int64_t& llClusters, CExtentList& extents);
    bool GetFileExtentsByPath(const wchar_t* pszPath, int64_t& llClusters, CExtentList& extents);
    bool MoveFileToLcn(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters,
                       DWORD& dwAttributes);
    bool MoveFileToLcnWithProgress(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters,
                                   DWORD& dwAttributes);
    // A contiguous stream slid down into the free stretch of llGap clusters in front of it.
    bool SlideFileToLcn(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters, int64_t llGap,
                        DWORD& dwAttributes);
    // llSlideGap: not 0 for a slide (SlideFileToLcn) into a stretch of that many clusters.
    bool MoveFileWithMap(HANDLE hVolume, const wchar_t* pszPath, bool bFragmented, int64_t llTarget,
                         int64_t llClusters, CExtentList& oldExtents, CExtentList& targetExtents,
                         int64_t llSlideGap = 0);

    // Analysis and the boot-file zone.
    bool Analyze();
    bool StartAnalysis(int32_t nStepDelay);
    bool RunScheduledAnalysis(HANDLE hServiceStop, int32_t nStepDelay);
    bool IsAnalysisFresh() const { return m_bAnalysisFresh; }
    bool IsMftReadable() const { return m_bMftReadable; }
    // The record reader failed on this volume: analysis and the file pass walk directories.
    void MarkMftUnreadable() { m_bMftReadable = false; }
    int64_t GetBootZoneClusters() const { return m_llBootZoneClusters; }
    int64_t GetMftSpanStart() const { return m_llMftSpanStart; }
    int64_t GetMftSpanEnd() const { return m_llMftSpanEnd; }
    const CZoneExtentList& GetZoneExtents() const { return m_zoneExtents; }
    const CLayoutFileList& GetBootFiles() const { return m_bootFiles; }
    int GetZoneFileCount();
    const FILETIME& GetAnalysisTime() const { return m_ftAnalysisTime; }

    // Volume reports, each sent to the asking client only.
    bool SendVolumeInfo(int32_t nClient);
    bool SendFragmentedFiles(int32_t nClient);
    bool SendClusterRangeFiles(int32_t nClient, int64_t llFirst, int64_t llLast);
    bool SendFileClusters(int32_t nClient, const CUnicodeString& strPath);
    // The runs of a record's attributes, read from the record; true when any accepted
    // attribute is not contiguous. pszName: null for any name, UnnamedOnly, or a name.
    static const wchar_t* const UnnamedOnly;
    static bool GetAttributeRuns(CNtfsRecordReader& reader, int64_t llRecord, CExtentList* pExtents,
                                 const wchar_t* pszName, const wchar_t* pszType);
    // A text cut to what the receiver of a message accepts in one string.
    static CUnicodeString WireText(const CUnicodeString& strText);
    // Change callbacks of background mode, on the monitor's thread; names relative to the root.
    void OnFileAdded(const CUnicodeString& strName) override;
    void OnFileRemoved(const CUnicodeString& strName) override;
    void OnFileModified(const CUnicodeString& strName) override;
    void OnFileRenamed(const CUnicodeString& strOld, const CUnicodeString& strNew) override;
    void OnDirectoryAdded(const CUnicodeString& strName) override;
    void OnDirectoryRemoved(const CUnicodeString& strName) override;
    void OnDirectoryModified(const CUnicodeString& strName) override;
    void OnDirectoryRenamed(const CUnicodeString& strOld, const CUnicodeString& strNew) override;
    // On the monitor's thread: the volume leaves background mode until a rebuild of the
    // drive list watches it again.
    void OnWatchFailed() override;
    bool IsWatchLost() const { return m_bWatchLost; }
    // Watches the volume again after its watch was lost; false when that fails once more.
    bool RetryWatch(CFileChangeMonitor* pMonitor);
    bool HasBeenQuiet() const;
    // Calls the function for every pending entry, in list order, under the list's lock.
    void ForEachPending(const std::function<void(const PENDING_FILE_ENTRY&)>& fnVisit);
    // One step of the background pass on the calling (scheduler) thread; true when the step
    // worked the list through or had nothing to do, and also when a job holds the volume.
    bool RunBackgroundStep(int64_t llTimeLimit, int32_t nWaitSeconds, uint32_t& uRemaining);
    // True while a background step holds the volume; no job starts meanwhile.
    bool IsStepRunning();

    // Checks of the file system.
    bool StartCheckDisk();
    bool RunCheckDisk();
    bool RunCheckDiskNow();
    bool RunCheckDiskAndWait();
    bool IsCheckCompleted() const { return m_bCheckCompleted; }

    // The defragmentation run. A time limit of -1 is a manual run without limit.
    // What a client's request asks of the run it starts: applied only once the run is
    // accepted, so that a refused request changes nothing.
    struct RUN_REQUEST
    {
        enum class MOVE_TO_END { Keep, Stored, Forced };
        bool bFull;
        MOVE_TO_END eMoveToEnd;
        int32_t nForcedMoveToEnd;
    };
    bool StartDefragmentation(const RUN_REQUEST* pRequest = nullptr);
    // The settings a run or analysis took at its start; settings read while it works apply
    // to the next one.
    struct RUN_SETTINGS
    {
        int32_t nMethod;
        int32_t nMoveModifiedFilesToEnd;
        int32_t nUseLayoutIni;
    };
    const RUN_SETTINGS& GetRunSettings() const { return m_stRun; }
    // A client's run with its own choice of where recently written files go; settings read
    // later leave it as it is.
    void ForceMoveModifiedFilesToEnd(int32_t nValue);
    bool Defragment(int64_t llTimeLimit, int32_t nWaitSeconds, uint32_t& uRemaining);
    bool DefragmentFiles(int32_t nProgressStart, int32_t nProgressShare);
    bool PlaceBootFiles(int32_t nProgressFrom, int32_t nProgressTo, CNtfsRecordReader& reader, HANDLE hVolume);
    bool ClearMftSpan();
    bool JoinExtentPairs(HANDLE hVolume, const wchar_t* pszPath, int64_t llFrom);
    bool MoveFileInPieces(HANDLE hVolume, const wchar_t* pszPath, uint32_t& uExtentCount, CExtentList& extents);
    // Why files of the last run stayed as they were.
    struct RUN_SKIPS
    {
        int32_t nNoFreeRun;      // no free run of the file's size
        int32_t nNotOpened;      // the file could not be opened or read
        int32_t nMoveFailed;     // the file system refused or cut short the move
        int32_t nHeldBack;       // changing still (background steps)
        int32_t nNoTarget;       // a file that never gets a target, such as the MFT's bitmap
        int32_t nStopped;        // left when the run stopped or ran out of time
        int32_t nRunRefused;     // 1: nothing was moved: the volume is faulty or its check or analysis failed
    };
    const RUN_SKIPS& GetRunSkips() const { return m_stSkips; }
    // Slides of contiguous streams in the file passes of the last run: asked for, and ended
    // with the stream contiguous at its lower place.
    struct SLIDE_COUNTS
    {
        int32_t nTried;
        int32_t nDone;
    };
    const SLIDE_COUNTS& GetSlideCounts() const { return m_stSlides; }

    // Counters of the last analysis and run.
    int32_t m_nFilesExamined;
    int32_t m_nFilesWithClusters;
    int32_t m_nFilesMoved;
    int32_t m_nFilesDefragmented;
    int64_t m_llFragmentedClusters;
    int32_t m_nFragmentedEntries;
    int32_t m_nProgress;

protected:
    // Starts the job on the job thread with this object as its argument; false while a job
    // runs or when no thread can be made. The thread never closes its own handle.
    bool StartJobThread(LPTHREAD_START_ROUTINE pfnJob);
    // True when no job thread is left; its handle is then closed.
    bool WaitForJobThread(DWORD dwTimeout);
    // Lowers a counter by an amount, never below 0.
    static void LowerCounter(int64_t& llCounter, int64_t llBy);
    // StartJobThread for the check that a background step runs and waits for: the step
    // holds the volume already.
    bool StartStepJobThread(LPTHREAD_START_ROUTINE pfnJob);
    // True while a job thread or a background step works on the volume.
    bool IsWorkUnderWay();

private:
    // How a walk of the analysis ended: at its end, early (stop, or the walk could not go
    // on), or failed in a way that has already set and reported the state.
    enum class WALK { Completed, Ended, Failed };
    struct MFT_STREAM;
    struct DIRECTORY_WALK;
    struct EXAMINED;

    static DWORD WINAPI AnalysisThreadProc(LPVOID pParameter);
    static bool IsDeviceError(DWORD dwError);
    // The drive path, or the volume name for a volume without a letter.
    CUnicodeString RootPath() const;
    int32_t ProgressOf(int64_t llCounted) const;
    bool IsStopRequested(DWORD dwWait);
    // Where a walk without a step delay stands in looking at the stop event.
    struct STOP_LOOK
    {
        uint32_t uSteps;
        ULONGLONG ullLastTick;
    };
    bool IsStepStopped(STOP_LOOK& look);
    int32_t FaultyState() const;
    void EnterPhase(PHASE ePhase)
    {
        if (m_pPhaseClock != nullptr)
            m_pPhaseClock->Enter(ePhase);
    }
    void ResetAnalysisFigures();
    bool FillMapForAnalysis();
    WALK WalkMft();
    void ExamineRecord(CNtfsRecordReader& reader, CStreamNamer& namer, int64_t llRecord, int64_t& llCounted);
    void TakeRun(MFT_STREAM& stream, int64_t llRecord, const BYTE* pAttribute, CNtfsRecordReader& reader,
                 int64_t llLcn, int64_t llLength, int64_t& llCounted);
    void JudgeStream(MFT_STREAM& stream, int64_t llRecord, const BYTE* pAttribute, const wchar_t* pszPath, int nPath,
                     bool bDirectory);
    // uRecords: records walked, counted by the walk, which looks at the map's changes only now
    // and then.
    void ReportWalkProgress(HANDLE hVolume, const CStreamNamer& namer, int64_t llCounted, int32_t& nLastReported,
                            uint32_t& uRecords);
    bool UsesBootList() const;
    bool AppliesZoneRule() const;
    int BuildBootList();
    void SizeBootZone();
    WALK WalkDirectories();
    bool WalkDirectory(DIRECTORY_WALK& walk, const CUnicodeString& strDirectory, int nDepth);
    bool ExamineListedEntry(DIRECTORY_WALK& walk, const CUnicodeString& strPath, const WIN32_FIND_DATAW& stData,
                            int nDepth);
    void ExamineMetadataTable(DIRECTORY_WALK& walk);
    void ExamineNtfsFile(DIRECTORY_WALK& walk, const CUnicodeString& strPath);
    bool ExamineProbes(DIRECTORY_WALK& walk, const CUnicodeString& strPath, const wchar_t* const* ppszSuffixes,
                       int32_t nPlainKind);
    void CountFile(bool bHasClusters);
    EXAMINED ExamineByPath(const CUnicodeString& strPath);
    bool EnterExamined(DIRECTORY_WALK& walk, const CUnicodeString& strPath, const EXAMINED& examined,
                       bool bMayPend, int32_t nFragmentedKind, int32_t nPlainKind);
    void AfterDirectoryEntry(DIRECTORY_WALK& walk);
    bool ListStreams(HANDLE hFile, std::vector<CUnicodeString>& names);
    void AddFragmentedFilesTo(CNetDefragPartitionFragFiles& reply);
    CUnicodeString RelativeName(const CUnicodeString& strPath) const;
    bool ListRangeFromMft(HANDLE hVolume, int64_t llFirst, int64_t llLast,
                          CNetDefragPartitionClusterExplorerResponse& reply);
    bool ListRangeFromDirectories(int64_t llFirst, int64_t llLast, CNetDefragPartitionClusterExplorerResponse& reply);
    bool EnumerateRangeFiles(const CUnicodeString& strDirectory, const CUnicodeString& strPrefix, DWORD dwWait,
                             int64_t llFirst, int64_t llLast, CNetDefragPartitionClusterExplorerResponse& reply,
                             int64_t& llListed);
    void AddMftZoneGaps(int64_t llFirst, int64_t llLast, CNetDefragPartitionClusterExplorerResponse& reply);
    // nStartingState: what the volume reports from the moment the job is accepted until the
    // job reports a state of its own; 0 for none.
    bool LaunchJobThread(LPTHREAD_START_ROUTINE pfnJob, bool bForStep, int32_t nStartingState = STATE_IDLE,
                         const RUN_REQUEST* pRequest = nullptr);
    static DWORD WINAPI JobThreadEntry(LPVOID pParameter);
    void ApplyRunRequest(const RUN_REQUEST& request);
    void TakeRunSettings();
    void ReadStoredSettings();
    struct CHKDSK_CONTEXT;
    struct PASS_STREAM;
    struct FILE_PASS;
    struct ZONE_OCCUPANT;
    bool UsesBootZone() const;
    bool FilePass(HANDLE hVolume, CNtfsRecordReader& reader, int32_t nStart, int32_t nShare);
    void PassRecord(FILE_PASS& pass, int64_t llRecord);
    bool FindSlide(HANDLE hVolume, int64_t llFirst, int64_t llClusters, int64_t& llTarget);
    bool FindPassTarget(HANDLE hVolume, const PASS_STREAM& stream, int64_t& llTarget, bool& bSlide);
    void PlaceStream(FILE_PASS& pass, int64_t llRecord, const BYTE* pAttribute, const PASS_STREAM& stream);
    bool KeepsTargetWhenModified(HANDLE hVolume, CNtfsRecordReader& reader, int64_t llRecord,
                                 const PASS_STREAM& stream, int64_t& llTarget);
    // The start of the last analysis, in file-time units.
    int64_t AnalysisTimeUnits() const;
    void AfterFileDefragmented(const CUnicodeString& strPath, int64_t llClusters);
    bool MoveBootFile(HANDLE hVolume, const CUnicodeString& strPath, bool bFragmented, int64_t llTarget,
                      int64_t llClusters, CExtentList& extents);
    bool ZoneExtentPath(CNtfsRecordReader& reader, uint64_t ullRecord, uint64_t ullPosition, CUnicodeString& strPath);
    bool IsRecentlyWritten(HANDLE hFile, bool& bRecent);
    bool PlaceOneBootFile(HANDLE hVolume, CNtfsRecordReader& reader, const CUnicodeString& strPath, bool bFragmented,
                          int64_t llFirst, int64_t llSize, CExtentList& extents,
                          const std::vector<ZONE_OCCUPANT>& window, int64_t llRoom, int64_t& llFill, int& nFile);
    struct PENDING_WORK;
    static DWORD WINAPI CheckDiskThreadProc(LPVOID pParameter);
    static DWORD WINAPI DefragmentationThreadProc(LPVOID pParameter);
    static BOOLEAN ChkDskCallback(CDefragPartition* pPartition, DWORD dwCommand, PVOID pData,
                                  CHKDSK_CONTEXT* pContext);
    static BOOLEAN WINAPI ChkDskEntry(DWORD dwCommand, DWORD dwSubCommand, PVOID pData);
    void OnCheckOutput(const char* pszText, CHKDSK_CONTEXT& context);
    void RecordCheckErrors(const CHKDSK_CONTEXT& context);
    CUnicodeString FullPath(const CUnicodeString& strName) const;
    CUnicodeString DriveOrVolumeName() const;
    void AfterListGrew(bool& bOverflowed);
    void ReportLostWatch(const wchar_t* pszWhy);
    void RemovePending(const CUnicodeString& strPath);
    // With the pending-list lock held.
    bool RemovePendingLocked(const CUnicodeString& strPath);
    void AddPendingChange(const CUnicodeString& strPath, int64_t llSize);
    void RenamePending(const CUnicodeString& strOldPath, const CUnicodeString& strNewPath, bool bDirectory);
    bool TryBeginStep();
    void EndStep();
    // A background step runs on the scheduler's thread: its stop event is its only way out.
    bool StopStep();
    bool WaitForStepEnd(DWORD dwTimeout);
    bool EndRunEarly(bool bFailed);
    bool IsStopSet() const;
    bool PendingPassEntry(HANDLE hVolume, int32_t nWaitSeconds, bool bManual, bool& bFirstFile, int& nIndex,
                          int64_t llNow);
    bool FindTarget(HANDLE hVolume, PENDING_WORK& work, bool& bFirstFile, int64_t& llTarget, bool& bNoTarget);
    int32_t PendingShare() const;
    bool CheckNtfsBeforeRun(HANDLE hVolume);
    bool CheckBeforeRun(bool bManual);
    bool AnalyzeBeforeRun();
    void FinishEntry(PENDING_WORK& work, int& nIndex);
    void HandleEntry(HANDLE hVolume, PENDING_WORK& work, bool bManual, bool& bFirstFile);
    void CountDefragmented(const PENDING_WORK& work);
    void AfterUnmovedEntry(PENDING_WORK& work, bool bManual);
    void MapMovedRange(int64_t llFrom, int64_t llTo, int64_t llLength, int32_t nFileKind);
    void ShowPieceProgress(const wchar_t* pszPath, uint32_t uDone, uint32_t uCount, int32_t& nShown, HANDLE hVolume);
    void ChangeTests(PENDING_WORK& work, int32_t nWaitSeconds, int64_t llNow);
    bool IsHeldBack(const PENDING_WORK& work, int32_t nWaitSeconds, int64_t llNow) const;
    void AfterFailedMove(PENDING_WORK& work);
    bool IsMftPath(const CUnicodeString& strPath, const wchar_t* pszSuffix) const;
    CUnicodeString FindDrivePath() const;
    bool ReadNtfsGeometry(NTFS_VOLUME_DATA& stData);
    void ApplyMftZoneRule();
    bool AllocateBitmapBuffer();
    bool ScanNextUsedCluster(HANDLE hVolume, int64_t llFrom, int64_t& llFound);
    bool ScanFreeRun(HANDLE hVolume, const FREE_RUN_QUERY& query, int64_t& llFound);
    bool IsIndexReady(HANDLE hVolume);
    bool AnswerSearch(HANDLE hVolume, bool bNextUsed, const FREE_RUN_QUERY& query, int64_t& llFound);
    void CheckAnswer(bool bNextUsed, const FREE_RUN_QUERY& query, const FREE_RUN_ANSWER& indexed,
                     const FREE_RUN_ANSWER& scanned);
    // The one place where the run's own moves reach its free-run index.
    void TrackClusters(HANDLE hVolume, int64_t llLcn, int64_t llLength, CLUSTER_CHANGE eChange);
    void TrackMovedPiece(HANDLE hVolume, int64_t llFrom, int64_t llTo, int64_t llLength);
    // Searches through a free-run index for the length of a client's run: the index is built
    // at the run's first search and dropped at its end. A background step is too short to
    // pay for a read of the whole bitmap.
    class CIndexedSearches
    {
    public:
        CIndexedSearches(CDefragPartition& partition, bool bOn);
        ~CIndexedSearches();
        CIndexedSearches(const CIndexedSearches&) = delete;
        CIndexedSearches& operator=(const CIndexedSearches&) = delete;

    private:
        CDefragPartition& m_partition;
    };
    void ReadLastManualDefragTime();
    void WriteLastManualDefragTime();
    CUnicodeString StatsKeyPath() const;
    void ApplyBootLayoutSettings(bool bSystemVolume);
    bool SampleDiskPerformance(HANDLE hVolume, LONGLONG& llQueryTime, LONGLONG& llIdleTime, DWORD& dwQueueDepth);
    bool BuildClusterMap();
    bool FindHeldFileHandle(const wchar_t* pszPath, bool bSharingViolation, HANDLE& hFile);
    // The failure record of the file being moved: begun empty for the file, kept at its first
    // failed call, and added to the run's failures where the file is counted as skipped.
    void BeginMoveFailure(const wchar_t* pszPath);
    void NoteMoveFailure(const wchar_t* pszCall, DWORD dwStatus, bool bWin32, int64_t llVcn, int64_t llLcn);
    void WriteRunFailures();
    // llPieces: not 0 for a move in pieces of at most that many clusters.
    bool MoveFileCore(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters,
                      DWORD& dwAttributes, bool bWithProgress, int64_t llPieces);
    // After a move: whether the clusters it left read free already.
    void LearnFreeing(HANDLE hVolume, const CExtentList& oldExtents, int64_t llTarget, int64_t llClusters);

    CPartitionOwner* m_pOwner;
    int32_t m_nIndex;
    CUnicodeString m_strVolumeName;
    mutable CCriticalSection m_csIdentity;
    VOLUME_IDENTITY m_identity;
    volatile int32_t m_nState;
    volatile bool m_bBackgroundMode;
    volatile bool m_bPaused;
    volatile bool m_bClientConnected;
    int32_t m_nSubscriberCount;
    bool m_bAnalysisFresh;
    CCriticalSection m_csJob;          // the job thread's handle
    HANDLE m_hJobThread;
    DWORD m_dwJobThreadId;
    LPTHREAD_START_ROUTINE m_pfnJob;   // of the job thread, set before it starts
    volatile LONG m_lStartingState;
    HANDLE m_hStopEvent;
    int32_t m_nAnalysisStepDelay;
    int32_t m_nUseIOGuard;
    int32_t m_nIOGuardWaitTime;
    int32_t m_nIOGuardMinIdlePercentage;
    LONGLONG m_llLastQueryTime;
    LONGLONG m_llLastIdleTime;
    bool m_bManualRun;
    CCriticalSection m_csPending;
    CPendingFileList m_pendingFiles;
    CCriticalSection m_csZoneFiles;
    CPendingFileList m_zoneFiles;
    CLayoutFileList m_bootFiles;
    CZoneExtentList m_zoneExtents;
    int32_t m_nUseLayoutIni;
    bool m_bSystemVolume;
    int64_t m_llBootZoneClusters;
    int32_t m_nLayoutIniForesightDivider;
    int32_t m_nUseEveryOverlappedMove;
    int32_t m_nUseLastWriteTime;
    int32_t m_nUseLastFileSize;
    int32_t m_nMoveModifiedFilesToEnd;
    bool m_bForcedMoveToEnd;
    int32_t m_nMethod;
    int32_t m_nUseFastStopMethod;
    int32_t m_nMaxMBMove;
    CCriticalSection m_csMap;          // the cluster map and the subscriber slots
    std::unique_ptr<CClusterMap> m_pClusterMap;
    CExtentList m_extents;
    int32_t m_nFileSystem;
    bool m_bMftReadable;
    CCriticalSection m_csBitmap;       // the bitmap buffer
    std::unique_ptr<BYTE[]> m_pRecordBuffer;
    int64_t m_llMftZoneStart;
    int64_t m_llMftZoneEnd;
    int64_t m_llTotalClusters;
    int64_t m_llUsedClusters;
    std::unique_ptr<BYTE[]> m_pBitmapBuffer;
    DWORD m_dwBitmapBufferBytes;
    bool m_bIndexedSearches = false;   // under the bitmap lock, as are the three below
    std::unique_ptr<CVolumeBitmapSource> m_pIndexSource;
    std::unique_ptr<CFreeRunIndex> m_pFreeRunIndex;
    bool m_bSearchCheck = false;
    SEARCH_COUNTS m_stSearches = {};
    SEARCH_MISMATCH m_stFirstMismatch = {};
    int32_t m_nBytesPerFileRecord;
    int32_t m_nBytesPerCluster;
    int32_t m_nBytesPerSector;
    int64_t m_llMftStartLcn;
    int64_t m_llMftSpanEnd;
    int64_t m_llMftMirrorStartLcn;
    int64_t m_llMftSpanStart;
    CCriticalSection m_csStatus;
    CUnicodeString m_strStatusText;
    int32_t m_nNtfsMajorVersion;
    int32_t m_nNtfsMinorVersion;
    int32_t m_nNtfsVolumeFlags;
    bool m_bListOverflow;
    int64_t m_llLastAddRemoveTime;
    int64_t m_llLastModifyTime;
    int32_t m_nPartitionBackgroundFileListMax;
    int64_t m_llLastManualDefragTime;
    int32_t m_nRunChkDskBeforeDefrag;
    bool m_bCheckCompleted;
    int32_t m_nChkDskLevel;
    int32_t m_nMaxChecksBeforeDefrag;
    int32_t m_nMaxTimeBeforeDefrag;
    int32_t m_nLastModificationTimeInterval;
    int32_t m_nMaxTimeMoveHighFragFiles;
    int32_t m_anSubscribers[SubscriberSlots];
    CFileChangeMonitor* m_pChangeMonitor;
    volatile bool m_bWatchLost;        // background mode ended because changes could not be watched
    FILETIME m_ftAnalysisTime;
    bool m_bStepRunning;               // under the job lock
    HANDLE m_hStepEnded;               // set while no step runs
    ULONGLONG m_ullStepDeadline;       // tick count at which the running step's time is up; 0 none
    CFreeRunHints m_hints;             // of the running pass
    RUN_SKIPS m_stSkips;
    MOVE_FAILURE m_stMoveFailure;      // of the file being moved, on the job's thread
    CRunFailures m_runFailures;        // of the running run
    RUN_SETTINGS m_stRun;
    SLIDE_COUNTS m_stSlides;
    // Whether the file system hands clusters freed by a move back at once (1) or holds them
    // for a while (0); -1 until a move has shown it.
    int32_t m_nFreedAtOnce;
    CPhaseClock* m_pPhaseClock = nullptr;
};
