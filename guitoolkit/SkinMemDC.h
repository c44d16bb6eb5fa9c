// CSkinMemDC: an off-screen copy of a rectangle of a target context. Drawing
// goes to a bitmap of the rectangle's size, in the target's coordinates, and
// reaches the target in one copy when the object goes, so that a redrawn menu
// item does not flicker.
#pragma once

#include "classlib/DC.h"

#include <windows.h>

class CSkinMemDC : public CDC
{
public:
    CSkinMemDC(CDC* pTarget, const RECT& rc);
    // Copies the rectangle to the target unless the copy was cancelled.
    ~CSkinMemDC() override;

    void CancelCopy() { m_bCopy = false; }
    // False when no memory context could be made; drawing then goes to the
    // target itself, so nothing is lost.
    bool IsOffScreen() const { return m_bOffScreen; }

private:
    CDC* m_pTarget;
    RECT m_rc;
    CBitmap m_bitmap;
    bool m_bOffScreen;
    bool m_bCopy;
};
