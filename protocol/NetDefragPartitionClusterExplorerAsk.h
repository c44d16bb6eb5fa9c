// CNetDefragPartitionClusterExplorerAsk: asks which files occupy a cluster
// range of one volume.
#pragma once

#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragPartitionClusterExplorerAsk : public CNetDefragObject
{
public:
    CNetDefragPartitionClusterExplorerAsk() : m_nVolumeIndex(-1), m_llFirstCluster(0), m_llLastCluster(0) {}
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;
    int64_t m_llFirstCluster;
    int64_t m_llLastCluster;
};
