#include "protocol/NetDefragPartitionClustermap.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragException.h"

#include <new>

CNetDefragPartitionClustermap::CNetDefragPartitionClustermap()
    : m_nVolumeIndex(-1), m_llTotalClusters(0), m_llClustersPerCell(0), m_nCellCount(0),
      m_nBytesPerCell(0), m_pCells(nullptr), m_bOwnsCells(false)
{
}

CNetDefragPartitionClustermap::~CNetDefragPartitionClustermap()
{
    FreeCells();
}

void CNetDefragPartitionClustermap::FreeCells()
{
    if (m_bOwnsCells)
        delete[] m_pCells;
    m_pCells = nullptr;
    m_bOwnsCells = false;
}

void CNetDefragPartitionClustermap::SetCells(BYTE* pCells, int32_t nCellCount, int32_t nBytesPerCell)
{
    FreeCells();
    m_pCells = pCells;
    m_nCellCount = nCellCount;
    m_nBytesPerCell = nBytesPerCell;
}

void CNetDefragPartitionClustermap::Serialize(CNetDefragBuffer& ar)
{
    if (!ar.IsStoring())
    {
        Load(ar);
        return;
    }
    ar.WriteInt32(m_nVolumeIndex);
    ar.WriteString(m_strDriveRoot);
    ar.WriteInt64(m_llTotalClusters);
    ar.WriteInt64(m_llClustersPerCell);
    ar.WriteInt32(m_nCellCount);
    ar.WriteInt32(m_nBytesPerCell);
    // Cells missing for the stated size leave the archive failed, not the message short.
    ar.WriteRaw(m_pCells, static_cast<int64_t>(m_nCellCount) * m_nBytesPerCell);
}

void CNetDefragPartitionClustermap::Load(CNetDefragBuffer& ar)
{
    FreeCells();
    m_nCellCount = m_nBytesPerCell = 0;
    ar.ReadInt32(m_nVolumeIndex);
    ar.ReadString(m_strDriveRoot);
    ar.ReadInt64(m_llTotalClusters);
    ar.ReadInt64(m_llClustersPerCell);
    int32_t nCellCount = 0;
    int32_t nBytesPerCell = 0;
    ar.ReadInt32(nCellCount);
    ar.ReadInt32(nBytesPerCell);
    // A volume without a map sends no cells and leaves the cell size unset.
    bool bCellSize = nBytesPerCell == 11 || nBytesPerCell == 22 || (nCellCount == 0 && nBytesPerCell == 0);
    if (nCellCount < 0 || nCellCount > MaxCells || !bCellSize)
        throw CNetDefragException(L"Bad cluster map");
    int32_t nBytes = nCellCount * nBytesPerCell;
    if (nBytes > 0)
    {
        BYTE* pCells = new (std::nothrow) BYTE[nBytes];
        if (pCells == nullptr)
            throw CNetDefragException(L"Out of memory");
        m_pCells = pCells;
        m_bOwnsCells = true;
        ar.ReadRaw(m_pCells, nBytes);
    }
    m_nCellCount = nCellCount;
    m_nBytesPerCell = nBytesPerCell;
}
