#include "gui/qovDefragApp.h"

#include "gui/CommandTail.h"
#include "gui/DialogTheme.h"
#include "gui/MainFrame.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/Registry.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <commctrl.h>

namespace
{
const wchar_t* const SettingsKey = L"Software\\Varnefold";
// WS_OVERLAPPEDWINDOW and FWS_ADDTOTITLE: the frame shows itself when it decides to.
constexpr DWORD MainFrameStyle = 0xCF8000;

// A DWORD of the program's key; the default when it is missing or of another kind.
DWORD ReadSetting(const wchar_t* pszName, DWORD dwDefault)
{
    toolkit::CRegistry key(HKEY_CURRENT_USER);
    DWORD dwValue = dwDefault;
    if (key.Open(HKEY_CURRENT_USER, SettingsKey))
        key.ReadDWORD(pszName, dwValue);
    return dwValue;
}
} // namespace

CqovDefragApp::CqovDefragApp(const wchar_t* pszCommandLine)
    : m_strCommandTail(CommandTail(pszCommandLine)), m_bSingleInstance(true), m_hUxTheme(NULL)
{
}

CqovDefragApp::~CqovDefragApp()
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    if (m_hUxTheme != NULL)
    {
        stEnv.pfnEnableThemeDialogTexture = nullptr;
        ::FreeLibrary(m_hUxTheme);
    }
}

BOOL CqovDefragApp::InitInstance()
{
    m_bSingleInstance = ReadSetting(L"SingleInstance", 1) == 1;
    if (ActivateRunningCopy(m_bSingleInstance))
        return FALSE;
    BindThemeDialogTexture();
    OpenProfile();
    LoadResourceLibrary(L"Varnefold.dll");
    SetToolkitLook();
    CWinApp::InitInstance();
    if (!CreateMainFrame())
        return FALSE;
    if (m_bSingleInstance)
        m_pInstance->PublishMainWindow();
    // Taking the menu away and giving it back makes the owner-drawn menu bar build itself anew.
    HWND hFrame = m_pMainWnd->m_hWnd;
    HMENU hMenu = ::GetMenu(hFrame);
    ::SetMenu(hFrame, NULL);
    ::SetMenu(hFrame, hMenu);
    return TRUE;
}

BOOL CqovDefragApp::ActivateRunningCopy(bool bSingleInstance)
{
    m_pInstance = std::make_unique<CSingleInstance>(InstanceName);
    if (!bSingleInstance)
        return FALSE;
    m_pInstance->LockInstance();
    if (!m_pInstance->IsOtherInstanceRunning())
        return FALSE;
    m_pInstance->ActivateOtherInstance(m_strCommandTail.IsEmpty() ? nullptr : m_strCommandTail.GetString(), 0);
    return TRUE;
}

void CqovDefragApp::BindThemeDialogTexture()
{
    if (m_hUxTheme == NULL)
        m_hUxTheme = ::LoadLibraryW(L"UxTheme.dll");
    if (m_hUxTheme != NULL)
    {
        FARPROC pfn = ::GetProcAddress(m_hUxTheme, "EnableThemeDialogTexture");
        ToolkitEnvironment().pfnEnableThemeDialogTexture =
            reinterpret_cast<decltype(stToolkitEnvironment::pfnEnableThemeDialogTexture)>(
                reinterpret_cast<void*>(pfn));
    }
    InstallDialogTheme();
}

void CqovDefragApp::OpenProfile()
{
    // No company key: the profile is HKCU\Software\Varnefold itself, where
    // the lists keep their column layouts.
    SetRegistryKey(L"");
    SetProfileName(L"Varnefold");
    if (HKEY hKey = GetAppRegistryKey())
        ::RegCloseKey(hKey);
}

void CqovDefragApp::SetToolkitLook()
{
    CSkinMenu::SelectTheme(12);
    CSkinMenu::SelectTheme(10);
    CSkinMenu::SetSelectDisabled(FALSE);
    CSkinMenu::SetDisabledIconMode(TRUE);
    CSkinMenu::SetIconDarkening(0);
    CSkinMenu::SetAllWindowsMode(TRUE);
    ::InitCommonControls();
}

BOOL CqovDefragApp::CreateMainFrame()
{
    CFrameWnd* pFrame = new CMainFrame;
    m_pMainWnd = pFrame;
    // A frame that fails is gone with its window.
    if (!pFrame->LoadFrame(IDR_MAINFRAME, MainFrameStyle))
    {
        m_pMainWnd = nullptr;
        return FALSE;
    }
    return m_pMainWnd != nullptr;
}

BOOL CqovDefragApp::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nID != ID_VIEW_NETWORK_INTERFACE)
        return CWinApp::HandleCommand(nID, nCode, pExtra);
    if (nCode == CN_COMMAND)
    {
        if (auto* pFrame = dynamic_cast<CMainFrame*>(m_pMainWnd))
            pFrame->ToggleNetworkMode();
    }
    else if (nCode == CN_UPDATE_COMMAND_UI)
        static_cast<CCmdUI*>(pExtra)->SetCheck(ReadSetting(L"NetworkMode", 0) == 1 ? 1 : 0);
    else
        return FALSE;
    return TRUE;
}
