// CWinThread: the message loop of a GUI thread. Every message is first offered
// to the PreTranslateMessage of its window and that window's parents up to the
// main window; when the queue runs dry the thread does its idle work.
#pragma once

#include "classlib/CmdTarget.h"

#include <windows.h>

class CWnd;

// Sent to the main window and its descendants at idle time, so bars and panes
// refresh the state of their commands.
constexpr UINT WM_IDLEUPDATECMDUI = 0x0363;

class CWinThread : public CCmdTarget
{
public:
    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance() { return TRUE; }
    // Returns the program's exit code: the WM_QUIT code.
    virtual int ExitInstance() { return static_cast<int>(m_stLastMsg.wParam); }
    virtual int Run();
    // Takes one message and handles it; FALSE on WM_QUIT.
    BOOL PumpMessage();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // TRUE when more idle work is wanted.
    virtual BOOL OnIdle(LONG lCount);
    // FALSE for a message after which the idle work need not run again.
    virtual BOOL IsIdleMessage(MSG* pMsg);

    // A window that sees keyboard and mouse messages of this thread before the
    // window they are meant for (a splash that closes on any input). Null
    // ends it, and so does the end of the window.
    static void SetInputPreview(CWnd* pWnd);
    static CWnd* GetInputPreview();
    // Offers the message to hWnd's object and its parents' objects, up to and including hStop.
    static BOOL WalkPreTranslateTree(HWND hStop, MSG* pMsg);

protected:
    MSG m_stLastMsg = {};

private:
    // The last mouse move seen: the system repeats it without movement.
    POINT m_ptCursorLast = {-1, -1};
    UINT m_nMsgLast = 0;
};
