#include "guitoolkit/ListItemRecord.h"

void CopyTextBounded(const wchar_t* pszText, wchar_t* pszBuffer, int nChars)
{
    if (pszBuffer == nullptr || nChars <= 0)
        return;
    int i = 0;
    for (; pszText != nullptr && i < nChars - 1 && pszText[i] != L'\0'; ++i)
        pszBuffer[i] = pszText[i];
    pszBuffer[i] = L'\0';
}

void CListItemRecord::Store(int nColumn, const LVITEMW& stItem)
{
    if (stItem.mask & LVIF_PARAM)
        m_lParam = stItem.lParam;
    if (nColumn < 0 || nColumn >= GetCount())
        return;
    stSAVED_CELL& stCell = m_cells[nColumn];
    stCell.nMask |= stItem.mask & (LVIF_TEXT | LVIF_IMAGE | LVIF_STATE | LVIF_INDENT);
    if (stItem.mask & LVIF_TEXT)
    {
        stCell.bTextCallback = stItem.pszText == LPSTR_TEXTCALLBACKW;
        stCell.strText = stCell.bTextCallback || stItem.pszText == nullptr ? L"" : stItem.pszText;
    }
    if (stItem.mask & LVIF_IMAGE)
        stCell.nImage = stItem.iImage;
    if (stItem.mask & LVIF_STATE)
    {
        stCell.nState = (stCell.nState & ~stItem.stateMask) | (stItem.state & stItem.stateMask);
        stCell.nStateMask |= stItem.stateMask;
    }
    if (stItem.mask & LVIF_INDENT)
        stCell.nIndent = stItem.iIndent;
}

bool CListItemRecord::Fill(int nColumn, LVITEMW& stItem) const
{
    if (stItem.mask & LVIF_PARAM)
        stItem.lParam = m_lParam;
    const stSAVED_CELL* pCell = GetCell(nColumn);
    if (pCell == nullptr)
        return false;
    if (stItem.mask & LVIF_TEXT)
        CopyTextBounded(pCell->strText.c_str(), stItem.pszText, stItem.cchTextMax);
    if (stItem.mask & LVIF_IMAGE)
        stItem.iImage = pCell->nImage;
    if (stItem.mask & LVIF_STATE)
        stItem.state = pCell->nState & stItem.stateMask;
    if (stItem.mask & LVIF_INDENT)
        stItem.iIndent = pCell->nIndent;
    return true;
}

const wchar_t* CListItemRecord::GetText(int nColumn) const
{
    const stSAVED_CELL* pCell = GetCell(nColumn);
    if (pCell == nullptr || !(pCell->nMask & LVIF_TEXT) || pCell->bTextCallback)
        return nullptr;
    return pCell->strText.c_str();
}

const stSAVED_CELL* CListItemRecord::GetCell(int nColumn) const
{
    return nColumn >= 0 && nColumn < GetCount() ? &m_cells[nColumn] : nullptr;
}

void CListItemRecord::InsertColumn(int nColumn)
{
    if (nColumn >= 0 && nColumn <= GetCount())
        m_cells.insert(m_cells.begin() + nColumn, stSAVED_CELL());
}

void CListItemRecord::DeleteColumn(int nColumn)
{
    if (nColumn >= 0 && nColumn < GetCount())
        m_cells.erase(m_cells.begin() + nColumn);
}
