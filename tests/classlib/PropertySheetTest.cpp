#include "classlib/DataExchange.h"
#include "classlib/PropertySheet.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
class CNumberPage : public CPropertyPage
{
public:
    CNumberPage() : CPropertyPage(210) {}
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 1002, m_nValue); }
    BOOL OnSetActive() override
    {
        ++m_nActivations;
        return CPropertyPage::OnSetActive();
    }
    void OnReset() override { ++m_nResets; }
    void ReportDataError(const wchar_t*) override { ++m_nErrors; }
    int m_nValue = 7;
    int m_nActivations = 0;
    int m_nResets = 0;
    int m_nErrors = 0;
};

class CTextPage : public CPropertyPage
{
public:
    CTextPage() : CPropertyPage(211) {}
    BOOL OnSetActive() override
    {
        ++m_nActivations;
        return CPropertyPage::OnSetActive();
    }
    int m_nActivations = 0;
};

class CTestSheet : public CPropertySheet
{
public:
    CTestSheet() : CPropertySheet(L"Settings")
    {
        AddPage(&m_numbers);
        AddPage(&m_texts);
    }
    ~CTestSheet() override { DestroyWindow(); }
    BOOL OnInitDialog() override
    {
        m_bAttachedAtInit = FromHandlePermanent(m_hWnd) == this;
        return CPropertySheet::OnInitDialog();
    }
    CNumberPage m_numbers;
    CTextPage m_texts;
    bool m_bAttachedAtInit = false;
};

TEST(PropertySheet, PagesComeAndGoThroughTheirVirtuals)
{
    CTestSheet sheet;
    ASSERT_TRUE(sheet.Create());
    PumpPending();
    EXPECT_TRUE(sheet.m_bAttachedAtInit);
    EXPECT_EQ(sheet.GetPageCount(), 2);
    EXPECT_EQ(sheet.GetPageIndex(&sheet.m_texts), 1);
    EXPECT_EQ(sheet.GetActivePage(), &sheet.m_numbers);
    EXPECT_EQ(sheet.m_numbers.m_nActivations, 1);
    EXPECT_EQ(CWnd::FromHandlePermanent(sheet.m_numbers.m_hWnd), &sheet.m_numbers);

    // A value the page cannot take keeps the user on the page.
    sheet.m_numbers.SetDlgItemText(1002, L"seven");
    EXPECT_FALSE(sheet.SetActivePage(1));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(sheet.m_numbers.m_nErrors, 1);
    EXPECT_EQ(sheet.m_numbers.m_nValue, 7);

    sheet.m_numbers.SetDlgItemText(1002, L"8");
    EXPECT_TRUE(sheet.SetActivePage(1));
    EXPECT_EQ(sheet.GetActiveIndex(), 1);
    EXPECT_EQ(sheet.m_numbers.m_nValue, 8);
    EXPECT_EQ(sheet.m_texts.m_nActivations, 1);
    EXPECT_FALSE(sheet.SetActivePage(2));
}

TEST(PropertySheet, CancelledSheetGoes)
{
    CTestSheet sheet;
    ASSERT_TRUE(sheet.Create());
    PumpPending();
    HWND hSheet = sheet.m_hWnd;
    sheet.SendMessage(PSM_PRESSBUTTON, PSBTN_CANCEL);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hSheet); }));
    EXPECT_EQ(sheet.m_numbers.m_nResets, 1);
    EXPECT_EQ(sheet.m_hWnd, HWND(NULL));
    EXPECT_EQ(sheet.m_numbers.m_hWnd, HWND(NULL));
}

TEST(PropertySheet, SheetWithoutPagesOrTemplatesIsNotMade)
{
    CPropertySheet empty(L"Empty");
    EXPECT_FALSE(empty.Create());
    CPropertySheet broken(L"Broken");
    CPropertyPage missing(4711);
    broken.AddPage(&missing);
    EXPECT_FALSE(broken.Create());
    EXPECT_EQ(broken.m_hWnd, HWND(NULL));
}
} // namespace
