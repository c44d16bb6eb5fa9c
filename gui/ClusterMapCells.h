// A drive's cluster map as the pane sees it: per cell one counter per cluster
// kind (one byte each in 11-byte cells, two in 22-byte cells), the blocks the
// layout groups them into, and the cluster ranges behind those blocks.
#pragma once

#include "gui/ClusterMapLayout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Cluster kinds, the index of a cell's counters and of the pane's colours.
enum MapKind : uint32_t
{
    kKindFree = 0,
    kKindMftReserved = 1,
    kKindUsed = 2,
    kKindPageFile = 3,
    kKindFile = 4,
    kKindDirectory = 5,
    kKindSystem = 6,
    kKindMft = 7,
    kKindFragmented = 8,
    kKindWriting = 9,
    kKindReading = 10,
    kKindCount = 11,
    // Cells whose counters are all 0; drawn in the colour of kKindUsed.
    kKindNone = 11,
};

struct CLUSTER_RANGE
{
    int64_t llFirst;
    int64_t llLast;
};

// One change record of a map: cells to copy over the map from a first cell on.
struct MAP_CHANGE
{
    int64_t llFirstCell;
    int64_t llCellCount;
    int32_t nBytesPerCell;
    const uint8_t* pCells;
};

enum class ChangeOutcome
{
    Applied,
    // The record reaches past the map: it is left out and the rest goes on.
    Ignored,
    // The record's cells have another size: the rest of the list is left out.
    Stop,
};

enum class HitOutcome
{
    None,
    // An answer to the last request is still awaited.
    Busy,
    Block,
};

class CClusterMapCells
{
public:
    CClusterMapCells() = default;
    // The cells are copied; false (and the map left empty) for a cell size
    // other than 11 or 22 or fewer bytes than the cells need.
    bool Assign(int64_t llTotalClusters, int64_t llClustersPerCell, int32_t nCells, int32_t nBytesPerCell,
                const uint8_t* pCells, size_t nBytes);
    void Clear();

    int32_t CellCount() const { return m_nCells; }
    int32_t BytesPerCell() const { return m_nBytesPerCell; }
    int64_t TotalClusters() const { return m_llTotalClusters; }
    int64_t ClustersPerCell() const { return m_llClustersPerCell; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    // The kind that colours block nBlock: reading beats writing beats the
    // highest other kind; an empty cell outranks everything but those two.
    uint32_t DominantKind(uint32_t nBlock, uint32_t nCellsPerBlock) const;
    // Copies a record over the cells; on Applied, nFirstBlock and nBlocks name
    // the blocks to draw again.
    ChangeOutcome Apply(const MAP_CHANGE& change, const stBlockLayout& layout, uint32_t& nFirstBlock,
                        uint32_t& nBlocks);
    // The clusters behind block nBlock.
    CLUSTER_RANGE BlockRange(uint32_t nBlock, uint32_t nCellsPerBlock) const;
    // The block under a point of the grid and its clusters.
    HitOutcome HitTest(const stBlockLayout& layout, int32_t x, int32_t y, bool bRequestPending,
                       CLUSTER_RANGE& range) const;
    // The block whose clusters hold llCluster, or block 0; false when there is
    // no block to ask for.
    bool BlockOfCluster(int64_t llCluster, const stBlockLayout& layout, CLUSTER_RANGE& range) const;

private:
    uint32_t CellKind(int32_t nCell) const;
    uint32_t Counter(int32_t nCell, uint32_t nKind) const;

    int64_t m_llTotalClusters = 0;
    int64_t m_llClustersPerCell = 0;
    int32_t m_nCells = 0;
    int32_t m_nBytesPerCell = 0;
    std::vector<uint8_t> m_bytes;
};
