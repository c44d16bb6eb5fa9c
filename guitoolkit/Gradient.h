// The two-colour gradient that menus, bars and titles share.
#pragma once

#include <windows.h>

class CDC;

// Fills the rectangle from one colour to the other, left to right when
// horizontal, else top to bottom. bNearest asks for device colours on a
// palette device, where the bound GradientFill is not used.
void DrawGradient(CDC* pDC, const RECT& rc, COLORREF crFrom, COLORREF crTo, BOOL bHorizontal, BOOL bNearest);
