#include "guitoolkit/ColumnLayout.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace
{
constexpr size_t LayoutHeaderBytes = 8;
constexpr size_t LayoutColumnBytes = 9;

void PutInt(std::vector<BYTE>& data, size_t nAt, int nValue)
{
    std::memcpy(data.data() + nAt, &nValue, sizeof(nValue));
}

int GetInt(const std::vector<BYTE>& data, size_t nAt)
{
    int nValue;
    std::memcpy(&nValue, data.data() + nAt, sizeof(nValue));
    return nValue;
}

int ShiftChannel(int nChannel, bool bLighten)
{
    if (!bLighten)
        return nChannel - 8;
    return nChannel > 231 ? 255 : nChannel + nChannel / 10;
}
} // namespace

BOOL CColumnLayout::Insert(int nColumn, int nOrder)
{
    if (nColumn < 0 || nColumn > GetCount())
        return FALSE;
    if (nOrder < 0 || nOrder > GetCount())
        nOrder = nColumn;
    for (COLUMN_DATA& stColumn : m_columns)
        if (stColumn.nOrder >= nOrder)
            ++stColumn.nOrder;
    COLUMN_DATA stColumn;
    stColumn.nOrder = nOrder;
    m_columns.insert(m_columns.begin() + nColumn, stColumn);
    int nSortIndex = m_nSortColumn < 0 ? -m_nSortColumn : m_nSortColumn;
    if (nSortIndex > nColumn)
        m_nSortColumn += m_nSortColumn < 0 ? -1 : 1;
    return TRUE;
}

BOOL CColumnLayout::Delete(int nColumn)
{
    if (!IsValid(nColumn))
        return FALSE;
    int nOrder = m_columns[nColumn].nOrder;
    m_columns.erase(m_columns.begin() + nColumn);
    for (COLUMN_DATA& stColumn : m_columns)
        if (stColumn.nOrder > nOrder)
            --stColumn.nOrder;
    int nSortIndex = m_nSortColumn < 0 ? -m_nSortColumn : m_nSortColumn;
    if (nSortIndex == nColumn + 1)
        m_nSortColumn = 0;
    else if (nSortIndex > nColumn + 1)
        m_nSortColumn += m_nSortColumn < 0 ? 1 : -1;
    return TRUE;
}

int CColumnLayout::ToPhysical(int nColumn) const
{
    if (!IsValid(nColumn) || !m_columns[nColumn].visible)
        return -1;
    int nPhysical = 0;
    for (int i = 0; i < nColumn; ++i)
        nPhysical += m_columns[i].present && m_columns[i].visible;
    return nPhysical;
}

int CColumnLayout::ToLogical(int nPhysical) const
{
    for (int i = 0; i < GetCount(); ++i)
    {
        if (!m_columns[i].present || !m_columns[i].visible)
            continue;
        if (nPhysical-- == 0)
            return i;
    }
    return -1;
}

int CColumnLayout::ToPhysicalOrder(int nOrder) const
{
    int nPhysical = 0;
    for (const COLUMN_DATA& stColumn : m_columns)
        nPhysical += stColumn.present && stColumn.visible && stColumn.nOrder < nOrder;
    return nPhysical;
}

std::vector<int> CColumnLayout::GetOrderArray() const
{
    std::vector<int> columns(m_columns.size());
    for (int i = 0; i < GetCount(); ++i)
        columns[i] = i;
    std::stable_sort(columns.begin(), columns.end(),
                     [this](int a, int b) { return m_columns[a].nOrder < m_columns[b].nOrder; });
    return columns;
}

void CColumnLayout::SetOrderArray(const std::vector<int>& columns)
{
    std::vector<int> display;
    for (int nColumn : columns)
        if (IsValid(nColumn) && std::find(display.begin(), display.end(), nColumn) == display.end())
            display.push_back(nColumn);
    for (int nColumn : GetOrderArray())
        if (std::find(display.begin(), display.end(), nColumn) == display.end())
            display.push_back(nColumn);
    for (int i = 0; i < static_cast<int>(display.size()); ++i)
        m_columns[display[i]].nOrder = i;
}

int CColumnLayout::ClickColumn(int nColumn)
{
    if (m_nSortColumn == nColumn + 1 || m_nSortColumn == -(nColumn + 1))
        m_nSortColumn = -m_nSortColumn;
    else
        m_nSortColumn = nColumn + 1;
    return m_nSortColumn;
}

std::vector<BYTE> CColumnLayout::SaveLayout(const std::vector<int>& widths) const
{
    std::vector<BYTE> data;
    if (m_columns.empty() || widths.size() != m_columns.size())
        return data;
    data.assign(LayoutHeaderBytes + LayoutColumnBytes * m_columns.size(), 0);
    PutInt(data, 0, GetCount());
    PutInt(data, 4, m_nSortColumn);
    for (size_t i = 0; i < m_columns.size(); ++i)
    {
        size_t nAt = LayoutHeaderBytes + LayoutColumnBytes * i;
        data[nAt] = m_columns[i].visible || !m_columns[i].hideable ? 1 : 0;
        PutInt(data, nAt + 1, widths[i]);
        PutInt(data, nAt + 5, m_columns[i].nOrder);
    }
    return data;
}

CColumnLayout::ELayoutCheck CColumnLayout::CheckLayout(const std::vector<BYTE>& data,
                                                      stCOLUMN_LAYOUT& layout) const
{
    size_t nCount = m_columns.size();
    if (data.size() != LayoutHeaderBytes + LayoutColumnBytes * nCount || nCount == 0 ||
        GetInt(data, 0) != static_cast<int>(nCount))
        return layoutMismatch;
    int nSort = GetInt(data, 4);
    if (nSort == INT_MIN || nSort > static_cast<int>(nCount) || -nSort > static_cast<int>(nCount))
        return layoutCorrupt;
    std::vector<bool> orderTaken(nCount, false);
    layout.nSortColumn = nSort;
    layout.columns.resize(nCount);
    for (size_t i = 0; i < nCount; ++i)
    {
        size_t nAt = LayoutHeaderBytes + LayoutColumnBytes * i;
        stCOLUMN_STATE& stState = layout.columns[i];
        stState.bVisible = data[nAt] != 0;
        stState.nWidth = GetInt(data, nAt + 1);
        stState.nOrder = GetInt(data, nAt + 5);
        // The orders must be each place once, or the order array has holes.
        if (stState.nOrder < 0 || stState.nOrder >= static_cast<int>(nCount) || orderTaken[stState.nOrder])
            return layoutCorrupt;
        orderTaken[stState.nOrder] = true;
    }
    return layoutValid;
}

COLORREF SortColumnTint(COLORREF crBack)
{
    int nRed = GetRValue(crBack), nGreen = GetGValue(crBack), nBlue = GetBValue(crBack);
    bool bLighten = nRed <= 240 || nGreen <= 240 || nBlue <= 240;
    return RGB(ShiftChannel(nRed, bLighten), ShiftChannel(nGreen, bLighten), ShiftChannel(nBlue, bLighten));
}
