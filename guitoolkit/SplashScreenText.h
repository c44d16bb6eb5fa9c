// CSplashScreenText: one text drawn over the splash bitmap, with its own
// rectangle, font, format and colour.
#pragma once

#include "classlib/GdiObject.h"
#include "classlib/Geometry.h"
#include "classlib/String.h"

class CSplashScreenText
{
public:
    // Centred both ways, broken into lines.
    static constexpr UINT DefaultFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK;
    // Font flag bits.
    static constexpr int FontBold = 0x1;
    static constexpr int FontItalic = 0x2;
    static constexpr int FontUnderline = 0x4;

    // Empty text and rectangle, the default GUI font.
    CSplashScreenText();
    // A point font (size in tenths of a point) of that face, with the flags.
    CSplashScreenText(const wchar_t* pszText, const RECT& rc, UINT nFormat, const wchar_t* pszFaceName,
                      int nPointSize, int nFontFlags, COLORREF crText);

    CString m_strText;
    CRect m_rect;
    CFont m_font;
    UINT m_nFormat;
    COLORREF m_crText;
};
