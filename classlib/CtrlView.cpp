#include "classlib/CtrlView.h"

BOOL CCtrlView::PreCreateWindow(CREATESTRUCTW& cs)
{
    cs.lpszClass = m_strClass;
    cs.style |= m_dwDefaultStyle;
    return CView::PreCreateWindow(cs);
}
