#include "engine/DefragPartition.h"

#include <algorithm>

#include "engine/FileMover.h"
#include "engine/RetrievalWalk.h"
#include "engine/SysHandle.h"
#include "engine/SystemLevel.h"
#include "engine/VolumeBitmapReader.h"
#include "platform/NtStatus.h"

namespace {

constexpr int64_t BytesPerMiB = 1024 * 1024;
constexpr int64_t OlderSystemChunkBytes = 65536;
constexpr int64_t ProgressMinClusters = 1000;
constexpr int64_t ProgressMinExtents = 100;

// What a first read of a stream's extents tells before it is moved.
struct STREAM_SHAPE
{
    int64_t llExtents = 0;
    int64_t llEnd = 0;      // VCN behind the last extent
    bool bHoles = false;    // sparse or compressed parts
};

STREAM_SHAPE ReadStreamShape(HANDLE hFile, DWORD dwBytesPerCluster)
{
    STREAM_SHAPE stShape;
    CRetrievalWalk walk(hFile, dwBytesPerCluster);
    int64_t llVcn = 0;
    int64_t llNextVcn = 0;
    int64_t llLcn = 0;
    while (walk.Next(llVcn, llNextVcn, llLcn))
    {
        ++stShape.llExtents;
        stShape.llEnd = llNextVcn;
        stShape.bHoles = stShape.bHoles || llLcn == CRetrievalWalk::NoLcn;
    }
    return stShape;
}

// The final word on a move: every allocated cluster of the stream follows the one before it
// from the target on.
bool IsContiguousFrom(HANDLE hFile, DWORD dwBytesPerCluster, int64_t llTarget)
{
    CRetrievalWalk walk(hFile, dwBytesPerCluster);
    int64_t llExpected = llTarget;
    int64_t llVcn = 0;
    int64_t llNextVcn = 0;
    int64_t llLcn = 0;
    while (walk.Next(llVcn, llNextVcn, llLcn))
    {
        if (llLcn == CRetrievalWalk::NoLcn)
            continue;
        if (llLcn != llExpected)
            return false;
        llExpected += llNextVcn - llVcn;
    }
    return walk.IsComplete();
}

// Whether the cluster reads as in use in the volume's bitmap; false when it cannot be read.
bool ReadsInUse(HANDLE hVolume, int64_t llTotalClusters, int64_t llLcn, bool& bInUse)
{
    // Room for 16 bytes of bits: the answer starts at most 7 clusters before the one asked for.
    alignas(8) BYTE abBuffer[64] = {};
    CVolumeBitmapReader reader(abBuffer, CVolumeBitmapReader::BufferBytesFor(llTotalClusters, 16), llTotalClusters);
    BITMAP_CHUNK stChunk = {};
    if (reader.Read(hVolume, llLcn, stChunk) != BITMAP_READ::Chunk)
        return false;
    const int64_t llBit = llLcn - stChunk.llStart;
    bInUse = (abBuffer[CVolumeBitmapReader::HeaderBytes + llBit / 8] >> (llBit % 8) & 1) != 0;
    return true;
}

} // namespace

void CDefragPartition::LearnFreeing(HANDLE hVolume, const CExtentList& oldExtents, int64_t llTarget,
                                    int64_t llClusters)
{
    int64_t llStart = 0;
    int64_t llLength = 0;
    for (uint32_t i = 0; m_nFreedAtOnce < 0 && oldExtents.Get(i, llStart, llLength); ++i)
    {
        if (llStart < 0 || (llStart >= llTarget && llStart < llTarget + llClusters))
            continue;
        bool bInUse = false;
        if (!ReadsInUse(hVolume, m_llTotalClusters, llStart, bInUse))
            return;
        m_nFreedAtOnce = bInUse ? 0 : 1;
    }
}

bool CDefragPartition::MoveFileToLcn(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters,
                                     DWORD& dwAttributes)
{
    return MoveFileCore(hVolume, pszPath, llTarget, llClusters, dwAttributes, false, 0);
}

bool CDefragPartition::MoveFileToLcnWithProgress(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget,
                                                 int64_t llClusters, DWORD& dwAttributes)
{
    return MoveFileCore(hVolume, pszPath, llTarget, llClusters, dwAttributes, true, 0);
}

bool CDefragPartition::SlideFileToLcn(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters,
                                      int64_t llGap, DWORD& dwAttributes)
{
    // A stream longer than the stretch in front of it cannot move in one piece: the target
    // would overlap its own clusters, which the file system does not take as free. Pieces
    // no longer than the stretch each land in the clusters the piece before them freed.
    return MoveFileCore(hVolume, pszPath, llTarget, llClusters, dwAttributes, false, std::max<int64_t>(1, llGap));
}

bool CDefragPartition::MoveFileCore(HANDLE hVolume, const wchar_t* pszPath, int64_t llTarget, int64_t llClusters,
                                    DWORD& dwAttributes, bool bWithProgress, int64_t llPieces)
{
    dwAttributes = 0;
    if (pszPath == nullptr || m_nBytesPerCluster <= 0)
        return false;
    const CUnicodeString strPath(pszPath);
    BeginMoveFailure(pszPath);
    SetStatusText(strPath);
    ReportState(hVolume);
    HANDLE hOpened = INVALID_HANDLE_VALUE;
    DWORD dwOpenError = ERROR_SUCCESS;
    if (!OpenFileForMove(pszPath, hOpened, &dwOpenError))
    {
        NoteMoveFailure(L"CreateFileW", dwOpenError, true, -1, -1);
        return false;
    }
    CSysHandle file(hOpened);
    BY_HANDLE_FILE_INFORMATION stInfo = {};
    if (sys::GetFileInformationByHandle(file.Get(), &stInfo))
        dwAttributes = stInfo.dwFileAttributes;
    ++m_nFilesMoved;

    const DWORD dwBytesPerCluster = static_cast<DWORD>(m_nBytesPerCluster);
    const STREAM_SHAPE stShape = ReadStreamShape(file.Get(), dwBytesPerCluster);
    const bool bUnits =
        stShape.bHoles || (dwAttributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE)) != 0;
    const int64_t llFileBytes = llClusters * m_nBytesPerCluster;
    const bool bLarge = m_nUseFastStopMethod == 1 && llFileBytes > static_cast<int64_t>(m_nMaxMBMove) * BytesPerMiB;
    MOVE_RULES stRules = {};
    stRules.llUnit = bUnits ? CFileMover::CompressionUnit : 1;
    stRules.llStreamEnd = stShape.llEnd;
    stRules.bStopTest = bLarge;
    stRules.hStopEvent = m_hStopEvent;
    // Chunk sizes in 64 bits and never 0: a size below one cluster still moves one, and a
    // MaxMBMove of 0 or below leaves the extents whole.
    if (bWithProgress && GetSystemLevel() == 1)
        stRules.llChunk = std::max<int64_t>(1, OlderSystemChunkBytes / m_nBytesPerCluster);
    else if (bWithProgress && bLarge && m_nMaxMBMove > 0)
        stRules.llChunk = std::max<int64_t>(1, static_cast<int64_t>(m_nMaxMBMove) * BytesPerMiB / m_nBytesPerCluster);
    if (llPieces > 0)
    {
        stRules.llChunk = llPieces;
        stRules.bChunksAtMost = true;
    }

    const bool bShowProgress =
        bWithProgress && llClusters > ProgressMinClusters && stShape.llExtents > ProgressMinExtents;
    int64_t llMoved = 0;
    int32_t nShown = -1;
    auto onMoved = [&](int64_t llRange) {
        llMoved += llRange;
        if (!bShowProgress)
            return;
        const int32_t nPercent = static_cast<int32_t>(std::min<int64_t>(100, llMoved * 100 / llClusters));
        if (nPercent == nShown)
            return;
        nShown = nPercent;
        CUnicodeString strText;
        strText.Format(L"%ls  (%d %%)", strPath.GetBuffer(), nPercent);
        SetStatusText(strText);
        ReportState(hVolume);
    };
    CFileMover mover(hVolume, file.Get(), dwBytesPerCluster, stRules);
    mover.SetClusterListener([this, hVolume](int64_t llLcn, int64_t llLength, CLUSTER_CHANGE eChange) {
        TrackClusters(hVolume, llLcn, llLength, eChange);
    });
    const bool bMoved = mover.Move(llTarget, llClusters, onMoved);
    const MOVE_FAILURE& stFailure = mover.GetFailure();
    if (stFailure.pszCall != nullptr)
        NoteMoveFailure(stFailure.pszCall, stFailure.dwStatus, false, stFailure.llVcn, stFailure.llLcn);
    if (!bMoved)
        return false;
    if (IsContiguousFrom(file.Get(), dwBytesPerCluster, llTarget))
        return true;
    NoteMoveFailure(L"FSCTL_GET_RETRIEVAL_POINTERS (the file is not whole at its target)",
                    static_cast<DWORD>(ntstatus::Success), false, 0, llTarget);
    return false;
}

bool CDefragPartition::MoveFileWithMap(HANDLE hVolume, const wchar_t* pszPath, bool bFragmented, int64_t llTarget,
                                       int64_t llClusters, CExtentList& oldExtents, CExtentList& targetExtents,
                                       int64_t llSlideGap)
{
    targetExtents.Clear();
    targetExtents.Add(llTarget, llClusters);
    {
        CSectionLock lock(m_csMap);
        if (m_pClusterMap)
        {
            oldExtents.SetKind(KIND_MOVE_SOURCE);
            m_pClusterMap->AddExtents(oldExtents);
            targetExtents.SetKind(KIND_MOVE_TARGET);
            m_pClusterMap->AddExtents(targetExtents);
        }
    }
    SendClusterMapChanges();
    DWORD dwAttributes = 0;
    // A slide over the stream's own clusters goes in pieces, each into what the one before
    // freed: only where the file system hands freed clusters back at once, for elsewhere the
    // second piece would be refused and the stream left in two parts. There it is asked for
    // whole, and refused whole.
    const bool bOverlaps = llSlideGap > 0 && llSlideGap < llClusters;
    const bool bPieces = llSlideGap > 0 && (!bOverlaps || m_nFreedAtOnce == 1);
    const bool bMoved = bPieces ? SlideFileToLcn(hVolume, pszPath, llTarget, llClusters, llSlideGap, dwAttributes)
                                : MoveFileToLcnWithProgress(hVolume, pszPath, llTarget, llClusters, dwAttributes);
    if (bMoved && m_nFreedAtOnce < 0 && !bOverlaps)
        LearnFreeing(hVolume, oldExtents, llTarget, llClusters);
    {
        CSectionLock lock(m_csMap);
        if (m_pClusterMap)
        {
            if (bMoved)
            {
                const int32_t nKind =
                    GetFileKind(pszPath, (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? KIND_DIRECTORY : KIND_FILE, -1);
                const int32_t anLeave[] = {bFragmented ? KIND_FRAGMENTED : -1, nKind, KIND_USED};
                for (int32_t nLeave : anLeave)
                    if (nLeave >= 0)
                    {
                        oldExtents.SetKind(nLeave);
                        m_pClusterMap->RemoveExtents(oldExtents);
                    }
                oldExtents.SetKind(KIND_FREE);
                m_pClusterMap->AddExtents(oldExtents);
                targetExtents.SetKind(KIND_FREE);
                m_pClusterMap->RemoveExtents(targetExtents);
                for (int32_t nJoin : {static_cast<int32_t>(KIND_USED), nKind})
                {
                    targetExtents.SetKind(nJoin);
                    m_pClusterMap->AddExtents(targetExtents);
                }
            }
            oldExtents.SetKind(KIND_MOVE_SOURCE);
            m_pClusterMap->RemoveExtents(oldExtents);
            targetExtents.SetKind(KIND_MOVE_TARGET);
            m_pClusterMap->RemoveExtents(targetExtents);
        }
    }
    if (!bMoved)
    {
        SetStatusText(L" ");
        ReportState(hVolume);
    }
    SendClusterMapChanges();
    return bMoved;
}
