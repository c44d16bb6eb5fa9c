// CDefragTrayIcon: the program's tray icon, whose menu offers "Pause" or
// "Continue" as the main frame's paused flag says.
#pragma once

#include "guitoolkit/TrayIcon.h"

#include <utility>

class CMainFrame;

class CDefragTrayIcon : public CTrayIcon
{
public:
    explicit CDefragTrayIcon(const CMainFrame& frame) : m_frame(frame) {}

    void PrepareMenu(CMenu* pMenu) override;
    // The shell's call; tests answer for it.
    void SetNotifyFunction(NotifyFunction fnNotify) { m_fnNotify = std::move(fnNotify); }

private:
    const CMainFrame& m_frame;
};
