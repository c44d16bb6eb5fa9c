#include "guitoolkit/SkinMenuHook.h"

#include "guitoolkit/MenuHookData.h"
#include "guitoolkit/MenuPainters.h"
#include "guitoolkit/MenuThemeXP.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <shlwapi.h>

#include <new>

namespace
{
constexpr wchar_t PopupClass[] = L"#32768";
// The popup-menu window's own messages: which menu it shows, and a new
// layout of a popup that exists already.
constexpr UINT MenuGetHandle = 0x01E1;
constexpr UINT MenuSizeWindow = 0x01E2;
constexpr int FirstThemeId = 2;

struct stHookState
{
    HHOOK hHook = NULL;
    HMENU hPendingMenu = NULL;
    DWORD dwKeyMessagePos = 0;
};

stHookState& HookState()
{
    static stHookState s_stState;
    return s_stState;
}

struct stThemeRecipe
{
    int nId;
    enum
    {
        Plain,
        XP,
        Look2003
    } eClass;
    CMenuTheme::MeasureFunction pfnMeasure;
    CMenuTheme::DrawFunction pfnDraw;
};

// In the order the themes are made; even ids paint their own popup border.
const stThemeRecipe ThemeRecipes[] = {
    {6, stThemeRecipe::Plain, MeasureItemGradient, DrawItemGradient},
    {7, stThemeRecipe::Plain, MeasureItemGradient, DrawItemGradient},
    {0, stThemeRecipe::Plain, MeasureItemClassic, DrawItemClassic},
    {1, stThemeRecipe::Plain, MeasureItemClassic, DrawItemClassic},
    {2, stThemeRecipe::XP, MeasureItemXP, DrawItemXP},
    {3, stThemeRecipe::XP, MeasureItemXP, DrawItemXP},
    {8, stThemeRecipe::Look2003, MeasureItemXP, DrawItem2003},
    {9, stThemeRecipe::Look2003, MeasureItemXP, DrawItem2003},
    {10, stThemeRecipe::XP, MeasureItemXP, DrawItem2003},
    {11, stThemeRecipe::XP, MeasureItemXP, DrawItem2003},
    {4, stThemeRecipe::Plain, MeasureItemClassic, DrawItemFlat},
    {5, stThemeRecipe::Plain, MeasureItemClassic, DrawItemFlat},
};

std::unique_ptr<CMenuTheme> MakeTheme(const stThemeRecipe& stRecipe)
{
    int nBorderFlag = stRecipe.nId % 2 == 0 ? 1 : 0;
    switch (stRecipe.eClass)
    {
    case stThemeRecipe::XP:
        return std::make_unique<CMenuThemeXP>(stRecipe.nId, nBorderFlag, stRecipe.pfnMeasure, stRecipe.pfnDraw,
                                              DrawTitle);
    case stThemeRecipe::Look2003:
        return std::make_unique<CMenuTheme2003>(stRecipe.nId, nBorderFlag, stRecipe.pfnMeasure, stRecipe.pfnDraw,
                                                DrawTitle);
    default:
        return std::make_unique<CMenuTheme>(stRecipe.nId, nBorderFlag, stRecipe.pfnMeasure, stRecipe.pfnDraw,
                                            DrawTitle);
    }
}

int CommonControlsMajor()
{
    HMODULE hModule = ::LoadLibraryW(L"comctl32.dll");
    if (hModule == NULL)
        return 0;
    DLLGETVERSIONPROC pfnVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(::GetProcAddress(hModule, "DllGetVersion")));
    DLLVERSIONINFO stVersion = {};
    stVersion.cbSize = sizeof(stVersion);
    int nMajor = pfnVersion != nullptr && SUCCEEDED(pfnVersion(&stVersion)) ? static_cast<int>(stVersion.dwMajorVersion)
                                                                            : 0;
    ::FreeLibrary(hModule);
    return nMajor;
}

template <typename T>
T Bind(HMODULE hModule, const char* pszName)
{
    return hModule != NULL ? reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName))) : nullptr;
}
} // namespace

CSkinMenuHook::CSkinMenuHook()
{
    DetectEnvironment();
    BindLibraries();
    CreateThemes();
    stHookState& stState = HookState();
    if (stState.hHook == NULL)
    {
        stState.hHook = ::SetWindowsHookExW(WH_CALLWNDPROC, HookProcedure, NULL, ::GetCurrentThreadId());
        if (stState.hHook == NULL)
        {
            // No destructor runs for an object whose constructor throws.
            Release();
            throw std::bad_alloc();
        }
        m_hHook = stState.hHook;
    }
}

CSkinMenuHook::~CSkinMenuHook()
{
    stHookState& stState = HookState();
    if (m_hHook != NULL && stState.hHook == m_hHook)
    {
        ::UnhookWindowsHookEx(m_hHook);
        stState.hHook = NULL;
    }
    Release();
}

void CSkinMenuHook::Release()
{
    CSkinMenu::SetThemeList(nullptr, nullptr);
    m_themeList.clear();
    m_themes.clear();
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    stEnv.pfnIsThemeActive = nullptr;
    stEnv.pfnSetWindowTheme = nullptr;
    stEnv.pfnGradientFill = nullptr;
    if (m_hUxTheme != NULL)
        ::FreeLibrary(m_hUxTheme);
    if (m_hMsimg != NULL)
        ::FreeLibrary(m_hMsimg);
    m_hUxTheme = m_hMsimg = NULL;
    CSkinMenuIcons::DeleteAll();
}

void CSkinMenuHook::DetectEnvironment()
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    stEnv.bRemoteSession = stEnv.nVersionClass >= 6 && ::GetSystemMetrics(SM_REMOTESESSION) != 0;
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    stEnv.bWine = hKernel != NULL && ::GetProcAddress(hKernel, "wine_get_unix_file_name") != nullptr;
    HIGHCONTRASTW stContrast = {};
    stContrast.cbSize = sizeof(stContrast);
    stEnv.bHighContrast = ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(stContrast), &stContrast, 0) &&
                          (stContrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    stEnv.nCommonControlsClass = CommonControlsMajor();
    HDC hScreen = ::GetDC(NULL);
    if (hScreen != NULL)
    {
        stEnv.nBitsPerPixel = ::GetDeviceCaps(hScreen, BITSPIXEL);
        ::ReleaseDC(NULL, hScreen);
    }
}

void CSkinMenuHook::BindLibraries()
{
    stToolkitEnvironment& stEnv = ToolkitEnvironment();
    m_hUxTheme = ::LoadLibraryW(L"uxtheme.dll");
    stEnv.pfnIsThemeActive = Bind<decltype(stEnv.pfnIsThemeActive)>(m_hUxTheme, "IsThemeActive");
    stEnv.pfnSetWindowTheme = Bind<decltype(stEnv.pfnSetWindowTheme)>(m_hUxTheme, "SetWindowTheme");
    // Windows 98's gradient fill is left alone; the bands draw the same.
    if (stEnv.nVersionClass != 3)
    {
        m_hMsimg = ::LoadLibraryW(L"Msimg32.dll");
        stEnv.pfnGradientFill = Bind<decltype(stEnv.pfnGradientFill)>(m_hMsimg, "GradientFill");
    }
}

void CSkinMenuHook::CreateThemes()
{
    CMenuTheme* pFirst = nullptr;
    for (const stThemeRecipe& stRecipe : ThemeRecipes)
    {
        m_themes.push_back(MakeTheme(stRecipe));
        m_themeList.push_back(m_themes.back().get());
        if (stRecipe.nId == FirstThemeId)
            pFirst = m_themes.back().get();
    }
    CSkinMenu::SetThemeList(&m_themeList, pFirst);
}

std::map<HWND, std::unique_ptr<CMenuHookData>>& CSkinMenuHook::HookDataMap()
{
    static std::map<HWND, std::unique_ptr<CMenuHookData>> s_map;
    return s_map;
}

CMenuHookData* CSkinMenuHook::FindHookData(HWND hWnd)
{
    auto& map = HookDataMap();
    auto it = map.find(hWnd);
    return it != map.end() ? it->second.get() : nullptr;
}

size_t CSkinMenuHook::GetHookDataCount()
{
    return HookDataMap().size();
}

void CSkinMenuHook::SetPendingMenu(HMENU hMenu)
{
    HookState().hPendingMenu = hMenu;
}

DWORD CSkinMenuHook::GetKeyMessagePos()
{
    return HookState().dwKeyMessagePos;
}

void CSkinMenuHook::SetKeyMessagePos(DWORD dwPos)
{
    HookState().dwKeyMessagePos = dwPos;
}

LRESULT CALLBACK CSkinMenuHook::HookProcedure(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* pMessage = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pMessage != nullptr &&
        (pMessage->message == WM_CREATE || pMessage->message == MenuSizeWindow))
    {
        HMENU hCreateMenu = NULL;
        if (pMessage->message == WM_CREATE && pMessage->lParam != 0)
            hCreateMenu = static_cast<HMENU>(reinterpret_cast<const CREATESTRUCTW*>(pMessage->lParam)->lpCreateParams);
        SubclassPopup(pMessage->hwnd, pMessage->message == MenuSizeWindow, hCreateMenu);
    }
    return ::CallNextHookEx(HookState().hHook, nCode, wParam, lParam);
}

BOOL CSkinMenuHook::SubclassPopup(HWND hWnd, BOOL bShown, HMENU hCreateMenu)
{
    wchar_t szClass[20] = {};
    if (::GetClassNameW(hWnd, szClass, 20) == 0 || wcscmp(szClass, PopupClass) != 0)
        return FALSE;
    stHookState& stState = HookState();
    CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme();
    BOOL bSubclassed = FALSE;
    if (FindHookData(hWnd) == nullptr)
    {
        HMENU hMenu = stState.hPendingMenu;
        if (hMenu == NULL)
        {
            hMenu = reinterpret_cast<HMENU>(::SendMessageW(hWnd, MenuGetHandle, 0, 0));
            // Wine allowance: Wine's popup knows its menu only from its first
            // position change on, but its creation data names the menu.
            if (hMenu == NULL && hCreateMenu != NULL && ::IsMenu(hCreateMenu))
                hMenu = hCreateMenu;
            stState.hPendingMenu = hMenu;
        }
        // Only skin menus: a plain menu keeps the system's popup as it is.
        bool bSkin = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hMenu)) != nullptr;
        WNDPROC pfnOld = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
        if (bSkin && pfnOld != nullptr && ::GetPropW(hWnd, OldProcProperty) == NULL &&
            ::SetPropW(hWnd, OldProcProperty, reinterpret_cast<HANDLE>(pfnOld)) &&
            ::GetPropW(hWnd, OldProcProperty) == reinterpret_cast<HANDLE>(pfnOld))
        {
            ::GlobalAddAtomW(OldProcProperty);
            HookDataMap()[hWnd] = std::make_unique<CMenuHookData>(::GetWindowLongPtrW(hWnd, GWL_STYLE),
                                                                  ::GetWindowLongPtrW(hWnd, GWL_EXSTYLE),
                                                                  bShown != FALSE, HMENU(NULL), TRUE);
            ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PopupProcedure));
            if (pTheme != nullptr)
                pTheme->AttachPopup(hWnd);
            bSubclassed = TRUE;
        }
    }
    CMenuHookData* pData = FindHookData(hWnd);
    if (stState.hPendingMenu != NULL && pData != nullptr)
    {
        pData->m_hMenu = stState.hPendingMenu;
        if (pTheme != nullptr)
            pTheme->AttachPopup(hWnd);
    }
    // A menu no popup took must not be handed to the next popup, which may
    // belong to another menu.
    stState.hPendingMenu = NULL;
    return bSubclassed;
}

void CSkinMenuHook::UnsubclassPopup(HWND hWnd)
{
    HANDLE hOld = ::GetPropW(hWnd, OldProcProperty);
    if (hOld != NULL)
    {
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hOld));
        ::RemovePropW(hWnd, OldProcProperty);
        ATOM nAtom = ::GlobalFindAtomW(OldProcProperty);
        if (nAtom != 0)
            ::GlobalDeleteAtom(nAtom);
    }
    auto& map = HookDataMap();
    auto it = map.find(hWnd);
    if (it == map.end())
        return;
    if (CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme())
        pTheme->DetachPopup(hWnd);
    // DetachPopup may end in code that looks the data up again: erase last.
    map.erase(hWnd);
}
