// CSelectedObject: a GDI object selected into a context for one scope and
// the previous one put back at its end, without touching what else the
// context's wrapper remembers (a memory context keeps its bitmap).
#pragma once

#include "classlib/DC.h"

class CSelectedObject
{
public:
    CSelectedObject(CDC& dc, CGdiObject& object) : m_hDC(dc.m_hDC), m_hOld(::SelectObject(dc.m_hDC, object.m_hObject))
    {
    }
    ~CSelectedObject()
    {
        if (m_hOld != NULL && m_hOld != HGDI_ERROR)
            ::SelectObject(m_hDC, m_hOld);
    }
    CSelectedObject(const CSelectedObject&) = delete;
    CSelectedObject& operator=(const CSelectedObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
