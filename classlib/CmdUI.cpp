#include "classlib/CmdUI.h"

#include "classlib/CmdTarget.h"
#include "classlib/Menu.h"
#include "classlib/String.h"

void CCmdUI::Enable(BOOL bOn)
{
    if (m_pMenu != nullptr)
        m_pMenu->EnableMenuItem(m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : MF_GRAYED));
    m_bEnableChanged = true;
}

void CCmdUI::SetCheck(int nCheck)
{
    if (m_pMenu != nullptr)
        m_pMenu->CheckMenuItem(m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetRadio(BOOL bOn)
{
    if (m_pMenu == nullptr)
        return;
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_FTYPE | MIIM_STATE;
    if (!::GetMenuItemInfoW(m_pMenu->m_hMenu, m_nIndex, TRUE, &stInfo))
        return;
    stInfo.fType = bOn ? (stInfo.fType | MFT_RADIOCHECK) : (stInfo.fType & ~MFT_RADIOCHECK);
    stInfo.fState = bOn ? (stInfo.fState | MFS_CHECKED) : (stInfo.fState & ~MFS_CHECKED);
    ::SetMenuItemInfoW(m_pMenu->m_hMenu, m_nIndex, TRUE, &stInfo);
}

void CCmdUI::SetText(const wchar_t* pszText)
{
    if (m_pMenu == nullptr || pszText == nullptr)
        return;
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_STRING;
    stInfo.dwTypeData = const_cast<wchar_t*>(pszText);
    ::SetMenuItemInfoW(m_pMenu->m_hMenu, m_nIndex, TRUE, &stInfo);
}

bool CCmdUI::DoUpdate(CCmdTarget* pTarget)
{
    if (pTarget == nullptr || m_nID == 0)
        return false;
    return pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this) != FALSE;
}
