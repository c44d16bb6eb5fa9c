// CSkinMenuHook: the one object, alive for the whole program, that finds out
// the environment, binds the optional system libraries, makes the twelve
// menu themes and, through a thread hook on the GUI thread, subclasses the
// system's popup-menu windows of skin menus so that the current theme lays
// out and paints their border, shadow and background.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

class CMenu;
class CMenuHookData;
class CMenuTheme;

class CSkinMenuHook
{
public:
    // Throws std::bad_alloc when the hook cannot be installed.
    CSkinMenuHook();
    ~CSkinMenuHook();
    CSkinMenuHook(const CSkinMenuHook&) = delete;
    CSkinMenuHook& operator=(const CSkinMenuHook&) = delete;

    // Subclasses a "#32768" window of a skin menu; TRUE when it did so now.
    // hCreateMenu: the menu its creation data names, or null.
    static BOOL SubclassPopup(HWND hWnd, BOOL bShown, HMENU hCreateMenu = NULL);
    static void UnsubclassPopup(HWND hWnd);
    static CMenuHookData* FindHookData(HWND hWnd);
    static size_t GetHookDataCount();
    // A menu about to open in a popup whose window cannot tell it yet.
    static void SetPendingMenu(HMENU hMenu);
    // Where the message was when a key was last pressed in a popup.
    static DWORD GetKeyMessagePos();

    // The WM_MENUCHAR answer for a skin menu: execute the first item whose
    // text has "&" and the character, or 0.
    static LRESULT FindMenuMnemonic(wchar_t chKey, UINT nFlags, CMenu* pMenu);
    // Draws one owner-drawn item of a frame's own menu bar through the
    // frame's WM_DRAWITEM; FALSE when it has no rectangle or is not owner-drawn.
    static BOOL PaintMenuBarItem(HWND hFrame, HMENU hMenu, int nPos, UINT nState);

    const std::vector<CMenuTheme*>& GetThemes() const { return m_themeList; }

private:
    static LRESULT CALLBACK HookProcedure(int nCode, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PopupProcedure(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT OnPopupMessage(HWND hWnd, CMenuHookData& data, UINT nMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT OnNcPaint(HWND hWnd, CMenuHookData& data, WPARAM wParam, LPARAM lParam);
    static LRESULT OnPrint(HWND hWnd, CMenuHookData& data, WPARAM wParam, LPARAM lParam);
    static void OnWindowPosChanged(HWND hWnd, CMenuHookData& data, const WINDOWPOS* pPos);
    // Once per popup: the screen under the window rectangle and beyond.
    static void CaptureScreenUnder(CMenuHookData& data, const RECT& rc);
    static void SetKeyMessagePos(DWORD dwPos);
    static LRESULT CallOldProcedure(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    void DetectEnvironment();
    void BindLibraries();
    void CreateThemes();
    // Themes, libraries and icon stores go; the hook is the caller's.
    void Release();

    static std::map<HWND, std::unique_ptr<CMenuHookData>>& HookDataMap();

    std::vector<std::unique_ptr<CMenuTheme>> m_themes;
    std::vector<CMenuTheme*> m_themeList;
    HHOOK m_hHook = NULL;
    HMODULE m_hUxTheme = NULL;
    HMODULE m_hMsimg = NULL;
};
