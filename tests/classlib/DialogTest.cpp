#include "classlib/Controls.h"
#include "classlib/DataExchange.h"
#include "classlib/Dialog.h"
#include "classlib/ProgressCtrl.h"
#include "classlib/SpinButtonCtrl.h"
#include "classlib/TabCtrl.h"
#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace
{
constexpr UINT IDD_EXCHANGE = 200;
constexpr UINT IDD_PROGRAM_ONLY = 201;

// A list that takes the notifications its parent would get.
class CReflectingList : public CWnd
{
public:
    BOOL OnChildNotify(UINT nMsg, WPARAM, LPARAM lParam, LRESULT*) override
    {
        if (nMsg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == LVN_INSERTITEM)
            ++m_nInserts;
        return FALSE;
    }
    int m_nInserts = 0;
};

class CExchangeDialog : public CDialog
{
public:
    explicit CExchangeDialog(UINT nID = IDD_EXCHANGE) : CDialog(nID) {}

    BOOL OnInitDialog() override
    {
        m_bAttachedAtInit = FromHandlePermanent(m_hWnd) == this && m_nCreateMessages > 0;
        m_bControlsAtInit = ::GetDlgItem(m_hWnd, 1001) != NULL && ::GetDlgItem(m_hWnd, IDOK) != NULL;
        ++m_nInits;
        BOOL bFocus = CDialog::OnInitDialog();
        if (m_pfnOnInit != nullptr)
            m_pfnOnInit(*this);
        return bFocus;
    }
    void OnCancel() override
    {
        ++m_nCancels;
        CDialog::OnCancel();
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, 1001, m_strText);
        DDX_Text(pDX, 1002, m_nInt);
        DDX_Text(pDX, 1003, m_nUnsigned);
        DDX_Text(pDX, 1004, m_nInt64);
        DDX_Check(pDX, 1005, m_nCheck);
        DDX_Check(pDX, 1006, m_bCheck);
        DDX_Control(pDX, 1007, m_list);
    }
    void ReportDataError(const wchar_t* pszMessage) override { m_errors.push_back(pszMessage); }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg == WM_NCCREATE || nMsg == WM_CREATE)
            ++m_nCreateMessages;
        return CDialog::OnMessage(nMsg, wParam, lParam, lResult);
    }
    void PostNcDestroy() override
    {
        if (m_pnDeleted != nullptr)
            ++*m_pnDeleted;
        CDialog::PostNcDestroy();
    }

    CString m_strText = L"text";
    int m_nInt = -42;
    UINT m_nUnsigned = 4000000000u;
    LONGLONG m_nInt64 = -9000000000000LL;
    int m_nCheck = BST_CHECKED;
    bool m_bCheck = false;
    CReflectingList m_list;

    void (*m_pfnOnInit)(CExchangeDialog&) = nullptr;
    int m_nCreateMessages = 0;
    int m_nInits = 0;
    int m_nCancels = 0;
    bool m_bAttachedAtInit = false;
    bool m_bControlsAtInit = false;
    std::vector<std::wstring> m_errors;
    int* m_pnDeleted = nullptr;
};

std::wstring ItemText(const CWnd& dlg, int nID)
{
    CString str;
    dlg.GetDlgItemText(nID, str);
    return str.Str();
}

TEST(ModalDialog, InitSeesTheObjectAndControlsAndOkSavesTheValues)
{
    CExchangeDialog dlg;
    dlg.m_pfnOnInit = [](CExchangeDialog& d) {
        d.SetDlgItemText(1001, L"typed");
        d.SetDlgItemText(1002, L" 17 ");
        // The modal loop takes this after the dialog is up.
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(dlg.m_bAttachedAtInit) << "attached before the first message";
    EXPECT_TRUE(dlg.m_bControlsAtInit);
    EXPECT_EQ(dlg.m_hWnd, HWND(NULL));
    // The initialisation filled the controls first, then the texts above replaced two.
    EXPECT_EQ(dlg.m_strText, L"typed");
    EXPECT_EQ(dlg.m_nInt, 17);
    EXPECT_EQ(dlg.m_nUnsigned, 4000000000u);
}

TEST(ModalDialog, CloseAndCancelEndWithCancel)
{
    for (UINT nMsg : {UINT(WM_CLOSE), UINT(WM_COMMAND)})
    {
        CExchangeDialog dlg;
        static UINT s_nMsg;
        s_nMsg = nMsg;
        dlg.m_pfnOnInit = [](CExchangeDialog& d) {
            d.PostMessage(s_nMsg, s_nMsg == WM_COMMAND ? IDCANCEL : 0, 0);
        };
        dlg.m_strText = L"kept";
        EXPECT_EQ(dlg.DoModal(), IDCANCEL) << nMsg;
        EXPECT_EQ(dlg.m_nCancels, 1);
        EXPECT_EQ(dlg.m_strText, L"kept");
    }
}

TEST(ModalDialog, MissingTemplateFailsWithoutAWindow)
{
    CExchangeDialog dlg(4711);
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_EQ(dlg.m_nInits, 0);
}

class ModelessDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dlg.Create(IDD_EXCHANGE)); }
    void TearDown() override { m_dlg.DestroyWindow(); }
    CExchangeDialog m_dlg;
};

TEST_F(ModelessDialogTest, ValuesTravelBothWays)
{
    EXPECT_TRUE(m_dlg.m_bAttachedAtInit);
    EXPECT_EQ(ItemText(m_dlg, 1001), L"text");
    EXPECT_EQ(ItemText(m_dlg, 1002), L"-42");
    EXPECT_EQ(ItemText(m_dlg, 1003), L"4000000000");
    EXPECT_EQ(ItemText(m_dlg, 1004), L"-9000000000000");
    EXPECT_EQ(m_dlg.IsDlgButtonChecked(1005), UINT(BST_CHECKED));
    EXPECT_EQ(m_dlg.IsDlgButtonChecked(1006), UINT(BST_UNCHECKED));

    m_dlg.SetDlgItemText(1001, L"");
    m_dlg.SetDlgItemText(1002, L"2147483647");
    m_dlg.SetDlgItemText(1003, L"0");
    m_dlg.SetDlgItemText(1004, L"9223372036854775807");
    m_dlg.CheckDlgButton(1005, BST_INDETERMINATE);
    m_dlg.CheckDlgButton(1006, BST_CHECKED);
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_EQ(m_dlg.m_strText, L"");
    EXPECT_EQ(m_dlg.m_nInt, 2147483647);
    EXPECT_EQ(m_dlg.m_nUnsigned, 0u);
    EXPECT_EQ(m_dlg.m_nInt64, 9223372036854775807LL);
    EXPECT_EQ(m_dlg.m_nCheck, BST_INDETERMINATE);
    EXPECT_TRUE(m_dlg.m_bCheck);
    EXPECT_TRUE(m_dlg.m_errors.empty());
}

TEST_F(ModelessDialogTest, BadNumberIsRefusedAndLeavesItsMemberAndLaterOnes)
{
    struct
    {
        int nID;
        const wchar_t* pszText;
    } cases[] = {
        {1002, L"12x"}, {1002, L""}, {1002, L"2147483648"}, {1002, L"-2147483649"},
        {1003, L"-1"}, {1003, L"4294967296"}, {1003, L"+"},
        {1004, L"9223372036854775808"}, {1004, L"1 2"},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(m_dlg.UpdateData(FALSE));
        m_dlg.m_errors.clear();
        m_dlg.SetDlgItemText(c.nID, c.pszText);
        // A change after the bad field must not be taken either.
        m_dlg.CheckDlgButton(1006, BST_CHECKED);
        EXPECT_FALSE(m_dlg.UpdateData(TRUE)) << c.nID << " '" << std::wstring(c.pszText).c_str() << "'";
        EXPECT_EQ(m_dlg.m_errors.size(), 1u);
        EXPECT_EQ(m_dlg.m_nInt, -42);
        EXPECT_EQ(m_dlg.m_nUnsigned, 4000000000u);
        EXPECT_EQ(m_dlg.m_nInt64, -9000000000000LL);
        EXPECT_FALSE(m_dlg.m_bCheck);
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(m_dlg.m_hWnd, c.nID));
    }
}

TEST_F(ModelessDialogTest, SubclassedControlGetsItsNotificationsFirst)
{
    ASSERT_EQ(m_dlg.m_list.m_hWnd, ::GetDlgItem(m_dlg.m_hWnd, 1007));
    LVITEMW stItem = {};
    stItem.mask = LVIF_TEXT;
    stItem.pszText = const_cast<wchar_t*>(L"row");
    ASSERT_EQ(m_dlg.m_list.SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&stItem)), 0);
    EXPECT_EQ(m_dlg.m_list.m_nInserts, 1);
    // A second exchange keeps the control attached to the same object.
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_EQ(CWnd::FromHandlePermanent(::GetDlgItem(m_dlg.m_hWnd, 1007)), &m_dlg.m_list);
}

TEST_F(ModelessDialogTest, OkCancelAndCloseHideForTheNextUse)
{
    for (WPARAM wCommand : {WPARAM(IDOK), WPARAM(IDCANCEL), WPARAM(0)})
    {
        m_dlg.ShowWindow(SW_SHOW);
        if (wCommand == 0)
            m_dlg.SendMessage(WM_CLOSE);
        else
            m_dlg.SendMessage(WM_COMMAND, wCommand);
        EXPECT_TRUE(::IsWindow(m_dlg.m_hWnd));
        EXPECT_FALSE(m_dlg.IsWindowVisible()) << wCommand;
    }
    EXPECT_EQ(m_dlg.m_nCancels, 2);
}

TEST_F(ModelessDialogTest, CentresOverARectangle)
{
    RECT rcOver = {200, 150, 600, 450};
    m_dlg.CenterWindow(&rcOver);
    RECT rc;
    m_dlg.GetWindowRect(&rc);
    EXPECT_NEAR((rc.left + rc.right) / 2, 400, 1);
    EXPECT_NEAR((rc.top + rc.bottom) / 2, 300, 1);
}

TEST(DialogTemplates, ResourceLibraryWinsWhereItHasTheTemplate)
{
    CWinApp app;
    ASSERT_TRUE(app.LoadResourceLibrary(L"vf_test_resources.dll"));
    for (UINT nID : {IDD_EXCHANGE, IDD_PROGRAM_ONLY})
    {
        CDialog dlg(nID);
        ASSERT_TRUE(dlg.Create(nID)) << nID;
        CString strCaption;
        dlg.GetWindowText(strCaption);
        EXPECT_EQ(strCaption, nID == IDD_EXCHANGE ? L"from the library" : L"only in the program");
        dlg.DestroyWindow();
    }
}

TEST(DialogLifetime, AutoDeletingDialogGoesWithItsWindow)
{
    int nDeleted = 0;
    auto* pDlg = new CExchangeDialog;
    pDlg->m_pnDeleted = &nDeleted;
    pDlg->SetAutoDelete(true);
    ASSERT_TRUE(pDlg->Create(IDD_EXCHANGE));
    ::DestroyWindow(pDlg->m_hWnd);
    EXPECT_EQ(nDeleted, 1);
}

int g_nHookCalls = 0;
HWND g_hHooked = NULL;

TEST(DialogHook, RunsOnceAfterEachTopLevelDialogsInitialisation)
{
    CDialog::SetInitDialogHook([](HWND hDlg) {
        ++g_nHookCalls;
        g_hHooked = hDlg;
    });
    CExchangeDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_EXCHANGE));
    EXPECT_EQ(g_nHookCalls, 1);
    EXPECT_EQ(g_hHooked, dlg.m_hWnd);
    dlg.ShowWindow(SW_SHOW);
    dlg.UpdateData(FALSE);
    EXPECT_EQ(g_nHookCalls, 1);
    dlg.DestroyWindow();
    CDialog::SetInitDialogHook(nullptr);
}

TEST(ControlWrappers, RangesPositionsAndTexts)
{
    CDialog dlg(IDD_EXCHANGE);
    ASSERT_TRUE(dlg.Create(IDD_EXCHANGE));
    CProgressCtrl progress;
    ASSERT_TRUE(progress.Create(0, CRect(0, 0, 100, 10), &dlg, 3001));
    progress.SetRange32(0, 3000000);
    progress.SetPos(1500000);
    int nLow = -1, nHigh = -1;
    progress.GetRange(nLow, nHigh);
    EXPECT_EQ(nLow, 0);
    EXPECT_EQ(nHigh, 3000000);
    EXPECT_EQ(progress.GetPos(), 1500000);

    CSpinButtonCtrl spin;
    ASSERT_TRUE(spin.Create(0, CRect(0, 20, 20, 40), &dlg, 3002));
    spin.SetRange32(-5, 100000);
    spin.SetPos32(70000);
    spin.GetRange32(nLow, nHigh);
    EXPECT_EQ(nLow, -5);
    EXPECT_EQ(nHigh, 100000);
    EXPECT_EQ(spin.GetPos32(), 70000);

    CEdit edit;
    ASSERT_TRUE(edit.SubclassDlgItem(1001, &dlg));
    edit.SetPasswordChar(L'*');
    EXPECT_EQ(edit.GetPasswordChar(), L'*');
    edit.SetPasswordChar(0);
    EXPECT_EQ(edit.GetPasswordChar(), 0);

    EXPECT_TRUE(dlg.SetDlgItemInt(1002, static_cast<UINT>(-7)));
    BOOL bRead = FALSE;
    EXPECT_EQ(static_cast<int>(dlg.GetDlgItemInt(1002, &bRead)), -7);
    EXPECT_TRUE(bRead);
    EXPECT_EQ(dlg.SendDlgItemMessage(1005, BM_GETCHECK), BST_UNCHECKED);
    CString str = L"unchanged";
    EXPECT_FALSE(dlg.GetDlgItemText(4711, str));
    EXPECT_TRUE(str.IsEmpty());

    CTabCtrl tab;
    ASSERT_TRUE(tab.Create(WS_VISIBLE, CRect(0, 50, 200, 150), &dlg, 3003));
    tab.InsertItem(0, L"one");
    tab.InsertItem(1, L"two");
    tab.InsertItem(2, L"three");
    tab.SetCurSel(2);
    EXPECT_EQ(tab.GetCurFocus(), 2);
    EXPECT_TRUE(tab.DeleteItem(1));
    EXPECT_EQ(tab.GetItemCount(), 2);
    dlg.DestroyWindow();
}

TEST(ApplicationName, TitleStringElseTheProgramsName)
{
    CWinApp app;
    // The test program has no title string.
    EXPECT_EQ(CWinApp::GetAppName(), L"classlib_tests");
}
} // namespace
