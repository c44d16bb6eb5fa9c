// IInfoOwner: what the information windows ask of the drive list view that
// owns them: the colours and marks of the cluster map, and the request for
// the clusters of one file.
#pragma once

#include "gui/ClusterMapCells.h"

#include "classlib/String.h"

#include <windows.h>

#include <cstdint>

struct stMapLook
{
    COLORREF acrKinds[kKindCount]; // by cluster kind
    bool bShaded;                   // blocks drawn as gradients
    int nLighten;                   // how far a gradient lightens its colour
};

class IInfoOwner
{
public:
    virtual ~IInfoOwner() = default;

    virtual stMapLook GetMapLook() = 0;
    // Asks the map for the block that holds the cluster; -1 clears every mark.
    virtual void ExploreSelection(int64_t llCluster) = 0;
    // Asks the service for every cluster of the file, which the map then marks.
    virtual bool SendShowFile(int32_t nDriveId, const CString& strFileName) = 0;
};
