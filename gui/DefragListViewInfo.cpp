#include "gui/DefragListView.h"

void CDefragListView::OnClusterExplorer(const CNetDefragPartitionClusterExplorerResponse& /*answer*/)
{
}

void CDefragListView::OnPartitionInfo(const CNetDefragPartitionInfo& /*info*/)
{
}

void CDefragListView::OnFragmentedFiles(const CNetDefragPartitionFragFiles& /*files*/)
{
}

void CDefragListView::OnServiceInfo(const CNetDefragVersionInfo& /*version*/)
{
}
