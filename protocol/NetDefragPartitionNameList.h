// CNetDefragPartitionNameEntry and CNetDefragPartitionNameList: the names of
// every listed volume (drive root, volume GUID path, label, index), which only
// the service builds.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObjectTable.h"

#include <cstdint>

class CNetDefragPartitionNameEntry : public CNetDefragObject
{
public:
    // Three empty strings and the index.
    static constexpr int MinWireSize = 16;

    CNetDefragPartitionNameEntry() : m_nVolumeIndex(-1) {}
    CNetDefragPartitionNameEntry(const CNetDefragPartitionNameEntry& other) = default;
    CNetDefragPartitionNameEntry& operator=(const CNetDefragPartitionNameEntry& other) = default;

    void Serialize(CNetDefragBuffer& ar) override;

    CUnicodeString m_strDriveRoot;
    CUnicodeString m_strVolumeGuidPath;
    CUnicodeString m_strVolumeLabel;
    int32_t m_nVolumeIndex;
};

class CNetDefragPartitionNameList : public CNetDefragObjectTable<CNetDefragPartitionNameEntry>
{
};
