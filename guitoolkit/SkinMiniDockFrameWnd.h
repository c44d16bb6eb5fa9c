// CSkinMiniDockFrameWnd: the floating frame of docked bars, with skin menus
// like the toolkit's main frame.
#pragma once

#include "classlib/MiniDockFrameWnd.h"
#include "guitoolkit/SkinFrame.h"

class CSkinMiniDockFrameWnd : public CSkinFrame<CMiniDockFrameWnd>
{
public:
    static CMiniDockFrameWnd* CreateObject() { return new CSkinMiniDockFrameWnd; }
};
