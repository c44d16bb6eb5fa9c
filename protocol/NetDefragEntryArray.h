// CNetDefragEntryArray: the growable list of owned records inside a reply
// (files of a cluster range, fragmented files); on the wire an int32 count,
// then every record. A count that the payload cannot hold is refused.
#pragma once

#include "base/PointerArray.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragObject.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

template <class TEntry> class CNetDefragEntryArray
{
public:
    CNetDefragEntryArray() = default;
    ~CNetDefragEntryArray() { RemoveAll(); }
    CNetDefragEntryArray(const CNetDefragEntryArray&) = delete;
    CNetDefragEntryArray& operator=(const CNetDefragEntryArray&) = delete;

    // False when the record cannot be allocated.
    bool Add(const TEntry& stEntry)
    {
        std::unique_ptr<TEntry> pEntry(new (std::nothrow) TEntry(stEntry));
        return Take(std::move(pEntry));
    }

    int GetCount() const { return m_arrEntries.GetSize(); }
    const TEntry& GetAt(int nIndex) const { return *static_cast<TEntry*>(m_arrEntries.GetAt(nIndex)); }

    // Frees the records from nCount on.
    void TruncateTo(int nCount)
    {
        for (int i = nCount; i < m_arrEntries.GetSize(); ++i)
            delete static_cast<TEntry*>(m_arrEntries.GetAt(i));
        if (nCount < m_arrEntries.GetSize())
            m_arrEntries.SetSize(nCount);
    }

    void RemoveAll()
    {
        for (int i = 0; i < m_arrEntries.GetSize(); ++i)
            delete static_cast<TEntry*>(m_arrEntries.GetAt(i));
        m_arrEntries.RemoveAll();
    }

    // Equal keys keep their order, as repeated neighbour swaps would leave them.
    template <class TLess> void StableSort(TLess fnLess)
    {
        std::vector<TEntry*> vecEntries;
        for (int i = 0; i < m_arrEntries.GetSize(); ++i)
            vecEntries.push_back(static_cast<TEntry*>(m_arrEntries.GetAt(i)));
        std::stable_sort(vecEntries.begin(), vecEntries.end(),
                         [&](const TEntry* a, const TEntry* b) { return fnLess(*a, *b); });
        for (int i = 0; i < m_arrEntries.GetSize(); ++i)
            m_arrEntries.SetAtGrow(i, vecEntries[i]);
    }

    void Serialize(CNetDefragBuffer& ar)
    {
        if (ar.IsStoring())
        {
            ar.WriteInt32(GetCount());
            for (int i = 0; i < GetCount(); ++i)
                static_cast<TEntry*>(m_arrEntries.GetAt(i))->Serialize(ar);
            return;
        }
        int32_t nCount = ar.ReadCount(INT_MAX - GetCount(), TEntry::MinWireSize);
        for (int32_t i = 0; i < nCount; ++i)
            Take(LoadNetDefragEntry<TEntry>(ar));
    }

private:
    bool Take(std::unique_ptr<TEntry> pEntry)
    {
        if (!pEntry)
            return false;
        m_arrEntries.Add(pEntry.get());
        pEntry.release();
        return true;
    }

    CPointerArray m_arrEntries;
};
