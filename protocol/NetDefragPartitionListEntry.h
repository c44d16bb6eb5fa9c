// CNetDefragPartitionListEntry: one volume's row of the drive list: names,
// geometry, reported state, progress and the figures of the last run. Sent
// alone on every change of the volume and as an element of the drive list.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragPartitionListEntry : public CNetDefragObject
{
public:
    // Six empty strings and the fixed-width fields.
    static constexpr int MinWireSize = 168;

    CNetDefragPartitionListEntry();
    CNetDefragPartitionListEntry(const CNetDefragPartitionListEntry& other) = default;
    CNetDefragPartitionListEntry& operator=(const CNetDefragPartitionListEntry& other) = default;

    void Serialize(CNetDefragBuffer& ar) override;

    // Members in wire order.
    CUnicodeString m_strDriveRoot;
    CUnicodeString m_strVolumeGuidPath;
    CUnicodeString m_strVolumeLabel;
    CUnicodeString m_strStatusText;
    CUnicodeString m_strFileSystemName;
    CUnicodeString m_strSerialNumber;
    int32_t m_nVolumeIndex;
    int32_t m_nFileSystemCode;
    int64_t m_llMftStart;
    int64_t m_llMftSpanEnd;
    int64_t m_llMftZoneStart;
    int64_t m_llMftZoneEnd;
    int64_t m_llTotalClusters;
    int64_t m_llUsedClusters;
    int64_t m_llMftMirrorStart;
    int32_t m_nBytesPerSector;
    int32_t m_nState;
    int32_t m_nFragmentedEntries;
    int32_t m_nProgress;
    int32_t m_nPendingFiles;
    int64_t m_llTotalBytes;
    int64_t m_llFreeBytes;
    int32_t m_nBytesPerCluster;
    int32_t m_nBytesPerFileRecord;
    int32_t m_nFilesExamined;
    int32_t m_nFilesWithClusters;
    int32_t m_nFilesMoved;
    int32_t m_nFilesDefragmented;
    int32_t m_nFragmentationPercent;
    int32_t m_nNtfsMajorVersion;
    int32_t m_nNtfsMinorVersion;
    int64_t m_llLastManualDefragTime;
};
