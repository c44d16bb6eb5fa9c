#include "gui/DefragListView.h"

bool CDefragListView::HasWelcomeDialog() const
{
    return false;
}

void CDefragListView::OpenWelcome()
{
}

void CDefragListView::OnSettings(const CNetDefragSettingsLight2& /*settings*/)
{
}

void CDefragListView::OnWizardSettings(const CNetDefragSettingsLight2& /*settings*/)
{
}
