#include "guitoolkit/MenuBarUIState.h"

#include "guitoolkit/MenuBarKeyboard.h"

namespace
{
constexpr WORD HiddenCues = UISF_HIDEFOCUS | UISF_HIDEACCEL;

// Only the XP-era systems and later keep a UI state.
bool KeepsUIState(int nVersionClass)
{
    return nVersionClass == 6 || nVersionClass == 7;
}
} // namespace

void ApplyMenuModeUIState(int nOldMode, int nNewMode, int nVersionClass, CUIStateWindow& window)
{
    if (nOldMode == nNewMode || !KeepsUIState(nVersionClass))
        return;
    if (nOldMode == MENUBAR_MODE_NONE)
    {
        const DWORD dwBefore = window.QueryUIState();
        window.ChangeUIState(MAKEWPARAM(UIS_INITIALIZE, HiddenCues));
        if (window.QueryUIState() != dwBefore)
            window.InvalidateBar();
    }
    else if (nNewMode == MENUBAR_MODE_NONE && (window.QueryUIState() & HiddenCues) != HiddenCues)
    {
        window.ChangeUIState(MAKEWPARAM(UIS_SET, HiddenCues));
        window.InvalidateBar();
    }
}

bool MenuBarHidesAccelerators(int nVersionClass, BOOL bKeyboardCues, DWORD dwUIState)
{
    return KeepsUIState(nVersionClass) && !bKeyboardCues && (dwUIState & UISF_HIDEACCEL) != 0;
}
