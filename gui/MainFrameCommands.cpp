// The main frame's commands, closing and the tray.
#include "gui/MainFrame.h"

#include "gui/CommandTail.h"
#include "gui/Resource.h"

#include "classlib/CmdUI.h"
#include "protocol/NetDefragCommand.h"
#include "classlib/SplitterWnd.h"
#include "classlib/WinApp.h"
#include "guitoolkit/TrayAnimation.h"

BOOL CMainFrame::OnCmdMsg(UINT nID, int nCode, void* pExtra)
{
    // The frame keeps the pane keys: they would move between the outer and
    // the inner splitter, and the outer one never gets a window.
    if (nID == ID_NEXT_PANE || nID == ID_PREV_PANE)
        return nCode == CN_COMMAND || nCode == CN_UPDATE_COMMAND_UI;
    for (CWnd* pTarget : {static_cast<CWnd*>(&m_wndOuterSplitter), static_cast<CWnd*>(&m_wndInnerSplitter),
                          m_pListView})
    {
        if (pTarget != nullptr && pTarget->m_hWnd != NULL && pTarget->OnCmdMsg(nID, nCode, pExtra))
            return TRUE;
    }
    if (HandleCommand(nID, nCode, pExtra))
        return TRUE;
    CWinApp* pApp = CWinApp::GetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, nCode, pExtra);
}

BOOL CMainFrame::HandleCommand(UINT nID, int nCode, void* pExtra)
{
    if (nCode == CN_UPDATE_COMMAND_UI)
    {
        auto* pCmdUI = static_cast<CCmdUI*>(pExtra);
        if (nID == ID_TRAY_OPEN)
            pCmdUI->Enable(!IsWindowVisible());
        else if (nID == ID_TRAY_PAUSE)
            pCmdUI->Enable(IsTrayControlAllowed());
        else
            return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
        return TRUE;
    }
    if (nCode != CN_COMMAND)
        return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
    switch (nID)
    {
    case ID_HELP_CONTENTS:
        ShowHelp(-1);
        return TRUE;
    case ID_HELP_ONLINE_FAQ:
        OnOnlineFaq();
        return TRUE;
    case ID_HELP_SEARCH_UPDATES:
        OnSearchForUpdates();
        return TRUE;
    case ID_APP_EXIT:
        OnExit();
        return TRUE;
    case ID_TRAY_OPEN:
        OnTrayOpen();
        return TRUE;
    case ID_TRAY_PAUSE:
        OnTrayPause();
        return TRUE;
    default:
        return CSkinFrameWnd::HandleCommand(nID, nCode, pExtra);
    }
}

void CMainFrame::OnClose()
{
    if (m_bCloseWillExit || m_nTrayIconMode < 2)
        OnExit();
    else
        HideToTray();
}

bool CMainFrame::OnSysCommand(WPARAM nCommand)
{
    if ((nCommand & 0xFFF0) != SC_MINIMIZE || m_nTrayIconMode < 2)
        return false;
    HideToTray();
    return true;
}

void CMainFrame::HideToTray()
{
    AnimateToTray(m_hWnd, FALSE);
    TrimWorkingSet();
}

LRESULT CMainFrame::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    const UINT nEvent = LOWORD(lParam);
    if (nEvent == WM_LBUTTONDBLCLK && IsWindowVisible())
    {
        SetForegroundWindow();
        return 0;
    }
    // An icon without control takes no clicks; in mode 3 a non-administrator
    // may still open the window, and the menu withholds only Pause.
    if ((nEvent == WM_LBUTTONDBLCLK || nEvent == WM_RBUTTONUP) && m_nTrayIconMode == 1)
        return 0;
    return m_trayIcon.OnIconNotify(wParam, lParam);
}

BOOL CMainFrame::OnCopyData(const COPYDATASTRUCT* pData)
{
    // The other start brought this window out; one that asked to start
    // minimised wants it back in the tray. Anything else is not for us.
    if (pData == nullptr || pData->lpData == nullptr || pData->cbData < sizeof(wchar_t))
        return FALSE;
    if (AsksToStayHidden(CopyDataText(pData)) && m_nTrayIconMode >= 2)
        HideToTray();
    return TRUE;
}

void CMainFrame::OnTrayOpen()
{
    if (!IsWindowVisible())
        AnimateFromTray(m_hWnd, FALSE);
}

void CMainFrame::OnTrayPause()
{
    if (!IsTrayControlAllowed())
        return;
    // The flag follows the service only when the request went out: a
    // failed send would leave the menu offering to continue what never paused.
    if (ListSendBareCommand(m_bPaused ? CMD_CONTINUE : CMD_PAUSE))
        m_bPaused = !m_bPaused;
    m_wndToolBar.SetSizes(ToolButtonSize, ToolImageSize);
    if (m_pListView != nullptr && m_pListView->m_hWnd != NULL)
        m_wndStrategy.SetFont(m_pListView->GetFont());
    m_wndToolBar.Invalidate();
    m_wndToolBar.PostMessage(WM_SYSCOLORCHANGE);
}

void CMainFrame::OnExit()
{
    // A box's modal loop runs over the frame (the tray's Exit still reaches it):
    // the box is ended first, and the frame goes once that loop has returned,
    // never from under it.
    if (!::IsWindowEnabled(m_hWnd))
    {
        HWND hPopup = ::GetLastActivePopup(m_hWnd);
        if (hPopup != NULL && hPopup != m_hWnd)
            ::PostMessageW(hPopup, WM_CLOSE, 0, 0);
        PostMessage(WM_COMMAND, ID_APP_EXIT);
        return;
    }
    SaveSettings();
    ShowWindow(SW_HIDE);
    m_pListView = nullptr;
    m_pOutputView = nullptr;
    DestroyWindow();
}
