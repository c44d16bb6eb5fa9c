// CListViewSettingsHost: the settings windows' way to the program: sends go
// through the drive list view's connection, the program's options are the
// main frame's, the kept password and the welcome flag the view's.
#pragma once

#include "gui/SettingsHost.h"

class CDefragListView;
class CMainFrame;

class CListViewSettingsHost : public ISettingsHost
{
public:
    explicit CListViewSettingsHost(CDefragListView& view) : m_view(view) {}

    bool SendBareCommand(int32_t nCode) override;
    bool SendCommand(int32_t nCode, CNetDefragObject& object) override;
    bool GetAppOptions(stAppOptions& options) const override;
    void ApplyAppOptions(const stAppOptions& options) override;
    void ShowHelp(int nTopic) override;
    void KeepPassword(const CString& strPassword) override;
    void SetShowWelcomeScreen(bool bShow) override;

private:
    CMainFrame* Frame() const;

    CDefragListView& m_view;
};
