// CNetDefragObjectTable: a protocol list held in a fixed table of 255 owned
// entries; on the wire an int32 count, then every entry in turn. A count from
// the wire that the table cannot take is refused, never written past it.
#pragma once

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>
#include <memory>
#include <stdexcept>

template <class TEntry> class CNetDefragObjectTable : public CNetDefragObject
{
public:
    static constexpr int MaxEntries = 255;

    CNetDefragObjectTable() : m_nCount(0), m_pEntries{} {}
    ~CNetDefragObjectTable() override
    {
        for (int i = 0; i < m_nCount; ++i)
            delete m_pEntries[i];
    }
    CNetDefragObjectTable(const CNetDefragObjectTable&) = delete;
    CNetDefragObjectTable& operator=(const CNetDefragObjectTable&) = delete;

    // The table takes the entry; when it is full the entry is refused and freed.
    bool Add(std::unique_ptr<TEntry> pEntry)
    {
        if (!pEntry || m_nCount >= MaxEntries)
            return false;
        m_pEntries[m_nCount++] = pEntry.release();
        return true;
    }

    int GetCount() const { return m_nCount; }

    // Throws std::out_of_range for an index outside [0, count).
    TEntry* GetEntry(int nIndex) const
    {
        if (nIndex < 0 || nIndex >= m_nCount)
            throw std::out_of_range("protocol list index out of range");
        return m_pEntries[nIndex];
    }

    void Serialize(CNetDefragBuffer& ar) override
    {
        if (ar.IsStoring())
        {
            ar.WriteInt32(m_nCount);
            for (int i = 0; i < m_nCount; ++i)
                m_pEntries[i]->Serialize(ar);
            return;
        }
        int32_t nCount = ar.ReadCount(MaxEntries - m_nCount, TEntry::MinWireSize);
        for (int32_t i = 0; i < nCount; ++i)
            Add(LoadNetDefragEntry<TEntry>(ar));
    }

private:
    int32_t m_nCount;
    TEntry* m_pEntries[MaxEntries];
};
