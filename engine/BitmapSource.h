// CBitmapSource: where the free-run index reads the allocation bitmap from: a volume through
// its bitmap control, or any stand-in that answers the same way.
#pragma once

#include <windows.h>

#include <cstdint>

class CBitmapSource
{
public:
    virtual ~CBitmapSource() = default;

    virtual int64_t TotalClusters() const = 0;
    // Bits [llLcn, llLcn + llCount) into pBits from its bit 0 on; false when they cannot be read.
    virtual bool ReadBits(int64_t llLcn, int64_t llCount, BYTE* pBits) = 0;
    // The volume's own count of free clusters; false when it cannot tell.
    virtual bool CountFreeClusters(int64_t& llFree) = 0;
};
