// CSkinFrameWnd: the frame window of the toolkit, with its menu as a skin
// menu loaded at creation and painted in the current theme's background.
#pragma once

#include "classlib/FrameWnd.h"
#include "guitoolkit/SkinFrame.h"

class CSkinFrameWnd : public CSkinFrame<CFrameWnd>
{
public:
    static CSkinFrameWnd* CreateObject() { return new CSkinFrameWnd; }

    using CFrameWnd::Create;
    // A menu name that does not load fails the creation (the frame is gone).
    BOOL Create(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle, const RECT& rc,
                CWnd* pParent = nullptr, const wchar_t* pszMenuName = nullptr, DWORD dwExStyle = 0,
                CCreateContext* pContext = nullptr) override;
};
