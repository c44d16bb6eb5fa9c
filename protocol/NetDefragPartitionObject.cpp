#include "protocol/NetDefragPartitionObject.h"

#include "protocol/NetDefragBuffer.h"

void CNetDefragPartitionObject::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nVolumeIndex);
}
