// CDefragOutputView: the pane of the splitter's lower row, where the cluster
// map will be drawn; for now an empty pane.
#pragma once

#include "classlib/View.h"

class CDefragOutputView : public CView
{
public:
    static CWnd* CreateObject() { return new CDefragOutputView; }
};
