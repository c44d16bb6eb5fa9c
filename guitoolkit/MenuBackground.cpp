#include "guitoolkit/MenuBackground.h"

#include "guitoolkit/SkinBrushList.h"
#include "guitoolkit/SkinMenu.h"

void UpdateMenuBackground(HMENU hMenu)
{
    HBRUSH hBrush = GetMenuBrush();
    // Multiple-document templates would share their menus here; the frames
    // of this program have none.
    if (hBrush == NULL || dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hMenu)) == nullptr)
        return;
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    stInfo.hbrBack = hBrush;
    ::SetMenuInfo(hMenu, &stInfo);
}
