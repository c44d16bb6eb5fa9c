// IMapPaneOwner: what the cluster-map pane asks of the drive list view that
// feeds it: the request for a block's files, the explorer that shows them,
// and the drive a context menu acts on.
#pragma once

#include <cstdint>

class IMapPaneOwner
{
public:
    virtual ~IMapPaneOwner() = default;
    // Asks the service which files hold the clusters; false when it could not be sent.
    virtual bool SendExploreRequest(int32_t nDriveId, int64_t llFirstCluster, int64_t llLastCluster) = 0;
    virtual void OpenClusterExplorer() = 0;
    // The drive the next drive command acts on; -1 forgets it.
    virtual void SetContextDrive(int32_t nDriveId) = 0;
    // The context menu has closed; its command, if any, has already been handled.
    virtual void ContextMenuDone() = 0;
};
