// The window procedure of subclassed popup-menu windows: the theme lays out
// the non-client area and paints border, shadow and background around what
// the system paints itself.
#include "guitoolkit/SkinMenuHook.h"

#include "classlib/DC.h"
#include "guitoolkit/MenuHookData.h"
#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SkinMenu.h"

namespace
{
// The shadow reaches this far beyond the window.
constexpr int ScreenMargin = 10;

WNDPROC OldProcedure(HWND hWnd)
{
    return reinterpret_cast<WNDPROC>(::GetPropW(hWnd, OldProcProperty));
}

RECT ClientRectInWindow(HWND hWnd, const RECT& rcWindow)
{
    RECT rcClient = {};
    ::GetClientRect(hWnd, &rcClient);
    ::MapWindowPoints(hWnd, NULL, reinterpret_cast<POINT*>(&rcClient), 2);
    ::OffsetRect(&rcClient, -rcWindow.left, -rcWindow.top);
    return rcClient;
}

// Calls the procedure the popup had, saved before the subclassing may end.
LRESULT CallSaved(WNDPROC pfnOld, HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    return pfnOld != nullptr ? ::CallWindowProcW(pfnOld, hWnd, nMsg, wParam, lParam)
                             : ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
}
} // namespace

LRESULT CSkinMenuHook::CallOldProcedure(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    return CallSaved(OldProcedure(hWnd), hWnd, nMsg, wParam, lParam);
}

LRESULT CALLBACK CSkinMenuHook::PopupProcedure(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CMenuHookData* pData = FindHookData(hWnd);
    if (pData == nullptr)
        return CallOldProcedure(hWnd, nMsg, wParam, lParam);
    return OnPopupMessage(hWnd, *pData, nMsg, wParam, lParam);
}

LRESULT CSkinMenuHook::OnPopupMessage(HWND hWnd, CMenuHookData& data, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme();
    bool bThemed = data.m_bThemed && pTheme != nullptr;
    bool bOwnBorder = bThemed && pTheme->HasOwnBorder();
    WNDPROC pfnOld = OldProcedure(hWnd);
    switch (nMsg)
    {
    case WM_ERASEBKGND:
        if (bThemed)
        {
            if (bOwnBorder && !(data.m_nFlags & CMenuHookData::FlagPrinting) && !data.m_bPainted)
            {
                data.m_bPainted = TRUE;
                ::SendMessageW(hWnd, WM_NCPAINT, 1, 0);
            }
            CDC dc;
            if (dc.Attach(reinterpret_cast<HDC>(wParam)))
            {
                BOOL bPainted = pTheme->EraseBackground(hWnd, &dc);
                dc.Detach();
                if (bPainted)
                    return 1;
            }
        }
        break;
    case WM_SHOWWINDOW:
        if (wParam == 0)
        {
            UnsubclassPopup(hWnd);
            return CallSaved(pfnOld, hWnd, nMsg, wParam, lParam);
        }
        break;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    {
        WINDOWPOS* pPos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (nMsg == WM_WINDOWPOSCHANGING && pTheme != nullptr && pPos != nullptr)
        {
            pTheme->AdjustWindowPos(hWnd, pPos);
            // Once shown, the popup covers what its shadow is made of.
            if (bOwnBorder && (pPos->flags & SWP_SHOWWINDOW) && !::IsWindowVisible(hWnd))
                CaptureScreenUnder(data, {pPos->x, pPos->y, pPos->x + pPos->cx, pPos->y + pPos->cy});
        }
        OnWindowPosChanged(hWnd, data, pPos);
        return CallSaved(pfnOld, hWnd, nMsg, wParam, lParam);
    }
    case WM_NCDESTROY:
        UnsubclassPopup(hWnd);
        return CallSaved(pfnOld, hWnd, nMsg, wParam, lParam);
    case WM_NCCALCSIZE:
        // With wParam set the first rectangle of the parameters is the one to adjust.
        if (bThemed && lParam != 0)
            pTheme->CalcClientRect(hWnd, reinterpret_cast<LPRECT>(lParam));
        break;
    case WM_NCPAINT:
        if (bThemed)
            return OnNcPaint(hWnd, data, wParam, lParam);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            data.m_nFlags |= CMenuHookData::FlagEscape;
        SetKeyMessagePos(::GetMessagePos());
        break;
    case WM_PRINT:
        if (bOwnBorder)
            return OnPrint(hWnd, data, wParam, lParam);
        break;
    default:
        break;
    }
    return CallSaved(pfnOld, hWnd, nMsg, wParam, lParam);
}

void CSkinMenuHook::OnWindowPosChanged(HWND hWnd, CMenuHookData& data, const WINDOWPOS* pPos)
{
    if (pPos == nullptr || (pPos->flags & SWP_NOMOVE))
        return;
    POINT pt = {pPos->x, pPos->y};
    if (data.m_ptLast.x == 0 && data.m_ptLast.y == 0)
    {
        data.m_ptLast = pt;
        return;
    }
    if (pt.x == data.m_ptLast.x && pt.y == data.m_ptLast.y)
        return;
    if (pPos->flags & SWP_NOSIZE)
    {
        // Moved as it is: the screen under it is taken again at the next paint.
        data.m_ptLast = pt;
        data.m_screen.DeleteObject();
        return;
    }
    // Moved and resized at once: the system lays the menu out anew, and the
    // theme's layout would no longer fit it.
    UnsubclassPopup(hWnd);
}

void CSkinMenuHook::CaptureScreenUnder(CMenuHookData& data, const RECT& rc)
{
    if (data.m_screen.GetSafeHandle() != NULL || ::IsRectEmpty(&rc))
        return;
    int cx = rc.right - rc.left + ScreenMargin, cy = rc.bottom - rc.top + ScreenMargin;
    CDC screen, memory;
    if (!screen.Attach(::GetDC(NULL)))
        return;
    if (memory.CreateCompatibleDC(&screen) && data.m_screen.CreateCompatibleBitmap(&screen, cx, cy) &&
        memory.SelectObject(&data.m_screen) != NULL)
        memory.BitBlt(0, 0, cx, cy, &screen, rc.left, rc.top, SRCCOPY);
    memory.DeleteDC();
    ::ReleaseDC(NULL, screen.Detach());
}

LRESULT CSkinMenuHook::OnNcPaint(HWND hWnd, CMenuHookData& data, WPARAM wParam, LPARAM lParam)
{
    CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme();
    HRGN hRegion = reinterpret_cast<HRGN>(wParam);
    if (!data.m_bPainted && hRegion != CMenuHookData::NoRegion() && hRegion != NULL)
    {
        HRGN hCopy = ::CreateRectRgn(0, 0, 0, 0);
        if (hCopy != NULL && ::CombineRgn(hCopy, hRegion, NULL, RGN_COPY) != ERROR)
        {
            if (data.m_hSavedRegion != CMenuHookData::NoRegion() && data.m_hSavedRegion != NULL)
                ::DeleteObject(data.m_hSavedRegion);
            data.m_hSavedRegion = hCopy;
        }
        else if (hCopy != NULL)
            ::DeleteObject(hCopy);
    }
    if (!pTheme->HasOwnBorder())
        return CallOldProcedure(hWnd, WM_NCPAINT, wParam, lParam);
    RECT rcWindow = {};
    if (!data.m_bPainted)
    {
        if (::GetWindowRect(hWnd, &rcWindow))
            CaptureScreenUnder(data, rcWindow);
        return CallOldProcedure(hWnd, WM_NCPAINT, wParam, lParam);
    }
    CDC dc;
    if (!dc.Attach(::GetWindowDC(hWnd)))
        return CallOldProcedure(hWnd, WM_NCPAINT, wParam, lParam);
    pTheme->DrawBorder(hWnd, &dc, FALSE);
    RECT rcPaint = {};
    pTheme->GetPaintRect(hWnd, &rcPaint);
    ::InflateRect(&rcPaint, -1, -1);
    HRGN hPaint = ::CreateRectRgnIndirect(&rcPaint);
    if (hPaint != NULL)
    {
        CallOldProcedure(hWnd, WM_NCPAINT, reinterpret_cast<WPARAM>(hPaint), lParam);
        ::DeleteObject(hPaint);
    }
    pTheme->DrawBorder(hWnd, &dc, TRUE);
    ::ReleaseDC(hWnd, dc.Detach());
    return 0;
}

LRESULT CSkinMenuHook::OnPrint(HWND hWnd, CMenuHookData& data, WPARAM wParam, LPARAM lParam)
{
    CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme();
    RECT rcWindow = {};
    CDC target;
    if (!::GetWindowRect(hWnd, &rcWindow) || !target.Attach(reinterpret_cast<HDC>(wParam)))
        return CallOldProcedure(hWnd, WM_PRINT, wParam, lParam);
    int cx = rcWindow.right - rcWindow.left, cy = rcWindow.bottom - rcWindow.top;
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(&target) || !bitmap.CreateCompatibleBitmap(&target, cx, cy) ||
        memory.SelectObject(&bitmap) == NULL)
    {
        target.Detach();
        return CallOldProcedure(hWnd, WM_PRINT, wParam, lParam);
    }
    data.m_nFlags |= CMenuHookData::FlagPrinting;
    pTheme->DrawBorder(hWnd, &memory, FALSE);
    RECT rcPaint = {};
    pTheme->GetPaintRect(hWnd, &rcPaint);
    ::InflateRect(&rcPaint, -1, -1);
    ::OffsetRect(&rcPaint, -rcWindow.left, -rcWindow.top);
    int nSaved = memory.SaveDC();
    memory.IntersectClipRect(&rcPaint);
    CallOldProcedure(hWnd, WM_PRINT, reinterpret_cast<WPARAM>(memory.m_hDC), lParam & ~PRF_ERASEBKGND);
    memory.RestoreDC(nSaved);
    target.BitBlt(0, 0, cx, cy, &memory, 0, 0, SRCCOPY);

    RECT rcClient = ClientRectInWindow(hWnd, rcWindow);
    nSaved = memory.SaveDC();
    ::SetViewportOrgEx(memory.m_hDC, rcClient.left, rcClient.top, nullptr);
    RECT rcClip = {0, 0, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top};
    memory.IntersectClipRect(&rcClip);
    ::SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory.m_hDC), 0);
    ::SendMessageW(hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.m_hDC), lParam);
    memory.RestoreDC(nSaved);
    target.BitBlt(rcClient.left, rcClient.top, rcClip.right, rcClip.bottom, &memory, rcClient.left, rcClient.top,
                  SRCCOPY);
    data.m_nFlags &= ~CMenuHookData::FlagPrinting;
    memory.DeleteDC();
    target.Detach();
    return 0;
}
