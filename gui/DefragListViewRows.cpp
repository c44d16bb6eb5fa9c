// The drive list's control: its columns, rows, row height and order.
#include "gui/DefragListView.h"

#include "gui/DriveRows.h"
#include "gui/MainFrameLayout.h"
#include "gui/ReplyDispatcher.h"
#include "gui/ResourceText.h"

#include "guitoolkit/Registry.h"

#include <commctrl.h>

#include <utility>

namespace
{
const wchar_t* const LayoutSection = L"Settings";
const wchar_t* const LayoutEntry = L"Overview";
// Double buffer, border select, label tips, info tips, full-row select, header drag and drop.
constexpr DWORD DriveListExStyle = 0x1C430;
constexpr DWORD DriveListStyle = LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS;

// A flag is on exactly when its value is 1; a missing value keeps what it was.
void ReadFlag(toolkit::CRegistry& key, const wchar_t* pszName, bool& bFlag)
{
    DWORD dwValue = 0;
    if (key.ReadDWORD(pszName, dwValue))
        bFlag = dwValue == 1;
}
}

BOOL CDefragListView::PreCreateWindow(CREATESTRUCTW& cs)
{
    // Owner-drawn from the start: the control asks the row height only when it is made or resized.
    cs.style |= DriveListStyle | LVS_OWNERDRAWFIXED;
    return CListViewEx::PreCreateWindow(cs);
}

void CDefragListView::OnInitialUpdate()
{
    ReadViewFlags();
    CListViewEx::OnInitialUpdate();
    InsertColumns();
    GetListCtrl().SetExtendedStyle(DriveListExStyle);
    SetSortColumn(0);
    if (!RestoreColumnState(LayoutSection, LayoutEntry))
    {
        for (int nColumn = CDriveRows::FirstHiddenColumn; nColumn <= CDriveRows::LastHiddenColumn; ++nColumn)
            ShowColumn(nColumn, FALSE);
    }
    SortRows();
}

void CDefragListView::ReadViewFlags()
{
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, FrameSettingsKey))
        return;
    const std::pair<const wchar_t*, bool*> flags[] = {
        {L"ShowClusterView", &m_stViewFlags.bShowClusterView},
        {L"ShowSplashScreen", &m_stViewFlags.bShowSplashScreen},
        {L"ShowAnalyzeFinish", &m_stViewFlags.bShowAnalyzeFinish},
        {L"ShowDefragFinish", &m_stViewFlags.bShowDefragFinish},
        {L"ShowWelcomeScreen", &m_stViewFlags.bShowWelcomeScreen},
        {L"ShowMonitoringStates", &m_stViewFlags.bShowMonitoringStates},
    };
    for (const auto& flag : flags)
        ReadFlag(key, flag.first, *flag.second);
}

void CDefragListView::InsertColumns()
{
    CListCtrl& list = GetListCtrl();
    for (int nColumn = 0; nColumn < CDriveRows::ColumnCount; ++nColumn)
    {
        const stDriveColumn& column = CDriveRows::GetColumn(nColumn);
        list.InsertColumn(nColumn, ResourceText(column.nTitleId),
                          column.bRightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT, column.nWidth);
        EnableColumnHiding(nColumn, nColumn != 0);
    }
}

void CDefragListView::SaveLayout()
{
    SaveColumnState(LayoutSection, LayoutEntry);
}

void CDefragListView::SetStyle(int nStyle)
{
    m_nFixedRowHeight = nStyle == 0 ? ClassicRowHeight : StyleRowHeight;
    if (m_hWnd == NULL)
        return;
    ModifyStyle(0, DriveListStyle);
    // The control asks for the row height again only when its size changes,
    // not on a new font: one pixel more and back.
    CRect rc;
    GetWindowRect(&rc);
    const UINT nFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(nullptr, 0, 0, rc.Width(), rc.Height() + 1, nFlags);
    SetWindowPos(nullptr, 0, 0, rc.Width(), rc.Height(), nFlags);
    Invalidate();
}

BOOL CDefragListView::OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (nMsg == WM_MEASUREITEM)
    {
        auto* pMeasure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        pMeasure->itemHeight = static_cast<UINT>(m_nFixedRowHeight != 0 ? m_nFixedRowHeight : FontRowHeight());
        *pResult = TRUE;
        return TRUE;
    }
    BOOL bHandled = CListViewEx::OnChildNotify(nMsg, wParam, lParam, pResult);
    // The base has taken the clicked column as the new sort key.
    if (nMsg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == LVN_COLUMNCLICK)
        SortRows();
    return bHandled;
}

int CDefragListView::FontRowHeight() const
{
    int nHeight = 16;
    HDC hDC = ::GetDC(m_hWnd);
    if (hDC == NULL)
        return nHeight;
    HFONT hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    HGDIOBJ hOld = hFont != NULL ? ::SelectObject(hDC, hFont) : NULL;
    TEXTMETRICW tm;
    if (::GetTextMetricsW(hDC, &tm))
        nHeight = tm.tmHeight + tm.tmExternalLeading + 1;
    if (hOld != NULL)
        ::SelectObject(hDC, hOld);
    ::ReleaseDC(m_hWnd, hDC);
    return nHeight;
}

int CDefragListView::GetRowCount() const
{
    return m_hWnd != NULL ? GetListCtrl().GetItemCount() : 0;
}

stDriveRow* CDefragListView::GetRow(int nRow) const
{
    if (nRow < 0 || nRow >= GetRowCount())
        return nullptr;
    return reinterpret_cast<stDriveRow*>(GetListCtrl().GetItemData(nRow));
}

int CDefragListView::InsertRow(int nRow, const wchar_t* pszDrive, stDriveRow* pRow)
{
    if (m_hWnd == NULL)
        return -1;
    LVITEMW stItem = {};
    stItem.mask = LVIF_TEXT | LVIF_PARAM;
    stItem.iItem = nRow;
    stItem.pszText = const_cast<wchar_t*>(pszDrive);
    stItem.lParam = reinterpret_cast<LPARAM>(pRow);
    return GetListCtrl().InsertItem(&stItem);
}

void CDefragListView::DeleteAllRows()
{
    if (m_hWnd != NULL)
        GetListCtrl().DeleteAllItems();
}

CString CDefragListView::GetCellText(int nRow, int nColumn) const
{
    return m_hWnd != NULL ? GetListCtrl().GetItemText(nRow, nColumn) : CString();
}

void CDefragListView::SetCellText(int nRow, int nColumn, const wchar_t* pszText)
{
    if (m_hWnd != NULL)
        GetListCtrl().SetItemText(nRow, nColumn, pszText);
}

void CDefragListView::SetRedraw(bool bRedraw)
{
    if (m_hWnd == NULL)
        return;
    CListViewEx::SetRedraw(bRedraw ? TRUE : FALSE);
    if (bRedraw)
        Invalidate();
}

bool CDefragListView::IsRowSelected(int nRow) const
{
    return m_hWnd != NULL && (GetListCtrl().GetItemState(nRow, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void CDefragListView::SelectAndFocusRow(int nRow)
{
    if (m_hWnd != NULL)
        GetListCtrl().SetItemState(nRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void CDefragListView::SortRows()
{
    int nSortKey = GetSortColumn();
    if (m_hWnd != NULL && nSortKey != 0)
        SortItems(&CompareRows, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(nSortKey)));
}

int CALLBACK CDefragListView::CompareRows(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    const auto* pA = reinterpret_cast<const stDriveRow*>(lParam1);
    const auto* pB = reinterpret_cast<const stDriveRow*>(lParam2);
    if (pA == nullptr || pB == nullptr)
        return 0;
    return CDriveRows::Compare(pA->entry, pB->entry, static_cast<int>(lParamSort));
}

const CString& CDefragListView::GetPassword() const
{
    return m_pDispatcher->GetKeptPassword();
}

void CDefragListView::SetPassword(const wchar_t* pszPassword)
{
    m_pDispatcher->SetKeptPassword(CString(pszPassword));
}
