// CListCtrl: the system list view in report use: columns, items, sub-item
// texts, states and the geometry queries the owner-drawn lists need.
#pragma once

#include "classlib/HeaderCtrl.h"
#include "classlib/Wnd.h"

#include <commctrl.h>

#include <vector>

class CListCtrl : public CWnd
{
public:
    CListCtrl() = default;
    ~CListCtrl() override;

    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, WC_LISTVIEWW, L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }

    int InsertColumn(int nCol, const wchar_t* pszHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1);
    BOOL DeleteColumn(int nCol) { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, nCol)); }
    BOOL GetColumn(int nCol, LVCOLUMNW* pColumn) const
    {
        return static_cast<BOOL>(SendMessage(LVM_GETCOLUMNW, nCol, reinterpret_cast<LPARAM>(pColumn)));
    }
    BOOL SetColumn(int nCol, const LVCOLUMNW* pColumn)
    {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNW, nCol, reinterpret_cast<LPARAM>(pColumn)));
    }
    int GetColumnWidth(int nCol) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, nCol)); }
    BOOL SetColumnWidth(int nCol, int cx) { return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, nCol, cx)); }
    // The number of columns the header holds.
    int GetColumnCount() const;
    BOOL GetColumnOrderArray(std::vector<int>& order) const;
    BOOL SetColumnOrderArray(const std::vector<int>& order);
    // Shares the header's handle; valid until the next call.
    CHeaderCtrl* GetHeaderCtrl() const;

    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertItem(int nItem, const wchar_t* pszText, int nImage = -1);
    int InsertItem(const LVITEMW* pItem)
    {
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    BOOL DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, nItem)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    BOOL SetItemText(int nItem, int nSubItem, const wchar_t* pszText);
    // The whole text, however long.
    CString GetItemText(int nItem, int nSubItem) const;
    BOOL GetItem(LVITEMW* pItem) const
    {
        return static_cast<BOOL>(SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    BOOL SetItem(const LVITEMW* pItem)
    {
        return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
    }
    DWORD_PTR GetItemData(int nItem) const;
    BOOL SetItemData(int nItem, DWORD_PTR dwData);
    UINT GetItemState(int nItem, UINT nMask) const
    {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, nItem, nMask));
    }
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    int GetNextItem(int nItem, int nFlags) const
    {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, nItem, nFlags));
    }
    BOOL GetItemRect(int nItem, LPRECT pRect, UINT nCode) const;
    BOOL GetSubItemRect(int nItem, int nSubItem, int nArea, LPRECT pRect) const;
    int HitTest(LVHITTESTINFO* pInfo) const
    {
        return static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(pInfo)));
    }
    int SubItemHitTest(LVHITTESTINFO* pInfo)
    {
        return static_cast<int>(SendMessage(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(pInfo)));
    }
    BOOL EnsureVisible(int nItem, BOOL bPartialOK)
    {
        return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, nItem, bPartialOK));
    }
    // The first item after nStart (-1: from the first item) that matches, -1 for none.
    int FindItem(const LVFINDINFOW* pFindInfo, int nStart = -1) const
    {
        return static_cast<int>(SendMessage(LVM_FINDITEMW, nStart, reinterpret_cast<LPARAM>(pFindInfo)));
    }
    // Ordered by LVM_SORTITEMS only: the control tolerates a comparison that
    // is not a strict weak order, the standard sorts do not.
    BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData)
    {
        return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, dwData, reinterpret_cast<LPARAM>(pfnCompare)));
    }
    // The label edit's window, null when the control refuses.
    HWND EditLabel(int nItem) { return reinterpret_cast<HWND>(SendMessage(LVM_EDITLABELW, nItem)); }
    HWND GetEditControl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETEDITCONTROL)); }
    void CancelEditLabel() { SendMessage(LVM_CANCELEDITLABEL); }
    int GetTopIndex() const { return static_cast<int>(SendMessage(LVM_GETTOPINDEX)); }
    int GetCountPerPage() const { return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE)); }
    int GetStringWidth(const wchar_t* pszText) const
    {
        return static_cast<int>(SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(pszText)));
    }

    DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    DWORD SetExtendedStyle(DWORD dwStyle)
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwStyle));
    }
    HIMAGELIST SetImageList(HIMAGELIST hImageList, int nKind)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, nKind, reinterpret_cast<LPARAM>(hImageList)));
    }
    HIMAGELIST GetImageList(int nKind) const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, nKind));
    }
    COLORREF GetBkColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETBKCOLOR)); }
    BOOL SetBkColor(COLORREF cr) { return static_cast<BOOL>(SendMessage(LVM_SETBKCOLOR, 0, cr)); }
    BOOL SetTextBkColor(COLORREF cr) { return static_cast<BOOL>(SendMessage(LVM_SETTEXTBKCOLOR, 0, cr)); }
    BOOL SetTextColor(COLORREF cr) { return static_cast<BOOL>(SendMessage(LVM_SETTEXTCOLOR, 0, cr)); }

private:
    // Never attached, so it never destroys the header.
    mutable CHeaderCtrl m_header;
};
