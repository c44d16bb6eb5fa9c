#include "gui/ListViewSettingsHost.h"

#include "gui/DefragListView.h"
#include "gui/MainFrame.h"

CMainFrame* CListViewSettingsHost::Frame() const
{
    return m_view.m_hWnd != NULL ? dynamic_cast<CMainFrame*>(m_view.GetTopLevelFrame()) : nullptr;
}

bool CListViewSettingsHost::SendBareCommand(int32_t nCode)
{
    return m_view.SendBareCommand(nCode);
}

bool CListViewSettingsHost::SendCommand(int32_t nCode, CNetDefragObject& object)
{
    return m_view.SendCommand(nCode, object);
}

bool CListViewSettingsHost::GetAppOptions(stAppOptions& options) const
{
    CMainFrame* pFrame = Frame();
    if (pFrame == nullptr)
        return false;
    options.nStyle = pFrame->GetStyle();
    options.bShowSplashScreen = m_view.GetViewFlags().bShowSplashScreen;
    options.bStartOnWindowsStart = pFrame->GetStartOnWindowsStart() != FALSE;
    options.bStartMinimized = pFrame->GetStartMinimized() != FALSE;
    options.nTrayIconMode = pFrame->GetTrayIconMode();
    return true;
}

void CListViewSettingsHost::ApplyAppOptions(const stAppOptions& options)
{
    CMainFrame* pFrame = Frame();
    if (pFrame == nullptr)
        return;
    pFrame->ApplyStyle(options.nStyle);
    m_view.SetShowSplashScreen(options.bShowSplashScreen);
    pFrame->SetRunAtStartup(options.bStartOnWindowsStart, options.bStartMinimized);
    pFrame->SetTrayIconMode(options.nTrayIconMode);
    pFrame->SaveSettings();
}

void CListViewSettingsHost::ShowHelp(int nTopic)
{
    if (CMainFrame* pFrame = Frame())
        pFrame->ShowHelp(nTopic);
}

void CListViewSettingsHost::KeepPassword(const CString& strPassword)
{
    m_view.SetPassword(strPassword);
}

void CListViewSettingsHost::SetShowWelcomeScreen(bool bShow)
{
    m_view.SetShowWelcomeScreen(bShow);
}
