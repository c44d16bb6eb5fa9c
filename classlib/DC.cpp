#include "classlib/DC.h"

#include "classlib/Wnd.h"

CDC::~CDC()
{
    DeleteDC();
}

int CDC::KindIndex(DWORD dwType)
{
    switch (dwType)
    {
    case OBJ_PEN:
    case OBJ_EXTPEN:
        return 0;
    case OBJ_BRUSH:
        return 1;
    case OBJ_FONT:
        return 2;
    case OBJ_BITMAP:
        return 3;
    default:
        return -1;
    }
}

BOOL CDC::Attach(HDC hDC)
{
    if (m_hDC != NULL || hDC == NULL)
        return FALSE;
    m_hDC = hDC;
    m_bOwned = false;
    return TRUE;
}

HDC CDC::Detach()
{
    RestoreObjects();
    HDC hDC = m_hDC;
    m_hDC = NULL;
    m_bOwned = false;
    return hDC;
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    if (m_hDC != NULL)
        return FALSE;
    m_hDC = ::CreateCompatibleDC(pDC != nullptr ? pDC->m_hDC : NULL);
    m_bOwned = m_hDC != NULL;
    return m_hDC != NULL;
}

BOOL CDC::DeleteDC()
{
    if (m_hDC == NULL)
        return FALSE;
    RestoreObjects();
    if (m_bOwned)
        ReleaseOwned();
    m_hDC = NULL;
    m_bOwned = false;
    return TRUE;
}

void CDC::ReleaseOwned()
{
    ::DeleteDC(m_hDC);
}

HGDIOBJ CDC::SelectObject(CGdiObject* pObject)
{
    return pObject != nullptr ? SelectObject(pObject->m_hObject) : NULL;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ hObject)
{
    if (m_hDC == NULL || hObject == NULL)
        return NULL;
    HGDIOBJ hOld = ::SelectObject(m_hDC, hObject);
    int nKind = KindIndex(::GetObjectType(hObject));
    if (nKind >= 0 && hOld != NULL && hOld != HGDI_ERROR && m_ahOriginal[nKind] == NULL)
        m_ahOriginal[nKind] = hOld;
    return hOld;
}

void CDC::RestoreObjects()
{
    for (HGDIOBJ& hOriginal : m_ahOriginal)
    {
        if (hOriginal != NULL && m_hDC != NULL)
            ::SelectObject(m_hDC, hOriginal);
        hOriginal = NULL;
    }
}

void CDC::FillSolidRect(LPCRECT pRect, COLORREF cr)
{
    COLORREF crOld = ::SetBkColor(m_hDC, cr);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, pRect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, crOld);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF cr)
{
    RECT rc = {x, y, x + cx, y + cy};
    FillSolidRect(&rc, cr);
}

void CDC::Draw3dRect(LPCRECT pRect, COLORREF crTopLeft, COLORREF crBottomRight)
{
    int x = pRect->left, y = pRect->top;
    int cx = pRect->right - x, cy = pRect->bottom - y;
    FillSolidRect(x, y, cx - 1, 1, crTopLeft);
    FillSolidRect(x, y, 1, cy - 1, crTopLeft);
    FillSolidRect(x + cx - 1, y, 1, cy, crBottomRight);
    FillSolidRect(x, y + cy - 1, cx, 1, crBottomRight);
}

CPoint CDC::MoveTo(int x, int y)
{
    POINT pt = {0, 0};
    ::MoveToEx(m_hDC, x, y, &pt);
    return CPoint(pt);
}

CPoint CDC::SetBrushOrg(int x, int y)
{
    POINT pt = {0, 0};
    if (!::SetBrushOrgEx(m_hDC, x, y, &pt))
        pt = {0, 0};
    return CPoint(pt);
}

CPoint CDC::SetWindowOrg(int x, int y)
{
    POINT pt = {0, 0};
    if (!::SetWindowOrgEx(m_hDC, x, y, &pt))
        pt = {0, 0};
    return CPoint(pt);
}

CSize CDC::GetTextExtent(const wchar_t* pszText, int nCount) const
{
    SIZE sz = {0, 0};
    ::GetTextExtentPoint32W(m_hDC, pszText, nCount, &sz);
    return CSize(sz);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_ps(), m_hWnd(pWnd->m_hWnd)
{
    // EndPaint ends the context; it is attached, not owned.
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC()
{
    if (m_hDC != NULL)
    {
        Detach();
        ::EndPaint(m_hWnd, &m_ps);
    }
}

namespace
{
HWND HandleOf(CWnd* pWnd)
{
    return pWnd != nullptr ? pWnd->m_hWnd : NULL;
}
} // namespace

CClientDC::CClientDC(CWnd* pWnd) : CClientDC(HandleOf(pWnd), ::GetDC(HandleOf(pWnd)))
{
}

CClientDC::CClientDC(HWND hWnd, HDC hDC) : m_hWnd(hWnd)
{
    m_hDC = hDC;
    m_bOwned = hDC != NULL;
}

CClientDC::~CClientDC()
{
    DeleteDC();
}

void CClientDC::ReleaseOwned()
{
    ::ReleaseDC(m_hWnd, m_hDC);
}

CWindowDC::CWindowDC(CWnd* pWnd) : CClientDC(HandleOf(pWnd), ::GetWindowDC(HandleOf(pWnd)))
{
}
