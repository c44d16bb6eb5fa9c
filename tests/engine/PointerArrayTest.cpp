#include "engine/PointerArray.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

TEST(PointerArray, SetSizeAllocatesExactlyThenGrowsByAtLeastFour)
{
    CPointerArray a;
    a.SetSize(10);
    EXPECT_EQ(10, a.GetCapacity());
    a.SetSize(11);
    EXPECT_EQ(14, a.GetCapacity());
    EXPECT_EQ(nullptr, a.GetAt(10));
}

TEST(PointerArray, AutomaticStepIsCappedAt1024)
{
    CPointerArray a;
    a.SetSize(16000);
    a.SetSize(16001);
    EXPECT_EQ(17024, a.GetCapacity());
}

TEST(PointerArray, ExplicitGrowByIsTheStep)
{
    CPointerArray a;
    a.SetGrowBy(100);
    a.SetSize(1);
    a.SetSize(2);
    EXPECT_EQ(101, a.GetCapacity());
}

TEST(PointerArray, AddReturnsIndexAndCapacityStepsByFourBelowForty)
{
    CPointerArray a;
    int nExpected[] = {1, 5, 5, 5, 5, 9, 9, 9, 9, 13};
    for (int i = 0; i < 10; ++i)
    {
        EXPECT_EQ(i, a.Add(P(i + 1)));
        EXPECT_EQ(nExpected[i], a.GetCapacity()) << "after add " << i;
    }
    for (int i = 10; i < 39; ++i)
        a.Add(P(i + 1));
    EXPECT_EQ(41, a.GetCapacity());
    for (int i = 0; i < 39; ++i)
        EXPECT_EQ(P(i + 1), a.GetAt(i));
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
