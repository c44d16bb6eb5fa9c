// CFileListDlg: the base of the modeless dialogs that list files of one
// drive (list 243) with a Show button that asks the map to mark the selected
// file: the list's set-up and kept layout, the rows and their objects,
// sorting by column, and Show enabled only for a row that names a file.
#pragma once

#include "gui/ExplorerRows.h"
#include "gui/InfoOwner.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"

#include "classlib/Dialog.h"
#include "classlib/String.h"
#include "guitoolkit/ListCtrlEx.h"

#include <cstdint>
#include <memory>
#include <vector>

struct stFileListColumn
{
    UINT nTitleId;
    int nWidth;
};

template <class TRow, int (*Compare)(const TRow&, const TRow&, int)>
class CFileListDlg : public CDialog
{
public:
    int32_t GetDriveId() const { return m_nDriveId; }
    CListCtrlEx& GetList() { return m_wndList; }
    const TRow* GetSelectedRow() const
    {
        int nItem = m_wndList.GetNextItem(-1, LVNI_SELECTED);
        return nItem >= 0 ? RowOf(nItem) : nullptr;
    }

protected:
    CFileListDlg(UINT nIDTemplate, CWnd* pParent, IInfoOwner& owner, const wchar_t* pszLayoutEntry)
        : CDialog(nIDTemplate, pParent), m_owner(owner), m_nDriveId(-1), m_pszLayoutEntry(pszLayoutEntry)
    {
        SetAutoDelete(true);
    }

    // Owner-drawn report rows that keep their selection shown; the layout
    // the user left comes back.
    bool InitList(const std::vector<stFileListColumn>& columns)
    {
        if (!m_wndList.SubclassDlgItem(IDC_INFO_LIST, this))
            return false;
        m_wndList.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
        int nColumn = 0;
        for (const stFileListColumn& column : columns)
            m_wndList.InsertColumn(nColumn++, ResourceText(column.nTitleId), LVCFMT_LEFT, column.nWidth);
        m_wndList.ShowSortArrow(TRUE);
        m_wndList.RestoreColumnState(L"Settings", m_pszLayoutEntry);
        EnableShow(false);
        return true;
    }

    void DeleteRows()
    {
        if (m_wndList.m_hWnd != NULL)
            m_wndList.DeleteAllItems();
        m_rows.clear();
    }
    void SetDriveId(int32_t nDriveId) { m_nDriveId = nDriveId; }
    void ClearSortArrow() { m_wndList.SetSortColumn(0); }
    void EnableShow(bool bEnable)
    {
        if (CWnd* pShow = GetDlgItem(ID_INFO_SHOW))
            pShow->EnableWindow(bEnable);
    }

    // The row goes to the end of the list with its cells from the first column on.
    void AppendRow(TRow row, const std::vector<CString>& cells, int nImage = -1)
    {
        m_rows.emplace_back(new TRow(std::move(row)));
        int nItem = m_wndList.InsertItem(m_wndList.GetItemCount(), cells.empty() ? L"" : cells[0].GetString(), nImage);
        if (nItem < 0)
        {
            m_rows.pop_back();
            return;
        }
        m_wndList.SetItemData(nItem, reinterpret_cast<DWORD_PTR>(m_rows.back().get()));
        for (size_t i = 1; i < cells.size(); ++i)
            m_wndList.SetItemText(nItem, static_cast<int>(i), cells[i]);
    }

    IInfoOwner& Owner() { return m_owner; }

    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        if (pHeader->idFrom != IDC_INFO_LIST)
            return CDialog::OnNotify(wParam, lParam, pResult);
        switch (pHeader->code)
        {
        case LVN_COLUMNCLICK:
            m_wndList.SortItems(&CFileListDlg::CompareItems, static_cast<DWORD_PTR>(m_wndList.GetSortColumn()));
            break;
        case NM_CLICK:
            EnableShow(IsShowable(m_wndList.GetNextItem(-1, LVNI_SELECTED)));
            break;
        case LVN_KEYDOWN:
            OnListKey(reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey);
            break;
        default:
            return CDialog::OnNotify(wParam, lParam, pResult);
        }
        *pResult = 0;
        return TRUE;
    }

    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override
    {
        if (nID == ID_INFO_SHOW && nCode == BN_CLICKED)
        {
            int nItem = m_wndList.GetNextItem(-1, LVNI_SELECTED);
            if (IsShowable(nItem))
                m_owner.SendShowFile(m_nDriveId, RowOf(nItem)->strName);
            return TRUE;
        }
        return CDialog::HandleCommand(nID, nCode, pExtra);
    }

    void OnOK() override
    {
        CDialog::OnOK();
        m_owner.ExploreSelection(-1);
    }

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_DESTROY && m_wndList.m_hWnd != NULL)
        {
            m_wndList.SaveColumnState(L"Settings", m_pszLayoutEntry);
            DeleteRows();
        }
        return CDialog::OnMessage(nMsg, wParam, lParam, lResult);
    }

private:
    const TRow* RowOf(int nItem) const { return reinterpret_cast<const TRow*>(m_wndList.GetItemData(nItem)); }
    // A free stretch of the explorer has nothing to show.
    bool IsShowable(int nItem) const
    {
        const TRow* pRow = nItem >= 0 ? RowOf(nItem) : nullptr;
        return pRow != nullptr && pRow->strName != kFreeRowName;
    }
    // The list moves the selection only after it told us of the key: Up and
    // Down are judged by the row they will select.
    void OnListKey(WORD wKey)
    {
        int nItem = m_wndList.GetNextItem(-1, LVNI_SELECTED);
        if (nItem < 0)
            return;
        if (wKey == VK_UP && nItem > 0)
            --nItem;
        else if (wKey == VK_DOWN && nItem + 1 < m_wndList.GetItemCount())
            ++nItem;
        else if (wKey != VK_UP && wKey != VK_DOWN)
            return;
        EnableShow(IsShowable(nItem));
    }
    static int CALLBACK CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM lKey)
    {
        const TRow* pFirst = reinterpret_cast<const TRow*>(lParam1);
        const TRow* pSecond = reinterpret_cast<const TRow*>(lParam2);
        if (pFirst == nullptr || pSecond == nullptr)
            return 0;
        return Compare(*pFirst, *pSecond, static_cast<int>(lKey));
    }

    IInfoOwner& m_owner;
    CListCtrlEx m_wndList;
    std::vector<std::unique_ptr<TRow>> m_rows;
    int32_t m_nDriveId;
    const wchar_t* m_pszLayoutEntry;
};
