// CZoneExtentList: the extents that lie in the boot-file zone, as flat
// (record number, starting LCN, attribute position) triples sortable by LCN.
#pragma once

#include <cstdint>

class CZoneExtentList
{
public:
    static constexpr uint32_t SlotsPerElement = 3;
    static constexpr uint32_t GrowthSlots = 3072;
    // Stands for the file's unnamed data stream in the attribute position.
    static constexpr uint64_t UnnamedStream = ~0ULL;

    CZoneExtentList();
    ~CZoneExtentList();
    CZoneExtentList(const CZoneExtentList&) = delete;
    CZoneExtentList& operator=(const CZoneExtentList&) = delete;

    // False, with the list unchanged, when the storage cannot grow.
    bool Add(uint64_t ullRecord, uint64_t ullLcn, uint64_t ullAttributePosition);
    // Counts used slots, three per element.
    uint32_t GetSize() const { return m_uUsed; }
    uint32_t GetCapacity() const { return m_uCapacity; }
    uint32_t GetCount() const { return m_uUsed / SlotsPerElement; }
    void Reset() { m_uUsed = 0; }
    void SortByLcn();

    uint64_t GetRecord(uint32_t uElement) const { return m_pSlots[uElement * 3]; }
    uint64_t GetLcn(uint32_t uElement) const { return m_pSlots[uElement * 3 + 1]; }
    uint64_t GetAttributePosition(uint32_t uElement) const { return m_pSlots[uElement * 3 + 2]; }

private:
    void Swap(uint32_t a, uint32_t b);
    void Sort(uint32_t uFirst, uint32_t uLast);

    uint64_t* m_pSlots;
    uint32_t m_uUsed;
    uint32_t m_uCapacity;
};
