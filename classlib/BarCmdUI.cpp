#include "classlib/BarCmdUI.h"

#include "classlib/StatusBar.h"
#include "classlib/ToolBar.h"

namespace
{
CToolBar* ToolBarOf(CWnd* pWnd)
{
    return dynamic_cast<CToolBar*>(pWnd);
}

CStatusBar* StatusBarOf(CWnd* pWnd)
{
    return dynamic_cast<CStatusBar*>(pWnd);
}
} // namespace

void CToolCmdUI::Enable(BOOL bOn)
{
    m_bEnableChanged = true;
    CToolBar* pBar = ToolBarOf(m_pOther);
    if (pBar == nullptr)
        return;
    UINT nOld = pBar->GetButtonStyle(static_cast<int>(m_nIndex));
    UINT nNew = bOn ? (nOld & ~TBBS_DISABLED) : (nOld | TBBS_DISABLED);
    // A button that goes disabled while pressed would stay drawn pressed.
    if (!bOn)
        nNew &= ~TBBS_PRESSED;
    if (nNew != nOld)
        pBar->SetButtonStyle(static_cast<int>(m_nIndex), nNew);
}

void CToolCmdUI::SetCheck(int nCheck)
{
    CToolBar* pBar = ToolBarOf(m_pOther);
    if (pBar == nullptr)
        return;
    UINT nOld = pBar->GetButtonStyle(static_cast<int>(m_nIndex));
    UINT nNew = nOld & ~(TBBS_CHECKED | TBBS_INDETERMINATE);
    if (nCheck == 1)
        nNew |= TBBS_CHECKED;
    else if (nCheck == 2)
        nNew |= TBBS_INDETERMINATE;
    if (nNew != nOld)
        pBar->SetButtonStyle(static_cast<int>(m_nIndex), nNew);
}

void CStatusCmdUI::Enable(BOOL bOn)
{
    m_bEnableChanged = true;
    CStatusBar* pBar = StatusBarOf(m_pOther);
    if (pBar == nullptr)
        return;
    UINT nStyle = pBar->GetPaneStyle(static_cast<int>(m_nIndex));
    pBar->SetPaneStyle(static_cast<int>(m_nIndex), bOn ? (nStyle & ~SBPS_DISABLED) : (nStyle | SBPS_DISABLED));
}

void CStatusCmdUI::SetCheck(int nCheck)
{
    CStatusBar* pBar = StatusBarOf(m_pOther);
    if (pBar == nullptr)
        return;
    UINT nStyle = pBar->GetPaneStyle(static_cast<int>(m_nIndex));
    pBar->SetPaneStyle(static_cast<int>(m_nIndex), nCheck ? (nStyle | SBPS_POPOUT) : (nStyle & ~SBPS_POPOUT));
}

void CStatusCmdUI::SetText(const wchar_t* pszText)
{
    if (CStatusBar* pBar = StatusBarOf(m_pOther))
        pBar->SetPaneText(static_cast<int>(m_nIndex), pszText);
}
