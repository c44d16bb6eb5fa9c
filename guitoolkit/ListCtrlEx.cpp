#include "guitoolkit/ListCtrlEx.h"

#include "classlib/ThreadState.h"

void CListCtrlEx::PreSubclassWindow()
{
    CListCtrl::PreSubclassWindow();
    // A window being created gets its companions at WM_CREATE, when it can own them.
    if (GetThreadState().pWndCreating != this)
        Init();
}
