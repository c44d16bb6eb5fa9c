#include "tests/classlib/GuiTestSupport.h"
#include "ScreenPicture.h"
#include "updater/UpdateResource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring ClassOf(HWND hWnd)
{
    wchar_t szClass[64] = {};
    ::GetClassNameW(hWnd, szClass, 64);
    return szClass;
}

std::wstring TextOf(HWND hWnd)
{
    wchar_t szText[128] = {};
    ::GetWindowTextW(hWnd, szText, 128);
    return szText;
}

// A picture of the window for a reviewer, in the build's screenshot folder.
void KeepPicture(HWND hWnd, const wchar_t* pszName)
{
    const wchar_t* pszFolder = _wgetenv(L"VF_SCREENSHOT_DIR");
    if (pszFolder == nullptr)
        return;
    ::ShowWindow(hWnd, SW_SHOW);
    ::UpdateWindow(hWnd);
    PumpUntil([] { return false; }, 300);
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    std::wstring strFolder = std::wstring(pszFolder) + L"\\updater";
    ::CreateDirectoryW(pszFolder, nullptr);
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    EXPECT_TRUE(CScreenPicture(rc).SavePng(strFolder + L"\\" + pszName));
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

TEST(UpdateResources, StringsIconAndVersionTexts)
{
    const struct
    {
        UINT nId;
        const wchar_t* pszText;
    } aStrings[] = {
        {IDS_UPDATE_NOW, L"Update now?"},
        {IDS_UPDATE_ERROR, L"Error during update."},
        {IDS_FILE_NOT_FOUND, L"File not found."},
        {IDS_NEWEST_VERSION, L"You already have the newest version."},
        {IDS_CANNOT_CONNECT, L"Can't connect to server."},
        {IDS_NOTHING_NEW, L"Nothing new in this update."},
    };
    HINSTANCE hInstance = ::GetModuleHandleW(nullptr);
    for (const auto& test : aStrings)
    {
        wchar_t szText[128] = {};
        EXPECT_GT(::LoadStringW(hInstance, test.nId, szText, 128), 0);
        EXPECT_STREQ(szText, test.pszText);
    }
    EXPECT_NE(::LoadIconW(hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME)), nullptr);
}

TEST(UpdateResources, DialogHoldsTheControlsOfTheUpdater)
{
    INITCOMMONCONTROLSEX stControls = {sizeof(stControls), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&stControls));
    HWND hDialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UPDATE), NULL,
                                        &PlainDialogProc, 0);
    ASSERT_NE(hDialog, nullptr);
    EXPECT_EQ(TextOf(hDialog), L"Software Update");

    const struct
    {
        int nId;
        const wchar_t* pszClass;
        const wchar_t* pszText; // null: not checked
        DWORD dwStyle;          // bits that must be set
    } aControls[] = {
        {IDOK, L"Button", nullptr, 0},
        {IDCANCEL, L"Button", nullptr, 0},
        {IDC_UPDATE_PROGRESS, L"msctls_progress32", nullptr, 0},
        {IDC_INSTALLED_VERSION, L"Static", L"", 0},
        {IDC_NEW_VERSION, L"Static", L"", 0},
        {IDC_UPDATE_STATUS, L"Static", L"", 0},
        {IDC_WHATS_NEW_GROUP, L"Button", L"What's new", BS_GROUPBOX},
        {IDC_WHATS_NEW, L"Edit", nullptr, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL},
        {IDC_MORE_INFORMATION, L"Static", L"Click here to get more information...", 0},
    };
    for (const auto& test : aControls)
    {
        SCOPED_TRACE(test.nId);
        HWND hControl = ::GetDlgItem(hDialog, test.nId);
        ASSERT_NE(hControl, nullptr);
        EXPECT_EQ(_wcsicmp(ClassOf(hControl).c_str(), test.pszClass), 0);
        if (test.pszText != nullptr)
        {
            EXPECT_EQ(TextOf(hControl), test.pszText);
        }
        EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(hControl, GWL_STYLE)) & test.dwStyle, test.dwStyle);
    }
    // The status shows only once there is something to say.
    EXPECT_EQ(::GetWindowLongPtrW(::GetDlgItem(hDialog, IDC_UPDATE_STATUS), GWL_STYLE) & WS_VISIBLE, 0);
    // The link lies under the news, which grows into its place when it goes.
    RECT rcNews, rcLink;
    ::GetWindowRect(::GetDlgItem(hDialog, IDC_WHATS_NEW), &rcNews);
    ::GetWindowRect(::GetDlgItem(hDialog, IDC_MORE_INFORMATION), &rcLink);
    EXPECT_GE(rcLink.top, rcNews.bottom);
    // Download sizes are bytes: the bar takes a 32-bit range.
    HWND hProgress = ::GetDlgItem(hDialog, IDC_UPDATE_PROGRESS);
    ::SendMessageW(hProgress, PBM_SETRANGE32, 0, 3000000);
    EXPECT_EQ(::SendMessageW(hProgress, PBM_GETRANGE, FALSE, 0), 3000000);
    KeepPicture(hDialog, L"update-template.png");
    ::DestroyWindow(hDialog);
}

} // namespace
