#include "gui/WizardModel.h"

#include "gui/Resource.h"
#include "protocol/NetDefragSettingsLight.h"

namespace
{
enum EPage
{
    PageWelcome,
    PageRemovable,
    PageBoottime,
    PageProactive,
    PageComplete
};

// Pages 2 and 4 share their help topic; the first page has one but hides the button.
const stWizardPage Pages[CWizardModel::PageCount] = {
    {IDS_WIZARD_STEP1, IDS_WIZARD_WELCOME, IDS_WIZARD_INTRO, false, false, false, 232},
    {IDS_WIZARD_STEP2, IDS_ALLOW_DEFRAGMENTATION_OF_REMOVABLE, IDS_WIZARD_REMOVABLE, true, true, true, 234},
    {IDS_WIZARD_STEP3, IDS_PERFORM_BOOT_TIME_DEFRAGMENTATION, IDS_WIZARD_BOOTTIME, true, false, true, 236},
    {IDS_WIZARD_STEP4, IDS_START_PROACTIVE_DEFRAGMENTATION_AT, IDS_WIZARD_PROACTIVE, true, true, true, 234},
    {IDS_WIZARD_STEP5, IDS_WIZARD_COMPLETE, IDS_WIZARD_MORE_OPTIONS, false, false, false, -1},
};

bool IsPage(int nPage)
{
    return nPage >= 0 && nPage < CWizardModel::PageCount;
}
} // namespace

CWizardModel::CWizardModel()
{
    for (int nPage = 0; nPage < PageCount; ++nPage)
        m_bChecked[nPage] = Pages[nPage].bCheckedByDefault;
}

const stWizardPage& CWizardModel::GetPage(int nPage)
{
    static const stWizardPage NoPage = {0, 0, 0, false, false, false, -1};
    return IsPage(nPage) ? Pages[nPage] : NoPage;
}

void CWizardModel::Load(const CNetDefragSettingsLight2& settings)
{
    m_bChecked[PageRemovable] = settings.m_nUseRemovableDisks != 0;
    m_bChecked[PageBoottime] = settings.m_nUseBoottimeDefrag != 0;
    m_bChecked[PageProactive] = settings.m_nDisableAutoMonitoring == 0;
}

bool CWizardModel::IsChecked(int nPage) const
{
    return GetPage(nPage).bHasCheck && m_bChecked[nPage];
}

void CWizardModel::SetChecked(int nPage, bool bChecked)
{
    if (GetPage(nPage).bHasCheck)
        m_bChecked[nPage] = bChecked;
}

void CWizardModel::Finish(CNetDefragSettingsLight2& settings) const
{
    // The service reads only these three from the wizard's message.
    settings = CNetDefragSettingsLight2();
    settings.m_nUseRemovableDisks = IsChecked(PageRemovable) ? 1 : 0;
    settings.m_nUseBoottimeDefrag = IsChecked(PageBoottime) ? 1 : 0;
    settings.m_nDisableAutoMonitoring = IsChecked(PageProactive) ? 0 : 1;
}
