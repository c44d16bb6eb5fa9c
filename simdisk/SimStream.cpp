#include "simdisk/SimStream.h"

LONGLONG CSimStream::AllocatedClusters() const
{
    LONGLONG llCount = 0;
    for (const SIM_RUN& run : m_runs)
        if (run.llLcn != SIM_SPARSE_LCN)
            llCount += run.llLength;
    return llCount;
}

int CSimStream::FindRun(LONGLONG llVcn) const
{
    size_t nLow = 0, nHigh = m_runs.size();
    while (nLow < nHigh)
    {
        size_t nMid = (nLow + nHigh) / 2;
        const SIM_RUN& run = m_runs[nMid];
        if (llVcn < run.llVcn)
            nHigh = nMid;
        else if (llVcn >= run.llVcn + run.llLength)
            nLow = nMid + 1;
        else
            return static_cast<int>(nMid);
    }
    return -1;
}

void CSimStream::Normalize()
{
    std::vector<SIM_RUN> merged;
    merged.reserve(m_runs.size());
    for (const SIM_RUN& run : m_runs)
    {
        if (run.llLength <= 0)
            continue;
        if (!merged.empty())
        {
            SIM_RUN& last = merged.back();
            bool bBothSparse = last.llLcn == SIM_SPARSE_LCN && run.llLcn == SIM_SPARSE_LCN;
            bool bAdjacent = last.llLcn != SIM_SPARSE_LCN && run.llLcn == last.llLcn + last.llLength;
            if (bBothSparse || bAdjacent)
            {
                last.llLength += run.llLength;
                continue;
            }
        }
        merged.push_back(run);
    }
    m_runs.swap(merged);
}
