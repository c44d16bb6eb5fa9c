#include "gui/ConfigModel.h"

#include "gui/Resource.h"
#include "protocol/NetDefragSettingsLight.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace
{
// The service pages hold every control id in this range, the program's pages none.
constexpr UINT FirstServiceControl = IDC_CONFIG_GROUP_SERVICE;
constexpr UINT LastServiceControl = IDC_CONFIG_PERCENT;
// The service keeps its own value of a setting sent as this.
constexpr int32_t KeepServiceValue = -1;

CString FromWire(const CUnicodeString& str)
{
    return str.GetBuffer() != nullptr ? CString(str.GetBuffer(), str.GetLength()) : CString();
}

int32_t Bit(bool bSet, int32_t nBit)
{
    return bSet ? nBit : 0;
}
} // namespace

CConfigModel::CConfigModel(ElevationTest fnIsElevated, PasswordDigest fnDigest)
    : m_fnIsElevated(std::move(fnIsElevated)), m_fnDigest(std::move(fnDigest)), m_bServicePages(false),
      m_nStartupGroupTextId(IDS_STARTUP), m_nLoadedStyle(stAppOptions().nStyle)
{
}

void CConfigModel::Reset(const stAppOptions& options)
{
    m_controls.clear();
    m_bServicePages = false;
    m_strLoadedPassword.Empty();
    SetStyleRadios(options.nStyle);
    Set(IDC_CONFIG_SPLASH, options.bShowSplashScreen, true);
    SetTrayControls(options.nTrayIconMode);
    SetStartupControls(options);
}

void CConfigModel::SetStyleRadios(int nStyle)
{
    // A style the program does not know checks no radio rather than some other control.
    m_nLoadedStyle = nStyle;
    for (int nRadio = 0; nRadio <= IDC_CONFIG_STYLE_MODERN - IDC_CONFIG_STYLE_STANDARD; ++nRadio)
        Set(IDC_CONFIG_STYLE_STANDARD + nRadio, nRadio == nStyle, true);
}

void CConfigModel::SetTrayControls(int nTrayIconMode)
{
    Set(IDC_CONFIG_TRAY_SHOW, nTrayIconMode >= 1, true);
    Set(IDC_CONFIG_TRAY_CONTROL, nTrayIconMode >= 2, nTrayIconMode >= 1);
    Set(IDC_CONFIG_TRAY_ADMIN_ONLY, nTrayIconMode > 2, nTrayIconMode >= 2);
}

void CConfigModel::SetStartupControls(const stAppOptions& options)
{
    const bool bElevated = m_fnIsElevated && m_fnIsElevated();
    Set(IDC_CONFIG_RUN_AT_STARTUP, options.bStartOnWindowsStart, bElevated);
    Set(IDC_CONFIG_START_MINIMIZED, options.bStartMinimized, bElevated && options.bStartOnWindowsStart);
    m_nStartupGroupTextId = bElevated ? IDS_STARTUP : IDS_STARTUP_DISABLED;
    ApplyMinimizedStart();
}

void CConfigModel::ApplyMinimizedStart()
{
    if (IsChecked(IDC_CONFIG_START_MINIMIZED) && IsEnabled(IDC_CONFIG_START_MINIMIZED))
    {
        Set(IDC_CONFIG_TRAY_SHOW, true, false);
        Control(IDC_CONFIG_TRAY_CONTROL).bEnabled = true;
    }
    else
    {
        Control(IDC_CONFIG_TRAY_SHOW).bEnabled = true;
    }
}

void CConfigModel::LoadService(const CNetDefragSettingsLight2& settings)
{
    EraseServiceControls();
    m_bServicePages = true;
    Set(IDC_CONFIG_AUTO_MONITORING, settings.m_nDisableAutoMonitoring == 0, true);
    Set(IDC_CONFIG_PAUSE_ON_BATTERY, settings.m_nPauseOnBattery != 0, true);
    Set(IDC_CONFIG_REMOVABLE, settings.m_nUseRemovableDisks != 0, true);
    SetText(IDC_CONFIG_ADD_DRIVES, FromWire(settings.m_strAddDrivesManually));
    m_strLoadedPassword = FromWire(settings.m_strPassword);
    SetText(IDC_CONFIG_PASSWORD, m_strLoadedPassword);
    Set(IDC_CONFIG_BOOTTIME, settings.m_nUseBoottimeDefrag != 0, true);
    Set(IDC_CONFIG_CHKDSK_MANUAL, (settings.m_nRunChkDskBeforeDefrag & 2) != 0, true);
    Set(IDC_CONFIG_CHKDSK_PROACTIVE, (settings.m_nRunChkDskBeforeDefrag & 1) != 0, true);
    SetText(IDC_CONFIG_IGNORE_DRIVES, FromWire(settings.m_strIgnoreMonitoringDrives));
    Set(IDC_CONFIG_IOGUARD_MANUAL, (settings.m_nUseIOGuard & 1) != 0, true);
    Set(IDC_CONFIG_IOGUARD_PROACTIVE, (settings.m_nUseIOGuard & 2) != 0, true);
    CString strThreshold;
    strThreshold.Format(L"%u", static_cast<unsigned>(settings.m_nIOGuardMinIdlePercentage));
    SetText(IDC_CONFIG_THRESHOLD, strThreshold);
}

void CConfigModel::EraseServiceControls()
{
    m_controls.erase(m_controls.lower_bound(FirstServiceControl), m_controls.upper_bound(LastServiceControl));
    m_strLoadedPassword.Empty();
}

bool CConfigModel::IsChecked(UINT nID) const
{
    auto it = m_controls.find(nID);
    return it != m_controls.end() && it->second.bChecked;
}

bool CConfigModel::IsEnabled(UINT nID) const
{
    auto it = m_controls.find(nID);
    return it == m_controls.end() || it->second.bEnabled;
}

CString CConfigModel::GetText(UINT nID) const
{
    auto it = m_controls.find(nID);
    return it != m_controls.end() ? it->second.strText : CString();
}

void CConfigModel::Set(UINT nID, bool bChecked, bool bEnabled)
{
    stControlState& state = Control(nID);
    state.bChecked = bChecked;
    state.bEnabled = bEnabled;
}

void CConfigModel::SetChecked(UINT nID, bool bChecked)
{
    Control(nID).bChecked = bChecked;
}

void CConfigModel::SetText(UINT nID, const CString& strText)
{
    Control(nID).strText = strText;
}

void CConfigModel::OnItemClicked(UINT nID, bool bChecked)
{
    SetChecked(nID, bChecked);
    ApplyRule(nID, bChecked);
}

void CConfigModel::ApplyRule(UINT nID, bool bChecked)
{
    switch (nID)
    {
    case IDC_CONFIG_TRAY_SHOW:
        FollowParent(IDC_CONFIG_TRAY_CONTROL, bChecked);
        if (!bChecked)
            FollowParent(IDC_CONFIG_TRAY_ADMIN_ONLY, false);
        break;
    case IDC_CONFIG_TRAY_CONTROL:
        FollowParent(IDC_CONFIG_TRAY_ADMIN_ONLY, bChecked);
        break;
    case IDC_CONFIG_RUN_AT_STARTUP:
        FollowParent(IDC_CONFIG_START_MINIMIZED, bChecked);
        ApplyMinimizedStart();
        break;
    case IDC_CONFIG_START_MINIMIZED:
        ApplyMinimizedStart();
        break;
    default:
        break;
    }
}

void CConfigModel::FollowParent(UINT nChild, bool bParentChecked)
{
    if (bParentChecked)
        Control(nChild).bEnabled = true;
    else
        Set(nChild, false, false);
}

stAppOptions CConfigModel::SaveApplication() const
{
    stAppOptions options;
    options.nStyle = m_nLoadedStyle;
    for (int nRadio = 0; nRadio <= IDC_CONFIG_STYLE_MODERN - IDC_CONFIG_STYLE_STANDARD; ++nRadio)
        if (IsChecked(IDC_CONFIG_STYLE_STANDARD + nRadio))
            options.nStyle = nRadio;
    options.bShowSplashScreen = IsChecked(IDC_CONFIG_SPLASH);
    options.bStartOnWindowsStart = IsChecked(IDC_CONFIG_RUN_AT_STARTUP);
    options.bStartMinimized = IsChecked(IDC_CONFIG_START_MINIMIZED);
    options.nTrayIconMode = SavedTrayIconMode();
    return options;
}

int CConfigModel::SavedTrayIconMode() const
{
    if (IsChecked(IDC_CONFIG_TRAY_ADMIN_ONLY))
        return 3;
    if (IsChecked(IDC_CONFIG_TRAY_CONTROL))
        return 2;
    // A greyed minimized start is not the user's choice and does not bring the icon back.
    const bool bMinimizedStart = IsChecked(IDC_CONFIG_START_MINIMIZED) && IsEnabled(IDC_CONFIG_START_MINIMIZED);
    return IsChecked(IDC_CONFIG_TRAY_SHOW) || bMinimizedStart ? 1 : 0;
}

bool CConfigModel::SaveService(CNetDefragSettingsLight2& settings) const
{
    settings = CNetDefragSettingsLight2();
    CString strPassword;
    if (!SavedPassword(strPassword))
        return false;
    settings.m_strPassword = strPassword.GetString();
    settings.m_nDefaultPort = KeepServiceValue;
    settings.m_nMoveModifiedFilesToEnd = KeepServiceValue;
    settings.m_nDisableAutoMonitoring = IsChecked(IDC_CONFIG_AUTO_MONITORING) ? 0 : 1;
    settings.m_nPauseOnBattery = IsChecked(IDC_CONFIG_PAUSE_ON_BATTERY) ? 1 : 0;
    settings.m_nUseRemovableDisks = IsChecked(IDC_CONFIG_REMOVABLE) ? 1 : 0;
    settings.m_strAddDrivesManually = GetText(IDC_CONFIG_ADD_DRIVES).GetString();
    settings.m_nUseBoottimeDefrag = IsChecked(IDC_CONFIG_BOOTTIME) ? 1 : 0;
    settings.m_nRunChkDskBeforeDefrag =
        Bit(IsChecked(IDC_CONFIG_CHKDSK_MANUAL), 2) + Bit(IsChecked(IDC_CONFIG_CHKDSK_PROACTIVE), 1);
    settings.m_strIgnoreMonitoringDrives = GetText(IDC_CONFIG_IGNORE_DRIVES).GetString();
    settings.m_nUseIOGuard =
        Bit(IsChecked(IDC_CONFIG_IOGUARD_MANUAL), 1) + Bit(IsChecked(IDC_CONFIG_IOGUARD_PROACTIVE), 2);
    settings.m_nIOGuardMinIdlePercentage = SavedThreshold();
    return true;
}

int CConfigModel::SavedThreshold() const
{
    // Read like atol, but the service takes only a percentage.
    const long nValue = std::wcstol(GetText(IDC_CONFIG_THRESHOLD), nullptr, 10);
    return static_cast<int>(std::clamp<long>(nValue, 0, MaxThreshold));
}

bool CConfigModel::SavedPassword(CString& strPassword) const
{
    // The field shows the stored digest; digesting it again would change the
    // password to one nobody knows.
    const CString strText = GetText(IDC_CONFIG_PASSWORD);
    if (strText == m_strLoadedPassword || strText.IsEmpty())
    {
        strPassword = strText;
        return true;
    }
    return m_fnDigest && m_fnDigest(strText, strPassword);
}

bool CConfigModel::IsPasswordTyped() const
{
    const CString strText = GetText(IDC_CONFIG_PASSWORD);
    return m_bServicePages && !strText.IsEmpty() && strText != m_strLoadedPassword;
}
