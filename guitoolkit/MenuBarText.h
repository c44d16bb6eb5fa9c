// Menu-bar text at any of the four right-angle escapements of the context's
// font, with the "&" prefix handled here, since the system's text drawing
// underlines at the wrong place once the text is rotated.
#pragma once

#include <windows.h>

class CDC;

// "&&" draws one "&"; a single "&" underlines the next character unless the
// format holds DT_HIDEPREFIX. DT_CENTER, DT_RIGHT, DT_VCENTER, DT_BOTTOM and
// DT_RTLREADING place the text; the context's text alignment and current
// position are left as they were. nLength -1: up to the terminator.
void DrawMenuBarText(CDC* pDC, const wchar_t* pszText, int nLength, const RECT& rc, UINT nFormat);
