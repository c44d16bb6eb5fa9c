#include "classlib/CreationHookScope.h"

#include "classlib/ThreadState.h"
#include "classlib/Wnd.h"

namespace
{
bool IsImeWindow(HWND hWnd)
{
    wchar_t szClass[16] = {};
    return ::GetClassNameW(hWnd, szClass, 16) > 0 && _wcsicmp(szClass, L"IME") == 0;
}
} // namespace

CCreationHookScope::CCreationHookScope(CWnd* pWnd)
    : m_hHook(NULL), m_pSavedInit(nullptr), m_hSavedHook(NULL), m_pSavedCreating(nullptr)
{
    stThreadState& stState = GetThreadState();
    m_pSavedInit = stState.pWndInit;
    m_hSavedHook = stState.hCreationHook;
    m_pSavedCreating = stState.pWndCreating;
    m_hHook = ::SetWindowsHookExW(WH_CBT, HookProc, nullptr, ::GetCurrentThreadId());
    if (m_hHook == NULL)
        return;
    stState.hCreationHook = m_hHook;
    stState.pWndInit = pWnd;
    stState.pWndCreating = pWnd;
}

CCreationHookScope::~CCreationHookScope()
{
    if (m_hHook == NULL)
        return;
    ::UnhookWindowsHookEx(m_hHook);
    stThreadState& stState = GetThreadState();
    stState.hCreationHook = m_hSavedHook;
    stState.pWndInit = m_pSavedInit;
    stState.pWndCreating = m_pSavedCreating;
}

// Attaches the window under creation before it sees WM_NCCREATE, so that
// system classes deliver their creation messages to the object too.
LRESULT CALLBACK CCreationHookScope::HookProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    stThreadState& stState = GetThreadState();
    if (nCode == HCBT_CREATEWND && stState.pWndInit != nullptr)
    {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        // The system makes an input-method window of its own on a thread's
        // first top-level window; it is not ours.
        if (!IsImeWindow(hWnd))
        {
            CWnd* pWnd = stState.pWndInit;
            stState.pWndInit = nullptr;
            pWnd->AttachForCreation(hWnd);
        }
    }
    return ::CallNextHookEx(stState.hCreationHook, nCode, wParam, lParam);
}
