#include "gui/ClusterMapLayout.h"

namespace
{
const int32_t kGridMarginX = 10;
const int32_t kGridMarginY = 15;
const int32_t kTitleHeight = 20;
const int32_t kFrameMarginX = 4;
const int32_t kFrameMarginY = 6;
const int32_t kTitleBarHeight = 22;
const uint32_t kLargestBlock = 21;

void FitGrid(stBlockLayout& layout, uint32_t nBlockSize)
{
    layout.nBlockSize = nBlockSize;
    layout.nPitch = nBlockSize + 1;
    layout.nColumns = static_cast<uint32_t>(layout.nGridWidth) / layout.nPitch;
    layout.nRows = static_cast<uint32_t>(layout.nGridHeight) / layout.nPitch;
}

uint64_t Capacity(const stBlockLayout& layout)
{
    return static_cast<uint64_t>(layout.nColumns) * layout.nRows;
}
} // namespace

uint32_t stBlockLayout::VisibleBlocks() const
{
    uint64_t nShown = static_cast<uint64_t>(nColumns) * nRows;
    return nShown < nBlocks ? static_cast<uint32_t>(nShown) : nBlocks;
}

stBlockLayout CClusterMapLayout::LayOut(const MAP_RECT& rcWindow, int32_t nCells)
{
    stBlockLayout layout;
    layout.nGridLeft = rcWindow.nLeft + kGridMarginX;
    layout.nGridTop = rcWindow.nTop + kGridMarginY + kTitleHeight;
    layout.nGridWidth = rcWindow.Width() - 2 * kGridMarginX;
    layout.nGridHeight = rcWindow.Height() - 2 * kGridMarginY - kTitleHeight;
    if (nCells <= 0 || layout.nGridWidth <= 0 || layout.nGridHeight <= 0)
        return layout;
    layout.nBlocks = static_cast<uint32_t>(nCells);
    FitGrid(layout, 8);
    // Without one whole row and column the halving below would never end:
    // cells per block would double until it wrapped to 0.
    if (layout.nColumns == 0 || layout.nRows == 0)
        return layout;
    while (Capacity(layout) < layout.nBlocks)
    {
        layout.nCellsPerBlock *= 2;
        layout.nBlocks = (layout.nBlocks + 1) / 2;
    }
    if (Capacity(layout) > layout.nBlocks)
    {
        while (layout.nBlockSize < kLargestBlock)
        {
            FitGrid(layout, layout.nBlockSize + 1);
            if (Capacity(layout) <= layout.nBlocks)
                break;
        }
    }
    while (Capacity(layout) < layout.nBlocks && layout.nBlockSize != 1)
        FitGrid(layout, layout.nBlockSize - 1);
    layout.bDrawable = layout.nColumns > 0 && layout.nRows > 0 &&
                       static_cast<uint32_t>(layout.nGridHeight) > layout.nBlockSize;
    return layout;
}

std::vector<MAP_RECT> CClusterMapLayout::PlaceWindows(const MAP_RECT& rcArea, uint32_t nWindows)
{
    std::vector<MAP_RECT> rects;
    if (nWindows == 0)
        return rects;
    uint32_t nColumns = 1;
    while (nColumns * nColumns < nWindows)
        ++nColumns;
    uint32_t nRows = nWindows / nColumns + (nWindows % nColumns != 0 ? 1 : 0);
    int32_t nCellWidth = rcArea.Width() / static_cast<int32_t>(nColumns);
    int32_t nCellHeight = rcArea.Height() / static_cast<int32_t>(nRows);
    for (uint32_t i = 0; i < nWindows; ++i)
    {
        int32_t nLeft = rcArea.nLeft + static_cast<int32_t>(i % nColumns) * nCellWidth;
        int32_t nTop = rcArea.nTop + static_cast<int32_t>(i / nColumns) * nCellHeight;
        rects.push_back({nLeft, nTop, nLeft + nCellWidth, nTop + nCellHeight});
    }
    return rects;
}

bool CClusterMapLayout::HasFrame(const MAP_RECT& rcWindow)
{
    return rcWindow.Height() - 2 * kFrameMarginY > kTitleBarHeight;
}
