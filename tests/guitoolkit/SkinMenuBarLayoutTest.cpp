#include "guitoolkit/SkinMenuBarLayout.h"

#include <gtest/gtest.h>

#include <vector>

// Rectangles compare by value in these tables.
static bool operator==(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

namespace
{
std::vector<stBarLayout> Items(std::initializer_list<int> widths, int nHeight = 20)
{
    std::vector<stBarLayout> records;
    for (int cx : widths)
        records.push_back({{0, 0, cx, nHeight}, 0});
    return records;
}

int Wrap(std::vector<stBarLayout>& records, int nWidth)
{
    return WrapItems(records.data(), static_cast<int>(records.size()), nWidth);
}
} // namespace

TEST(SkinMenuBarLayout, WrapStartsRowsAtTheLowestBottomAndMarksThem)
{
    auto records = Items({40, 50, 30});
    records[1].rc.bottom = 26;
    ASSERT_EQ(2, Wrap(records, 100));
    EXPECT_EQ((RECT{0, 0, 40, 20}), records[0].rc);
    EXPECT_EQ((RECT{40, 0, 90, 26}), records[1].rc);
    EXPECT_EQ((RECT{0, 26, 30, 46}), records[2].rc);
    EXPECT_EQ(0u, records[1].nState & MBS_WRAP);
    EXPECT_EQ(MBS_WRAP, records[2].nState & MBS_WRAP);

    // Exact fit stays on the row; an item wider than the bar still gets a row of its own.
    EXPECT_EQ(1, Wrap(records, 120));
    EXPECT_EQ(0u, records[2].nState & MBS_WRAP);
    auto wide = Items({200, 10});
    EXPECT_EQ(2, Wrap(wide, 50));
    EXPECT_EQ((RECT{0, 0, 200, 20}), wide[0].rc);
    std::vector<stBarLayout> none;
    EXPECT_EQ(0, Wrap(none, 100));
}

TEST(SkinMenuBarLayout, RightJustifiedItemsEndEveryRowAtTheWidth)
{
    auto records = Items({30, 30, 30, 30});
    records[1].nState = MBS_RIGHTJUSTIFY;
    ASSERT_EQ(1, Wrap(records, 200));
    EXPECT_EQ((RECT{0, 0, 30, 20}), records[0].rc);
    EXPECT_EQ(110, records[1].rc.left);
    EXPECT_EQ(200, records[3].rc.right);

    // After a wrap the new row is aligned from its start.
    ASSERT_EQ(2, Wrap(records, 70));
    EXPECT_EQ(0, records[0].rc.left);
    EXPECT_EQ(40, records[1].rc.left);
    EXPECT_EQ((RECT{10, 20, 40, 40}), records[2].rc);
    EXPECT_EQ(70, records[3].rc.right);

    // Stale wrap bits from an earlier layout are cleared.
    EXPECT_EQ(1, Wrap(records, 500));
    for (const auto& rec : records)
        EXPECT_EQ(0u, rec.nState & MBS_WRAP);
}

TEST(SkinMenuBarLayout, AlignRightNeverMovesAnOverlongRowLeft)
{
    auto records = Items({80});
    AlignRight(records.data(), 0, 0, 50);
    EXPECT_EQ(0, records[0].rc.left);
    AlignRight(records.data(), 0, -1, 500);
    EXPECT_EQ(0, records[0].rc.left);
}

TEST(SkinMenuBarLayout, ItemsSizeIsTheWidestRowByTheSumOfRowHeights)
{
    auto records = Items({40, 50, 30});
    records[2].rc.bottom = 24;
    Wrap(records, 95);
    SIZE size = CalcItemsSize(records.data(), 3);
    EXPECT_EQ(90, size.cx);
    EXPECT_EQ(44, size.cy);
    size = CalcItemsSize(records.data(), 0);
    EXPECT_EQ(0, size.cx);
    EXPECT_EQ(0, size.cy);
}

TEST(SkinMenuBarLayout, FloatingBarTakesTheNarrowestWidthWithTheSameRows)
{
    struct
    {
        int nLength;
        int nRows;
        LONG cxExpected;
    } cases[] = {
        {1000, 1, 150}, // one row: exactly the items' sum, not the requested length
        {100, 2, 80},   // two rows of 40+30 / 50+30 fit in 80
        {10, 4, 50},    // narrower than any item: the widest item sets the width
    };
    for (const auto& c : cases)
    {
        auto records = Items({40, 30, 50, 20, 10});
        SizeItems(records.data(), 5, c.nLength, TRUE);
        SIZE size = CalcItemsSize(records.data(), 5);
        int nRows = 1;
        for (int i = 1; i < 5; ++i)
            nRows += (records[i].nState & MBS_WRAP) ? 1 : 0;
        EXPECT_EQ(c.cxExpected, size.cx) << c.nLength;
        EXPECT_EQ(c.nRows, nRows) << c.nLength;
    }
    // A docked bar wraps at its length as it is.
    auto docked = Items({40, 30, 50});
    SizeItems(docked.data(), 3, 75, FALSE);
    EXPECT_EQ(MBS_WRAP, docked[2].nState & MBS_WRAP);
}

TEST(SkinMenuBarLayout, SizeIsCappedInBothDimensions)
{
    const SIZE cases[] = {{0x7FFF, 0x7FFF}, {0x12345678, 5}, {3, 0x7F01}, {0x7F00, 0x7F00}};
    for (SIZE size : cases)
    {
        SIZE capped = CapBarSize(size);
        EXPECT_LE(capped.cx, 0x7F00);
        EXPECT_LE(capped.cy, 0x7F00);
        EXPECT_EQ(std::min<LONG>(size.cx, 0x7F00), capped.cx);
    }
}

TEST(SkinMenuBarLayout, NextItemSkipsMdiButtonsAndMarkedItems)
{
    const stBarNavItem items[] = {
        {0xFFFFFFFF, MBS_NOKEYBOARD}, // the MDI child's icon
        {100, 0},
        {0xF020, 0}, // minimize
        {200, 0},
        {0xF150, 0},
        {0xF060, 0}, // close
    };
    EXPECT_EQ(3, NextItem(items, 6, 1, true));
    EXPECT_EQ(1, NextItem(items, 6, 3, true));  // wraps past the buttons and the icon
    EXPECT_EQ(3, NextItem(items, 6, 1, false)); // and backwards
    EXPECT_EQ(1, NextItem(items, 6, -1, true));
    EXPECT_EQ(3, NextItem(items, 6, -1, false));

    const stBarNavItem only[] = {{0xF000, 0}, {5, MBS_NOKEYBOARD}};
    EXPECT_EQ(-1, NextItem(only, 2, 0, true));
    EXPECT_EQ(-1, NextItem(only, 0, 0, true));
    const stBarNavItem single[] = {{7, 0}};
    EXPECT_EQ(0, NextItem(single, 1, 0, true));
}

TEST(SkinMenuBarLayout, PopupPlacementAgainstTheWorkArea)
{
    const RECT rcWork = {0, 0, 1000, 800};
    struct
    {
        const char* pszCase;
        RECT rcItem;
        BOOL bVertical;
        BOOL bRtl;
        int nEstimate;
        POINT pt;
        UINT nFlags;
        BOOL bExclude;
    } cases[] = {
        {"vertical, left side opens right", {0, 100, 24, 140}, TRUE, FALSE, 0, {23, 101}, 0, FALSE},
        {"vertical, right side opens left", {976, 100, 1000, 140}, TRUE, FALSE, 0, {975, 101},
         TPM_RIGHTALIGN, FALSE},
        {"vertical, right side, rtl owner", {976, 100, 1000, 140}, TRUE, TRUE, 0, {975, 101}, 0, FALSE},
        {"vertical, above the work area", {0, -30, 24, 10}, TRUE, FALSE, 0, {23, 1}, 0, FALSE},
        {"vertical, off the left edge", {-50, 100, -10, 140}, TRUE, FALSE, 0, {0, 101}, 0, FALSE},
        {"horizontal, upper half opens below", {100, 0, 150, 20}, FALSE, FALSE, 0, {100, 20}, 0, TRUE},
        {"horizontal, lower half opens above", {100, 760, 150, 780}, FALSE, FALSE, 0, {100, 760},
         TPM_BOTTOMALIGN, TRUE},
        {"horizontal, lower half, short popup fits below", {100, 600, 150, 620}, FALSE, FALSE, 100,
         {100, 620}, 0, TRUE},
        {"horizontal, lower half, tall popup", {100, 600, 150, 620}, FALSE, FALSE, 300, {100, 600},
         TPM_BOTTOMALIGN, TRUE},
        {"horizontal, left of the work area", {-40, 0, 10, 20}, FALSE, FALSE, 0, {0, 20}, 0, TRUE},
        {"horizontal, below the work area", {100, 900, 150, 920}, FALSE, FALSE, 0, {100, 800},
         TPM_BOTTOMALIGN, TRUE},
        {"horizontal, rtl", {100, 0, 150, 20}, FALSE, TRUE, 0, {100, 20}, TPM_RIGHTALIGN, TRUE},
    };
    for (const auto& c : cases)
    {
        stPopupPlacement stPlace = PlaceBarPopup(c.rcItem, rcWork, c.bVertical, c.bRtl, c.nEstimate);
        EXPECT_EQ(c.pt.x, stPlace.pt.x) << c.pszCase;
        EXPECT_EQ(c.pt.y, stPlace.pt.y) << c.pszCase;
        EXPECT_EQ(c.nFlags, stPlace.nFlags) << c.pszCase;
        EXPECT_EQ(c.bExclude, stPlace.bExclude) << c.pszCase;
    }
}
