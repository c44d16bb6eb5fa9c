#include "guitoolkit/MenuBarText.h"

#include "classlib/DC.h"

#include <algorithm>
#include <string>

namespace
{
// Rotated text starts this far from the end it reads from.
constexpr int RotatedStartInset = 4;

struct stPrefixedText
{
    std::wstring strShown;
    // Index in strShown of the character to underline, -1 for none.
    int nUnderline = -1;
};

stPrefixedText StripPrefixes(const wchar_t* pszText, int nLength)
{
    stPrefixedText stText;
    for (int i = 0; i < nLength; ++i)
    {
        if (pszText[i] == L'&' && i + 1 < nLength)
        {
            ++i;
            if (pszText[i] != L'&' && stText.nUnderline < 0)
                stText.nUnderline = static_cast<int>(stText.strShown.size());
        }
        else if (pszText[i] == L'&')
            continue;
        stText.strShown.push_back(pszText[i]);
    }
    return stText;
}

int NormalEscapement(int nEscapement)
{
    switch (nEscapement)
    {
    case 900:
    case 1800:
    case 2700:
        return nEscapement;
    default:
        return 0;
    }
}

// Where the text's own top-left corner goes on the context: u runs along the
// text, v across it, and the escapement turns both.
POINT TextOrigin(const RECT& rc, int nEscapement, SIZE szText, UINT nFormat)
{
    bool bRtl = (nFormat & DT_RTLREADING) != 0;
    auto along = [&](int nStart, int nEnd) {
        if (nFormat & DT_CENTER)
            return (nStart + nEnd - (nEnd > nStart ? szText.cx : -szText.cx)) / 2;
        bool bFromEnd = ((nFormat & DT_RIGHT) != 0) != bRtl;
        return bFromEnd ? nEnd - (nEnd > nStart ? szText.cx : -szText.cx) : nStart;
    };
    switch (nEscapement)
    {
    case 900: // reads upwards, the glyphs' tops to the left
        return {(nFormat & DT_VCENTER) ? (rc.left + rc.right - szText.cy) / 2 : rc.left,
                (nFormat & DT_CENTER) ? along(rc.bottom, rc.top) : rc.bottom - RotatedStartInset};
    case 2700: // reads downwards, the tops to the right
        return {(nFormat & DT_VCENTER) ? (rc.left + rc.right + szText.cy) / 2 : rc.right,
                (nFormat & DT_CENTER) ? along(rc.top, rc.bottom) : rc.top + RotatedStartInset};
    case 1800:
        return {along(rc.right, rc.left), (nFormat & DT_VCENTER) ? (rc.top + rc.bottom + szText.cy) / 2 : rc.bottom};
    default:
    {
        int y = rc.top;
        if (nFormat & DT_VCENTER)
            y = (rc.top + rc.bottom - szText.cy) / 2;
        else if (nFormat & DT_BOTTOM)
            y = rc.bottom - szText.cy;
        return {along(rc.left, rc.right), y};
    }
    }
}

// A point u along and v across the text, on the context.
POINT Turn(POINT ptOrigin, int nEscapement, int u, int v)
{
    switch (nEscapement)
    {
    case 900:
        return {ptOrigin.x + v, ptOrigin.y - u};
    case 1800:
        return {ptOrigin.x - u, ptOrigin.y - v};
    case 2700:
        return {ptOrigin.x - v, ptOrigin.y + u};
    default:
        return {ptOrigin.x + u, ptOrigin.y + v};
    }
}

void DrawUnderline(CDC* pDC, const stPrefixedText& stText, POINT ptOrigin, int nEscapement, int nAcross)
{
    SIZE szBefore = pDC->GetTextExtent(stText.strShown.c_str(), stText.nUnderline);
    SIZE szChar = pDC->GetTextExtent(stText.strShown.c_str() + stText.nUnderline, 1);
    POINT ptStart = Turn(ptOrigin, nEscapement, szBefore.cx, nAcross);
    POINT ptEnd = Turn(ptOrigin, nEscapement, szBefore.cx + szChar.cx, nAcross + 1);
    RECT rcBar = {std::min(ptStart.x, ptEnd.x), std::min(ptStart.y, ptEnd.y), std::max(ptStart.x, ptEnd.x),
                  std::max(ptStart.y, ptEnd.y)};
    pDC->FillSolidRect(&rcBar, ::GetTextColor(pDC->m_hDC));
}

// Rotated text needs an outline font; a raster font would print unrotated.
bool NeedsOutlineFont(CDC* pDC, int nEscapement)
{
    TEXTMETRICW stMetrics = {};
    return nEscapement != 0 && pDC->GetTextMetrics(&stMetrics) && !(stMetrics.tmPitchAndFamily & TMPF_TRUETYPE);
}
} // namespace

void DrawMenuBarText(CDC* pDC, const wchar_t* pszText, int nLength, const RECT& rc, UINT nFormat)
{
    if (pDC == nullptr || pDC->m_hDC == NULL || pszText == nullptr)
        return;
    if (nLength < 0)
        nLength = static_cast<int>(wcslen(pszText));
    LOGFONTW stFont = {};
    HFONT hCurrent = pDC->GetCurrentFont();
    if (hCurrent == NULL || ::GetObjectW(hCurrent, sizeof(stFont), &stFont) != sizeof(stFont))
        stFont.lfEscapement = 0;
    int nEscapement = NormalEscapement(stFont.lfEscapement);
    HFONT hOutline = NULL;
    HGDIOBJ hOldFont = NULL;
    if (NeedsOutlineFont(pDC, nEscapement))
    {
        wcscpy_s(stFont.lfFaceName, L"Arial");
        stFont.lfOutPrecision = OUT_TT_ONLY_PRECIS;
        hOutline = ::CreateFontIndirectW(&stFont);
        if (hOutline != NULL)
            hOldFont = ::SelectObject(pDC->m_hDC, hOutline);
    }

    stPrefixedText stText = StripPrefixes(pszText, nLength);
    int nShown = static_cast<int>(stText.strShown.size());
    SIZE szText = pDC->GetTextExtent(stText.strShown.c_str(), nShown);
    TEXTMETRICW stMetrics = {};
    if (!pDC->GetTextMetrics(&stMetrics))
        stMetrics.tmAscent = szText.cy;
    POINT ptOrigin = TextOrigin(rc, nEscapement, szText, nFormat);

    UINT nOldAlign = ::SetTextAlign(pDC->m_hDC, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    POINT ptOldPosition = {0, 0};
    ::MoveToEx(pDC->m_hDC, ptOrigin.x, ptOrigin.y, &ptOldPosition);
    pDC->TextOut(ptOrigin.x, ptOrigin.y, stText.strShown.c_str(), nShown);
    if (stText.nUnderline >= 0 && !(nFormat & DT_HIDEPREFIX))
        DrawUnderline(pDC, stText, ptOrigin, nEscapement, stMetrics.tmAscent + 1);
    ::MoveToEx(pDC->m_hDC, ptOldPosition.x, ptOldPosition.y, nullptr);
    if (nOldAlign != GDI_ERROR)
        ::SetTextAlign(pDC->m_hDC, nOldAlign);

    if (hOldFont != NULL)
        ::SelectObject(pDC->m_hDC, hOldFont);
    if (hOutline != NULL)
        ::DeleteObject(hOutline);
}
