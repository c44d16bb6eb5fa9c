#include "classlib/GdiObject.h"

#include <commctrl.h>

#include "classlib/DC.h"
#include "classlib/WinApp.h"

BOOL CGdiObject::Attach(HGDIOBJ hObject)
{
    if (hObject == NULL)
        return FALSE;
    DeleteObject();
    m_hObject = hObject;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ hObject = m_hObject;
    m_hObject = NULL;
    return hObject;
}

BOOL CGdiObject::DeleteObject()
{
    if (m_hObject == NULL)
        return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CFont::CreatePointFont(int nPointSize, const wchar_t* pszFaceName, CDC* pDC)
{
    LOGFONTW stFont = {};
    stFont.lfCharSet = DEFAULT_CHARSET;
    stFont.lfHeight = nPointSize;
    if (pszFaceName != nullptr)
        wcsncpy(stFont.lfFaceName, pszFaceName, LF_FACESIZE - 1);
    return CreatePointFontIndirect(&stFont, pDC);
}

BOOL CFont::CreatePointFontIndirect(const LOGFONTW* pLogFont, CDC* pDC)
{
    HDC hDC = pDC != nullptr ? pDC->m_hDC : ::GetDC(NULL);
    if (hDC == NULL)
        return FALSE;
    LOGFONTW stFont = *pLogFont;
    // Tenths of a point to logical units: a point is 1/72 inch.
    POINT pt = {0, ::MulDiv(::GetDeviceCaps(hDC, LOGPIXELSY), pLogFont->lfHeight, 720)};
    ::DPtoLP(hDC, &pt, 1);
    POINT ptOrigin = {0, 0};
    ::DPtoLP(hDC, &ptOrigin, 1);
    stFont.lfHeight = -abs(pt.y - ptOrigin.y);
    if (pDC == nullptr)
        ::ReleaseDC(NULL, hDC);
    return CreateFontIndirect(&stFont);
}

BOOL CBitmap::LoadBitmap(UINT nID)
{
    HINSTANCE hModule = CWinApp::FindResourceModule(MAKEINTRESOURCEW(nID), RT_BITMAP);
    return Attach(::LoadBitmapW(hModule, MAKEINTRESOURCEW(nID)));
}

BOOL CBitmap::LoadMappedBitmap(UINT nID)
{
    HINSTANCE hModule = CWinApp::FindResourceModule(MAKEINTRESOURCEW(nID), RT_BITMAP);
    COLORMAP stMap = {RGB(0, 0, 0), ::GetSysColor(COLOR_GRAYTEXT)};
    return Attach(::CreateMappedBitmap(hModule, nID, 0, &stMap, 1));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight)
{
    return pDC != nullptr && Attach(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
}
