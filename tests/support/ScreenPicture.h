// Pictures of the screen, kept as PNG files for a reviewer to look at.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A copy of a rectangle of the screen taken through the screen DC. That way also sees the
// windows of other processes and their open popup menus; PrintWindow on another process's
// window gives a black picture under Wine.
class CScreenPicture
{
public:
    // Copies the rectangle (screen coordinates); Empty() when it cannot.
    explicit CScreenPicture(const RECT& rc);
    // The whole window as painted into its own surface, whatever lies over it on the
    // screen, which other programs on the same display share.
    static CScreenPicture OfWindow(HWND hWnd);

    bool Empty() const { return m_pixels.empty(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    // Two pictures are alike when they have the same size and the same pixels.
    bool SameAs(const CScreenPicture& other) const;
    // Writes the picture as a PNG file; false when it cannot, also for an empty picture.
    bool SavePng(const std::wstring& strPath) const;

private:
    CScreenPicture() = default;
    void CopyFrom(HDC hSource, const RECT& rc);

    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<DWORD> m_pixels; // 0x00RRGGBB, rows top down
};

// A 32-bit top-down section and its pixels; the caller deletes it.
HBITMAP CreateSection(int nWidth, int nHeight, void** ppBits);
// Reads a pixel of a 32-bit top-down section as 0x00BBGGRR.
COLORREF PixelOf(const void* pBits, int nWidth, int x, int y);
