#include "classlib/ListView.h"

#include <commctrl.h>

CListView::CListView() : CCtrlView(WC_LISTVIEWW, LVS_REPORT | LVS_SHAREIMAGELISTS)
{
}

CListView::~CListView()
{
    // Never attached, so it must not destroy the view's window.
    m_listCtrl.m_hWnd = NULL;
}

CListCtrl& CListView::GetListCtrl() const
{
    m_listCtrl.m_hWnd = m_hWnd;
    return m_listCtrl;
}
