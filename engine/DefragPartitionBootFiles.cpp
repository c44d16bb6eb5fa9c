#include "engine/DefragPartition.h"

#include <algorithm>
#include <vector>

#include "engine/NtfsRecordReader.h"
#include "engine/SysHandle.h"

namespace {

constexpr int64_t InPlaceSlack = 500;
constexpr int64_t ProgressEveryFileClusters = 10000;
constexpr int64_t UnitsPerMinute = 600000000LL;
constexpr uint64_t NoPosition = ~0ULL;

} // namespace

// A file met in the zone at the fill point, to be moved out of the boot files' way.
struct CDefragPartition::ZONE_OCCUPANT
{
    uint64_t ullRecord;
    uint64_t ullPosition;
    int64_t llLcn;   // of the extent at which it was met
};

void CDefragPartition::AfterFileDefragmented(const CUnicodeString& strPath, int64_t llClusters)
{
    ++m_nFilesDefragmented;
    CSectionLock lock(m_csPending);
    LowerCounter(m_llFragmentedClusters, llClusters);
    RemovePendingLocked(strPath);
}

bool CDefragPartition::MoveBootFile(HANDLE hVolume, const CUnicodeString& strPath, bool bFragmented,
                                    int64_t llTarget, int64_t llClusters, CExtentList& extents)
{
    WaitForDiskIdle(hVolume);
    CExtentList target;
    const bool bMoved =
        MoveFileWithMap(hVolume, strPath.GetBuffer(), bFragmented, llTarget, llClusters, extents, target);
    if (bMoved && bFragmented)
        AfterFileDefragmented(strPath, llClusters);
    return bMoved;
}

bool CDefragPartition::ZoneExtentPath(CNtfsRecordReader& reader, uint64_t ullRecord, uint64_t ullPosition,
                                      CUnicodeString& strPath)
{
    CUnicodeString strRelative;
    const LONGLONG llRecord = static_cast<LONGLONG>(ullRecord);
    const bool bRead = ullPosition == NoPosition
                           ? reader.GetRecordPath(llRecord, strRelative)
                           : reader.GetStreamPathByIndex(llRecord, static_cast<int>(ullPosition), strRelative);
    if (!bRead || strRelative.GetLength() == 0)
        return false;
    strPath = DriveOrVolumeName() + strRelative;
    return true;
}

bool CDefragPartition::IsRecentlyWritten(HANDLE hFile, bool& bRecent)
{
    FILETIME ftWrite = {};
    if (!sys::GetFileTime(hFile, nullptr, nullptr, &ftWrite))
        return false;
    const int64_t llWritten = (static_cast<int64_t>(ftWrite.dwHighDateTime) << 32) | ftWrite.dwLowDateTime;
    const int64_t llAnalysis = AnalysisTimeUnits();
    bRecent = llWritten > llAnalysis ||
              (llAnalysis - llWritten) / UnitsPerMinute < static_cast<int64_t>(m_nLastModificationTimeInterval) * 60;
    return true;
}

bool CDefragPartition::PlaceBootFiles(int32_t nFrom, int32_t nTo, CNtfsRecordReader& reader, HANDLE hVolume)
{
    m_bootFiles.RemoveShortNameDuplicates();
    m_zoneExtents.SortByLcn();
    const int nFiles = m_bootFiles.GetSize();
    const uint32_t uExtents = m_zoneExtents.GetCount();
    const int64_t llTotal = m_llTotalClusters;
    int64_t llFill = 0;      // d
    uint32_t uExtent = 0;    // x
    int32_t nLastProgress = -1;
    for (int nFile = 0; nFile < nFiles;)
    {
        if (IsStopSet())
            return true;
        const CUnicodeString strPath = *m_bootFiles.GetAt(nFile);
        HANDLE hOpened = INVALID_HANDLE_VALUE;
        if (!OpenFileForMove(strPath.GetBuffer(), hOpened))
            return false;
        CSysHandle file(hOpened);
        CExtentList extents;
        int64_t llSize = 0;
        const bool bFragmented = GetFileExtents(file.Get(), llSize, extents);
        int64_t llFirst = 0;
        int64_t llLength = 0;
        if (!extents.Get(0, llFirst, llLength))
            llFirst = 0;
        const int32_t nProgress =
            nFrom + static_cast<int32_t>(static_cast<uint32_t>(nFile) * static_cast<uint32_t>(nTo - nFrom) / nFiles);
        if (nProgress != nLastProgress || llSize > ProgressEveryFileClusters)
        {
            nLastProgress = nProgress;
            m_nProgress = nProgress;
            SetStatusText(L" ");
            ReportState(hVolume);
        }
        const int64_t llFree = llTotal - m_llUsedClusters;
        if (m_stRun.nMoveModifiedFilesToEnd == 2 && (bFragmented || llFirst > m_llBootZoneClusters))
        {
            bool bRecent = false;
            if (!IsRecentlyWritten(file.Get(), bRecent))
                return false;
            if (bRecent)
            {
                // A boot file written lately does not go into the zone but behind the used part.
                file.Reset();
                int64_t llEnd = -1;
                if (llSize < llFree && FindFreeRun(hVolume, m_llUsedClusters, llSize, llEnd) &&
                    !(llFirst >= m_llUsedClusters && llEnd >= llFirst && !bFragmented))
                    MoveBootFile(hVolume, strPath, bFragmented, llEnd, llSize, extents);
                ++nFile;
                continue;
            }
        }
        file.Reset();
        if (llSize == 0)
        {
            ++nFile;
            continue;
        }
        // The walk: from the fill point on, free clusters and the files met there (which will
        // be moved away) make room until the boot file fits.
        std::vector<ZONE_OCCUPANT> window;
        int64_t llRoom = 0;
        int64_t llCursor = llFill;
        while (llRoom < llSize)
        {
            int64_t llUsed = -1;
            if (llCursor >= llTotal)
                break;
            const bool bAnyUsed = FindNextUsedCluster(hVolume, llCursor, llUsed);
            if (!bAnyUsed || llUsed > llCursor)
            {
                // Free from the cursor on; with nothing used behind it, up to the volume's end.
                const int64_t llStretchEnd = bAnyUsed ? llUsed : llTotal;
                llRoom += llStretchEnd - llCursor;
                llCursor = llStretchEnd;
                continue;
            }
            if (uExtent >= uExtents)
                break;
            const uint64_t ullRecord = m_zoneExtents.GetRecord(uExtent);
            const int64_t llLcn = static_cast<int64_t>(m_zoneExtents.GetLcn(uExtent));
            int64_t llUsedAt = -1;
            if (!FindNextUsedCluster(hVolume, llLcn, llUsedAt) || llUsedAt != llLcn || llLcn < llCursor)
            {
                ++uExtent;   // gone since the analysis, or behind the cursor
                continue;
            }
            if (llLcn > llCursor)
            {
                // Used clusters that no extent of the list covers: the room starts again behind them.
                window.clear();
                llRoom = 0;
                llFill = std::max(llFill, llLcn);
                llCursor = llFill;
                continue;
            }
            if (CNtfsRecordReader::IsUnmovableSystemAttribute(static_cast<LONGLONG>(ullRecord),
                                                              CNtfsRecordReader::UnnamedData) &&
                ullRecord != static_cast<uint64_t>(CNtfsRecordReader::RootRecord))
            {
                window.clear();
                llRoom = 0;
                const int64_t llNextStart =
                    uExtent + 1 < uExtents ? static_cast<int64_t>(m_zoneExtents.GetLcn(uExtent + 1)) : llTotal;
                int64_t llFreeAfter = -1;
                llFill = std::max(llFill, FindFreeRun(hVolume, llLcn, 1, llFreeAfter, llNextStart) ? llFreeAfter
                                                                                                    : llNextStart);
                llCursor = llFill;
                ++uExtent;
                continue;
            }
            CUnicodeString strOccupant;
            CExtentList occupant;
            int64_t llOccupantSize = 0;
            const uint64_t ullPosition = m_zoneExtents.GetAttributePosition(uExtent);
            if (!reader.LoadRecord(static_cast<LONGLONG>(ullRecord)) ||
                !ZoneExtentPath(reader, ullRecord, ullPosition, strOccupant))
                return false;
            const bool bOccupantFragmented = GetFileExtentsByPath(strOccupant.GetBuffer(), llOccupantSize, occupant);
            int64_t llOccupantFirst = 0;
            int64_t llOccupantLength = 0;
            occupant.Get(0, llOccupantFirst, llOccupantLength);
            ++uExtent;
            if (llOccupantSize == 0)
                continue;
            if (llOccupantFirst < llFill)
            {
                if (bOccupantFragmented)
                    return false;
                window.push_back({ullRecord, ullPosition, llLcn});
                llCursor = llOccupantFirst + llOccupantLength;
                continue;
            }
            if (window.empty())
                llFill = llLcn;
            window.push_back({ullRecord, ullPosition, llLcn});
            llRoom += llOccupantSize;
            llCursor += llOccupantSize;
        }
        if (!PlaceOneBootFile(hVolume, reader, strPath, bFragmented, llFirst, llSize, extents, window, llRoom,
                              llFill, nFile))
            return false;
        if (uExtent + 1 > uExtents || llFill >= llTotal)
            return true;
    }
    return true;
}

bool CDefragPartition::PlaceOneBootFile(HANDLE hVolume, CNtfsRecordReader& reader, const CUnicodeString& strPath,
                                        bool bFragmented, int64_t llFirst, int64_t llSize, CExtentList& extents,
                                        const std::vector<ZONE_OCCUPANT>& window, int64_t llRoom, int64_t& llFill,
                                        int& nFile)
{
    if (window.empty() && llRoom == 0)
    {
        llFill += llSize;
        ++nFile;
        return true;
    }
    if (!window.empty() && window[0].llLcn == llFirst && llFirst >= llFill && llFirst - llFill < InPlaceSlack)
    {
        // The file stands at the fill point, or close enough behind it.
        llFill = llFirst + llSize;
        ++nFile;
        return true;
    }
    const int64_t llFree = m_llTotalClusters - m_llUsedClusters;
    for (const ZONE_OCCUPANT& occupant : window)
    {
        if (IsStopSet())
            break;
        CUnicodeString strOccupant;
        if (!reader.LoadRecord(static_cast<LONGLONG>(occupant.ullRecord)) ||
            !ZoneExtentPath(reader, occupant.ullRecord, occupant.ullPosition, strOccupant))
            return false;
        if (strOccupant.CompareNoCase(strPath) == 0)
            continue;
        CExtentList occupantExtents;
        int64_t llOccupantSize = 0;
        const bool bOccupantFragmented =
            GetFileExtentsByPath(strOccupant.GetBuffer(), llOccupantSize, occupantExtents);
        int64_t llStart = 0;
        int64_t llLength = 0;
        if (llOccupantSize == 0 || !occupantExtents.Get(0, llStart, llLength))
            continue;
        if (!bOccupantFragmented && (llStart + llLength <= llFill || llStart >= llFill + llSize))
            continue;
        int64_t llTarget = -1;
        if (llOccupantSize >= llFree ||
            (!FindFreeRun(hVolume, m_llUsedClusters, llOccupantSize, llTarget) &&
             !FindFreeRun(hVolume, llFill + llSize, llOccupantSize, llTarget)))
            return false;
        MoveBootFile(hVolume, strOccupant, bOccupantFragmented, llTarget, llOccupantSize, occupantExtents);
    }
    int64_t llAt = -1;
    if (llSize < llFree && FindFreeRun(hVolume, llFill, llSize, llAt) && llAt == llFill)
    {
        if (MoveBootFile(hVolume, strPath, bFragmented, llFill, llSize, extents))
            llFill += llSize;
        ++nFile;
        return true;
    }
    llFill += llRoom;
    return true;
}
