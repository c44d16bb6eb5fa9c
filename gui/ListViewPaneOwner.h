// CListViewPaneOwner: the drive list view as the cluster-map pane sees it.
#pragma once

#include "gui/MapPaneOwner.h"

class CDefragListView;

class CListViewPaneOwner : public IMapPaneOwner
{
public:
    explicit CListViewPaneOwner(CDefragListView& view) : m_view(view) {}

    bool SendExploreRequest(int32_t nDriveId, int64_t llFirstCluster, int64_t llLastCluster) override;
    void OpenClusterExplorer() override;
    void SetContextDrive(int32_t nDriveId) override;
    void ContextMenuDone() override;

private:
    CDefragListView& m_view;
};
