#include "classlib/FrameWnd.h"
#include "classlib/SplitterWnd.h"
#include "classlib/WinApp.h"
#include "guitoolkit/LabelTipCtrl.h"
#include "guitoolkit/ListViewEx.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"
#include "HeaderMenuProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace
{
// The drive list's shape: an owner-drawn view that keeps its selection shown.
class CDriveListView : public CListViewEx
{
public:
    static CWnd* CreateObject() { return new CDriveListView; }
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override
    {
        cs.style |= LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS;
        return CListViewEx::PreCreateWindow(cs);
    }
    // Notes where the control asks each row to be drawn.
    void DrawItem(LPDRAWITEMSTRUCT pDraw) override
    {
        m_rows[pDraw->itemID] = pDraw->rcItem;
        CListViewEx::DrawItem(pDraw);
    }
    std::map<UINT, CRect> m_rows;
};

class CPlainView : public CView
{
public:
    static CWnd* CreateObject() { return new CPlainView; }
};

class ListViewExTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Drives", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(30, 30, 530, 330)));
        m_app.m_pMainWnd = m_pFrame;
        ASSERT_TRUE(m_splitter.CreateStatic(m_pFrame, 2, 1));
        ASSERT_TRUE(m_splitter.CreateView(0, 0, &CDriveListView::CreateObject, CSize(0, 180)));
        ASSERT_TRUE(m_splitter.CreateView(1, 0, &CPlainView::CreateObject, CSize(0, 0)));
        m_pFrame->RecalcLayout();
        m_pFrame->InitialUpdateFrame();
        m_pView = dynamic_cast<CDriveListView*>(m_splitter.GetPane(0, 0));
        ASSERT_NE(m_pView, nullptr);
        CListCtrl& list = m_pView->GetListCtrl();
        const wchar_t* apszHeadings[] = {L"Drive", L"State", L"Free", L"Size"};
        const int anWidths[] = {110, 110, 80, 90};
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(list.InsertColumn(i, apszHeadings[i], LVCFMT_LEFT, anWidths[i]), i);
        const wchar_t* apszRows[][4] = {{L"C:\\", L"", L"12 GB", L"40 GB"},
                                        {L"D:\\", L"Analyzing", L"300 GB", L"500 GB"},
                                        {L"E:\\", L"Monitoring", L"1 GB", L"8 GB"}};
        for (int nRow = 0; nRow < 3; ++nRow)
        {
            ASSERT_EQ(list.InsertItem(nRow, apszRows[nRow][0]), nRow);
            for (int i = 1; i < 4; ++i)
                list.SetItemText(nRow, i, apszRows[nRow][i]);
        }
        list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
        ::SetForegroundWindow(m_pFrame->m_hWnd);
        PumpPending();
    }
    void TearDown() override
    {
        CListBase::SetListStyle(false);
        if (m_app.m_pMainWnd != nullptr)
            m_pFrame->DestroyWindow();
        PumpPending();
    }
    CListCtrl& List() { return m_pView->GetListCtrl(); }
    // The list as shown, after everything pending is painted.
    COLORREF ShownPixel(int x, int y)
    {
        m_pView->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        PumpPending();
        HDC hDC = ::GetDC(m_pView->m_hWnd);
        COLORREF cr = ::GetPixel(hDC, x, y);
        ::ReleaseDC(m_pView->m_hWnd, hDC);
        return cr;
    }
    // The list as shown while it has the focus. Another test program that comes to the
    // front takes the focus from this thread, and what is pending then repaints the row as
    // unfocused: the list is painted and read with nothing dispatched in between, and the
    // reading is kept only when the list held the focus before and after it.
    COLORREF FocusedPixel(int x, int y)
    {
        COLORREF cr = CLR_INVALID;
        for (int nTry = 0; nTry < 50; ++nTry)
        {
            ::SetForegroundWindow(m_pFrame->m_hWnd);
            m_pView->SetFocus();
            PumpPending();
            if (::GetFocus() != m_pView->m_hWnd)
                continue;
            m_pView->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            HDC hDC = ::GetDC(m_pView->m_hWnd);
            cr = ::GetPixel(hDC, x, y);
            ::ReleaseDC(m_pView->m_hWnd, hDC);
            if (::GetFocus() == m_pView->m_hWnd)
                break;
        }
        return cr;
    }
    // Where the row was last drawn.
    CRect RowRect(int nRow)
    {
        ShownPixel(0, 0);
        auto it = m_pView->m_rows.find(nRow);
        EXPECT_NE(it, m_pView->m_rows.end()) << "row " << nRow << " was drawn";
        return it != m_pView->m_rows.end() ? it->second : CRect();
    }

    CWinApp m_app;
    CFrameWnd* m_pFrame = nullptr;
    CSplitterWnd m_splitter;
    CDriveListView* m_pView = nullptr;
};

bool Between(COLORREF cr, COLORREF crA, COLORREF crB)
{
    auto within = [](int n, int a, int b) { return n >= std::min(a, b) && n <= std::max(a, b); };
    return within(GetRValue(cr), GetRValue(crA), GetRValue(crB)) && within(GetGValue(cr), GetGValue(crA), GetGValue(crB)) &&
           within(GetBValue(cr), GetBValue(crA), GetBValue(crB));
}
} // namespace

TEST_F(ListViewExTest, ViewGetsItsCompanionsAndHidesColumns)
{
    ASSERT_NE(m_pView->GetLabelTip(), nullptr);
    EXPECT_NE(m_pView->GetLabelTip()->m_hWnd, HWND(NULL));
    m_pView->EnableColumnHiding(2, TRUE);
    ASSERT_TRUE(m_pView->ShowColumn(2, FALSE));
    EXPECT_EQ(List().GetColumnCount(), 3);
    EXPECT_EQ(List().GetItemText(1, 3), L"500 GB");
    std::vector<stMENU_ENTRY> menu = OpenHeaderMenu(List().m_hWnd);
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_EQ(menu[2].strText, L"Free");
    EXPECT_EQ(menu[2].nState & MF_CHECKED, 0u);
}

TEST_F(ListViewExTest, OwnerDrawnSelectionFollowsTheListStyle)
{
    m_pView->ColorSortColumn(TRUE, -4);
    EXPECT_EQ(m_pView->GetSortColumnColor(), SortColumnTint(List().GetBkColor()));
    List().SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    CRect rcSelected = RowRect(1), rcPlain = RowRect(0);
    int xEnd = rcSelected.right - 4;
    int ySelected = rcSelected.CenterPoint().y, yPlain = rcPlain.CenterPoint().y;
    const COLORREF crWindow = List().GetBkColor();

    EXPECT_EQ(FocusedPixel(xEnd, ySelected), ::GetSysColor(COLOR_HIGHLIGHT)) << "flat highlight without the style";
    EXPECT_EQ(FocusedPixel(xEnd, yPlain), m_pView->GetSortColumnColor()) << "the sort column is tinted";
    EXPECT_EQ(FocusedPixel(rcPlain.left + 100, yPlain), crWindow);
    SaveWindowPicture(m_pFrame->m_hWnd, L"lists\\owner_drawn_flat");

    CListBase::SetListStyle(true);
    EXPECT_EQ(FocusedPixel(rcSelected.left, ySelected), COLORREF(0xF5C8AA)) << "the outer frame";
    EXPECT_EQ(FocusedPixel(rcSelected.left + 1, ySelected), COLORREF(0xFAFAE6)) << "the inner frame";
    COLORREF crInside = FocusedPixel(xEnd, ySelected);
    EXPECT_TRUE(Between(crInside, 0xFAF0D2, 0xFAD7B9)) << std::hex << crInside;
    EXPECT_EQ(FocusedPixel(xEnd, yPlain), m_pView->GetSortColumnColor());
    SaveWindowPicture(m_pFrame->m_hWnd, L"lists\\owner_drawn_shaded");

    // Without the focus the selection stays shown, in the quieter colours.
    m_splitter.GetPane(1, 0)->SetFocus();
    EXPECT_EQ(ShownPixel(rcSelected.left, ySelected), COLORREF(0xDCDCDC));
    CListBase::SetListStyle(false);
    EXPECT_EQ(ShownPixel(xEnd, ySelected), ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(ListViewExTest, PaletteScreenKeepsTheSortColumnUntinted)
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    int nSaved = stEnv.nBitsPerPixel;
    stEnv.nBitsPerPixel = 8;
    m_pView->ColorSortColumn(TRUE, 1);
    stEnv.nBitsPerPixel = nSaved;
    EXPECT_EQ(ShownPixel(RowRect(0).left + 100, RowRect(0).CenterPoint().y), List().GetBkColor());
}

TEST_F(ListViewExTest, PictureWithSortArrowHiddenColumnSelectionAndHeaderMenu)
{
    CListBase::SetListStyle(true);
    m_pView->EnableColumnHiding(2, TRUE);
    m_pView->EnableColumnHiding(3, TRUE);
    m_pView->ShowColumn(2, FALSE);
    m_pView->ShowSortArrow(TRUE, -4);
    m_pView->ColorSortColumn(TRUE, -4);
    List().SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    m_pView->SetFocus();
    m_pFrame->RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    EXPECT_TRUE(SaveWindowPicture(m_pFrame->m_hWnd, L"lists\\drive_list"));
    EXPECT_EQ(OpenHeaderMenu(List().m_hWnd, m_pFrame->m_hWnd, L"lists\\drive_list_header_menu").size(), 4u);
}
