#include "guitoolkit/ListViewEx.h"

void CListViewEx::OnInitialUpdate()
{
    CListView::OnInitialUpdate();
    Init();
}
