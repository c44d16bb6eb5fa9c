#include "classlib/FrameWnd.h"

#include "classlib/CmdUI.h"
#include "classlib/Menu.h"
#include "classlib/WinApp.h"

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwStyle, CWnd* pParent)
{
    const wchar_t* pszId = MAKEINTRESOURCEW(nIDResource);
    CString strTitle;
    strTitle.LoadString(nIDResource);
    int nBreak = strTitle.Find(L'\n');
    if (nBreak >= 0)
        strTitle = strTitle.Left(nBreak);

    HICON hIcon = ::LoadIconW(CWinApp::FindResourceModule(pszId, RT_GROUP_ICON), pszId);
    const wchar_t* pszClass = RegisterDefaultClass(CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), hIcon);
    // The window owns its menu and destroys it with itself.
    HMENU hMenu = ::LoadMenuW(CWinApp::FindResourceModule(pszId, RT_MENU), pszId);
    HACCEL hAccel = ::LoadAcceleratorsW(CWinApp::FindResourceModule(pszId, RT_ACCELERATOR), pszId);

    if (!CreateEx(0, pszClass, strTitle, dwStyle & ~FWS_ADDTOTITLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, pParent != nullptr ? pParent->m_hWnd : NULL, hMenu))
    {
        if (hMenu != NULL)
            ::DestroyMenu(hMenu);
        // Either way the frame is gone afterwards, so callers never delete it.
        if (!WasDestroyedInCreation(this))
            delete this;
        return FALSE;
    }
    m_hAccelTable = hAccel;
    return TRUE;
}

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_hAccelTable != NULL &&
        ::TranslateAcceleratorW(m_hWnd, m_hAccelTable, pMsg))
        return TRUE;
    return CWnd::PreTranslateMessage(pMsg);
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra)
{
    CWnd* pView = GetActiveView();
    if (pView != nullptr && pView->OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    if (HandleCommand(nID, nCode, pExtra))
        return TRUE;
    CWinApp* pApp = CWinApp::GetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, nCode, pExtra);
}

bool CFrameWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_INITMENUPOPUP:
        // The system menu's items are the system's.
        if (!HIWORD(lParam))
            UpdateMenuCommands(reinterpret_cast<HMENU>(wParam));
        break;
    case WM_NCDESTROY:
        if (CWinApp* pApp = CWinApp::GetApp(); pApp != nullptr && pApp->m_pMainWnd == this)
        {
            pApp->m_pMainWnd = nullptr;
            ::PostQuitMessage(0);
        }
        break;
    default:
        break;
    }
    return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
}

void CFrameWnd::UpdateMenuCommands(HMENU hPopup)
{
    CCmdUI stState;
    stState.m_pMenu = CMenu::FromHandle(hPopup);
    if (stState.m_pMenu == nullptr)
        return;
    // A handler may add or remove items, so the count is read on every pass.
    for (int i = 0; i < ::GetMenuItemCount(hPopup); ++i)
    {
        UINT nID = ::GetMenuItemID(hPopup, i);
        if (nID == 0 || nID == static_cast<UINT>(-1))
            continue;
        stState.m_nIndex = i;
        stState.m_nIndexMax = ::GetMenuItemCount(hPopup);
        stState.m_nID = nID;
        stState.DoUpdate(this);
    }
}
