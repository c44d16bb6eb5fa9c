#include "engine/ExtentList.h"

#include <cstring>
#include <new>

CExtentList::CExtentList()
    : m_llLowestStart(NoStart), m_nKind(-1), m_pEntries(new (std::nothrow) EXTENT_ENTRY[InitialCapacity]),
      m_uCount(0), m_uCapacity(m_pEntries ? InitialCapacity : 0)
{
}

CExtentList::~CExtentList()
{
    delete[] m_pEntries;
}

bool CExtentList::Grow()
{
    // Doubling keeps the copying linear in the number of runs, however fragmented the file.
    if (m_uCapacity > UINT32_MAX / 2)
        return false;
    uint32_t uNew = m_uCapacity == 0 ? InitialCapacity : m_uCapacity * 2;
    EXTENT_ENTRY* pNew = new (std::nothrow) EXTENT_ENTRY[uNew];
    if (pNew == nullptr)
        return false;
    if (m_uCount > 0)
        std::memcpy(pNew, m_pEntries, m_uCount * sizeof(EXTENT_ENTRY));
    delete[] m_pEntries;
    m_pEntries = pNew;
    m_uCapacity = uNew;
    return true;
}

bool CExtentList::Add(int64_t llStart, int64_t llLength)
{
    if (llLength < 1)
        return false;
    if (m_uCount > 0)
    {
        EXTENT_ENTRY& stLast = m_pEntries[m_uCount - 1];
        if (stLast.llExtra == 0 && stLast.llStart + stLast.llLength == llStart)
        {
            stLast.llLength += llLength;
            return true;
        }
    }
    if (m_uCount == m_uCapacity && !Grow())
        return false;
    m_pEntries[m_uCount++] = {llStart, llLength, 0};
    if (llStart < m_llLowestStart)
        m_llLowestStart = llStart;
    return true;
}

bool CExtentList::Get(uint32_t uIndex, int64_t& llStart, int64_t& llLength) const
{
    if (uIndex >= m_uCount)
        return false;
    llStart = m_pEntries[uIndex].llStart;
    llLength = m_pEntries[uIndex].llLength;
    return true;
}

bool CExtentList::GetWithExtra(uint32_t uIndex, int64_t& llStart, int64_t& llLength) const
{
    if (!Get(uIndex, llStart, llLength))
        return false;
    llLength += m_pEntries[uIndex].llExtra;
    return true;
}

bool CExtentList::AddExtra(uint32_t uIndex, int64_t llClusters)
{
    if (uIndex >= m_uCount)
        return false;
    m_pEntries[uIndex].llExtra += llClusters;
    return true;
}

void CExtentList::Clear()
{
    m_uCount = 0;
    m_llLowestStart = NoStart;
    if (m_uCapacity <= InitialCapacity)
        return;
    EXTENT_ENTRY* pSmall = new (std::nothrow) EXTENT_ENTRY[InitialCapacity];
    if (pSmall == nullptr)
        return;
    delete[] m_pEntries;
    m_pEntries = pSmall;
    m_uCapacity = InitialCapacity;
}
