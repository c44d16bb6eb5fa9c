#include "guitoolkit/MyTabCtrl.h"

#include "classlib/Geometry.h"
#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace
{
constexpr UINT IDC_TAB = 1020;

// The dialog side: notes what the tab tells it.
class CTabHost : public CWnd
{
public:
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_TABCTRL_ACTIVATE || nMsg == WM_TABCTRL_ITEMCLICKED)
            m_told.emplace_back(nMsg, wParam);
        return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
    }
    std::vector<std::pair<UINT, WPARAM>> m_told;
};

class MyTabCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const wchar_t* pszClass =
            CWnd::RegisterDefaultClass(0, NULL, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
        ASSERT_TRUE(m_host.CreateEx(0, pszClass, L"pages", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 420, 300, NULL,
                                    NULL));
        ASSERT_TRUE(m_tab.Create(WS_VISIBLE | WS_TABSTOP, CRect(5, 5, 395, 255), &m_host, IDC_TAB));
        m_tab.SetFont(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
        m_tab.InsertItem(0, L"General");
        m_tab.InsertItem(1, L"Network");
        m_tab.UpdateBackgroundBrush();
        m_app.m_pMainWnd = &m_host;
    }
    void TearDown() override
    {
        m_app.m_pMainWnd = nullptr;
        m_host.DestroyWindow();
        PumpPending();
    }
    void FillTwoPages()
    {
        m_tab.AddStatic(L"Options of the first page", 10, 0, 0, 0, 0, 0, 0);
        m_tab.AddCheckBox(TRUE, L"&Watch the drives", 11, 0, TABLAYOUT_NEXTLINE | TABLAYOUT_SAMELEFT, 0, 6);
        m_tab.AddEdit(L"1234", 12, 0, TABLAYOUT_NEXTLINE, 0, 6, 120);
        m_tab.AddGroupBox(L"Connection", 20, 1, 300, 120, 0, 0, 0);
        m_tab.AddCheckBox(FALSE, L"&Use a password", 21, 1, TABLAYOUT_SAMELEFT | TABLAYOUT_SAMETOP, 10, 20);
        m_tab.AddPasswordEdit(L"secret", 22, 1, TABLAYOUT_NEXTLINE, 10, 6, 120);
    }
    void SavePicture(const wchar_t* pszName)
    {
        m_host.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpPending();
        SaveWindowPicture(m_host.m_hWnd, pszName);
    }
    HWND Item(int nID) const { return ::GetDlgItem(m_tab.m_hWnd, nID); }
    RECT ItemRect(int nID) const
    {
        RECT rc = {};
        ::GetWindowRect(Item(nID), &rc);
        ::MapWindowPoints(NULL, m_tab.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    // A key as the user types it: through the application's loop.
    void Key(UINT nMsg, WPARAM nKey)
    {
        ::PostMessageW(::GetFocus(), nMsg, nKey, 1);
        ASSERT_TRUE(m_app.PumpMessage());
        PumpPending();
    }
    void FocusFirstControl()
    {
        m_host.SetForegroundWindow();
        ::SetFocus(m_host.m_hWnd);
        m_tab.PostMessage(WM_TABCTRL_MOVEFOCUS, 0);
        ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == Item(11); }));
    }

    CWinApp m_app;
    CTabHost m_host;
    CMyTabCtrl m_tab;
};

TEST_F(MyTabCtrlTest, FlowLayoutFollowsTheFlags)
{
    struct
    {
        DWORD dwFlags;
        int dx, dy;
        POINT ptExpected;
    } cases[] = {
        {0, 5, 7, {15, 37}},
        {TABLAYOUT_NEXTLINE | TABLAYOUT_RIGHTOF, 0, 0, {80, 90}},
        {TABLAYOUT_RIGHTOF, 0, 0, {80, 30}},
        {TABLAYOUT_NEXTLINE, 0, 0, {10, 90}},
        {TABLAYOUT_NEXTLINE | TABLAYOUT_SAMELEFT, 0, 4, {30, 94}},
        {TABLAYOUT_SAMETOP | TABLAYOUT_RIGHTOF, 8, 0, {88, 70}},
        {TABLAYOUT_SAMETOP | TABLAYOUT_SAMELEFT, -3, 2, {27, 72}},
    };
    UINT nID = 100;
    for (const auto& c : cases)
    {
        // The control before is at (30, 70)-(80, 90) each time.
        ASSERT_NE(m_tab.AddStatic(L"before", nID++, 0, 0, 20, 40, 50, 20), nullptr);
        ASSERT_NE(m_tab.AddStatic(L"placed", nID, 0, c.dwFlags, c.dx, c.dy, 40, 10), nullptr);
        RECT rc = ItemRect(nID++);
        EXPECT_EQ(rc.left, c.ptExpected.x) << std::hex << c.dwFlags;
        EXPECT_EQ(rc.top, c.ptExpected.y) << std::hex << c.dwFlags;
        EXPECT_EQ(rc.right - rc.left, 40);
    }
    // Sizes from the text: a check box leaves room for its mark, a static is the text.
    m_tab.AddStatic(L"Text", 200, 0, 0, 0, 0, 0, 0);
    m_tab.AddCheckBox(FALSE, L"Text", 201, 0, 0, 0, 0);
    RECT rcStatic = ItemRect(200);
    RECT rcCheck = ItemRect(201);
    EXPECT_EQ(rcCheck.right - rcCheck.left, rcStatic.right - rcStatic.left + 17);
    EXPECT_EQ(rcCheck.bottom - rcCheck.top, rcStatic.bottom - rcStatic.top);
    EXPECT_EQ(m_tab.AddEdit(L"", 202, 0, 0, 0, 0, 77)->SendMessage(EM_GETLIMITTEXT), 260);
    RECT rcEdit = ItemRect(202);
    EXPECT_EQ(rcEdit.bottom - rcEdit.top, 20);
}

TEST_F(MyTabCtrlTest, OnlyTheCurrentPagesControlsShow)
{
    FillTwoPages();
    for (int nID : {10, 11, 12})
        EXPECT_TRUE(::IsWindowVisible(Item(nID))) << nID;
    for (int nID : {20, 21, 22})
        EXPECT_FALSE(::IsWindowVisible(Item(nID))) << nID;
    SavePicture(L"dialogs\\tab_page1");

    m_tab.SetActivePage(1);
    EXPECT_EQ(m_tab.GetCurSel(), 1);
    for (int nID : {10, 11, 12})
        EXPECT_FALSE(::IsWindowVisible(Item(nID))) << nID;
    for (int nID : {20, 21, 22})
        EXPECT_TRUE(::IsWindowVisible(Item(nID))) << nID;
    SavePicture(L"dialogs\\tab_page2");

    // The user's change of tab reaches the tab as a reflected notification.
    m_tab.SetCurSel(0);
    NMHDR stHeader = {m_tab.m_hWnd, IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
    m_host.SendMessage(WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&stHeader));
    EXPECT_EQ(m_tab.GetActivePage(), 0);
    EXPECT_TRUE(::IsWindowVisible(Item(11)));
    EXPECT_FALSE(::IsWindowVisible(Item(21)));

    EXPECT_TRUE(m_tab.IsItemChecked(11));
    EXPECT_FALSE(m_tab.IsItemChecked(21));
    EXPECT_EQ(m_tab.GetItemText(22), L"secret");
    EXPECT_NE(::SendMessageW(Item(22), EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_EQ(m_tab.GetItemInt(12), 1234);
    EXPECT_EQ(m_tab.GetItemInt(10), 0) << "a text that is no number";
}

TEST_F(MyTabCtrlTest, AClickSentToACheckBoxTellsTheDialog)
{
    FillTwoPages();
    // A sent click passes no message loop: only the box's notification shows it.
    ::SendMessageW(Item(11), BM_CLICK, 0, 0);
    ::SendMessageW(Item(12), WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(Item(12)));
    PumpPending();
    ASSERT_EQ(m_host.m_told.size(), 1u) << "only the check box, not the edit";
    EXPECT_EQ(m_host.m_told[0], std::make_pair(WM_TABCTRL_ITEMCLICKED, WPARAM(11)));
    EXPECT_FALSE(m_tab.IsItemChecked(11));
}

TEST_F(MyTabCtrlTest, ArrowsMoveTheFocusWithinThePage)
{
    FillTwoPages();
    FocusFirstControl();
    Key(WM_KEYDOWN, VK_UP);
    EXPECT_EQ(::GetFocus(), Item(11)) << "Up on the first focusable control stays";
    Key(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(::GetFocus(), Item(12));
    Key(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(::GetFocus(), Item(12)) << "the next page's controls are not in reach";
    Key(WM_KEYDOWN, VK_UP);
    EXPECT_EQ(::GetFocus(), Item(11));
    EXPECT_TRUE(m_host.m_told.empty());
}

TEST_F(MyTabCtrlTest, SpaceOnACheckBoxTellsTheDialog)
{
    FillTwoPages();
    FocusFirstControl();
    Key(WM_KEYUP, VK_SPACE);
    ASSERT_EQ(m_host.m_told.size(), 1u);
    EXPECT_EQ(m_host.m_told[0], std::make_pair(WM_TABCTRL_ITEMCLICKED, WPARAM(11)));

    // Only the tab's own controls count: a push button of the dialog, or the
    // tab itself in a template without extra styles, would pass by style.
    m_host.m_told.clear();
    CWnd button;
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(5, 260, 80, 285),
                                &m_host, IDOK));
    for (HWND hWnd : {m_tab.m_hWnd, Item(12), m_host.m_hWnd, button.m_hWnd})
        m_tab.PostMessage(WM_TABCTRL_ACTIVATE, reinterpret_cast<WPARAM>(hWnd), 1);
    PumpPending();
    EXPECT_TRUE(m_host.m_told.empty());
}

TEST_F(MyTabCtrlTest, FocusMovesOnEmptyPagesChangeNothing)
{
    m_tab.SetFocus();
    for (WPARAM wBack : {WPARAM(0), WPARAM(1)})
        m_tab.SendMessage(WM_TABCTRL_MOVEFOCUS, wBack);
    EXPECT_EQ(::GetFocus(), m_tab.m_hWnd);
    // A page with nothing to focus, and another page's controls beyond it.
    m_tab.AddStatic(L"Only text", 10, 0, 0, 0, 0, 0, 0);
    m_tab.AddCheckBox(FALSE, L"Elsewhere", 21, 1, 0, 0, 0);
    for (WPARAM wBack : {WPARAM(0), WPARAM(1), WPARAM(0)})
        m_tab.SendMessage(WM_TABCTRL_MOVEFOCUS, wBack);
    EXPECT_EQ(::GetFocus(), m_tab.m_hWnd);
}

TEST_F(MyTabCtrlTest, HostedControlsPaintOnTheThemedPageColour)
{
    FillTwoPages();
    HDC hDC = ::GetDC(m_tab.m_hWnd);
    HBRUSH hBrush = reinterpret_cast<HBRUSH>(
        m_tab.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(Item(10))));
    int nMode = ::GetBkMode(hDC);
    HBRUSH hForeign = reinterpret_cast<HBRUSH>(
        m_tab.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(m_host.m_hWnd)));
    ::ReleaseDC(m_tab.m_hWnd, hDC);
    ASSERT_NE(hBrush, HBRUSH(NULL));
    LOGBRUSH stBrush = {};
    ASSERT_EQ(::GetObjectW(hBrush, sizeof(stBrush), &stBrush), int(sizeof(stBrush)));
    // The printed page at (5, 5) under the default theme.
    EXPECT_EQ(stBrush.lbColor, RGB(255, 255, 255));
    EXPECT_EQ(nMode, TRANSPARENT);
    EXPECT_NE(hForeign, hBrush);
}

TEST_F(MyTabCtrlTest, DeletingAPageTakesItsControlsAndTab)
{
    FillTwoPages();
    m_tab.SetActivePage(1);
    m_tab.DeletePageControls(1);
    EXPECT_EQ(m_tab.GetItemCount(), 1);
    for (int nID : {20, 21, 22})
        EXPECT_EQ(Item(nID), HWND(NULL)) << nID;
    EXPECT_NE(Item(11), HWND(NULL));
    HWND hKept = Item(11);
    m_tab.DestroyWindow();
    EXPECT_FALSE(::IsWindow(hKept));
}
} // namespace
