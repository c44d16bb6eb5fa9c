#include "engine/DefragPartition.h"

#include <cstring>

#include "engine/NtfsRecordReader.h"
#include "engine/StreamNamer.h"
#include "engine/SysHandle.h"

namespace {

// Past this many bytes of map changes the walk reports even without a new percentage. The
// size is looked at every so many records: the map's locks for every record cost as much as
// a good part of judging it, and a few records more hardly move the size.
constexpr int64_t MaxPendingChangeBytes = 10000000;
constexpr uint32_t RecordsPerChangeLook = 64;
constexpr DWORD TypeData = 0x80;

} // namespace

// One stream of the record being walked; a stream split over several attributes keeps it
// from piece to piece.
struct CDefragPartition::MFT_STREAM
{
    bool bHasRuns = false;
    bool bFragmented = false;
    bool bInSpan = false;
    int64_t llPreviousEnd = 0;
    int64_t llFirstLcn = 0;
    int64_t llClusters = 0;
};

CDefragPartition::WALK CDefragPartition::WalkMft()
{
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
    {
        m_nState = STATE_IDLE;
        ReportState();
        return WALK::Failed;
    }
    CNtfsRecordReader reader(volume.Get(), static_cast<DWORD>(m_nBytesPerFileRecord),
                             static_cast<DWORD>(m_nBytesPerCluster));
    if (reader.BeginEnumeration() == CNtfsRecordReader::NoRecord)
    {
        // From now on this volume is walked by its directories.
        m_bMftReadable = false;
        m_nProgress = 0;
        m_nState = STATE_VOLUME_ERROR;
        ReportState();
        m_nState = STATE_IDLE;
        return WALK::Failed;
    }
    if (reader.IsVolumeDirty())
    {
        m_nProgress = 0;
        m_nState = FaultyState();
        ReportState();
        return WALK::Failed;
    }
    SizeBootZone();
    m_llMftSpanStart = 0;
    m_llMftSpanEnd = 0;
    {
        CSectionLock lock(m_csZoneFiles);
        m_zoneFiles.RemoveAll();
    }
    CStreamNamer namer(reader, RootPath());
    int64_t llCounted = 0;
    int32_t nLastReported = m_nProgress;
    bool bCompleted = false;
    bool bDamaged = false;
    STOP_LOOK stopLook = {0, 0};
    uint32_t uRecords = 0;
    EnterPhase(PHASE_READER);
    for (int64_t llRecord = reader.BeginEnumeration(); llRecord != CNtfsRecordReader::NoRecord;)
    {
        // A record that does not hold together is damage on the volume, not a file to skip.
        if (reader.IsRecordDamaged())
        {
            bDamaged = true;
            break;
        }
        ExamineRecord(reader, namer, llRecord, llCounted);
        EnterPhase(PHASE_PROGRESS);
        if (IsStepStopped(stopLook))
            break;
        EnterPhase(PHASE_READER);
        llRecord = reader.NextBaseRecord(llRecord);
        if (llRecord == CNtfsRecordReader::NoRecord)
        {
            bCompleted = true;
            break;
        }
        EnterPhase(PHASE_PROGRESS);
        ReportWalkProgress(volume.Get(), namer, llCounted, nLastReported, uRecords);
        EnterPhase(PHASE_READER);
    }
    EnterPhase(PHASE_PROGRESS);
    m_nProgress = ProgressOf(llCounted);
    if (bDamaged || reader.GetDirtyFlag())
    {
        SetStatusText(L" ");
        m_nProgress = 0;
        m_nState = FaultyState();
        ReportState();
        return WALK::Failed;
    }
    return bCompleted ? WALK::Completed : WALK::Ended;
}

void CDefragPartition::ExamineRecord(CNtfsRecordReader& reader, CStreamNamer& namer, int64_t llRecord,
                                     int64_t& llCounted)
{
    ++m_nFilesExamined;
    const bool bDirectory = CNtfsRecordReader::IsDirectoryRecord(reader.GetRecord());
    namer.Begin(llRecord);
    bool bAnyRuns = false;
    MFT_STREAM stream;
    bool bContinuing = false;
    for (const BYTE* pAttribute = reader.NextAttribute(nullptr, true); pAttribute != nullptr;
         pAttribute = reader.NextAttribute(pAttribute, true))
    {
        if (!bContinuing)
        {
            stream = MFT_STREAM();
            m_extents.Clear();
        }
        DATA_RUN_CURSOR cursor = {};
        LONGLONG llLcn = 0;
        LONGLONG llLength = 0;
        LONGLONG llVcn = 0;
        int nStatus = CNtfsRecordReader::RunEnd;
        while (reader.NextDataRun(llRecord, pAttribute, cursor, llLcn, llLength, llVcn, nStatus))
        {
            if (nStatus != CNtfsRecordReader::RunSparse && llLcn >= 0)
            {
                EnterPhase(PHASE_JUDGING);
                TakeRun(stream, llRecord, pAttribute, reader, llLcn, llLength, llCounted);
                EnterPhase(PHASE_READER);
            }
        }
        m_nProgress = ProgressOf(llCounted);
        bContinuing = nStatus == CNtfsRecordReader::RunContinues;
        if (bContinuing || !stream.bHasRuns)
            continue;
        bAnyRuns = true;
        EnterPhase(PHASE_NAMING);
        const int nPath = namer.Locate(pAttribute);
        const wchar_t* pszPath = nullptr;
        if (nPath > 0 && (stream.bFragmented || stream.bInSpan ||
                          NameMayGiveKind(llRecord, nPath, [&namer](int nIndex) { return namer.At(nIndex); })))
        {
            int nLength = 0;
            pszPath = namer.Path(pAttribute, nLength);
        }
        EnterPhase(PHASE_JUDGING);
        JudgeStream(stream, llRecord, pAttribute, pszPath, nPath, bDirectory);
        EnterPhase(PHASE_READER);
    }
    namer.EndRecord();
    if (bAnyRuns)
        ++m_nFilesWithClusters;
}

void CDefragPartition::TakeRun(MFT_STREAM& stream, int64_t llRecord, const BYTE* pAttribute,
                               CNtfsRecordReader& reader, int64_t llLcn, int64_t llLength, int64_t& llCounted)
{
    const bool bContinues = stream.bHasRuns && llLcn == stream.llPreviousEnd;
    if (!bContinues && AppliesZoneRule() && m_llBootZoneClusters != 0 && llLcn > 0 && llLcn <= m_llBootZoneClusters)
    {
        // System data that cannot leave the zone takes room in it that the boot files need.
        const int nCode = CStreamNamer::AttributeCode(pAttribute);
        if (CNtfsRecordReader::IsUnmovableSystemAttribute(llRecord, nCode) || (llRecord < 16 && llRecord != 5))
            m_llBootZoneClusters += llLength;
        const int64_t llPosition = nCode == CNtfsRecordReader::UnnamedData ? -1 : reader.GetAttributeIndex(pAttribute);
        m_zoneExtents.Add(static_cast<uint64_t>(llRecord), static_cast<uint64_t>(llLcn),
                          static_cast<uint64_t>(llPosition));
    }
    if (!stream.bHasRuns)
        stream.llFirstLcn = llLcn;
    else if (!bContinues)
        stream.bFragmented = true;
    stream.bHasRuns = true;
    llCounted += llLength;
    stream.llClusters += llLength;
    stream.llPreviousEnd = llLcn + llLength;
    m_extents.Add(llLcn, llLength);
    if (m_llMftSpanStart != 0 && llLcn >= m_llMftSpanStart && llLcn <= m_llMftSpanEnd)
        stream.bInSpan = true;
}

// pszPath is null where the stream's path was not put together: a stream that is neither
// fragmented nor in the MFT's span needs it only for a kind its name may give.
void CDefragPartition::JudgeStream(MFT_STREAM& stream, int64_t llRecord, const BYTE* pAttribute,
                                   const wchar_t* pszPath, int nPath, bool bDirectory)
{
    const bool bNamed = nPath > 0;
    if (stream.bFragmented)
    {
        bool bEntered = false;
        {
            CSectionLock lock(m_csPending);
            ++m_nFragmentedEntries;
            m_llFragmentedClusters += stream.llClusters;
            if (bNamed)
                bEntered = m_pendingFiles.AddOrUpdate(pszPath, nPath, static_cast<int32_t>(m_extents.GetCount()), 1, 0);
        }
        if (bEntered)
        {
            CSectionLock lock(m_csMap);
            if (m_pClusterMap)
            {
                m_extents.SetKind(GetFileKind(pszPath, KIND_FRAGMENTED, llRecord));
                m_pClusterMap->AddExtents(m_extents);
            }
        }
        // Room behind a fragmented MFT for it to become whole: its own clusters and 2 % more.
        if (llRecord == 0 && CStreamNamer::TypeOf(pAttribute) == TypeData)
        {
            m_llMftSpanStart = stream.llFirstLcn;
            m_llMftSpanEnd = m_llMftSpanStart + stream.llClusters + stream.llClusters * 2 / 100 - 1;
        }
    }
    else
    {
        CSectionLock lock(m_csMap);
        if (m_pClusterMap)
        {
            m_extents.SetKind(GetFileKind(bNamed ? pszPath : nullptr,
                                          bDirectory ? KIND_DIRECTORY : KIND_FILE, llRecord));
            m_pClusterMap->AddExtents(m_extents);
        }
    }
    if (stream.bInSpan)
    {
        CSectionLock lock(m_csZoneFiles);
        if (CNtfsRecordReader::IsUnmovableSystemAttribute(llRecord, CStreamNamer::AttributeCode(pAttribute)))
        {
            // What cannot move out of the span leaves no room there for the MFT.
            m_llMftSpanStart = 0;
            m_zoneFiles.RemoveAll();
        }
        else if (bNamed)
            m_zoneFiles.AddOrUpdate(pszPath, nPath, 1, 1, 0);
    }
}

// The idle guard is waited for outside the map lock: it can wait for seconds, and clients
// that subscribe to the map must not wait with it.
void CDefragPartition::ReportWalkProgress(HANDLE hVolume, const CStreamNamer& namer, int64_t llCounted,
                                          int32_t& nLastReported, uint32_t& uRecords)
{
    m_nProgress = ProgressOf(llCounted);
    bool bReport = m_nProgress != nLastReported;
    if (!bReport && ++uRecords % RecordsPerChangeLook == 0)
    {
        CSectionLock lock(m_csMap);
        bReport = m_pClusterMap && m_pClusterMap->GetChangeBytes() > MaxPendingChangeBytes;
    }
    if (!bReport)
    {
        WaitForDiskIdle(hVolume);
        return;
    }
    nLastReported = m_nProgress;
    // The file last judged is shown with each report, not set for every stream: a copy for
    // every stream of the volume would cost more than judging it.
    SetStatusText(namer.LastName());
    ReportState(hVolume);
    SetStatusText(L" ");
    SendClusterMapChanges();
}
