// Helpers for tests with real windows: draining the queue and saving a
// picture of a window for review.
#pragma once

#include "ScreenPicture.h"

#include <windows.h>

#include <functional>

// Dispatches what is waiting in this thread's queue; returns false if WM_QUIT came.
bool PumpPending();
// Pumps until the condition holds or the time is up; true when it holds.
bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs = 5000);
// Copies the window's screen area into a PNG file named after the case in
// the screenshot folder (VF_SCREENSHOT_DIR), in the sub-folders a name with
// backslashes gives; false when it cannot.
bool SaveWindowPicture(HWND hWnd, const wchar_t* pszName);
// The window's rectangle in the client coordinates of another.
RECT WindowRectIn(HWND hWnd, HWND hOther);
// The visible popup-menu window of this thread, or null. Other test programs of a run may
// have menus open on the same display, which a search by class alone would find.
HWND ThreadPopupMenuWindow();
