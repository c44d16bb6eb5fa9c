#include "guitoolkit/SplashScreenText.h"

CSplashScreenText::CSplashScreenText() : m_nFormat(DefaultFormat), m_crText(RGB(0, 0, 0))
{
    LOGFONTW stFont = {};
    if (::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(stFont), &stFont) == sizeof(stFont))
        m_font.CreateFontIndirect(&stFont);
}

CSplashScreenText::CSplashScreenText(const wchar_t* pszText, const RECT& rc, UINT nFormat, const wchar_t* pszFaceName,
                                     int nPointSize, int nFontFlags, COLORREF crText)
    : m_strText(pszText), m_rect(rc), m_nFormat(nFormat), m_crText(crText)
{
    LOGFONTW stFont = {};
    stFont.lfCharSet = DEFAULT_CHARSET;
    stFont.lfHeight = nPointSize;
    stFont.lfWeight = (nFontFlags & FontBold) ? FW_BOLD : FW_NORMAL;
    stFont.lfItalic = (nFontFlags & FontItalic) ? TRUE : FALSE;
    stFont.lfUnderline = (nFontFlags & FontUnderline) ? TRUE : FALSE;
    if (pszFaceName != nullptr)
        wcsncpy(stFont.lfFaceName, pszFaceName, LF_FACESIZE - 1);
    m_font.CreatePointFontIndirect(&stFont);
}
