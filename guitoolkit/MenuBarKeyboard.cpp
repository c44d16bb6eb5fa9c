#include "guitoolkit/MenuBarKeyboard.h"

#include "guitoolkit/SkinMenuBarLayout.h"

#include <cwctype>
#include <vector>

namespace
{
// Bit 29 of a key message's lParam: Alt was down when the key went down.
constexpr LPARAM KEY_ALT_CONTEXT = 1 << 29;

// The bits an item takes while it is the hot item of each mode.
UINT ModeBits(int nMode)
{
    switch (nMode)
    {
    case MENUBAR_MODE_TRACKING:
        return MBS_SELECTED | MBS_PRESSED;
    case MENUBAR_MODE_HOT:
        return MBS_HOT;
    default:
        return 0;
    }
}
// A key-down carries a virtual-key code, not a character: the numeric pad and
// F1-F16 have the codes of '`' and the lower-case letters, which would pass as
// letters and be swallowed in menu mode.
bool IsMnemonicKey(WPARAM nVirtKey)
{
    if (nVirtKey >= VK_NUMPAD0 && nVirtKey <= 0x7F)
        return false;
    return std::iswalnum(static_cast<wint_t>(nVirtKey)) != 0;
}
} // namespace

CMenuBarKeyboard::CMenuBarKeyboard(CMenuBarHost& host)
    : m_host(host), m_nMode(MENUBAR_MODE_NONE), m_bPopupIsTop(FALSE), m_bItemWithoutPopup(FALSE),
      m_bSwitchRequested(FALSE), m_bAltUsed(FALSE), m_nHotIndex(-1), m_nSelectedIndex(-1),
      m_ptLastMouse{0, 0}, m_nPressedIndex(-1)
{
}

bool CMenuBarKeyboard::IsValidIndex(int nIndex) const
{
    return nIndex >= 0 && nIndex < m_host.GetItemCount();
}

int CMenuBarKeyboard::NextItem(int nFrom, bool bForward) const
{
    const int nCount = m_host.GetItemCount();
    std::vector<stBarNavItem> items(static_cast<size_t>(nCount > 0 ? nCount : 0));
    for (int i = 0; i < nCount; ++i)
        items[i] = {m_host.GetItemCommandId(i), m_host.GetItemState(i)};
    return ::NextItem(items.data(), nCount, nFrom, bForward);
}

void CMenuBarKeyboard::SetMenuState(int nIndex, int nMode)
{
    if (nMode != m_nMode)
        m_host.OnModeChange(m_nMode, nMode);
    m_nMode = nMode;
    const UINT nVertical = m_host.IsVerticalBar() ? MBS_VERTICAL : 0;
    if (IsValidIndex(m_nHotIndex))
    {
        const UINT nOld = m_host.GetItemState(m_nHotIndex);
        m_host.SetItemState(m_nHotIndex,
                            (nOld & ~(MBS_VERTICAL | MBS_PRESSED | MBS_HOT | MBS_SELECTED)) | nVertical);
    }
    m_nHotIndex = nIndex;
    if (IsValidIndex(nIndex))
    {
        const UINT nOld = m_host.GetItemState(nIndex);
        m_host.SetItemState(nIndex, (nOld & ~(MBS_PRESSED | MBS_HOT | MBS_SELECTED)) | ModeBits(nMode) | nVertical);
    }
    m_nSelectedIndex = nIndex;
}

void CMenuBarKeyboard::OnMenuSelect(BOOL bPopupIsTop, BOOL bItemWithoutPopup)
{
    m_bItemWithoutPopup = bItemWithoutPopup;
    m_bPopupIsTop = bPopupIsTop;
}

BOOL CMenuBarKeyboard::TrackPopup(int nIndex)
{
    if (m_bSwitchRequested)
        return TRUE;
    if (!IsValidIndex(nIndex))
        return TRUE;
    for (;;)
    {
        m_nSelectedIndex = nIndex;
        if (!m_host.ItemHasPopup(nIndex))
        {
            SetMenuState(nIndex, m_nMode == MENUBAR_MODE_TRACKING ? MENUBAR_MODE_TRACKING : MENUBAR_MODE_HOT);
            m_host.StartHoverTimer();
            return FALSE;
        }
        SetMenuState(nIndex, MENUBAR_MODE_TRACKING);
        m_bPopupIsTop = FALSE;
        m_bItemWithoutPopup = FALSE;
        if (!m_host.ShowPopup(nIndex))
        {
            // The program is quitting: no further popup, and nothing stays hot.
            m_bSwitchRequested = FALSE;
            SetMenuState(-1, MENUBAR_MODE_NONE);
            return FALSE;
        }
        if (m_bSwitchRequested && IsValidIndex(m_nSelectedIndex) && m_nMode == MENUBAR_MODE_TRACKING)
        {
            m_bSwitchRequested = FALSE;
            nIndex = m_nSelectedIndex;
            continue;
        }
        m_bSwitchRequested = FALSE;
        SetMenuState(m_nSelectedIndex, m_nMode == MENUBAR_MODE_TRACKING ? MENUBAR_MODE_NONE : m_nMode);
        return TRUE;
    }
}

bool CMenuBarKeyboard::IsMenuKey(const MSG* pMsg) const
{
    if (pMsg->wParam == VK_MENU)
        return true;
    if (pMsg->wParam != VK_F10 || m_host.IsKeyDown(VK_SHIFT) || m_host.IsKeyDown(VK_CONTROL)
        || (pMsg->lParam & KEY_ALT_CONTEXT) != 0)
        return false;
    // A frame that binds F10 to a command of its own keeps it; Alt still
    // enters menu mode there.
    return !m_host.FrameHasAccelerator(VK_F10);
}

BOOL CMenuBarKeyboard::TranslateFrameMessage(const MSG* pMsg)
{
    const UINT nMsg = pMsg->message;
    if (nMsg != WM_KEYDOWN && nMsg != WM_SYSKEYDOWN && nMsg != WM_SYSKEYUP)
        return FALSE;
    if (IsMenuKey(pMsg))
    {
        if (nMsg != WM_SYSKEYUP)
            return TRUE;
        if (m_nMode == MENUBAR_MODE_HOT)
            SetMenuState(-1, MENUBAR_MODE_NONE);
        else if (m_bAltUsed)
            m_bAltUsed = FALSE;
        else
            SetMenuState(0, MENUBAR_MODE_HOT);
        return TRUE;
    }
    if (nMsg == WM_SYSKEYUP)
        return FALSE;
    if (m_nMode != MENUBAR_MODE_NONE && OnNavigationKey(static_cast<UINT>(pMsg->wParam)))
        return TRUE;
    return OnMnemonic(pMsg);
}

BOOL CMenuBarKeyboard::OnNavigationKey(UINT nVirtKey)
{
    const bool bVertical = m_host.IsVerticalBar() != FALSE;
    const UINT nPrev = bVertical ? VK_UP : VK_LEFT;
    const UINT nNext = bVertical ? VK_DOWN : VK_RIGHT;
    const UINT nOpenA = bVertical ? VK_LEFT : VK_UP;
    const UINT nOpenB = bVertical ? VK_RIGHT : VK_DOWN;
    const int nSelected = m_nSelectedIndex;
    const bool bHasPopup = IsValidIndex(nSelected) && m_host.ItemHasPopup(nSelected);

    if (nVirtKey == VK_RETURN || nVirtKey == VK_SPACE)
    {
        if (IsValidIndex(nSelected) && !bHasPopup)
        {
            SetMenuState(nSelected, MENUBAR_MODE_NONE);
            m_host.SendCommand(m_host.GetItemCommandId(nSelected));
        }
        else if (nVirtKey == VK_SPACE)
            TrackPopup(nSelected);
        return TRUE;
    }
    if (nVirtKey == VK_ESCAPE)
    {
        SetMenuState(-1, MENUBAR_MODE_NONE);
        return TRUE;
    }
    if (nVirtKey == nPrev || nVirtKey == nNext)
    {
        const int nIndex = NextItem(nSelected, nVirtKey == nNext);
        if (nIndex < 0)
            return TRUE;
        if (m_nMode == MENUBAR_MODE_TRACKING)
            TrackPopup(nIndex);
        else
            SetMenuState(nIndex, MENUBAR_MODE_HOT);
        return TRUE;
    }
    if (nVirtKey == nOpenA || nVirtKey == nOpenB)
    {
        TrackPopup(nSelected);
        return TRUE;
    }
    return FALSE;
}

BOOL CMenuBarKeyboard::OnMnemonic(const MSG* pMsg)
{
    const bool bAlt = (pMsg->lParam & KEY_ALT_CONTEXT) != 0 || m_host.IsKeyDown(VK_MENU);
    if (!bAlt && m_nMode != MENUBAR_MODE_HOT)
        return FALSE;
    if (!IsMnemonicKey(pMsg->wParam))
        return FALSE;
    const int nPos = m_host.FindMnemonic(static_cast<wchar_t>(pMsg->wParam));
    if (nPos >= 0)
    {
        const int nIndex = nPos + (m_host.IsChildMaximized() ? 1 : 0);
        m_nSelectedIndex = nIndex;
        TrackPopup(nIndex);
        return TRUE;
    }
    return m_nMode == MENUBAR_MODE_HOT && !bAlt;
}

void CMenuBarKeyboard::SelectForSwitch(int nIndex)
{
    m_host.CancelPopup();
    m_nSelectedIndex = nIndex;
    m_bSwitchRequested = TRUE;
}

BOOL CMenuBarKeyboard::FilterMenuMessage(const MSG* pMsg)
{
    switch (pMsg->message)
    {
    case WM_KEYDOWN:
        if ((pMsg->wParam == VK_LEFT && m_bPopupIsTop) || (pMsg->wParam == VK_RIGHT && m_bItemWithoutPopup))
        {
            const int nIndex = NextItem(m_nSelectedIndex, pMsg->wParam == VK_RIGHT);
            if (nIndex < 0)
                return FALSE;
            SelectForSwitch(nIndex);
            return TRUE;
        }
        return FALSE;
    case WM_SYSKEYDOWN:
        m_bAltUsed = TRUE;
        return FALSE;
    case WM_MOUSEMOVE:
    {
        // Every new popup gets one move at the pointer's place; only a real
        // move may switch, or the popups would bounce.
        const POINT pt = pMsg->pt;
        if (pt.x != m_ptLastMouse.x || pt.y != m_ptLastMouse.y)
        {
            const int nIndex = m_host.ItemFromPoint(pt);
            if (nIndex >= 0 && nIndex != m_nSelectedIndex)
                SelectForSwitch(nIndex);
            m_ptLastMouse = pt;
        }
        return FALSE;
    }
    case WM_LBUTTONDOWN:
    {
        const int nIndex = m_host.ItemFromPoint(pMsg->pt);
        if (nIndex < 0)
            return FALSE;
        if (nIndex != m_nSelectedIndex)
            SelectForSwitch(nIndex);
        m_nPressedIndex = m_nSelectedIndex;
        return TRUE;
    }
    case WM_LBUTTONUP:
    {
        const int nIndex = m_host.ItemFromPoint(pMsg->pt);
        if (nIndex < 0 || nIndex != m_nPressedIndex)
            return FALSE;
        m_host.CancelPopup();
        m_nMode = MENUBAR_MODE_HOT;
        m_bSwitchRequested = FALSE;
        return TRUE;
    }
    default:
        return FALSE;
    }
}
