#include "guitoolkit/MenuItemParts.h"

#include "classlib/DC.h"
#include "guitoolkit/SelectedObject.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>
#include <vector>

namespace
{
constexpr UINT FirstSystemCommand = 0xF000;
constexpr int IconInset = 3;

CSkinMenuItemData& EmptyRecord()
{
    static CSkinMenuItemData s_record;
    return s_record;
}

bool KeyboardCuesShown()
{
    BOOL bCues = FALSE;
    return ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &bCues, 0) && bCues;
}

int PositionOf(const CSkinMenu& menu, const CSkinMenuItemData* pRecord)
{
    auto it = std::find(menu.m_items.begin(), menu.m_items.end(), pRecord);
    return it != menu.m_items.end() ? static_cast<int>(it - menu.m_items.begin()) : -1;
}
} // namespace

CSkinMenuItemData* RecordOfItem(const CSkinMenu& menu, ULONG_PTR dwItemData, UINT nID)
{
    // Item data is trusted only when it is one of the records of the menu or
    // of its parent: a menu-bar item is measured through its popup's menu.
    const CSkinMenu* pParent = dynamic_cast<const CSkinMenu*>(CMenu::FromHandlePermanent(menu.m_hParentMenu));
    for (const CSkinMenu* pMenu : {&menu, pParent})
    {
        for (CSkinMenuItemData* pRecord : pMenu != nullptr ? pMenu->m_items : std::vector<CSkinMenuItemData*>())
        {
            if (reinterpret_cast<ULONG_PTR>(pRecord) == dwItemData)
                return pRecord;
        }
    }
    return menu.FindItemData(nID);
}

stMenuItem DescribeItem(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw)
{
    stMenuItem item;
    item.pMenu = &menu;
    item.pDraw = pDraw;
    item.pData = RecordOfItem(menu, pDraw->itemData, pDraw->itemID);
    if (item.pData == nullptr)
        item.pData = &EmptyRecord();
    item.rc = pDraw->rcItem;
    UINT nState = pDraw->itemState;
    UINT nFlags = item.pData->m_nFlags;
    item.bSelected = (nState & ODS_SELECTED) != 0;
    item.bGrayed = (nState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    item.bChecked = (nState & ODS_CHECKED) != 0;
    item.bDefault = (nState & ODS_DEFAULT) != 0;
    item.bInactive = (nState & ODS_INACTIVE) != 0;
    item.bVertical = (nState & ODS_VERTICALBAR) != 0;
    item.bRightOrder = (nFlags & MFT_RIGHTORDER) != 0;
    item.bSeparator = (nFlags & MF_SEPARATOR) != 0;
    item.bTitle = item.bSeparator && (item.pData->m_nToolkitFlags & MenuItemTitle) != 0;
    item.bSubmenu = (nFlags & MF_POPUP) != 0;
    CSkinMenuIcons* pIcons = item.pData->m_pIcons;
    int nImages = pIcons != nullptr && pIcons->m_imageList.GetSafeHandle() != NULL
                      ? pIcons->m_imageList.GetImageCount()
                      : 0;
    item.bHasIcon = item.pData->m_nImage >= 0 && item.pData->m_nImage < nImages;
    if (item.bSelected && item.bGrayed && !CSkinMenu::GetSelectDisabled())
    {
        item.bSelected = false;
        item.bKeyboardFocus = ::GetMessagePos() == CSkinMenuHook::GetKeyMessagePos();
    }
    return item;
}

bool IsSystemCommand(UINT nID)
{
    if (nID < FirstSystemCommand)
        return false;
    UINT nOffset = (nID & 0xFFF0) - FirstSystemCommand;
    return nOffset < 321 || nOffset == 336;
}

wchar_t SystemCommandGlyph(UINT nID)
{
    // Open system menus carry renumbered ids; the low bits do not name the command.
    switch (nID & 0xFFF0)
    {
    case SC_MINIMIZE:
        return L'0';
    case SC_MAXIMIZE:
        return L'1';
    case SC_CLOSE:
        return L'r';
    case SC_RESTORE:
        return L'2';
    default:
        return 0;
    }
}

bool CreateMenuFont(CFont& font, bool bBold, int nEscapement)
{
    NONCLIENTMETRICSW stMetrics = {};
    stMetrics.cbSize = sizeof(stMetrics);
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(stMetrics), &stMetrics, 0))
        return false;
    LOGFONTW stFont = stMetrics.lfMenuFont;
    if (bBold)
        stFont.lfWeight = FW_BOLD;
    stFont.lfEscapement = stFont.lfOrientation = nEscapement;
    return font.CreateFontIndirect(&stFont) != FALSE;
}

bool CreateTitleFont(CFont& font, int nEscapement)
{
    LOGFONTW stFont = {};
    stFont.lfHeight = 16;
    stFont.lfWeight = FW_BOLD;
    stFont.lfCharSet = DEFAULT_CHARSET;
    stFont.lfEscapement = stFont.lfOrientation = nEscapement;
    wcscpy_s(stFont.lfFaceName, L"Arial");
    return font.CreateFontIndirect(&stFont) != FALSE;
}

CString DisplayText(const CSkinMenu& menu, const CSkinMenuItemData& record)
{
    return record.GetDisplayText(CSkinMenu::GetAcceleratorTexts() ? menu.m_hAccelTable : NULL);
}

UINT PrefixFormat(const stMenuItem& item)
{
    if (!(item.pDraw->itemState & ODS_NOACCEL))
        return 0;
    if (ToolkitEnvironment().nVersionClass >= 6 && KeyboardCuesShown())
        return 0;
    return DT_HIDEPREFIX;
}

void DrawItemText(CDC& dc, const stMenuItem& item, RECT rcText, COLORREF cr)
{
    CFont font;
    if (!CreateMenuFont(font, item.bDefault, 0))
        return;
    CSelectedObject selectedFont(dc, font);
    int nOldMode = dc.SetBkMode(TRANSPARENT);
    COLORREF crOld = dc.SetTextColor(cr);
    CString strText = DisplayText(*item.pMenu, *item.pData);
    int nTab = strText.Find(L'\t');
    CString strLabel = nTab >= 0 ? strText.Left(nTab) : strText;
    UINT nFormat = DT_SINGLELINE | DT_VCENTER | PrefixFormat(item);
    UINT nLabelAlign = item.bRightOrder ? DT_RIGHT | DT_RTLREADING : DT_LEFT;
    dc.DrawText(strLabel, strLabel.GetLength(), &rcText, nFormat | nLabelAlign);
    if (nTab >= 0)
    {
        CString strKeys = strText.Mid(nTab + 1);
        dc.DrawText(strKeys, strKeys.GetLength(), &rcText, nFormat | (item.bRightOrder ? DT_LEFT : DT_RIGHT));
    }
    dc.SetTextColor(crOld);
    dc.SetBkMode(nOldMode);
}

void DrawMarlettGlyph(CDC& dc, RECT rc, wchar_t chGlyph, COLORREF cr, bool bBold)
{
    ::InflateRect(&rc, -2, -2);
    if (rc.bottom <= rc.top)
        return;
    LOGFONTW stFont = {};
    stFont.lfHeight = rc.bottom - rc.top;
    stFont.lfWeight = bBold ? FW_BOLD : FW_NORMAL;
    // The symbol font is found only by the default character set.
    stFont.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(stFont.lfFaceName, L"Marlett");
    CFont font;
    if (!font.CreateFontIndirect(&stFont))
        return;
    CSelectedObject selectedFont(dc, font);
    int nOldMode = dc.SetBkMode(TRANSPARENT);
    COLORREF crOld = dc.SetTextColor(cr);
    dc.DrawText(&chGlyph, 1, &rc, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
    dc.SetTextColor(crOld);
    dc.SetBkMode(nOldMode);
}

RECT IconCell(const stMenuItem& item)
{
    int nWidth = item.pMenu->m_nIconWidth;
    RECT rc = item.rc;
    if (item.bRightOrder)
    {
        rc.right -= IconInset;
        rc.left = rc.right - nWidth;
    }
    else
    {
        rc.left += IconInset;
        rc.right = rc.left + nWidth;
    }
    return rc;
}

HICON ExtractItemIcon(const stMenuItem& item, int nOffset)
{
    if (!item.bHasIcon)
        return NULL;
    const CImageList& list = item.pData->m_pIcons->m_imageList;
    int nImage = item.pData->m_nImage + nOffset;
    return nImage < list.GetImageCount() ? list.ExtractIcon(nImage) : NULL;
}

POINT IconOrigin(const stMenuItem& item, const RECT& rcCell)
{
    SIZE szIcon = item.bHasIcon ? item.pData->m_pIcons->GetImageSize() : SIZE{0, 0};
    return {rcCell.left + std::max(0L, (rcCell.right - rcCell.left - szIcon.cx) / 2),
            item.rc.top + (item.rc.bottom - item.rc.top - szIcon.cy) / 2};
}

void DrawIconPlain(CDC& dc, const stMenuItem& item, POINT pt, int nOffset)
{
    if (HICON hIcon = ExtractItemIcon(item, nOffset))
    {
        dc.DrawState(pt, SIZE{0, 0}, hIcon, DSS_NORMAL);
        ::DestroyIcon(hIcon);
    }
}

void DrawIconMono(CDC& dc, const stMenuItem& item, POINT pt, COLORREF cr)
{
    HICON hIcon = ExtractItemIcon(item, 0);
    if (hIcon == NULL)
        return;
    CBrush brush(cr);
    dc.DrawState(pt, SIZE{0, 0}, hIcon, DSS_MONO, brush);
    ::DestroyIcon(hIcon);
}

void GetCheckBitmaps(const stMenuItem& item, HBITMAP& hChecked, HBITMAP& hUnchecked)
{
    hChecked = hUnchecked = NULL;
    int nPos = PositionOf(*item.pMenu, item.pData);
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_CHECKMARKS;
    if (nPos < 0 || !::GetMenuItemInfoW(item.pMenu->m_hMenu, nPos, TRUE, &stInfo))
        return;
    hChecked = stInfo.hbmpChecked;
    hUnchecked = stInfo.hbmpUnchecked;
}

void DrawCheckMark(CDC& dc, const stMenuItem& item, const RECT& rcCell, COLORREF crGlyph)
{
    HBITMAP hChecked, hUnchecked;
    GetCheckBitmaps(item, hChecked, hUnchecked);
    HBITMAP hBitmap = item.bChecked ? hChecked : hUnchecked;
    if (hBitmap != NULL && (!item.bChecked || hUnchecked != NULL))
    {
        BITMAP stBitmap = {};
        if (::GetObjectW(hBitmap, sizeof(stBitmap), &stBitmap) == sizeof(stBitmap))
        {
            POINT pt = {(rcCell.left + rcCell.right - stBitmap.bmWidth) / 2,
                        (rcCell.top + rcCell.bottom - stBitmap.bmHeight) / 2};
            UINT nFlags = item.bChecked ? DSS_MONO : (item.bGrayed ? DSS_DISABLED : DSS_NORMAL);
            CBrush brush(crGlyph);
            dc.DrawState(pt, SIZE{0, 0}, hBitmap, nFlags, brush);
        }
        return;
    }
    if (item.bChecked)
        DrawMarlettGlyph(dc, rcCell, hChecked != NULL ? L'i' : L'b', crGlyph, item.bDefault);
}

void RememberMenuBarItem(const stMenuItem& item, CDC& dc, const RECT& rc)
{
    // The draw-item context is the frame's window context: its origin on
    // the screen turns the item into screen coordinates.
    POINT ptOrigin = {0, 0};
    if (!::GetDCOrgEx(dc.m_hDC, &ptOrigin))
        ptOrigin = {0, 0};
    RECT rcScreen = rc;
    ::OffsetRect(&rcScreen, ptOrigin.x, ptOrigin.y);
    item.pMenu->m_rcMenuBarItem = rcScreen;
}

bool SameDeviceColor(CDC& dc, COLORREF a, COLORREF b)
{
    return dc.GetNearestColor(a) == dc.GetNearestColor(b);
}

COLORREF GetPlainMenuColor()
{
    BOOL bFlat = FALSE;
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    bool bFlatMenus = stEnv.nVersionClass == 7 && ::SystemParametersInfoW(SPI_GETFLATMENU, 0, &bFlat, 0) && bFlat;
    return stEnv.SysColor(bFlatMenus ? COLOR_MENUBAR : COLOR_MENU);
}

stFacePair MenuFacePair(CDC* pDC, COLORREF crMenu)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    COLORREF crWindow = stEnv.SysColor(COLOR_WINDOW);
    stFacePair stPair = {BlendColors86(crWindow, crMenu), BlendColors86(crMenu, crWindow)};
    if (GetScreenColorCount() <= 256)
        stPair.crBar = stEnv.SysColor(COLOR_BTNFACE);
    if (pDC != nullptr && SameDeviceColor(*pDC, stPair.crFace, stPair.crBar))
        stPair = {crWindow, crMenu};
    return stPair;
}
