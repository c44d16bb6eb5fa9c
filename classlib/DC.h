// CDC and its kinds: a device context that puts back the objects it found
// selected before it lets the context go, so an object selected through it
// is never left selected in a context that outlives it.
#pragma once

#include "classlib/GdiObject.h"
#include "classlib/Geometry.h"
#include "classlib/Object.h"

#include <windows.h>

class CWnd;

class CDC : public CObject
{
public:
    CDC() : m_hDC(NULL), m_bOwned(false) {}
    ~CDC() override;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }

    // A context someone else owns (a paint or draw-item record): put back
    // what was selected, never deleted.
    BOOL Attach(HDC hDC);
    HDC Detach();
    // A memory context compatible with pDC (the screen when null), owned.
    BOOL CreateCompatibleDC(CDC* pDC);
    BOOL DeleteDC();

    HGDIOBJ SelectObject(CGdiObject* pObject);
    HGDIOBJ SelectObject(HGDIOBJ hObject);
    HGDIOBJ SelectStockObject(int nIndex) { return SelectObject(::GetStockObject(nIndex)); }
    int SelectClipRgn(CRgn* pRgn) { return ::SelectClipRgn(m_hDC, pRgn != nullptr ? HRGN(*pRgn) : NULL); }
    // Puts back every object replaced through SelectObject.
    void RestoreObjects();

    COLORREF SetTextColor(COLORREF cr) { return ::SetTextColor(m_hDC, cr); }
    COLORREF SetBkColor(COLORREF cr) { return ::SetBkColor(m_hDC, cr); }
    int SetBkMode(int nMode) { return ::SetBkMode(m_hDC, nMode); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    COLORREF SetPixel(int x, int y, COLORREF cr) { return ::SetPixel(m_hDC, x, y, cr); }
    COLORREF GetNearestColor(COLORREF cr) const { return ::GetNearestColor(m_hDC, cr); }
    int GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hDC, nIndex); }
    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int nSaved) { return ::RestoreDC(m_hDC, nSaved); }
    int GetClipBox(LPRECT pRect) const { return ::GetClipBox(m_hDC, pRect); }
    int IntersectClipRect(LPCRECT pRect)
    {
        return ::IntersectClipRect(m_hDC, pRect->left, pRect->top, pRect->right, pRect->bottom);
    }
    int ExcludeClipRect(LPCRECT pRect)
    {
        return ::ExcludeClipRect(m_hDC, pRect->left, pRect->top, pRect->right, pRect->bottom);
    }

    BOOL BitBlt(int x, int y, int cx, int cy, CDC* pSrc, int xSrc, int ySrc, DWORD dwRop)
    {
        return ::BitBlt(m_hDC, x, y, cx, cy, pSrc != nullptr ? pSrc->m_hDC : NULL, xSrc, ySrc, dwRop);
    }
    BOOL StretchBlt(int x, int y, int cx, int cy, CDC* pSrc, int xSrc, int ySrc, int cxSrc, int cySrc, DWORD dwRop)
    {
        return ::StretchBlt(m_hDC, x, y, cx, cy, pSrc->m_hDC, xSrc, ySrc, cxSrc, cySrc, dwRop);
    }
    BOOL PatBlt(int x, int y, int cx, int cy, DWORD dwRop) { return ::PatBlt(m_hDC, x, y, cx, cy, dwRop); }
    void FillRect(LPCRECT pRect, HBRUSH hBrush) { ::FillRect(m_hDC, pRect, hBrush); }
    void FrameRect(LPCRECT pRect, HBRUSH hBrush) { ::FrameRect(m_hDC, pRect, hBrush); }
    // A solid fill in one colour without a brush; the background colour is kept.
    void FillSolidRect(LPCRECT pRect, COLORREF cr);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF cr);
    // Top and left edges in crTopLeft, bottom and right in crBottomRight.
    void Draw3dRect(LPCRECT pRect, COLORREF crTopLeft, COLORREF crBottomRight);
    BOOL DrawEdge(LPRECT pRect, UINT nEdge, UINT nFlags) { return ::DrawEdge(m_hDC, pRect, nEdge, nFlags); }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
    // An icon or a bitmap at its own size (size 0, 0) or the given one;
    // DSS_MONO paints its shape with the brush, DSS_DISABLED embosses it.
    // The kind of image in the low bits of the flags is set here.
    BOOL DrawState(POINT pt, SIZE size, HICON hIcon, UINT nFlags, HBRUSH hBrush = NULL)
    {
        return ::DrawStateW(m_hDC, hBrush, nullptr, reinterpret_cast<LPARAM>(hIcon), 0, pt.x, pt.y, size.cx, size.cy,
                            (nFlags & ~0x000FU) | DST_ICON);
    }
    BOOL DrawState(POINT pt, SIZE size, HBITMAP hBitmap, UINT nFlags, HBRUSH hBrush = NULL)
    {
        return ::DrawStateW(m_hDC, hBrush, nullptr, reinterpret_cast<LPARAM>(hBitmap), 0, pt.x, pt.y, size.cx, size.cy,
                            (nFlags & ~0x000FU) | DST_BITMAP);
    }
    BOOL DrawFocusRect(LPCRECT pRect) { return ::DrawFocusRect(m_hDC, pRect); }
    // The previous origin; (0, 0) when the call failed.
    CPoint SetBrushOrg(int x, int y);
    CPoint SetWindowOrg(int x, int y);
    HFONT GetCurrentFont() const { return static_cast<HFONT>(::GetCurrentObject(m_hDC, OBJ_FONT)); }
    HBITMAP GetCurrentBitmap() const { return static_cast<HBITMAP>(::GetCurrentObject(m_hDC, OBJ_BITMAP)); }

    CPoint MoveTo(int x, int y);
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL Rectangle(LPCRECT pRect) { return ::Rectangle(m_hDC, pRect->left, pRect->top, pRect->right, pRect->bottom); }
    BOOL RoundRect(LPCRECT pRect, POINT ptCorner)
    {
        return ::RoundRect(m_hDC, pRect->left, pRect->top, pRect->right, pRect->bottom, ptCorner.x, ptCorner.y);
    }
    BOOL Polygon(const POINT* pPoints, int nCount) { return ::Polygon(m_hDC, pPoints, nCount); }

    int DrawText(const wchar_t* pszText, int nCount, LPRECT pRect, UINT nFormat)
    {
        return ::DrawTextW(m_hDC, pszText, nCount, pRect, nFormat);
    }
    BOOL TextOut(int x, int y, const wchar_t* pszText, int nCount) { return ::TextOutW(m_hDC, x, y, pszText, nCount); }
    BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT pRect, const wchar_t* pszText, UINT nCount)
    {
        return ::ExtTextOutW(m_hDC, x, y, nOptions, pRect, pszText, nCount, nullptr);
    }
    CSize GetTextExtent(const wchar_t* pszText, int nCount) const;
    BOOL GetTextMetrics(LPTEXTMETRICW pMetrics) const { return ::GetTextMetricsW(m_hDC, pMetrics); }

protected:
    // Releases an owned context the way it was obtained.
    virtual void ReleaseOwned();

    bool m_bOwned;

private:
    static int KindIndex(DWORD dwType);

    HGDIOBJ m_ahOriginal[4] = {};
};

// BeginPaint and EndPaint of a window's WM_PAINT.
class CPaintDC : public CDC
{
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

// The client area (CClientDC) or the whole window (CWindowDC) of a window,
// or of the screen when the window is null.
class CClientDC : public CDC
{
public:
    explicit CClientDC(CWnd* pWnd);
    ~CClientDC() override;

protected:
    CClientDC(HWND hWnd, HDC hDC);
    void ReleaseOwned() override;
    HWND m_hWnd;
};

class CWindowDC : public CClientDC
{
public:
    explicit CWindowDC(CWnd* pWnd);
};
