#include "classlib/TreeView.h"

#include <commctrl.h>

CTreeView::CTreeView() : CCtrlView(WC_TREEVIEWW, WS_CHILD | WS_VISIBLE | WS_BORDER)
{
}

CTreeView::~CTreeView()
{
    // Never attached, so it must not destroy the view's window.
    m_treeCtrl.m_hWnd = NULL;
}

CTreeCtrl& CTreeView::GetTreeCtrl() const
{
    m_treeCtrl.m_hWnd = m_hWnd;
    return m_treeCtrl;
}
