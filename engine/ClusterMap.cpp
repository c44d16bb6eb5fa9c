#include "engine/ClusterMap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/BitRange.h"
#include "engine/ExtentList.h"
#include "engine/VolumeBitmapReader.h"
#include "protocol/NetDefragPartitionClustermap.h"

namespace {

// The map reads the bitmap with a smaller buffer than the searches: it reads it whole, once.
constexpr DWORD MaxReadBitBytes = 75000;

} // namespace

CClusterMap::CClusterMap()
    : m_nVolumeIndex(-1), m_pCells(nullptr), m_pReadBuffer(nullptr), m_dwReadBufferBytes(0), m_llTotalClusters(0),
      m_llCellCount(0), m_ullClustersPerCell(NoMap), m_nCellSize(0), m_bHasSubscribers(false)
{
}

CClusterMap::~CClusterMap()
{
    delete[] m_pCells;
    delete[] m_pReadBuffer;
    m_changes.FreeBuffer();
}

void CClusterMap::ComputeGeometry(int64_t llTotal, int64_t& llCellCount, uint64_t& ullClustersPerCell)
{
    if (llTotal <= 0)
    {
        llCellCount = 0;
        ullClustersPerCell = 1;
        return;
    }
    uint64_t ullPerCell = llTotal < MaxCells ? 1 : (static_cast<uint64_t>(llTotal) + MaxCells - 1) / MaxCells;
    ullClustersPerCell = ullPerCell;
    llCellCount = static_cast<int64_t>(static_cast<uint64_t>(llTotal) / ullPerCell +
                                       (static_cast<uint64_t>(llTotal) % ullPerCell != 0 ? 1 : 0));
}

bool CClusterMap::Create(int32_t nVolumeIndex, int64_t llTotal, int64_t llCellCount, uint64_t ullClustersPerCell)
{
    m_nVolumeIndex = nVolumeIndex;
    m_changes.m_nVolumeIndex = nVolumeIndex;
    m_llTotalClusters = llTotal;
    m_llCellCount = llCellCount;
    m_ullClustersPerCell = ullClustersPerCell;
    if (ullClustersPerCell >= NoMap || ullClustersPerCell == 0 || llCellCount <= 0 || llCellCount > MaxCells)
        return false;
    m_nCellSize = ullClustersPerCell < WideCounters ? KindCount : 2 * KindCount;
    const size_t nBytes = static_cast<size_t>(llCellCount) * m_nCellSize;
    BYTE* pCells = new (std::nothrow) BYTE[nBytes]();
    m_dwReadBufferBytes = CVolumeBitmapReader::BufferBytesFor(llTotal, MaxReadBitBytes);
    BYTE* pRead = new (std::nothrow) BYTE[m_dwReadBufferBytes];
    if (pCells == nullptr || pRead == nullptr)
    {
        delete[] pCells;
        delete[] pRead;
        m_dwReadBufferBytes = 0;
        return false;
    }
    delete[] m_pCells;
    delete[] m_pReadBuffer;
    m_pCells = pCells;
    m_pReadBuffer = pRead;
    return true;
}

void CClusterMap::Clear()
{
    CSectionLock lock(m_csCells);
    if (IsUsable())
        std::memset(m_pCells, 0, static_cast<size_t>(m_llCellCount) * m_nCellSize);
}

bool CClusterMap::Fill(HANDLE hVolume)
{
    if (!IsUsable())
        return false;
    Clear();
    CSectionLock lock(m_csBitmap);
    CVolumeBitmapReader reader(m_pReadBuffer, m_dwReadBufferBytes, m_llTotalClusters);
    BITMAP_CHUNK stChunk = {};
    int64_t llLcn = 0;
    for (;;)
    {
        BITMAP_READ eRead = reader.Read(hVolume, llLcn, stChunk);
        if (eRead != BITMAP_READ::Chunk)
            return eRead == BITMAP_READ::End;
        // Counted cell by cell, which gives the counters that adding every run would: a volume
        // of a million files has millions of runs, and a cell holds thousands of clusters.
        const BYTE* pBits = reinterpret_cast<const BYTE*>(stChunk.stBitmap.Buffer);
        const int64_t llPerCell = static_cast<int64_t>(m_ullClustersPerCell);
        const int64_t llEnd = std::min(stChunk.End(), m_llTotalClusters);
        CSectionLock cells(m_csCells);
        for (int64_t llAt = llLcn; llAt < llEnd;)
        {
            const int64_t llCell = llAt / llPerCell;
            const int64_t llCellEnd = std::min(llEnd, (llCell + 1) * llPerCell);
            if (llCell >= m_llCellCount)
                break;
            const int64_t llUsed = CBitRange::CountSet(pBits, llAt - stChunk.llStart, llCellEnd - stChunk.llStart);
            ChangeCell(llCell, KIND_USED, llUsed);
            ChangeCell(llCell, KIND_FREE, llCellEnd - llAt - llUsed);
            llAt = llCellEnd;
        }
        llLcn = stChunk.End();
    }
}

int64_t CClusterMap::ClustersInCell(int64_t llCell, int64_t llStart, int64_t llLength) const
{
    const int64_t llPerCell = static_cast<int64_t>(m_ullClustersPerCell);
    const int64_t llFirst = llStart / llPerCell;
    const int64_t llLast = (llStart + llLength - 1) / llPerCell;
    if (llCell == llFirst)
        return std::min(llPerCell - llStart % llPerCell, llLength);
    if (llCell == llLast)
        return llStart + llLength - llLast * llPerCell;
    return llCell > llFirst && llCell < llLast ? llPerCell : 0;
}

uint32_t CClusterMap::CounterLimit() const
{
    // Two-byte counters stop at their own limit rather than wrap on very large volumes.
    return static_cast<uint32_t>(std::min<uint64_t>(m_ullClustersPerCell, m_nCellSize == KindCount ? 0xFF : 0xFFFF));
}

uint32_t CClusterMap::GetCounter(int64_t llCell, int nKind)
{
    CSectionLock lock(m_csCells);
    if (!IsUsable() || llCell < 0 || llCell >= m_llCellCount || nKind < 0 || nKind >= KindCount)
        return 0;
    const BYTE* p = m_pCells + llCell * m_nCellSize;
    if (m_nCellSize == KindCount)
        return p[nKind];
    return static_cast<uint32_t>(p[2 * nKind]) | (static_cast<uint32_t>(p[2 * nKind + 1]) << 8);
}

void CClusterMap::ChangeCell(int64_t llCell, int nKind, int64_t llDelta)
{
    BYTE* p = m_pCells + llCell * m_nCellSize;
    int64_t llValue = m_nCellSize == KindCount ? p[nKind] : (p[2 * nKind] | (p[2 * nKind + 1] << 8));
    llValue = std::max<int64_t>(0, std::min<int64_t>(CounterLimit(), llValue + llDelta));
    if (m_nCellSize == KindCount)
    {
        p[nKind] = static_cast<BYTE>(llValue);
        return;
    }
    p[2 * nKind] = static_cast<BYTE>(llValue & 0xFF);
    p[2 * nKind + 1] = static_cast<BYTE>(llValue >> 8);
}

bool CClusterMap::Clip(int64_t& llStart, int64_t& llLength) const
{
    // Runs decoded from a damaged record, or from a volume that grew since the map was built,
    // must never reach outside the cells.
    if (llStart < 0 || llLength <= 0 || llStart >= m_llTotalClusters)
        return false;
    llLength = std::min(llLength, m_llTotalClusters - llStart);
    return true;
}

bool CClusterMap::ChangeRange(int64_t llStart, int64_t llLength, int nKind, int nSign, bool bRecord)
{
    if (!IsUsable() || nKind < 0 || nKind >= KindCount || !Clip(llStart, llLength))
        return false;
    const int64_t llPerCell = static_cast<int64_t>(m_ullClustersPerCell);
    const int64_t llFirst = llStart / llPerCell;
    const int64_t llLast = std::min(m_llCellCount - 1, (llStart + llLength - 1) / llPerCell);
    CSectionLock lock(m_csCells);
    for (int64_t llCell = llFirst; llCell <= llLast; ++llCell)
        ChangeCell(llCell, nKind, nSign * ClustersInCell(llCell, llStart, llLength));
    if (bRecord && m_bHasSubscribers)
        return m_changes.AddRange(llFirst, llLast - llFirst + 1, m_nCellSize, m_pCells + llFirst * m_nCellSize);
    return true;
}

bool CClusterMap::AddRange(int64_t llStart, int64_t llLength, int nKind)
{
    return ChangeRange(llStart, llLength, nKind, 1, false);
}

bool CClusterMap::RemoveRange(int64_t llStart, int64_t llLength, int nKind)
{
    return ChangeRange(llStart, llLength, nKind, -1, false);
}

bool CClusterMap::AddRangeAndRecord(int64_t llStart, int64_t llLength, int nKind)
{
    return ChangeRange(llStart, llLength, nKind, 1, true);
}

bool CClusterMap::RemoveRangeAndRecord(int64_t llStart, int64_t llLength, int nKind)
{
    return ChangeRange(llStart, llLength, nKind, -1, true);
}

bool CClusterMap::AddExtents(const CExtentList& extents)
{
    bool bAll = true;
    int64_t llStart = 0;
    int64_t llLength = 0;
    for (uint32_t i = 0; extents.Get(i, llStart, llLength); ++i)
        if (llStart != -1)
            bAll = AddRangeAndRecord(llStart, llLength, extents.GetKind()) && bAll;
    return bAll;
}

bool CClusterMap::RemoveExtents(const CExtentList& extents)
{
    bool bAll = true;
    int64_t llStart = 0;
    int64_t llLength = 0;
    for (uint32_t i = 0; extents.Get(i, llStart, llLength); ++i)
        bAll = RemoveRangeAndRecord(llStart, llLength, extents.GetKind()) && bAll;
    return bAll;
}

void CClusterMap::FillMessage(CNetDefragPartitionClustermap& message)
{
    message.m_llTotalClusters = m_llTotalClusters;
    message.m_llClustersPerCell = static_cast<int64_t>(m_ullClustersPerCell);
    message.SetCells(m_pCells, IsUsable() ? static_cast<int32_t>(m_llCellCount) : 0, IsUsable() ? m_nCellSize : 0);
}

void CClusterMap::CopyCells(BYTE* pCells)
{
    CSectionLock lock(m_csCells);
    if (IsUsable())
        std::memcpy(pCells, m_pCells, static_cast<size_t>(m_llCellCount) * m_nCellSize);
}

bool CClusterMap::HasChanges()
{
    CSectionLock lock(m_csCells);
    return m_changes.HasRecords();
}

int64_t CClusterMap::GetChangeBytes()
{
    CSectionLock lock(m_csCells);
    return m_changes.GetRecordBytes();
}

bool CClusterMap::TakeChanges(CNetDefragClustermapModList& target)
{
    CSectionLock lock(m_csCells);
    target.m_nVolumeIndex = m_nVolumeIndex;
    CLUSTERMAP_MOD_RECORD stRecord = {};
    bool bAll = true;
    while (m_changes.GetNext(stRecord))
        bAll = target.AddRange(stRecord.llFirstCell, stRecord.llCellCount, stRecord.nBytesPerCell, stRecord.pCells) &&
               bAll;
    m_changes.Rewind();
    return bAll;
}

void CClusterMap::ResetChanges()
{
    CSectionLock lock(m_csCells);
    m_changes.Rewind();
}

void CClusterMap::SetHasSubscribers(bool bHas)
{
    CSectionLock lock(m_csCells);
    m_bHasSubscribers = bHas;
    if (!bHas)
        m_changes.Rewind();
}
