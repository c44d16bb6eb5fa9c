// CCtrlView: a view whose window is a control of a system class; the
// control paints itself and the view adds the frame's view behaviour.
#pragma once

#include "classlib/String.h"
#include "classlib/View.h"

class CCtrlView : public CView
{
public:
    CCtrlView(const wchar_t* pszClass, DWORD dwStyle) : m_strClass(pszClass), m_dwDefaultStyle(dwStyle) {}

    // The view's class always; the default style is added to the caller's.
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;

protected:
    bool PaintsItself() const override { return false; }

    CString m_strClass;
    DWORD m_dwDefaultStyle;
};
