#include "simdisk/SimStatistics.h"

#include <algorithm>

SIM_STATISTICS CSimStatistics::Of(const CSimVolume& volume)
{
    SIM_STATISTICS stats;
    for (size_t i = 0; i < volume.FileSlots(); ++i)
    {
        const CSimFile* pFile = volume.File(i);
        if (!pFile || (pFile->m_dwFlags & (SimFileMetadata | SimFileHidden)))
            continue;
        ++(pFile->IsDirectory() ? stats.llDirectories : stats.llFiles);
        bool bFragmented = false;
        for (const CSimStream& stream : pFile->m_streams)
        {
            LONGLONG llRuns = 0;
            for (const SIM_RUN& run : stream.m_runs)
                llRuns += run.llLcn != SIM_SPARSE_LCN;
            stats.llFragments += llRuns;
            bFragmented = bFragmented || llRuns > 1;
        }
        stats.llFragmentedFiles += bFragmented;
    }
    const CSimBitmap& bitmap = volume.Bitmap();
    for (LONGLONG llStart = bitmap.NextClear(0); llStart >= 0;)
    {
        LONGLONG llEnd = bitmap.NextSet(llStart);
        if (llEnd < 0)
            llEnd = bitmap.Size();
        ++stats.llFreeExtents;
        stats.llLargestFree = std::max(stats.llLargestFree, llEnd - llStart);
        llStart = bitmap.NextClear(llEnd);
    }
    return stats;
}
