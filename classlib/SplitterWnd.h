// CSplitterWnd: a window that divides its area into a fixed grid of panes
// with bars between them, which the user drags to resize the rows and
// columns. Pane (row, col) is the child with the id IdFromRowCol(row, col).
#pragma once

#include "classlib/Geometry.h"
#include "classlib/Wnd.h"

#include <vector>

class CDC;

constexpr UINT ID_NEXT_PANE = 57680;
constexpr UINT ID_PREV_PANE = 57681;

class CSplitterWnd : public CWnd
{
public:
    enum ESplitType
    {
        splitBox,
        splitBar,
        splitIntersection,
        splitBorder
    };
    // Hit-test answers: the bar below a row, right of a column, or where two cross.
    enum
    {
        noHit = 0,
        rowBar1 = 101,
        colBar1 = 201,
        intersection1 = 301
    };
    // The row and column limit follows from the 16 pane ids a row has.
    static constexpr int MaxPanes = 16;

    struct CRowColInfo
    {
        int nMinSize;
        int nIdealSize;
        int nCurSize;
    };

    CSplitterWnd();

    // A grid of panes that CreateView fills; no panes are made here.
    virtual BOOL CreateStatic(CWnd* pParent, int nRows, int nCols, DWORD dwStyle = WS_CHILD | WS_VISIBLE,
                              UINT nID = 0xE900);
    // The factory's window as pane (row, col), with its ideal size.
    virtual BOOL CreateView(int row, int col, WndFactory pfnNewView, SIZE sizeInit);

    int GetRowCount() const { return m_nRows; }
    int GetColumnCount() const { return m_nCols; }
    void GetRowInfo(int row, int& cyCur, int& cyMin) const { GetInfo(m_arrRowInfo, row, cyCur, cyMin); }
    void SetRowInfo(int row, int cyIdeal, int cyMin) { SetInfo(m_arrRowInfo, row, cyIdeal, cyMin); }
    void GetColumnInfo(int col, int& cxCur, int& cxMin) const { GetInfo(m_arrColInfo, col, cxCur, cxMin); }
    void SetColumnInfo(int col, int cxIdeal, int cxMin) { SetInfo(m_arrColInfo, col, cxIdeal, cxMin); }
    CWnd* GetPane(int row, int col) const;
    int IdFromRowCol(int row, int col) const { return 0xE900 + row * MaxPanes + col; }
    BOOL IsChildPane(const CWnd* pWnd, int* pRow, int* pCol) const;

    // The pane that is the frame's active view, else the one with the focus.
    CWnd* GetActivePane(int* pRow = nullptr, int* pCol = nullptr) const;
    void SetActivePane(int row, int col);
    // The focus to the next pane in reading order, or the one before, round the grid.
    virtual void ActivateNext(BOOL bPrev = FALSE);

    // Sizes the rows and columns and places the panes in one deferred batch.
    virtual void RecalcLayout();
    // Without a context the part is only invalidated.
    virtual void OnDrawSplitter(CDC* pDC, ESplitType nType, const CRect& rect);
    virtual int HitTest(CPoint pt) const;

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;
    // The client area within the border.
    void GetInsideRect(CRect& rect) const;
    // Sizes of a row or column list: ideal sizes below the minimum collapse,
    // the last one takes the rest, and one left below its minimum goes to the
    // one before it.
    static void LayoutRowCol(std::vector<CRowColInfo>& arrInfo, int nCount, int nSize, int nGap);
    void DrawAllSplitBars(CDC* pDC);

    void StartTracking(int nHit);
    void StopTracking(BOOL bAccept);
    void MoveTracker(CPoint pt);
    void OnInvertTracker(const CRect& rect);

    int m_nMaxRows = 0;
    int m_nMaxCols = 0;
    int m_nRows = 0;
    int m_nCols = 0;
    int m_cxSplitter = 7;
    int m_cySplitter = 7;
    int m_cxBorderShare = 1;
    int m_cyBorderShare = 1;
    int m_cxSplitterGap = 7;
    int m_cySplitterGap = 7;
    int m_cxBorder = 2;
    int m_cyBorder = 2;
    std::vector<CRowColInfo> m_arrRowInfo;
    std::vector<CRowColInfo> m_arrColInfo;

    bool m_bTracking = false;
    int m_htTrack = noHit;
    CRect m_rectTracker;
    CRect m_rectLimit;
    CPoint m_ptTrackOffset;

private:
    // An index out of the list reads as zero sizes and sets nothing.
    static void GetInfo(const std::vector<CRowColInfo>& arrInfo, int nIndex, int& nCur, int& nMin);
    static void SetInfo(std::vector<CRowColInfo>& arrInfo, int nIndex, int nIdeal, int nMin);
    // The bar's rectangle for a hit code of a bar, empty for others.
    CRect BarRect(int nHit) const;
    // The top of each row and the left of each column from the current sizes.
    int RowTop(int row) const;
    int ColLeft(int col) const;
};
