// CCreationHookScope: while it lives, the next window this thread creates is
// attached to the given object before that window's first message. It wraps
// CreateWindowExW and the system's dialog creation alike, so a dialog's
// object sees WM_NCCREATE and WM_INITDIALOG and its controls' notifications
// are reflected from the start.
#pragma once

#include <windows.h>

class CWnd;

class CCreationHookScope
{
public:
    explicit CCreationHookScope(CWnd* pWnd);
    ~CCreationHookScope();
    CCreationHookScope(const CCreationHookScope&) = delete;
    CCreationHookScope& operator=(const CCreationHookScope&) = delete;

    // False when the system refused the hook: nothing is attached then.
    bool IsHooked() const { return m_hHook != NULL; }

private:
    static LRESULT CALLBACK HookProc(int nCode, WPARAM wParam, LPARAM lParam);

    HHOOK m_hHook;
    // The records of an enclosing creation, put back at the end.
    CWnd* m_pSavedInit;
    HHOOK m_hSavedHook;
    CWnd* m_pSavedCreating;
};
