// CListItemRecord: what the caller gave one row of a list whose columns can
// be hidden: its own item data and, per logical column, the last item fields
// set there, so that a hidden column keeps its cells and shows them again.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

struct stSAVED_CELL
{
    UINT nMask = 0;
    // The caller asked to be asked: the cell's text comes by notification.
    bool bTextCallback = false;
    std::wstring strText;
    int nImage = 0;
    UINT nState = 0;
    UINT nStateMask = 0;
    int nIndent = 0;
};

class CListItemRecord
{
public:
    CListItemRecord(int nColumns, LPARAM lParam) : m_lParam(lParam), m_cells(nColumns) {}

    LPARAM GetParam() const { return m_lParam; }
    void SetParam(LPARAM lParam) { m_lParam = lParam; }
    int GetCount() const { return static_cast<int>(m_cells.size()); }

    // Keeps the fields the mask names; LVIF_PARAM is the caller's item data.
    void Store(int nColumn, const LVITEMW& stItem);
    // The cell's saved fields into the caller's record, as far as its mask
    // asks; a text is cut to the caller's buffer. False when the cell has none.
    bool Fill(int nColumn, LVITEMW& stItem) const;
    // The saved text, or null when none or the caller's callback.
    const wchar_t* GetText(int nColumn) const;
    const stSAVED_CELL* GetCell(int nColumn) const;

    void InsertColumn(int nColumn);
    void DeleteColumn(int nColumn);

private:
    LPARAM m_lParam;
    std::vector<stSAVED_CELL> m_cells;
};

// Copies a text into a caller's buffer of nChars, cut and terminated.
void CopyTextBounded(const wchar_t* pszText, wchar_t* pszBuffer, int nChars);
