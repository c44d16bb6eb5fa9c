#include "guitoolkit/MenuShadow.h"

#include "classlib/DC.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <vector>

namespace
{
constexpr int ShadowDepth = 4;
constexpr int KeepFactor = 255;

// Column t of the right band counts from the outermost (x = W - 1); row j
// runs down its fading head and its tail.
int RightBandFactor(int t, int y, int nHeight)
{
    if (y < ShadowDepth)
        return KeepFactor;
    if (y < 2 * ShadowDepth)
        return 249 - 6 * t - 6 * (t + 1) * (y - ShadowDepth);
    if (y < nHeight - ShadowDepth)
        return 225 - 30 * t;
    int j = y - (nHeight - ShadowDepth);
    return 255 - 6 * (t + 1) * (ShadowDepth - j);
}

int BottomBandFactor(int s, int x)
{
    if (x < ShadowDepth)
        return KeepFactor;
    if (x < 2 * ShadowDepth)
        return 249 - 6 * s - 6 * (s + 1) * (x - ShadowDepth);
    return 225 - 30 * s;
}

// The factor on the screen pixel at (x, y) of a window W by H; 255 keeps it.
int ShadowFactor(int x, int y, int nWidth, int nHeight)
{
    if (x >= nWidth - ShadowDepth)
        return RightBandFactor(nWidth - 1 - x, y, nHeight);
    if (y >= nHeight - ShadowDepth)
        return BottomBandFactor(nHeight - 1 - y, x);
    return KeepFactor;
}

COLORREF Scaled(DWORD dwPixel, int nFactor)
{
    return RGB(::MulDiv((dwPixel >> 16) & 0xFF, nFactor, 255), ::MulDiv((dwPixel >> 8) & 0xFF, nFactor, 255),
               ::MulDiv(dwPixel & 0xFF, nFactor, 255));
}

// On a palette: two lines of the button shadow inside two lines of the screen.
COLORREF PaletteShadowPixel(DWORD dwPixel, int x, int y, int nWidth, int nHeight)
{
    COLORREF crScreen = Scaled(dwPixel, KeepFactor);
    if (x >= nWidth - 2 || y >= nHeight - 2)
        return crScreen;
    if (x >= nWidth - ShadowDepth)
        return y < ShadowDepth ? crScreen : ToolkitEnvironment().SysColor(COLOR_BTNSHADOW);
    return x < ShadowDepth ? crScreen : ToolkitEnvironment().SysColor(COLOR_BTNSHADOW);
}
} // namespace

bool SystemDrawsMenuShadows()
{
    BOOL bShadow = FALSE;
    return ::SystemParametersInfoW(SPI_GETDROPSHADOW, 0, &bShadow, 0) && bShadow;
}

void FillBands(CDC* pDC, const RECT& rcOuter, const RECT& rcInner, COLORREF cr)
{
    pDC->FillSolidRect(rcOuter.left, rcOuter.top, rcOuter.right - rcOuter.left, rcInner.top - rcOuter.top, cr);
    pDC->FillSolidRect(rcOuter.left, rcInner.bottom, rcOuter.right - rcOuter.left, rcOuter.bottom - rcInner.bottom, cr);
    pDC->FillSolidRect(rcOuter.left, rcOuter.top, rcInner.left - rcOuter.left, rcOuter.bottom - rcOuter.top, cr);
    pDC->FillSolidRect(rcInner.right - 1, rcOuter.top, rcOuter.right - rcInner.right + 1, rcOuter.bottom - rcOuter.top,
                       cr);
}

void PaintOwnShadow(CDC* pDC, HBITMAP hSavedScreen, int nWidth, int nHeight, int nColors)
{
    BITMAPINFO stInfo;
    std::vector<DWORD> pixels;
    if (pDC == nullptr || nWidth <= ShadowDepth || nHeight <= ShadowDepth ||
        !ReadBitmapPixels(hSavedScreen, stInfo, pixels))
        return;
    int nSavedWidth = stInfo.bmiHeader.biWidth;
    int nSavedHeight = -stInfo.bmiHeader.biHeight;
    if (nSavedWidth < nWidth || nSavedHeight < nHeight)
        return;
    auto paint = [&](int x, int y) {
        DWORD dwPixel = pixels[static_cast<size_t>(y) * nSavedWidth + x];
        COLORREF cr = nColors <= 256 ? PaletteShadowPixel(dwPixel, x, y, nWidth, nHeight)
                                     : Scaled(dwPixel, ShadowFactor(x, y, nWidth, nHeight));
        pDC->SetPixel(x, y, cr);
    };
    for (int x = nWidth - ShadowDepth; x < nWidth; ++x)
        for (int y = 0; y < nHeight; ++y)
            paint(x, y);
    for (int y = nHeight - ShadowDepth; y < nHeight; ++y)
        for (int x = 0; x < nWidth - ShadowDepth; ++x)
            paint(x, y);
}
