// CMenuHookData: what the menu hook keeps about one subclassed popup-menu
// window while its window procedure is replaced.
#pragma once

#include "classlib/GdiObject.h"

#include <windows.h>

// The window property, and global atom, that holds a subclassed popup's own
// window procedure.
constexpr wchar_t OldProcProperty[] = L"OldMenuProc";

class CMenuHookData
{
public:
    enum : int
    {
        FlagShown = 0x1,          // the window was already shown when it was subclassed
        FlagStylesChanged = 0x2,  // the theme took the border styles off
        FlagEscape = 0x4,         // Escape was pressed in the popup
        FlagPrinting = 0x8,       // a WM_PRINT is being served
    };
    // The value of the saved region while none is kept.
    static HRGN NoRegion() { return reinterpret_cast<HRGN>(1); }

    CMenuHookData(LONG_PTR dwStyle, LONG_PTR dwExStyle, bool bShown, HMENU hMenu, BOOL bThemed)
        : m_dwSavedStyle(dwStyle), m_dwSavedExStyle(dwExStyle), m_nFlags(bShown ? FlagShown : 0), m_hMenu(hMenu),
          m_bThemed(bThemed)
    {
    }
    ~CMenuHookData()
    {
        if (m_hSavedRegion != NoRegion() && m_hSavedRegion != NULL)
            ::DeleteObject(m_hSavedRegion);
    }
    CMenuHookData(const CMenuHookData&) = delete;
    CMenuHookData& operator=(const CMenuHookData&) = delete;

    LONG_PTR m_dwSavedStyle;
    LONG_PTR m_dwSavedExStyle;
    // Screen position, (0, 0) until known.
    POINT m_ptLast = {0, 0};
    int m_nFlags;
    BOOL m_bPainted = FALSE;
    HMENU m_hMenu;
    // The screen under the popup and 10 pixels beyond, for the own shadow.
    CBitmap m_screen;
    HRGN m_hSavedRegion = NoRegion();
    BOOL m_bThemed;
};
