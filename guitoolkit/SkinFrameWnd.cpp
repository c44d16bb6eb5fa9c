#include "guitoolkit/SkinFrameWnd.h"

#include "guitoolkit/MenuBackground.h"

BOOL CSkinFrameWnd::Create(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle, const RECT& rc,
                           CWnd* pParent, const wchar_t* pszMenuName, DWORD dwExStyle, CCreateContext* pContext)
{
    if (pszMenuName != nullptr)
    {
        m_skinMenu.LoadMenu(pszMenuName);
        if (m_skinMenu.m_hMenu == NULL)
        {
            PostNcDestroy();
            return FALSE;
        }
    }
    // A failed creation has deleted the frame, and its menu object with it.
    if (!CreateWithMenu(pszClass, pszTitle, dwStyle, rc, pParent, m_skinMenu.m_hMenu, dwExStyle, pContext))
        return FALSE;
    UpdateMenuBackground(m_skinMenu.m_hMenu);
    return TRUE;
}
