// CNetDefragPartitionInfo: the details of one volume for the drive
// information window; the four MFT figures are filled on NTFS only.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragPartitionInfo : public CNetDefragObject
{
public:
    CNetDefragPartitionInfo();
    void Serialize(CNetDefragBuffer& ar) override;

    // Members in wire order.
    int32_t m_nVolumeIndex;
    CUnicodeString m_strDriveRoot;
    CUnicodeString m_strVolumeGuidPath;
    CUnicodeString m_strVolumeLabel;
    CUnicodeString m_strFileSystemName;
    int64_t m_llTotalBytes;
    int64_t m_llFreeBytes;
    int32_t m_nBytesPerCluster;
    int64_t m_llTotalClusters;
    int64_t m_llFreeClusters;
    int64_t m_llMftValidDataLength;
    int64_t m_llMftValidDataClusters;
    int64_t m_llMftZoneStart;
    int64_t m_llMftZoneEnd;
};
