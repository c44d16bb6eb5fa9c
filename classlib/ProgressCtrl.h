// CProgressCtrl: the system progress bar, with a 32-bit range so that byte
// counts of a download fit without scaling.
#pragma once

#include "classlib/Wnd.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd
{
public:
    BOOL Create(DWORD dwStyle, const RECT& rc, CWnd* pParent, UINT nID)
    {
        return CreateEx(0, PROGRESS_CLASSW, L"", dwStyle | WS_CHILD, rc, pParent, nID);
    }
    void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, nLower, nUpper); }
    void GetRange(int& nLower, int& nUpper) const
    {
        PBRANGE stRange = {};
        SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&stRange));
        nLower = stRange.iLow;
        nUpper = stRange.iHigh;
    }
    // The previous position.
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, nPos)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
