// CSpinButtonCtrl: the system up-down control with 32-bit range and position.
// A turn of the arrows reaches the parent as UDN_DELTAPOS (NMUPDOWN) first.
#pragma once

#include "classlib/Wnd.h"

#include <commctrl.h>

class CSpinButtonCtrl : public CWnd
{
public:
    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, UPDOWN_CLASSW, L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }
    void SetRange32(int nLower, int nUpper) { SendMessage(UDM_SETRANGE32, nLower, nUpper); }
    void GetRange32(int& nLower, int& nUpper) const
    {
        SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&nLower), reinterpret_cast<LPARAM>(&nUpper));
    }
    // The previous position.
    int SetPos32(int nPos) { return static_cast<int>(SendMessage(UDM_SETPOS32, 0, nPos)); }
    // pbError, when given, tells a position that the buddy's text does not hold.
    int GetPos32(BOOL* pbError = nullptr) const
    {
        return static_cast<int>(SendMessage(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(pbError)));
    }
};
