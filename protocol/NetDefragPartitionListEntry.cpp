#include "protocol/NetDefragPartitionListEntry.h"

#include "protocol/NetDefragBuffer.h"

CNetDefragPartitionListEntry::CNetDefragPartitionListEntry()
    : m_nVolumeIndex(-1), m_nFileSystemCode(0), m_llMftStart(-1), m_llMftSpanEnd(-1),
      m_llMftZoneStart(-1), m_llMftZoneEnd(-1), m_llTotalClusters(-1), m_llUsedClusters(-1),
      m_llMftMirrorStart(0), m_nBytesPerSector(0), m_nState(0), m_nFragmentedEntries(0),
      m_nProgress(0), m_nPendingFiles(0), m_llTotalBytes(0), m_llFreeBytes(0),
      m_nBytesPerCluster(0), m_nBytesPerFileRecord(0), m_nFilesExamined(0),
      m_nFilesWithClusters(0), m_nFilesMoved(0), m_nFilesDefragmented(0),
      m_nFragmentationPercent(0), m_nNtfsMajorVersion(0), m_nNtfsMinorVersion(0),
      m_llLastManualDefragTime(0)
{
}

void CNetDefragPartitionListEntry::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_strDriveRoot);
    ar.Exchange(m_strVolumeGuidPath);
    ar.Exchange(m_strVolumeLabel);
    ar.Exchange(m_strStatusText);
    ar.Exchange(m_strFileSystemName);
    ar.Exchange(m_strSerialNumber);
    ar.Exchange(m_nVolumeIndex);
    ar.Exchange(m_nFileSystemCode);
    ar.Exchange(m_llMftStart);
    ar.Exchange(m_llMftSpanEnd);
    ar.Exchange(m_llMftZoneStart);
    ar.Exchange(m_llMftZoneEnd);
    ar.Exchange(m_llTotalClusters);
    ar.Exchange(m_llUsedClusters);
    ar.Exchange(m_llMftMirrorStart);
    ar.Exchange(m_nBytesPerSector);
    ar.Exchange(m_nState);
    ar.Exchange(m_nFragmentedEntries);
    ar.Exchange(m_nProgress);
    ar.Exchange(m_nPendingFiles);
    ar.Exchange(m_llTotalBytes);
    ar.Exchange(m_llFreeBytes);
    ar.Exchange(m_nBytesPerCluster);
    ar.Exchange(m_nBytesPerFileRecord);
    ar.Exchange(m_nFilesExamined);
    ar.Exchange(m_nFilesWithClusters);
    ar.Exchange(m_nFilesMoved);
    ar.Exchange(m_nFilesDefragmented);
    ar.Exchange(m_nFragmentationPercent);
    ar.Exchange(m_nNtfsMajorVersion);
    ar.Exchange(m_nNtfsMinorVersion);
    ar.Exchange(m_llLastManualDefragTime);
}
