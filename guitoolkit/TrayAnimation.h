// Moving a window into the notification area and back: the window leaves the
// taskbar by getting a hidden owner, and comes back by losing it; the system
// animates the way when it animates windows (or when forced).
#pragma once

#include <windows.h>

void AnimateToTray(HWND hWnd, BOOL bForce);
void AnimateFromTray(HWND hWnd, BOOL bForce);
// The notification area's rectangle on the screen, or the best guess of it.
void GetTrayRect(RECT* pRect);

// What the screen tells of the taskbar; each part only when it was found.
struct stTrayGeometry
{
    bool bTaskbar;
    RECT rcTaskbar;
    bool bNotifyArea;
    RECT rcNotifyArea;
    bool bClock;
    RECT rcClock;
    bool bAppBar;
    UINT uAppBarEdge;
    RECT rcAppBar;
    RECT rcWorkArea;
};
// The tray rectangle from what was found: the taskbar's notification area
// less its clock, else a band at the far end of the application bar, else
// the work area's bottom-right corner.
void ComputeTrayRect(const stTrayGeometry& stGeometry, RECT* pRect);
