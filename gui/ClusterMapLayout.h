// Where the cluster-map pane puts its drive windows, and how one drive window
// fits its cells into a grid of square blocks. Plain arithmetic: the pane
// paints from it, and it builds for this machine as well as for Windows.
#pragma once

#include <cstdint>
#include <vector>

struct MAP_RECT
{
    int32_t nLeft;
    int32_t nTop;
    int32_t nRight;
    int32_t nBottom;

    int32_t Width() const { return nRight - nLeft; }
    int32_t Height() const { return nBottom - nTop; }
    bool Contains(int32_t x, int32_t y) const { return x >= nLeft && x < nRight && y >= nTop && y < nBottom; }
};

struct stBlockLayout
{
    // False when the window is too small for a single row or column of blocks:
    // nothing is drawn and nothing is hit.
    bool bDrawable = false;
    uint32_t nBlocks = 0;
    uint32_t nBlockSize = 5;
    uint32_t nPitch = 6;
    uint32_t nColumns = 0;
    uint32_t nRows = 0;
    uint32_t nCellsPerBlock = 1;
    int32_t nGridLeft = 0;
    int32_t nGridTop = 0;
    int32_t nGridWidth = 0;
    int32_t nGridHeight = 0;

    // Blocks that the grid shows: the block count, cut at the last row.
    uint32_t VisibleBlocks() const;
};

class CClusterMapLayout
{
public:
    // A drive window's blocks inside its rectangle, for a map of nCells cells.
    static stBlockLayout LayOut(const MAP_RECT& rcWindow, int32_t nCells);
    // The rectangles of n drive windows: a near-square grid filled row by row.
    static std::vector<MAP_RECT> PlaceWindows(const MAP_RECT& rcArea, uint32_t nWindows);
    // The frame and title bar are drawn only when the frame is taller than this.
    static bool HasFrame(const MAP_RECT& rcWindow);
};
