#include "gui/DefragListView.h"

#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"

void CDefragListView::OpenAnalysisResult(const CNetDefragPartitionListEntry& /*entry*/)
{
}

void CDefragListView::OpenDefragResult(const CNetDefragPartitionListEntry& /*entry*/)
{
}

bool CDefragListView::IsClusterPaneInUse() const
{
    return false;
}

void CDefragListView::SyncClusterView()
{
}

void CDefragListView::OnDriveFinished(int32_t /*nDriveId*/, bool /*bUnfragmented*/)
{
}

void CDefragListView::OnClusterMap(std::unique_ptr<CNetDefragPartitionClustermap> /*pMap*/)
{
}

void CDefragListView::OnClusterMapChanges(std::unique_ptr<CNetDefragClustermapModList> /*pChanges*/)
{
}

void CDefragListView::OnFileClusters(std::unique_ptr<CNetDefragPartitionClusterExplorerResponse> /*pAnswer*/)
{
}
