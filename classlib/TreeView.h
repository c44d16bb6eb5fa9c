// CTreeView: a view over the system tree view.
#pragma once

#include "classlib/CtrlView.h"
#include "classlib/TreeCtrl.h"

class CTreeView : public CCtrlView
{
public:
    CTreeView();
    ~CTreeView() override;

    // The control's operations on the view's own window.
    CTreeCtrl& GetTreeCtrl() const;

private:
    // Shares the view's handle without owning it: the window is the view's.
    mutable CTreeCtrl m_treeCtrl;
};
