#include "ScreenPicture.h"

#include "PngEncoder.h"

#include <cstdio>
#include <cstring>

HBITMAP CreateSection(int nWidth, int nHeight, void** ppBits)
{
    BITMAPINFO stInfo = {};
    stInfo.bmiHeader.biSize = sizeof(stInfo.bmiHeader);
    stInfo.bmiHeader.biWidth = nWidth;
    stInfo.bmiHeader.biHeight = -nHeight;
    stInfo.bmiHeader.biPlanes = 1;
    stInfo.bmiHeader.biBitCount = 32;
    return ::CreateDIBSection(NULL, &stInfo, DIB_RGB_COLORS, ppBits, nullptr, 0);
}

COLORREF PixelOf(const void* pBits, int nWidth, int x, int y)
{
    DWORD dwPixel = static_cast<const DWORD*>(pBits)[y * nWidth + x];
    return RGB((dwPixel >> 16) & 0xFF, (dwPixel >> 8) & 0xFF, dwPixel & 0xFF);
}

CScreenPicture::CScreenPicture(const RECT& rc)
{
    HDC hScreen = ::GetDC(NULL);
    if (hScreen == NULL)
        return;
    CopyFrom(hScreen, rc);
    ::ReleaseDC(NULL, hScreen);
}

CScreenPicture CScreenPicture::OfWindow(HWND hWnd)
{
    CScreenPicture picture;
    RECT rc;
    if (!::GetWindowRect(hWnd, &rc))
        return picture;
    HDC hWindow = ::GetWindowDC(hWnd);
    if (hWindow == NULL)
        return picture;
    picture.CopyFrom(hWindow, {0, 0, rc.right - rc.left, rc.bottom - rc.top});
    ::ReleaseDC(hWnd, hWindow);
    return picture;
}

void CScreenPicture::CopyFrom(HDC hSource, const RECT& rc)
{
    int nWidth = rc.right - rc.left, nHeight = rc.bottom - rc.top;
    if (nWidth <= 0 || nHeight <= 0)
        return;
    void* pBits = nullptr;
    HDC hMemory = ::CreateCompatibleDC(hSource);
    HBITMAP hBitmap = CreateSection(nWidth, nHeight, &pBits);
    bool bCopied = false;
    if (hMemory != NULL && hBitmap != NULL)
    {
        HGDIOBJ hOld = ::SelectObject(hMemory, hBitmap);
        bCopied = ::BitBlt(hMemory, 0, 0, nWidth, nHeight, hSource, rc.left, rc.top, SRCCOPY) != FALSE;
        ::SelectObject(hMemory, hOld);
    }
    if (bCopied)
    {
        ::GdiFlush();
        const DWORD* pFirst = static_cast<const DWORD*>(pBits);
        m_pixels.assign(pFirst, pFirst + static_cast<size_t>(nWidth) * nHeight);
        m_nWidth = nWidth;
        m_nHeight = nHeight;
    }
    if (hBitmap != NULL)
        ::DeleteObject(hBitmap);
    if (hMemory != NULL)
        ::DeleteDC(hMemory);
}

bool CScreenPicture::SameAs(const CScreenPicture& other) const
{
    return m_nWidth == other.m_nWidth && m_nHeight == other.m_nHeight && m_pixels == other.m_pixels;
}

bool CScreenPicture::SavePng(const std::wstring& strPath) const
{
    if (Empty())
        return false;
    std::vector<BYTE> rgb;
    rgb.reserve(m_pixels.size() * 3);
    for (DWORD dwPixel : m_pixels)
    {
        rgb.push_back(static_cast<BYTE>(dwPixel >> 16));
        rgb.push_back(static_cast<BYTE>(dwPixel >> 8));
        rgb.push_back(static_cast<BYTE>(dwPixel));
    }
    std::vector<BYTE> png = EncodePng(rgb, m_nWidth, m_nHeight);
    FILE* pFile = _wfopen(strPath.c_str(), L"wb");
    if (pFile == nullptr)
        return false;
    bool bWritten = fwrite(png.data(), 1, png.size(), pFile) == png.size();
    bool bClosed = fclose(pFile) == 0;
    // A cut-off file would pass for a picture of something else.
    if (!(bWritten && bClosed))
        _wremove(strPath.c_str());
    return bWritten && bClosed;
}
