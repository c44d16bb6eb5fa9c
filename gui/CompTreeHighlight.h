// CCompTreeHighlight: the computer tree's look of a highlighted item: a
// rounded double frame around the label filled with a vertical gradient,
// in one set of colours while the tree has the focus and another without.
#pragma once

#include "classlib/String.h"

#include <windows.h>


class CCompTreeHighlight
{
public:
    // From the system colours of the moment and the tree's own tints.
    void SetColors();

    // Before the control paints the item: the frame and the gradient around
    // the label's rectangle, widened over the icon to the left.
    void DrawFrame(HDC hDC, const RECT& rcLabel, int nIconWidth, bool bFocused) const;
    // Clears what an earlier highlight left around a plain item.
    void EraseFrame(HDC hDC, const RECT& rcLabel, int nIconWidth) const;
    // After the control painted the item: the label's own rectangle again,
    // over the control's selection colours.
    void DrawLabel(HDC hDC, const RECT& rcLabel, const CString& strLabel, bool bFocused) const;

    COLORREF m_crWindow = 0;
    COLORREF m_crText = 0;
    COLORREF m_crFocusOuter = 0;
    COLORREF m_crFocusInner = 0;
    COLORREF m_crFocusTop = 0;
    COLORREF m_crFocusBottom = 0;
    COLORREF m_crTop = 0;
    COLORREF m_crBottom = 0;
    COLORREF m_crOuter = 0;
    COLORREF m_crInner = 0;

private:
    // Outside the label on the left and on the right.
    static RECT FrameRect(const RECT& rcLabel, int nIconWidth);
};
