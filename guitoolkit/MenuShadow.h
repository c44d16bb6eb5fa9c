// The pieces of a popup border that every theme with its own border shares:
// the band filler and the own shadow laid over the saved screen.
#pragma once

#include <windows.h>

class CDC;

// Whether the system draws drop shadows under menus itself.
bool SystemDrawsMenuShadows();
// Fills the four bands between the outer and the inner rectangle; the right
// band takes in the inner rectangle's last column.
void FillBands(CDC* pDC, const RECT& rcOuter, const RECT& rcInner, COLORREF cr);
// The shadow in the four right and bottom pixels of a window nWidth by
// nHeight, made from the saved screen under it (at least that size).
// nColors: the screen's colour count.
void PaintOwnShadow(CDC* pDC, HBITMAP hSavedScreen, int nWidth, int nHeight, int nColors);
