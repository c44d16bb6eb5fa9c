#include "protocol/NetDefragClustermapModList.h"

#include "protocol/NetDefragException.h"
#include "protocol/NetDefragPartitionClustermap.h"

namespace {

// A walk ends when no more than this many bytes are left: the block may end
// in the sender's spare byte.
const int64_t MaxTrailingBytes = 5;

bool IsValidRange(int64_t llFirstCell, int64_t llCellCount, int32_t nBytesPerCell)
{
    const int64_t llMaxCells = CNetDefragPartitionClustermap::MaxCells;
    return (nBytesPerCell == 11 || nBytesPerCell == 22) && llFirstCell >= 0 && llCellCount >= 0 &&
           llFirstCell <= llMaxCells && llCellCount <= llMaxCells - llFirstCell;
}

}

CNetDefragClustermapModList::CNetDefragClustermapModList()
    : m_nVolumeIndex(-1), m_arRecords(true, 0, InnerGrowthStep), m_llNextRecord(0)
{
}

bool CNetDefragClustermapModList::AddRange(int64_t llFirstCell, int64_t llCellCount, int32_t nBytesPerCell,
                                           const BYTE* pCells)
{
    if (!IsValidRange(llFirstCell, llCellCount, nBytesPerCell) || (llCellCount > 0 && pCells == nullptr))
        return false;
    int64_t llCellBytes = llCellCount * nBytesPerCell;
    int64_t llRecordBytes = RecordHeaderSize + llCellBytes;
    // Room for the whole record and one byte more, taken at once: a failed
    // growth then leaves no half record, and the block that goes out (the
    // records and that spare byte) never reaches past the allocation. Only
    // that much goes out, so the growth is not zeroed; the spare byte is.
    if (m_arRecords.GetRemaining() < llRecordBytes &&
        !m_arRecords.Grow(static_cast<UINT>(llRecordBytes + InnerGrowthStep), false))
        return false;
    m_arRecords.WriteInt64(llFirstCell);
    m_arRecords.WriteInt64(llCellCount);
    m_arRecords.WriteInt32(nBytesPerCell);
    if (!m_arRecords.WriteRaw(pCells, llCellBytes))
        return false;
    *m_arRecords.GetCurrent() = 0;
    return true;
}

int64_t CNetDefragClustermapModList::ReadRecord(const BYTE* pRecord, int64_t llBytesLeft,
                                                CLUSTERMAP_MOD_RECORD& stRecord)
{
    if (llBytesLeft < RecordHeaderSize)
        throw CNetDefragException(L"Bad change record");
    CNetDefragBuffer ar(false);
    ar.Attach(pRecord, static_cast<UINT>(llBytesLeft));
    ar.ReadInt64(stRecord.llFirstCell);
    ar.ReadInt64(stRecord.llCellCount);
    ar.ReadInt32(stRecord.nBytesPerCell);
    if (!IsValidRange(stRecord.llFirstCell, stRecord.llCellCount, stRecord.nBytesPerCell) ||
        stRecord.llCellCount * stRecord.nBytesPerCell > llBytesLeft - RecordHeaderSize)
        throw CNetDefragException(L"Bad change record");
    stRecord.pCells = pRecord + RecordHeaderSize;
    return RecordHeaderSize + stRecord.llCellCount * stRecord.nBytesPerCell;
}

bool CNetDefragClustermapModList::GetNext(CLUSTERMAP_MOD_RECORD& stRecord)
{
    int64_t llWritten = m_arRecords.GetCurrent() - m_arRecords.GetBuffer();
    if (llWritten - m_llNextRecord <= MaxTrailingBytes)
        return false;
    m_llNextRecord += ReadRecord(m_arRecords.GetBuffer() + m_llNextRecord, llWritten - m_llNextRecord, stRecord);
    return true;
}

void CNetDefragClustermapModList::FreeBuffer()
{
    m_arRecords.Free();
    m_llNextRecord = 0;
}

void CNetDefragClustermapModList::Rewind()
{
    // A block whose growth once failed is given up, so that the list can take records again.
    if (m_arRecords.HasFailed())
        m_arRecords.Free();
    else
        m_arRecords.Rewind();
    m_llNextRecord = 0;
}

void CNetDefragClustermapModList::Serialize(CNetDefragBuffer& ar)
{
    if (!ar.IsStoring())
    {
        Load(ar);
        return;
    }
    ar.WriteInt32(m_nVolumeIndex);
    // The block carries the spare byte behind the records, which readers
    // count on; a list without records sends no block at all.
    if (HasRecords())
        ar.WriteRaw(m_arRecords.GetBuffer(), m_arRecords.GetUsed());
}

void CNetDefragClustermapModList::Load(CNetDefragBuffer& ar)
{
    FreeBuffer();
    ar.ReadInt32(m_nVolumeIndex);
    // Every byte after the index but the payload's last one, which is the
    // sender's padding.
    int nBlockBytes = ar.GetRemaining();
    if (nBlockBytes <= 0)
        return;
    const BYTE* pBlock = ar.GetCurrent();
    CLUSTERMAP_MOD_RECORD stRecord;
    int64_t llRecordBytes = 0;
    while (nBlockBytes - llRecordBytes > MaxTrailingBytes)
        llRecordBytes += ReadRecord(pBlock + llRecordBytes, nBlockBytes - llRecordBytes, stRecord);
    if (!m_arRecords.WriteRaw(pBlock, llRecordBytes))
        throw CNetDefragException(L"Out of memory");
    ar.Skip(nBlockBytes);
}
