// The advice of the result dialogs.
#include "gui/Recommendation.h"
#include "gui/Resource.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Recommendation, AnAnalysisAdvisesFromFragmentationAndFreeSpace)
{
    const uint64_t kGiB = 1ull << 30;
    struct CASE
    {
        const char* pszWhat;
        uint32_t nPercent, nFiles;
        uint64_t nFree, nSize;
        std::vector<uint32_t> ids;
    } cases[] = {
        {"4 % and 20 files", 4, 20, kGiB, kGiB, {IDS_MINIMAL_FRAGMENTATION}},
        {"5 %", 5, 0, kGiB, kGiB, {IDS_RECOMMEND_DEFRAG}},
        {"21 files", 0, 21, kGiB, kGiB, {IDS_RECOMMEND_DEFRAG}},
        {"9 % free", 5, 0, 9 * kGiB, 100 * kGiB, {IDS_RECOMMEND_DEFRAG, IDS_FREE_SPACE_FIRST}},
        {"10 % free", 5, 0, 10 * kGiB, 100 * kGiB, {IDS_RECOMMEND_DEFRAG}},
        {"size unknown", 5, 0, 0, 0, {IDS_RECOMMEND_DEFRAG}},
        {"free too large to scale", 5, 0, UINT64_MAX, 100, {IDS_RECOMMEND_DEFRAG}},
        {"low space alone", 0, 0, 0, kGiB, {IDS_MINIMAL_FRAGMENTATION}},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(c.ids, AnalysisRecommendation(c.nPercent, c.nFiles, c.nFree, c.nSize)) << c.pszWhat;
}

TEST(Recommendation, ADefragmentationAdvisesFromWhatItDid)
{
    struct CASE
    {
        uint32_t nFragmented, nDefragmented, nMoved, nId;
    } cases[] = {
        {1, 1, 0, IDS_RESULT_PARTIAL},         {1, 0, 5, IDS_RESULT_NONE_DEFRAGMENTED},
        {0, 0, 0, IDS_RESULT_EXCELLENT},       {0, 1, 1, IDS_RESULT_CONGRATULATIONS},
        {0, 1, 0, IDS_RESULT_RECOMMEND_PROACTIVE}, {0, 0, 1, IDS_RESULT_CONGRATULATIONS},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(c.nId, DefragRecommendation(c.nFragmented, c.nDefragmented, c.nMoved))
            << c.nFragmented << " " << c.nDefragmented << " " << c.nMoved;
}
