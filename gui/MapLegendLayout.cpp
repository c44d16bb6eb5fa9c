#include "gui/MapLegendLayout.h"

namespace
{
const int32_t kRowStart = 10;
const int32_t kLabelGap = 20;
const int32_t kTextOffset = 12;
const int32_t kTopPadding = 5;
// Above this the drive windows still have room for a title and a block.
const int32_t kLeastMapHeight = 37;
} // namespace

stLegendLayout CMapLegendLayout::LayOut(const std::vector<int32_t>& textWidths, int32_t nClientWidth,
                                        int32_t nClientHeight, int32_t nClientBottom)
{
    stLegendLayout layout;
    if (textWidths.empty() || kRowStart + textWidths[0] + kLabelGap > nClientWidth)
        return layout;
    std::vector<int32_t> rowOf;
    int32_t nRow = 0;
    int32_t nOnRow = 0;
    int32_t x = kRowStart;
    for (int32_t nWidth : textWidths)
    {
        if (nOnRow > 0 && x + nWidth + kLabelGap > nClientWidth)
        {
            // A row left with a single label would look like a stray word.
            if (nOnRow == 1)
                return layout;
            ++nRow;
            nOnRow = 0;
            x = kRowStart;
        }
        rowOf.push_back(nRow);
        ++nOnRow;
        x += nWidth + kLabelGap;
    }
    int32_t nHeight = (nRow + 1) * RowHeight;
    if (nClientHeight - nHeight <= kLeastMapHeight)
        return layout;
    layout.nHeight = nHeight;
    int32_t nTop = nClientBottom - nHeight + kTopPadding;
    x = kRowStart;
    for (size_t i = 0; i < textWidths.size(); ++i)
    {
        if (i > 0 && rowOf[i] != rowOf[i - 1])
            x = kRowStart;
        int32_t nBoxTop = nTop + rowOf[i] * RowHeight;
        layout.items.push_back({x, nBoxTop, x + kTextOffset});
        x += textWidths[i] + kLabelGap;
    }
    return layout;
}
