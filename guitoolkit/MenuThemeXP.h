// CMenuThemeXP and CMenuTheme2003: the flat looks whose popups take the
// menu's own colour, with a face, an icon bar and a dark border around them.
// The 2003 look differs only in the painters it is made with.
#pragma once

#include "guitoolkit/MenuTheme.h"

class CMenuThemeXP : public CMenuTheme
{
public:
    using CMenuTheme::CMenuTheme;

    void DrawBorder(HWND hPopup, CDC* pWindowDC, BOOL bSkipFrame) override;
    BOOL EraseBackground(HWND hPopup, CDC* pDC) override;

private:
    // The popup's edge where it meets the open menu-bar item, in the bar
    // colour, so that item and popup read as one shape.
    void PaintGap(HWND hPopup, CDC* pWindowDC, COLORREF crMenu) const;
};

class CMenuTheme2003 : public CMenuThemeXP
{
public:
    using CMenuThemeXP::CMenuThemeXP;
};
