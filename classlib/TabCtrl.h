// CTabCtrl: the system tab control: its items, the selection and the page area.
#pragma once

#include "classlib/Wnd.h"

#include <commctrl.h>

class CTabCtrl : public CWnd
{
public:
    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, WC_TABCONTROLW, L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }
    int InsertItem(int nItem, const wchar_t* pszText)
    {
        TCITEMW stItem = {};
        stItem.mask = TCIF_TEXT;
        stItem.pszText = const_cast<wchar_t*>(pszText);
        return static_cast<int>(SendMessage(TCM_INSERTITEMW, nItem, reinterpret_cast<LPARAM>(&stItem)));
    }
    BOOL DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(TCM_DELETEITEM, nItem)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(TCM_DELETEALLITEMS)); }
    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    int SetCurSel(int nItem) { return static_cast<int>(SendMessage(TCM_SETCURSEL, nItem)); }
    // The tab with the focus, which differs from the selection while the user moves with the keys.
    int GetCurFocus() const { return static_cast<int>(SendMessage(TCM_GETCURFOCUS)); }
    BOOL GetItemRect(int nItem, LPRECT pRect) const
    {
        return static_cast<BOOL>(SendMessage(TCM_GETITEMRECT, nItem, reinterpret_cast<LPARAM>(pRect)));
    }
    // TRUE: the page area of a window rectangle; FALSE: the window of a page area.
    void AdjustRect(BOOL bLarger, LPRECT pRect)
    {
        SendMessage(TCM_ADJUSTRECT, bLarger, reinterpret_cast<LPARAM>(pRect));
    }
};
