// CFreeRunHints: for twenty classes of run length, the lowest LCN at which a
// free run of that class may still be found, so that the file pass does not
// scan the bitmap from the start for every file.
#pragma once

#include <cstdint>

class CFreeRunHints
{
public:
    static constexpr int ClassCount = 20;
    // No free run of the class or longer is left.
    static constexpr uint64_t NoneLeft = ~0ULL;

    CFreeRunHints() { Clear(); }

    void Clear();
    static int GetSizeClass(uint64_t ullLength);
    uint64_t GetSearchStart(uint64_t ullLength) const;
    void UpdateAfterSearch(uint64_t ullFound, uint64_t ullLength, uint64_t ullLowerBound);
    void OnClustersFreed(uint64_t ullLcn, uint64_t ullLength);
    uint64_t GetHint(int nClass) const { return m_aullHints[nClass]; }

private:
    uint64_t m_aullHints[ClassCount];
};
