#include "gui/PasswordDlg.h"
#include "gui/Resource.h"

#include "classlib/WinApp.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// Types a password, notes what the dialog showed, and presses OK.
class CTypingPasswordDlg : public CPasswordDlg
{
public:
    BOOL OnInitDialog() override
    {
        BOOL bFocus = CPasswordDlg::OnInitDialog();
        CString str;
        GetDlgItemText(IDC_PASSWORD_PROMPT, str);
        m_strShownPrompt = str.Str();
        GetWindowText(str);
        m_strCaption = str.Str();
        SetDlgItemText(IDC_PASSWORD_EDIT, L"pw");
        PostMessage(WM_COMMAND, IDOK);
        return bFocus;
    }
    std::wstring m_strShownPrompt;
    std::wstring m_strCaption;
};

class PasswordDlgTest : public ::testing::Test
{
protected:
    // Ticks or unticks "Hide Typing" as a click would.
    static void ClickHideTyping(CPasswordDlg& dlg, bool bTicked)
    {
        HWND hBox = ::GetDlgItem(dlg.m_hWnd, IDC_PASSWORD_HIDE_TYPING);
        ::SendMessageW(hBox, BM_SETCHECK, bTicked ? BST_CHECKED : BST_UNCHECKED, 0);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PASSWORD_HIDE_TYPING, BN_CLICKED), reinterpret_cast<LPARAM>(hBox));
    }
    static wchar_t EchoCharacter(CPasswordDlg& dlg)
    {
        return static_cast<wchar_t>(dlg.SendDlgItemMessage(IDC_PASSWORD_EDIT, EM_GETPASSWORDCHAR));
    }

    CWinApp m_app;
};

TEST_F(PasswordDlgTest, OkGivesTheTypedTextAndThePromptCanBeReplaced)
{
    CTypingPasswordDlg dlg;
    EXPECT_EQ(dlg.m_strPrompt.Str(),
              L"Please enter the password with which you will protect further connections to this computer.");
    dlg.m_strPrompt = L"This qov Defrag service is password protected. Please enter the connection password.";
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strPassword.Str(), L"pw");
    EXPECT_EQ(dlg.m_strShownPrompt, dlg.m_strPrompt.Str());
    EXPECT_EQ(dlg.m_strCaption, L"Connection password");
}

TEST_F(PasswordDlgTest, HideTypingTogglesTheSameEchoCharacter)
{
    CPasswordDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_PASSWORD));
    dlg.SetDlgItemText(IDC_PASSWORD_EDIT, L"secret");
    dlg.ShowWindow(SW_SHOW);
    PumpPending();
    EXPECT_EQ(::IsDlgButtonChecked(dlg.m_hWnd, IDC_PASSWORD_HIDE_TYPING), UINT(BST_CHECKED));
    wchar_t chEcho = EchoCharacter(dlg);
    EXPECT_NE(chEcho, 0) << "the text is hidden from the start";
    SaveWindowPicture(dlg.m_hWnd, L"dialogs\\password_hidden");

    ClickHideTyping(dlg, false);
    EXPECT_EQ(EchoCharacter(dlg), 0);
    EXPECT_EQ(dlg.m_nHideTyping, 0);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg.m_hWnd, IDC_PASSWORD_EDIT));
    PumpPending();
    SaveWindowPicture(dlg.m_hWnd, L"dialogs\\password_shown");

    ClickHideTyping(dlg, true);
    EXPECT_EQ(EchoCharacter(dlg), chEcho);
    EXPECT_EQ(dlg.m_nHideTyping, 1);
    dlg.DestroyWindow();
}
} // namespace
