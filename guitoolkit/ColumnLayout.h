// CColumnLayout: the column table of a report list whose columns can be
// hidden: logical columns (as if all were shown) against the control's
// physical ones, display orders, the signed sort column and the saved
// layout record. No window: the list classes apply what it decides.
#pragma once

#include <windows.h>

#include <vector>

struct COLUMN_DATA
{
    BYTE present = 1;
    BYTE hideable = 0;
    BYTE visible = 1;
    // The width a hidden column gets back.
    int nWidth = 0;
    // Place in the logical display order, hidden columns included.
    int nOrder = 0;
};

// One column of a saved layout.
struct stCOLUMN_STATE
{
    BYTE bVisible;
    int nWidth;
    int nOrder;
};

struct stCOLUMN_LAYOUT
{
    int nSortColumn;
    std::vector<stCOLUMN_STATE> columns;
};

class CColumnLayout
{
public:
    enum ELayoutCheck
    {
        layoutValid,
        // Saved for another set of columns: kept out, which is no failure.
        layoutMismatch,
        // Values no list could have written: kept out, and the restore fails.
        layoutCorrupt,
    };

    int GetCount() const { return static_cast<int>(m_columns.size()); }
    bool IsValid(int nColumn) const { return nColumn >= 0 && nColumn < GetCount(); }
    const COLUMN_DATA& GetColumn(int nColumn) const { return m_columns[nColumn]; }
    COLUMN_DATA& GetColumn(int nColumn) { return m_columns[nColumn]; }

    // nOrder -1 places it at its index. FALSE past the end.
    BOOL Insert(int nColumn, int nOrder = -1);
    BOOL Delete(int nColumn);

    // -1 for a hidden column or one out of range.
    int ToPhysical(int nColumn) const;
    // -1 past the shown columns.
    int ToLogical(int nPhysical) const;
    // The control's order of a logical order: the shown columns before it.
    int ToPhysicalOrder(int nOrder) const;
    // Logical columns by display position, hidden ones included.
    std::vector<int> GetOrderArray() const;
    // The given columns take their positions as orders; the others follow in
    // their former order, so that orders stay a permutation.
    void SetOrderArray(const std::vector<int>& columns);

    // Signed and 1-based: +k column k-1 ascending, -k descending, 0 none.
    int GetSortColumn() const { return m_nSortColumn; }
    void SetSortColumn(int nSortColumn) { m_nSortColumn = nSortColumn; }
    // A click on the sort column turns its direction, on another column
    // sorts it ascending. Returns the new sort column.
    int ClickColumn(int nColumn);

    // widths[i]: the width to keep for column i. Empty for no columns.
    std::vector<BYTE> SaveLayout(const std::vector<int>& widths) const;
    // Checks everything before anything is applied: the record comes from a
    // registry value its user may edit.
    ELayoutCheck CheckLayout(const std::vector<BYTE>& data, stCOLUMN_LAYOUT& layout) const;

private:
    std::vector<COLUMN_DATA> m_columns;
    int m_nSortColumn = 0;
};

// The sort column's tint for a list background: lighter on darker ones,
// darker on near-white ones.
COLORREF SortColumnTint(COLORREF crBack);
// Tints look like noise with a palette.
inline bool CanTintSortColumn(int nBitsPerPixel) { return nBitsPerPixel > 8; }
