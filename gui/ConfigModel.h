// CConfigModel: the configuration dialog without windows. It holds the state
// of every page control by id, fills the controls from the program's options
// and from the service's settings, keeps the controls consistent as boxes are
// ticked, and turns the controls back into options and settings for OK.
#pragma once

#include "classlib/String.h"

#include <windows.h>

#include <functional>
#include <map>

class CNetDefragSettingsLight2;

// The program's own options that the first two pages show; the main frame
// keeps them under HKCU.
struct stAppOptions
{
    int nStyle = 2;  // 0 Standard, 1 Shaded, 2 Modern
    bool bShowSplashScreen = true;
    bool bStartOnWindowsStart = true;
    bool bStartMinimized = true;
    int nTrayIconMode = 2;  // 0 no icon, 1 icon, 2 icon with control, 3 control for administrators
};

class CConfigModel
{
public:
    static constexpr int FirstServicePage = 2;
    static constexpr int PageCount = 6;
    static constexpr int FirstHelpTopic = 232;
    static constexpr int MaxThreshold = 100;

    // True when this process may change the start-up entry.
    using ElevationTest = std::function<bool()>;
    // The wire's digest of a typed password; false when none could be made.
    using PasswordDigest = std::function<bool(const CString& strText, CString& strDigest)>;

    CConfigModel(ElevationTest fnIsElevated, PasswordDigest fnDigest);

    // Drops the service pages and sets the program's own controls afresh.
    void Reset(const stAppOptions& options);
    // Makes the service pages and fills them from the service's answer.
    void LoadService(const CNetDefragSettingsLight2& settings);
    bool HasServicePages() const { return m_bServicePages; }

    // A control of a page that does not exist reads as unchecked, enabled and empty.
    bool IsChecked(UINT nID) const;
    bool IsEnabled(UINT nID) const;
    CString GetText(UINT nID) const;
    // The start-up group's caption, which says why its options are greyed.
    UINT GetStartupGroupTextId() const { return m_nStartupGroupTextId; }

    // The controls as the dialog reads them before OK.
    void SetChecked(UINT nID, bool bChecked);
    void SetText(UINT nID, const CString& strText);
    // A hosted check box was clicked and now shows bChecked.
    void OnItemClicked(UINT nID, bool bChecked);

    stAppOptions SaveApplication() const;
    // The settings to send; false when the password could not be digested,
    // and then nothing may be sent.
    bool SaveService(CNetDefragSettingsLight2& settings) const;
    // The user typed a new, non-empty password, which the list view keeps to
    // answer later password requests.
    bool IsPasswordTyped() const;

    static int GetHelpTopic(int nTab) { return FirstHelpTopic + nTab; }

private:
    struct stControlState
    {
        bool bChecked = false;
        bool bEnabled = true;
        CString strText;
    };

    stControlState& Control(UINT nID) { return m_controls[nID]; }
    void Set(UINT nID, bool bChecked, bool bEnabled);
    void SetStyleRadios(int nStyle);
    void SetTrayControls(int nTrayIconMode);
    void SetStartupControls(const stAppOptions& options);
    // A minimized start needs the tray icon, but only while the user can
    // change the start-up options at all.
    void ApplyMinimizedStart();
    void ApplyRule(UINT nID, bool bChecked);
    // An option that means something only under another: enabled with it,
    // cleared and greyed without it.
    void FollowParent(UINT nChild, bool bParentChecked);
    void EraseServiceControls();
    int SavedTrayIconMode() const;
    int SavedThreshold() const;
    bool SavedPassword(CString& strPassword) const;

    ElevationTest m_fnIsElevated;
    PasswordDigest m_fnDigest;
    std::map<UINT, stControlState> m_controls;
    bool m_bServicePages;
    UINT m_nStartupGroupTextId;
    int m_nLoadedStyle;
    // The password field as the service's answer filled it: the stored digest.
    CString m_strLoadedPassword;
};
