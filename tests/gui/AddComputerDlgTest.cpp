#include "gui/AddComputerDlg.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
constexpr UINT WM_CHECK_STILL_OPEN = WM_APP + 1;

// Shows what the dialog filled in, types the user's texts and presses OK.
class CTypingAddComputerDlg : public CAddComputerDlg
{
public:
    BOOL OnInitDialog() override
    {
        BOOL bFocus = CAddComputerDlg::OnInitDialog();
        CString str;
        GetWindowText(str);
        m_strCaption = str.Str();
        for (int i = 0; i < 3; ++i)
        {
            GetDlgItemText(aIds[i], str);
            m_astrShown[i] = str.Str();
            SetDlgItemText(aIds[i], m_astrTyped[i].c_str());
        }
        PostMessage(WM_COMMAND, IDOK);
        PostMessage(WM_CHECK_STILL_OPEN);
        return bFocus;
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (nMsg != WM_CHECK_STILL_OPEN)
            return CAddComputerDlg::OnMessage(nMsg, wParam, lParam, lResult);
        // Reached only when OK left the dialog open.
        m_bStayedOpen = true;
        m_bNameFocused = ::GetFocus() == ::GetDlgItem(m_hWnd, IDC_COMPUTER_NAME);
        PostMessage(WM_COMMAND, IDCANCEL);
        lResult = 0;
        return true;
    }

    static constexpr int aIds[3] = {IDC_COMPUTER_NAME, IDC_COMPUTER_ADDRESS, IDC_COMPUTER_PORT};
    std::wstring m_astrTyped[3];
    std::wstring m_astrShown[3];
    std::wstring m_strCaption;
    bool m_bStayedOpen = false;
    bool m_bNameFocused = false;
};

class AddComputerDlgTest : public ::testing::Test
{
protected:
    // The texts the dialog starts with, and those the user types over them.
    static void Prepare(CTypingAddComputerDlg& dlg, const wchar_t* const (&apszStart)[3],
                        const wchar_t* const (&apszTyped)[3])
    {
        dlg.m_strName = apszStart[0];
        dlg.m_strAddress = apszStart[1];
        dlg.m_strPort = apszStart[2];
        for (int i = 0; i < 3; ++i)
            dlg.m_astrTyped[i] = apszTyped[i];
    }
    CWinApp m_app;
};

TEST_F(AddComputerDlgTest, TheTextsTravelBothWays)
{
    CTypingAddComputerDlg dlg;
    Prepare(dlg, {L"old", L"192.0.2.1", L"7110"}, {L"new", L"192.0.2.2", L"7111"});
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strCaption, L"Add/Change Computer");
    EXPECT_EQ(dlg.m_astrShown[0], L"old");
    EXPECT_EQ(dlg.m_astrShown[1], L"192.0.2.1");
    EXPECT_EQ(dlg.m_astrShown[2], L"7110");
    EXPECT_EQ(dlg.m_strName, L"new");
    EXPECT_EQ(dlg.m_strAddress, L"192.0.2.2");
    EXPECT_EQ(dlg.m_strPort, L"7111");
    EXPECT_FALSE(dlg.m_bStayedOpen);

    CAddComputerDlg shown;
    shown.m_strName = L"reception";
    shown.m_strAddress = L"192.0.2.10";
    shown.m_strPort = L"7110";
    ASSERT_TRUE(shown.Create(IDD_ADD_COMPUTER));
    CString strPort;
    shown.GetDlgItemText(IDC_COMPUTER_PORT, strPort);
    EXPECT_EQ(strPort, L"7110");
    shown.ShowWindow(SW_SHOW);
    shown.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    SaveWindowPicture(shown.m_hWnd, L"dialogs\\add_computer");
    shown.DestroyWindow();
}

TEST_F(AddComputerDlgTest, OkWithoutANameKeepsTheDialogOpenOnTheName)
{
    CTypingAddComputerDlg dlg;
    Prepare(dlg, {L"kept", L"192.0.2.1", L"7110"}, {L"", L"192.0.2.99", L"1"});
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(dlg.m_bStayedOpen);
    EXPECT_TRUE(dlg.m_bNameFocused);
    EXPECT_EQ(dlg.m_strName, L"kept");
    EXPECT_EQ(dlg.m_strAddress, L"192.0.2.1") << "nothing of a refused entry is kept";
    EXPECT_EQ(dlg.m_strPort, L"7110");
}
} // namespace
