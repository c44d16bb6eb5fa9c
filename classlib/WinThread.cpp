#include "classlib/WinThread.h"

#include "classlib/ThreadState.h"
#include "classlib/Wnd.h"

namespace
{
bool IsInputMessage(UINT nMsg)
{
    return (nMsg >= WM_KEYFIRST && nMsg <= WM_KEYLAST) || (nMsg >= WM_MOUSEFIRST && nMsg <= WM_MOUSELAST) ||
           (nMsg >= WM_NCMOUSEMOVE && nMsg <= WM_NCXBUTTONDBLCLK);
}
} // namespace

int CWinThread::Run()
{
    LONG lIdleCount = 0;
    for (;;)
    {
        MSG stPeek;
        while (!::PeekMessageW(&stPeek, NULL, 0, 0, PM_NOREMOVE))
        {
            if (!OnIdle(lIdleCount++))
                break;
        }
        // Wait for the next message; idle work starts afresh after it unless
        // it was one that changes no command's state.
        if (!PumpMessage())
            return ExitInstance();
        if (IsIdleMessage(&m_stLastMsg))
            lIdleCount = 0;
    }
}

BOOL CWinThread::PumpMessage()
{
    BOOL bResult = ::GetMessageW(&m_stLastMsg, NULL, 0, 0);
    if (bResult == 0)
        return FALSE;
    if (bResult == -1)
        return TRUE;
    if (!PreTranslateMessage(&m_stLastMsg))
    {
        ::TranslateMessage(&m_stLastMsg);
        ::DispatchMessageW(&m_stLastMsg);
    }
    return TRUE;
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg)
{
    CWnd* pPreview = GetThreadState().pInputPreview;
    if (IsInputMessage(pMsg->message) && pPreview != nullptr && pPreview->m_hWnd != NULL &&
        pPreview->IsWindowVisible() && pPreview->PreTranslateMessage(pMsg))
        return TRUE;

    HWND hMain = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : NULL;
    if (WalkPreTranslateTree(hMain, pMsg))
        return TRUE;
    // Keys typed in a top-level window of its own (a modeless dialog) still
    // reach the main window's accelerators.
    if (hMain != NULL && pMsg->hwnd != NULL && pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST &&
        ::GetAncestor(pMsg->hwnd, GA_ROOTOWNER) != hMain && ::GetAncestor(pMsg->hwnd, GA_ROOT) != hMain)
        return m_pMainWnd->PreTranslateMessage(pMsg);
    return FALSE;
}

BOOL CWinThread::WalkPreTranslateTree(HWND hStop, MSG* pMsg)
{
    for (HWND hWnd = pMsg->hwnd; hWnd != NULL; hWnd = ::GetParent(hWnd))
    {
        CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
        if (pWnd != nullptr && pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (hWnd == hStop)
            break;
    }
    return FALSE;
}

BOOL CWinThread::OnIdle(LONG lCount)
{
    if (lCount == 0)
    {
        if (m_pMainWnd != nullptr && m_pMainWnd->m_hWnd != NULL && m_pMainWnd->IsWindowVisible())
        {
            m_pMainWnd->SendMessage(WM_IDLEUPDATECMDUI, TRUE);
            m_pMainWnd->SendMessageToDescendants(WM_IDLEUPDATECMDUI, TRUE);
        }
        return TRUE;
    }
    DeleteTemporaryObjects();
    return FALSE;
}

BOOL CWinThread::IsIdleMessage(MSG* pMsg)
{
    // A painting that the idle work caused, or the caret's blink timer,
    // would otherwise start the idle work again at once, and so forever.
    constexpr UINT WM_SYSTIMER = 0x0118;
    if (pMsg->message == WM_PAINT || pMsg->message == WM_SYSTIMER)
        return FALSE;
    if (pMsg->message == WM_MOUSEMOVE || pMsg->message == WM_NCMOUSEMOVE)
    {
        bool bSame = m_nMsgLast == pMsg->message && m_ptCursorLast.x == pMsg->pt.x && m_ptCursorLast.y == pMsg->pt.y;
        m_nMsgLast = pMsg->message;
        m_ptCursorLast = pMsg->pt;
        return bSame ? FALSE : TRUE;
    }
    return TRUE;
}

void CWinThread::SetInputPreview(CWnd* pWnd)
{
    GetThreadState().pInputPreview = pWnd;
}

CWnd* CWinThread::GetInputPreview()
{
    return GetThreadState().pInputPreview;
}
