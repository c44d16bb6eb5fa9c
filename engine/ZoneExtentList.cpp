#include "engine/ZoneExtentList.h"

#include <cstdlib>
#include <utility>

CZoneExtentList::CZoneExtentList()
    : m_pSlots(static_cast<uint64_t*>(std::calloc(GrowthSlots, sizeof(uint64_t)))), m_uUsed(0),
      m_uCapacity(m_pSlots != nullptr ? GrowthSlots : 0)
{
}

CZoneExtentList::~CZoneExtentList()
{
    m_uUsed = 0;
    std::free(m_pSlots);
}

bool CZoneExtentList::Add(uint64_t ullRecord, uint64_t ullLcn, uint64_t ullAttributePosition)
{
    if (m_uUsed + SlotsPerElement > m_uCapacity)
    {
        uint32_t uCapacity = m_uCapacity + GrowthSlots;
        void* pGrown = std::realloc(m_pSlots, static_cast<size_t>(uCapacity) * sizeof(uint64_t));
        if (pGrown == nullptr)
            return false;
        m_pSlots = static_cast<uint64_t*>(pGrown);
        m_uCapacity = uCapacity;
    }
    m_pSlots[m_uUsed] = ullRecord;
    m_pSlots[m_uUsed + 1] = ullLcn;
    m_pSlots[m_uUsed + 2] = ullAttributePosition;
    m_uUsed += SlotsPerElement;
    return true;
}

void CZoneExtentList::SortByLcn()
{
    if (GetCount() > 1)
        Sort(0, GetCount() - 1);
}

void CZoneExtentList::Swap(uint32_t a, uint32_t b)
{
    for (uint32_t i = 0; i < SlotsPerElement; ++i)
        std::swap(m_pSlots[a * 3 + i], m_pSlots[b * 3 + i]);
}

// Quicksort on the middle element; the smaller side recurses and the larger
// one loops, so the stack stays logarithmic whatever the input order.
void CZoneExtentList::Sort(uint32_t uFirst, uint32_t uLast)
{
    while (uFirst < uLast)
    {
        if (uLast - uFirst == 1)
        {
            if (GetLcn(uFirst) > GetLcn(uLast))
                Swap(uFirst, uLast);
            return;
        }
        uint32_t uMiddle = uFirst + (uLast - uFirst) / 2;
        uint64_t ullPivot = GetLcn(uMiddle);
        Swap(uMiddle, uLast);
        uint32_t uStore = uFirst;
        for (uint32_t i = uFirst; i < uLast; ++i)
        {
            if (GetLcn(i) <= ullPivot)
                Swap(i, uStore++);
        }
        Swap(uStore, uLast);
        if (uStore - uFirst < uLast - uStore)
        {
            if (uStore > uFirst)
                Sort(uFirst, uStore - 1);
            uFirst = uStore + 1;
        }
        else
        {
            Sort(uStore + 1, uLast);
            if (uStore == 0)
                return;
            uLast = uStore - 1;
        }
    }
}
