#include "guitoolkit/SkinMenuBar.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/GdiObject.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SelectedObject.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuBarSubclass.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>
#include <vector>

namespace
{
constexpr UINT HoverInterval = 100;

POINT PointOf(LPARAM lParam)
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

bool KeepsUIState()
{
    const int nClass = ToolkitEnvironment().nVersionClass;
    return nClass == 6 || nClass == 7;
}
} // namespace

CSkinMenuBar* CSkinMenuBar::s_pTrackingBar = nullptr;
HHOOK CSkinMenuBar::s_hFilterHook = NULL;

CSkinMenuBar::CSkinMenuBar()
    : m_keyboard(*this), m_hMenu(NULL), m_bChildMaximized(FALSE), m_hTrackedPopup(NULL), m_hPopupOwner(NULL),
      m_hFrame(NULL), m_hMdiClient(NULL), m_nHoverTimer(0)
{
    m_cxLeftBorder = 3;
    m_cxRightBorder = 0;
    m_cyTopBorder = 0;
    m_cyBottomBorder = 1;
}

CSkinMenuBar::~CSkinMenuBar()
{
    // The window may outlive the handlers of this class: the frame must not
    // call into a bar that is gone.
    UnhookFrame();
    if (s_pTrackingBar == this)
        s_pTrackingBar = nullptr;
}

UINT CSkinMenuBar::GetMenuMessage()
{
    static const UINT s_nMessage = ::RegisterWindowMessageW(L"CSkinMenuBar::WM_GETMENU");
    return s_nMessage;
}

UINT CSkinMenuBar::RemoveMenuMessage()
{
    static const UINT s_nMessage = ::RegisterWindowMessageW(L"CSkinMenuBar::WM_REMOVEMENU");
    return s_nMessage;
}

BOOL CSkinMenuBar::Create(CWnd* pParent, DWORD dwStyle, UINT nID)
{
    const RECT rcBorders = {m_cxLeftBorder, m_cyTopBorder, m_cxRightBorder, m_cyBottomBorder};
    return CreateEx(pParent, 0, dwStyle, rcBorders, nID);
}

BOOL CSkinMenuBar::CreateEx(CWnd* pParent, DWORD dwCtrlStyle, DWORD dwStyle, const RECT& rcBorders, UINT nID)
{
    m_cxLeftBorder = rcBorders.left;
    m_cyTopBorder = rcBorders.top;
    m_cxRightBorder = rcBorders.right;
    m_cyBottomBorder = rcBorders.bottom;
    m_dwStyle = dwStyle & CBRS_ALL;
    if (nID == AFX_IDW_MENUBAR)
        m_dwStyle |= CBRS_HIDE_INPLACE;
    const wchar_t* pszClass = RegisterDefaultClass(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    if (pszClass == nullptr)
        return FALSE;
    return CWnd::CreateEx(0, pszClass, L"Menu Bar", dwCtrlStyle | (dwStyle & 0xFFBF0000), CRect(0, 0, 0, 0), pParent,
                          nID);
}

CSkinBarItem* CSkinMenuBar::GetItem(int nIndex) const
{
    return nIndex >= 0 && nIndex < GetItemCount() ? m_items[static_cast<size_t>(nIndex)].get() : nullptr;
}

BOOL CSkinMenuBar::TranslateFrameMessage(MSG* pMsg)
{
    // A hidden or empty bar leaves the keys to the frame and the system.
    if (pMsg == nullptr || m_hWnd == NULL || m_items.empty() || !IsWindowVisible())
        return FALSE;
    return m_keyboard.TranslateFrameMessage(pMsg);
}

bool CSkinMenuBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_CREATE:
        if (!CControlBar::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = DefWindowProc(nMsg, wParam, lParam);
        if (lResult != -1)
            lResult = OnCreate();
        return true;
    case WM_DESTROY:
        if (!CControlBar::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = DefWindowProc(nMsg, wParam, lParam);
        OnDestroy();
        return true;
    case WM_TIMER:
        OnTimer(wParam);
        lResult = 0;
        return true;
    case WM_NCPAINT:
        OnNcPaint();
        lResult = 0;
        return true;
    case WM_PAINT:
        OnPaint();
        lResult = 0;
        return true;
    case WM_ERASEBKGND:
        lResult = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove(PointOf(lParam));
        lResult = 0;
        return true;
    case WM_LBUTTONDOWN:
        OnLButtonDown(PointOf(lParam));
        lResult = 0;
        return true;
    case WM_LBUTTONUP:
        if (!OnLButtonUp(PointOf(lParam)))
            break;
        lResult = 0;
        return true;
    case WM_NCCALCSIZE:
        OnNcCalcSize(reinterpret_cast<RECT*>(lParam));
        lResult = 0;
        return true;
    case WM_NCHITTEST:
        lResult = HTCLIENT;
        return true;
    default:
        break;
    }
    return CControlBar::OnMessage(nMsg, wParam, lParam, lResult);
}

int CSkinMenuBar::OnCreate()
{
    if (KeepsUIState())
        SendMessage(WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL));
    HookFrame();
    return 0;
}

void CSkinMenuBar::OnDestroy()
{
    KillHoverTimer();
    UnhookFrame();
    m_items.clear();
}

void CSkinMenuBar::HookFrame()
{
    CFrameWnd* pFrame = GetParentFrame();
    if (pFrame == nullptr || !CSkinMenuBarSubclass::Hook(pFrame->m_hWnd, this, false))
        return;
    m_hFrame = pFrame->m_hWnd;
    HWND hClient = GetMdiClient();
    if (hClient != NULL && CSkinMenuBarSubclass::Hook(hClient, this, true))
        m_hMdiClient = hClient;
}

void CSkinMenuBar::UnhookFrame()
{
    if (m_hMdiClient != NULL && CSkinMenuBarSubclass::BarOf(m_hMdiClient) == this)
        CSkinMenuBarSubclass::Unhook(m_hMdiClient);
    if (m_hFrame != NULL && CSkinMenuBarSubclass::BarOf(m_hFrame) == this)
        CSkinMenuBarSubclass::Unhook(m_hFrame);
    m_hMdiClient = NULL;
    m_hFrame = NULL;
}

BOOL CSkinMenuBar::IsVerticalBar() const
{
    return (m_dwStyle & CBRS_ORIENT_VERT) != 0 && !IsFloating();
}

void CSkinMenuBar::DrawBorders(CDC*, CRect&)
{
}

void CSkinMenuBar::DrawGripper(CDC* pDC, const CRect& rect)
{
    if (!(m_dwStyle & CBRS_GRIPPER) || IsFloating())
        return;
    CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme();
    if (pTheme == nullptr)
    {
        CControlBar::DrawGripper(pDC, rect);
        return;
    }
    const RECT rcBorders = {m_cxLeftBorder, m_cyTopBorder, m_cxRightBorder, m_cyBottomBorder};
    pTheme->DrawGripper(pDC, rect, m_dwStyle, rcBorders);
}

void CSkinMenuBar::OnNcCalcSize(RECT* pRect)
{
    if (pRect == nullptr)
        return;
    CRect rcInside(0, 0, 0, 0);
    CalcInsideRect(rcInside, !IsVerticalBar());
    pRect->left += rcInside.left;
    pRect->top += rcInside.top;
    // A floating bar's frame draws the edges on the right and below.
    if (!IsFloating())
    {
        pRect->right += rcInside.right;
        pRect->bottom += rcInside.bottom;
    }
    pRect->right = std::max(pRect->left, pRect->right);
    pRect->bottom = std::max(pRect->top, pRect->bottom);
}

BOOL CSkinMenuBar::OnEraseBkgnd(HDC hDC)
{
    CRect rc;
    GetClientRect(rc);
    HBRUSH hBrush = BarBrushOf(*this);
    if (hBrush == NULL)
    {
        CDC dc;
        if (dc.Attach(hDC))
        {
            dc.FillSolidRect(rc, GetMenuBarColor(m_hMenu));
            dc.Detach();
        }
        return TRUE;
    }
    // A gradient brush runs on from the parent's edge, as the dock bar's does.
    CRect rcParent;
    POINT ptClient = {0, 0};
    ClientToScreen(&ptClient);
    ::GetWindowRect(::GetParent(m_hWnd), &rcParent);
    POINT ptOld;
    ::SetBrushOrgEx(hDC, rcParent.left - ptClient.x, 0, &ptOld);
    ::FillRect(hDC, &rc, hBrush);
    ::SetBrushOrgEx(hDC, ptOld.x, ptOld.y, nullptr);
    return TRUE;
}

void CSkinMenuBar::OnNcPaint()
{
    PaintBarNonClient(*this, [this](CDC& dc, const CRect& rcWindow) {
        if (HBRUSH hBrush = BarBrushOf(*this))
            dc.FillRect(rcWindow, hBrush);
        else
            dc.FillSolidRect(rcWindow, GetMenuBarColor(m_hMenu));
    });
}

void CSkinMenuBar::OnPaint()
{
    PAINTSTRUCT stPaint;
    HDC hDC = ::BeginPaint(m_hWnd, &stPaint);
    if (hDC == NULL)
        return;
    OnEraseBkgnd(hDC);
    BOOL bCues = TRUE;
    if (!::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &bCues, 0))
        bCues = TRUE;
    const bool bHideAccel = MenuBarHidesAccelerators(ToolkitEnvironment().nVersionClass, bCues, QueryUIState());
    const UINT nVertical = IsVerticalBar() ? MBS_VERTICAL : 0;
    CFont font;
    CDC dc;
    if (m_hFrame != NULL && CreateMenuFont(font, false, 0) && dc.Attach(hDC))
    {
        CSelectedObject selected(dc, font);
        for (auto& pItem : m_items)
        {
            pItem->m_nState = (pItem->m_nState & ~(MBS_NOACCEL | MBS_VERTICAL)) | (bHideAccel ? MBS_NOACCEL : 0) | nVertical;
            pItem->Draw(m_hFrame, hDC);
        }
    }
    dc.Detach();
    ::EndPaint(m_hWnd, &stPaint);
}

int CSkinMenuBar::HitTestItem(POINT pt) const
{
    const BOOL bVertical = IsVerticalBar();
    for (int i = GetItemCount() - 1; i >= 0; --i)
    {
        if (m_items[static_cast<size_t>(i)]->HitTest(pt, bVertical))
            return i;
    }
    return -1;
}

int CSkinMenuBar::ItemFromPoint(POINT ptScreen) const
{
    CRect rcWindow;
    GetWindowRect(rcWindow);
    if (!rcWindow.PtInRect(ptScreen))
        return -1;
    ScreenToClient(&ptScreen);
    return HitTestItem(ptScreen);
}

void CSkinMenuBar::InvalidateItem(int nIndex)
{
    if (CSkinBarItem* pItem = GetItem(nIndex); pItem != nullptr && m_hWnd != NULL)
    {
        RECT rc = pItem->GetItemRect(IsVerticalBar());
        InvalidateRect(&rc, FALSE);
    }
}

bool CSkinMenuBar::HasFocusInTopLevel() const
{
    HWND hFocus = ::GetFocus();
    HWND hTop = ::GetAncestor(m_hFrame != NULL ? m_hFrame : m_hWnd, GA_ROOT);
    return hFocus != NULL && (hFocus == hTop || ::IsChild(hTop, hFocus));
}

void CSkinMenuBar::OnMouseMove(POINT pt)
{
    POINT ptScreen = pt;
    ClientToScreen(&ptScreen);
    const POINT ptLast = m_keyboard.GetLastMousePoint();
    if (ptScreen.x == ptLast.x && ptScreen.y == ptLast.y)
        return;
    if (!HasFocusInTopLevel())
    {
        if (GetMode() != MENUBAR_MODE_NONE)
            m_keyboard.SetMenuState(-1, MENUBAR_MODE_NONE);
        KillHoverTimer();
        return;
    }
    m_keyboard.SetLastMousePoint(ptScreen);
    m_keyboard.ClearAltUsed();
    const int nIndex = HitTestItem(pt);
    if (nIndex >= 0)
    {
        if (GetMode() == MENUBAR_MODE_TRACKING)
        {
            OnLButtonDown(pt);
            return;
        }
        m_keyboard.SetMenuState(nIndex, MENUBAR_MODE_HOT);
        StartHoverTimer();
    }
    else if (GetMode() == MENUBAR_MODE_HOT)
    {
        m_keyboard.SetMenuState(-1, MENUBAR_MODE_NONE);
        KillHoverTimer();
    }
}

void CSkinMenuBar::OnLButtonDown(POINT pt)
{
    m_keyboard.SetPressedIndex(-1);
    const int nIndex = HitTestItem(pt);
    if (nIndex < 0)
    {
        m_keyboard.SetMenuState(-1, MENUBAR_MODE_NONE);
        return;
    }
    m_keyboard.TrackPopup(nIndex);
}

bool CSkinMenuBar::OnLButtonUp(POINT pt)
{
    const int nIndex = HitTestItem(pt);
    if (nIndex < 0 || ItemHasPopup(nIndex))
        return false;
    m_keyboard.SetMenuState(nIndex, MENUBAR_MODE_NONE);
    SendCommand(GetItemCommandId(nIndex));
    return true;
}

void CSkinMenuBar::OnTimer(UINT_PTR nID)
{
    if (nID != m_nHoverTimer || nID == 0)
        return;
    if (HasFocusInTopLevel())
    {
        const int nMode = GetMode();
        if (nMode == MENUBAR_MODE_NONE)
            KillHoverTimer();
        if (nMode != MENUBAR_MODE_HOT)
            return;
        POINT pt;
        CRect rcWindow;
        GetWindowRect(rcWindow);
        if (::GetCursorPos(&pt) && rcWindow.PtInRect(pt))
            return;
    }
    m_keyboard.SetMenuState(-1, MENUBAR_MODE_NONE);
    KillHoverTimer();
}

void CSkinMenuBar::StartHoverTimer()
{
    if (m_nHoverTimer == 0 && m_hWnd != NULL)
        m_nHoverTimer = SetFreeTimer(m_hWnd, HoverInterval);
}

void CSkinMenuBar::KillHoverTimer()
{
    if (m_nHoverTimer == 0)
        return;
    KillFreeTimer(m_hWnd, m_nHoverTimer);
    m_nHoverTimer = 0;
}

UINT CSkinMenuBar::GetItemCommandId(int nIndex) const
{
    CSkinBarItem* pItem = GetItem(nIndex);
    return pItem != nullptr ? pItem->GetCommandId() : 0;
}

UINT CSkinMenuBar::GetItemState(int nIndex) const
{
    CSkinBarItem* pItem = GetItem(nIndex);
    return pItem != nullptr ? pItem->m_nState : 0;
}

void CSkinMenuBar::SetItemState(int nIndex, UINT nState)
{
    CSkinBarItem* pItem = GetItem(nIndex);
    if (pItem == nullptr || pItem->m_nState == nState)
        return;
    pItem->m_nState = nState;
    InvalidateItem(nIndex);
}

BOOL CSkinMenuBar::ItemHasPopup(int nIndex) const
{
    CSkinBarItem* pItem = GetItem(nIndex);
    return pItem != nullptr && pItem->GetPopupMenu(m_hFrame) != NULL;
}

void CSkinMenuBar::CancelPopup()
{
    HWND hOwner = m_hPopupOwner != NULL ? m_hPopupOwner : m_hFrame;
    if (hOwner != NULL)
        ::PostMessageW(hOwner, WM_CANCELMODE, 0, 0);
}

void CSkinMenuBar::SendCommand(UINT nCommandId)
{
    if (m_hFrame != NULL)
        ::SendMessageW(m_hFrame, WM_COMMAND, nCommandId, reinterpret_cast<LPARAM>(m_hWnd));
}

bool CSkinMenuBar::IsKeyDown(int nVirtKey) const
{
    return ::GetKeyState(nVirtKey) < 0;
}

BOOL CSkinMenuBar::FrameHasAccelerator(UINT nVirtKey) const
{
    CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(CWnd::FromHandlePermanent(m_hFrame));
    HACCEL hAccel = pFrame != nullptr ? pFrame->GetDefaultAccelerator() : NULL;
    const int nCount = hAccel != NULL ? ::CopyAcceleratorTableW(hAccel, nullptr, 0) : 0;
    if (nCount <= 0)
        return FALSE;
    std::vector<ACCEL> entries(static_cast<size_t>(nCount));
    const int nCopied = ::CopyAcceleratorTableW(hAccel, entries.data(), nCount);
    for (int i = 0; i < nCopied && i < nCount; ++i)
    {
        const ACCEL& stEntry = entries[static_cast<size_t>(i)];
        if ((stEntry.fVirt & FVIRTKEY) && stEntry.key == nVirtKey && !(stEntry.fVirt & (FSHIFT | FCONTROL | FALT)))
            return TRUE;
    }
    return FALSE;
}

int CSkinMenuBar::FindMnemonic(wchar_t chKey) const
{
    CMenu* pMenu = CMenu::FromHandlePermanent(m_hMenu);
    const LRESULT lFound = pMenu != nullptr ? CSkinMenuHook::FindMenuMnemonic(chKey, 0, pMenu) : 0;
    return HIWORD(lFound) == MNC_EXECUTE ? static_cast<int>(LOWORD(lFound)) : -1;
}

void CSkinMenuBar::OnModeChange(int nOldMode, int nNewMode)
{
    if (m_hFrame != NULL)
        ApplyMenuModeUIState(nOldMode, nNewMode, ToolkitEnvironment().nVersionClass, *this);
}

DWORD CSkinMenuBar::QueryUIState() const
{
    return m_hFrame != NULL ? static_cast<DWORD>(::SendMessageW(m_hFrame, WM_QUERYUISTATE, 0, 0)) : 0;
}

void CSkinMenuBar::ChangeUIState(WPARAM wParam)
{
    if (m_hFrame != NULL)
        ::SendMessageW(m_hFrame, WM_CHANGEUISTATE, wParam, 0);
}
