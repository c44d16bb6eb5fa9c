#include "guitoolkit/Gradient.h"

#include "classlib/DC.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
// Steps of two pixels: fine enough for the eye, half the fills.
constexpr int BandWidth = 2;

COLOR16 Channel16(BYTE nChannel)
{
    return static_cast<COLOR16>(nChannel << 8);
}

bool FillThroughSystem(CDC* pDC, const RECT& rc, COLORREF crFrom, COLORREF crTo, BOOL bHorizontal)
{
    auto pfnGradientFill = ToolkitEnvironment().pfnGradientFill;
    if (pfnGradientFill == nullptr)
        return false;
    TRIVERTEX aVertex[2] = {
        {rc.left, rc.top, Channel16(GetRValue(crFrom)), Channel16(GetGValue(crFrom)), Channel16(GetBValue(crFrom)), 0},
        {rc.right, rc.bottom, Channel16(GetRValue(crTo)), Channel16(GetGValue(crTo)), Channel16(GetBValue(crTo)), 0}};
    GRADIENT_RECT stRect = {0, 1};
    return pfnGradientFill(pDC->m_hDC, aVertex, 2, &stRect, 1,
                           bHorizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V) != FALSE;
}

COLORREF StepColor(COLORREF crFrom, COLORREF crTo, int nStep, int nSpan)
{
    auto channel = [nStep, nSpan](int a, int b) { return a + ::MulDiv(b - a, nStep, nSpan); };
    return RGB(channel(GetRValue(crFrom), GetRValue(crTo)), channel(GetGValue(crFrom), GetGValue(crTo)),
               channel(GetBValue(crFrom), GetBValue(crTo)));
}
} // namespace

void DrawGradient(CDC* pDC, const RECT& rc, COLORREF crFrom, COLORREF crTo, BOOL bHorizontal, BOOL bNearest)
{
    if (pDC == nullptr || pDC->m_hDC == NULL || ::IsRectEmpty(&rc))
        return;
    bool bTrueColour = pDC->GetDeviceCaps(NUMCOLORS) == -1;
    if ((bTrueColour || !bNearest) && FillThroughSystem(pDC, rc, crFrom, crTo, bHorizontal))
        return;
    int nLength = bHorizontal ? rc.right - rc.left : rc.bottom - rc.top;
    // The bands divide by the length less one band; a strip that thin has
    // room for its first colour only.
    if (nLength <= BandWidth)
    {
        pDC->FillSolidRect(&rc, crFrom);
        return;
    }
    pDC->FillSolidRect(&rc, crTo);
    int nSpan = nLength - BandWidth;
    for (int nStep = 0; nStep <= nSpan; nStep += BandWidth)
    {
        COLORREF cr = StepColor(crFrom, crTo, nStep, nSpan);
        if (bNearest)
            cr = pDC->GetNearestColor(cr);
        RECT rcBand = rc;
        if (bHorizontal)
        {
            rcBand.left = rc.left + nStep;
            rcBand.right = rcBand.left + BandWidth;
        }
        else
        {
            rcBand.top = rc.top + nStep;
            rcBand.bottom = rcBand.top + BandWidth;
        }
        pDC->FillSolidRect(&rcBand, cr);
    }
}
