#include "guitoolkit/SkinBarItem.h"

#include "classlib/DC.h"
#include "classlib/GdiObject.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/SelectedObject.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuBarLayout.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
COLORREF Sys(int nIndex)
{
    return ToolkitEnvironment().SysColor(nIndex);
}

void FrameWith(HDC hDC, const RECT& rc, COLORREF cr)
{
    HBRUSH hBrush = ::CreateSolidBrush(cr);
    if (hBrush == NULL)
        return;
    ::FrameRect(hDC, &rc, hBrush);
    ::DeleteObject(hBrush);
}
} // namespace

BOOL CSkinBarItem::HitTest(POINT pt, BOOL bVertical) const
{
    const RECT rc = GetItemRect(bVertical);
    return ::PtInRect(&rc, pt);
}

RECT CSkinMenuBarItem::GetItemRect(BOOL bVertical) const
{
    if (!bVertical)
        return m_rcItem;
    return RECT{m_rcItem.top, m_rcItem.left, m_rcItem.bottom, m_rcItem.right};
}

HMENU CSkinMenuBarItem::GetPopupMenu(HWND) const
{
    return ::GetSubMenu(m_hMenu, m_nPosition);
}

UINT CSkinMenuBarItem::GetCommandId() const
{
    return ::GetMenuItemID(m_hMenu, m_nPosition);
}

UINT CSkinMenuBarItem::GetDrawId() const
{
    HMENU hPopup = GetPopupMenu(NULL);
    return hPopup != NULL ? static_cast<UINT>(reinterpret_cast<UINT_PTR>(hPopup)) : GetCommandId();
}

void CSkinMenuBarItem::Draw(HWND hFrame, HDC hDC)
{
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA;
    if (!::GetMenuItemInfoW(m_hMenu, m_nPosition, TRUE, &stInfo) || !(stInfo.fType & MFT_OWNERDRAW))
        return;
    DRAWITEMSTRUCT stDraw = {};
    stDraw.CtlType = ODT_MENU;
    stDraw.itemID = GetDrawId();
    stDraw.itemAction = m_nState | ODA_DRAWENTIRE;
    stDraw.itemState = m_nState;
    stDraw.hwndItem = reinterpret_cast<HWND>(m_hMenu);
    stDraw.hDC = hDC;
    stDraw.rcItem = GetItemRect((m_nState & MBS_VERTICAL) != 0);
    stDraw.itemData = stInfo.dwItemData;
    ::SendMessageW(hFrame, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&stDraw));
}

CSkinIconBarItem::CSkinIconBarItem(UINT_PTR nKindOrBitmap, UINT nCommandId, HWND hChild)
    : m_nKindOrBitmap(nKindOrBitmap), m_nCommandId(nCommandId), m_hChild(hChild)
{
    // Keyboard navigation passes over the MDI child's icon and buttons.
    m_nState = MBS_NOKEYBOARD;
    const SIZE size = GetSize();
    m_rcItem = {0, 0, size.cx, size.cy};
}

SIZE CSkinIconBarItem::GetSize() const
{
    BITMAP stBitmap = {};
    if (m_nKindOrBitmap > ICONITEM_LASTKIND &&
        ::GetObjectW(reinterpret_cast<HBITMAP>(m_nKindOrBitmap), sizeof(stBitmap), &stBitmap) == sizeof(stBitmap))
        return SIZE{stBitmap.bmWidth + 4, stBitmap.bmHeight + 4};
    return SIZE{::GetSystemMetrics(SM_CXMENUSIZE), ::GetSystemMetrics(SM_CYMENUSIZE)};
}

RECT CSkinIconBarItem::GetItemRect(BOOL bVertical) const
{
    if (!bVertical)
        return m_rcItem;
    return RECT{m_rcItem.top, m_rcItem.left, m_rcItem.top + (m_rcItem.right - m_rcItem.left),
                m_rcItem.left + (m_rcItem.bottom - m_rcItem.top)};
}

HMENU CSkinIconBarItem::GetPopupMenu(HWND) const
{
    if (m_nKindOrBitmap != ICONITEM_CHILDICON || m_hChild == NULL)
        return NULL;
    return ::GetSystemMenu(m_hChild, FALSE);
}

bool CSkinIconBarItem::IsAvailable() const
{
    if (m_hChild == NULL)
        return true;
    if (m_nKindOrBitmap == ICONITEM_MINIMIZE)
        return (::GetWindowLongPtrW(m_hChild, GWL_STYLE) & WS_MINIMIZEBOX) != 0;
    if (m_nKindOrBitmap == ICONITEM_CLOSE)
    {
        HMENU hSystem = ::GetSystemMenu(m_hChild, FALSE);
        const UINT nState = hSystem != NULL ? ::GetMenuState(hSystem, SC_CLOSE, MF_BYCOMMAND) : 0xFFFFFFFF;
        return nState != 0xFFFFFFFF && !(nState & MF_GRAYED);
    }
    return true;
}

void CSkinIconBarItem::Draw(HWND, HDC hDC)
{
    const RECT rc = GetItemRect((m_nState & MBS_VERTICAL) != 0);
    DrawBackground(hDC, rc);
    RECT rcGlyph = rc;
    ::InflateRect(&rcGlyph, -2, -2);
    DrawGlyph(hDC, rcGlyph);
}

void CSkinIconBarItem::DrawBackground(HDC hDC, const RECT& rc) const
{
    const bool bHot = (m_nState & MBS_HOT) != 0;
    const bool bPressed = (m_nState & MBS_SELECTED) != 0;
    const int nTheme = CSkinMenu::GetCurrentThemeId();
    const bool bStyled = ToolkitEnvironment().IsVisualStyleActive();
    CDC dc;
    if (!dc.Attach(hDC))
        return;
    if ((bHot || bPressed) && (nTheme == 6 || nTheme == 7))
    {
        const COLORREF crHighlight = Sys(COLOR_HIGHLIGHT);
        const COLORREF crDark = DarkenColor(60, crHighlight);
        DrawGradient(&dc, rc, bPressed ? crHighlight : LightenColor(60, crHighlight), bPressed ? crDark : crHighlight,
                     FALSE, FALSE);
        FrameWith(hDC, rc, crDark);
    }
    else if ((bHot || bPressed) && (nTheme == 10 || nTheme == 11 || ((nTheme == 8 || nTheme == 9) && bStyled)))
    {
        DrawGradient(&dc, rc, bPressed ? COLORREF(0x6B97F2) : COLORREF(0xDBEFFA),
                     bPressed ? COLORREF(0xA3CAF9) : COLORREF(0x97D4FF), FALSE, FALSE);
        FrameWith(hDC, rc, COLORREF(0x840204));
    }
    else if (nTheme == 2 || nTheme == 3 || nTheme == 8 || nTheme == 9)
    {
        if (bHot || (m_nState & 0x0008) != 0)
        {
            dc.FillSolidRect(&rc, GetSelectionColor());
            FrameWith(hDC, rc, Sys(COLOR_HIGHLIGHT));
        }
    }
    else if (bHot || bPressed)
    {
        const COLORREF crLight = Sys(COLOR_HIGHLIGHTTEXT);
        const COLORREF crDark = Sys(COLOR_BTNSHADOW);
        dc.Draw3dRect(&rc, bPressed ? crDark : crLight, bPressed ? crLight : crDark);
    }
    dc.Detach();
}

void CSkinIconBarItem::DrawGlyph(HDC hDC, RECT rc) const
{
    if (m_nKindOrBitmap == ICONITEM_CHILDICON)
    {
        HICON hIcon = m_hChild != NULL ? reinterpret_cast<HICON>(::GetClassLongPtrW(m_hChild, GCLP_HICONSM)) : NULL;
        if (hIcon != NULL)
            ::DrawIconEx(hDC, rc.left, rc.top, hIcon, 20, 20, 0, NULL, DI_NORMAL);
        return;
    }
    if (m_nKindOrBitmap > ICONITEM_LASTKIND)
    {
        ::DrawStateW(hDC, NULL, nullptr, static_cast<LPARAM>(m_nKindOrBitmap), 0, rc.left, rc.top,
                     rc.right - rc.left, rc.bottom - rc.top, DST_BITMAP);
        return;
    }
    const wchar_t chGlyph = m_nKindOrBitmap == ICONITEM_RESTORE    ? L'2'
                            : m_nKindOrBitmap == ICONITEM_MINIMIZE ? L'0'
                            : m_nKindOrBitmap == ICONITEM_CLOSE    ? L'r'
                                                                   : 0;
    if (chGlyph == 0)
        return;
    CFont font;
    LOGFONTW stFont = {};
    stFont.lfHeight = rc.bottom - rc.top;
    stFont.lfWeight = FW_NORMAL;
    stFont.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpynW(stFont.lfFaceName, L"Marlett", LF_FACESIZE);
    if (!font.CreateFontIndirect(&stFont))
        return;
    CDC dc;
    if (!dc.Attach(hDC))
        return;
    {
        CSelectedObject selected(dc, font);
        const int nOldMode = dc.SetBkMode(TRANSPARENT);
        const COLORREF crOld = dc.SetTextColor(Sys(IsAvailable() ? COLOR_MENUTEXT : COLOR_GRAYTEXT));
        ::DrawTextW(hDC, &chGlyph, 1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        dc.SetTextColor(crOld);
        dc.SetBkMode(nOldMode);
    }
    dc.Detach();
}
