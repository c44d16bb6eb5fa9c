#include "gui/ClusterMapCells.h"

#include <cstring>

namespace
{
const int32_t kNarrowCell = 11;
const int32_t kWideCell = 22;

// Kinds ranked for the block colour: an empty cell sits between the
// fragmented files and the clusters being written.
uint32_t Rank(uint32_t nKind)
{
    return nKind == kKindNone ? 9 : nKind <= kKindFragmented ? nKind : nKind + 1;
}
} // namespace

bool CClusterMapCells::Assign(int64_t llTotalClusters, int64_t llClustersPerCell, int32_t nCells,
                              int32_t nBytesPerCell, const uint8_t* pCells, size_t nBytes)
{
    Clear();
    if ((nBytesPerCell != kNarrowCell && nBytesPerCell != kWideCell) || nCells < 0 ||
        static_cast<uint64_t>(nCells) * static_cast<uint64_t>(nBytesPerCell) > nBytes ||
        (nCells > 0 && pCells == nullptr))
        return false;
    m_llTotalClusters = llTotalClusters;
    m_llClustersPerCell = llClustersPerCell;
    m_nCells = nCells;
    m_nBytesPerCell = nBytesPerCell;
    m_bytes.assign(pCells, pCells + static_cast<size_t>(nCells) * static_cast<size_t>(nBytesPerCell));
    return true;
}

void CClusterMapCells::Clear()
{
    m_llTotalClusters = 0;
    m_llClustersPerCell = 0;
    m_nCells = 0;
    m_nBytesPerCell = 0;
    m_bytes.clear();
}

uint32_t CClusterMapCells::Counter(int32_t nCell, uint32_t nKind) const
{
    const uint8_t* pCell = m_bytes.data() + static_cast<size_t>(nCell) * static_cast<size_t>(m_nBytesPerCell);
    if (m_nBytesPerCell != kWideCell)
        return pCell[nKind];
    return static_cast<uint32_t>(pCell[2 * nKind]) | static_cast<uint32_t>(pCell[2 * nKind + 1]) << 8;
}

uint32_t CClusterMapCells::CellKind(int32_t nCell) const
{
    if (Counter(nCell, kKindReading) != 0)
        return kKindReading;
    if (Counter(nCell, kKindWriting) != 0)
        return kKindWriting;
    for (uint32_t nKind = kKindFragmented; nKind >= kKindMftReserved; --nKind)
    {
        if (Counter(nCell, nKind) != 0)
            return nKind;
    }
    return Counter(nCell, kKindFree) != 0 ? kKindFree : kKindNone;
}

uint32_t CClusterMapCells::DominantKind(uint32_t nBlock, uint32_t nCellsPerBlock) const
{
    uint32_t nResult = kKindFree;
    uint64_t nFirst = static_cast<uint64_t>(nBlock) * nCellsPerBlock;
    for (uint64_t nCell = nFirst; nCell < nFirst + nCellsPerBlock && nCell < static_cast<uint64_t>(m_nCells); ++nCell)
    {
        uint32_t nKind = CellKind(static_cast<int32_t>(nCell));
        if (nKind == kKindReading)
            return kKindReading;
        if (Rank(nKind) > Rank(nResult))
            nResult = nKind;
    }
    return nResult;
}

ChangeOutcome CClusterMapCells::Apply(const MAP_CHANGE& change, const stBlockLayout& layout, uint32_t& nFirstBlock,
                                      uint32_t& nBlocks)
{
    nFirstBlock = 0;
    nBlocks = 0;
    if (change.nBytesPerCell != m_nBytesPerCell || m_nBytesPerCell == 0)
        return ChangeOutcome::Stop;
    // The wire bounds a record by the largest map, not by this one.
    if (change.llFirstCell < 0 || change.llCellCount < 0 || change.llFirstCell > m_nCells ||
        change.llCellCount > m_nCells - change.llFirstCell || (change.llCellCount > 0 && change.pCells == nullptr))
        return ChangeOutcome::Ignored;
    std::memcpy(m_bytes.data() + change.llFirstCell * m_nBytesPerCell, change.pCells,
                static_cast<size_t>(change.llCellCount) * static_cast<size_t>(m_nBytesPerCell));
    uint32_t nVisible = layout.bDrawable ? layout.VisibleBlocks() : 0;
    uint32_t nCellsPerBlock = layout.nCellsPerBlock != 0 ? layout.nCellsPerBlock : 1;
    uint64_t nStart = static_cast<uint64_t>(change.llFirstCell) / nCellsPerBlock;
    uint64_t nCount = static_cast<uint64_t>(change.llCellCount) / nCellsPerBlock +
                      (static_cast<uint64_t>(change.llCellCount) % nCellsPerBlock != 0 ? 1 : 0) + 1;
    if (nStart < nVisible)
    {
        nFirstBlock = static_cast<uint32_t>(nStart);
        nBlocks = static_cast<uint32_t>(nStart + nCount < nVisible ? nCount : nVisible - nStart);
    }
    return ChangeOutcome::Applied;
}

CLUSTER_RANGE CClusterMapCells::BlockRange(uint32_t nBlock, uint32_t nCellsPerBlock) const
{
    // The clusters per cell come from the wire: a block of no clusters, or one
    // whose numbers pass 64 bits, gives an empty range rather than a wrapped one.
    int64_t llPerBlock = 0;
    int64_t llFirst = 0;
    int64_t llLast = 0;
    if (__builtin_mul_overflow(static_cast<int64_t>(nCellsPerBlock), m_llClustersPerCell, &llPerBlock) ||
        llPerBlock <= 0 || __builtin_mul_overflow(llPerBlock, static_cast<int64_t>(nBlock), &llFirst) ||
        __builtin_add_overflow(llFirst, llPerBlock - 1, &llLast))
        return {0, -1};
    return {llFirst, llLast};
}

HitOutcome CClusterMapCells::HitTest(const stBlockLayout& layout, int32_t x, int32_t y, bool bRequestPending,
                                     CLUSTER_RANGE& range) const
{
    if (bRequestPending)
        return HitOutcome::Busy;
    if (!layout.bDrawable || x < layout.nGridLeft || y < layout.nGridTop)
        return HitOutcome::None;
    // Integer division gives the 1-px gap to the block left of or above it.
    uint32_t nColumn = static_cast<uint32_t>(x - layout.nGridLeft) / layout.nPitch;
    uint32_t nRow = static_cast<uint32_t>(y - layout.nGridTop) / layout.nPitch;
    if (nColumn >= layout.nColumns || nRow >= layout.nRows)
        return HitOutcome::None;
    uint64_t nBlock = static_cast<uint64_t>(nRow) * layout.nColumns + nColumn;
    if (nBlock * layout.nCellsPerBlock >= static_cast<uint64_t>(m_nCells))
        return HitOutcome::None;
    range = BlockRange(static_cast<uint32_t>(nBlock), layout.nCellsPerBlock);
    return range.llLast >= range.llFirst ? HitOutcome::Block : HitOutcome::None;
}

bool CClusterMapCells::BlockOfCluster(int64_t llCluster, const stBlockLayout& layout, CLUSTER_RANGE& range) const
{
    // Bounded by the block count: with no clusters per block every block
    // starts at cluster 0 and the walk would never pass the total.
    for (uint32_t nBlock = 0; nBlock < layout.nBlocks; ++nBlock)
    {
        CLUSTER_RANGE block = BlockRange(nBlock, layout.nCellsPerBlock);
        if (block.llFirst >= m_llTotalClusters)
            break;
        if (llCluster >= block.llFirst && llCluster <= block.llLast && llCluster < m_llTotalClusters)
        {
            range = block;
            return range.llLast >= range.llFirst;
        }
    }
    range = BlockRange(0, layout.nCellsPerBlock);
    return m_nCells > 0 && range.llLast >= range.llFirst;
}
