// CSkinMenuBar: the dockable bar that shows a frame's menu as buttons drawn by
// the current menu theme. The dock bars give it a row of its own.
#pragma once

#include "classlib/ControlBar.h"

class CSkinMenuBar : public CControlBar
{
};
