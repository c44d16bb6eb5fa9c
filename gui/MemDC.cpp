#include "gui/MemDC.h"

CMemDC::CMemDC(CDC* pDC, bool bCopyIn) : m_pTarget(pDC), m_rcClip{}, m_bOffScreen(false)
{
    m_pTarget->GetClipBox(&m_rcClip);
    // A printer's context has no screen to flicker on and keeps its own resolution.
    if (m_pTarget->GetDeviceCaps(TECHNOLOGY) == DT_RASPRINTER)
    {
        Attach(m_pTarget->m_hDC);
        return;
    }
    int cx = m_rcClip.right - m_rcClip.left;
    int cy = m_rcClip.bottom - m_rcClip.top;
    if (cx <= 0 || cy <= 0 || !CreateCompatibleDC(m_pTarget))
        return;
    if (!m_bitmap.CreateCompatibleBitmap(m_pTarget, cx, cy))
    {
        DeleteDC();
        return;
    }
    SelectObject(&m_bitmap);
    SetWindowOrg(m_rcClip.left, m_rcClip.top);
    m_bOffScreen = true;
    if (bCopyIn)
        BitBlt(m_rcClip.left, m_rcClip.top, cx, cy, m_pTarget, m_rcClip.left, m_rcClip.top, SRCCOPY);
}

CMemDC::~CMemDC()
{
    if (!m_bOffScreen)
    {
        Detach();
        return;
    }
    m_pTarget->BitBlt(m_rcClip.left, m_rcClip.top, m_rcClip.right - m_rcClip.left, m_rcClip.bottom - m_rcClip.top,
                      this, m_rcClip.left, m_rcClip.top, SRCCOPY);
    // The bitmap is put back out of the context before the context and then the bitmap go.
    DeleteDC();
}
