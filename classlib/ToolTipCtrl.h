// CToolTipCtrl: a tooltip window and its tools, each a window or a rectangle
// of one by id.
#pragma once

#include "classlib/Wnd.h"

#include <commctrl.h>

class CToolTipCtrl : public CWnd
{
public:
    // A topmost popup owned by the parent.
    BOOL Create(CWnd* pParent, DWORD dwStyle = 0);

    // A tool by id over a rectangle of the window (null: the whole window as the tool).
    BOOL AddTool(CWnd* pWnd, const wchar_t* pszText, LPCRECT pRect = nullptr, UINT_PTR nID = 0);
    void DelTool(CWnd* pWnd, UINT_PTR nID = 0);
    void UpdateTipText(const wchar_t* pszText, CWnd* pWnd, UINT_PTR nID = 0);
    void SetToolRect(CWnd* pWnd, UINT_PTR nID, LPCRECT pRect);
    CString GetText(CWnd* pWnd, UINT_PTR nID = 0) const;
    int GetToolCount() const { return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT)); }
    void Activate(BOOL bActivate) { SendMessage(TTM_ACTIVATE, bActivate); }
    void RelayEvent(MSG* pMsg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg)); }
    int SetMaxTipWidth(int nWidth) { return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, nWidth)); }
    void SetMargin(LPRECT pRect) { SendMessage(TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(pRect)); }
    void GetMargin(LPRECT pRect) const { SendMessage(TTM_GETMARGIN, 0, reinterpret_cast<LPARAM>(pRect)); }
    void SetDelayTime(DWORD dwDuration, int nTime) { SendMessage(TTM_SETDELAYTIME, dwDuration, MAKELPARAM(nTime, 0)); }

private:
    static void FillToolInfo(TOOLINFOW& stInfo, CWnd* pWnd, UINT_PTR nID);
};
