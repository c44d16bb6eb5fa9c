// CListView: a view over the system list view.
#pragma once

#include "classlib/CtrlView.h"
#include "classlib/ListCtrl.h"

class CListView : public CCtrlView
{
public:
    CListView();
    ~CListView() override;

    // The control's operations on the view's own window.
    CListCtrl& GetListCtrl() const;

private:
    // Shares the view's handle without owning it: the window is the view's.
    mutable CListCtrl m_listCtrl;
};
