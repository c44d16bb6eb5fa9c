// CMiniDockFrameWnd: the small captioned tool window a floating bar lives
// in. It holds one dock bar, sizes itself around it, and closing it hides the
// bars instead of destroying them.
#pragma once

#include "classlib/DockBar.h"
#include "classlib/FrameWnd.h"

class CMiniDockFrameWnd : public CFrameWnd
{
public:
    CMiniDockFrameWnd();

    static CMiniDockFrameWnd* CreateObject() { return new CMiniDockFrameWnd; }

    // A hidden popup owned by the dock site, captioned with the title.
    using CFrameWnd::Create;
    virtual BOOL Create(CFrameWnd* pDockSite, const wchar_t* pszTitle);
    // Fits the window around its dock bar; hides it while no bar in it shows.
    void RecalcLayout(BOOL bNotify = TRUE) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    CDockBar m_wndDockBar;

private:
    CFrameWnd* m_pDockSite;
};
