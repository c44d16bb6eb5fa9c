// CHeaderCtrl: the header of a report list: its items' formats, texts and
// images, display order and geometry.
#pragma once

#include "classlib/Wnd.h"

#include <commctrl.h>

class CHeaderCtrl : public CWnd
{
public:
    int GetItemCount() const { return static_cast<int>(SendMessage(HDM_GETITEMCOUNT)); }
    BOOL GetItem(int nPos, HDITEMW* pItem) const
    {
        return static_cast<BOOL>(SendMessage(HDM_GETITEMW, nPos, reinterpret_cast<LPARAM>(pItem)));
    }
    BOOL SetItem(int nPos, const HDITEMW* pItem)
    {
        return static_cast<BOOL>(SendMessage(HDM_SETITEMW, nPos, reinterpret_cast<LPARAM>(pItem)));
    }
    // The index of the item shown at that place from the left, -1 past the end.
    int OrderToIndex(int nOrder) const { return static_cast<int>(SendMessage(HDM_ORDERTOINDEX, nOrder)); }
    HIMAGELIST SetImageList(HIMAGELIST hImageList)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(hImageList)));
    }
    HIMAGELIST GetImageList() const { return reinterpret_cast<HIMAGELIST>(SendMessage(HDM_GETIMAGELIST)); }
    BOOL GetItemRect(int nIndex, LPRECT pRect) const
    {
        return static_cast<BOOL>(SendMessage(HDM_GETITEMRECT, nIndex, reinterpret_cast<LPARAM>(pRect)));
    }
};
