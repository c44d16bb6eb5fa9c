// CMemDC: an off-screen copy of a device context's clip box. Drawing goes to
// a bitmap that is copied onto the context in one blit when the object goes,
// so that a repaint never shows half-drawn blocks.
#pragma once

#include "classlib/DC.h"
#include "classlib/GdiObject.h"

#include <windows.h>

class CMemDC : public CDC
{
public:
    // bCopyIn starts the bitmap with what the context shows now, for drawing
    // that touches only part of the picture.
    CMemDC(CDC* pDC, bool bCopyIn);
    ~CMemDC() override;
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // False when no bitmap could be made: drawing then goes nowhere.
    bool IsValid() const { return m_hDC != NULL; }
    const RECT& GetClipRect() const { return m_rcClip; }

private:
    CDC* m_pTarget;
    CBitmap m_bitmap;
    RECT m_rcClip;
    bool m_bOffScreen;
};
