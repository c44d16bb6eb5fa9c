#include "guitoolkit/ColumnLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

namespace
{
CColumnLayout LayoutOf(int nColumns)
{
    CColumnLayout layout;
    for (int i = 0; i < nColumns; ++i)
        EXPECT_TRUE(layout.Insert(i));
    return layout;
}

void Poke(std::vector<BYTE>& data, size_t nAt, int nValue)
{
    std::memcpy(data.data() + nAt, &nValue, sizeof(nValue));
}

// Offset of column i's order in a saved layout.
size_t OrderAt(size_t i)
{
    return 13 + 9 * i;
}
} // namespace

TEST(ColumnLayout, HiddenColumnsAreSkippedBetweenLogicalAndPhysical)
{
    CColumnLayout layout = LayoutOf(4);
    layout.GetColumn(1).visible = 0;
    EXPECT_EQ(layout.ToPhysical(0), 0);
    EXPECT_EQ(layout.ToPhysical(1), -1);
    EXPECT_EQ(layout.ToPhysical(2), 1);
    EXPECT_EQ(layout.ToPhysical(3), 2);
    EXPECT_EQ(layout.ToPhysical(4), -1);
    EXPECT_EQ(layout.ToLogical(0), 0);
    EXPECT_EQ(layout.ToLogical(1), 2);
    EXPECT_EQ(layout.ToLogical(2), 3);
    EXPECT_EQ(layout.ToLogical(3), -1);
    // Logical order 3 (column 3) comes after two shown columns.
    EXPECT_EQ(layout.ToPhysicalOrder(3), 2);
}

TEST(ColumnLayout, OrdersStayAPermutationThroughInsertDeleteAndReorder)
{
    CColumnLayout layout = LayoutOf(4);
    layout.SetOrderArray({2, 0});
    EXPECT_EQ(layout.GetOrderArray(), (std::vector<int>{2, 0, 1, 3}));
    ASSERT_TRUE(layout.Insert(1, 0));
    EXPECT_EQ(layout.GetOrderArray(), (std::vector<int>{1, 3, 0, 2, 4}));
    ASSERT_TRUE(layout.Delete(3));
    EXPECT_EQ(layout.GetOrderArray(), (std::vector<int>{1, 0, 2, 3}));
    EXPECT_FALSE(layout.Insert(6));
    EXPECT_FALSE(layout.Delete(4));
    EXPECT_FALSE(layout.Delete(-1));
}

TEST(ColumnLayout, SortColumnFollowsInsertAndDelete)
{
    CColumnLayout layout = LayoutOf(4);
    layout.SetSortColumn(-2);
    layout.Insert(2);
    EXPECT_EQ(layout.GetSortColumn(), -2) << "a column after it moves nothing";
    layout.Insert(0);
    EXPECT_EQ(layout.GetSortColumn(), -3);
    layout.Delete(0);
    EXPECT_EQ(layout.GetSortColumn(), -2);
    layout.Delete(1);
    EXPECT_EQ(layout.GetSortColumn(), 0) << "deleting the sort column clears it";
}

TEST(ColumnLayout, ClickSortsAscendingThenTurnsTheDirection)
{
    CColumnLayout layout = LayoutOf(3);
    EXPECT_EQ(layout.ClickColumn(2), 3);
    EXPECT_EQ(layout.ClickColumn(2), -3);
    EXPECT_EQ(layout.ClickColumn(0), 1);
    EXPECT_EQ(layout.ClickColumn(0), -1) << "descending on the first column is -1";
}

TEST(ColumnLayout, SavedLayoutReadsBackAsWritten)
{
    CColumnLayout saved = LayoutOf(3);
    saved.GetColumn(1).hideable = 1;
    saved.GetColumn(1).visible = 0;
    saved.SetOrderArray({2, 1, 0});
    saved.SetSortColumn(-3);
    std::vector<BYTE> data = saved.SaveLayout({50, 60, 70});
    ASSERT_EQ(data.size(), 8u + 9u * 3u);

    stCOLUMN_LAYOUT stLayout = {};
    ASSERT_EQ(LayoutOf(3).CheckLayout(data, stLayout), CColumnLayout::layoutValid);
    EXPECT_EQ(stLayout.nSortColumn, -3);
    const int expectedOrders[] = {2, 1, 0};
    const BYTE expectedVisible[] = {1, 0, 1};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(stLayout.columns[i].bVisible, expectedVisible[i]) << i;
        EXPECT_EQ(stLayout.columns[i].nWidth, 50 + 10 * i) << i;
        EXPECT_EQ(stLayout.columns[i].nOrder, expectedOrders[i]) << i;
    }
    EXPECT_TRUE(CColumnLayout().SaveLayout({}).empty()) << "no columns, nothing saved";
}

TEST(ColumnLayout, DamagedOrForeignLayoutsAreKeptOutWhole)
{
    const CColumnLayout layout = LayoutOf(3);
    const std::vector<BYTE> good = layout.SaveLayout({10, 20, 30});
    struct
    {
        const char* pszCase;
        std::function<void(std::vector<BYTE>&)> damage;
        CColumnLayout::ELayoutCheck eExpected;
    } cases[] = {
        {"one byte short", [](std::vector<BYTE>& d) { d.pop_back(); }, CColumnLayout::layoutMismatch},
        {"empty", [](std::vector<BYTE>& d) { d.clear(); }, CColumnLayout::layoutMismatch},
        {"another column count", [](std::vector<BYTE>& d) { Poke(d, 0, 4); }, CColumnLayout::layoutMismatch},
        {"sort past the columns", [](std::vector<BYTE>& d) { Poke(d, 4, 4); }, CColumnLayout::layoutCorrupt},
        {"descending past the columns", [](std::vector<BYTE>& d) { Poke(d, 4, -4); }, CColumnLayout::layoutCorrupt},
        {"sort INT_MIN", [](std::vector<BYTE>& d) { Poke(d, 4, INT_MIN); }, CColumnLayout::layoutCorrupt},
        {"order past the columns", [](std::vector<BYTE>& d) { Poke(d, OrderAt(2), 3); }, CColumnLayout::layoutCorrupt},
        {"negative order", [](std::vector<BYTE>& d) { Poke(d, OrderAt(0), -1); }, CColumnLayout::layoutCorrupt},
        {"order INT_MIN", [](std::vector<BYTE>& d) { Poke(d, OrderAt(1), INT_MIN); }, CColumnLayout::layoutCorrupt},
        {"duplicate orders", [](std::vector<BYTE>& d) { Poke(d, OrderAt(2), 0); }, CColumnLayout::layoutCorrupt},
    };
    for (const auto& c : cases)
    {
        std::vector<BYTE> data = good;
        c.damage(data);
        stCOLUMN_LAYOUT stLayout = {};
        EXPECT_EQ(layout.CheckLayout(data, stLayout), c.eExpected) << c.pszCase;
    }
    stCOLUMN_LAYOUT stLayout = {};
    EXPECT_EQ(LayoutOf(6).CheckLayout(LayoutOf(5).SaveLayout({1, 2, 3, 4, 5}), stLayout),
              CColumnLayout::layoutMismatch)
        << "saved with 5 columns, read with 6";
}

TEST(ColumnLayout, SortColumnTintLightensDarkBackgroundsAndDarkensWhite)
{
    struct
    {
        COLORREF crBack, crTint;
    } cases[] = {
        {RGB(255, 255, 255), RGB(247, 247, 247)},
        {RGB(200, 200, 200), RGB(220, 220, 220)},
        {0x64FAFA, 0x6EFFFF},
        {RGB(241, 241, 241), RGB(233, 233, 233)},
        {RGB(0, 0, 0), RGB(0, 0, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SortColumnTint(c.crBack), c.crTint) << std::hex << c.crBack;
    EXPECT_FALSE(CanTintSortColumn(8)) << "8 bpp: the sort-column colour is ignored";
    EXPECT_TRUE(CanTintSortColumn(16));
}
