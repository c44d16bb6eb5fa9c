// CCreateContext: what a frame needs to make its client area when it is
// created: the class of the view, by its factory.
#pragma once

#include "classlib/Wnd.h"

struct CCreateContext
{
    // Makes the view object; null: the frame makes no view.
    WndFactory m_pNewViewClass = nullptr;
};
