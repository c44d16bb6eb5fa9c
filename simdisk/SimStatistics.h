// Figures of a simulated volume: files, fragmented files and fragments (the file system's own
// metadata files left out) and the free space.
#pragma once

#include "simdisk/SimVolume.h"

struct SIM_STATISTICS
{
    LONGLONG llFiles = 0;
    LONGLONG llDirectories = 0;
    LONGLONG llFragmentedFiles = 0;
    LONGLONG llFragments = 0;     // allocated runs of every stream
    LONGLONG llFreeExtents = 0;
    LONGLONG llLargestFree = 0;
};

class CSimStatistics
{
public:
    static SIM_STATISTICS Of(const CSimVolume& volume);
};
