#include "protocol/NetDefragPartitionNameList.h"

void CNetDefragPartitionNameEntry::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_strDriveRoot);
    ar.Exchange(m_strVolumeGuidPath);
    ar.Exchange(m_strVolumeLabel);
    ar.Exchange(m_nVolumeIndex);
}
