#include "engine/ZoneExtentList.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(ZoneExtentList, GrowsBy3072SlotsAndResetKeepsStorage)
{
    CZoneExtentList list;
    EXPECT_EQ(3072u, list.GetCapacity());
    for (uint64_t i = 0; i < 1024; ++i)
        ASSERT_TRUE(list.Add(i, 100 + i, CZoneExtentList::UnnamedStream));
    EXPECT_EQ(3072u, list.GetCapacity());
    ASSERT_TRUE(list.Add(1024, 1, 0x38));
    EXPECT_EQ(6144u, list.GetCapacity());
    EXPECT_EQ(1025u * 3, list.GetSize());
    EXPECT_EQ(1024u, list.GetRecord(1024));
    EXPECT_EQ(0x38u, list.GetAttributePosition(1024));
    list.Reset();
    EXPECT_EQ(0u, list.GetSize());
    EXPECT_EQ(6144u, list.GetCapacity());
}

TEST(ZoneExtentList, SortByLcnKeepsTriplesTogether)
{
    struct { const char* what; int nMode; uint32_t nCount; } cases[] = {
        {"empty", 0, 0}, {"one", 0, 1}, {"two reversed", 1, 2}, {"sorted", 0, 3000},
        {"reversed", 1, 3000}, {"random with repeats", 2, 3000}, {"all equal", 3, 500},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        CZoneExtentList list;
        std::mt19937 rng(11);
        for (uint32_t i = 0; i < c.nCount; ++i)
        {
            uint64_t lcn = c.nMode == 0 ? i : c.nMode == 1 ? c.nCount - i : c.nMode == 2 ? rng() % 400 : 9;
            // Record and attribute position are derived from the LCN so that a
            // triple torn apart by the sort shows.
            ASSERT_TRUE(list.Add(lcn * 7 + 1, lcn, lcn ^ 0x55));
        }
        list.SortByLcn();
        ASSERT_EQ(c.nCount * 3, list.GetSize());
        for (uint32_t i = 0; i < list.GetCount(); ++i)
        {
            if (i > 0)
            {
                EXPECT_LE(list.GetLcn(i - 1), list.GetLcn(i));
            }
            EXPECT_EQ(list.GetLcn(i) * 7 + 1, list.GetRecord(i));
            EXPECT_EQ(list.GetLcn(i) ^ 0x55, list.GetAttributePosition(i));
        }
    }
}

} // namespace
