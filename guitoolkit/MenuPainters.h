// The measuring and painting rules of the menu looks. Each theme is made
// with one measure and one draw rule; title items of every theme go to
// DrawTitle. bMenuBar: the item stands in a menu bar.
#pragma once

#include <windows.h>

class CSkinMenu;

void MeasureItemClassic(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar);
void MeasureItemGradient(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar);
void MeasureItemXP(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar);

void DrawItemClassic(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);
void DrawItemFlat(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);
void DrawItemGradient(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);
void DrawItemXP(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);
void DrawItem2003(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar);

void DrawTitle(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw);
