// Helpers for tests with real windows: draining the queue and saving a
// picture of a window for review.
#pragma once

#include <windows.h>

#include <functional>

// Dispatches what is waiting in this thread's queue; returns false if WM_QUIT came.
bool PumpPending();
// Pumps until the condition holds or the time is up; true when it holds.
bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs = 5000);
// Copies the window's screen area into a PNG file named after the case in
// the screenshot folder (VF_SCREENSHOT_DIR); false when it cannot.
bool SaveWindowPicture(HWND hWnd, const wchar_t* pszName);
// A 32-bit top-down section and its pixels; the caller deletes it.
HBITMAP CreateSection(int nWidth, int nHeight, void** ppBits);
// Reads a pixel of a 32-bit top-down section as 0x00BBGGRR.
COLORREF PixelOf(const void* pBits, int nWidth, int x, int y);
