#include "guitoolkit/Wizard97PropertySheet.h"

#include "classlib/Dialog.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
class CTestWizard : public CWizard97PropertySheet
{
public:
    explicit CTestWizard(int nPages = 3) : CWizard97PropertySheet(L"Test wizard")
    {
        for (int i = 0; i < nPages; ++i)
        {
            m_pages.push_back(std::make_unique<CWizard97PropertyPage>(300 + i, 300 + i));
            AddPage(m_pages.back().get());
        }
    }
    ~CTestWizard() override { DestroyWindow(); }

    void OnWizardCancel() override { ++m_nCancels; }
    BOOL OnWizardDone() override
    {
        ++m_nDone;
        return m_bAcceptFinish;
    }
    void OnPageActivate(int nPage) override { m_activated.push_back(nPage); }

    HWND Button(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    bool Shows(int nID) const { return ::IsWindowVisible(Button(nID)) != FALSE; }
    bool Enables(int nID) const { return ::IsWindowEnabled(Button(nID)) != FALSE; }
    std::wstring Caption(int nID) const
    {
        CString str;
        GetDlgItemText(nID, str);
        return str.Str();
    }
    RECT ButtonRect(int nID) const
    {
        RECT rc = {};
        ::GetWindowRect(Button(nID), &rc);
        ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    // Presses a button and lets the posted button states arrive.
    void Press(int nButton)
    {
        SendMessage(PSM_PRESSBUTTON, nButton);
        PumpPending();
    }

    std::vector<std::unique_ptr<CWizard97PropertyPage>> m_pages;
    std::vector<int> m_activated;
    int m_nCancels = 0;
    int m_nDone = 0;
    BOOL m_bAcceptFinish = FALSE;
};

class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_wizard.Create());
        m_wizard.ShowWindow(SW_SHOW);
        PumpPending();
    }
    CTestWizard m_wizard;
};

TEST_F(WizardTest, ButtonsFollowThePage)
{
    EXPECT_EQ(m_wizard.GetActiveIndex(), 0);
    EXPECT_TRUE(m_wizard.Shows(ID_WIZBACK));
    EXPECT_FALSE(m_wizard.Enables(ID_WIZBACK)) << "no Back on the first page";
    EXPECT_TRUE(m_wizard.Shows(ID_WIZNEXT) && m_wizard.Enables(ID_WIZNEXT));
    EXPECT_FALSE(m_wizard.Shows(ID_WIZFINISH));
    SaveWindowPicture(m_wizard.m_hWnd, L"dialogs\\wizard_page1");

    m_wizard.Press(PSBTN_NEXT);
    EXPECT_EQ(m_wizard.GetActiveIndex(), 1);
    EXPECT_TRUE(m_wizard.Enables(ID_WIZBACK) && m_wizard.Enables(ID_WIZNEXT));
    SaveWindowPicture(m_wizard.m_hWnd, L"dialogs\\wizard_page2");

    m_wizard.Press(PSBTN_NEXT);
    EXPECT_EQ(m_wizard.GetActiveIndex(), 2);
    EXPECT_TRUE(m_wizard.Shows(ID_WIZFINISH) && m_wizard.Enables(ID_WIZFINISH)) << "Finish on the last page";
    EXPECT_FALSE(m_wizard.Shows(ID_WIZNEXT));
    EXPECT_TRUE(m_wizard.Enables(ID_WIZBACK));
    SaveWindowPicture(m_wizard.m_hWnd, L"dialogs\\wizard_page3");
    EXPECT_EQ(m_wizard.m_activated, (std::vector<int>{0, 1, 2}));
}

TEST_F(WizardTest, ToolWindowOfItsWidthWithButtonsMovedAlongAndMnemonics)
{
    CTestWizard natural;
    natural.m_nWidth = 0;
    ASSERT_TRUE(natural.Create());
    RECT rcNatural, rcWide;
    natural.GetWindowRect(&rcNatural);
    m_wizard.GetWindowRect(&rcWide);
    int nDelta = 400 - (rcNatural.right - rcNatural.left);
    ASSERT_GT(nDelta, 0) << "the template must make a narrower sheet";
    EXPECT_EQ(rcWide.right - rcWide.left, 400);
    EXPECT_EQ(rcWide.bottom - rcWide.top, rcNatural.bottom - rcNatural.top);
    for (int nID : {ID_WIZBACK, ID_WIZNEXT, ID_WIZFINISH, IDCANCEL})
    {
        RECT rcMoved = m_wizard.ButtonRect(nID);
        RECT rcPlace = natural.ButtonRect(nID);
        EXPECT_EQ(rcMoved.left, rcPlace.left + nDelta) << nID;
        EXPECT_EQ(rcMoved.top, rcPlace.top) << nID;
        EXPECT_EQ(rcMoved.right - rcMoved.left, rcPlace.right - rcPlace.left) << nID;
    }
    EXPECT_TRUE(m_wizard.GetExStyle() & WS_EX_TOOLWINDOW);
    // A caption with a mnemonic keeps it; the others get one in front.
    EXPECT_EQ(m_wizard.Caption(ID_WIZBACK), L"< &Back");
    EXPECT_EQ(m_wizard.Caption(ID_WIZNEXT), L"&Next >");
    EXPECT_EQ(m_wizard.Caption(ID_WIZFINISH), L"&Finish");
    EXPECT_EQ(m_wizard.Caption(IDCANCEL), L"&Cancel");
}

TEST(WizardButtons, ByThePlaceOfThePage)
{
    struct
    {
        int nPage, nPages;
        DWORD dwButtons;
    } cases[] = {
        {0, 3, PSWIZB_NEXT},
        {1, 3, PSWIZB_BACK | PSWIZB_NEXT},
        {2, 3, PSWIZB_BACK | PSWIZB_FINISH},
        {0, 1, PSWIZB_FINISH},
        {0, 2, PSWIZB_NEXT},
        {1, 2, PSWIZB_BACK | PSWIZB_FINISH},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWizard97PropertyPage::WizardButtonsAt(c.nPage, c.nPages), c.dwButtons) << c.nPage << "/" << c.nPages;
}

TEST(OnePageWizard, ShowsFinish)
{
    CTestWizard wizard(1);
    ASSERT_TRUE(wizard.Create());
    PumpPending();
    EXPECT_TRUE(wizard.Shows(ID_WIZFINISH) && wizard.Enables(ID_WIZFINISH));
    EXPECT_FALSE(wizard.Shows(ID_WIZNEXT));
}

TEST_F(WizardTest, RefusedFinishAndCancelHideTheSheetForItsNextUse)
{
    m_wizard.SetActivePage(2);
    PumpPending();
    m_wizard.Press(PSBTN_FINISH);
    EXPECT_EQ(m_wizard.m_nDone, 1);
    ASSERT_TRUE(::IsWindow(m_wizard.m_hWnd));
    EXPECT_FALSE(m_wizard.IsWindowVisible());

    // The next use starts on the first page.
    ASSERT_TRUE(m_wizard.SetActivePage(0));
    m_wizard.ShowWindow(SW_SHOW);
    PumpPending();
    EXPECT_EQ(m_wizard.GetActiveIndex(), 0);
    EXPECT_FALSE(m_wizard.Enables(ID_WIZBACK));
    EXPECT_TRUE(m_wizard.Enables(ID_WIZNEXT));

    m_wizard.Press(PSBTN_CANCEL);
    EXPECT_EQ(m_wizard.m_nCancels, 1);
    ASSERT_TRUE(::IsWindow(m_wizard.m_hWnd));
    EXPECT_FALSE(m_wizard.IsWindowVisible());
    PumpPending();
    EXPECT_TRUE(::IsWindow(m_wizard.m_hWnd));
}

TEST_F(WizardTest, AcceptedFinishEndsTheSheet)
{
    m_wizard.m_bAcceptFinish = TRUE;
    m_wizard.SetActivePage(2);
    PumpPending();
    HWND hSheet = m_wizard.m_hWnd;
    m_wizard.Press(PSBTN_FINISH);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hSheet); })) << "no empty sheet is left on the screen";
    EXPECT_EQ(m_wizard.m_hWnd, HWND(NULL));
    // The owner makes it anew for the next use.
    ASSERT_TRUE(m_wizard.Create());
    PumpPending();
    EXPECT_EQ(m_wizard.GetActiveIndex(), 0);
}

int g_nHookCalls = 0;

TEST(WizardTheme, SheetRunsTheDialogHookOnceAndItsPagesNot)
{
    g_nHookCalls = 0;
    CDialog::SetInitDialogHook([](HWND) { ++g_nHookCalls; });
    CTestWizard wizard;
    ASSERT_TRUE(wizard.Create());
    wizard.SendMessage(PSM_PRESSBUTTON, PSBTN_NEXT);
    PumpPending();
    EXPECT_EQ(g_nHookCalls, 1);
    CDialog::SetInitDialogHook(nullptr);
}
} // namespace
