#include "guitoolkit/ListBase.h"

#include "guitoolkit/LabelTipCtrl.h"

#include <windowsx.h>

namespace
{
// Tips stay above the list's window when that one is topmost.
void FollowTopmost(CWnd* pTip, bool bTopmost)
{
    if (pTip == nullptr || pTip->m_hWnd == NULL || ((pTip->GetExStyle() & WS_EX_TOPMOST) != 0) == bTopmost)
        return;
    pTip->SetWindowPos(bTopmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
} // namespace

void CListBase::TrackMouseLeave()
{
    if (m_bTrackingLeave || m_pListWnd == nullptr || m_pListWnd->m_hWnd == NULL)
        return;
    TRACKMOUSEEVENT stTrack = {sizeof(stTrack), TME_LEAVE, m_pListWnd->m_hWnd, 0};
    m_bTrackingLeave = ::TrackMouseEvent(&stTrack) != FALSE;
}

void CListBase::ClearTipTracking()
{
    m_nTipItem = -1;
    m_nTipSubItem = -1;
    m_nTipPart = 0;
    m_strLabelText.clear();
    m_strInfoText.clear();
    if (m_pLabelTip && m_pLabelTip->m_hWnd != NULL)
    {
        m_pLabelTip->Activate(FALSE);
        m_pLabelTip->UpdateTipText(L"", m_pListWnd);
    }
    if (m_pInfoTip && m_pInfoTip->m_hWnd != NULL)
        m_pInfoTip->Activate(FALSE);
    m_bLabelTipActive = false;
}

void CListBase::SetHotItem(int nItem)
{
    if (nItem == m_nHotItem)
        return;
    int nOld = m_nHotItem;
    m_nHotItem = nItem;
    bool bEmulated = IsOwnerDrawn() && (m_dwExStyle & HotStyles);
    if (bEmulated)
    {
        m_hCurrentCursor = nItem >= 0 ? m_hHandCursor : m_hArrowCursor;
        if (m_hCurrentCursor != NULL)
            ::SetCursor(m_hCurrentCursor);
    }
    if (IsOwnerDrawn())
        for (int n : {nOld, nItem})
            if (n >= 0)
                Send(LVM_REDRAWITEMS, n, n);
}

bool CListBase::FindLabelTip(int nItem, int nColumn, std::wstring& strText, CRect& rcLabel) const
{
    if (!IsColumnVisible(nColumn))
        return false;
    bool bLabelColumn = nColumn == GetLabelColumn();
    rcLabel.top = bLabelColumn ? PhysicalOf(nColumn) : nColumn;
    rcLabel.left = bLabelColumn ? LVIR_LABEL : LVIR_BOUNDS;
    bool bFound = bLabelColumn ? PassOn(LVM_GETSUBITEMRECT, nItem, reinterpret_cast<LPARAM>(&rcLabel)) != 0
                               : const_cast<CListBase*>(this)->OnGetSubItemRect(nItem, reinterpret_cast<LPARAM>(&rcLabel)) != 0;
    if (!bFound)
        return false;
    strText = GetCellText(nItem, nColumn);
    if (strText.empty())
        return false;
    int nMargins = 2 * (bLabelColumn ? LabelMargin : CellMargin);
    int nTextWidth = static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(strText.c_str())));
    // A clipped text shows whole in the tip.
    return rcLabel.Width() < nTextWidth + nMargins;
}

bool CListBase::GetTrackedLabelRect(CRect& rcLabel, bool& bLabelColumn) const
{
    if (m_nTipItem < 0 || m_nTipSubItem < 0 || m_nTipPart == 0)
        return false;
    std::wstring strText;
    FindLabelTip(m_nTipItem, m_nTipSubItem, strText, rcLabel);
    if (rcLabel.IsRectEmpty())
        return false;
    bLabelColumn = m_nTipSubItem == GetLabelColumn();
    ::MapWindowPoints(m_pListWnd->m_hWnd, NULL, reinterpret_cast<POINT*>(&rcLabel), 2);
    return true;
}

void CListBase::OnMouseMove(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    HWND hList = m_pListWnd->m_hWnd;
    bool bTopmost = (::GetWindowLongPtrW(::GetAncestor(hList, GA_ROOT), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    FollowTopmost(m_pInfoTip.get(), bTopmost);
    FollowTopmost(m_pLabelTip.get(), bTopmost);
    if (::GetActiveWindow() == NULL)
    {
        ClearTipTracking();
        return;
    }
    POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    CRect rcClient;
    m_pListWnd->GetClientRect(rcClient);
    LVHITTESTINFO stHit = {};
    stHit.pt = pt;
    if (rcClient.PtInRect(pt))
    {
        TrackMouseLeave();
        OnHitTest(LVM_SUBITEMHITTEST, reinterpret_cast<LPARAM>(&stHit));
        SetHotItem(stHit.iItem >= 0 && (stHit.flags & LVHT_ONITEM) ? stHit.iItem : -1);
        if (m_bSorting)
            return;
    }
    if (!rcClient.PtInRect(pt) || stHit.iItem < 0 || stHit.iSubItem < 0)
    {
        ClearTipTracking();
        return;
    }
    // The shown tip lies over the cell: moving onto it is no move off the item.
    POINT ptScreen = pt;
    RECT rcTip;
    ::ClientToScreen(hList, &ptScreen);
    if (m_bLabelTipActive && stHit.iItem == m_nTipItem && m_pLabelTip->IsWindowVisible() &&
        ::GetWindowRect(m_pLabelTip->m_hWnd, &rcTip) && ::PtInRect(&rcTip, ptScreen))
        return;
    if (stHit.iItem != m_nTipItem || stHit.iSubItem != m_nTipSubItem || stHit.flags != m_nTipPart)
    {
        m_strLabelText.clear();
        if (m_bInfoTip)
        {
            if (stHit.iItem != m_nTipItem)
                m_strInfoText = GetItemToolTipText(stHit.iItem);
            else
                m_strInfoText.clear();
        }
        CRect rcLabel;
        std::wstring strText;
        if (m_bLabelTip && (stHit.flags & LVHT_ONITEMLABEL) && FindLabelTip(stHit.iItem, stHit.iSubItem, strText, rcLabel))
            m_strLabelText = strText;
        m_nTipItem = stHit.iItem;
        m_nTipSubItem = stHit.iSubItem;
        m_nTipPart = stHit.flags;
    }
    MSG stMsg = {hList, nMsg, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), pt};
    ::ClientToScreen(hList, &stMsg.pt);
    if (m_pLabelTip && m_pLabelTip->m_hWnd != NULL)
    {
        m_bLabelTipActive = !m_strLabelText.empty();
        m_pLabelTip->UpdateTipText(m_strLabelText.c_str(), m_pListWnd);
        m_pLabelTip->Activate(m_bLabelTipActive);
        if (m_bLabelTipActive)
            m_pLabelTip->RelayEvent(&stMsg);
    }
    if (m_pInfoTip && m_pInfoTip->m_hWnd != NULL)
    {
        bool bInfo = !m_strInfoText.empty();
        m_pInfoTip->UpdateTipText(m_strInfoText.c_str(), m_pListWnd);
        m_pInfoTip->Activate(bInfo);
        if (bInfo)
            m_pInfoTip->RelayEvent(&stMsg);
    }
}
