#include "protocol/NetDefragPartitionClusterExplorerAsk.h"

#include "protocol/NetDefragBuffer.h"

void CNetDefragPartitionClusterExplorerAsk::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nVolumeIndex);
    ar.Exchange(m_llFirstCluster);
    ar.Exchange(m_llLastCluster);
}
