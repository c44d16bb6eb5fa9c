// CBitmapDC: a memory device context that owns a bitmap of its own size,
// filled with a background colour, for pictures drawn once and kept.
#pragma once

#include "classlib/DC.h"

class CWnd;

class CBitmapDC : public CDC
{
public:
    // Compatible with the window's context, else with the screen's.
    CBitmapDC(int nWidth, int nHeight, CWnd* pReference = nullptr, COLORREF crBackground = RGB(255, 255, 255));
    ~CBitmapDC() override;

    // False when the context or its bitmap could not be made.
    bool IsValid() const { return m_hBitmap != NULL && m_hDC != NULL; }
    // Deselects the bitmap and hands it to the caller, who deletes it; null
    // when there is none (any more).
    HBITMAP Close();

private:
    HBITMAP m_hBitmap;
};
