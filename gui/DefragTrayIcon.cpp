#include "gui/DefragTrayIcon.h"

#include "gui/MainFrame.h"
#include "gui/Resource.h"

#include "classlib/String.h"
#include "guitoolkit/SkinMenu.h"

void CDefragTrayIcon::PrepareMenu(CMenu* pMenu)
{
    if (pMenu == nullptr)
        return;
    CString strText;
    strText.LoadString(m_frame.IsPaused() ? IDS_CONTINUE : IDS_PAUSE);
    // The item is owner-drawn from its record: a plain string change would
    // drop its themed look.
    if (auto* pSkinMenu = dynamic_cast<CSkinMenu*>(pMenu))
        pSkinMenu->SetItemText(ID_TRAY_PAUSE, strText);
    else
        ::ModifyMenuW(pMenu->m_hMenu, ID_TRAY_PAUSE, MF_BYCOMMAND | MF_STRING, ID_TRAY_PAUSE, strText);
    if (!m_frame.IsTrayControlAllowed())
        ::EnableMenuItem(pMenu->m_hMenu, ID_TRAY_PAUSE, MF_BYCOMMAND | MF_GRAYED);
}
