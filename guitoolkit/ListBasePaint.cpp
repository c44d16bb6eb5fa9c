#include "guitoolkit/ListBase.h"

#include "classlib/DC.h"
#include "classlib/ImageList.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
// The shaded selection of the program's list style.
constexpr COLORREF SelectedFrameOuter = 0xF5C8AA;
constexpr COLORREF SelectedFrameInner = 0xFAFAE6;
constexpr COLORREF SelectedTop = 0xFAF0D2;
constexpr COLORREF SelectedBottom = 0xFAD7B9;
constexpr COLORREF UnfocusedTop = 0xFAFAFA;
constexpr COLORREF UnfocusedBottom = 0xEBEBEB;
constexpr COLORREF UnfocusedFrameOuter = 0xDCDCDC;
constexpr COLORREF UnfocusedFrameInner = 0xF5F5F5;
// Space between a cell's edge and its text.
constexpr int CellTextInset = 6;
constexpr int LabelTextInset = 2;
// The most a column 0 needs before it shows its state image.
constexpr int MaxIconOffset = 4;

COLORREF BackgroundOf(HWND hList)
{
    COLORREF cr = static_cast<COLORREF>(::SendMessageW(hList, LVM_GETBKCOLOR, 0, 0));
    return cr == CLR_NONE ? ::GetSysColor(COLOR_WINDOW) : cr;
}
} // namespace

int CListBase::ImageWidth(HIMAGELIST hImages)
{
    int cx = 0, cy = 0;
    return hImages != NULL && ImageList_GetIconSize(hImages, &cx, &cy) ? cx : 0;
}

void CListBase::ShowSortArrow(BOOL bShow, int nSortColumn)
{
    m_bSortArrow = bShow;
    if (nSortColumn != 0)
        m_layout.SetSortColumn(nSortColumn);
    UpdateSortArrows();
}

void CListBase::UpdateSortArrows()
{
    if (!m_bSortArrow || m_pListWnd == nullptr || m_pListWnd->m_hWnd == NULL)
        return;
    CHeaderCtrl header;
    header.m_hWnd = GetHeader();
    if (header.m_hWnd == NULL)
        return;
    int nSort = m_layout.GetSortColumn();
    int nItem = nSort != 0 ? PhysicalOf((nSort < 0 ? -nSort : nSort) - 1) : -1;
    m_pArrows->Apply(header, nItem, nSort < 0);
    header.m_hWnd = NULL;
}

void CListBase::ColorSortColumn(BOOL bOn, int nSortColumn)
{
    // A palette screen shows a tint as a dither.
    if (bOn && !CanTintSortColumn(ToolkitEnvironment().nBitsPerPixel))
        return;
    m_bTint = bOn;
    if (nSortColumn != 0)
        m_layout.SetSortColumn(nSortColumn);
    UpdateTint();
}

void CListBase::UpdateTint()
{
    if (m_pListWnd == nullptr || m_pListWnd->m_hWnd == NULL)
        return;
    m_crTint = SortColumnTint(BackgroundOf(m_pListWnd->m_hWnd));
    m_pListWnd->Invalidate();
}

BOOL CListBase::SetLeftmostColumnAsLabel(BOOL bOn)
{
    if (!IsOwnerDrawn())
        return FALSE;
    m_bLeftmostLabel = bOn;
    m_pListWnd->Invalidate();
    return TRUE;
}

CRect CListBase::GetSortStrip() const
{
    CRect rcStrip;
    int nSort = m_layout.GetSortColumn();
    int nPhysical = nSort != 0 ? PhysicalOf((nSort < 0 ? -nSort : nSort) - 1) : -1;
    HWND hHeader = GetHeader();
    if (!m_bTint || nPhysical < 0 || hHeader == NULL ||
        !::SendMessageW(hHeader, HDM_GETITEMRECT, nPhysical, reinterpret_cast<LPARAM>(&rcStrip)))
        return CRect();
    ::MapWindowPoints(hHeader, m_pListWnd->m_hWnd, reinterpret_cast<POINT*>(&rcStrip), 2);
    CRect rcClient;
    m_pListWnd->GetClientRect(rcClient);
    RECT rcHeader;
    rcStrip.top = ::IsWindowVisible(hHeader) && ::GetWindowRect(hHeader, &rcHeader) ? rcStrip.bottom : 0;
    rcStrip.bottom = rcClient.bottom;
    return rcStrip;
}

void CListBase::InvalidateSortStrip()
{
    if (!m_bTint || m_pListWnd == nullptr)
        return;
    // The strip follows the column's new place and width.
    m_pListWnd->Invalidate();
}

bool CListBase::OnEraseBackground(HDC hDC, LRESULT& lResult)
{
    CRect rcStrip = GetSortStrip();
    if (rcStrip.IsRectEmpty() || hDC == NULL)
        return false;
    CDC dc;
    dc.Attach(hDC);
    // The control paints its rows into the same context afterwards: the
    // strip is kept from the default erase only.
    int nSaved = dc.SaveDC();
    CRect rcClip;
    dc.GetClipBox(rcClip);
    rcStrip.IntersectRect(rcStrip, rcClip);
    if (!rcStrip.IsRectEmpty())
    {
        dc.FillSolidRect(rcStrip, m_crTint);
        dc.ExcludeClipRect(rcStrip);
    }
    lResult = PassOn(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    dc.RestoreDC(nSaved);
    dc.Detach();
    return true;
}

LRESULT CListBase::OnCustomDraw(NMLVCUSTOMDRAW* pDraw)
{
    switch (pDraw->nmcd.dwDrawStage)
    {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
    {
        int nSort = m_layout.GetSortColumn();
        bool bSortColumn = m_bTint && nSort != 0 && LogicalOf(pDraw->iSubItem) == (nSort < 0 ? -nSort : nSort) - 1;
        pDraw->clrTextBk = bSortColumn ? m_crTint : BackgroundOf(m_pListWnd->m_hWnd);
        LRESULT lResult = CDRF_NEWFONT;
        if (pDraw->iSubItem == 0)
            lResult |= CDRF_NOTIFYPOSTPAINT;
        else if (m_dwExStyle & LVS_EX_SUBITEMIMAGES)
        {
            LVITEMW stItem = {};
            stItem.mask = LVIF_IMAGE;
            stItem.iItem = static_cast<int>(pDraw->nmcd.dwItemSpec);
            stItem.iSubItem = pDraw->iSubItem;
            if (PassOn(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stItem)) && stItem.iImage >= 0)
                lResult |= CDRF_NOTIFYPOSTPAINT;
        }
        return lResult;
    }
    case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM:
        RedrawCellImages(pDraw);
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

COLORREF CListBase::SelectionColor(int nItem, bool bFocused) const
{
    if (nItem == m_nHotItem && bFocused)
        return m_crHot;
    if (bFocused)
        return ::GetSysColor(COLOR_HIGHLIGHT);
    return (WindowStyle() & LVS_SHOWSELALWAYS) ? ::GetSysColor(COLOR_BTNFACE) : CLR_NONE;
}

void CListBase::RedrawCellImages(NMLVCUSTOMDRAW* pDraw)
{
    // A full-row selection leaves the images on the cell's own ground: they
    // get the selection's colour and are drawn again over it.
    int nItem = static_cast<int>(pDraw->nmcd.dwItemSpec);
    LVITEMW stItem = {};
    stItem.mask = LVIF_IMAGE | LVIF_STATE;
    stItem.iItem = nItem;
    stItem.iSubItem = pDraw->iSubItem;
    stItem.stateMask = static_cast<UINT>(-1);
    if (!PassOn(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stItem)) || !(stItem.state & LVIS_SELECTED) ||
        !(m_dwExStyle & LVS_EX_FULLROWSELECT))
        return;
    bool bFocused = ::GetFocus() == m_pListWnd->m_hWnd;
    COLORREF crFill = SelectionColor(nItem, bFocused);
    CRect rcIcon;
    rcIcon.top = pDraw->iSubItem;
    rcIcon.left = LVIR_ICON;
    if (crFill == CLR_NONE || !PassOn(LVM_GETSUBITEMRECT, nItem, reinterpret_cast<LPARAM>(&rcIcon)))
        return;
    CDC dc;
    dc.Attach(pDraw->nmcd.hdc);
    HIMAGELIST hState = reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_STATE));
    CRect rcFill = rcIcon;
    if (pDraw->iSubItem == 0)
        rcFill.left -= ImageWidth(hState);
    CBrush brush(crFill);
    dc.SelectObject(&brush);
    dc.PatBlt(rcFill.left, rcFill.top, rcFill.Width(), rcFill.Height(), PATCOPY);
    dc.RestoreObjects();
    bool bBlend = bFocused;
    int nColumnWidth = static_cast<int>(PassOn(LVM_GETCOLUMNWIDTH, pDraw->iSubItem, 0));
    if (hState != NULL && !m_bIconOffsetTaken)
    {
        m_nIconOffset = std::clamp(ImageWidth(hState), 0, MaxIconOffset);
        m_bIconOffsetTaken = true;
    }
    if (pDraw->iSubItem == 0 && hState != NULL && nColumnWidth > m_nIconOffset)
        DrawStateIcon(&dc, &stItem, CRect(rcFill.left, rcFill.top, rcIcon.left, rcFill.bottom));
    DrawImage(dc, reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL)), stItem.iImage,
              stItem.state & LVIS_OVERLAYMASK, rcIcon, bBlend);
    dc.Detach();
}

void CListBase::DrawItem(LPDRAWITEMSTRUCT pDraw)
{
    if (pDraw == nullptr || static_cast<int>(pDraw->itemID) < 0)
        return;
    HWND hList = m_pListWnd->m_hWnd;
    int nItem = static_cast<int>(pDraw->itemID);
    bool bFocused = ::GetFocus() == hList;
    bool bSelected = (Send(LVM_GETITEMSTATE, nItem, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    bool bHighlight = bSelected && (bFocused || (WindowStyle() & LVS_SHOWSELALWAYS));
    CDC dc;
    dc.Attach(pDraw->hDC);
    int nSaved = dc.SaveDC();
    CRect rcRow(pDraw->rcItem);

    // The cells in display order, from the item's left edge.
    struct stCELL
    {
        int nColumn;
        CRect rc;
    };
    std::vector<stCELL> cells;
    HWND hHeader = GetHeader();
    int nShown = static_cast<int>(::SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0));
    int x = rcRow.left;
    for (int nOrder = 0; nOrder < nShown; ++nOrder)
    {
        int nPhysical = static_cast<int>(::SendMessageW(hHeader, HDM_ORDERTOINDEX, nOrder, 0));
        int nWidth = static_cast<int>(PassOn(LVM_GETCOLUMNWIDTH, nPhysical, 0));
        cells.push_back({LogicalOf(nPhysical), CRect(x, rcRow.top, x + nWidth, rcRow.bottom)});
        x += nWidth;
    }
    CRect rcHighlight = rcRow;
    rcHighlight.right = std::min<LONG>(rcRow.right, x);
    int nLabel = GetLabelColumn();
    if (!(m_dwExStyle & LVS_EX_FULLROWSELECT))
    {
        // Only the label's own text is highlighted.
        for (const stCELL& stCell : cells)
            if (stCell.nColumn == nLabel)
            {
                std::wstring strText = GetCellText(nItem, nLabel);
                int nTextWidth = static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(strText.c_str())));
                rcHighlight = stCell.rc;
                rcHighlight.left += nLabel == 0 ? ImageWidth(reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL))) : 0;
                rcHighlight.right = std::min(stCell.rc.right, rcHighlight.left + nTextWidth + 2 * CellTextInset);
            }
    }
    for (const stCELL& stCell : cells)
    {
        int nSort = m_layout.GetSortColumn();
        bool bSortColumn = m_bTint && nSort != 0 && stCell.nColumn == (nSort < 0 ? -nSort : nSort) - 1;
        dc.FillSolidRect(stCell.rc, bSortColumn ? m_crTint : BackgroundOf(hList));
    }
    bool bHot = nItem == m_nHotItem && (m_dwExStyle & LVS_EX_UNDERLINEHOT);
    COLORREF crText = bHot ? m_crHot : ::GetSysColor(COLOR_WINDOWTEXT);
    if (bHighlight)
        DrawRowBackground(dc, rcHighlight, bSelected, bFocused, crText);
    CFont underlined;
    HFONT hFont = m_pListWnd->GetFont();
    LOGFONTW stFont;
    if (bHot && hFont != NULL && ::GetObjectW(hFont, sizeof(stFont), &stFont) == sizeof(stFont))
    {
        stFont.lfUnderline = TRUE;
        if (underlined.CreateFontIndirect(&stFont))
            hFont = underlined;
    }
    for (const stCELL& stCell : cells)
    {
        bool bInHighlight = bHighlight && stCell.rc.left < rcHighlight.right && stCell.rc.right > rcHighlight.left;
        DrawCell(dc, nItem, stCell.nColumn, stCell.rc, bInHighlight, crText, hFont);
    }
    dc.RestoreDC(nSaved);
    dc.Detach();
}

void CListBase::DrawRowBackground(CDC& dc, const CRect& rcRow, bool bSelected, bool bFocused, COLORREF& crText)
{
    bool bHot = bSelected && m_nHotItem >= 0 && bFocused;
    if (!GetListStyle())
    {
        COLORREF crFill = bFocused ? (bHot ? m_crHot : ::GetSysColor(COLOR_HIGHLIGHT)) : ::GetSysColor(COLOR_BTNFACE);
        dc.FillSolidRect(rcRow, crFill);
        if (bFocused)
            crText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
        return;
    }
    CPen outer(PS_SOLID, 1, bFocused ? SelectedFrameOuter : UnfocusedFrameOuter);
    CPen inner(PS_SOLID, 1, bFocused ? SelectedFrameInner : UnfocusedFrameInner);
    CBrush window(::GetSysColor(COLOR_WINDOW));
    dc.SelectObject(&outer);
    dc.SelectStockObject(NULL_BRUSH);
    dc.RoundRect(rcRow, CPoint(5, 5));
    CRect rcInner = rcRow;
    rcInner.DeflateRect(1, 1);
    dc.SelectObject(&inner);
    dc.SelectObject(&window);
    dc.RoundRect(rcInner, CPoint(2, 2));
    dc.RestoreObjects();
    rcInner.DeflateRect(1, 1);
    DrawGradient(&dc, rcInner, bFocused ? SelectedTop : UnfocusedTop, bFocused ? SelectedBottom : UnfocusedBottom,
                 FALSE, FALSE);
}

void CListBase::DrawCell(CDC& dc, int nItem, int nColumn, const CRect& rcCell, bool bHighlight, COLORREF crText,
                         HFONT hFont)
{
    if (nColumn < 0)
        return;
    CRect rcText = rcCell;
    std::wstring strText = GetCellText(nItem, nColumn);
    LVITEMW stItem = {};
    stItem.mask = LVIF_IMAGE | LVIF_STATE;
    stItem.iItem = nItem;
    stItem.iSubItem = nColumn;
    stItem.stateMask = static_cast<UINT>(-1);
    Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stItem));
    stItem.pszText = &strText[0];
    int nSaved = dc.SaveDC();
    dc.IntersectClipRect(rcCell);
    if (nColumn == GetLabelColumn())
    {
        HIMAGELIST hState = reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_STATE));
        HIMAGELIST hSmall = reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL));
        CRect rcIcon = rcCell;
        if (hState != NULL)
        {
            rcIcon.right = rcIcon.left + ImageWidth(hState);
            DrawStateIcon(&dc, &stItem, rcIcon);
            rcIcon.left = rcIcon.right;
        }
        if (hSmall != NULL)
        {
            rcIcon.right = rcIcon.left + ImageWidth(hSmall);
            DrawSmallIcon(&dc, &stItem, rcIcon);
            rcIcon.left = rcIcon.right;
        }
        rcText.left = rcIcon.left + LabelTextInset;
        rcText.right -= LabelTextInset;
    }
    else
        rcText.DeflateRect(CellTextInset, 0);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(bHighlight && !GetListStyle() && ::GetFocus() == m_pListWnd->m_hWnd
                        ? ::GetSysColor(COLOR_HIGHLIGHTTEXT)
                        : crText);
    if (hFont != NULL)
        dc.SelectObject(hFont);
    LVCOLUMNW stColumn = {};
    stColumn.mask = LVCF_FMT;
    OnGetColumn(nColumn, reinterpret_cast<LPARAM>(&stColumn));
    DrawSubItemText(&dc, &stItem, &stColumn, rcText);
    dc.RestoreObjects();
    dc.RestoreDC(nSaved);
}

void CListBase::DrawImage(CDC& dc, HIMAGELIST hImages, int nImage, UINT nOverlay, const CRect& rc, bool bBlend)
{
    int cx = 0, cy = 0;
    if (hImages == NULL || nImage < 0 || !ImageList_GetIconSize(hImages, &cx, &cy))
        return;
    int y = rc.top + (rc.Height() - cy) / 2;
    if (GetListStyle())
    {
        CImageList images;
        images.Attach(hImages);
        images.DrawEx(&dc, nImage, CPoint(rc.left, y), CSize(std::min(cx, rc.Width()), cy), CLR_DEFAULT, CLR_DEFAULT,
                      ILD_TRANSPARENT | nOverlay);
        images.Detach();
        return;
    }
    IMAGELISTDRAWPARAMS stParams = {};
    stParams.cbSize = sizeof(stParams);
    stParams.himl = hImages;
    stParams.i = nImage;
    stParams.hdcDst = dc.m_hDC;
    stParams.x = rc.left;
    stParams.y = y;
    stParams.cx = std::min(cx, rc.Width());
    stParams.cy = cy;
    stParams.rgbBk = CLR_NONE;
    stParams.rgbFg = CLR_DEFAULT;
    stParams.fStyle = ILD_TRANSPARENT | nOverlay | (bBlend ? ILD_BLEND25 : 0);
    stParams.dwRop = SRCCOPY;
    CImageList::DrawIndirect(&stParams);
}

void CListBase::DrawSmallIcon(CDC* pDC, LVITEMW* pItem, LPRECT pRect)
{
    bool bBlend = (pItem->state & LVIS_SELECTED) && ::GetFocus() == m_pListWnd->m_hWnd;
    DrawImage(*pDC, reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL)), pItem->iImage,
              pItem->state & LVIS_OVERLAYMASK, CRect(*pRect), bBlend);
}

void CListBase::DrawStateIcon(CDC* pDC, LVITEMW* pItem, LPRECT pRect)
{
    int nState = static_cast<int>((pItem->state & LVIS_STATEIMAGEMASK) >> 12) - 1;
    DrawImage(*pDC, reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_STATE)), nState, 0, CRect(*pRect), false);
}

void CListBase::DrawSubItemText(CDC* pDC, LVITEMW* pItem, LVCOLUMNW* pColumn, LPRECT pRect)
{
    if (pItem->pszText == nullptr || pItem->pszText[0] == L'\0' || pRect->right <= pRect->left)
        return;
    UINT nFormat = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    switch (pColumn->fmt & LVCFMT_JUSTIFYMASK)
    {
    case LVCFMT_RIGHT: nFormat |= DT_RIGHT; break;
    case LVCFMT_CENTER: nFormat |= DT_CENTER; break;
    default: nFormat |= DT_LEFT; break;
    }
    pDC->DrawText(pItem->pszText, -1, pRect, nFormat);
}

std::wstring CListBase::GetSubItemToolTipText(int, int)
{
    return std::wstring();
}

std::wstring CListBase::GetItemToolTipText(int)
{
    return std::wstring();
}
