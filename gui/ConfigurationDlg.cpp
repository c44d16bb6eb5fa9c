#include "gui/ConfigurationDlg.h"

#include "gui/Md5HexDigest.h"
#include "gui/Resource.h"
#include "gui/ResourceText.h"
#include "gui/SettingsHost.h"

#include "classlib/DataExchange.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragSettingsLight.h"

#include <commctrl.h>

#include <initializer_list>
#include <iterator>
#include <utility>

namespace
{
constexpr int ApplicationPages[] = {0, 1};
constexpr UINT ApplicationTabs[] = {IDS_GENERAL, IDS_APPLICATION};
constexpr UINT ServiceTabs[] = {IDS_SERVICE_GENERAL, IDS_SERVICE_COMMUNICATION, IDS_SERVICE_DEFRAGMENTATION,
                                IDS_SERVICE_DIZEZEDUZ};
const std::initializer_list<UINT> ApplicationButtons = {
    IDC_CONFIG_STYLE_STANDARD, IDC_CONFIG_STYLE_SHADED,   IDC_CONFIG_STYLE_MODERN,
    IDC_CONFIG_SPLASH,         IDC_CONFIG_RUN_AT_STARTUP, IDC_CONFIG_START_MINIMIZED,
    IDC_CONFIG_TRAY_SHOW,      IDC_CONFIG_TRAY_CONTROL,   IDC_CONFIG_TRAY_ADMIN_ONLY};
const std::initializer_list<UINT> ServiceButtons = {
    IDC_CONFIG_AUTO_MONITORING, IDC_CONFIG_PAUSE_ON_BATTERY, IDC_CONFIG_REMOVABLE,      IDC_CONFIG_BOOTTIME,
    IDC_CONFIG_CHKDSK_MANUAL,   IDC_CONFIG_CHKDSK_PROACTIVE, IDC_CONFIG_IOGUARD_MANUAL, IDC_CONFIG_IOGUARD_PROACTIVE};
const std::initializer_list<UINT> ServiceEdits = {IDC_CONFIG_ADD_DRIVES, IDC_CONFIG_PASSWORD, IDC_CONFIG_IGNORE_DRIVES,
                                                  IDC_CONFIG_THRESHOLD};
// The controls that the rules for ticked boxes change.
const std::initializer_list<UINT> RuleButtons = {IDC_CONFIG_RUN_AT_STARTUP, IDC_CONFIG_START_MINIMIZED,
                                                 IDC_CONFIG_TRAY_SHOW, IDC_CONFIG_TRAY_CONTROL,
                                                 IDC_CONFIG_TRAY_ADMIN_ONLY};

// Positions within a page, in pixels of the tab's client area.
constexpr int FirstGroupTop = 0;
constexpr int GroupGap = 8;
constexpr int GroupWidthLess = 19;
constexpr int GroupInsetX = 10;
constexpr int GroupInsetY = 17;
constexpr int Indent = 16;
constexpr int EditWidth = 290;
constexpr int ThresholdLabelWidth = 260;
constexpr int ThresholdEditWidth = 40;
constexpr int ShadedRadioX = 100;
constexpr int ModernRadioX = 190;

} // namespace

CConfigurationDlg::CConfigurationDlg(ISettingsHost &host, CConfigModel::ElevationTest fnIsElevated)
    : CDialog(IDD_CONFIGURATION), m_host(host), m_model(std::move(fnIsElevated), PasswordDigest),
      m_nNextGroupTop(FirstGroupTop), m_bFirstInGroup(true), m_nIndent(0)
{
}

void CConfigurationDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CONFIG_TAB, m_wndTab);
}

BOOL CConfigurationDlg::OnInitDialog()
{
    BOOL bResult = CDialog::OnInitDialog();
    m_wndTab.UpdateBackgroundBrush();
    stAppOptions options;
    m_host.GetAppOptions(options);
    m_model.Reset(options);
    AddApplicationPages();
    return bResult;
}

void CConfigurationDlg::AddGroup(int nPage, UINT nID, UINT nTextId, int nHeight)
{
    RECT rcTab = {};
    m_wndTab.GetClientRect(&rcTab);
    m_wndTab.AddGroupBox(ResourceText(nTextId), nID, nPage, rcTab.right - GroupWidthLess, nHeight, 0, 0,
                         m_nNextGroupTop);
    m_nNextGroupTop += nHeight + GroupGap;
    m_bFirstInGroup = true;
    m_nIndent = 0;
}

void CConfigurationDlg::AddCheck(int nPage, UINT nID, UINT nTextId, int nIndent)
{
    const BOOL bChecked = m_model.IsChecked(nID);
    if (m_bFirstInGroup)
        m_wndTab.AddCheckBox(bChecked, ResourceText(nTextId), nID, nPage, TABLAYOUT_SAMELEFT | TABLAYOUT_SAMETOP,
                             GroupInsetX + nIndent, GroupInsetY);
    else
        m_wndTab.AddCheckBox(bChecked, ResourceText(nTextId), nID, nPage, TABLAYOUT_SAMELEFT | TABLAYOUT_NEXTLINE,
                             nIndent - m_nIndent, 0);
    m_bFirstInGroup = false;
    m_nIndent = nIndent;
}

void CConfigurationDlg::AddTextEdit(int nPage, UINT nID, UINT nCueId, bool bPassword)
{
    const DWORD dwFlags = TABLAYOUT_SAMELEFT | TABLAYOUT_SAMETOP;
    CWnd *pEdit =
        bPassword
            ? m_wndTab.AddPasswordEdit(m_model.GetText(nID), nID, nPage, dwFlags, GroupInsetX, GroupInsetY, EditWidth)
            : m_wndTab.AddEdit(m_model.GetText(nID), nID, nPage, dwFlags, GroupInsetX, GroupInsetY, EditWidth);
    // The grey hint needs version 6 of the common controls, which the
    // program's manifest asks for; without it the edit stays blank.
    if (pEdit != nullptr)
        pEdit->SendMessage(EM_SETCUEBANNER, FALSE,
                           reinterpret_cast<LPARAM>(static_cast<const wchar_t *>(ResourceText(nCueId))));
    m_bFirstInGroup = false;
}

void CConfigurationDlg::AddApplicationPages()
{
    for (int nPage : ApplicationPages)
        m_wndTab.InsertItem(nPage, ResourceText(ApplicationTabs[nPage]));

    m_nNextGroupTop = FirstGroupTop;
    AddGroup(0, IDC_CONFIG_GROUP_LOOK, IDS_LOOK_AND_FEEL, 42);
    m_wndTab.AddRadioButton(m_model.IsChecked(IDC_CONFIG_STYLE_STANDARD), ResourceText(IDS_STANDARD),
                            IDC_CONFIG_STYLE_STANDARD, 0, TABLAYOUT_SAMELEFT | TABLAYOUT_SAMETOP, GroupInsetX,
                            GroupInsetY, WS_GROUP);
    m_wndTab.AddRadioButton(m_model.IsChecked(IDC_CONFIG_STYLE_SHADED), ResourceText(IDS_SHADED),
                            IDC_CONFIG_STYLE_SHADED, 0, TABLAYOUT_SAMETOP, ShadedRadioX, 0, 0);
    m_wndTab.AddRadioButton(m_model.IsChecked(IDC_CONFIG_STYLE_MODERN), ResourceText(IDS_MODERN),
                            IDC_CONFIG_STYLE_MODERN, 0, TABLAYOUT_SAMETOP, ModernRadioX, 0, 0);
    AddGroup(0, IDC_CONFIG_GROUP_ADDITIONAL, IDS_ADDITIONAL_CONFIGURATION, 42);
    AddCheck(0, IDC_CONFIG_SPLASH, IDS_SHOW_SPLASH_SCREEN);

    m_nNextGroupTop = FirstGroupTop;
    AddGroup(1, IDC_CONFIG_GROUP_STARTUP, m_model.GetStartupGroupTextId(), 58);
    AddCheck(1, IDC_CONFIG_RUN_AT_STARTUP, IDS_RUN_AT_WINDOWS_STARTUP);
    AddCheck(1, IDC_CONFIG_START_MINIMIZED, IDS_START_MINIMIZED_TO_SYSTEM, Indent);
    AddGroup(1, IDC_CONFIG_GROUP_TRAY, IDS_TRAYICON, 76);
    AddCheck(1, IDC_CONFIG_TRAY_SHOW, IDS_SHOW_TRAY_ICON);
    AddCheck(1, IDC_CONFIG_TRAY_CONTROL, IDS_ALLOW_CONTROL_OF_DEFRAGMENTATION, Indent);
    AddCheck(1, IDC_CONFIG_TRAY_ADMIN_ONLY, IDS_ALLOW_THIS_ONLY_FOR, Indent);
    ShowStates(ApplicationButtons);
}

void CConfigurationDlg::AddServicePages()
{
    const int nFirst = CConfigModel::FirstServicePage;
    for (int nTab = 0; nTab < static_cast<int>(std::size(ServiceTabs)); ++nTab)
        m_wndTab.InsertItem(nFirst + nTab, ResourceText(ServiceTabs[nTab]));

    m_nNextGroupTop = FirstGroupTop;
    AddGroup(nFirst, IDC_CONFIG_GROUP_SERVICE, IDS_COMMON_SETTINGS_OF_THE, 76);
    AddCheck(nFirst, IDC_CONFIG_AUTO_MONITORING, IDS_START_PROACTIVE_DEFRAGMENTATION_AT);
    AddCheck(nFirst, IDC_CONFIG_PAUSE_ON_BATTERY, IDS_PAUSE_DEFRAGMENTATION_DURING_BATTERY);
    AddCheck(nFirst, IDC_CONFIG_REMOVABLE, IDS_ALLOW_DEFRAGMENTATION_OF_REMOVABLE);
    AddGroup(nFirst, IDC_CONFIG_GROUP_ADD_DRIVES, IDS_EXTENDED_DRIVE_LIST, 50);
    AddTextEdit(nFirst, IDC_CONFIG_ADD_DRIVES, IDS_CUE_EXTENDED_DRIVES, false);

    m_nNextGroupTop = FirstGroupTop;
    AddGroup(nFirst + 1, IDC_CONFIG_GROUP_PASSWORD, IDS_CONNECTION_PASSWORD, 52);
    AddTextEdit(nFirst + 1, IDC_CONFIG_PASSWORD, IDS_CUE_PASSWORD, true);

    m_nNextGroupTop = FirstGroupTop;
    AddGroup(nFirst + 2, IDC_CONFIG_GROUP_DEFRAG, IDS_DEFRAGMENTATION_CONFIGURATION, 76);
    AddCheck(nFirst + 2, IDC_CONFIG_BOOTTIME, IDS_PERFORM_BOOT_TIME_DEFRAGMENTATION);
    AddCheck(nFirst + 2, IDC_CONFIG_CHKDSK_MANUAL, IDS_RUN_CHKDSK_BEFORE_MANUAL);
    AddCheck(nFirst + 2, IDC_CONFIG_CHKDSK_PROACTIVE, IDS_RUN_CHKDSK_BEFORE_PROACTIVE);
    AddGroup(nFirst + 2, IDC_CONFIG_GROUP_IGNORE_DRIVES, IDS_EXCLUDE_DRIVES_FROM_PROACTIVE, 50);
    AddTextEdit(nFirst + 2, IDC_CONFIG_IGNORE_DRIVES, IDS_CUE_EXCLUDED_DRIVES, false);

    const int nLast = nFirst + 3;
    m_nNextGroupTop = FirstGroupTop;
    AddGroup(nLast, IDC_CONFIG_GROUP_IOGUARD, IDS_USE_DIZEZEDUZ, 106);
    AddCheck(nLast, IDC_CONFIG_IOGUARD_MANUAL, IDS_IN_MANUAL_MODE);
    AddCheck(nLast, IDC_CONFIG_IOGUARD_PROACTIVE, IDS_IN_PROACTIVE_MODE);
    m_wndTab.AddStatic(ResourceText(IDS_DISK_IDLE_PERCENTAGE_THRESHOLD), IDC_CONFIG_THRESHOLD_LABEL, nLast,
                       TABLAYOUT_SAMELEFT | TABLAYOUT_NEXTLINE, 0, GroupGap, ThresholdLabelWidth, 0);
    m_wndTab.AddEdit(m_model.GetText(IDC_CONFIG_THRESHOLD), IDC_CONFIG_THRESHOLD, nLast,
                     TABLAYOUT_RIGHTOF | TABLAYOUT_SAMETOP, 0, -2, ThresholdEditWidth);
    m_wndTab.AddStatic(ResourceText(IDS_PERCENT_SIGN), IDC_CONFIG_PERCENT, nLast, TABLAYOUT_RIGHTOF | TABLAYOUT_SAMETOP,
                       4, 2, 0, 0);
    ShowStates(ServiceButtons);
}

void CConfigurationDlg::DeleteServicePages()
{
    for (int nPage = CConfigModel::PageCount - 1; nPage >= CConfigModel::FirstServicePage; --nPage)
    {
        if (nPage < m_wndTab.GetItemCount())
            m_wndTab.DeletePageControls(nPage);
    }
}

void CConfigurationDlg::ResetApplicationTabs()
{
    if (m_hWnd == NULL)
        return;
    m_wndTab.SetActivePage(0);
    DeleteServicePages();
    stAppOptions options;
    const bool bHasFrame = m_host.GetAppOptions(options);
    m_model.Reset(options);
    if (!bHasFrame)
        return;
    ShowStates(ApplicationButtons);
    m_wndTab.SetDlgItemText(IDC_CONFIG_GROUP_STARTUP, ResourceText(m_model.GetStartupGroupTextId()));
}

void CConfigurationDlg::LoadServiceSettings(const CNetDefragSettingsLight2 &settings)
{
    if (m_hWnd == NULL)
        return;
    // A second answer without a reset in between replaces the pages it made.
    if (m_wndTab.GetActivePage() >= CConfigModel::FirstServicePage)
        m_wndTab.SetActivePage(0);
    DeleteServicePages();
    ReadControls();
    m_model.LoadService(settings);
    AddServicePages();
    ShowWindow(SW_SHOW);
}

void CConfigurationDlg::ShowStates(std::initializer_list<UINT> ids)
{
    for (UINT nID : ids)
    {
        HWND hControl = ::GetDlgItem(m_wndTab.m_hWnd, static_cast<int>(nID));
        if (hControl == NULL)
            continue;
        ::SendMessageW(hControl, BM_SETCHECK, m_model.IsChecked(nID) ? BST_CHECKED : BST_UNCHECKED, 0);
        ::EnableWindow(hControl, m_model.IsEnabled(nID));
    }
}

void CConfigurationDlg::ReadControls()
{
    auto exists = [this](UINT nID) { return ::GetDlgItem(m_wndTab.m_hWnd, static_cast<int>(nID)) != NULL; };
    for (UINT nID : ApplicationButtons)
        if (exists(nID))
            m_model.SetChecked(nID, m_wndTab.IsItemChecked(nID) != FALSE);
    for (UINT nID : ServiceButtons)
        if (exists(nID))
            m_model.SetChecked(nID, m_wndTab.IsItemChecked(nID) != FALSE);
    for (UINT nID : ServiceEdits)
        if (exists(nID))
            m_model.SetText(nID, m_wndTab.GetItemText(nID));
}

void CConfigurationDlg::OnItemClicked(UINT nID)
{
    m_model.OnItemClicked(nID, m_wndTab.IsItemChecked(nID) != FALSE);
    ShowStates(RuleButtons);
}

void CConfigurationDlg::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    ReadControls();
    stAppOptions options;
    if (m_host.GetAppOptions(options))
    {
        if (m_wndTab.GetItemCount() > CConfigModel::FirstServicePage)
        {
            CNetDefragSettingsLight2 settings;
            // Without a digest nothing goes out: an empty or half-made password
            // would lock everyone out of the service.
            if (!m_model.SaveService(settings))
                return;
            m_host.SendCommand(CMD_SET_SETTINGS, settings);
            if (m_model.IsPasswordTyped())
                m_host.KeepPassword(m_model.GetText(IDC_CONFIG_PASSWORD));
        }
        m_host.ApplyAppOptions(m_model.SaveApplication());
    }
    ShowWindow(SW_HIDE);
}

BOOL CConfigurationDlg::HandleCommand(UINT nID, int nCode, void *pExtra)
{
    if (nCode == CN_COMMAND && nID == IDHELP)
    {
        m_host.ShowHelp(CConfigModel::GetHelpTopic(m_wndTab.GetActivePage()));
        return TRUE;
    }
    return CDialog::HandleCommand(nID, nCode, pExtra);
}

bool CConfigurationDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT &lResult)
{
    if (nMsg == WM_TABCTRL_ITEMCLICKED)
    {
        OnItemClicked(static_cast<UINT>(wParam));
        lResult = 0;
        return true;
    }
    return CDialog::OnMessage(nMsg, wParam, lParam, lResult);
}
