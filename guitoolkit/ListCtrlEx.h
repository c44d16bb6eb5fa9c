// CListCtrlEx: a list control, usually a dialog's, with the column hiding,
// sort marks, painting, tips and label editing of CListBase.
#pragma once

#include "classlib/ListCtrl.h"
#include "guitoolkit/ListWndEx.h"

class CListCtrlEx : public CListWndEx<CListCtrl>
{
public:
    static CWnd* CreateObject() { return new CListCtrlEx; }

    void PreSubclassWindow() override;
};
