// CClusterMap: a volume's layout condensed to at most 5000 cells, each counting how many of
// its clusters are of each kind, with the list of cells changed since the last report.
#pragma once

#include <windows.h>

#include <cstdint>

#include "protocol/NetDefragClustermapModList.h"
#include "base/SyncObjects.h"

class CExtentList;
class CNetDefragPartitionClustermap;

enum CLUSTER_KIND : int32_t
{
    KIND_FREE = 0,
    KIND_MFT_ZONE = 1,
    KIND_USED = 2,
    KIND_PAGING_FILE = 3,
    KIND_FILE = 4,
    KIND_DIRECTORY = 5,
    KIND_SYSTEM = 6,
    KIND_MFT = 7,
    KIND_FRAGMENTED = 8,
    KIND_MOVE_TARGET = 9,
    KIND_MOVE_SOURCE = 10,
};

class CClusterMap
{
public:
    static constexpr int KindCount = 11;
    static constexpr int64_t MaxCells = 5000;
    // Clusters per cell at which a volume gets no map.
    static constexpr uint64_t NoMap = 0xFFFFFFFFULL;
    // From this many clusters per cell on, counters take two bytes.
    static constexpr uint64_t WideCounters = 255;

    CClusterMap();
    ~CClusterMap();
    CClusterMap(const CClusterMap&) = delete;
    CClusterMap& operator=(const CClusterMap&) = delete;

    // Clusters per cell (rounded up so that no more than MaxCells cells are needed) and the
    // cells for a volume of llTotal clusters.
    static void ComputeGeometry(int64_t llTotal, int64_t& llCellCount, uint64_t& ullClustersPerCell);

    bool Create(int32_t nVolumeIndex, int64_t llTotal, int64_t llCellCount, uint64_t ullClustersPerCell);
    // Every cluster of the volume as free or used, from its bitmap.
    bool Fill(HANDLE hVolume);
    void Clear();

    int64_t ClustersInCell(int64_t llCell, int64_t llStart, int64_t llLength) const;
    bool AddRange(int64_t llStart, int64_t llLength, int nKind);
    bool RemoveRange(int64_t llStart, int64_t llLength, int nKind);
    bool AddRangeAndRecord(int64_t llStart, int64_t llLength, int nKind);
    bool RemoveRangeAndRecord(int64_t llStart, int64_t llLength, int nKind);
    // Every run of the list under the list's kind; runs without a start are passed over.
    bool AddExtents(const CExtentList& extents);
    bool RemoveExtents(const CExtentList& extents);

    // The cells are not copied: the message must not outlive the map.
    void FillMessage(CNetDefragPartitionClustermap& message);
    // Copies the cells into pCells (cell count x cell size bytes).
    void CopyCells(BYTE* pCells);

    bool HasChanges();
    int64_t GetChangeBytes();
    // Hands the changed cells over to another list and empties the map's own, which keeps its
    // block for the next changes.
    bool TakeChanges(CNetDefragClustermapModList& target);
    void ResetChanges();

    bool HasSubscribers() const { return m_bHasSubscribers; }
    // Changes are recorded only while somebody subscribes: a new subscriber gets the whole
    // map first, so what changed before is never needed, and a record kept from then would
    // carry cells older than that map.
    void SetHasSubscribers(bool bHas);

    int32_t GetVolumeIndex() const { return m_nVolumeIndex; }
    int64_t GetTotalClusters() const { return m_llTotalClusters; }
    int64_t GetCellCount() const { return m_llCellCount; }
    uint64_t GetClustersPerCell() const { return m_ullClustersPerCell; }
    int32_t GetCellSize() const { return m_nCellSize; }
    uint32_t GetCounter(int64_t llCell, int nKind);

private:
    bool IsUsable() const { return m_pCells != nullptr; }
    uint32_t CounterLimit() const;
    void ChangeCell(int64_t llCell, int nKind, int64_t llDelta);
    // The range clipped to the volume: false when nothing of it lies on the volume.
    bool Clip(int64_t& llStart, int64_t& llLength) const;
    bool ChangeRange(int64_t llStart, int64_t llLength, int nKind, int nSign, bool bRecord);

    int32_t m_nVolumeIndex;
    CCriticalSection m_csCells;      // cells and change list
    BYTE* m_pCells;
    CCriticalSection m_csBitmap;     // read buffer
    BYTE* m_pReadBuffer;
    DWORD m_dwReadBufferBytes;
    int64_t m_llTotalClusters;
    int64_t m_llCellCount;
    uint64_t m_ullClustersPerCell;
    int32_t m_nCellSize;
    bool m_bHasSubscribers;
    CNetDefragClustermapModList m_changes;
};
