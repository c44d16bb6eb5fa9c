#include "engine/DefragPartition.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "engine/NtfsRecordReader.h"
#include "engine/SysHandle.h"
#include "engine/SystemLevel.h"
#include "platform/LittleEndian.h"

namespace {

constexpr DWORD AttributeTypeData = 0x80;
constexpr int64_t SlideMinBytes = 50000;
constexpr int64_t SlideMinGap = 500;
constexpr int64_t UnitsPerMinute = 600000000LL;
constexpr int64_t RecentMinutes = 1440;
constexpr int64_t MaxUsedPercentToLeaveZone = 95;
constexpr int64_t FirstRecordOfPass = 3;
constexpr int64_t MetadataRecords = 16;

// The code the unmovable-attribute rule knows a stream by: the unnamed data stream, or the
// attribute's type.
int AttributeCode(const BYTE* pAttribute)
{
    const DWORD dwType = le::Get<DWORD>(pAttribute, 0);
    int nNameLength = 0;
    CNtfsRecordReader::GetAttributeName(pAttribute, nNameLength);
    return dwType == AttributeTypeData && nNameLength == 0 ? CNtfsRecordReader::UnnamedData
                                                           : static_cast<int>(dwType);
}

std::wstring Folded(const CUnicodeString& strPath)
{
    std::wstring str(strPath.GetBuffer() ? strPath.GetBuffer() : L"", strPath.GetLength());
    if (!str.empty())
        ::CharUpperBuffW(&str[0], static_cast<DWORD>(str.size()));
    return str;
}

} // namespace

// One stream of the file pass as its runs are gathered.
struct CDefragPartition::PASS_STREAM
{
    int64_t llFirst = -1;       // v
    int64_t llClusters = 0;     // L
    int64_t llPreviousEnd = -1;
    bool bFragmented = false;
};

// What the file pass keeps across its records.
struct CDefragPartition::FILE_PASS
{
    HANDLE hVolume = INVALID_HANDLE_VALUE;
    CNtfsRecordReader* pReader = nullptr;
    int64_t llCounted = 0;
    // The boot list folded to upper case once, so that a stream is looked up in it at once.
    std::unordered_set<std::wstring> bootPaths;
};

int64_t CDefragPartition::AnalysisTimeUnits() const
{
    return (static_cast<int64_t>(m_ftAnalysisTime.dwHighDateTime) << 32) | m_ftAnalysisTime.dwLowDateTime;
}

bool CDefragPartition::UsesBootZone() const
{
    return m_stRun.nUseLayoutIni == 1 || m_stRun.nUseLayoutIni == 2 || (m_stRun.nUseLayoutIni == 4 && m_bSystemVolume);
}

bool CDefragPartition::DefragmentFiles(int32_t nProgressStart, int32_t nProgressShare)
{
    if (m_nFileSystem != FS_NTFS || !m_bMftReadable)
        return false;
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
        return false;
    CNtfsRecordReader reader(volume.Get(), static_cast<DWORD>(m_nBytesPerFileRecord),
                             static_cast<DWORD>(m_nBytesPerCluster));
    if (reader.BeginEnumeration() == CNtfsRecordReader::NoRecord)
        return false;
    const bool bResult = FilePass(volume.Get(), reader, nProgressStart, nProgressShare);
    m_bootFiles.RemoveAll();
    return bResult;
}

bool CDefragPartition::FilePass(HANDLE hVolume, CNtfsRecordReader& reader, int32_t nStart, int32_t nShare)
{
    if (UsesBootZone())
    {
        const int64_t llFree = m_llTotalClusters - m_llUsedClusters;
        if (m_llBootZoneClusters / 2 < llFree + llFree * 10 / 100)
        {
            const int32_t nOwn =
                m_llUsedClusters > 0
                    ? static_cast<int32_t>(std::min<int64_t>(nShare, nShare * m_llBootZoneClusters / m_llUsedClusters))
                    : 100;
            PlaceBootFiles(nStart, nStart + nOwn, reader, hVolume);
            SetStatusText(L" ");
            ReportState();
            nStart += nOwn;
            nShare -= nOwn;
        }
        m_zoneExtents.Reset();
        if (IsStopSet())
            return false;
    }
    FILE_PASS pass;
    pass.hVolume = hVolume;
    pass.pReader = &reader;
    for (int i = 0; i < m_bootFiles.GetSize(); ++i)
        pass.bootPaths.insert(Folded(*m_bootFiles.GetAt(i)));
    int64_t llRecord = reader.NextRecord(FirstRecordOfPass);
    if (llRecord == CNtfsRecordReader::NoRecord)
        return false;
    m_hints.Clear();
    int32_t nLastProgress = -1;
    for (;;)
    {
        if (m_nUseFastStopMethod == 1 && IsStopSet())
            return false;
        WaitForDiskIdle(hVolume);
        if (!reader.IsRecordDamaged())
            PassRecord(pass, llRecord);
        llRecord = reader.NextBaseRecord(llRecord);
        if (llRecord == CNtfsRecordReader::NoRecord)
            return true;
        if (::WaitForSingleObject(m_hStopEvent, static_cast<DWORD>(std::max(0, m_nAnalysisStepDelay))) ==
            WAIT_OBJECT_0)
            return false;
        if (llRecord < MetadataRecords)
            pass.llCounted = 0;
        const int32_t nProgress =
            nStart + (m_llUsedClusters > 0 ? static_cast<int32_t>(nShare * pass.llCounted / m_llUsedClusters) : 0);
        if (nProgress != nLastProgress)
        {
            nLastProgress = nProgress;
            m_nProgress = std::min(100, nProgress);
            SetStatusText(L" ");
            ReportState(hVolume);
            m_hints.Clear();
        }
    }
}

void CDefragPartition::PassRecord(FILE_PASS& pass, int64_t llRecord)
{
    CNtfsRecordReader& reader = *pass.pReader;
    const int64_t llFree = m_llTotalClusters - m_llUsedClusters;
    PASS_STREAM stream;
    bool bContinuing = false;
    for (const BYTE* pAttribute = reader.NextAttribute(nullptr, true); pAttribute != nullptr;
         pAttribute = reader.NextAttribute(pAttribute, true))
    {
        if (!bContinuing)
        {
            stream = PASS_STREAM();
            m_extents.Clear();
        }
        DATA_RUN_CURSOR cursor = {};
        LONGLONG llLcn = 0;
        LONGLONG llLength = 0;
        LONGLONG llVcn = 0;
        int nStatus = CNtfsRecordReader::RunEnd;
        while (reader.NextDataRun(llRecord, pAttribute, cursor, llLcn, llLength, llVcn, nStatus))
        {
            if (nStatus == CNtfsRecordReader::RunSparse || llLcn < 0)
                continue;
            if (llLength > llFree && llLcn != 0)
                break;
            if (stream.llFirst < 0)
                stream.llFirst = llLcn;
            else if (llLcn != stream.llPreviousEnd)
                stream.bFragmented = true;
            stream.llPreviousEnd = llLcn + llLength;
            stream.llClusters += llLength;
            pass.llCounted += llLength;
            m_extents.Add(llLcn, llLength);
        }
        bContinuing = nStatus == CNtfsRecordReader::RunContinues;
        if (bContinuing)
            continue;
        const int nCode = reader.GetRecordNumber() == llRecord ? AttributeCode(pAttribute) : 0;
        if (stream.llClusters == 0 || CNtfsRecordReader::IsUnmovableSystemAttribute(llRecord, nCode))
            continue;
        PlaceStream(pass, llRecord, pAttribute, stream);
    }
}

bool CDefragPartition::FindSlide(HANDLE hVolume, int64_t llFirst, int64_t llClusters, int64_t& llTarget)
{
    // Slides are for a whole stream whose free stretch in front of it ends at its start.
    if (m_nUseEveryOverlappedMove == 0 && llFirst <= m_llUsedClusters)
    {
        int64_t llNext = -1;
        if (!FindNextUsedCluster(hVolume, llFirst + llClusters, llNext) || llNext == llFirst + llClusters)
            return false;
    }
    if (m_llTotalClusters - m_llUsedClusters < 2)
        return false;
    int64_t llFree = -1;
    bool bFound = FindFreeRun(hVolume, std::max<int64_t>(0, llFirst - llClusters), 1, llFree, llFirst);
    while (bFound && llFree < llFirst)
    {
        int64_t llUsed = -1;
        if (!FindNextUsedCluster(hVolume, llFree, llUsed))
            return false;
        if (llUsed == llFirst)
        {
            const int64_t llGap = llFirst - llFree;
            if (llClusters * m_nBytesPerCluster > SlideMinBytes && llGap < llClusters * 5 / 100 && llGap < SlideMinGap)
                return false;
            llTarget = llFree;
            return true;
        }
        bFound = FindFreeRun(hVolume, llUsed, 1, llFree, llFirst);
    }
    return false;
}

bool CDefragPartition::FindPassTarget(HANDLE hVolume, const PASS_STREAM& stream, int64_t& llTarget, bool& bSlide)
{
    const int64_t llFirst = stream.llFirst;
    const int64_t llLength = stream.llClusters;
    const int64_t llFree = m_llTotalClusters - m_llUsedClusters;
    const uint64_t ullHint = m_hints.GetSearchStart(static_cast<uint64_t>(llLength));
    const bool bHint = ullHint != CFreeRunHints::NoneLeft;
    const int64_t llHint = bHint ? static_cast<int64_t>(ullHint) : INT64_MAX;
    bool bFound = false;
    bool bLeavingZone = false;
    int64_t llFound = 0;
    bSlide = false;
    if (bHint && (llHint < llFirst || stream.bFragmented))
    {
        int64_t llBest = 0;
        if (llLength < llFree)
        {
            bFound = FindFreeRun(hVolume, llHint, llLength, llBest);
            llFound = llBest;
        }
        const uint64_t ullFound = llFound < 0 ? CFreeRunHints::NoneLeft : static_cast<uint64_t>(llFound);
        const bool bBelow = (llFound >= 0 && llFound < llFirst) || stream.bFragmented;
        m_hints.UpdateAfterSearch(ullFound, static_cast<uint64_t>(llLength),
                                  bBelow ? static_cast<uint64_t>(llFirst) : ullFound);
    }
    bool bDone = bFound && llFound <= llFirst && llHint <= llFirst;
    if (!bFound && m_llMftZoneStart <= llFirst && llFirst <= m_llMftZoneEnd && m_llTotalClusters > 0 &&
        m_llUsedClusters * 100 / m_llTotalClusters < MaxUsedPercentToLeaveZone && llLength < llFree)
    {
        // A stream inside the MFT zone leaves it while the volume has room.
        bFound = FindFreeRun(hVolume, bHint && llHint > llFirst ? llHint : llFirst, llLength, llFound);
        bLeavingZone = bFound;
        bDone = bFound && llFound <= llFirst && llHint <= llFirst;
    }
    if (!bDone && !stream.bFragmented && GetSystemLevel() != 1 && !bLeavingZone && llLength != 1)
    {
        int64_t llSlide = -1;
        if (FindSlide(hVolume, llFirst, llLength, llSlide))
        {
            bFound = true;
            llFound = llSlide;
            bSlide = true;
        }
    }
    if (!bFound || !(llFound < llFirst || stream.bFragmented || bLeavingZone))
        return false;
    llTarget = llFound;
    return true;
}

void CDefragPartition::PlaceStream(FILE_PASS& pass, int64_t llRecord, const BYTE* pAttribute,
                                   const PASS_STREAM& stream)
{
    const HANDLE hVolume = pass.hVolume;
    CNtfsRecordReader& reader = *pass.pReader;
    int64_t llTarget = -1;
    bool bSlide = false;
    if (!FindPassTarget(hVolume, stream, llTarget, bSlide))
        return;
    const int64_t llSlideTarget = bSlide ? llTarget : -1;
    const bool bDirectory = CNtfsRecordReader::IsDirectoryRecord(reader.GetRecord());
    CUnicodeString strRelative;
    if (!reader.GetStreamPath(llRecord, pAttribute, strRelative) || strRelative.GetLength() == 0)
        return;
    const CUnicodeString strPath = DriveOrVolumeName() + strRelative;
    if (stream.llFirst <= m_llBootZoneClusters || (m_stRun.nUseLayoutIni == 3 && m_llBootZoneClusters != 0) ||
        m_stRun.nMoveModifiedFilesToEnd == 1)
    {
        CUnicodeString strLookup = strPath;
        if (bDirectory && llRecord != CNtfsRecordReader::RootRecord && strLookup.GetLength() > 0 &&
            strLookup.GetBuffer()[strLookup.GetLength() - 1] != L'\\')
            strLookup += L"\\";
        if (pass.bootPaths.count(Folded(strLookup)) != 0)
            return;
    }
    if (m_stRun.nMoveModifiedFilesToEnd != 0 && !KeepsTargetWhenModified(hVolume, reader, llRecord, stream, llTarget))
        return;
    WaitForDiskIdle(hVolume);
    // A recently written stream may have been sent behind the used part instead.
    const bool bSlideMove = bSlide && llTarget == llSlideTarget;
    m_stSlides.nTried += bSlideMove ? 1 : 0;
    CExtentList target;
    const bool bMoved = MoveFileWithMap(hVolume, strPath.GetBuffer(), stream.bFragmented, llTarget, stream.llClusters,
                                        m_extents, target, bSlideMove ? stream.llFirst - llTarget : 0);
    if (!bMoved)
        return;
    m_stSlides.nDone += bSlideMove ? 1 : 0;
    if (bSlide)
    {
        int64_t llNext = -1;
        const int64_t llBehind = llTarget + stream.llClusters;
        if (FindNextUsedCluster(hVolume, llBehind, llNext) && llNext > llBehind)
            m_hints.OnClustersFreed(static_cast<uint64_t>(llBehind), static_cast<uint64_t>(llNext - llBehind));
    }
    else if (stream.bFragmented)
    {
        for (uint32_t u = 0; u < m_extents.GetCount(); ++u)
        {
            int64_t llStart = 0;
            int64_t llLength = 0;
            if (m_extents.Get(u, llStart, llLength))
                m_hints.OnClustersFreed(static_cast<uint64_t>(llStart), static_cast<uint64_t>(llLength));
        }
    }
    if (stream.bFragmented)
        AfterFileDefragmented(strPath, stream.llClusters);
}

bool CDefragPartition::KeepsTargetWhenModified(HANDLE hVolume, CNtfsRecordReader& reader, int64_t llRecord,
                                               const PASS_STREAM& stream, int64_t& llTarget)
{
    const int64_t llModified =
        reader.GetRecordNumber() == llRecord ? CNtfsRecordReader::GetModificationTime(reader.GetRecord()) : 0;
    if (llModified == -1)
        return true;
    const int64_t llDiff = AnalysisTimeUnits() - llModified;
    if (!(llDiff < 0 || llDiff / UnitsPerMinute < RecentMinutes))
        return true;
    // Files written lately are likely to change again: they go behind the used part.
    int64_t llEnd = -1;
    if (stream.llClusters >= m_llTotalClusters - m_llUsedClusters ||
        !FindFreeRun(hVolume, m_llUsedClusters, stream.llClusters, llEnd))
        return false;
    if (stream.llFirst >= m_llUsedClusters && llEnd > stream.llFirst)
        return false;
    llTarget = llEnd;
    return true;
}
