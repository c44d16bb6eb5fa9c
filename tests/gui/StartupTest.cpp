#include "gui/Resource.h"
#include "gui/qovDefragApp.h"

#include "classlib/CmdUI.h"
#include "classlib/Dialog.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include "GuiTestSupport.h"
#include "TestProgramFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{
const wchar_t* const SettingsKey = L"Software\\Varnefold";

void WriteSetting(const wchar_t* pszName, DWORD dwValue)
{
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, SettingsKey, pszName, REG_DWORD, &dwValue, sizeof(dwValue)),
              ERROR_SUCCESS);
}

// The value, or -1 when it is missing.
long long ReadValue(const wchar_t* pszKey, const wchar_t* pszName)
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (::RegGetValueW(HKEY_CURRENT_USER, pszKey, pszName, RRF_RT_REG_DWORD, nullptr, &dwValue, &cbValue) !=
        ERROR_SUCCESS)
        return -1;
    return dwValue;
}

class CCheckProbe : public CCmdUI
{
public:
    void SetCheck(int nCheck) override { m_nCheck = nCheck; }
    int m_nCheck = -1;
};

// Starts run in this process with a single copy not enforced: a published
// window would stay findable for the rest of the process, and the copies
// that the instance tests start would take this process for the first one.
class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteSetting(L"SingleInstance", 0);
        WriteSetting(L"NetworkMode", 0);
        try
        {
            m_pMenuHook = std::make_unique<CSkinMenuHook>();
        }
        catch (const std::bad_alloc&)
        {
            FAIL() << "no menu hook";
        }
    }
    void TearDown() override
    {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"SingleInstance");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"NetworkMode");
        CDialog::SetInitDialogHook(nullptr);
    }
    // The frame goes without ending this thread's message loop.
    static void CloseFrame(CqovDefragApp& app)
    {
        CWnd* pFrame = app.m_pMainWnd;
        app.m_pMainWnd = nullptr;
        if (pFrame != nullptr)
            pFrame->DestroyWindow();
        PumpPending();
    }

    std::unique_ptr<CSkinMenuHook> m_pMenuHook;
};

TEST_F(StartupTest, MakesTheFrameOfResource50WithTheProgramsLook)
{
    ToolkitEnvironment().pfnEnableThemeDialogTexture = nullptr;
    CSkinMenu::SetAllWindowsMode(FALSE);
    CSkinMenu::SetDisabledIconMode(FALSE);
    CSkinMenu::SetIconDarkening(3);
    CSkinMenu::SetSelectDisabled(TRUE);
    {
        CqovDefragApp app(L"\"C:\\Program Files\\Varnefold\\Varnefold.exe\"");
        ASSERT_TRUE(app.InitInstance());
        ASSERT_NE(app.m_pMainWnd, nullptr);
        HWND hFrame = app.m_pMainWnd->m_hWnd;
        CString strTitle;
        app.m_pMainWnd->GetWindowText(strTitle);
        EXPECT_EQ(strTitle.Str(), L"Varnefold");
        EXPECT_NE(::GetMenu(hFrame), nullptr);
        EXPECT_NE(static_cast<CFrameWnd*>(app.m_pMainWnd)->GetDefaultAccelerator(), nullptr);
        EXPECT_TRUE(::IsWindowVisible(hFrame));
        EXPECT_EQ(app.GetCommandTail().Str(), L"");

        // The dialogs' themed look is bound, and every dialog takes it.
        EXPECT_NE(ToolkitEnvironment().pfnEnableThemeDialogTexture, nullptr);
        EXPECT_NE(CDialog::GetInitDialogHook(), nullptr);
        // Theme 10, which Wine's popups take in its odd twin, and the menus' switches.
        EXPECT_EQ(CSkinMenu::GetCurrentThemeId(), ToolkitEnvironment().bWine ? 11 : 10);
        EXPECT_TRUE(CSkinMenu::GetAllWindowsMode());
        EXPECT_TRUE(CSkinMenu::GetDisabledIconMode());
        EXPECT_EQ(CSkinMenu::GetIconDarkening(), 0);
        EXPECT_FALSE(CSkinMenu::GetSelectDisabled());

        // The profile is the program's key itself.
        EXPECT_EQ(app.GetProfileName().Str(), L"Varnefold");
        ASSERT_TRUE(app.WriteProfileInt(L"Settings", L"StartupProbe", 7));
        EXPECT_EQ(ReadValue(L"Software\\Varnefold\\Settings", L"StartupProbe"), 7);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Varnefold\\Settings", L"StartupProbe");

        // With SingleInstance 0 the window is not published for later starts.
        HANDLE hMapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, L"Defrag SI Instance_CSingleInstance_MMF");
        EXPECT_EQ(hMapping, nullptr);
        if (hMapping != NULL)
            ::CloseHandle(hMapping);

        SaveWindowPicture(hFrame, L"startup\\frame");
        CloseFrame(app);
    }
    EXPECT_EQ(ToolkitEnvironment().pfnEnableThemeDialogTexture, nullptr) << "the library went with the program";
}

TEST_F(StartupTest, MinimizeOnTheCommandLineKeepsTheFrameHidden)
{
    CqovDefragApp app(L"Varnefold.exe /minimize");
    EXPECT_EQ(app.GetCommandTail().Str(), L"/minimize");
    ASSERT_TRUE(app.InitInstance());
    ASSERT_NE(app.m_pMainWnd, nullptr);
    EXPECT_FALSE(::IsWindowVisible(app.m_pMainWnd->m_hWnd));
    CloseFrame(app);
}

TEST_F(StartupTest, AResourceLibraryGivesWhatItHasAndTheProgramTheRest)
{
    std::wstring strLibrary = TestProgramFolder() + L"Varnefold.dll";
    ASSERT_TRUE(::CopyFileW((TestProgramFolder() + L"vf_gui_ResourceLibrary.dll").c_str(), strLibrary.c_str(), FALSE));
    {
        CqovDefragApp app(L"Varnefold.exe");
        ASSERT_TRUE(app.InitInstance());
        EXPECT_NE(CWinApp::GetResourceModule(), app.m_hInstance);
        CString strTitle;
        app.m_pMainWnd->GetWindowText(strTitle);
        EXPECT_EQ(strTitle.Str(), L"Varnefold from the library");
        EXPECT_NE(::GetMenu(app.m_pMainWnd->m_hWnd), nullptr);
        // Strings the library lacks come from the program.
        EXPECT_EQ(CWinApp::GetAppName().Str(), L"Varnefold");
        CString strFile;
        EXPECT_TRUE(strFile.LoadString(IDS_VERSION_FILE));
        EXPECT_EQ(strFile.Str(), L"Varnefold.exe");
        CloseFrame(app);
    }
    EXPECT_TRUE(::DeleteFileW(strLibrary.c_str()));
}

TEST_F(StartupTest, NetworkInterfaceCommandFlipsTheModeAndItsCheckFollows)
{
    CqovDefragApp app(L"Varnefold.exe");
    ASSERT_TRUE(app.InitInstance());
    CCheckProbe unchecked;
    ASSERT_TRUE(app.OnCmdMsg(ID_VIEW_NETWORK_INTERFACE, CN_UPDATE_COMMAND_UI, &unchecked));
    EXPECT_EQ(unchecked.m_nCheck, 0);

    ASSERT_TRUE(app.OnCmdMsg(ID_VIEW_NETWORK_INTERFACE, CN_COMMAND, nullptr));
    EXPECT_EQ(ReadValue(SettingsKey, L"NetworkMode"), 1);
    CCheckProbe checked;
    ASSERT_TRUE(app.OnCmdMsg(ID_VIEW_NETWORK_INTERFACE, CN_UPDATE_COMMAND_UI, &checked));
    EXPECT_EQ(checked.m_nCheck, 1);
    CloseFrame(app);
}
} // namespace
