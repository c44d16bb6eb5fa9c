// CWizardModel: the configuration wizard without windows: its five pages,
// the check boxes of pages 2-4 loaded from and turned into the service's
// settings, and the help topic of each page.
#pragma once

#include <windows.h>

class CNetDefragSettingsLight2;

// One page of the wizard, by index from 0: its header title, the heading or
// check box caption and the body text (string ids; 0 for none), its check
// box, and whether it shows the Help button and with which topic.
struct stWizardPage
{
    UINT nTitleId;
    UINT nCaptionId;
    UINT nBodyId;
    bool bHasCheck;
    bool bCheckedByDefault;
    bool bShowsHelp;
    // -1: none.
    int nHelpTopic;
};

class CWizardModel
{
public:
    static constexpr int PageCount = 5;

    CWizardModel();

    static const stWizardPage& GetPage(int nPage);
    static int GetHelpTopic(int nPage) { return GetPage(nPage).nHelpTopic; }
    static bool IsHelpVisible(int nPage) { return GetPage(nPage).bShowsHelp; }

    // The checks from the service's answer.
    void Load(const CNetDefragSettingsLight2& settings);
    // Pages without a check box read as unchecked and ignore a change.
    bool IsChecked(int nPage) const;
    void SetChecked(int nPage, bool bChecked);
    // The settings that Finish sends: the three the wizard shows, everything else empty.
    void Finish(CNetDefragSettingsLight2& settings) const;

private:
    bool m_bChecked[PageCount];
};
