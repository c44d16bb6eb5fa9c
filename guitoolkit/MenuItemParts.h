// What the menu painters share: the description of an item to draw, the
// fonts, texts, glyphs, icons and check marks, and the face colours of the
// flat looks. GUI thread only.
#pragma once

#include "classlib/GdiObject.h"
#include "classlib/String.h"

#include <windows.h>

class CDC;
class CSkinMenu;
class CSkinMenuItemData;

// The toolkit's own item state: the item stands in a left- or right-docked menu bar.
constexpr UINT ODS_VERTICALBAR = 0x8000;
// Toolkit flags of an item record.
constexpr UINT MenuItemTitle = 0x01;
constexpr UINT MenuTitleVertical = 0x02;
constexpr UINT MenuTitleGradient = 0x04;
constexpr UINT MenuTitleSunken = 0x08;
constexpr UINT MenuTitleEtched = 0x10;
constexpr UINT MenuTitleRounded = 0x20;
constexpr UINT MenuTitleCentred = 0x40;

struct stMenuItem
{
    CSkinMenu* pMenu = nullptr;
    LPDRAWITEMSTRUCT pDraw = nullptr;
    // Never null: an item without a record of its own gets an empty one.
    CSkinMenuItemData* pData = nullptr;
    RECT rc = {};
    bool bSelected = false;
    bool bGrayed = false;
    bool bChecked = false;
    bool bDefault = false;
    bool bInactive = false;
    bool bVertical = false;
    bool bRightOrder = false;
    bool bSeparator = false;
    bool bTitle = false;
    bool bSubmenu = false;
    bool bHasIcon = false;
    // A grayed item that lost its selection while the keyboard moved it there.
    bool bKeyboardFocus = false;
};

stMenuItem DescribeItem(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw);
// The record a measure or draw record names: its item data when that is one
// of the records of the menu or its parent, else the record of the command.
CSkinMenuItemData* RecordOfItem(const CSkinMenu& menu, ULONG_PTR dwItemData, UINT nID);

bool IsSystemCommand(UINT nID);
// The Marlett glyph of a window command, 0 for others.
wchar_t SystemCommandGlyph(UINT nID);

bool CreateMenuFont(CFont& font, bool bBold, int nEscapement);
bool CreateTitleFont(CFont& font, int nEscapement);

// The item's text with its accelerator keys after a TAB.
CString DisplayText(const CSkinMenu& menu, const CSkinMenuItemData& record);
// DT_HIDEPREFIX when the system hides keyboard cues for the item.
UINT PrefixFormat(const stMenuItem& item);
// The label left and the key text right (mirrored for right-to-left items), in the menu font.
void DrawItemText(CDC& dc, const stMenuItem& item, RECT rcText, COLORREF cr);
// A Marlett glyph in the rectangle less 2 pixels, as high as that.
void DrawMarlettGlyph(CDC& dc, RECT rc, wchar_t chGlyph, COLORREF cr, bool bBold);

// The cell of the icon or check mark: the menu's icon size, 3 pixels in.
RECT IconCell(const stMenuItem& item);
// An icon of the item's list: offset 0 normal, 1 darkened, 2 disabled. Null when none.
HICON ExtractItemIcon(const stMenuItem& item, int nOffset);
// The icon's top-left corner, centred in the cell.
POINT IconOrigin(const stMenuItem& item, const RECT& rcCell);
void DrawIconPlain(CDC& dc, const stMenuItem& item, POINT pt, int nOffset);
void DrawIconMono(CDC& dc, const stMenuItem& item, POINT pt, COLORREF cr);
// The item's check-mark bitmaps (null when it has none).
void GetCheckBitmaps(const stMenuItem& item, HBITMAP& hChecked, HBITMAP& hUnchecked);
// The check mark of an item without icon: its bitmap, or Marlett's bullet or check.
void DrawCheckMark(CDC& dc, const stMenuItem& item, const RECT& rcCell, COLORREF crGlyph);

// The screen rectangle of a menu-bar item drawn open, kept in its menu.
void RememberMenuBarItem(const stMenuItem& item, CDC& dc, const RECT& rc);
// Whether two colours come out as one on the device.
bool SameDeviceColor(CDC& dc, COLORREF a, COLORREF b);

// COLOR_MENUBAR where flat menus are on (Windows XP and later), else COLOR_MENU.
COLORREF GetPlainMenuColor();

struct stFacePair
{
    COLORREF crFace;
    COLORREF crBar;
};
// The item face and the icon bar of the flat looks over a menu colour.
stFacePair MenuFacePair(CDC* pDC, COLORREF crMenu);
