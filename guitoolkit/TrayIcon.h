// CTrayIcon: one icon in the taskbar's notification area. It adds, removes,
// hides, shows and changes the icon, turns the icon's mouse notifications
// into the icon's popup menu (right button) or its default command (double
// click), and puts the icon back when the taskbar is made anew. Its own
// window is a hidden popup that only owns the icon.
#pragma once

#include "classlib/Wnd.h"

#include <shellapi.h>

#include <functional>

class CMenu;

class CTrayIcon : public CWnd
{
public:
    // The record's size the shell is given: the version 3 record, which every
    // shell since balloons and states reads.
    static constexpr DWORD RecordSize = 968;
    using NotifyFunction = std::function<BOOL(DWORD, NOTIFYICONDATAW*)>;

    CTrayIcon();
    ~CTrayIcon() override;

    // FALSE without a notification area or when the window cannot be made; a
    // failed add is no failure here: the icon waits to be added again. The
    // menu of the icon is the menu resource with the icon's id.
    BOOL Create(CWnd* pParent, UINT uCallbackMessage, const wchar_t* pszTip, HICON hIcon, UINT uID,
                BOOL bHidden = FALSE, const wchar_t* pszBalloonTip = nullptr, const wchar_t* pszBalloonTitle = nullptr,
                DWORD dwBalloonIcon = NIIF_NONE, UINT uBalloonTimeoutSeconds = 10);

    // TRUE when the icon is in the notification area afterwards.
    BOOL AddIcon();
    // TRUE when the icon is out of the notification area afterwards.
    BOOL RemoveIcon();
    // TRUE when the icon is visible afterwards.
    BOOL ShowIcon();
    // A hidden icon only keeps the picture for when it shows again.
    BOOL SetIcon(HICON hIcon);

    BOOL IsHidden() const { return m_bHidden; }
    BOOL IsRemoved() const { return m_bRemoved; }
    BOOL IsReAddWanted() const { return m_bReAddWanted; }
    const NOTIFYICONDATAW& GetRecord() const { return m_stRecord; }

    // The window that gets the menu's commands; null: the application's main window.
    void SetMenuTarget(CWnd* pTarget) { m_pMenuTarget = pTarget; }
    // The default item of the icon's menu, by position or by command.
    void SetMenuDefaultItem(UINT uItem, BOOL bByPos)
    {
        m_uDefaultMenuItem = uItem;
        m_bDefaultByPos = bByPos;
    }

    // The icon's mouse message; 0 when it is not this icon's or nobody takes it.
    virtual LRESULT OnIconNotify(WPARAM uID, LPARAM lEvent);
    // The icon's menu before it opens.
    virtual void PrepareMenu(CMenu* /*pMenu*/) {}

    LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    // The shell's call and what it can do; tests put a shell of their own here.
    NotifyFunction m_fnNotify;
    BOOL m_bEnabled;
    BOOL m_bStateSupport;

private:
    BOOL Notify(DWORD dwMessage);
    void OnTaskbarCreated();
    // The command of the menu's default item.
    UINT DefaultCommand() const;

    NOTIFYICONDATAW m_stRecord;
    BOOL m_bHidden = TRUE;
    BOOL m_bRemoved = TRUE;
    BOOL m_bReAddWanted = FALSE;
    CWnd* m_pMenuTarget = nullptr;
    UINT m_uDefaultMenuItem = 0;
    BOOL m_bDefaultByPos = TRUE;
    // The flags of the first add, which a re-add uses again.
    UINT m_uCreationFlags = 0;
};
