// The keyboard cues of the menu bar: on the systems that hide focus
// rectangles and underlines until the keyboard is used, entering menu mode
// asks the frame to show them and leaving it hides them again. The window
// side is an interface, since Wine answers every UI-state query with 0.
#pragma once

#include <windows.h>

class CUIStateWindow
{
public:
    virtual ~CUIStateWindow() = default;
    // WM_QUERYUISTATE of the frame.
    virtual DWORD QueryUIState() const = 0;
    // WM_CHANGEUISTATE to the frame.
    virtual void ChangeUIState(WPARAM wParam) = 0;
    virtual void InvalidateBar() = 0;
};

// Called when the bar's mode goes from nOldMode to nNewMode.
void ApplyMenuModeUIState(int nOldMode, int nNewMode, int nVersionClass, CUIStateWindow& window);
// Whether the items are drawn without their mnemonic underlines.
bool MenuBarHidesAccelerators(int nVersionClass, BOOL bKeyboardCues, DWORD dwUIState);
