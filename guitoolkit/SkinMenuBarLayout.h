// The menu bar's layout arithmetic: rows, right alignment, the size a set of
// items needs, keyboard navigation order and where a popup opens. Pure
// functions over layout records, so that every rule can be checked without a
// window.
#pragma once

#include <windows.h>

// Item state bits of the menu bar.
constexpr UINT MBS_SELECTED = 0x0001;
constexpr UINT MBS_HOT = 0x0040;
constexpr UINT MBS_NOACCEL = 0x0100;
constexpr UINT MBS_PRESSED = 0x0800;
constexpr UINT MBS_RIGHTJUSTIFY = 0x1000;
constexpr UINT MBS_WRAP = 0x2000;
constexpr UINT MBS_NOKEYBOARD = 0x4000;
constexpr UINT MBS_VERTICAL = 0x8000;

// Neither dimension of a bar's size goes past this: the dock bars add
// borders to it and must stay inside the 16-bit range of window sizes.
constexpr int MENUBAR_MAX_EXTENT = 0x7F00;

// One item's rectangle (its size on entry; its place after wrapping) and its
// state bits.
struct stBarLayout
{
    RECT rc;
    UINT nState;
};

// Places the items left to right in rows no wider than nWidth; an item that
// does not fit after another starts a new row (MBS_WRAP). From the first
// right-justified item on, each row ends at nWidth. Returns the row count.
int WrapItems(stBarLayout* pRecords, int nCount, int nWidth);
// Moves records nFirst..nLast right so that nLast ends at nWidth; a row
// already wider stays where it is.
void AlignRight(stBarLayout* pRecords, int nFirst, int nLast, int nWidth);
// The widest row by the sum of the rows' heights.
SIZE CalcItemsSize(const stBarLayout* pRecords, int nCount);
// A docked bar wraps at its length. A floating bar takes the narrowest width
// that needs no more rows than the requested length does.
void SizeItems(stBarLayout* pRecords, int nCount, int nLength, BOOL bFloating);
SIZE CapBarSize(SIZE size);

// What keyboard navigation needs to know of an item.
struct stBarNavItem
{
    UINT nCommandId;
    UINT nState;
};
// The next item from nFrom (forward or back, wrapping around at most once)
// that keyboard navigation stops at: not an MDI button, not MBS_NOKEYBOARD.
// -1 when there is none.
int NextItem(const stBarNavItem* pItems, int nCount, int nFrom, bool bForward);

// Where TrackPopupMenuEx opens an item's popup.
struct stPopupPlacement
{
    POINT pt;
    UINT nFlags;
    // The item's rectangle, kept clear by the popup; not used on a vertical bar.
    BOOL bExclude;
    RECT rcExclude;
};
// rcItem is the item in screen coordinates, rcWork the work area of its
// monitor; nEstimatedHeight is 0 when the popup's height is unknown.
stPopupPlacement PlaceBarPopup(RECT rcItem, const RECT& rcWork, BOOL bVertical, BOOL bRtl,
                               int nEstimatedHeight);
