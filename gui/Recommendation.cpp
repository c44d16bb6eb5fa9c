#include "gui/Recommendation.h"

#include "gui/Resource.h"

std::vector<uint32_t> AnalysisRecommendation(uint32_t nFragmentationPercent, uint32_t nFragmentedFiles,
                                             uint64_t nFreeBytes, uint64_t nSizeBytes)
{
    if (nFragmentationPercent <= 4 && nFragmentedFiles <= 20)
        return {IDS_MINIMAL_FRAGMENTATION};
    // Free bytes beyond 2^64 / 100 would wrap; a drive that large is never short of space.
    if (nSizeBytes != 0 && nFreeBytes <= UINT64_MAX / 100 && nFreeBytes * 100 / nSizeBytes < 10)
        return {IDS_RECOMMEND_DEFRAG, IDS_FREE_SPACE_FIRST};
    return {IDS_RECOMMEND_DEFRAG};
}

uint32_t DefragRecommendation(uint32_t nFragmentedFiles, uint32_t nDefragmentedFiles, uint32_t nMovedFiles)
{
    if (nFragmentedFiles != 0)
        return nDefragmentedFiles != 0 ? IDS_RESULT_PARTIAL : IDS_RESULT_NONE_DEFRAGMENTED;
    if (nDefragmentedFiles == 0 && nMovedFiles == 0)
        return IDS_RESULT_EXCELLENT;
    return nMovedFiles != 0 ? IDS_RESULT_CONGRATULATIONS : IDS_RESULT_RECOMMEND_PROACTIVE;
}
