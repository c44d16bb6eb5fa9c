#include "classlib/FrameWnd.h"

#include "classlib/CmdUI.h"
#include "classlib/CreateContext.h"
#include "classlib/DockBar.h"
#include "classlib/Menu.h"
#include "classlib/MiniDockFrameWnd.h"
#include "classlib/ResourceException.h"
#include "classlib/View.h"
#include "classlib/WinApp.h"
#include "classlib/WinThread.h"

#include <algorithm>

namespace
{
struct stDockSide
{
    UINT nID;
    DWORD dwStyle;
};

// The sides in the order they are made, which is the order the layout pass
// reaches them: the top and bottom strips span the whole width.
constexpr stDockSide DockSides[] = {
    {AFX_IDW_DOCKBAR_TOP, CBRS_TOP},
    {AFX_IDW_DOCKBAR_BOTTOM, CBRS_BOTTOM},
    {AFX_IDW_DOCKBAR_LEFT, CBRS_LEFT},
    {AFX_IDW_DOCKBAR_RIGHT, CBRS_RIGHT},
};

const wchar_t* FrameClass(HICON hIcon)
{
    return CWnd::RegisterDefaultClass(CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                      reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), hIcon);
}
} // namespace

const RECT CFrameWnd::rectDefault = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwStyle, CWnd* pParent, CCreateContext* pContext)
{
    const wchar_t* pszId = MAKEINTRESOURCEW(nIDResource);
    CString strTitle;
    strTitle.LoadString(nIDResource);
    int nBreak = strTitle.Find(L'\n');
    if (nBreak >= 0)
        strTitle = strTitle.Left(nBreak);
    m_strTitle = strTitle;

    HICON hIcon = ::LoadIconW(CWinApp::FindResourceModule(pszId, RT_GROUP_ICON), pszId);
    // The window owns its menu and destroys it with itself.
    HMENU hMenu = ::LoadMenuW(CWinApp::FindResourceModule(pszId, RT_MENU), pszId);
    HACCEL hAccel = ::LoadAcceleratorsW(CWinApp::FindResourceModule(pszId, RT_ACCELERATOR), pszId);

    if (!CreateEx(0, FrameClass(hIcon), strTitle, dwStyle & ~FWS_ADDTOTITLE, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, pParent != nullptr ? pParent->m_hWnd : NULL, hMenu, pContext))
    {
        if (hMenu != NULL && ::IsMenu(hMenu))
            ::DestroyMenu(hMenu);
        // Either way the frame is gone afterwards, so callers never delete it.
        if (!WasDestroyedInCreation(this))
            delete this;
        return FALSE;
    }
    m_hAccelTable = hAccel;
    return TRUE;
}

BOOL CFrameWnd::Create(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle, const RECT& rc,
                       CWnd* pParent, const wchar_t* pszMenuName, DWORD dwExStyle, CCreateContext* pContext)
{
    HMENU hMenu = NULL;
    if (pszMenuName != nullptr)
    {
        hMenu = ::LoadMenuW(CWinApp::FindResourceModule(pszMenuName, RT_MENU), pszMenuName);
        if (hMenu == NULL)
        {
            PostNcDestroy();
            return FALSE;
        }
    }
    if (!CreateWithMenu(pszClass, pszTitle, dwStyle, rc, pParent, hMenu, dwExStyle, pContext))
    {
        // A window that was made and went took its menu with it.
        if (hMenu != NULL && ::IsMenu(hMenu))
            ::DestroyMenu(hMenu);
        return FALSE;
    }
    return TRUE;
}

BOOL CFrameWnd::CreateWithMenu(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle, const RECT& rc,
                               CWnd* pParent, HMENU hMenu, DWORD dwExStyle, CCreateContext* pContext)
{
    m_strTitle = pszTitle;
    bool bDefault = rc.left == CW_USEDEFAULT;
    if (CreateEx(dwExStyle, pszClass != nullptr ? pszClass : FrameClass(NULL), pszTitle, dwStyle & ~FWS_ADDTOTITLE,
                 rc.left, bDefault ? CW_USEDEFAULT : rc.top, bDefault ? CW_USEDEFAULT : rc.right - rc.left,
                 bDefault ? CW_USEDEFAULT : rc.bottom - rc.top, pParent != nullptr ? pParent->m_hWnd : NULL, hMenu,
                 pContext))
        return TRUE;
    if (!WasDestroyedInCreation(this))
        PostNcDestroy();
    return FALSE;
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
    case WM_CREATE:
    {
        LPCREATESTRUCTW pCreate = reinterpret_cast<LPCREATESTRUCTW>(lParam);
        if (!OnCreateClient(pCreate, static_cast<CCreateContext*>(pCreate->lpCreateParams)))
        {
            lResult = -1;
            return true;
        }
        break;
    }
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED)
            RecalcLayout();
        break;
    case WM_SETFOCUS:
        if (CWnd* pView = GetActiveView(); pView != nullptr && pView->m_hWnd != NULL)
        {
            pView->SetFocus();
            lResult = 0;
            return true;
        }
        break;
    case WM_IDLEUPDATECMDUI:
        // Floating bars live in windows of their own, out of the frame's tree.
        for (CControlBar* pBar : std::vector<CControlBar*>(m_listControlBars))
        {
            if (pBar->IsFloating() && pBar->m_hWnd != NULL)
                pBar->SendMessage(WM_IDLEUPDATECMDUI, wParam, lParam);
        }
        break;
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

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCTW, CCreateContext* pContext)
{
    if (pContext != nullptr && pContext->m_pNewViewClass != nullptr)
        return CreateView(pContext, AFX_IDW_PANE_FIRST) != nullptr;
    return TRUE;
}

CWnd* CFrameWnd::CreateView(CCreateContext* pContext, UINT nID)
{
    if (pContext == nullptr || pContext->m_pNewViewClass == nullptr)
        return nullptr;
    CWnd* pView = pContext->m_pNewViewClass();
    if (pView == nullptr)
        return nullptr;
    if (!pView->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), this, nID))
    {
        // A view that got its window deleted itself with it.
        if (!WasDestroyedInCreation(pView))
            delete pView;
        return nullptr;
    }
    if (GetActiveView() == nullptr)
        SetActiveView(pView);
    return pView;
}

void CFrameWnd::InitialUpdateFrame(BOOL bMakeVisible)
{
    SendMessageToDescendants(WM_INITIALUPDATE, 0, 0, TRUE);
    if (GetActiveView() == nullptr)
    {
        // The pane may be a splitter whose own first pane is the view.
        for (HWND hPane = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST); hPane != NULL;
             hPane = ::GetDlgItem(hPane, AFX_IDW_PANE_FIRST))
        {
            if (CView* pView = dynamic_cast<CView*>(FromHandlePermanent(hPane)))
            {
                SetActiveView(pView);
                break;
            }
        }
    }
    if (bMakeVisible)
    {
        ShowWindow(SW_SHOW);
        UpdateWindow();
    }
}

void CFrameWnd::RecalcLayout(BOOL)
{
    if (m_bInRecalcLayout || m_hWnd == NULL)
        return;
    m_bInRecalcLayout = true;
    RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST);
    m_bInRecalcLayout = false;
}

void CFrameWnd::RepositionBars(UINT nIDFirst, UINT nIDLast, UINT nIDLeftOver)
{
    stSizeParentLayout stLayout = {};
    ::GetClientRect(m_hWnd, &stLayout.rect);
    stLayout.bStretch = TRUE;
    stLayout.hDWP = ::BeginDeferWindowPos(8);
    // Children in z order, which is the order they were made in: a strip
    // made earlier is nearer the frame's edge.
    for (HWND hChild = ::GetTopWindow(m_hWnd); hChild != NULL; hChild = ::GetNextWindow(hChild, GW_HWNDNEXT))
    {
        UINT nID = static_cast<UINT>(::GetDlgCtrlID(hChild));
        if (nID >= nIDFirst && nID <= nIDLast && nID != nIDLeftOver)
            ::SendMessageW(hChild, WM_SIZEPARENT, 0, reinterpret_cast<LPARAM>(&stLayout));
    }
    if (HWND hPane = ::GetDlgItem(m_hWnd, static_cast<int>(nIDLeftOver)))
        RepositionInLayout(&stLayout, hPane, stLayout.rect);
    if (stLayout.hDWP != NULL)
        ::EndDeferWindowPos(stLayout.hDWP);
}

void CFrameWnd::AddControlBar(CControlBar* pBar)
{
    if (std::find(m_listControlBars.begin(), m_listControlBars.end(), pBar) == m_listControlBars.end())
        m_listControlBars.push_back(pBar);
}

void CFrameWnd::RemoveControlBar(CControlBar* pBar)
{
    m_listControlBars.erase(std::remove(m_listControlBars.begin(), m_listControlBars.end(), pBar),
                            m_listControlBars.end());
}

CControlBar* CFrameWnd::GetControlBar(UINT nID) const
{
    for (CControlBar* pBar : m_listControlBars)
    {
        if (pBar->m_hWnd != NULL && static_cast<UINT>(pBar->GetDlgCtrlID()) == nID)
            return pBar;
    }
    return nullptr;
}

void CFrameWnd::ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL)
{
    if (pBar == nullptr || pBar->m_hWnd == NULL)
        return;
    pBar->ShowWindow(bShow ? SW_SHOWNOACTIVATE : SW_HIDE);
    if (pBar->IsFloating())
    {
        // The floating frame shows while one of its bars does.
        if (CFrameWnd* pMini = pBar->m_pDockBar->GetParentFrame())
            pMini->RecalcLayout();
    }
    RecalcLayout();
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle)
{
    m_pFloatingFrameClass = &CMiniDockFrameWnd::CreateObject;
    EnableDocking(dwDockStyle, []() { return new CDockBar; });
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle, DockBarFactory pfnNewDockBar)
{
    for (const stDockSide& stSide : DockSides)
    {
        if (!(dwDockStyle & stSide.dwStyle & CBRS_ALIGN_ANY) || GetControlBar(stSide.nID) != nullptr)
            continue;
        CDockBar* pDockBar = pfnNewDockBar();
        pDockBar->m_bAutoDelete = TRUE;
        if (!pDockBar->Create(this, stSide.dwStyle | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                              stSide.nID))
        {
            if (!WasDestroyedInCreation(pDockBar))
                delete pDockBar;
            throw CResourceException("dock bar");
        }
    }
}

CDockBar* CFrameWnd::CanDock(CControlBar* pBar, UINT nDockBarID) const
{
    for (const stDockSide& stSide : DockSides)
    {
        if (nDockBarID != 0 && nDockBarID != stSide.nID)
            continue;
        if (pBar->m_dwDockStyle & stSide.dwStyle & CBRS_ALIGN_ANY)
        {
            if (CDockBar* pDockBar = dynamic_cast<CDockBar*>(GetControlBar(stSide.nID)))
                return pDockBar;
        }
    }
    return nullptr;
}

void CFrameWnd::DestroyIfEmptyFloating(CDockBar* pDockBar)
{
    if (pDockBar == nullptr || !pDockBar->m_bFloating || pDockBar->GetDockedCount() > 0)
        return;
    if (CFrameWnd* pMini = pDockBar->GetParentFrame())
        pMini->DestroyWindow();
}

void CFrameWnd::DockControlBar(CControlBar* pBar, UINT nDockBarID, LPCRECT pRect)
{
    if (pBar == nullptr || pBar->m_hWnd == NULL)
        return;
    CDockBar* pDockBar = CanDock(pBar, nDockBarID);
    if (pDockBar == nullptr)
        return;
    CDockBar* pOld = pBar->m_pDockBar;
    pDockBar->DockControlBar(pBar, pRect);
    if (pOld != pDockBar)
        DestroyIfEmptyFloating(pOld);
    RecalcLayout();
}

void CFrameWnd::FloatControlBar(CControlBar* pBar, CPoint point)
{
    if (pBar == nullptr || pBar->m_hWnd == NULL)
        return;
    CDockBar* pOld = pBar->m_pDockBar;
    CFrameWnd* pOldMini = pOld != nullptr && pOld->m_bFloating ? pOld->GetParentFrame() : nullptr;
    if (pOldMini != nullptr && pOld->GetDockedCount() == 1)
    {
        // Alone in its floating frame already: the frame only moves.
        pOldMini->SetWindowPos(NULL, point.x, point.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    MiniFrameFactory pfnNew = m_pFloatingFrameClass != nullptr ? m_pFloatingFrameClass : &CMiniDockFrameWnd::CreateObject;
    CMiniDockFrameWnd* pMini = pfnNew();
    CString strTitle;
    pBar->GetWindowText(strTitle);
    // A failed Create has deleted the frame.
    if (pMini == nullptr || !pMini->Create(this, strTitle))
        return;
    pMini->m_wndDockBar.DockControlBar(pBar);
    DestroyIfEmptyFloating(pOld);
    pMini->SetWindowPos(NULL, point.x, point.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    pMini->RecalcLayout();
    RecalcLayout();
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
