// CDockBar: the strip along one side of a frame (or inside a floating frame)
// that holds docked bars. Its bar array lists them in rows, a null entry
// between two rows: horizontal sides lay a row left to right and stack the
// rows downwards, vertical sides lay columns top to bottom from left to right.
#pragma once

#include "classlib/ControlBar.h"

#include <vector>

class CDockBar : public CControlBar
{
public:
    // bFloating: the dock bar of a floating frame.
    explicit CDockBar(BOOL bFloating = FALSE);
    ~CDockBar() override;

    BOOL Create(CWnd* pParent, DWORD dwStyle, UINT nID);
    // Takes the bar in: into the row at the rectangle's middle (screen), or a new last row.
    void DockControlBar(CControlBar* pBar, LPCRECT pRect = nullptr);
    // Takes the bar out; a row it leaves empty goes with it.
    BOOL RemoveControlBar(CControlBar* pBar);
    int GetDockedCount() const;
    int GetDockedVisibleCount() const;
    // The index of the bar in the array, -1 when absent.
    int FindBar(const CControlBar* pBar) const;

    CSize CalcFixedLayout(BOOL bStretch, BOOL bHorz) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void PostNcDestroy() override;

    // Bars and row breaks; starts and ends with a break.
    std::vector<CControlBar*> m_arrBars;
    BOOL m_bFloating;
    // Dock bars made by the frame delete themselves with their window.
    BOOL m_bAutoDelete;

protected:
    LRESULT OnSizeParent(stSizeParentLayout* pLayout) override;

    // The layout rectangle of the pass under way (client of the frame).
    CRect m_rectLayout;

private:
    // Lays one row out from the offset; returns the row's thickness.
    int LayoutRow(size_t nFirst, size_t nEnd, int nOffset, int nLength, BOOL bStretch, BOOL bHorz);
    CSize SizeOfBar(CControlBar* pBar, BOOL bStretch, BOOL bHorz) const;
    void RemoveEmptyRows();
};
