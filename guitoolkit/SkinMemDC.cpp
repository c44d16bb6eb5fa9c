#include "guitoolkit/SkinMemDC.h"

CSkinMemDC::CSkinMemDC(CDC* pTarget, const RECT& rc) : m_pTarget(pTarget), m_rc(rc), m_bOffScreen(false), m_bCopy(true)
{
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (pTarget == nullptr || pTarget->m_hDC == NULL)
        return;
    if (cx > 0 && cy > 0 && CreateCompatibleDC(pTarget) && m_bitmap.CreateCompatibleBitmap(pTarget, cx, cy) &&
        SelectObject(&m_bitmap) != NULL)
    {
        SetWindowOrg(rc.left, rc.top);
        m_bOffScreen = true;
        return;
    }
    DeleteDC();
    Attach(pTarget->m_hDC);
}

CSkinMemDC::~CSkinMemDC()
{
    if (m_bOffScreen && m_bCopy)
        m_pTarget->BitBlt(m_rc.left, m_rc.top, m_rc.right - m_rc.left, m_rc.bottom - m_rc.top, this, m_rc.left, m_rc.top,
                          SRCCOPY);
    // The bitmap can only be deleted once no context holds it.
    if (m_bOffScreen)
        DeleteDC();
    else
        Detach();
}
