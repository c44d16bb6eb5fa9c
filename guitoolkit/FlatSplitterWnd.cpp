#include "guitoolkit/FlatSplitterWnd.h"

#include "classlib/DC.h"
#include "classlib/WinApp.h"

namespace
{
void SetPaneId(HWND hPane, int nID)
{
    ::SetWindowLongPtrW(hPane, GWLP_ID, nID);
}
} // namespace

CFlatSplitterWnd::CFlatSplitterWnd()
{
    m_cxSplitter = m_cySplitter = 5;
    m_cxSplitterGap = m_cySplitterGap = 5;
    m_cxBorder = m_cyBorder = 1;
    m_cxBorderShare = m_cyBorderShare = 0;
}

int CFlatSplitterWnd::HiddenPaneId(int nRow, int nRowsShown) const
{
    // The column slot just past the rows shown: no pane of a one-column
    // splitter has it. With as many columns as rows it would be a real pane's id.
    return IdFromRowCol(nRow, 0) + nRowsShown;
}

BOOL CFlatSplitterWnd::HideRow(int nCol, int nRow)
{
    CWnd* pPane = GetPane(nRow, nCol);
    if (pPane == nullptr || m_nRows < 2)
        return FALSE;
    pPane->ShowWindow(SW_HIDE);
    SetPaneId(pPane->m_hWnd, HiddenPaneId(nRow, m_nRows));
    for (int row = nRow + 1; row < m_nRows; ++row)
    {
        if (CWnd* pLater = GetPane(row, nCol))
            SetPaneId(pLater->m_hWnd, IdFromRowCol(row - 1, nCol));
    }
    // The row's sizes wait past the rows shown, so ShowRow finds the height it had.
    CRowColInfo stHidden = m_arrRowInfo[nRow];
    m_arrRowInfo.erase(m_arrRowInfo.begin() + nRow);
    m_arrRowInfo.push_back(stHidden);
    --m_nRows;
    RecalcLayout();
    return TRUE;
}

BOOL CFlatSplitterWnd::ShowRow(int nCol, int nRow)
{
    if (m_nRows >= m_nMaxRows || nRow < 0 || nRow > m_nRows)
        return FALSE;
    HWND hHidden = ::GetDlgItem(m_hWnd, HiddenPaneId(nRow, m_nRows + 1));
    if (hHidden == NULL)
        return FALSE;
    ++m_nRows;
    // From the bottom up, so that no two panes share an id on the way.
    for (int row = m_nRows - 2; row >= nRow; --row)
    {
        if (CWnd* pLater = GetPane(row, nCol))
            SetPaneId(pLater->m_hWnd, IdFromRowCol(row + 1, nCol));
    }
    SetPaneId(hHidden, IdFromRowCol(nRow, nCol));
    CRowColInfo stHidden = m_arrRowInfo.back();
    m_arrRowInfo.pop_back();
    stHidden.nIdealSize = stHidden.nCurSize;
    m_arrRowInfo.insert(m_arrRowInfo.begin() + nRow, stHidden);
    ::ShowWindow(hHidden, SW_SHOWNA);
    RecalcLayout();
    return TRUE;
}

void CFlatSplitterWnd::OnDrawSplitter(CDC* pDC, ESplitType nType, const CRect& rect)
{
    if (nType == splitBorder && pDC != nullptr)
    {
        pDC->Draw3dRect(&rect, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
        return;
    }
    CSplitterWnd::OnDrawSplitter(pDC, nType, rect);
}

bool CFlatSplitterWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_LBUTTONDBLCLK)
    {
        CWinApp* pApp = CWinApp::GetApp();
        if (auto* pHost = dynamic_cast<CFlatSplitterHost*>(pApp != nullptr ? pApp->m_pMainWnd : nullptr))
            pHost->OnSplitterDblClk(this);
    }
    return CSplitterWnd::OnMessage(nMsg, wParam, lParam, lResult);
}
