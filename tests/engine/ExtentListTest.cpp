#include "engine/ExtentList.h"

#include <gtest/gtest.h>

namespace {

TEST(ExtentList, RunsThatContinueEachOtherAreOneEntry)
{
    CExtentList list;
    EXPECT_EQ(-1, list.GetKind());
    EXPECT_EQ(CExtentList::NoStart, list.GetLowestStart());
    ASSERT_TRUE(list.Add(100, 10));
    ASSERT_TRUE(list.Add(110, 5));   // continues: merged
    ASSERT_TRUE(list.Add(50, 5));    // elsewhere: a new entry
    ASSERT_TRUE(list.Add(55, 1));
    EXPECT_FALSE(list.Add(56, 0));
    EXPECT_FALSE(list.Add(56, -3));
    ASSERT_EQ(2u, list.GetCount());
    int64_t llStart = 0, llLength = 0;
    ASSERT_TRUE(list.Get(0, llStart, llLength));
    EXPECT_EQ(100, llStart);
    EXPECT_EQ(15, llLength);
    ASSERT_TRUE(list.Get(1, llStart, llLength));
    EXPECT_EQ(50, llStart);
    EXPECT_EQ(6, llLength);
    EXPECT_EQ(50, list.GetLowestStart());
    EXPECT_FALSE(list.Get(2, llStart, llLength));
}

TEST(ExtentList, SparsePartsAreExtraClustersOfTheRunBeforeThem)
{
    CExtentList list;
    EXPECT_FALSE(list.AddExtra(0, 4));
    list.Add(10, 4);
    ASSERT_TRUE(list.AddExtra(0, 12));
    // A run that lies right behind on disk is still a run of its own after a sparse part.
    list.Add(14, 4);
    ASSERT_EQ(2u, list.GetCount());
    int64_t llStart = 0, llLength = 0;
    list.Get(0, llStart, llLength);
    EXPECT_EQ(4, llLength);
    list.GetWithExtra(0, llStart, llLength);
    EXPECT_EQ(16, llLength);
    list.GetWithExtra(1, llStart, llLength);
    EXPECT_EQ(4, llLength);
}

TEST(ExtentList, GrowsGeometricallyAndShrinksWhenCleared)
{
    CExtentList list;
    EXPECT_EQ(CExtentList::InitialCapacity, list.GetCapacity());
    for (int64_t i = 0; i < 100000; ++i)
        ASSERT_TRUE(list.Add(i * 2, 1));
    EXPECT_EQ(100000u, list.GetCount());
    EXPECT_GE(list.GetCapacity(), 100000u);
    EXPECT_LT(list.GetCapacity(), 200000u);
    int64_t llStart = 0, llLength = 0;
    ASSERT_TRUE(list.Get(99999, llStart, llLength));
    EXPECT_EQ(199998, llStart);
    list.SetKind(8);
    list.Clear();
    EXPECT_EQ(0u, list.GetCount());
    EXPECT_EQ(CExtentList::InitialCapacity, list.GetCapacity());
    EXPECT_EQ(CExtentList::NoStart, list.GetLowestStart());
    EXPECT_EQ(8, list.GetKind());
}

} // namespace
