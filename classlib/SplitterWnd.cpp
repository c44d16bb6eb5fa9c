#include "classlib/SplitterWnd.h"

#include "classlib/CmdUI.h"
#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/View.h"

#include <windowsx.h>

#include <algorithm>

namespace
{
int PaneIndex(int row, int col, int nCols)
{
    return row * nCols + col;
}
} // namespace

CSplitterWnd::CSplitterWnd() = default;

BOOL CSplitterWnd::CreateStatic(CWnd* pParent, int nRows, int nCols, DWORD dwStyle, UINT nID)
{
    if (m_hWnd != NULL || pParent == nullptr || nRows < 1 || nCols < 1 || nRows > MaxPanes || nCols > MaxPanes)
        return FALSE;
    m_nRows = m_nMaxRows = nRows;
    m_nCols = m_nMaxCols = nCols;
    m_arrRowInfo.assign(nRows, CRowColInfo{0, 0, 0});
    m_arrColInfo.assign(nCols, CRowColInfo{0, 0, 0});
    const wchar_t* pszClass = RegisterDefaultClass(CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // The panes paint their own areas; the splitter only its bars and border.
    return CreateEx(0, pszClass, L"", dwStyle | WS_CHILD | WS_CLIPCHILDREN, CRect(0, 0, 0, 0), pParent, nID);
}

BOOL CSplitterWnd::CreateView(int row, int col, WndFactory pfnNewView, SIZE sizeInit)
{
    if (m_hWnd == NULL || row < 0 || row >= m_nRows || col < 0 || col >= m_nCols || pfnNewView == nullptr ||
        GetPane(row, col) != nullptr)
        return FALSE;
    m_arrRowInfo[row].nIdealSize = sizeInit.cy;
    m_arrColInfo[col].nIdealSize = sizeInit.cx;
    CWnd* pView = pfnNewView();
    if (pView == nullptr)
        return FALSE;
    if (!pView->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), this,
                       static_cast<UINT>(IdFromRowCol(row, col))))
    {
        // A view that got its window deleted itself with it.
        if (!WasDestroyedInCreation(pView))
            delete pView;
        return FALSE;
    }
    return TRUE;
}

void CSplitterWnd::GetInfo(const std::vector<CRowColInfo>& arrInfo, int nIndex, int& nCur, int& nMin)
{
    nCur = nMin = 0;
    if (nIndex < 0 || nIndex >= static_cast<int>(arrInfo.size()))
        return;
    nCur = arrInfo[nIndex].nCurSize;
    nMin = arrInfo[nIndex].nMinSize;
}

void CSplitterWnd::SetInfo(std::vector<CRowColInfo>& arrInfo, int nIndex, int nIdeal, int nMin)
{
    if (nIndex < 0 || nIndex >= static_cast<int>(arrInfo.size()))
        return;
    arrInfo[nIndex].nIdealSize = nIdeal;
    arrInfo[nIndex].nMinSize = nMin;
}

CWnd* CSplitterWnd::GetPane(int row, int col) const
{
    if (m_hWnd == NULL)
        return nullptr;
    HWND hPane = ::GetDlgItem(m_hWnd, IdFromRowCol(row, col));
    return hPane != NULL ? FromHandle(hPane) : nullptr;
}

BOOL CSplitterWnd::IsChildPane(const CWnd* pWnd, int* pRow, int* pCol) const
{
    if (pWnd == nullptr || pWnd->m_hWnd == NULL || ::GetParent(pWnd->m_hWnd) != m_hWnd)
        return FALSE;
    int nOffset = pWnd->GetDlgCtrlID() - 0xE900;
    int row = nOffset / MaxPanes;
    int col = nOffset % MaxPanes;
    if (nOffset < 0 || row >= m_nRows || col >= m_nCols)
        return FALSE;
    if (pRow != nullptr)
        *pRow = row;
    if (pCol != nullptr)
        *pCol = col;
    return TRUE;
}

CWnd* CSplitterWnd::GetActivePane(int* pRow, int* pCol) const
{
    CFrameWnd* pFrame = GetParentFrame();
    CWnd* pView = pFrame != nullptr ? pFrame->GetActiveView() : nullptr;
    if (IsChildPane(pView, pRow, pCol))
        return pView;
    CWnd* pFocus = FromHandle(::GetFocus());
    return IsChildPane(pFocus, pRow, pCol) ? pFocus : nullptr;
}

void CSplitterWnd::SetActivePane(int row, int col)
{
    CWnd* pPane = GetPane(row, col);
    if (pPane == nullptr)
        return;
    CFrameWnd* pFrame = GetParentFrame();
    if (CView* pView = dynamic_cast<CView*>(pPane); pView != nullptr && pFrame != nullptr)
        pFrame->SetActiveView(pView);
    pPane->SetFocus();
}

void CSplitterWnd::ActivateNext(BOOL bPrev)
{
    int nPanes = m_nRows * m_nCols;
    if (nPanes == 0)
        return;
    int row = 0, col = 0;
    int nIndex = GetActivePane(&row, &col) != nullptr ? PaneIndex(row, col, m_nCols) : (bPrev ? 0 : nPanes - 1);
    // Panes that were never made are passed over.
    for (int nStep = 1; nStep <= nPanes; ++nStep)
    {
        int nNext = (nIndex + (bPrev ? nPanes - nStep : nStep)) % nPanes;
        if (GetPane(nNext / m_nCols, nNext % m_nCols) != nullptr)
        {
            SetActivePane(nNext / m_nCols, nNext % m_nCols);
            return;
        }
    }
}

BOOL CSplitterWnd::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID != ID_NEXT_PANE && nID != ID_PREV_PANE)
        return CWnd::HandleCommand(nID, nCode, pExtra);
    if (nCode == CN_UPDATE_COMMAND_UI)
    {
        static_cast<CCmdUI*>(pExtra)->Enable(m_nRows * m_nCols > 1);
        return TRUE;
    }
    if (nCode != CN_COMMAND)
        return FALSE;
    ActivateNext(nID == ID_PREV_PANE);
    return TRUE;
}

void CSplitterWnd::GetInsideRect(CRect& rect) const
{
    ::GetClientRect(m_hWnd, &rect);
    rect.DeflateRect(m_cxBorder, m_cyBorder);
}

void CSplitterWnd::LayoutRowCol(std::vector<CRowColInfo>& arrInfo, int nCount, int nSize, int nGap)
{
    int nLeft = std::max(nSize, 0);
    for (int i = 0; i < nCount; ++i)
    {
        CRowColInfo& stInfo = arrInfo[i];
        if (i == nCount - 1)
        {
            stInfo.nCurSize = nLeft;
            break;
        }
        stInfo.nCurSize = stInfo.nIdealSize < stInfo.nMinSize ? 0 : stInfo.nIdealSize;
        stInfo.nCurSize = std::min(stInfo.nCurSize, std::max(nLeft - nGap, 0));
        nLeft = std::max(nLeft - stInfo.nCurSize - nGap, 0);
    }
    for (int i = nCount - 1; i > 0; --i)
    {
        if (arrInfo[i].nCurSize < arrInfo[i].nMinSize)
        {
            arrInfo[i - 1].nCurSize += arrInfo[i].nCurSize;
            arrInfo[i].nCurSize = 0;
        }
    }
}

int CSplitterWnd::RowTop(int row) const
{
    CRect rcInside;
    GetInsideRect(rcInside);
    int y = rcInside.top;
    for (int i = 0; i < row && i < m_nRows; ++i)
        y += m_arrRowInfo[i].nCurSize + m_cySplitterGap;
    return y;
}

int CSplitterWnd::ColLeft(int col) const
{
    CRect rcInside;
    GetInsideRect(rcInside);
    int x = rcInside.left;
    for (int i = 0; i < col && i < m_nCols; ++i)
        x += m_arrColInfo[i].nCurSize + m_cxSplitterGap;
    return x;
}

void CSplitterWnd::RecalcLayout()
{
    if (m_hWnd == NULL)
        return;
    CRect rcInside;
    GetInsideRect(rcInside);
    LayoutRowCol(m_arrRowInfo, m_nRows, rcInside.Height(), m_cySplitterGap);
    LayoutRowCol(m_arrColInfo, m_nCols, rcInside.Width(), m_cxSplitterGap);

    HDWP hDWP = ::BeginDeferWindowPos(m_nRows * m_nCols);
    for (int row = 0; row < m_nRows; ++row)
    {
        for (int col = 0; col < m_nCols; ++col)
        {
            HWND hPane = ::GetDlgItem(m_hWnd, IdFromRowCol(row, col));
            if (hPane == NULL)
                continue;
            int x = ColLeft(col), y = RowTop(row);
            int cx = m_arrColInfo[col].nCurSize, cy = m_arrRowInfo[row].nCurSize;
            const UINT nFlags = SWP_NOZORDER | SWP_NOACTIVATE;
            if (hDWP != NULL)
                hDWP = ::DeferWindowPos(hDWP, hPane, NULL, x, y, cx, cy, nFlags);
            else
                ::SetWindowPos(hPane, NULL, x, y, cx, cy, nFlags);
        }
    }
    if (hDWP != NULL)
        ::EndDeferWindowPos(hDWP);
    DrawAllSplitBars(nullptr);
}

CRect CSplitterWnd::BarRect(int nHit) const
{
    CRect rcInside;
    GetInsideRect(rcInside);
    CRect rc;
    if (nHit >= rowBar1 && nHit < rowBar1 + m_nRows - 1)
    {
        int row = nHit - rowBar1;
        int y = RowTop(row) + m_arrRowInfo[row].nCurSize;
        rc = CRect(rcInside.left, y, rcInside.right, y + m_cySplitter);
    }
    else if (nHit >= colBar1 && nHit < colBar1 + m_nCols - 1)
    {
        int col = nHit - colBar1;
        int x = ColLeft(col) + m_arrColInfo[col].nCurSize;
        rc = CRect(x, rcInside.top, x + m_cxSplitter, rcInside.bottom);
    }
    return rc;
}

void CSplitterWnd::DrawAllSplitBars(CDC* pDC)
{
    CRect rcClient;
    GetClientRect(rcClient);
    OnDrawSplitter(pDC, splitBorder, rcClient);
    for (int row = 0; row + 1 < m_nRows; ++row)
    {
        CRect rc = BarRect(rowBar1 + row);
        rc.InflateRect(m_cxBorderShare, 0);
        OnDrawSplitter(pDC, splitBar, rc);
    }
    for (int col = 0; col + 1 < m_nCols; ++col)
    {
        CRect rc = BarRect(colBar1 + col);
        rc.InflateRect(0, m_cyBorderShare);
        OnDrawSplitter(pDC, splitBar, rc);
    }
    for (int row = 0; row + 1 < m_nRows; ++row)
    {
        for (int col = 0; col + 1 < m_nCols; ++col)
        {
            CRect rcRow = BarRect(rowBar1 + row), rcCol = BarRect(colBar1 + col);
            OnDrawSplitter(pDC, splitIntersection, CRect(rcCol.left, rcRow.top, rcCol.right, rcRow.bottom));
        }
    }
}

void CSplitterWnd::OnDrawSplitter(CDC* pDC, ESplitType nType, const CRect& rect)
{
    if (pDC == nullptr)
    {
        ::InvalidateRect(m_hWnd, &rect, TRUE);
        return;
    }
    CRect rc = rect;
    switch (nType)
    {
    case splitBorder:
        // Sunken by two pixels, as the pane's edge.
        pDC->Draw3dRect(&rc, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
        rc.DeflateRect(1, 1);
        pDC->Draw3dRect(&rc, ::GetSysColor(COLOR_3DDKSHADOW), ::GetSysColor(COLOR_BTNFACE));
        break;
    case splitBar:
    case splitBox:
    case splitIntersection:
        pDC->FillSolidRect(&rc, ::GetSysColor(COLOR_BTNFACE));
        break;
    }
}

int CSplitterWnd::HitTest(CPoint pt) const
{
    int nRowHit = noHit, nColHit = noHit;
    for (int row = 0; row + 1 < m_nRows; ++row)
    {
        CRect rc = BarRect(rowBar1 + row);
        if (pt.y >= rc.top && pt.y < rc.bottom)
            nRowHit = rowBar1 + row;
    }
    for (int col = 0; col + 1 < m_nCols; ++col)
    {
        CRect rc = BarRect(colBar1 + col);
        if (pt.x >= rc.left && pt.x < rc.right)
            nColHit = colBar1 + col;
    }
    if (nRowHit != noHit && nColHit != noHit)
        return intersection1 + (nRowHit - rowBar1) * MaxPanes + (nColHit - colBar1);
    CRect rcInside;
    GetInsideRect(rcInside);
    if (!rcInside.PtInRect(pt))
        return noHit;
    return nRowHit != noHit ? nRowHit : nColHit;
}

void CSplitterWnd::StartTracking(int nHit)
{
    CRect rcInside;
    GetInsideRect(rcInside);
    // Intersections drag the row bar; the grids here have no crossing drag.
    if (nHit >= intersection1)
        nHit = rowBar1 + (nHit - intersection1) / MaxPanes;
    m_rectTracker = BarRect(nHit);
    if (m_rectTracker.Width() <= 0 || m_rectTracker.Height() <= 0)
        return;
    m_rectLimit = rcInside;
    if (nHit >= colBar1)
    {
        int col = nHit - colBar1;
        m_rectLimit.left = ColLeft(col) + m_arrColInfo[col].nMinSize;
        m_rectLimit.right = ColLeft(col + 1) + m_arrColInfo[col + 1].nCurSize - m_arrColInfo[col + 1].nMinSize -
                           m_cxSplitterGap;
    }
    else
    {
        int row = nHit - rowBar1;
        m_rectLimit.top = RowTop(row) + m_arrRowInfo[row].nMinSize;
        m_rectLimit.bottom = RowTop(row + 1) + m_arrRowInfo[row + 1].nCurSize - m_arrRowInfo[row + 1].nMinSize -
                            m_cySplitterGap;
    }
    m_htTrack = nHit;
    m_bTracking = true;
    ::SetCapture(m_hWnd);
    OnInvertTracker(m_rectTracker);
}

void CSplitterWnd::MoveTracker(CPoint pt)
{
    CRect rc = m_rectTracker;
    if (m_htTrack >= colBar1)
    {
        int x = std::max(static_cast<int>(m_rectLimit.left),
                         std::min(static_cast<int>(pt.x - m_ptTrackOffset.x), static_cast<int>(m_rectLimit.right)));
        rc.OffsetRect(x - rc.left, 0);
    }
    else
    {
        int y = std::max(static_cast<int>(m_rectLimit.top),
                         std::min(static_cast<int>(pt.y - m_ptTrackOffset.y), static_cast<int>(m_rectLimit.bottom)));
        rc.OffsetRect(0, y - rc.top);
    }
    if (rc == m_rectTracker)
        return;
    OnInvertTracker(m_rectTracker);
    m_rectTracker = rc;
    OnInvertTracker(m_rectTracker);
}

void CSplitterWnd::StopTracking(BOOL bAccept)
{
    if (!m_bTracking)
        return;
    // Cleared first: giving up the capture sends WM_CAPTURECHANGED, which ends tracking too.
    m_bTracking = false;
    OnInvertTracker(m_rectTracker);
    if (::GetCapture() == m_hWnd)
        ::ReleaseCapture();
    if (!bAccept)
        return;
    if (m_htTrack >= colBar1)
    {
        int col = m_htTrack - colBar1;
        m_arrColInfo[col].nIdealSize = m_rectTracker.left - ColLeft(col);
        if (col + 2 < m_nCols)
            m_arrColInfo[col + 1].nIdealSize = ColLeft(col + 2) - m_cxSplitterGap - m_rectTracker.left - m_cxSplitterGap;
    }
    else
    {
        int row = m_htTrack - rowBar1;
        m_arrRowInfo[row].nIdealSize = m_rectTracker.top - RowTop(row);
        if (row + 2 < m_nRows)
            m_arrRowInfo[row + 1].nIdealSize = RowTop(row + 2) - m_cySplitterGap - m_rectTracker.top - m_cySplitterGap;
    }
    RecalcLayout();
}

void CSplitterWnd::OnInvertTracker(const CRect& rect)
{
    // Without clipping the children: the tracker runs across the panes.
    HDC hDC = ::GetDCEx(m_hWnd, NULL, DCX_CACHE);
    if (hDC == NULL)
        return;
    static const WORD s_wHalftone[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    HBITMAP hPattern = ::CreateBitmap(8, 8, 1, 1, s_wHalftone);
    HBRUSH hBrush = hPattern != NULL ? ::CreatePatternBrush(hPattern) : NULL;
    if (hBrush != NULL)
    {
        HGDIOBJ hOld = ::SelectObject(hDC, hBrush);
        ::PatBlt(hDC, rect.left, rect.top, rect.Width(), rect.Height(), PATINVERT);
        ::SelectObject(hDC, hOld);
        ::DeleteObject(hBrush);
    }
    if (hPattern != NULL)
        ::DeleteObject(hPattern);
    ::ReleaseDC(m_hWnd, hDC);
}

bool CSplitterWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    CPoint pt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    switch (nMsg)
    {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED)
            RecalcLayout();
        break;
    case WM_PAINT:
    {
        CPaintDC dc(this);
        DrawAllSplitBars(&dc);
        lResult = 0;
        return true;
    }
    case WM_SETCURSOR:
    {
        DWORD dwPos = ::GetMessagePos();
        CPoint ptCursor(GET_X_LPARAM(dwPos), GET_Y_LPARAM(dwPos));
        ScreenToClient(&ptCursor);
        int nHit = reinterpret_cast<HWND>(wParam) == m_hWnd ? HitTest(ptCursor) : noHit;
        if (nHit == noHit)
            break;
        const wchar_t* pszCursor = nHit >= intersection1 ? IDC_SIZEALL : nHit >= colBar1 ? IDC_SIZEWE : IDC_SIZENS;
        ::SetCursor(::LoadCursorW(NULL, pszCursor));
        lResult = TRUE;
        return true;
    }
    case WM_LBUTTONDOWN:
    {
        int nHit = HitTest(pt);
        if (nHit != noHit && !m_bTracking)
        {
            StartTracking(nHit);
            m_ptTrackOffset = CPoint(pt.x - m_rectTracker.left, pt.y - m_rectTracker.top);
        }
        lResult = 0;
        return true;
    }
    case WM_MOUSEMOVE:
        if (m_bTracking)
            MoveTracker(pt);
        break;
    case WM_LBUTTONUP:
        StopTracking(TRUE);
        break;
    case WM_CANCELMODE:
    case WM_CAPTURECHANGED:
        StopTracking(FALSE);
        break;
    case WM_KEYDOWN:
        if (m_bTracking && wParam == VK_ESCAPE)
        {
            StopTracking(FALSE);
            lResult = 0;
            return true;
        }
        break;
    default:
        break;
    }
    return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
}
