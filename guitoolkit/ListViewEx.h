// CListViewEx: a list view, such as the program's drive list in the main
// window's splitter, with the column hiding, sort marks, painting, tips and
// label editing of CListBase. Derived views reach the base's operations
// (SortItems, OnContextMenu, the column layout) through it.
#pragma once

#include "classlib/ListView.h"
#include "guitoolkit/ListWndEx.h"

class CListViewEx : public CListWndEx<CListView>
{
public:
    static CWnd* CreateObject() { return new CListViewEx; }

    void OnInitialUpdate() override;
};
