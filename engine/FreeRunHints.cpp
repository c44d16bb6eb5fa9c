#include "engine/FreeRunHints.h"

#include <algorithm>

namespace {

// The first length of classes 5 to 19; classes 0 to 3 are the lengths 1 to 4.
constexpr uint64_t g_aullClassStarts[] = {8,    15,   30,    60,    150,    400,    750,
                                          1000, 2000, 5000,  10000, 30000,  100000, 500000,
                                          1000000};

} // namespace

void CFreeRunHints::Clear()
{
    std::fill(m_aullHints, m_aullHints + ClassCount, 0);
}

int CFreeRunHints::GetSizeClass(uint64_t ullLength)
{
    if (ullLength >= 1 && ullLength <= 4)
        return static_cast<int>(ullLength - 1);
    int nClass = 4;
    for (uint64_t ullStart : g_aullClassStarts)
    {
        if (ullLength < ullStart)
            break;
        ++nClass;
    }
    return nClass;
}

// Classes above 3 span many lengths, so their own hint may lie past a run
// that is long enough; the class below is the safe start.
uint64_t CFreeRunHints::GetSearchStart(uint64_t ullLength) const
{
    int nClass = GetSizeClass(ullLength);
    return m_aullHints[nClass <= 3 ? nClass : nClass - 1];
}

void CFreeRunHints::UpdateAfterSearch(uint64_t ullFound, uint64_t ullLength, uint64_t ullLowerBound)
{
    int nClass = GetSizeClass(ullLength);
    if (ullLowerBound < ullFound)
    {
        if (ullFound == NoneLeft)
        {
            std::fill(m_aullHints + nClass, m_aullHints + ClassCount, NoneLeft);
            return;
        }
        for (int i = 0; i <= nClass; ++i)
            m_aullHints[i] = std::min(m_aullHints[i], ullLowerBound);
    }
    for (int i = nClass; i < ClassCount && m_aullHints[i] < ullFound; ++i)
        m_aullHints[i] = ullFound;
}

void CFreeRunHints::OnClustersFreed(uint64_t ullLcn, uint64_t ullLength)
{
    int nClass = GetSizeClass(ullLength);
    for (int i = 0; i <= nClass; ++i)
        m_aullHints[i] = std::min(m_aullHints[i], ullLcn);
}
