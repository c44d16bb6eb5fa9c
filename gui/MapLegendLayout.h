// The legend strip along the bottom of the cluster-map pane: which label goes
// on which row, and whether the strip fits at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LEGEND_ITEM
{
    int32_t nBoxLeft;   // the 9 x 10 colour box
    int32_t nBoxTop;
    int32_t nTextLeft;  // the label, 2 px above the box's top
};

struct stLegendLayout
{
    // 0 when the legend is hidden or does not fit.
    int32_t nHeight = 0;
    std::vector<LEGEND_ITEM> items;
};

class CMapLegendLayout
{
public:
    static const int32_t RowHeight = 24;
    static const int32_t BoxWidth = 9;
    static const int32_t BoxHeight = 10;

    // Labels in legend order, given by their text widths, in a client area of
    // nClientWidth x nClientHeight whose bottom edge is at nClientBottom.
    static stLegendLayout LayOut(const std::vector<int32_t>& textWidths, int32_t nClientWidth,
                                 int32_t nClientHeight, int32_t nClientBottom);
};
