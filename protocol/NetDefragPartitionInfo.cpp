#include "protocol/NetDefragPartitionInfo.h"

#include "protocol/NetDefragBuffer.h"

CNetDefragPartitionInfo::CNetDefragPartitionInfo()
    : m_nVolumeIndex(-1), m_llTotalBytes(0), m_llFreeBytes(0), m_nBytesPerCluster(0),
      m_llTotalClusters(0), m_llFreeClusters(0), m_llMftValidDataLength(0),
      m_llMftValidDataClusters(0), m_llMftZoneStart(0), m_llMftZoneEnd(0)
{
}

void CNetDefragPartitionInfo::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nVolumeIndex);
    ar.Exchange(m_strDriveRoot);
    ar.Exchange(m_strVolumeGuidPath);
    ar.Exchange(m_strVolumeLabel);
    ar.Exchange(m_strFileSystemName);
    ar.Exchange(m_llTotalBytes);
    ar.Exchange(m_llFreeBytes);
    ar.Exchange(m_nBytesPerCluster);
    ar.Exchange(m_llTotalClusters);
    ar.Exchange(m_llFreeClusters);
    ar.Exchange(m_llMftValidDataLength);
    ar.Exchange(m_llMftValidDataClusters);
    ar.Exchange(m_llMftZoneStart);
    ar.Exchange(m_llMftZoneEnd);
}
