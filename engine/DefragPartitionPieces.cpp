#include "engine/DefragPartition.h"

#include <algorithm>
#include <vector>

#include "engine/FileMover.h"
#include "engine/RetrievalWalk.h"
#include "engine/SysHandle.h"
#include "platform/Clock.h"
#include "platform/NtStatus.h"

namespace {

constexpr uint32_t MaxJoinFragments = 20000;
constexpr uint32_t ProgressTextExtents = 1000;

struct PIECE
{
    int64_t llVcn;
    int64_t llLcn;
    int64_t llLength;
};

// The allocated extents of an open stream in VCN order; false when the walk failed or the
// stream has sparse or compressed parts, which move only in whole units and are left to the
// whole-file move.
bool ReadPieces(HANDLE hFile, DWORD dwBytesPerCluster, std::vector<PIECE>& pieces)
{
    pieces.clear();
    CRetrievalWalk walk(hFile, dwBytesPerCluster);
    int64_t llVcn = 0;
    int64_t llNextVcn = 0;
    int64_t llLcn = 0;
    while (walk.Next(llVcn, llNextVcn, llLcn))
    {
        if (llLcn == CRetrievalWalk::NoLcn)
            return false;
        pieces.push_back({llVcn, llLcn, llNextVcn - llVcn});
    }
    return walk.IsComplete();
}

} // namespace

void CDefragPartition::TrackMovedPiece(HANDLE hVolume, int64_t llFrom, int64_t llTo, int64_t llLength)
{
    TrackClusters(hVolume, llFrom, llLength, CLUSTER_CHANGE::Freed);
    TrackClusters(hVolume, llTo, llLength, CLUSTER_CHANGE::Taken);
}

void CDefragPartition::MapMovedRange(int64_t llFrom, int64_t llTo, int64_t llLength, int32_t nFileKind)
{
    {
        CSectionLock lock(m_csMap);
        if (!m_pClusterMap)
            return;
        CExtentList from;
        CExtentList to;
        from.Add(llFrom, llLength);
        to.Add(llTo, llLength);
        for (int32_t nKind : {static_cast<int32_t>(KIND_USED), nFileKind})
        {
            from.SetKind(nKind);
            m_pClusterMap->RemoveExtents(from);
            to.SetKind(nKind);
            m_pClusterMap->AddExtents(to);
        }
        from.SetKind(KIND_FREE);
        m_pClusterMap->AddExtents(from);
        to.SetKind(KIND_FREE);
        m_pClusterMap->RemoveExtents(to);
    }
    SendClusterMapChanges();
}

void CDefragPartition::ShowPieceProgress(const wchar_t* pszPath, uint32_t uDone, uint32_t uCount, int32_t& nShown,
                                         HANDLE hVolume)
{
    if (uCount <= ProgressTextExtents)
        return;
    const int32_t nPercent = static_cast<int32_t>(static_cast<uint64_t>(uDone) * 100 / uCount);
    if (nPercent == nShown)
        return;
    nShown = nPercent;
    CUnicodeString strText;
    strText.Format(L"%ls  (%d %%)", pszPath, nPercent);
    SetStatusText(strText);
    ReportState(hVolume);
}

bool CDefragPartition::JoinExtentPairs(HANDLE hVolume, const wchar_t* pszPath, int64_t llFrom)
{
    HANDLE hOpened = INVALID_HANDLE_VALUE;
    DWORD dwOpenError = ERROR_SUCCESS;
    if (pszPath == nullptr || m_nBytesPerCluster <= 0)
        return false;
    if (!OpenFileForMove(pszPath, hOpened, &dwOpenError))
    {
        NoteMoveFailure(L"CreateFileW", dwOpenError, true, -1, -1);
        return false;
    }
    CSysHandle file(hOpened);
    ++m_nFilesMoved;
    const DWORD dwBytesPerCluster = static_cast<DWORD>(m_nBytesPerCluster);
    std::vector<PIECE> pieces;
    if (!ReadPieces(file.Get(), dwBytesPerCluster, pieces) || pieces.size() > MaxJoinFragments)
        return false;
    BY_HANDLE_FILE_INFORMATION stInfo = {};
    const bool bDirectory = sys::GetFileInformationByHandle(file.Get(), &stInfo) &&
                            (stInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const int32_t nKind = GetFileKind(pszPath, bDirectory ? KIND_DIRECTORY : KIND_FILE, -1);
    SetStatusText(pszPath);
    ReportState(hVolume);
    int32_t nShown = -1;
    // Pairs do not overlap: every piece moves at most once, so a file of many pieces costs
    // one pass over its clusters and one search per pair.
    for (size_t k = 0; k + 1 < pieces.size() && !IsStopSet(); ++k)
    {
        const PIECE& first = pieces[k];
        const PIECE& second = pieces[k + 1];
        ShowPieceProgress(pszPath, static_cast<uint32_t>(k), static_cast<uint32_t>(pieces.size()), nShown, hVolume);
        if (first.llLcn + first.llLength == second.llLcn)
            continue;
        WaitForDiskIdle(hVolume);
        int64_t llTarget = -1;
        if (!FindFreeRun(hVolume, std::max<int64_t>(0, llFrom), first.llLength + second.llLength, llTarget))
            continue;
        const NTSTATUS firstStatus = CFileMover::MoveVcnRange(hVolume, file.Get(), first.llVcn, llTarget, first.llLength);
        if (firstStatus != ntstatus::Success)
        {
            NoteMoveFailure(L"FSCTL_MOVE_FILE", static_cast<DWORD>(firstStatus), false, first.llVcn, llTarget);
            continue;
        }
        TrackMovedPiece(hVolume, first.llLcn, llTarget, first.llLength);
        MapMovedRange(first.llLcn, llTarget, first.llLength, nKind);
        const NTSTATUS secondStatus =
            CFileMover::MoveVcnRange(hVolume, file.Get(), second.llVcn, llTarget + first.llLength, second.llLength);
        if (secondStatus == ntstatus::Success)
        {
            TrackMovedPiece(hVolume, second.llLcn, llTarget + first.llLength, second.llLength);
            MapMovedRange(second.llLcn, llTarget + first.llLength, second.llLength, nKind);
        }
        else
            NoteMoveFailure(L"FSCTL_MOVE_FILE", static_cast<DWORD>(secondStatus), false, second.llVcn,
                            llTarget + first.llLength);
        ++k;
    }
    int64_t llClusters = 0;
    CExtentList now;
    const bool bFragmented = GetFileExtents(file.Get(), llClusters, now);
    return llClusters > 0 && !bFragmented;
}

bool CDefragPartition::MoveFileInPieces(HANDLE hVolume, const wchar_t* pszPath, uint32_t& uExtentCount,
                                        CExtentList& extents)
{
    uExtentCount = 0;
    const bool bDeadline = m_nMaxTimeMoveHighFragFiles != 0 && m_nMaxTimeMoveHighFragFiles != -1;
    const int64_t llDeadline = sysclock::Seconds() + m_nMaxTimeMoveHighFragFiles;
    HANDLE hOpened = INVALID_HANDLE_VALUE;
    if (IsStopSet() || pszPath == nullptr || m_nBytesPerCluster <= 0 || !OpenFileForMove(pszPath, hOpened))
        return false;
    CSysHandle file(hOpened);
    SetStatusText(pszPath);
    ReportState();
    std::vector<PIECE> pieces;
    const int64_t llTotal = m_llTotalClusters;
    const int64_t llFree = llTotal - m_llUsedClusters;
    int64_t llProbe = -1;
    if (!ReadPieces(file.Get(), static_cast<DWORD>(m_nBytesPerCluster), pieces) || pieces.empty() ||
        pieces[0].llLength >= llFree || !FindFreeRun(hVolume, llTotal / 2, pieces[0].llLength, llProbe))
        return false;
    BY_HANDLE_FILE_INFORMATION stInfo = {};
    const bool bDirectory = sys::GetFileInformationByHandle(file.Get(), &stInfo) &&
                            (stInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const int32_t nKind = GetFileKind(pszPath, bDirectory ? KIND_DIRECTORY : KIND_FILE, -1);
    // The pieces gather in the last part of the volume, each behind the one before it where
    // there is room: first from six sevenths of the volume on, then between three quarters
    // and the previous piece, then between one half and three quarters.
    int64_t llPreviousTarget = -1;
    int64_t llPreviousEnd = -1;
    int32_t nShown = -1;
    for (size_t k = 0; k < pieces.size(); ++k)
    {
        const PIECE& piece = pieces[k];
        WaitForDiskIdle(hVolume);
        if (bDeadline && sysclock::Seconds() >= llDeadline)
            break;
        ShowPieceProgress(pszPath, static_cast<uint32_t>(k), static_cast<uint32_t>(pieces.size()), nShown, hVolume);
        if (piece.llLcn == llPreviousEnd)
        {
            llPreviousEnd += piece.llLength;
            continue;
        }
        const struct
        {
            int64_t llFrom;
            int64_t llLimit;
        } tiers[] = {{std::max(llPreviousEnd, llTotal / 7 * 6), -1},
                     {llTotal / 4 * 3, llPreviousTarget > llTotal / 4 * 3 ? llPreviousTarget : -2},
                     {llTotal / 2, llTotal / 4 * 3}};
        int64_t llTarget = -1;
        bool bFound = false;
        for (const auto& tier : tiers)
            if (tier.llLimit != -2 && !bFound)
                bFound = FindFreeRun(hVolume, tier.llFrom, piece.llLength, llTarget, tier.llLimit);
        const NTSTATUS status = bFound ? CFileMover::MoveVcnRange(hVolume, file.Get(), piece.llVcn, llTarget,
                                                                  piece.llLength)
                                       : ntstatus::Unsuccessful;
        if (bFound && status != ntstatus::Success)
            NoteMoveFailure(L"FSCTL_MOVE_FILE", static_cast<DWORD>(status), false, piece.llVcn, llTarget);
        if (bFound && status == ntstatus::Success)
        {
            TrackMovedPiece(hVolume, piece.llLcn, llTarget, piece.llLength);
            MapMovedRange(piece.llLcn, llTarget, piece.llLength, nKind);
            llPreviousTarget = llTarget;
            llPreviousEnd = llTarget + piece.llLength;
        }
        else if (bDeadline)
        {
            ::Sleep(1);
        }
        if (IsStopSet())
            return false;
    }
    int64_t llClusters = 0;
    GetFileExtents(file.Get(), llClusters, extents);
    uExtentCount = extents.GetCount();
    SetStatusText(L" ");
    ReportState();
    return true;
}

bool CDefragPartition::ClearMftSpan()
{
    if (m_llMftStartLcn <= 0 || m_llMftSpanEnd <= 0)
        return false;
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
        return false;
    // The list is copied out, so that no lock is held through the idle waits, the moves
    // and the reports they send.
    struct ZONE_FILE
    {
        CUnicodeString strPath;
        bool bMarked;
    };
    std::vector<ZONE_FILE> files;
    {
        CSectionLock lock(m_csZoneFiles);
        for (int i = 0; i < m_zoneFiles.GetSize(); ++i)
            files.push_back({*m_zoneFiles.GetAt(i)->pPath, m_zoneFiles.GetAt(i)->bFragmented != 0});
    }
    for (const ZONE_FILE& file : files)
    {
        if (m_nUseFastStopMethod == 1)
        {
            if (IsStopSet())
                return false;
            WaitForDiskIdle(volume.Get());
        }
        CExtentList extents;
        int64_t llClusters = 0;
        const bool bFragmented = GetFileExtentsByPath(file.strPath.GetBuffer(), llClusters, extents);
        if (llClusters <= 0)
            continue;
        if (llClusters >= m_llTotalClusters - m_llUsedClusters)
            return false;
        int64_t llTarget = -1;
        bool bFound = FindFreeRun(volume.Get(), m_llMftSpanEnd + 1, llClusters, llTarget);
        if (!bFound)
            bFound = FindFreeRun(volume.Get(), 0, llClusters, llTarget) && llTarget + llClusters <= m_llMftStartLcn;
        if (!bFound)
            return false;
        CExtentList target;
        if (MoveFileWithMap(volume.Get(), file.strPath.GetBuffer(), bFragmented, llTarget, llClusters, extents,
                            target) &&
            bFragmented)
        {
            ++m_nFilesDefragmented;
            if (file.bMarked)
                LowerCounter(m_llFragmentedClusters, llClusters);
        }
    }
    CSectionLock lock(m_csZoneFiles);
    for (const ZONE_FILE& file : files)
        m_zoneFiles.Remove(&file.strPath);
    return true;
}
