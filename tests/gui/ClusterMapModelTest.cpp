// The cluster map's arithmetic: the grid of drive windows, the blocks of one
// window, the colour of a block, change records, clicks and the legend.
#include "gui/ClusterMapCells.h"
#include "gui/ClusterMapLayout.h"
#include "gui/MapKinds.h"
#include "gui/MapLegendLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// A window whose grid is nWidth x nHeight: the layout keeps 10 px left and
// right, 15 px above and below, and a 20-px title.
MAP_RECT WindowForGrid(int32_t nWidth, int32_t nHeight)
{
    return {0, 0, nWidth + 20, nHeight + 50};
}

// Narrow cells, each with the given counters set to 1.
std::vector<uint8_t> Cells(const std::vector<std::vector<uint32_t>>& kinds)
{
    std::vector<uint8_t> bytes(kinds.size() * 11, 0);
    for (size_t i = 0; i < kinds.size(); ++i)
    {
        for (uint32_t nKind : kinds[i])
            bytes[i * 11 + nKind] = 1;
    }
    return bytes;
}

CClusterMapCells Map(const std::vector<uint8_t>& bytes, int32_t nBytesPerCell = 11, int64_t llClustersPerCell = 4)
{
    CClusterMapCells map;
    int32_t nCells = static_cast<int32_t>(bytes.size() / static_cast<size_t>(nBytesPerCell));
    EXPECT_TRUE(map.Assign(nCells * llClustersPerCell, llClustersPerCell, nCells, nBytesPerCell, bytes.data(),
                           bytes.size()));
    return map;
}
} // namespace

TEST(ClusterMapLayout, BlocksGrowShrinkAndDoubleToFitTheGrid)
{
    struct CASE
    {
        int32_t nCells, nWidth, nHeight;
        uint32_t nBlockSize, nColumns, nRows, nCellsPerBlock, nBlocks;
    } cases[] = {
        {1, 300, 200, 21, 13, 9, 1, 1},          // grows to the largest block
        {5000, 180, 100, 9, 18, 10, 32, 157},    // doubles, grows, then shrinks back one step
        {100, 90, 90, 8, 10, 10, 1, 100},        // fits at the start size exactly
        {100000, 20, 20, 8, 2, 2, 32768, 4},     // many doublings, never 0
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.nCells);
        stBlockLayout layout = CClusterMapLayout::LayOut(WindowForGrid(c.nWidth, c.nHeight), c.nCells);
        EXPECT_TRUE(layout.bDrawable);
        EXPECT_EQ(c.nBlockSize, layout.nBlockSize);
        EXPECT_EQ(c.nBlockSize + 1, layout.nPitch);
        EXPECT_EQ(c.nColumns, layout.nColumns);
        EXPECT_EQ(c.nRows, layout.nRows);
        EXPECT_EQ(c.nCellsPerBlock, layout.nCellsPerBlock);
        EXPECT_EQ(c.nBlocks, layout.nBlocks);
        EXPECT_EQ(10, layout.nGridLeft);
        EXPECT_EQ(35, layout.nGridTop);
    }
}

TEST(ClusterMapLayout, TooSmallOrEmptyWindowsDrawNothingAndKeepCellsPerBlock)
{
    struct CASE
    {
        const char* pszWhat;
        MAP_RECT rc;
        int32_t nCells;
    } cases[] = {
        {"no cells", {0, 0, 300, 200}, 0},
        // The cluster row's first height with the legend: a 5-px grid, no row of blocks.
        {"55 px high", {0, 0, 400, 55}, 5000},
        {"narrower than the margins", {0, 0, 15, 200}, 10},
        {"inverted", {300, 200, 0, 0}, 10},
        {"a grid lower than one block and its gap", {0, 0, 400, 58}, 1},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        stBlockLayout layout = CClusterMapLayout::LayOut(c.rc, c.nCells);
        EXPECT_FALSE(layout.bDrawable);
        EXPECT_NE(0u, layout.nCellsPerBlock);
    }
}

TEST(ClusterMapLayout, WindowsFillANearSquareGridRowByRow)
{
    struct CASE
    {
        uint32_t n, nColumns, nRows;
    } cases[] = {{1, 1, 1}, {2, 2, 1}, {3, 2, 2}, {4, 2, 2}, {5, 3, 2}};
    const MAP_RECT rcArea = {2, 3, 602, 303};
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.n);
        std::vector<MAP_RECT> rects = CClusterMapLayout::PlaceWindows(rcArea, c.n);
        ASSERT_EQ(c.n, rects.size());
        int32_t nWidth = 600 / static_cast<int32_t>(c.nColumns);
        int32_t nHeight = 300 / static_cast<int32_t>(c.nRows);
        for (uint32_t i = 0; i < c.n; ++i)
        {
            EXPECT_EQ(2 + static_cast<int32_t>(i % c.nColumns) * nWidth, rects[i].nLeft);
            EXPECT_EQ(3 + static_cast<int32_t>(i / c.nColumns) * nHeight, rects[i].nTop);
            EXPECT_EQ(nWidth, rects[i].Width());
            EXPECT_EQ(nHeight, rects[i].Height());
        }
    }
    EXPECT_TRUE(CClusterMapLayout::PlaceWindows(rcArea, 0).empty());
}

TEST(ClusterMapCells, TheBlockTakesTheColourOfItsWeightiestKind)
{
    struct CASE
    {
        const char* pszWhat;
        std::vector<std::vector<uint32_t>> cells;
        uint32_t nKind;
    } cases[] = {
        {"free only", {{kKindFree}, {kKindFree}}, kKindFree},
        {"free and page file", {{kKindFree}, {kKindFree, kKindPageFile}}, kKindPageFile},
        {"MFT beats a file", {{kKindFile}, {kKindMft}}, kKindMft},
        {"any reading wins", {{kKindReading}, {kKindWriting, kKindFragmented}}, kKindReading},
        {"reading after writing", {{kKindWriting}, {kKindReading}}, kKindReading},
        {"writing beats fragmented", {{kKindFragmented}, {kKindWriting}}, kKindWriting},
        {"an empty cell beats a directory", {{}, {kKindDirectory}}, kKindNone},
        {"a directory does not replace an empty cell", {{kKindDirectory}, {}}, kKindNone},
        {"writing replaces an empty cell", {{}, {kKindWriting}}, kKindWriting},
        {"MFT reserved beats free", {{kKindFree}, {kKindMftReserved}}, kKindMftReserved},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        CClusterMapCells map = Map(Cells(c.cells));
        EXPECT_EQ(c.nKind, map.DominantKind(0, 2));
    }
    EXPECT_EQ(kKindUsed, ColorIndexOfKind(kKindNone));
}

TEST(ClusterMapCells, WideCellsCountInTwoBytes)
{
    std::vector<uint8_t> bytes(2 * 22, 0);
    bytes[2 * kKindFile + 1] = 1;         // 256 clusters of files, high byte only
    bytes[22 + 2 * kKindFree] = 0xFF;     // a free cell
    CClusterMapCells map = Map(bytes, 22);
    EXPECT_EQ(kKindFile, map.DominantKind(0, 1));
    EXPECT_EQ(kKindFree, map.DominantKind(1, 1));
    EXPECT_EQ(kKindFile, map.DominantKind(0, 2));
    // A block past the cells stops at the last one.
    EXPECT_EQ(kKindFree, map.DominantKind(5, 1));
}

TEST(ClusterMapCells, ChangeRecordsCopyCellsAndNameTheBlocksToDrawAgain)
{
    CClusterMapCells map = Map(Cells(std::vector<std::vector<uint32_t>>(64, {kKindFree})));
    stBlockLayout layout = CClusterMapLayout::LayOut(WindowForGrid(36, 18), 64); // 4 x 2 blocks of 8 cells
    ASSERT_EQ(8u, layout.VisibleBlocks());
    ASSERT_EQ(8u, layout.nCellsPerBlock);
    std::vector<uint8_t> change = Cells({{kKindFragmented}, {kKindFragmented}, {kKindFragmented}});
    uint32_t nFirst = 99;
    uint32_t nCount = 99;

    EXPECT_EQ(ChangeOutcome::Applied, map.Apply({9, 3, 11, change.data()}, layout, nFirst, nCount));
    EXPECT_EQ(kKindFragmented, map.DominantKind(1, 8));
    EXPECT_EQ(kKindFree, map.DominantKind(0, 8));
    // first cell 9 / 8 = block 1; 3 cells give one block for the part, one more.
    EXPECT_EQ(1u, nFirst);
    EXPECT_EQ(2u, nCount);

    // Near the end the count is cut at the blocks shown.
    EXPECT_EQ(ChangeOutcome::Applied, map.Apply({61, 3, 11, change.data()}, layout, nFirst, nCount));
    EXPECT_EQ(7u, nFirst);
    EXPECT_EQ(1u, nCount);
}

TEST(ClusterMapCells, RecordsPastTheMapAreLeftOutAndOtherCellSizesStopTheList)
{
    std::vector<uint8_t> before = Cells(std::vector<std::vector<uint32_t>>(10, {kKindFile}));
    CClusterMapCells map = Map(before);
    stBlockLayout layout = CClusterMapLayout::LayOut(WindowForGrid(200, 100), 10);
    std::vector<uint8_t> change(5001 * 22, 0);
    uint32_t nFirst = 0;
    uint32_t nCount = 0;
    struct CASE
    {
        const char* pszWhat;
        MAP_CHANGE record;
        ChangeOutcome eOutcome;
    } cases[] = {
        {"past the end", {8, 3, 11, change.data()}, ChangeOutcome::Ignored},
        {"starts past the end", {11, 1, 11, change.data()}, ChangeOutcome::Ignored},
        {"negative first cell", {-1, 1, 11, change.data()}, ChangeOutcome::Ignored},
        {"negative count", {0, -1, 11, change.data()}, ChangeOutcome::Ignored},
        {"a count that wraps", {1, INT64_MAX, 11, change.data()}, ChangeOutcome::Ignored},
        {"wide cells on a narrow map", {0, 1, 22, change.data()}, ChangeOutcome::Stop},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(c.eOutcome, map.Apply(c.record, layout, nFirst, nCount));
        EXPECT_EQ(0u, nCount);
        EXPECT_EQ(before, map.Bytes());
    }
    // The last cell exactly is still in the map.
    EXPECT_EQ(ChangeOutcome::Applied, map.Apply({9, 1, 11, change.data()}, layout, nFirst, nCount));
}

TEST(ClusterMapCells, AClickNamesTheClustersOfTheBlockUnderIt)
{
    CClusterMapCells map = Map(std::vector<uint8_t>(20 * 11, 0), 11, 4);
    stBlockLayout layout = CClusterMapLayout::LayOut(WindowForGrid(36, 18), 20); // 4 x 2 blocks, 4 cells each
    ASSERT_EQ(4u, layout.nCellsPerBlock);
    ASSERT_EQ(9u, layout.nPitch);
    const int32_t x0 = layout.nGridLeft;
    const int32_t y0 = layout.nGridTop;
    struct CASE
    {
        const char* pszWhat;
        int32_t x, y;
        bool bPending;
        HitOutcome eOutcome;
        int64_t llFirst, llLast;
    } cases[] = {
        {"first block", x0, y0, false, HitOutcome::Block, 0, 15},
        {"the gap belongs to the block on the left", x0 + 8, y0, false, HitOutcome::Block, 0, 15},
        {"second block", x0 + 9, y0, false, HitOutcome::Block, 16, 31},
        {"the gap belongs to the block above", x0, y0 + 8, false, HitOutcome::Block, 0, 15},
        {"second row", x0, y0 + 9, false, HitOutcome::Block, 64, 79},
        {"left of the grid", x0 - 1, y0, false, HitOutcome::None, 0, 0},
        {"above the grid", x0, y0 - 1, false, HitOutcome::None, 0, 0},
        {"right of the last column", x0 + 36, y0, false, HitOutcome::None, 0, 0},
        {"a block past the cells", x0 + 9, y0 + 9, false, HitOutcome::None, 0, 0},
        {"an answer still awaited", x0, y0, true, HitOutcome::Busy, 0, 0},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        CLUSTER_RANGE range = {-7, -7};
        EXPECT_EQ(c.eOutcome, map.HitTest(layout, c.x, c.y, c.bPending, range));
        if (c.eOutcome == HitOutcome::Block)
        {
            EXPECT_EQ(c.llFirst, range.llFirst);
            EXPECT_EQ(c.llLast, range.llLast);
        }
    }
}

TEST(ClusterMapCells, PagingFindsTheBlockOfAClusterAndEndsOnAMapWithoutClusters)
{
    CClusterMapCells map = Map(std::vector<uint8_t>(20 * 11, 0), 11, 4); // 80 clusters
    stBlockLayout layout = CClusterMapLayout::LayOut(WindowForGrid(36, 18), 20);
    CLUSTER_RANGE range = {};
    ASSERT_TRUE(map.BlockOfCluster(40, layout, range));
    EXPECT_EQ(32, range.llFirst);
    EXPECT_EQ(47, range.llLast);
    // Past the total: block 0.
    ASSERT_TRUE(map.BlockOfCluster(80, layout, range));
    EXPECT_EQ(0, range.llFirst);

    // No clusters per cell: every block starts at 0; the walk ends at the block count.
    std::vector<uint8_t> bytes(20 * 11, 0);
    CClusterMapCells empty;
    ASSERT_TRUE(empty.Assign(80, 0, 20, 11, bytes.data(), bytes.size()));
    EXPECT_FALSE(empty.BlockOfCluster(40, layout, range));
    // Clusters per cell so large that the ranges pass 64 bits.
    CClusterMapCells huge;
    ASSERT_TRUE(huge.Assign(INT64_MAX, INT64_MAX / 2, 20, 11, bytes.data(), bytes.size()));
    EXPECT_FALSE(huge.BlockOfCluster(INT64_MAX - 1, layout, range));
    EXPECT_EQ(HitOutcome::None, huge.HitTest(layout, layout.nGridLeft + 9, layout.nGridTop, false, range));
}

TEST(ClusterMapCells, AMapIsTakenOnlyWithItsWholeCells)
{
    std::vector<uint8_t> bytes(3 * 11, 0);
    CClusterMapCells map;
    EXPECT_FALSE(map.Assign(12, 4, 3, 12, bytes.data(), bytes.size()));
    EXPECT_FALSE(map.Assign(12, 4, 4, 11, bytes.data(), bytes.size()));
    EXPECT_FALSE(map.Assign(12, 4, -1, 11, bytes.data(), bytes.size()));
    EXPECT_EQ(0, map.CellCount());
    EXPECT_TRUE(map.Assign(12, 4, 3, 11, bytes.data(), bytes.size()));
    EXPECT_EQ(3, map.CellCount());
}

TEST(MapLegendLayout, LabelsWrapAndTheLegendHidesWhenItWouldLookBroken)
{
    const std::vector<int32_t> widths(11, 30); // 50 px a label
    struct CASE
    {
        const char* pszWhat;
        std::vector<int32_t> widths;
        int32_t nWidth, nHeight, nLegendHeight;
    } cases[] = {
        {"one row", widths, 600, 200, 24},
        {"three rows", widths, 220, 200, 72},            // 4 labels a row: 10 + 4 x 50 = 210
        {"first label does not fit", widths, 39, 200, 0},
        {"exactly fits", widths, 560, 200, 24},           // 10 + 11 x 50
        {"a single label left on a row", {30, 200, 30}, 250, 200, 0},
        {"a single label on the last row is fine", {30, 30, 200}, 250, 200, 48},
        {"no room above", widths, 600, 61, 0},            // 61 - 24 = 37
        {"just room above", widths, 600, 62, 24},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        stLegendLayout layout = CMapLegendLayout::LayOut(c.widths, c.nWidth, c.nHeight, c.nHeight);
        EXPECT_EQ(c.nLegendHeight, layout.nHeight);
        EXPECT_EQ(c.nLegendHeight == 0 ? 0u : c.widths.size(), layout.items.size());
    }
    stLegendLayout layout = CMapLegendLayout::LayOut(widths, 220, 200, 300);
    ASSERT_EQ(11u, layout.items.size());
    EXPECT_EQ(10, layout.items[0].nBoxLeft);
    EXPECT_EQ(300 - 72 + 5, layout.items[0].nBoxTop);
    EXPECT_EQ(22, layout.items[0].nTextLeft);
    EXPECT_EQ(60, layout.items[1].nBoxLeft);
    EXPECT_EQ(10, layout.items[4].nBoxLeft);
    EXPECT_EQ(300 - 72 + 5 + 24, layout.items[4].nBoxTop);
}

TEST(MapKinds, TheLegendListsReadingBeforeWritingAndTheNoteNeedsThreePerCent)
{
    EXPECT_EQ(kKindReading, kLegendOrder[9]);
    EXPECT_EQ(kKindWriting, kLegendOrder[10]);
    EXPECT_EQ(0u, kMapKinds[kKindCount].nLabelId);
    struct CASE
    {
        bool bNone;
        uint32_t nBlocks, nFragmented;
        bool bShown;
    } cases[] = {
        {true, 100, 3, true}, {true, 100, 2, false}, {false, 100, 50, false},
        {true, 0, 0, false},  {true, 33, 1, true},   {true, 4000000000u, 200000000u, true},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(c.bShown, ShowsFragmentationNote(c.bNone, c.nBlocks, c.nFragmented)) << c.nBlocks << " " << c.nFragmented;
}
