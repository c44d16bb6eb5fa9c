// CSkinDockBar: a dock bar painted with the theme's bar brush that gives the
// menu bar a row of its own, at the start of the row.
#pragma once

#include "classlib/DockBar.h"

#include <functional>

class CDC;
class CFrameWnd;

class CSkinDockBar : public CDockBar
{
public:
    DWORD RecalcDelayShow(stSizeParentLayout* pLayout) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    BOOL OnEraseBkgnd(HDC hDC);
    void OnNcPaint();
};

// The theme's bar brush: the background the theme gave the menu of the
// window's top-level skin frame; null without one.
HBRUSH BarBrushOf(const CWnd& wnd);

// Paints a bar's non-client area: on its window context, clipped to what
// lies outside the client area, the ground over the whole window, then the
// gripper.
void PaintBarNonClient(CControlBar& bar, const std::function<void(CDC& dc, const CRect& rcWindow)>& fillGround);

// Skin dock bars on the sides the style names (CBRS_ALIGN_*), none twice, and
// skin floating frames; throws CResourceException when a dock bar cannot be made.
void EnableSkinDocking(CFrameWnd* pFrame, DWORD dwDockStyle);
