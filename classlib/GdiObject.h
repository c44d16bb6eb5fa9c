// CGdiObject and its kinds (pen, brush, font, bitmap, region): each owns the
// GDI object it created or attached and deletes it when it goes.
#pragma once

#include "classlib/Object.h"

#include <windows.h>

class CDC;

class CGdiObject : public CObject
{
public:
    CGdiObject() : m_hObject(NULL) {}
    ~CGdiObject() override { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ m_hObject;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ hObject);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int nSize, void* pBuffer) const { return ::GetObjectW(m_hObject, nSize, pBuffer); }
    DWORD GetObjectType() const { return ::GetObjectType(m_hObject); }
};

class CPen : public CGdiObject
{
public:
    CPen() = default;
    CPen(int nStyle, int nWidth, COLORREF crColor) { CreatePen(nStyle, nWidth, crColor); }
    BOOL CreatePen(int nStyle, int nWidth, COLORREF crColor) { return Attach(::CreatePen(nStyle, nWidth, crColor)); }
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }
};

class CBrush : public CGdiObject
{
public:
    CBrush() = default;
    explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
    BOOL CreateSolidBrush(COLORREF crColor) { return Attach(::CreateSolidBrush(crColor)); }
    BOOL CreatePatternBrush(HBITMAP hBitmap) { return Attach(::CreatePatternBrush(hBitmap)); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

class CFont : public CGdiObject
{
public:
    BOOL CreateFontIndirect(const LOGFONTW* pLogFont) { return Attach(::CreateFontIndirectW(pLogFont)); }
    // The size in tenths of a point, converted through the DC's vertical
    // resolution (the screen's without a DC).
    BOOL CreatePointFont(int nPointSize, const wchar_t* pszFaceName, CDC* pDC = nullptr);
    BOOL CreatePointFontIndirect(const LOGFONTW* pLogFont, CDC* pDC = nullptr);
    int GetLogFont(LOGFONTW* pLogFont) const { return GetObject(sizeof(LOGFONTW), pLogFont); }
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

class CBitmap : public CGdiObject
{
public:
    // From the application's resource module.
    BOOL LoadBitmap(UINT nID);
    // Black drawn in COLOR_GRAYTEXT, so glyphs follow the system colours.
    BOOL LoadMappedBitmap(UINT nID);
    BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
    BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* pBits)
    {
        return Attach(::CreateBitmap(nWidth, nHeight, nPlanes, nBitCount, pBits));
    }
    int GetBitmap(BITMAP* pBitmap) const { return GetObject(sizeof(BITMAP), pBitmap); }
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};

class CRgn : public CGdiObject
{
public:
    BOOL CreateRectRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateRectRgn(x1, y1, x2, y2)); }
    BOOL CreateRectRgnIndirect(LPCRECT pRect) { return Attach(::CreateRectRgnIndirect(pRect)); }
    int CombineRgn(const CRgn* pRgn1, const CRgn* pRgn2, int nMode)
    {
        return ::CombineRgn(*this, pRgn1 != nullptr ? HRGN(*pRgn1) : NULL, pRgn2 != nullptr ? HRGN(*pRgn2) : NULL,
                            nMode);
    }
    BOOL PtInRegion(int x, int y) const { return ::PtInRegion(*this, x, y); }
    operator HRGN() const { return static_cast<HRGN>(m_hObject); }
};
