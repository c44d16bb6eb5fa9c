#include "gui/DefragOutputView.h"

#include "gui/MapDrawingSettings.h"
#include "gui/ResourceText.h"

#include "classlib/DC.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/ToolkitColors.h"

namespace
{
constexpr int PaneMarginX = 2;
constexpr int PaneMarginY = 3;
constexpr COLORREF TextOnDark = 0xC0C0C0;
} // namespace

RECT CDefragOutputView::MapArea(const RECT& rcClient) const
{
    RECT rc = rcClient;
    if (m_bLegendShown)
        rc.bottom -= m_nLegendHeight;
    ::InflateRect(&rc, -PaneMarginX, -PaneMarginY);
    return rc;
}

void CDefragOutputView::Paint(CDC* pDC)
{
    RECT rcClient = {};
    GetClientRect(&rcClient);
    DrawLegend(pDC, rcClient);
    CSectionLock lock(m_lock);
    RECT rcArea = MapArea(rcClient);
    std::vector<MAP_RECT> rects = CClusterMapLayout::PlaceWindows(
        MAP_RECT{rcArea.left, rcArea.top, rcArea.right, rcArea.bottom}, static_cast<uint32_t>(m_windows.size()));
    for (size_t i = 0; i < m_windows.size(); ++i)
    {
        m_windows[i]->SetRect(rects[i]);
        m_windows[i]->Draw(pDC);
    }
}

void CDefragOutputView::DrawLegend(CDC* pDC, const RECT& rcClient)
{
    COLORREF crBar = GetBarBackgroundColor();
    if (MapDrawingSettings().bShaded)
        DrawGradient(pDC, rcClient, crBar, LightenColor(90, crBar), FALSE, FALSE);
    else
        pDC->FillSolidRect(&rcClient, ::GetSysColor(COLOR_3DLIGHT));
    m_nLegendHeight = 0;
    m_legend = stLegendLayout();
    if (!m_bLegendShown)
        return;
    HGDIOBJ hOldFont = ::SelectObject(pDC->m_hDC, ::GetStockObject(DEFAULT_GUI_FONT));
    pDC->SetBkMode(TRANSPARENT);
    pDC->SetTextColor(crBar == 0 ? TextOnDark : ::GetSysColor(COLOR_BTNTEXT));
    std::vector<CString> labels;
    std::vector<int32_t> widths;
    for (uint32_t nKind : kLegendOrder)
    {
        labels.push_back(ResourceText(kMapKinds[nKind].nLabelId));
        widths.push_back(pDC->GetTextExtent(labels.back(), labels.back().GetLength()).cx);
    }
    m_legend = CMapLegendLayout::LayOut(widths, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top,
                                        rcClient.bottom);
    m_nLegendHeight = m_legend.nHeight;
    for (size_t i = 0; i < m_legend.items.size(); ++i)
    {
        const LEGEND_ITEM& item = m_legend.items[i];
        RECT rcBox = {item.nBoxLeft, item.nBoxTop, item.nBoxLeft + CMapLegendLayout::BoxWidth,
                      item.nBoxTop + CMapLegendLayout::BoxHeight};
        COLORREF& crKind = m_acrColors[kLegendOrder[i]];
        pDC->FillSolidRect(&rcBox, crKind);
        // What the device shows is what a click on the box reads back.
        COLORREF crShown = pDC->GetPixel(rcBox.left + 1, rcBox.top + 1);
        if (crShown != CLR_INVALID)
            crKind = crShown;
        pDC->Draw3dRect(&rcBox, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
        pDC->TextOut(item.nTextLeft, item.nBoxTop - 2, labels[i], labels[i].GetLength());
    }
    ::SelectObject(pDC->m_hDC, hOldFont);
}
