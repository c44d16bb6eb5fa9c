#include "guitoolkit/SkinMenuBarLayout.h"

#include <algorithm>

namespace
{
int Width(const RECT& rc)
{
    return rc.right - rc.left;
}

int Height(const RECT& rc)
{
    return rc.bottom - rc.top;
}

// The MDI child's restore, minimize and close buttons.
bool IsMdiButton(UINT nCommandId)
{
    return nCommandId >= 0xF000 && nCommandId <= 0xF150;
}
} // namespace

void AlignRight(stBarLayout* pRecords, int nFirst, int nLast, int nWidth)
{
    if (nFirst < 0 || nLast < nFirst)
        return;
    const int nShift = nWidth - pRecords[nLast].rc.right;
    if (nShift <= 0)
        return;
    for (int i = nFirst; i <= nLast; ++i)
        OffsetRect(&pRecords[i].rc, nShift, 0);
}

int WrapItems(stBarLayout* pRecords, int nCount, int nWidth)
{
    if (nCount <= 0)
        return 0;
    int nRows = 1;
    int x = 0;
    int y = 0;
    int nLowest = 0;
    int nAlignFrom = -1;
    for (int i = 0; i < nCount; ++i)
    {
        stBarLayout& rec = pRecords[i];
        const int cx = Width(rec.rc);
        const int cy = Height(rec.rc);
        rec.nState &= ~MBS_WRAP;
        if (x > 0 && x + cx > nWidth)
        {
            if (nAlignFrom >= 0)
            {
                AlignRight(pRecords, nAlignFrom, i - 1, nWidth);
                nAlignFrom = i;
            }
            rec.nState |= MBS_WRAP;
            x = 0;
            y = nLowest;
            ++nRows;
        }
        SetRect(&rec.rc, x, y, x + cx, y + cy);
        x += cx;
        nLowest = std::max(nLowest, y + cy);
        if (nAlignFrom < 0 && (rec.nState & MBS_RIGHTJUSTIFY) != 0)
            nAlignFrom = i;
    }
    if (nAlignFrom >= 0)
        AlignRight(pRecords, nAlignFrom, nCount - 1, nWidth);
    return nRows;
}

SIZE CalcItemsSize(const stBarLayout* pRecords, int nCount)
{
    SIZE size = {0, 0};
    int nRowLeft = 0;
    int nRowRight = 0;
    int nRowHeight = 0;
    for (int i = 0; i < nCount; ++i)
    {
        const RECT& rc = pRecords[i].rc;
        if (i > 0 && (pRecords[i].nState & MBS_WRAP) != 0)
        {
            size.cx = std::max<LONG>(size.cx, nRowRight - nRowLeft);
            size.cy += nRowHeight;
            nRowHeight = 0;
        }
        if (i == 0 || (pRecords[i].nState & MBS_WRAP) != 0)
            nRowLeft = std::min<LONG>(0, rc.left);
        nRowRight = rc.right;
        nRowHeight = std::max(nRowHeight, Height(rc));
    }
    if (nCount > 0)
    {
        size.cx = std::max<LONG>(size.cx, nRowRight - nRowLeft);
        size.cy += nRowHeight;
    }
    return size;
}

void SizeItems(stBarLayout* pRecords, int nCount, int nLength, BOOL bFloating)
{
    if (!bFloating || nCount <= 0)
    {
        WrapItems(pRecords, nCount, nLength);
        return;
    }
    int nLow = 0;
    int nHigh = 0;
    for (int i = 0; i < nCount; ++i)
    {
        nLow = std::max(nLow, Width(pRecords[i].rc));
        nHigh += Width(pRecords[i].rc);
    }
    const int nRowsWanted = WrapItems(pRecords, nCount, std::max(nLength, nLow));
    // The row count only falls as the width grows, so the narrowest width
    // with no more rows than wanted is found by halving the interval.
    while (nLow < nHigh)
    {
        const int nMid = nLow + (nHigh - nLow) / 2;
        if (WrapItems(pRecords, nCount, nMid) <= nRowsWanted)
            nHigh = nMid;
        else
            nLow = nMid + 1;
    }
    WrapItems(pRecords, nCount, nLow);
}

SIZE CapBarSize(SIZE size)
{
    size.cx = std::min<LONG>(size.cx, MENUBAR_MAX_EXTENT);
    size.cy = std::min<LONG>(size.cy, MENUBAR_MAX_EXTENT);
    return size;
}

int NextItem(const stBarNavItem* pItems, int nCount, int nFrom, bool bForward)
{
    if (nCount <= 0)
        return -1;
    int i = nFrom;
    if (i < 0 || i >= nCount)
        i = bForward ? nCount - 1 : 0;
    for (int nStep = 0; nStep < nCount; ++nStep)
    {
        i = (i + (bForward ? 1 : nCount - 1)) % nCount;
        if (!IsMdiButton(pItems[i].nCommandId) && (pItems[i].nState & MBS_NOKEYBOARD) == 0)
            return i;
    }
    return -1;
}

stPopupPlacement PlaceBarPopup(RECT rcItem, const RECT& rcWork, BOOL bVertical, BOOL bRtl,
                               int nEstimatedHeight)
{
    stPopupPlacement stPlace = {};
    if (bVertical)
    {
        rcItem.top = std::max(rcItem.top, rcWork.top);
        if (rcItem.right > (rcWork.left + rcWork.right) / 2)
        {
            if (rcWork.left >= rcItem.left)
                rcItem.left = rcWork.left + 1;
            stPlace.pt = {rcItem.left - 1, rcItem.top + 1};
            if (!bRtl)
                stPlace.nFlags |= TPM_RIGHTALIGN;
        }
        else
        {
            if (rcItem.right <= rcWork.left)
                rcItem.right = rcWork.left + 1;
            stPlace.pt = {rcItem.right - 1, rcItem.top + 1};
        }
        return stPlace;
    }
    const bool bUpperHalf = (rcItem.top + rcItem.bottom) / 2 < (rcWork.top + rcWork.bottom) / 2;
    if (bUpperHalf || (nEstimatedHeight != 0 && rcItem.bottom + nEstimatedHeight < rcWork.bottom))
    {
        rcItem.left = std::max(rcItem.left, rcWork.left);
        rcItem.bottom = std::max(rcItem.bottom, rcWork.top);
        stPlace.pt = {rcItem.left, rcItem.bottom};
    }
    else
    {
        rcItem.top = std::min(rcItem.top, rcWork.bottom);
        stPlace.pt = {rcItem.left, rcItem.top};
        stPlace.nFlags |= TPM_BOTTOMALIGN;
    }
    if (bRtl)
        stPlace.nFlags |= TPM_RIGHTALIGN;
    stPlace.bExclude = TRUE;
    stPlace.rcExclude = rcItem;
    return stPlace;
}
