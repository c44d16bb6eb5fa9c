#include "gui/DefragPartitionWindow.h"

#include "gui/DefragOutputView.h"
#include "gui/MapDrawingSettings.h"
#include "gui/MapKinds.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/WireText.h"

#include "classlib/DC.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"
#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"

#include <shlwapi.h>

namespace
{
constexpr int FrameMarginX = 4;
constexpr int FrameMarginY = 6;
constexpr int TitleBarHeight = 22;
constexpr COLORREF MarkColor = 0x404040;
constexpr COLORREF TextOnDark = 0xC0C0C0;
constexpr int NoteGap = 2;
constexpr int NoteHeight = 13;
constexpr int NoteMaxChars = 240;

bool TitleOnDark()
{
    return GetBarBackgroundColor() == 0 || ToolkitEnvironment().bModernStyle != 0;
}

// A shaded block is lit at its top and bottom edges and full in its middle.
void FillBlock(CDC* pDC, const RECT& rc, COLORREF cr)
{
    const stMapDrawingSettings& settings = MapDrawingSettings();
    if (!settings.bShaded)
    {
        pDC->FillSolidRect(&rc, cr);
        return;
    }
    COLORREF crLight = LightenColor(settings.nShadeLighten, cr);
    int nUpper = (rc.bottom - rc.top) / 2 + 4;
    if (nUpper > rc.bottom - rc.top)
        nUpper = rc.bottom - rc.top;
    RECT rcUpper = {rc.left, rc.top, rc.right, rc.top + nUpper};
    RECT rcLower = {rc.left, rc.top + nUpper, rc.right, rc.bottom};
    DrawGradient(pDC, rcUpper, crLight, cr, FALSE, FALSE);
    if (rcLower.bottom > rcLower.top)
        DrawGradient(pDC, rcLower, cr, crLight, FALSE, FALSE);
}
} // namespace

CDefragPartitionWindow::CDefragPartitionWindow(int32_t nDriveId)
    : m_nDriveId(nDriveId), m_rc{0, 0, 0, 0}, m_bHasMap(false), m_selection{0, 0}, m_bHighlight(false),
      m_llHighlight(0), m_pOwnerView(nullptr), m_llPendingFirst(-1), m_bFragmentationNote(false)
{
}

CDefragPartitionWindow::~CDefragPartitionWindow() = default;

bool CDefragPartitionWindow::SetMap(const CNetDefragPartitionClustermap& map)
{
    CClusterMapCells cells;
    int32_t nCells = map.GetCellCount();
    int32_t nBytesPerCell = map.GetBytesPerCell();
    size_t nBytes = nCells > 0 && nBytesPerCell > 0
                        ? static_cast<size_t>(nCells) * static_cast<size_t>(nBytesPerCell)
                        : 0;
    if (!cells.Assign(map.m_llTotalClusters, map.m_llClustersPerCell, nCells, nBytesPerCell, map.GetCells(), nBytes))
        return false;
    CSectionLock lock(m_mapLock);
    m_cells = std::move(cells);
    m_strDriveRoot = WireText(map.m_strDriveRoot);
    m_bHasMap = true;
    return true;
}

bool CDefragPartitionWindow::HasMap()
{
    CSectionLock lock(m_mapLock);
    return m_bHasMap;
}

void CDefragPartitionWindow::SetHighlight(bool bHighlight, int64_t llCluster)
{
    CSectionLock lock(m_explorerLock);
    m_pAnswer.reset();
    m_bHighlight = bHighlight;
    m_llHighlight = llCluster;
    m_llPendingFirst = -1;
}

void CDefragPartitionWindow::SetExplorerAnswer(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> pAnswer)
{
    CSectionLock lock(m_explorerLock);
    if (pAnswer)
    {
        m_bHighlight = false;
        m_llPendingFirst = -1;
    }
    m_pAnswer = std::move(pAnswer);
}

bool CDefragPartitionWindow::HasMark()
{
    CSectionLock lock(m_explorerLock);
    return m_bHighlight || m_pAnswer != nullptr;
}

HitOutcome CDefragPartitionWindow::HitTest(int32_t x, int32_t y, CLUSTER_RANGE& range)
{
    CSectionLock lock(m_mapLock);
    if (!m_bHasMap)
        return IsRequestPending() ? HitOutcome::Busy : HitOutcome::None;
    return m_cells.HitTest(m_layout, x, y, IsRequestPending(), range);
}

bool CDefragPartitionWindow::FirstBlockRange(CLUSTER_RANGE& range)
{
    CSectionLock lock(m_mapLock);
    if (!m_bHasMap || m_cells.CellCount() == 0)
        return false;
    range = m_cells.BlockRange(0, m_layout.nCellsPerBlock);
    return range.llLast >= range.llFirst;
}

bool CDefragPartitionWindow::BlockOfCluster(int64_t llCluster, CLUSTER_RANGE& range)
{
    CSectionLock lock(m_mapLock);
    return m_bHasMap && m_cells.BlockOfCluster(llCluster, m_layout, range);
}

RECT CDefragPartitionWindow::BlockRect(uint32_t nBlock) const
{
    int32_t x = m_layout.nGridLeft + static_cast<int32_t>((nBlock % m_layout.nColumns) * m_layout.nPitch);
    int32_t y = m_layout.nGridTop + static_cast<int32_t>((nBlock / m_layout.nColumns) * m_layout.nPitch);
    return RECT{x, y, x + static_cast<int32_t>(m_layout.nBlockSize), y + static_cast<int32_t>(m_layout.nBlockSize)};
}

void CDefragPartitionWindow::Draw(CDC* pDC)
{
    if (!CClusterMapLayout::HasFrame(m_rc))
        return;
    RECT rcFrame = {m_rc.nLeft + FrameMarginX, m_rc.nTop + FrameMarginY, m_rc.nRight - FrameMarginX,
                    m_rc.nBottom - FrameMarginY};
    if (ToolkitEnvironment().bModernStyle == 0)
        pDC->Draw3dRect(&rcFrame, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
    DrawTitleBar(pDC, rcFrame);

    CSectionLock lock(m_mapLock);
    m_layout = stBlockLayout();
    if (!m_bHasMap || m_cells.CellCount() == 0)
        return;
    m_layout = CClusterMapLayout::LayOut(m_rc, m_cells.CellCount());
    DrawTitleTexts(pDC, rcFrame);
    if (!m_layout.bDrawable || m_pOwnerView == nullptr)
        return;
    COLORREF acrColors[kMapColorCount];
    m_pOwnerView->GetColors(acrColors);
    uint32_t nBlocks = m_layout.VisibleBlocks();
    uint32_t nFragmented = DrawBlocks(pDC, acrColors, 0, nBlocks);
    DrawMarks(pDC);
    DrawNote(pDC, nBlocks, nFragmented);
}

void CDefragPartitionWindow::DrawTitleBar(CDC* pDC, const RECT& rcFrame)
{
    RECT rcTitle = {rcFrame.left, rcFrame.top, rcFrame.right, rcFrame.top + TitleBarHeight};
    if (MapDrawingSettings().bShaded)
    {
        ::InflateRect(&rcTitle, -1, -1);
        COLORREF crBar = GetBarBackgroundColor();
        if (ToolkitEnvironment().bModernStyle != 0)
            DrawGradient(pDC, rcTitle, LightenColor(80, crBar), LightenColor(40, crBar), TRUE, FALSE);
        else
            DrawGradient(pDC, rcTitle, LightenColor(120, crBar), crBar, TRUE, FALSE);
        return;
    }
    pDC->FillSolidRect(&rcTitle, ::GetSysColor(COLOR_BTNFACE));
    pDC->Draw3dRect(&rcTitle, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
}

void CDefragPartitionWindow::DrawTitleTexts(CDC* pDC, const RECT& rcFrame)
{
    RECT rcTitle = {rcFrame.left, rcFrame.top, rcFrame.right, rcFrame.top + TitleBarHeight};
    HGDIOBJ hOldFont = ::SelectObject(pDC->m_hDC, ::GetStockObject(DEFAULT_GUI_FONT));
    pDC->SetBkMode(TRANSPARENT);
    pDC->SetTextColor(TitleOnDark() ? TextOnDark : ::GetSysColor(COLOR_BTNTEXT));
    CString strRoot = CString(L"  ") + m_strDriveRoot;
    pDC->DrawText(strRoot, -1, &rcTitle, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    uint64_t nPerBlock = static_cast<uint64_t>(m_layout.nCellsPerBlock) *
                         static_cast<uint64_t>(m_cells.ClustersPerCell() > 0 ? m_cells.ClustersPerCell() : 0);
    CString strBlock;
    strBlock.Format(L"1 Block=%u Cluster  ", static_cast<unsigned>(nPerBlock));
    pDC->DrawText(strBlock, -1, &rcTitle, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(pDC->m_hDC, hOldFont);
}

uint32_t CDefragPartitionWindow::DrawBlocks(CDC* pDC, const COLORREF* pColors, uint32_t nFirst, uint32_t nCount)
{
    uint32_t nVisible = m_layout.VisibleBlocks();
    uint32_t nFragmented = 0;
    for (uint32_t nBlock = nFirst; nBlock < nVisible && nBlock - nFirst < nCount; ++nBlock)
    {
        uint32_t nKind = m_cells.DominantKind(nBlock, m_layout.nCellsPerBlock);
        if (nKind == kKindFragmented)
            ++nFragmented;
        RECT rc = BlockRect(nBlock);
        FillBlock(pDC, rc, pColors[ColorIndexOfKind(nKind)]);
    }
    return nFragmented;
}

bool CDefragPartitionWindow::BlockHoldsMark(const CLUSTER_RANGE& block)
{
    if (m_bHighlight)
        return m_llHighlight >= block.llFirst && m_llHighlight <= block.llLast;
    if (!m_pAnswer)
        return false;
    for (int i = 0; i < m_pAnswer->GetCount(); ++i)
    {
        const CLUSTEREXPLORER_RESPONSE_ENTRY& entry = m_pAnswer->GetAt(i);
        if (entry.llFirstCluster <= block.llLast && entry.llLastCluster >= block.llFirst)
            return true;
    }
    return false;
}

void CDefragPartitionWindow::DrawMarks(CDC* pDC)
{
    CSectionLock lock(m_explorerLock);
    if (!m_bHighlight && !m_pAnswer)
        return;
    CBrush brush(MarkColor);
    uint32_t nVisible = m_layout.VisibleBlocks();
    for (uint32_t nBlock = 0; nBlock < nVisible; ++nBlock)
    {
        CLUSTER_RANGE block = m_cells.BlockRange(nBlock, m_layout.nCellsPerBlock);
        if (block.llLast < block.llFirst || !BlockHoldsMark(block))
            continue;
        RECT rc = BlockRect(nBlock);
        if (!MapDrawingSettings().bShaded)
            ::InflateRect(&rc, 1, 1);
        pDC->FrameRect(&rc, brush);
    }
}

void CDefragPartitionWindow::DrawNote(CDC* pDC, uint32_t nBlocksDrawn, uint32_t nFragmented)
{
    if (nBlocksDrawn == 0 || !ShowsFragmentationNote(m_bFragmentationNote, nBlocksDrawn, nFragmented))
        return;
    RECT rcLast = BlockRect(nBlocksDrawn - 1);
    int nWidth = m_layout.nGridWidth - static_cast<int>(m_layout.nBlockSize);
    if (nWidth <= 0)
        return;
    RECT rcNote = {m_layout.nGridLeft, rcLast.bottom + NoteGap, m_layout.nGridLeft + nWidth,
                   rcLast.bottom + NoteGap + NoteHeight};
    CString strNote = ResourceText(IDS_SOME_FRAGMENTATION);
    wchar_t szNote[NoteMaxChars + 1] = L"";
    lstrcpynW(szNote, strNote, NoteMaxChars + 1);
    HGDIOBJ hOldFont = ::SelectObject(pDC->m_hDC, ::GetStockObject(DEFAULT_GUI_FONT));
    ::PathCompactPathW(pDC->m_hDC, szNote, static_cast<UINT>(nWidth));
    pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(szNote, -1, &rcNote, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(pDC->m_hDC, hOldFont);
}

void CDefragPartitionWindow::ApplyChanges(CDC* pDC, CNetDefragClustermapModList& changes)
{
    CSectionLock lock(m_mapLock);
    if (!m_bHasMap)
        return;
    COLORREF acrColors[kMapColorCount];
    bool bDraw = m_layout.bDrawable && m_pOwnerView != nullptr && pDC != nullptr;
    if (bDraw)
        m_pOwnerView->GetColors(acrColors);
    CLUSTERMAP_MOD_RECORD stRecord;
    while (changes.GetNext(stRecord))
    {
        MAP_CHANGE change = {stRecord.llFirstCell, stRecord.llCellCount, stRecord.nBytesPerCell, stRecord.pCells};
        uint32_t nFirstBlock = 0;
        uint32_t nBlocks = 0;
        ChangeOutcome eOutcome = m_cells.Apply(change, m_layout, nFirstBlock, nBlocks);
        if (eOutcome == ChangeOutcome::Stop)
            break;
        if (eOutcome == ChangeOutcome::Applied && bDraw)
            DrawBlocks(pDC, acrColors, nFirstBlock, nBlocks);
    }
}
