// CCmdUI: the state query for one command. Update handlers call Enable,
// SetCheck, SetRadio and SetText; this class applies them to a menu item,
// derived classes to buttons and panes.
#pragma once

#include <windows.h>

class CCmdTarget;
class CMenu;
class CWnd;

class CCmdUI
{
public:
    CCmdUI() = default;
    virtual ~CCmdUI() = default;

    virtual void Enable(BOOL bOn = TRUE);
    virtual void SetCheck(int nCheck = 1);
    virtual void SetRadio(BOOL bOn = TRUE);
    virtual void SetText(const wchar_t* pszText);

    // Asks the target; true when a handler answered. Commands without a
    // handler keep their state: nothing is disabled behind the caller's back.
    bool DoUpdate(CCmdTarget* pTarget);

    UINT m_nID = 0;
    UINT m_nIndex = 0;
    UINT m_nIndexMax = 0;
    CMenu* m_pMenu = nullptr;
    CWnd* m_pOther = nullptr;
    bool m_bEnableChanged = false;
};
