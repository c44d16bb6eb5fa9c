#include "TestFiles.h"
#include "tests/platform/WaitFor.h"
#include "updater/UpdateApp.h"
#include "updater/UpdateDlg.h"
#include "updater/UpdateResource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace {

std::wstring CommandLine(const std::wstring& strDescription, const wchar_t* pszInstalled)
{
    return L"Update.exe /N:\"Varnefold\" /U:\"" + strDescription + L"\" /V:" + pszInstalled;
}

std::wstring Text(HWND hWnd)
{
    wchar_t szText[512] = {};
    ::GetWindowTextW(hWnd, szText, 512);
    return szText;
}

std::wstring ItemText(HWND hDlg, int nId)
{
    return Text(::GetDlgItem(hDlg, nId));
}

HWND FindDialog(const wchar_t* pszTitle)
{
    HWND hFound = NULL;
    WaitFor([&] {
        hFound = ::FindWindowW(L"#32770", pszTitle);
        return hFound != NULL && ::IsWindowVisible(hFound);
    });
    return hFound;
}

// The dialog runs modally on the test's thread; the driver acts on it from
// another, as a user would, and closes it when it is still there.
template <typename TRun>
void DriveDialog(TRun run, const std::function<void(HWND)>& drive)
{
    std::atomic<HWND> hSeen{NULL};
    std::thread driver([&] {
        HWND hDlg = FindDialog(L"Software Update: Varnefold");
        hSeen = hDlg;
        if (hDlg == NULL)
            return;
        drive(hDlg);
        if (::IsWindow(hDlg))
            ::PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
    });
    run();
    driver.join();
    EXPECT_NE(static_cast<HWND>(hSeen), static_cast<HWND>(NULL)) << "the dialog did not show";
}

class CTestUpdateDlg : public CUpdateDlg
{
public:
    using CUpdateDlg::CUpdateDlg;
    std::wstring m_strStarted;

protected:
    bool StartTarget(const std::wstring& strPath) override
    {
        m_strStarted = strPath;
        return true;
    }
};

DWORD SoftwareSubkeys()
{
    HKEY hKey = NULL;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    DWORD dwKeys = 0;
    ::RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &dwKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
    ::RegCloseKey(hKey);
    return dwKeys;
}

bool KeyExists(const wchar_t* pszPath)
{
    HKEY hKey = NULL;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

} // namespace

// The application runs the dialog and ends with it; naming its registry key
// writes nothing. A field of an unknown letter ends the set-up: the template's
// texts stay, with the caption of the name read before it.
TEST(UpdateApp, RunsTheDialogAndLeavesTheRegistryAlone)
{
    const wchar_t* pszKey = L"Software\\Local AppWizard-Generated Applications";
    ASSERT_FALSE(KeyExists(pszKey));
    DWORD dwBefore = SoftwareSubkeys();
    CUpdateApp app(L"Update.exe /N:\"Varnefold\" /X:1 /U:http://127.0.0.1:1/desc.xml");
    BOOL bRun = TRUE;
    std::wstring strStatus, strNew;
    bool bStatusVisible = true, bOkEnabled = false;
    DriveDialog([&] { bRun = app.InitInstance(); },
                [&](HWND hDlg) {
                    strNew = ItemText(hDlg, IDC_NEW_VERSION);
                    bStatusVisible = ::IsWindowVisible(::GetDlgItem(hDlg, IDC_UPDATE_STATUS)) != FALSE;
                    bOkEnabled = ::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)) != FALSE;
                });
    EXPECT_FALSE(bRun);
    EXPECT_EQ(L"", strNew);
    EXPECT_FALSE(bStatusVisible);
    EXPECT_TRUE(bOkEnabled);
    EXPECT_FALSE(KeyExists(pszKey));
    EXPECT_EQ(dwBefore, SoftwareSubkeys());
}

struct stShownCase
{
    const char* pszWhat;
    std::wstring strDescription;
    const wchar_t* pszInstalled;
    const wchar_t* pszInstalledShown;
    const wchar_t* pszNewVersion;
    const wchar_t* pszStatus; // null: hidden
    bool bOkEnabled;
    bool bLink;
    const wchar_t* pszGroup;
    const wchar_t* pszNews;
};

// What the dialog shows after its look for a newer version.
TEST(UpdateDlg, ShowsWhatTheCheckFound)
{
    const stShownCase aCases[] = {
        {"newer", ServerUrl(L"/desc.xml"), L"1.0.0.0", L"1.0.0.0", L"3.6.0.0  (0.00 MB)", L"Update now?", true, true,
         L"What's new in 3.6.0.0", L"Line1\r\nLine2"},
        {"the same", ServerUrl(L"/desc.xml"), L"3.6.0.0", L"3.6.0.0", L"You already have the newest version.", nullptr,
         false, true, L"What's new in 3.6.0.0", L"Line1\r\nLine2"},
        {"no news, no link", ServerUrl(L"/desc.xml?whatsnew=&link="), L"1.0", L"1.0", L"3.6.0.0  (0.00 MB)",
         L"Update now?", true, false, L"What's new in 3.6.0.0", L"Nothing new in this update."},
        {"description missing", ServerUrl(L"/404"), L"1.0", L"", L"", L"Can't connect to server.", false, false,
         L"What's new", L""},
        {"description malformed", ServerUrl(L"/malformed.xml"), L"1.0", L"1.0", L"File not found.",
         L"Error during update.", false, false, L"What's new", L""},
    };
    for (const stShownCase& test : aCases)
    {
        SCOPED_TRACE(test.pszWhat);
        CTestUpdateDlg dlg(CommandLine(test.strDescription, test.pszInstalled).c_str());
        std::wstring strInstalled, strNew, strStatus, strGroup, strNews;
        bool bStatusVisible = false, bOkEnabled = false, bLinkVisible = false;
        RECT rcEdit = {}, rcLink = {};
        DriveDialog([&] { dlg.DoModal(); },
                    [&](HWND hDlg) {
                        strInstalled = ItemText(hDlg, IDC_INSTALLED_VERSION);
                        strNew = ItemText(hDlg, IDC_NEW_VERSION);
                        strStatus = ItemText(hDlg, IDC_UPDATE_STATUS);
                        bStatusVisible = ::IsWindowVisible(::GetDlgItem(hDlg, IDC_UPDATE_STATUS)) != FALSE;
                        bOkEnabled = ::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)) != FALSE;
                        bLinkVisible = ::IsWindowVisible(::GetDlgItem(hDlg, IDC_MORE_INFORMATION)) != FALSE;
                        strGroup = ItemText(hDlg, IDC_WHATS_NEW_GROUP);
                        strNews = ItemText(hDlg, IDC_WHATS_NEW);
                        ::GetWindowRect(::GetDlgItem(hDlg, IDC_WHATS_NEW), &rcEdit);
                        ::GetWindowRect(::GetDlgItem(hDlg, IDC_MORE_INFORMATION), &rcLink);
                    });
        EXPECT_EQ(test.pszInstalledShown, strInstalled);
        EXPECT_EQ(test.pszNewVersion, strNew);
        EXPECT_EQ(test.pszStatus != nullptr, bStatusVisible);
        if (test.pszStatus != nullptr)
        {
            EXPECT_EQ(test.pszStatus, strStatus);
        }
        EXPECT_EQ(test.bOkEnabled, bOkEnabled);
        EXPECT_EQ(test.bLink, bLinkVisible);
        // A hidden link gives its room to the news.
        EXPECT_EQ(!test.bLink, rcEdit.bottom == rcLink.bottom);
        EXPECT_EQ(test.pszGroup, strGroup);
        EXPECT_EQ(test.pszNews, strNews);
    }
}

// OK downloads into the temporary folder, then starts the file and ends.
TEST(UpdateDlg, DownloadsAndStartsTheInstaller)
{
    std::wstring strTarget = TempPath(L"setup.exe");
    ::DeleteFileW(strTarget.c_str());
    CTestUpdateDlg dlg(CommandLine(ServerUrl(L"/desc.xml"), L"1.0.0.0").c_str());
    INT_PTR nResult = 0;
    DriveDialog([&] { nResult = dlg.DoModal(); },
                [&](HWND hDlg) {
                    ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
                    WaitFor([&] { return !::IsWindow(hDlg); });
                });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(strTarget, dlg.m_strStarted);
    EXPECT_TRUE(FileExists(strTarget));
    ::DeleteFileW(strTarget.c_str());
}

// A download that breaks off is reported and leaves no file; the dialog
// stays open and starts nothing.
TEST(UpdateDlg, ReportsABrokenDownload)
{
    std::wstring strTarget = TempPath(L"half");
    ::DeleteFileW(strTarget.c_str());
    CTestUpdateDlg dlg(CommandLine(ServerUrl(L"/desc.xml?location=/half"), L"1.0.0.0").c_str());
    std::wstring strStatus;
    bool bOkEnabled = true, bOpen = false;
    DriveDialog([&] { dlg.DoModal(); },
                [&](HWND hDlg) {
                    ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
                    WaitFor([&] { return ItemText(hDlg, IDC_UPDATE_STATUS) == L"Error during update."; });
                    strStatus = ItemText(hDlg, IDC_UPDATE_STATUS);
                    bOkEnabled = ::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)) != FALSE;
                    bOpen = ::IsWindow(hDlg) != FALSE;
                });
    EXPECT_EQ(L"Error during update.", strStatus);
    EXPECT_FALSE(bOkEnabled);
    EXPECT_TRUE(bOpen);
    EXPECT_EQ(L"", dlg.m_strStarted);
    EXPECT_FALSE(FileExists(strTarget));
}

// Cancel in the middle of a slow download stops it at once, with no file
// left and nothing started, and the late end of the download changes nothing.
// Under a bare X server Wine's EndDialog waits about 2 s for the hidden window
// to be unmapped, so the quick part is timed by the file, and the dialog's end
// gets a wide bound; the end-to-end run on a virtual desktop times the whole.
TEST(UpdateDlg, CancelEndsASlowDownload)
{
    std::wstring strTarget = TempPath(L"slow");
    ::DeleteFileW(strTarget.c_str());
    CTestUpdateDlg dlg(CommandLine(ServerUrl(L"/desc.xml?location=/slow"), L"1.0.0.0").c_str());
    INT_PTR nResult = 0;
    bool bMoved = false, bFileGone = false, bEnded = false;
    ULONGLONG nFileMs = 0;
    DriveDialog([&] { nResult = dlg.DoModal(); },
                [&](HWND hDlg) {
                    ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
                    HWND hProgress = ::GetDlgItem(hDlg, IDC_UPDATE_PROGRESS);
                    bMoved = WaitFor([&] {
                        return ::SendMessageW(hProgress, PBM_GETPOS, 0, 0) > 0 && FileExists(strTarget);
                    });
                    ULONGLONG nStart = ::GetTickCount64();
                    ::PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
                    bFileGone = WaitFor([&] { return !FileExists(strTarget); });
                    nFileMs = ::GetTickCount64() - nStart;
                    bEnded = WaitFor([&] { return !::IsWindow(hDlg); });
                });
    EXPECT_TRUE(bMoved);
    EXPECT_TRUE(bFileGone);
    EXPECT_LT(nFileMs, 2000u);
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(IDCANCEL, nResult);
    EXPECT_EQ(L"", dlg.m_strStarted);
    EXPECT_FALSE(FileExists(strTarget));
}
