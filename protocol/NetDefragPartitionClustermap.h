// CNetDefragPartitionClustermap: a volume's whole condensed cluster map, sent
// to a new subscriber. Each cell holds one counter per cluster kind, as 11
// bytes or as 22 (two-byte counters).
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

#include <windows.h>

#include <cstdint>

class CNetDefragPartitionClustermap : public CNetDefragObject
{
public:
    // A map never has more cells than this; a received map is refused beyond it.
    static constexpr int32_t MaxCells = 5001;

    CNetDefragPartitionClustermap();
    ~CNetDefragPartitionClustermap() override;
    CNetDefragPartitionClustermap(const CNetDefragPartitionClustermap&) = delete;
    CNetDefragPartitionClustermap& operator=(const CNetDefragPartitionClustermap&) = delete;

    // Sets the cell count, cell size and the cells to send; the cells are
    // not copied and stay the caller's.
    void SetCells(BYTE* pCells, int32_t nCellCount, int32_t nBytesPerCell);
    // Cell count x bytes per cell bytes; null while there are none.
    BYTE* GetCells() const { return m_pCells; }
    int32_t GetCellCount() const { return m_nCellCount; }
    int32_t GetBytesPerCell() const { return m_nBytesPerCell; }

    // A received map with a cell size other than 11 or 22, more than MaxCells
    // cells or cells past the payload raises CNetDefragException.
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;
    CUnicodeString m_strDriveRoot;
    int64_t m_llTotalClusters;
    int64_t m_llClustersPerCell;

private:
    void Load(CNetDefragBuffer& ar);
    void FreeCells();

    int32_t m_nCellCount;
    int32_t m_nBytesPerCell;
    BYTE* m_pCells;
    bool m_bOwnsCells;
};
