// CSkinStatusBar: a status bar that paints itself in the colours of the
// current menu theme: its background, each pane's icon and text in the menu
// font, and a size grip of dots or diagonal lines.
#pragma once

#include "classlib/StatusBar.h"

class CDC;
class CFont;

class CSkinStatusBar : public CStatusBar
{
public:
    void PreSubclassWindow() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    // The pane's rectangle as painted: the last pane reaches the bar's end
    // (short of the grip) when it stretches, else ends after its width.
    void GetPaneDrawRect(int nIndex, RECT& rc) const;

    // The font the pane texts are painted in: the menu font of the system's
    // non-client metrics. FALSE when it cannot be made.
    static BOOL CreatePaneFont(CFont& font);

    // The grip of the theme in the rectangle's bottom-right corner.
    static void DrawGrip(CDC* pDC, const CRect& rcGrip, int nThemeId);
    // A triangle of 2-by-2 dots, each with a highlight one pixel down and
    // right unless crHighlight is CLR_NONE.
    static void DrawGripDots(CDC* pDC, const CRect& rcGrip, COLORREF crDot, COLORREF crHighlight);
    static void DrawGripLines(CDC* pDC, const CRect& rcGrip);

protected:
    // The whole bar on any DC; the grip only while the window is not maximised.
    void Paint(CDC* pDC);
    void DrawPanes(CDC* pDC);
};
