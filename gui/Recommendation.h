// The advice in words that the result dialogs give after a run, as string ids.
#pragma once

#include <cstdint>
#include <vector>

// After an analysis: defragment or not, and free some space first when less
// than a tenth of the drive is free. A drive of unknown size gets no advice
// about its free space.
std::vector<uint32_t> AnalysisRecommendation(uint32_t nFragmentationPercent, uint32_t nFragmentedFiles,
                                             uint64_t nFreeBytes, uint64_t nSizeBytes);
// After a defragmentation, from the files still fragmented, defragmented and moved.
uint32_t DefragRecommendation(uint32_t nFragmentedFiles, uint32_t nDefragmentedFiles, uint32_t nMovedFiles);
