// The menu bar's subclassing of its frame and of an MDI client: a map from
// the window to its bar and the procedure it had before. The bar cannot use
// the class library's subclassing, since the frame already has its object.
#pragma once

#include <windows.h>

class CSkinMenuBar;

class CSkinMenuBarSubclass
{
public:
    // Routes the window's messages to the bar's frame or MDI client
    // procedure; FALSE when the window cannot be subclassed or has a bar.
    static BOOL Hook(HWND hWnd, CSkinMenuBar* pBar, bool bMdiClient);
    // Gives the window its procedure back. When someone subclassed it after
    // the bar, the bar's procedure stays in their chain and only passes on.
    static void Unhook(HWND hWnd);
    static CSkinMenuBar* BarOf(HWND hWnd);
    // The procedure the window had before the bar's.
    static WNDPROC PreviousOf(HWND hWnd);
    static LRESULT CallPrevious(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
};
