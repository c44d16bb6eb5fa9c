#include "base/PointerArray.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

// The capacity after each size reached, by SetSize or by one Add after another.
TEST(PointerArray, GrowthRule)
{
    struct CASE
    {
        const char* pszName;
        int nGrowBy;
        bool bByAdd;
        std::vector<std::pair<int, int>> steps;  // size reached, capacity then
    };
    const CASE cases[] = {
        {"exact first allocation, then the least step of 4", 0, false, {{10, 10}, {11, 14}}},
        {"automatic step capped at 1024", 0, false, {{16000, 16000}, {16001, 17024}}},
        {"explicit grow-by is the step", 100, false, {{1, 1}, {2, 101}}},
        {"adds: one slot, then steps of 4 below 40", 0, true,
         {{1, 1}, {2, 5}, {5, 5}, {6, 9}, {9, 9}, {10, 13}, {39, 41}}},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CPointerArray a;
        a.SetGrowBy(c.nGrowBy);
        for (const auto& step : c.steps)
        {
            if (!c.bByAdd)
                a.SetSize(step.first);
            for (int nIndex = a.GetSize(); c.bByAdd && nIndex < step.first; ++nIndex)
                EXPECT_EQ(nIndex, a.Add(P(nIndex + 1)));
            EXPECT_EQ(step.second, a.GetCapacity()) << "at size " << step.first;
        }
        for (int i = 0; i < a.GetSize(); ++i)
            EXPECT_EQ(c.bByAdd ? P(i + 1) : nullptr, a.GetAt(i)) << i;
    }
}

TEST(PointerArray, SetAtGrowLeavesGapNullAndShrinkKeepsStorage)
{
    CPointerArray a;
    a.Add(P(1));
    a.SetAtGrow(5, P(6));
    EXPECT_EQ(6, a.GetSize());
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(nullptr, a.GetAt(i));
    int nCapacity = a.GetCapacity();
    a.SetSize(2);
    EXPECT_EQ(nCapacity, a.GetCapacity());
    a.SetSize(6);
    EXPECT_EQ(nullptr, a.GetAt(5)) << "slots uncovered again are zeroed";
}

TEST(PointerArray, RemoveAtMovesTailDown)
{
    CPointerArray a;
    for (int i = 1; i <= 4; ++i)
        a.Add(P(i));
    a.RemoveAt(1);
    ASSERT_EQ(3, a.GetSize());
    EXPECT_EQ(P(1), a.GetAt(0));
    EXPECT_EQ(P(3), a.GetAt(1));
    EXPECT_EQ(P(4), a.GetAt(2));
}

TEST(PointerArray, BadIndexRaises)
{
    CPointerArray a;
    EXPECT_THROW(a.GetAt(0), std::out_of_range);
    a.Add(P(1));
    EXPECT_THROW(a.GetAt(-1), std::out_of_range);
    EXPECT_THROW(a.GetAt(1), std::out_of_range);
    EXPECT_NO_THROW(a.GetAt(0));
    a.RemoveAll();
    EXPECT_EQ(0, a.GetSize());
    EXPECT_EQ(0, a.GetCapacity());
}

} // namespace
