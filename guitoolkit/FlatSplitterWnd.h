// CFlatSplitterWnd: a splitter with thin flat bars, a one-pixel border, rows
// that can be hidden and shown again without destroying their panes, and an
// id by which the frame that holds several splitters tells them apart.
#pragma once

#include "classlib/SplitterWnd.h"

class CFlatSplitterWnd;

// The program's main frame, when it wants to hear of double clicks on its splitters.
class CFlatSplitterHost
{
public:
    virtual ~CFlatSplitterHost() = default;
    virtual void OnSplitterDblClk(CFlatSplitterWnd* pSplitter) = 0;
};

class CFlatSplitterWnd : public CSplitterWnd
{
public:
    CFlatSplitterWnd();

    // The row's pane stays, hidden and out of the grid; FALSE when there is
    // no such pane or it is the last row shown.
    BOOL HideRow(int nCol, int nRow);
    // The hidden pane comes back at the row with the height it had; FALSE
    // when no pane was hidden from that row.
    BOOL ShowRow(int nCol, int nRow);
    void SetSplitterId(int nId) { m_nSplitterId = nId; }
    int GetSplitterId() const { return m_nSplitterId; }

    void OnDrawSplitter(CDC* pDC, ESplitType nType, const CRect& rect) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    // The id a row's pane has while hidden.
    int HiddenPaneId(int nRow, int nRowsShown) const;

    int m_nSplitterId = 0;
};
