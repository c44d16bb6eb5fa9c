// CNetDefragClustermapModList: the cells of a volume's cluster map that
// changed since the last report, as a block of change records (first cell,
// cell count, cell size, the cells) gathered in an inner archive.
#pragma once

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragObject.h"

#include <windows.h>

#include <cstdint>

struct CLUSTERMAP_MOD_RECORD
{
    int64_t llFirstCell;
    int64_t llCellCount;
    int32_t nBytesPerCell;
    // Points into the list's own block; valid until the list changes.
    const BYTE* pCells;
};

class CNetDefragClustermapModList : public CNetDefragObject
{
public:
    static constexpr int InnerGrowthStep = 0x100000;
    // First cell, cell count and cell size in front of every record's cells.
    static constexpr int RecordHeaderSize = 20;

    CNetDefragClustermapModList();

    // False (and nothing appended) for a cell size other than 11 or 22, a
    // negative position or count, or when the block cannot grow.
    bool AddRange(int64_t llFirstCell, int64_t llCellCount, int32_t nBytesPerCell, const BYTE* pCells);
    bool HasRecords() const { return m_arRecords.GetCurrent() != m_arRecords.GetBuffer(); }
    int64_t GetRecordBytes() const { return m_arRecords.GetCurrent() - m_arRecords.GetBuffer(); }
    // Hands out the records in order, from the first.
    bool GetNext(CLUSTERMAP_MOD_RECORD& stRecord);
    void FreeBuffer();
    // Empties the list and keeps its block for the records to come.
    void Rewind();

    // A received record that reaches past its block or past the largest map,
    // or that has another cell size, raises CNetDefragException.
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;

private:
    void Load(CNetDefragBuffer& ar);
    static int64_t ReadRecord(const BYTE* pRecord, int64_t llBytesLeft, CLUSTERMAP_MOD_RECORD& stRecord);

    CNetDefragBuffer m_arRecords;
    int64_t m_llNextRecord;
};
