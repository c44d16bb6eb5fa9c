// The process-wide state of CSkinMenu: switches, themes, the icon refresh and
// the search for the menu of a WM_MEASUREITEM.
#include "guitoolkit/SkinMenu.h"

#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>
#include <utility>

namespace
{
constexpr DWORD IconRefreshInterval = 2000;

struct stSkinMenuState
{
    BOOL bSelectDisabled = TRUE;
    BOOL bDisabledIconMode = TRUE;
    int nIconDarkening = 50;
    BOOL bAllWindowsMode = TRUE;
    BOOL bAcceleratorTexts = TRUE;
    const std::vector<CMenuTheme*>* pThemes = nullptr;
    CMenuTheme* pCurrentTheme = nullptr;
    bool bIconsRefreshed = false;
    DWORD dwLastIconRefresh = 0;
    HMENU hLastPopup = NULL;
    ULONG_PTR dwHotMenuBarItem = 0;
};

stSkinMenuState& State()
{
    static stSkinMenuState s_stState;
    return s_stState;
}

void MakeCurrent(CMenuTheme* pTheme)
{
    State().pCurrentTheme = pTheme;
    // The colour functions read the id from the environment.
    ToolkitEnvironment().nCurrentTheme = pTheme != nullptr ? pTheme->GetThemeId() : -1;
}

// The menu a window answers for the registered message of the menu bar.
HMENU MenuOfMenuBar(HWND hWnd)
{
    static const UINT s_nGetMenu = ::RegisterWindowMessageW(L"CSkinMenuBar::WM_GETMENU");
    if (s_nGetMenu == 0)
        return NULL;
    return reinterpret_cast<HMENU>(::SendMessageW(hWnd, s_nGetMenu, 0, 0));
}
} // namespace

int CSkinMenu::SelectTheme(UINT nThemeId)
{
    // Wine's popup windows have no non-client area and Wine paints its own
    // frame inside them, so the even themes, which paint the border and the
    // shadow themselves, give way to their odd twins with the system border.
    if (ToolkitEnvironment().bWine && nThemeId <= 10 && nThemeId % 2 == 0)
        ++nThemeId;
    stSkinMenuState& stState = State();
    if (stState.pThemes == nullptr)
        return -1;
    for (CMenuTheme* pTheme : *stState.pThemes)
    {
        if (pTheme == nullptr || pTheme->GetThemeId() != static_cast<int>(nThemeId))
            continue;
        int nPrevious = GetCurrentThemeId();
        MakeCurrent(pTheme);
        return nPrevious;
    }
    return -1;
}

int CSkinMenu::GetCurrentThemeId()
{
    CMenuTheme* pTheme = State().pCurrentTheme;
    return pTheme != nullptr ? pTheme->GetThemeId() : -1;
}

CMenuTheme* CSkinMenu::GetCurrentTheme()
{
    return State().pCurrentTheme;
}

void CSkinMenu::SetThemeList(const std::vector<CMenuTheme*>* pThemes, CMenuTheme* pCurrent)
{
    State().pThemes = pThemes;
    MakeCurrent(pThemes != nullptr ? pCurrent : nullptr);
}

void CSkinMenu::RefreshIcons()
{
    stSkinMenuState& stState = State();
    DWORD dwNow = ToolkitEnvironment().pfnGetTickCount();
    // Unsigned difference: right across the wrap of the tick count.
    if (stState.bIconsRefreshed && dwNow - stState.dwLastIconRefresh <= IconRefreshInterval)
        return;
    stState.bIconsRefreshed = true;
    stState.dwLastIconRefresh = dwNow;
    for (CSkinMenuIcons* pIcons : CSkinMenuIcons::StoreList())
        pIcons->Reload();
}

BOOL CSkinMenu::SetSelectDisabled(BOOL bSelect)
{
    return std::exchange(State().bSelectDisabled, bSelect);
}

BOOL CSkinMenu::GetSelectDisabled()
{
    return State().bSelectDisabled;
}

BOOL CSkinMenu::SetDisabledIconMode(BOOL bDerived)
{
    return std::exchange(State().bDisabledIconMode, bDerived);
}

BOOL CSkinMenu::GetDisabledIconMode()
{
    return State().bDisabledIconMode;
}

int CSkinMenu::SetIconDarkening(int nDarkening)
{
    return std::exchange(State().nIconDarkening, std::clamp(nDarkening, 0, 255));
}

int CSkinMenu::GetIconDarkening()
{
    return State().nIconDarkening;
}

BOOL CSkinMenu::SetAllWindowsMode(BOOL bAll)
{
    return std::exchange(State().bAllWindowsMode, bAll);
}

BOOL CSkinMenu::GetAllWindowsMode()
{
    return State().bAllWindowsMode;
}

BOOL CSkinMenu::GetAcceleratorTexts()
{
    return State().bAcceleratorTexts;
}

HMENU CSkinMenu::GetLastPopup()
{
    return State().hLastPopup;
}

void CSkinMenu::SetLastPopup(HMENU hPopup)
{
    State().hLastPopup = hPopup;
}

ULONG_PTR CSkinMenu::GetHotMenuBarItem()
{
    return State().dwHotMenuBarItem;
}

void CSkinMenu::SetHotMenuBarItem(ULONG_PTR dwItemData)
{
    State().dwHotMenuBarItem = dwItemData;
}

BOOL CSkinMenu::OnMeasureItem(const MSG* pMsg)
{
    if (pMsg == nullptr || pMsg->message != WM_MEASUREITEM || pMsg->lParam == 0)
        return FALSE;
    LPMEASUREITEMSTRUCT pMeasure = reinterpret_cast<LPMEASUREITEMSTRUCT>(pMsg->lParam);
    if (pMeasure->CtlType != ODT_MENU)
        return FALSE;
    // A menu-bar item reports its popup's handle as its id.
    HMENU hItemMenu = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(pMeasure->itemID));
    if (::IsMenu(hItemMenu))
    {
        CSkinMenu* pMenu = SkinMenuOf(hItemMenu);
        if (pMenu == nullptr)
            return FALSE;
        pMenu->MeasureItem(pMeasure);
        return TRUE;
    }
    HWND hWnd = pMsg->hwnd;
    HMENU (*const sources[])(HWND) = {
        [](HWND h) { return h == GetTrackingWindow() ? GetTrackingMenu() : HMENU(NULL); },
        [](HWND h) { return ::GetMenu(h); },
        [](HWND h) { return ::GetSystemMenu(h, FALSE); },
        MenuOfMenuBar,
    };
    for (auto pfnSource : sources)
    {
        HMENU hRoot = pfnSource(hWnd);
        CSkinMenu* pMenu = hRoot != NULL ? FindSkinMenuByItem(hRoot, pMeasure->itemID, pMeasure->itemData) : nullptr;
        if (pMenu != nullptr)
        {
            pMenu->MeasureItem(pMeasure);
            return TRUE;
        }
    }
    return FALSE;
}
