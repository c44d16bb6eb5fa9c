// Moving a window into the notification area and back: the window leaves the
// taskbar by getting a hidden owner, and comes back by losing it; the system
// animates the way when it animates windows (or when forced).
#pragma once

#include <windows.h>

void AnimateToTray(HWND hWnd, BOOL bForce);
void AnimateFromTray(HWND hWnd, BOOL bForce);
// The notification area's rectangle on the screen, or the best guess of it.
void GetTrayRect(RECT* pRect);
