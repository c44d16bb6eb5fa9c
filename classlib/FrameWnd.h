// CFrameWnd: a top-level window with a menu, an accelerator table, an icon
// and a title from one resource id. Commands go to the active view first,
// then to the frame's own handlers, then to the application. The frame lays
// out its control bars along its sides, docked in dock bars or floating in
// frames of their own, and gives the rest of its client area to the pane
// with the id AFX_IDW_PANE_FIRST.
#pragma once

#include "classlib/ControlBar.h"
#include "classlib/Wnd.h"

#include <vector>

class CControlBar;
class CDockBar;
class CMiniDockFrameWnd;
struct CCreateContext;

// A frame-only style bit: the frame adds the document's name to its title.
// Frames without documents accept it and strip it.
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

using DockBarFactory = CDockBar* (*)();
using MiniFrameFactory = CMiniDockFrameWnd* (*)();

class CFrameWnd : public CWnd
{
public:
    CFrameWnd() = default;

    // Menu, accelerators and icon of that id, and the title from the string
    // of that id (up to its first line break).
    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParent = nullptr, CCreateContext* pContext = nullptr);
    using CWnd::Create;
    // With the menu resource of that name (null: none); the context reaches
    // OnCreateClient.
    virtual BOOL Create(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle, const RECT& rc,
                        CWnd* pParent = nullptr, const wchar_t* pszMenuName = nullptr, DWORD dwExStyle = 0,
                        CCreateContext* pContext = nullptr);

    // CW_USEDEFAULT for place and size: the system chooses.
    static const RECT rectDefault;
    const CString& GetTitle() const { return m_strTitle; }
    void SetTitle(const wchar_t* pszTitle) { m_strTitle = pszTitle; }

    HACCEL GetDefaultAccelerator() const { return m_hAccelTable; }
    void SetAccelerators(HACCEL hAccel) { m_hAccelTable = hAccel; }
    // Null once the view's window is gone: a view may delete itself with it.
    CWnd* GetActiveView() const { return FromHandlePermanent(m_hActiveView); }
    // A view whose window exists.
    void SetActiveView(CWnd* pView) { m_hActiveView = pView != nullptr ? pView->m_hWnd : NULL; }

    // Tells every window of the frame's tree that the client area is made
    // (WM_INITIALUPDATE), makes the first pane's view active when none is,
    // and shows the frame when asked.
    void InitialUpdateFrame(BOOL bMakeVisible = TRUE);

    // Places the bars and the pane in the client area.
    virtual void RecalcLayout(BOOL bNotify = TRUE);
    // The frame's bar with that window id, docked, floating or neither.
    CControlBar* GetControlBar(UINT nID) const;
    // The layout follows at once, delayed or not.
    void ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL bDelay = FALSE);
    // Creates a dock bar for each side the style names, unless the side has
    // one, and lets bars float in plain floating frames; throws
    // CResourceException when a dock bar cannot be made.
    void EnableDocking(DWORD dwDockStyle);
    // The same with dock bars of the factory's class, the floating frames left as they are.
    void EnableDocking(DWORD dwDockStyle, DockBarFactory pfnNewDockBar);
    // Side by dock-bar id, 0 for the first side the bar accepts; with a
    // rectangle (screen) the bar joins the row at its middle, else it gets a
    // new row.
    void DockControlBar(CControlBar* pBar, UINT nDockBarID = 0, LPCRECT pRect = nullptr);
    // The bar floats, laid out horizontally, in a frame whose top-left corner is at the point (screen).
    void FloatControlBar(CControlBar* pBar, CPoint point);
    void AddControlBar(CControlBar* pBar);
    void RemoveControlBar(CControlBar* pBar);
    // The class of the frames bars float in.
    MiniFrameFactory m_pFloatingFrameClass = nullptr;

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    // Frames live on the heap and go with their window.
    void PostNcDestroy() override { delete this; }

protected:
    // Creates the window with the menu; on failure the frame is gone (its
    // PostNcDestroy ran) and a menu the window did not take is still the caller's.
    BOOL CreateWithMenu(const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle, const RECT& rc,
                        CWnd* pParent, HMENU hMenu, DWORD dwExStyle, CCreateContext* pContext);
    // Makes the client area at WM_CREATE; FALSE fails the creation.
    virtual BOOL OnCreateClient(LPCREATESTRUCTW pCreate, CCreateContext* pContext);
    // The context's view as a visible child with that id; null when it cannot.
    CWnd* CreateView(CCreateContext* pContext, UINT nID = AFX_IDW_PANE_FIRST);
    // Sends the size-parent pass to the children with ids in the range and
    // gives what is left to the child nIDLeftOver.
    void RepositionBars(UINT nIDFirst, UINT nIDLast, UINT nIDLeftOver);
    // Asks the update handlers of every command item in the popup.
    void UpdateMenuCommands(HMENU hPopup);

    HACCEL m_hAccelTable = NULL;
    // Kept by handle, so a view that went is never asked again.
    HWND m_hActiveView = NULL;
    // Every bar of the frame, docked or not, in creation order.
    std::vector<CControlBar*> m_listControlBars;
    CString m_strTitle;
    // A layout pass moves windows, whose WM_SIZE must not start another.
    bool m_bInRecalcLayout = false;

private:
    CDockBar* CanDock(CControlBar* pBar, UINT nDockBarID) const;
    // A floating frame left without bars goes.
    static void DestroyIfEmptyFloating(CDockBar* pDockBar);
};
