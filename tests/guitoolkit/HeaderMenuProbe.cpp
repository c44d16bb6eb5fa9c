#include "HeaderMenuProbe.h"

#include "GuiTestSupport.h"

#include <commctrl.h>

namespace
{
std::vector<stMENU_ENTRY> g_openMenu;
HWND g_hPictureOf = NULL;
const wchar_t* g_pszPicture = nullptr;
int g_nMenuTicks = 0;

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR nID, DWORD)
{
    HWND hPopup = ThreadPopupMenuWindow();
    HMENU hMenu = hPopup != NULL && ::IsWindowVisible(hPopup)
                      ? reinterpret_cast<HMENU>(::SendMessageW(hPopup, MN_GETHMENU, 0, 0))
                      : NULL;
    if (hMenu != NULL)
    {
        for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
        {
            wchar_t szText[64] = {};
            ::GetMenuStringW(hMenu, i, szText, 64, MF_BYPOSITION);
            g_openMenu.push_back({szText, ::GetMenuItemID(hMenu, i), ::GetMenuState(hMenu, i, MF_BYPOSITION)});
        }
        if (g_hPictureOf != NULL)
            SaveWindowPicture(g_hPictureOf, g_pszPicture);
    }
    if (hMenu != NULL || ++g_nMenuTicks > 100)
    {
        ::KillTimer(NULL, nID);
        ::EndMenu();
    }
}
} // namespace

std::vector<stMENU_ENTRY> OpenHeaderMenu(HWND hList, HWND hPictureOf, const wchar_t* pszPicture)
{
    g_openMenu.clear();
    RECT rcHeader;
    HWND hHeader = reinterpret_cast<HWND>(::SendMessageW(hList, LVM_GETHEADER, 0, 0));
    if (hHeader == NULL || !::GetWindowRect(hHeader, &rcHeader))
        return g_openMenu;
    g_nMenuTicks = 0;
    g_hPictureOf = pszPicture != nullptr ? hPictureOf : NULL;
    g_pszPicture = pszPicture;
    UINT_PTR nTimer = ::SetTimer(NULL, 0, 100, ReadOpenMenu);
    if (nTimer == 0)
        return g_openMenu;
    ::SendMessageW(hList, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hList), MAKELPARAM(rcHeader.left + 20, rcHeader.top + 5));
    // No menu opened: the timer must not outlive the call.
    if (g_openMenu.empty())
        ::KillTimer(NULL, nTimer);
    g_hPictureOf = NULL;
    return g_openMenu;
}
