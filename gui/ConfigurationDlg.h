// CConfigurationDlg: the modeless, tabbed settings dialog. Its first two
// pages hold the program's own options; the four service pages exist only
// while the service's settings are loaded. Every page control lives on the
// tab control; the decisions are the window-less configuration model's.
#pragma once

#include "gui/ConfigModel.h"

#include "classlib/Dialog.h"
#include "guitoolkit/MyTabCtrl.h"

#include <initializer_list>

class CNetDefragSettingsLight2;
class ISettingsHost;

class CConfigurationDlg : public CDialog
{
public:
    CConfigurationDlg(ISettingsHost& host, CConfigModel::ElevationTest fnIsElevated);

    // Selects the first page, drops the service pages and shows the program's
    // options as the main frame holds them.
    void ResetApplicationTabs();
    // Adds the service pages, filled from the service's answer.
    void LoadServiceSettings(const CNetDefragSettingsLight2& settings);

    CMyTabCtrl& GetTabCtrl() { return m_wndTab; }

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    BOOL HandleCommand(UINT nID, int nCode, void* pExtra) override;

private:
    void AddApplicationPages();
    void AddServicePages();
    void DeleteServicePages();
    // A group box at the page's next free row; the controls of the group
    // follow it.
    void AddGroup(int nPage, UINT nID, UINT nTextId, int nHeight);
    void AddCheck(int nPage, UINT nID, UINT nTextId, int nIndent = 0);
    void AddTextEdit(int nPage, UINT nID, UINT nCueId, bool bPassword);
    // The model's state of each of these controls shown on the tab.
    void ShowStates(std::initializer_list<UINT> ids);
    // The controls read back into the model.
    void ReadControls();
    void OnItemClicked(UINT nID);

    CMyTabCtrl m_wndTab;
    ISettingsHost& m_host;
    CConfigModel m_model;
    // The top of the next group box on the page being built, below the tab row.
    int m_nNextGroupTop;
    // Whether the next control is the first of its group.
    bool m_bFirstInGroup;
    int m_nIndent;
};
