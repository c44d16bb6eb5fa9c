// CWnd: one window object over one HWND. Messages reach the object through
// WindowProc and the OnMessage chain (each class handles what it knows and
// falls back to its base), then the window's own procedure. Objects created
// here are attached before the window's first message, also for system
// classes; notifications to a parent are first offered to the child.
#pragma once

#include "classlib/CmdTarget.h"
#include "classlib/Geometry.h"
#include "classlib/String.h"

#include <windows.h>

class CFrameWnd;
class CMenu;

class CWnd : public CCmdTarget
{
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to the window, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);
    // The attached object, else a wrapper that lives until the next idle time.
    static CWnd* FromHandle(HWND hWnd);
    // The message being handled on this thread.
    static const MSG* GetCurrentMessage();
    // The procedure of classes that this library registers itself.
    static LRESULT CALLBACK StandardWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    // A window class with this library's procedure, registered once per class
    // style; for hidden helper windows and simple popups.
    static const wchar_t* RegisterDefaultClass(UINT nClassStyle = 0, HCURSOR hCursor = NULL,
                                               HBRUSH hBackground = NULL, HICON hIcon = NULL);

    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Routes the window's messages through this object from now on.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();

    // On failure after the window got its first message, the window has gone
    // through WM_NCDESTROY and PostNcDestroy: a self-deleting object is gone
    // (WasDestroyedInCreation tells, right after the call).
    virtual BOOL CreateEx(DWORD dwExStyle, const wchar_t* pszClass, const wchar_t* pszName,
                          DWORD dwStyle, int x, int y, int cx, int cy, HWND hParent,
                          HMENU hMenuOrId, void* pParam = nullptr);
    BOOL CreateEx(DWORD dwExStyle, const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle,
                  const RECT& rc, CWnd* pParent, UINT nID, void* pParam = nullptr);
    virtual BOOL Create(const wchar_t* pszClass, const wchar_t* pszName, DWORD dwStyle,
                        const RECT& rc, CWnd* pParent, UINT nID);
    virtual BOOL DestroyWindow();
    static bool WasDestroyedInCreation(const CWnd* pWnd);
    // True while a message of this object is being handled on this thread.
    bool IsHandlingMessage() const;

    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
    virtual void PreSubclassWindow() {}
    // Called after the window's last message, once no message of this object
    // is still being handled; heap objects may delete themselves here.
    virtual void PostNcDestroy() {}
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    virtual LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // True when handled, with the answer in lResult.
    virtual bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    virtual LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // The window's own handling of the current message.
    LRESULT Default();

    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // A notification of this control, offered before its parent sees it.
    virtual BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    CWnd* GetParent() const;
    CFrameWnd* GetParentFrame() const;
    CFrameWnd* GetTopLevelFrame() const;
    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }

    LRESULT SendMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, nMsg, wParam, lParam);
    }
    BOOL PostMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, nMsg, wParam, lParam);
    }
    void SendMessageToDescendants(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0, BOOL bDeep = TRUE) const;

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL MoveWindow(const RECT& rc, BOOL bRepaint = TRUE)
    {
        return ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, bRepaint);
    }
    BOOL SetWindowPos(HWND hAfter, int x, int y, int cx, int cy, UINT nFlags)
    {
        return ::SetWindowPos(m_hWnd, hAfter, x, y, cx, cy, nFlags);
    }
    void GetClientRect(LPRECT pRect) const { ::GetClientRect(m_hWnd, pRect); }
    void GetWindowRect(LPRECT pRect) const { ::GetWindowRect(m_hWnd, pRect); }
    void ClientToScreen(LPPOINT pPoint) const { ::ClientToScreen(m_hWnd, pPoint); }
    void ScreenToClient(LPPOINT pPoint) const { ::ScreenToClient(m_hWnd, pPoint); }
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    void InvalidateRect(LPCRECT pRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, pRect, bErase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(LPCRECT pRect, HRGN hRgn, UINT nFlags) { return ::RedrawWindow(m_hWnd, pRect, hRgn, nFlags); }

    // The dialog controls among this window's children, by id.
    LRESULT SendDlgItemMessage(int nID, UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendDlgItemMessageW(m_hWnd, nID, nMsg, wParam, lParam);
    }
    BOOL CheckDlgButton(int nID, UINT nCheck) { return ::CheckDlgButton(m_hWnd, nID, nCheck); }
    UINT IsDlgButtonChecked(int nID) const { return ::IsDlgButtonChecked(m_hWnd, nID); }
    BOOL SetDlgItemText(int nID, const wchar_t* pszText) { return ::SetDlgItemTextW(m_hWnd, nID, pszText); }
    // False when there is no such control.
    bool GetDlgItemText(int nID, CString& str) const;
    BOOL SetDlgItemInt(int nID, UINT nValue, BOOL bSigned = TRUE)
    {
        return ::SetDlgItemInt(m_hWnd, nID, nValue, bSigned);
    }
    UINT GetDlgItemInt(int nID, BOOL* pbTranslated = nullptr, BOOL bSigned = TRUE) const
    {
        return ::GetDlgItemInt(m_hWnd, nID, pbTranslated, bSigned);
    }
    void SetRedraw(BOOL bRedraw = TRUE) { SendMessage(WM_SETREDRAW, bRedraw); }
    void SetWindowText(const wchar_t* pszText) { ::SetWindowTextW(m_hWnd, pszText); }
    void GetWindowText(CString& str) const;
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    void SetFont(HFONT hFont, BOOL bRedraw = TRUE)
    {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(hFont), bRedraw);
    }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    UINT_PTR SetTimer(UINT_PTR nID, UINT nElapse) { return ::SetTimer(m_hWnd, nID, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nID) { return ::KillTimer(m_hWnd, nID); }
    CMenu* GetMenu() const;
    BOOL SetMenu(CMenu* pMenu);
    BOOL DrawMenuBar() { return ::DrawMenuBar(m_hWnd); }

protected:
    // Offers a parent's notification to the child that sent it.
    static bool ReflectToChild(HWND hChild, UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    bool OnOwnerDrawMenu(UINT nMsg, LPARAM lParam, LRESULT& lResult);
    // The control a notification message comes from, or null.
    HWND ControlOfMessage(UINT nMsg, LPARAM lParam) const;

    WNDPROC m_pfnSuper;

private:
    friend class CCreationHookScope;

    void AttachForCreation(HWND hWnd);
    void DetachAfterNcDestroy();

    // The window went while a message of this object was still being handled
    // on the thread: PostNcDestroy comes when the outermost such message returns.
    bool m_bPostNcDestroyDue;
};

// A window factory, for code that creates windows of a class chosen at run time.
using WndFactory = CWnd* (*)();
