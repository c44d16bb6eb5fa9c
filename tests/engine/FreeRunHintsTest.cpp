#include "engine/FreeRunHints.h"

#include <gtest/gtest.h>

namespace {

TEST(FreeRunHints, SizeClassesFollowTheTable)
{
    struct { uint64_t ullLength; int nClass; } cases[] = {
        {0, 4}, {1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {7, 4}, {8, 5}, {14, 5}, {15, 6},
        {29, 6}, {30, 7}, {59, 7}, {60, 8}, {149, 8}, {150, 9}, {399, 9}, {400, 10}, {749, 10},
        {750, 11}, {999, 11}, {1000, 12}, {1999, 12}, {2000, 13}, {4999, 13}, {5000, 14},
        {9999, 14}, {10000, 15}, {29999, 15}, {30000, 16}, {99999, 16}, {100000, 17},
        {499999, 17}, {500000, 18}, {999999, 18}, {1000000, 19}, {~0ULL, 19},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nClass, CFreeRunHints::GetSizeClass(c.ullLength)) << c.ullLength;
}

TEST(FreeRunHints, SearchStartUsesTheClassBelowFromFiveOn)
{
    CFreeRunHints hints;
    hints.OnClustersFreed(0, 0);
    hints.UpdateAfterSearch(30, 4, 30);  // class 3 and up rise to 30
    hints.UpdateAfterSearch(50, 5, 50);  // class 4 and up rise to 50
    EXPECT_EQ(30u, hints.GetSearchStart(4));
    EXPECT_EQ(30u, hints.GetSearchStart(5));
    EXPECT_EQ(50u, hints.GetSearchStart(8));
    EXPECT_EQ(0u, hints.GetSearchStart(1));
}

TEST(FreeRunHints, NothingFoundClosesTheClassAndAbove)
{
    CFreeRunHints hints;
    hints.UpdateAfterSearch(CFreeRunHints::NoneLeft, 200, 0);
    for (int i = 0; i < CFreeRunHints::ClassCount; ++i)
        EXPECT_EQ(i >= 9 ? CFreeRunHints::NoneLeft : 0u, hints.GetHint(i)) << "class " << i;
}

TEST(FreeRunHints, FoundRunRaisesUntilAHigherHint)
{
    CFreeRunHints hints;
    hints.UpdateAfterSearch(500, 1000, 500);  // classes 12..19 -> 500
    hints.UpdateAfterSearch(200, 10, 100);    // lower bound 100 below found 200
    EXPECT_EQ(0u, hints.GetHint(0)) << "smaller of hint and lower bound";
    EXPECT_EQ(200u, hints.GetHint(5));
    EXPECT_EQ(200u, hints.GetHint(11));
    EXPECT_EQ(500u, hints.GetHint(12)) << "stops at the first hint at or above found";

    hints.OnClustersFreed(50, 150);
    for (int i = 0; i <= 9; ++i)
        EXPECT_EQ(i < 5 ? 0u : 50u, hints.GetHint(i)) << "class " << i;
    EXPECT_EQ(200u, hints.GetHint(10));
    hints.Clear();
    EXPECT_EQ(0u, hints.GetHint(19));
}

} // namespace
