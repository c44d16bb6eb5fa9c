// Colour arithmetic and the colours of menus and bars, the Windows version
// class, bitmap helpers and the search for a free timer id: free functions
// shared by the menu, the bars and the themes. GUI thread only.
#pragma once

#include <windows.h>

#include <vector>

// 0-1 and 2-4: the 9x family (old, 95/98/ME); 5-7: NT 4, 2000, XP and later; 1: NT before 4.
int GetWinVersionClass();
// The class for the values GetVersion and GetVersionExW report.
int VersionClassOf(DWORD dwGetVersion, DWORD dwMajor, DWORD dwMinor);

// A timer id from 31 to 99 that this window got from no earlier call and that
// was not released since; 0 when none is left or the window is gone.
UINT_PTR SetFreeTimer(HWND hWnd, UINT nElapse);
// Stops the timer and makes its id free again.
BOOL KillFreeTimer(HWND hWnd, UINT_PTR nID);

// A monochrome mask: 1 where the source has the colour. Those source pixels become black.
HBITMAP CreateMaskBitmap(HBITMAP hSource, COLORREF crTransparent);

COLORREF DarkenTowardBlue(COLORREF cr);
COLORREF DarkenColor(int nAmount, COLORREF cr);
COLORREF LightenColor(int nAmount, COLORREF cr);
COLORREF BlendColors86(COLORREF a, COLORREF b);
COLORREF BlendColors70(COLORREF a, COLORREF b);
// (a * (255 - w) + b * w) / 256 per channel; b of -1 gives -1.
COLORREF MixColors(COLORREF a, COLORREF b, int nWeight);

COLORREF GetMenuBackgroundColor(HMENU hMenu);
COLORREF GetBarFaceColor();
COLORREF GetMenuBarColor(HMENU hMenu);
int GetScreenColorCount();
// The bitmap resource (module null: the application's resource module) and
// its colour count; null when it is missing.
HBITMAP LoadBitmapWithColors(UINT nID, HINSTANCE hModule, int* pnColors);
HBITMAP LoadBitmapWithColors(const wchar_t* pszName, HINSTANCE hModule, int* pnColors);
// A bitmap's pixels as 32-bit top-down 0x00RRGGBB values, and back.
bool ReadBitmapPixels(HBITMAP hBitmap, BITMAPINFO& stInfo, std::vector<DWORD>& pixels);
bool WriteBitmapPixels(HBITMAP hBitmap, const BITMAPINFO& stInfo, const std::vector<DWORD>& pixels);
// Greys every pixel and tints it toward the colour; the colour of pixel (0, 0) afterwards.
COLORREF GreyBlendBitmap(HBITMAP hBitmap, int nWeight, COLORREF cr);
RECT& GetMonitorWorkArea(RECT& rcWork, const RECT& rc);
COLORREF GetSelectionColor();
COLORREF GetBarColors(COLORREF& crFirst, COLORREF& crSecond, BOOL bLight);
COLORREF GetBarBackgroundColor();
// Text on a ground that is dark (the modern style's black bars) is white;
// on any other ground, or one that could not be read, crText.
COLORREF ReadableTextColor(COLORREF crGround, COLORREF crText);
// The fixed colours some visual styles' bars take instead of a computed one.
COLORREF SnapBarColor(COLORREF cr);
