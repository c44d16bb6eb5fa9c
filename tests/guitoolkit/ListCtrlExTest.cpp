#include "classlib/WinApp.h"
#include "guitoolkit/LabelTipCtrl.h"
#include "guitoolkit/ListCtrlEx.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"
#include "HeaderMenuProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// The list's parent: notes what the list tells it and accepts edited labels.
class CListParent : public CWnd
{
public:
    struct stEND_EDIT
    {
        bool bNullText;
        std::wstring strText;
    };

    BOOL OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult) override
    {
        const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        if (pHeader->code == LVN_ENDLABELEDITW)
        {
            const NMLVDISPINFOW* pInfo = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
            m_endEdits.push_back({pInfo->item.pszText == nullptr,
                                  pInfo->item.pszText != nullptr ? pInfo->item.pszText : L""});
            *pResult = TRUE;
            return TRUE;
        }
        if (pHeader->code == LVN_GETDISPINFOW && m_bEndlessTexts)
        {
            // A text that fills any buffer it is given.
            const NMLVDISPINFOW* pInfo = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
            if ((pInfo->item.mask & LVIF_TEXT) && pInfo->item.cchTextMax > 0)
            {
                std::fill(pInfo->item.pszText, pInfo->item.pszText + pInfo->item.cchTextMax - 1, L'x');
                pInfo->item.pszText[pInfo->item.cchTextMax - 1] = L'\0';
            }
            return TRUE;
        }
        if (pHeader->code == LVN_COLUMNCLICK)
        {
            m_clickedColumns.push_back(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
            return TRUE;
        }
        return FALSE;
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_CONTEXTMENU)
            ++m_nContextMenus;
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }

    std::vector<stEND_EDIT> m_endEdits;
    std::vector<int> m_clickedColumns;
    int m_nContextMenus = 0;
    bool m_bEndlessTexts = false;
};

class ListCtrlExTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app.SetProfileName(L"VarnefoldListTests");
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, L"lists", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 560, 320, NULL,
                                      NULL));
        ::SetForegroundWindow(m_parent.m_hWnd);
        PumpPending();
    }
    void TearDown() override
    {
        m_parent.DestroyWindow();
        PumpPending();
    }

    // Four columns "A" to "D" of 100, 80, 70 and 60 pixels and three rows of texts "r<row>c<column>".
    void CreateList(CListCtrlEx& list, DWORD dwStyle, UINT nID = 10)
    {
        ASSERT_TRUE(list.Create(LVS_REPORT | WS_VISIBLE | WS_BORDER | dwStyle, CRect(10, 10, 530, 260), &m_parent, nID));
        const wchar_t* apszHeadings[] = {L"A", L"B", L"C", L"D"};
        const int anWidths[] = {100, 80, 70, 60};
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(list.InsertColumn(i, apszHeadings[i], LVCFMT_LEFT, anWidths[i]), i);
        for (int nRow = 0; nRow < 3; ++nRow)
        {
            ASSERT_EQ(list.InsertItem(nRow, CellText(nRow, 0).c_str()), nRow);
            for (int nColumn = 1; nColumn < 4; ++nColumn)
                ASSERT_TRUE(list.SetItemText(nRow, nColumn, CellText(nRow, nColumn).c_str()));
        }
    }
    static std::wstring CellText(int nRow, int nColumn)
    {
        return L"r" + std::to_wstring(nRow) + L"c" + std::to_wstring(nColumn);
    }
    // What the control itself shows in a physical cell, asked past the list's own handling.
    static std::wstring ShownText(CListCtrlEx& list, int nRow, int nPhysical)
    {
        wchar_t szText[64] = {};
        LVITEMW stItem = {};
        stItem.iSubItem = nPhysical;
        stItem.pszText = szText;
        stItem.cchTextMax = 64;
        list.DefWindowProc(LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&stItem));
        return szText;
    }
    static HDITEMW HeaderItem(CListCtrlEx& list, int nPhysical)
    {
        HDITEMW stItem = {};
        stItem.mask = HDI_FORMAT | HDI_IMAGE;
        EXPECT_TRUE(list.GetHeaderCtrl()->GetItem(nPhysical, &stItem));
        return stItem;
    }
    CWinApp m_app;
    CListParent m_parent;
    CListCtrlEx m_list;
};
} // namespace

TEST_F(ListCtrlExTest, HiddenColumnKeepsItsCellsAndShowsThemAgain)
{
    CreateList(m_list, 0);
    m_list.EnableColumnHiding(1, TRUE);
    ASSERT_TRUE(m_list.SetColumnWidth(1, 77));
    ASSERT_TRUE(m_list.ShowColumn(1, FALSE));
    EXPECT_EQ(m_list.GetColumnCount(), 3);
    EXPECT_EQ(m_list.GetColumnWidth(1), 0) << "a hidden column has no width";
    EXPECT_TRUE(m_list.SetItemText(2, 1, L"set while hidden"));
    EXPECT_EQ(m_list.GetItemText(2, 1), L"set while hidden");
    EXPECT_EQ(m_list.GetItemText(2, 2), L"r2c2") << "logical columns after it keep their cells";
    EXPECT_EQ(ShownText(m_list, 2, 1), L"r2c2") << "the control shows column 2 in place of the hidden one";
    LVCOLUMNW stColumn = {};
    wchar_t szHeading[8] = {};
    stColumn.mask = LVCF_TEXT | LVCF_ORDER | LVCF_SUBITEM;
    stColumn.pszText = szHeading;
    stColumn.cchTextMax = 8;
    ASSERT_TRUE(m_list.GetColumn(1, &stColumn));
    EXPECT_STREQ(szHeading, L"B");
    EXPECT_EQ(stColumn.iOrder, 1);
    EXPECT_EQ(stColumn.iSubItem, 1);

    ASSERT_TRUE(m_list.ShowColumn(1, TRUE));
    EXPECT_EQ(m_list.GetColumnCount(), 4);
    EXPECT_EQ(m_list.GetColumnWidth(1), 77) << "the width it had";
    EXPECT_EQ(ShownText(m_list, 2, 1), L"set while hidden");
    EXPECT_EQ(ShownText(m_list, 0, 1), L"r0c1");
    EXPECT_EQ(ShownText(m_list, 0, 2), L"r0c2");
    EXPECT_FALSE(m_list.ShowColumn(2, FALSE)) << "only hideable columns hide";
    EXPECT_FALSE(m_list.ShowColumn(4, FALSE));
}

TEST_F(ListCtrlExTest, FirstColumnHidesOnlyInOwnerDrawnLists)
{
    CreateList(m_list, 0);
    m_list.EnableColumnHiding(0, TRUE);
    EXPECT_FALSE(m_list.ShowColumn(0, FALSE));
    EXPECT_EQ(m_list.GetColumnCount(), 4);

    CListCtrlEx owner;
    CreateList(owner, LVS_OWNERDRAWFIXED, 11);
    owner.EnableColumnHiding(0, TRUE);
    ASSERT_TRUE(owner.ShowColumn(0, FALSE));
    EXPECT_EQ(owner.GetColumnCount(), 3);
    EXPECT_EQ(owner.GetItemText(1, 0), L"r1c0");
    EXPECT_EQ(ShownText(owner, 1, 0), L"r1c1");
    ASSERT_TRUE(owner.ShowColumn(0, TRUE));
    EXPECT_EQ(ShownText(owner, 1, 0), L"r1c0");
    EXPECT_EQ(ShownText(owner, 1, 1), L"r1c1");
}

TEST_F(ListCtrlExTest, HeaderMenuListsColumnsInLogicalOrderAfterADrag)
{
    CreateList(m_list, 0);
    for (int i = 1; i < 4; ++i)
        m_list.EnableColumnHiding(i, TRUE);
    ASSERT_TRUE(m_list.SetColumnOrderArray({3, 0, 2, 1}));
    std::vector<int> order;
    ASSERT_TRUE(m_list.GetColumnOrderArray(order));
    EXPECT_EQ(order, (std::vector<int>{3, 0, 2, 1}));
    ASSERT_TRUE(m_list.ShowColumn(2, FALSE));
    ASSERT_TRUE(m_list.GetColumnOrderArray(order));
    EXPECT_EQ(order.size(), 3u) << "the header holds the shown columns";
    std::vector<int> logical(4);
    m_list.SendMessage(LVM_GETCOLUMNORDERARRAY, 4, reinterpret_cast<LPARAM>(logical.data()));
    EXPECT_EQ(logical, (std::vector<int>{3, 0, 2, 1})) << "the hidden column keeps its place";
    std::vector<int> physical(3);
    m_list.DefWindowProc(LVM_GETCOLUMNORDERARRAY, 3, reinterpret_cast<LPARAM>(physical.data()));
    EXPECT_EQ(physical, (std::vector<int>{2, 0, 1})) << "the control's order in its own indices";

    std::vector<stMENU_ENTRY> menu = OpenHeaderMenu(m_list.m_hWnd);
    ASSERT_EQ(menu.size(), 4u);
    const wchar_t* apszHeadings[] = {L"A", L"B", L"C", L"D"};
    for (UINT i = 0; i < 4; ++i)
    {
        EXPECT_EQ(menu[i].strText, apszHeadings[i]);
        EXPECT_EQ(menu[i].nId, i);
        EXPECT_EQ((menu[i].nState & MF_GRAYED) != 0, i == 0) << "column 0 cannot hide";
        EXPECT_EQ((menu[i].nState & MF_CHECKED) != 0, i != 2) << "column 2 is hidden";
    }
    EXPECT_TRUE(m_list.IsColumnVisible(3)) << "closing the menu chooses nothing";

    // The menu's choice comes back as a command with the column as its id.
    m_list.SendMessage(WM_COMMAND, 2);
    EXPECT_TRUE(m_list.IsColumnVisible(2));
    m_list.SendMessage(WM_COMMAND, MAKEWPARAM(3, EN_CHANGE), reinterpret_cast<LPARAM>(m_parent.m_hWnd));
    m_list.SendMessage(WM_COMMAND, MAKEWPARAM(3, 1));
    EXPECT_TRUE(m_list.IsColumnVisible(3)) << "commands with a notification code are swallowed";

    RECT rcList;
    m_list.GetWindowRect(&rcList);
    m_list.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_list.m_hWnd),
                       MAKELPARAM(rcList.left + 50, rcList.bottom - 20));
    EXPECT_EQ(m_parent.m_nContextMenus, 1) << "a click on the rows is the parent's";
}

TEST_F(ListCtrlExTest, NoHeaderMenuWithoutHideableColumns)
{
    CreateList(m_list, 0);
    EXPECT_TRUE(OpenHeaderMenu(m_list.m_hWnd).empty());
    EXPECT_EQ(m_parent.m_nContextMenus, 0);
}

TEST_F(ListCtrlExTest, FirstColumnBoundsAreItsOwnCell)
{
    CreateList(m_list, 0);
    CRect rcFirst, rcSecond;
    ASSERT_TRUE(m_list.GetSubItemRect(1, 0, LVIR_BOUNDS, rcFirst));
    ASSERT_TRUE(m_list.GetSubItemRect(1, 1, LVIR_BOUNDS, rcSecond));
    EXPECT_EQ(rcFirst.Width(), 100);
    EXPECT_EQ(rcSecond.left, rcFirst.right);
    ASSERT_TRUE(m_list.SetColumnOrderArray({1, 0, 2, 3}));
    ASSERT_TRUE(m_list.GetSubItemRect(1, 0, LVIR_BOUNDS, rcFirst));
    ASSERT_TRUE(m_list.GetSubItemRect(1, 1, LVIR_BOUNDS, rcSecond));
    EXPECT_EQ(rcFirst.left, rcSecond.right) << "column 0 shown second";
    EXPECT_EQ(rcFirst.Width(), 100);
    m_list.EnableColumnHiding(2, TRUE);
    m_list.ShowColumn(2, FALSE);
    EXPECT_FALSE(m_list.GetSubItemRect(1, 2, LVIR_BOUNDS, rcFirst)) << "a hidden column has no cell";
}

TEST_F(ListCtrlExTest, ItemDataFindAndSortSpeakOfTheCallersData)
{
    CreateList(m_list, 0);
    ASSERT_EQ(m_list.InsertItem(3, L"r3c0"), 3);
    const LPARAM anData[] = {10, 20, 30, 20};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(m_list.SetItemData(i, anData[i]));
    EXPECT_EQ(m_list.GetItemData(2), 30u);

    struct
    {
        LPARAM lParam;
        int nStart;
        bool bWrap;
        int nFound;
    } cases[] = {
        {20, -1, false, 1}, {20, 1, false, 3}, {20, 3, false, -1}, {20, 3, true, 1},
        // The start item is where the search stands, not a match, also when it wraps.
        {30, 2, true, -1},  {10, 0, true, -1}, {10, 2, true, 0},   {40, -1, true, -1},
    };
    for (const auto& c : cases)
    {
        LVFINDINFOW stFind = {};
        stFind.flags = LVFI_PARAM | (c.bWrap ? LVFI_WRAP : 0);
        stFind.lParam = c.lParam;
        EXPECT_EQ(m_list.FindItem(&stFind, c.nStart), c.nFound) << c.lParam << " from " << c.nStart;
    }

    auto descending = [](LPARAM a, LPARAM b, LPARAM lSign) -> int {
        return static_cast<int>(lSign) * static_cast<int>(b - a);
    };
    ASSERT_TRUE(m_list.SortItems(+descending, 1));
    EXPECT_EQ(m_list.GetItemData(0), 30u);
    EXPECT_EQ(m_list.GetItemText(0, 0), L"r2c0") << "the row moves with its data";
    EXPECT_EQ(m_list.GetItemData(3), 10u);
}

TEST_F(ListCtrlExTest, ColumnClickTurnsTheSortAndTellsTheParentTheLogicalColumn)
{
    CreateList(m_list, 0);
    m_list.EnableColumnHiding(1, TRUE);
    m_list.ShowColumn(1, FALSE);
    NMLISTVIEW stClick = {};
    stClick.hdr.hwndFrom = m_list.m_hWnd;
    stClick.hdr.idFrom = 10;
    stClick.hdr.code = LVN_COLUMNCLICK;
    stClick.iItem = -1;
    stClick.iSubItem = 1;
    m_parent.SendMessage(WM_NOTIFY, 10, reinterpret_cast<LPARAM>(&stClick));
    EXPECT_EQ(m_list.GetSortColumn(), 3);
    m_parent.SendMessage(WM_NOTIFY, 10, reinterpret_cast<LPARAM>(&stClick));
    EXPECT_EQ(m_list.GetSortColumn(), -3);
    EXPECT_EQ(m_parent.m_clickedColumns, (std::vector<int>{2, 2}));
}

TEST_F(ListCtrlExTest, SortMarkStandsOnTheSortColumnOnly)
{
    CreateList(m_list, 0);
    m_list.SetCommonControlsClass(CSortArrows::controls6);
    m_list.ShowSortArrow(TRUE, -3);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(HeaderItem(m_list, i).fmt & (HDF_SORTUP | HDF_SORTDOWN | HDF_IMAGE), i == 2 ? HDF_SORTDOWN : 0) << i;

    m_list.SetCommonControlsClass(CSortArrows::controlsBelow6);
    for (int i = 0; i < 4; ++i)
    {
        HDITEMW stItem = HeaderItem(m_list, i);
        EXPECT_EQ(stItem.fmt & (HDF_SORTUP | HDF_SORTDOWN | HDF_IMAGE | HDF_BITMAP_ON_RIGHT),
                  i == 2 ? HDF_IMAGE | HDF_BITMAP_ON_RIGHT : 0)
            << i;
        if (i == 2)
        {
            EXPECT_EQ(stItem.iImage, 1) << "the descending arrow";
        }
    }
    // With column 1 hidden the sort column is the control's second.
    m_list.EnableColumnHiding(1, TRUE);
    m_list.ShowColumn(1, FALSE);
    m_list.SetSortColumn(3);
    EXPECT_EQ(HeaderItem(m_list, 1).fmt & HDF_IMAGE, HDF_IMAGE);
    EXPECT_EQ(HeaderItem(m_list, 1).iImage, 0) << "the ascending arrow";
    EXPECT_EQ(HeaderItem(m_list, 2).fmt & HDF_IMAGE, 0);
}

TEST_F(ListCtrlExTest, SmallImagesLeaveTheHeaderItsArrows)
{
    CreateList(m_list, 0);
    m_list.SetCommonControlsClass(CSortArrows::controlsBelow6);
    m_list.ShowSortArrow(TRUE, 1);
    HIMAGELIST hArrows = m_list.GetHeaderCtrl()->GetImageList();
    ASSERT_NE(hArrows, HIMAGELIST(NULL));
    CImageList small;
    ASSERT_TRUE(small.Create(16, 16, ILC_COLOR24 | ILC_MASK, 1, 0));
    m_list.SetImageList(small, LVSIL_SMALL);
    EXPECT_EQ(m_list.GetHeaderCtrl()->GetImageList(), hArrows);
    m_list.SetImageList(NULL, LVSIL_SMALL);
}

TEST_F(ListCtrlExTest, CancelledLabelEditLeavesTheItemAndTellsTheParentWithoutText)
{
    CreateList(m_list, LVS_EDITLABELS);
    m_list.SetFocus();
    struct
    {
        const char* pszHow;
        void (*pfnEnd)(CListCtrlEx& list, HWND hEdit);
        bool bKept;
    } cases[] = {
        {"Escape", [](CListCtrlEx&, HWND hEdit) { ::SendMessageW(hEdit, WM_KEYDOWN, VK_ESCAPE, 0); }, false},
        {"cancel message", [](CListCtrlEx& list, HWND) { list.CancelEditLabel(); }, false},
        {"Return", [](CListCtrlEx&, HWND hEdit) { ::SendMessageW(hEdit, WM_KEYDOWN, VK_RETURN, 0); }, true},
    };
    for (const auto& c : cases)
    {
        m_parent.m_endEdits.clear();
        HWND hEdit = m_list.EditLabel(1);
        ASSERT_NE(hEdit, HWND(NULL)) << c.pszHow;
        ::SetWindowTextW(hEdit, L"edited");
        c.pfnEnd(m_list, hEdit);
        PumpPending();
        ASSERT_EQ(m_parent.m_endEdits.size(), 1u) << c.pszHow;
        EXPECT_EQ(m_parent.m_endEdits[0].bNullText, !c.bKept) << c.pszHow;
        EXPECT_EQ(m_list.GetItemText(1, 0), c.bKept ? L"edited" : L"r1c0") << c.pszHow;
        EXPECT_EQ(m_list.GetEditControl(), HWND(NULL)) << c.pszHow;
    }
    EXPECT_EQ(ShownText(m_list, 1, 0), L"edited");
}

TEST_F(ListCtrlExTest, SavedLayoutComesBackAndADamagedOneChangesNothing)
{
    CreateList(m_list, 0);
    for (int i = 1; i < 4; ++i)
        m_list.EnableColumnHiding(i, TRUE);
    m_list.SetColumnWidth(3, 44);
    m_list.SetColumnOrderArray({0, 3, 1, 2});
    m_list.ShowColumn(1, FALSE);
    m_list.SetSortColumn(-4);
    ASSERT_TRUE(m_list.SaveColumnState(L"Settings", L"ListTest"));

    CListCtrlEx restored;
    CreateList(restored, 0, 11);
    for (int i = 1; i < 4; ++i)
        restored.EnableColumnHiding(i, TRUE);
    ASSERT_TRUE(restored.RestoreColumnState(L"Settings", L"ListTest"));
    EXPECT_FALSE(restored.IsColumnVisible(1));
    EXPECT_EQ(restored.GetColumnCount(), 3);
    EXPECT_EQ(restored.GetColumnWidth(3), 44);
    EXPECT_EQ(restored.GetSortColumn(), -4);
    std::vector<int> logical(4);
    restored.SendMessage(LVM_GETCOLUMNORDERARRAY, 4, reinterpret_cast<LPARAM>(logical.data()));
    EXPECT_EQ(logical, (std::vector<int>{0, 3, 1, 2}));
    restored.ShowColumn(1, TRUE);
    EXPECT_EQ(restored.GetColumnWidth(1), 80) << "the remembered width came with the layout";

    // A value its user edited: a negative order; nothing of it is applied.
    std::vector<BYTE> data;
    ASSERT_TRUE(m_app.GetProfileBinary(L"Settings", L"ListTest", data));
    int nBad = -1;
    std::memcpy(data.data() + 13, &nBad, sizeof(nBad));
    ASSERT_TRUE(m_app.WriteProfileBinary(L"Settings", L"ListTest", data.data(), static_cast<UINT>(data.size())));
    CListCtrlEx untouched;
    CreateList(untouched, 0, 12);
    untouched.EnableColumnHiding(1, TRUE);
    EXPECT_FALSE(untouched.RestoreColumnState(L"Settings", L"ListTest"));
    EXPECT_TRUE(untouched.IsColumnVisible(1));
    EXPECT_EQ(untouched.GetSortColumn(), 0);

    // Saved for another set of columns: kept out, and no failure.
    m_list.DeleteColumn(3);
    ASSERT_TRUE(m_list.SaveColumnState(L"Settings", L"ListTest"));
    EXPECT_TRUE(untouched.RestoreColumnState(L"Settings", L"ListTest"));
    EXPECT_EQ(untouched.GetSortColumn(), 0);
    EXPECT_FALSE(untouched.RestoreColumnState(L"Settings", L"Missing"));
}

TEST_F(ListCtrlExTest, LabelTipShowsForATextOnePixelTooWide)
{
    CreateList(m_list, 0);
    m_list.SetExtendedStyle(LVS_EX_LABELTIP);
    EXPECT_EQ(m_list.GetExtendedStyle(), DWORD(LVS_EX_LABELTIP));
    EXPECT_EQ(m_list.DefWindowProc(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_LABELTIP, 0)
        << "the list shows the tip itself";
    const std::wstring strText = L"a longer cell text";
    m_list.SetItemText(1, 1, strText.c_str());
    int nTextWidth = m_list.GetStringWidth(strText.c_str());
    ASSERT_GT(nTextWidth, 0);
    ASSERT_NE(m_list.GetLabelTip(), nullptr);
    ASSERT_NE(::GetActiveWindow(), HWND(NULL));
    for (int nShort : {0, 1})
    {
        // The cell's margins are 6 pixels on each side.
        m_list.SetColumnWidth(1, nTextWidth + 12 - nShort);
        CRect rcCell;
        ASSERT_TRUE(m_list.GetSubItemRect(1, 1, LVIR_BOUNDS, rcCell));
        m_list.SendMessage(WM_MOUSELEAVE);
        m_list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(rcCell.left + 4, rcCell.top + rcCell.Height() / 2));
        EXPECT_EQ(std::wstring(m_list.GetLabelTip()->GetText(&m_list).Str()), nShort ? strText : L"")
            << nShort << " pixel short";
    }
    EXPECT_STREQ(m_list.GetLabelTip()->GetClassName(), L"tooltips_class32_without_shadows");
}

TEST_F(ListCtrlExTest, CheckBoxClickGivesTheWholeSelectionTheNewCheck)
{
    CreateList(m_list, LVS_SHOWSELALWAYS);
    m_list.SetExtendedStyle(LVS_EX_CHECKBOXES);
    HIMAGELIST hState = m_list.GetImageList(LVSIL_STATE);
    ASSERT_NE(hState, HIMAGELIST(NULL));
    int cxState = 0, cyState = 0;
    ASSERT_TRUE(ImageList_GetIconSize(hState, &cxState, &cyState));
    for (int nRow : {0, 2})
        m_list.SetItemState(nRow, LVIS_SELECTED, LVIS_SELECTED);
    auto checked = [this](int nRow) {
        return (m_list.GetItemState(nRow, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
    };
    auto clickCheckBox = [&](int nRow) {
        CRect rcIcon;
        ASSERT_TRUE(m_list.GetItemRect(nRow, rcIcon, LVIR_ICON));
        POINT pt = {rcIcon.left - cxState / 2, rcIcon.CenterPoint().y};
        LVHITTESTINFO stHit = {};
        stHit.pt = pt;
        m_list.HitTest(&stHit);
        ASSERT_EQ(stHit.flags, UINT(LVHT_ONITEMSTATEICON));
        m_list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
        m_list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    };

    clickCheckBox(0);
    EXPECT_TRUE(checked(0));
    EXPECT_FALSE(checked(1));
    EXPECT_TRUE(checked(2)) << "the other selected row follows";
    EXPECT_TRUE(m_list.GetItemState(2, LVIS_SELECTED)) << "the control saw no click that selects";

    m_list.SetItemState(1, LVIS_FOCUSED, LVIS_FOCUSED);
    m_list.SendMessage(WM_KEYDOWN, VK_SPACE);
    EXPECT_TRUE(checked(1)) << "Space checks the focused row";
    clickCheckBox(2);
    EXPECT_FALSE(checked(0));
    EXPECT_TRUE(checked(1)) << "not selected";
    EXPECT_FALSE(checked(2));
}

namespace
{
// A list that has a text for the tip of every row.
class CTippedList : public CListCtrlEx
{
protected:
    std::wstring GetItemToolTipText(int nItem) override { return L"row " + std::to_wstring(nItem); }
};
} // namespace

TEST_F(ListCtrlExTest, InfoTipShowsTheTextASubclassGives)
{
    CTippedList list;
    CreateList(list, 0);
    list.SetExtendedStyle(LVS_EX_INFOTIP);
    ASSERT_NE(list.GetInfoTip(), nullptr);
    CRect rcRow;
    ASSERT_TRUE(list.GetItemRect(2, rcRow, LVIR_BOUNDS));
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(rcRow.left + 150, rcRow.CenterPoint().y));
    EXPECT_EQ(std::wstring(list.GetInfoTip()->GetText(&list).Str()), L"row 2");

    CListCtrlEx plain;
    CreateList(plain, 0, 11);
    plain.SetExtendedStyle(LVS_EX_INFOTIP);
    plain.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(rcRow.left + 150, rcRow.CenterPoint().y));
    EXPECT_EQ(std::wstring(plain.GetInfoTip()->GetText(&plain).Str()), L"") << "the base has no texts of its own";
}

TEST_F(ListCtrlExTest, LeftmostColumnPaintedAsTheLabel)
{
    CreateList(m_list, 0);
    EXPECT_FALSE(m_list.SetLeftmostColumnAsLabel(TRUE)) << "only owner-drawn lists";
    CListCtrlEx owner;
    CreateList(owner, LVS_OWNERDRAWFIXED, 11);
    ASSERT_TRUE(owner.SetLeftmostColumnAsLabel(TRUE));
    ASSERT_TRUE(owner.SetColumnOrderArray({2, 0, 1, 3}));
    CRect rcCell, rcLabel, rcItemLabel;
    ASSERT_TRUE(owner.GetSubItemRect(1, 2, LVIR_BOUNDS, rcCell));
    ASSERT_TRUE(owner.GetSubItemRect(1, 2, LVIR_LABEL, rcLabel));
    EXPECT_EQ(rcLabel, rcCell) << "no images: the label is the whole cell";
    ASSERT_TRUE(owner.GetItemRect(1, rcItemLabel, LVIR_LABEL));
    EXPECT_EQ(rcItemLabel, rcLabel) << "the item's label is the painted one";

    // The divider of the label column sizes it to its widest text.
    int nWidest = 0;
    for (int nRow = 0; nRow < 3; ++nRow)
        nWidest = std::max(nWidest, owner.GetStringWidth(CellText(nRow, 2).c_str()));
    RECT rcIcon = {LVIR_ICON, 0, 0, 0}, rcText = {LVIR_LABEL, 0, 0, 0};
    ASSERT_TRUE(owner.DefWindowProc(LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rcIcon)));
    ASSERT_TRUE(owner.DefWindowProc(LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rcText)));
    int nGap = std::max(0, static_cast<int>(rcText.left - rcIcon.right)) + 2;
    NMHEADERW stDivider = {};
    stDivider.hdr.hwndFrom = owner.GetHeaderCtrl()->m_hWnd;
    stDivider.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(stDivider.hdr.hwndFrom));
    stDivider.hdr.code = HDN_DIVIDERDBLCLICKW;
    stDivider.iItem = 2;
    owner.SendMessage(WM_NOTIFY, stDivider.hdr.idFrom, reinterpret_cast<LPARAM>(&stDivider));
    EXPECT_EQ(owner.GetColumnWidth(2), nWidest + nGap + 6);
}

TEST_F(ListCtrlExTest, HeaderDragReordersTheColumnsAroundAHiddenOne)
{
    CreateList(m_list, 0);
    m_list.EnableColumnHiding(1, TRUE);
    ASSERT_TRUE(m_list.ShowColumn(1, FALSE));
    // The user drags "D" to the left: the control takes the new order after the drag's notification.
    std::vector<int> dragged = {2, 0, 1};
    NMHEADERW stDrag = {};
    stDrag.hdr.hwndFrom = m_list.GetHeaderCtrl()->m_hWnd;
    stDrag.hdr.code = HDN_ENDDRAG;
    stDrag.iItem = 2;
    m_list.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&stDrag));
    m_list.DefWindowProc(LVM_SETCOLUMNORDERARRAY, 3, reinterpret_cast<LPARAM>(dragged.data()));
    PumpPending();
    std::vector<int> logical(4);
    m_list.SendMessage(LVM_GETCOLUMNORDERARRAY, 4, reinterpret_cast<LPARAM>(logical.data()));
    EXPECT_EQ(logical, (std::vector<int>{3, 1, 0, 2})) << "the hidden column keeps its place";

    ASSERT_TRUE(m_list.ShowColumn(1, TRUE));
    std::vector<int> physical(4);
    m_list.DefWindowProc(LVM_GETCOLUMNORDERARRAY, 4, reinterpret_cast<LPARAM>(physical.data()));
    EXPECT_EQ(physical, (std::vector<int>{3, 1, 0, 2})) << "shown again where it stood";
}

TEST_F(ListCtrlExTest, CallbackTextsAreAskedOfTheParentUpToTheirBound)
{
    CreateList(m_list, LVS_OWNERDRAWFIXED);
    ASSERT_TRUE(m_list.SetItemText(1, 2, LPSTR_TEXTCALLBACKW));
    m_parent.m_bEndlessTexts = true;
    EXPECT_EQ(m_list.GetItemText(1, 2).GetLength(), 32767) << "the fetch stops doubling at 32768 characters";
    EXPECT_EQ(m_list.GetItemText(1, 1), L"r1c1") << "the list's own cells are not asked";
    EXPECT_EQ(ShownText(m_list, 1, 2), std::wstring(63, L'x')) << "the control asks the parent through the list";
    // Painting the row asks the same way and ends.
    m_list.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    m_parent.m_bEndlessTexts = false;
}

TEST_F(ListCtrlExTest, SortColumnIsTintedInAStandardList)
{
    CreateList(m_list, 0);
    m_list.ColorSortColumn(TRUE, -2);
    EXPECT_EQ(m_list.GetSortColumnColor(), SortColumnTint(m_list.GetBkColor()));
    m_list.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    PumpPending();
    CRect rcCell, rcFirst;
    ASSERT_TRUE(m_list.GetSubItemRect(1, 1, LVIR_BOUNDS, rcCell));
    ASSERT_TRUE(m_list.GetSubItemRect(1, 0, LVIR_BOUNDS, rcFirst));
    HDC hDC = ::GetDC(m_list.m_hWnd);
    EXPECT_EQ(::GetPixel(hDC, rcCell.right - 3, rcCell.CenterPoint().y), m_list.GetSortColumnColor()) << "a row's cell";
    EXPECT_EQ(::GetPixel(hDC, rcCell.right - 3, rcCell.bottom + 40), m_list.GetSortColumnColor()) << "below the rows";
    EXPECT_EQ(::GetPixel(hDC, rcFirst.right - 3, rcFirst.CenterPoint().y), m_list.GetBkColor());
    ::ReleaseDC(m_list.m_hWnd, hDC);
}

TEST_F(ListCtrlExTest, ControlTakenOverAfterItsCreationGetsItsCompanions)
{
    HWND hControl = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 10, 10, 400, 200,
                                      m_parent.m_hWnd, reinterpret_cast<HMENU>(20), ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(hControl, HWND(NULL));
    ASSERT_TRUE(m_list.SubclassWindow(hControl));
    ASSERT_NE(m_list.GetLabelTip(), nullptr);
    EXPECT_NE(m_list.GetLabelTip()->m_hWnd, HWND(NULL));
    EXPECT_EQ(m_list.InsertColumn(0, L"A", LVCFMT_LEFT, 80), 0);
    EXPECT_EQ(m_list.InsertColumn(1, L"B", LVCFMT_LEFT, 80), 1);
    m_list.EnableColumnHiding(1, TRUE);
    ASSERT_EQ(m_list.InsertItem(0, L"first"), 0);
    m_list.SetItemText(0, 1, L"second");
    ASSERT_TRUE(m_list.ShowColumn(1, FALSE));
    ASSERT_TRUE(m_list.ShowColumn(1, TRUE));
    EXPECT_EQ(ShownText(m_list, 0, 1), L"second");
}
