// IDriveListCtrl: the report list that shows the drive rows, as the row logic
// sees it. The drive list view answers it with its list control; the row
// objects stay owned by CDriveRows, the list only points at them.
#pragma once

#include "classlib/String.h"

struct stDriveRow;

class IDriveListCtrl
{
public:
    virtual ~IDriveListCtrl() = default;

    virtual int GetRowCount() const = 0;
    // The row object stored with the row, null when the index is out of range.
    virtual stDriveRow* GetRow(int nRow) const = 0;
    // The index the row landed at, -1 when the list refused it.
    virtual int InsertRow(int nRow, const wchar_t* pszDrive, stDriveRow* pRow) = 0;
    virtual void DeleteAllRows() = 0;
    virtual CString GetCellText(int nRow, int nColumn) const = 0;
    virtual void SetCellText(int nRow, int nColumn, const wchar_t* pszText) = 0;
    virtual void SetRedraw(bool bRedraw) = 0;
    virtual bool IsRowSelected(int nRow) const = 0;
    virtual void SelectAndFocusRow(int nRow) = 0;
    // Orders the rows by the current sort column with CDriveRows::Compare.
    virtual void SortRows() = 0;
};
