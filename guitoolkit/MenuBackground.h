// The background brush of the current menu theme, set on a frame's menu so
// that the system paints the popup margins in the theme's colours.
#pragma once

#include <windows.h>

// Sets the theme's menu brush as the menu's background when the menu is a
// skin menu; other menus keep the system's.
void UpdateMenuBackground(HMENU hMenu);
