#include "gui/BitmapDC.h"

#include "classlib/Wnd.h"

CBitmapDC::CBitmapDC(int nWidth, int nHeight, CWnd* pReference, COLORREF crBackground) : m_hBitmap(NULL)
{
    CClientDC dcReference(pReference != nullptr && pReference->m_hWnd != NULL ? pReference : nullptr);
    if (dcReference.m_hDC == NULL || !CreateCompatibleDC(&dcReference))
        return;
    m_hBitmap = ::CreateCompatibleBitmap(dcReference.m_hDC, nWidth, nHeight);
    if (m_hBitmap == NULL || SelectObject(m_hBitmap) == NULL)
    {
        if (m_hBitmap != NULL)
            ::DeleteObject(m_hBitmap);
        m_hBitmap = NULL;
        return;
    }
    ::SetMapMode(m_hDC, ::GetMapMode(dcReference.m_hDC));
    FillSolidRect(0, 0, nWidth, nHeight, crBackground);
}

CBitmapDC::~CBitmapDC()
{
    HBITMAP hBitmap = Close();
    if (hBitmap != NULL)
        ::DeleteObject(hBitmap);
}

HBITMAP CBitmapDC::Close()
{
    RestoreObjects();
    HBITMAP hBitmap = m_hBitmap;
    m_hBitmap = NULL;
    return hBitmap;
}
