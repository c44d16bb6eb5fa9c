#include "gui/DefragMessageBox.h"
#include "gui/DialogTheme.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Notes what the box showed and closes it once it is up.
class CObservedMessageBox : public CDefragMessageBox
{
public:
    using CDefragMessageBox::CDefragMessageBox;
    BOOL OnInitDialog() override
    {
        BOOL bFocus = CDefragMessageBox::OnInitDialog();
        CString str;
        GetWindowText(str);
        m_strShownCaption = str.Str();
        GetDlgItemText(IDC_MESSAGEBOX_TEXT, str);
        m_strShownText = str.Str();
        PostMessage(WM_COMMAND, IDOK);
        return bFocus;
    }
    std::wstring m_strShownCaption;
    std::wstring m_strShownText;
};

std::vector<std::pair<HWND, DWORD>> g_themed;

HRESULT WINAPI RecordTheme(HWND hWnd, DWORD dwFlags)
{
    g_themed.emplace_back(hWnd, dwFlags);
    return S_OK;
}

class SmallDialogsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_themed.clear();
        m_pfnSaved = ToolkitEnvironment().pfnEnableThemeDialogTexture;
        ToolkitEnvironment().pfnEnableThemeDialogTexture = RecordTheme;
        InstallDialogTheme();
    }
    void TearDown() override
    {
        CDialog::SetInitDialogHook(nullptr);
        ToolkitEnvironment().pfnEnableThemeDialogTexture = m_pfnSaved;
    }
    CWinApp m_app;
    HRESULT(WINAPI* m_pfnSaved)(HWND, DWORD) = nullptr;
};

TEST_F(SmallDialogsTest, MessageBoxShowsItsTextAndCaption)
{
    CObservedMessageBox box(L"Unknown Command: 77 (Client: 0x1f)", L"Service");
    EXPECT_EQ(box.DoModal(), IDOK);
    EXPECT_EQ(box.m_strShownText, L"Unknown Command: 77 (Client: 0x1f)");
    EXPECT_EQ(box.m_strShownCaption, L"Service");
}

TEST_F(SmallDialogsTest, EmptyCaptionIsTheApplicationsName)
{
    CObservedMessageBox box(L"text", L"");
    EXPECT_EQ(box.GetCaption(), L"Varnefold");
    EXPECT_EQ(box.DoModal(), IDOK);
    EXPECT_EQ(box.m_strShownCaption, L"Varnefold");
}

TEST_F(SmallDialogsTest, EveryDialogTakesTheThemedTextureOnce)
{
    CObservedMessageBox box(L"text", L"");
    ASSERT_EQ(box.DoModal(), IDOK);
    ASSERT_EQ(g_themed.size(), 1u);
    EXPECT_EQ(g_themed[0].second, DWORD(6));

    CDefragMessageBox modeless(L"again", L"");
    ASSERT_TRUE(modeless.Create(IDD_DEFRAG_MESSAGEBOX));
    ASSERT_EQ(g_themed.size(), 2u);
    EXPECT_EQ(g_themed[1].first, modeless.m_hWnd);
    modeless.UpdateData(FALSE);
    modeless.ShowWindow(SW_SHOW);
    EXPECT_EQ(g_themed.size(), 2u) << "once per dialog, at its initialisation";
    modeless.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    SaveWindowPicture(modeless.m_hWnd, L"dialogs\\message_box");
    modeless.DestroyWindow();
}

TEST_F(SmallDialogsTest, WithoutTheBoundFunctionDialogsStayPlain)
{
    ToolkitEnvironment().pfnEnableThemeDialogTexture = nullptr;
    CObservedMessageBox box(L"text", L"plain");
    EXPECT_EQ(box.DoModal(), IDOK);
    EXPECT_EQ(box.m_strShownCaption, L"plain");
    EXPECT_TRUE(g_themed.empty());
}
} // namespace
