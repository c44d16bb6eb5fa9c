// CFrameWnd: a top-level window with a menu, an accelerator table, an icon
// and a title from one resource id. Commands go to the active view first,
// then to the frame's own handlers, then to the application.
#pragma once

#include "classlib/Wnd.h"

// A frame-only style bit: the frame adds the document's name to its title.
// Frames without documents accept it and strip it.
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

class CFrameWnd : public CWnd
{
public:
    CFrameWnd() = default;

    // Menu, accelerators and icon of that id, and the title from the string
    // of that id (up to its first line break).
    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParent = nullptr);

    HACCEL GetDefaultAccelerator() const { return m_hAccelTable; }
    void SetAccelerators(HACCEL hAccel) { m_hAccelTable = hAccel; }
    // Null once the view's window is gone: a view may delete itself with it.
    CWnd* GetActiveView() const { return FromHandlePermanent(m_hActiveView); }
    // A view whose window exists.
    void SetActiveView(CWnd* pView) { m_hActiveView = pView != nullptr ? pView->m_hWnd : NULL; }

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    // Frames live on the heap and go with their window.
    void PostNcDestroy() override { delete this; }

protected:
    // Asks the update handlers of every command item in the popup.
    void UpdateMenuCommands(HMENU hPopup);

    HACCEL m_hAccelTable = NULL;
    // Kept by handle, so a view that went is never asked again.
    HWND m_hActiveView = NULL;
};
