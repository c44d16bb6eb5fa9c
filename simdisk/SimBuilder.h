// Builds a populated simulated volume in one pass: a directory tree, files of varied sizes
// laid out from the start of the volume, a chosen share of them fragmented with their pieces
// spread among later files, and free space left in small gaps. Costs O(files + fragments).
#pragma once

#include "simdisk/SimVolume.h"

#include <memory>
#include <string>

struct SIM_BUILD
{
    SIM_FORMAT format;
    LONGLONG llFiles = 1000;
    int nFragmentedPercent = 10;
    unsigned uSeed = 1;
    LONGLONG llDirectories = -1; // -1: one for every twenty files
    int nMaxDepth = 6;
    // Files written within the last day; the others were last written 30 to 400 days ago.
    // Which file is which follows from its number, so the layout of a seed stays the same.
    int nRecentPercent = 100;
};

class CSimBuilder
{
public:
    // Null with a message when the volume cannot be built as asked.
    static std::unique_ptr<CSimVolume> Build(const SIM_BUILD& build, std::wstring* pstrError);
    // A serial number of its own for each seed, so that volumes built from different seeds
    // carry different volume names and the same seed always the same one.
    static DWORD SerialForSeed(unsigned uSeed);
};
