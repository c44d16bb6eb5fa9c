// CNetDefragPartitionObject: names the volume that a request acts on, by the
// index the service gave it in its drive list.
#pragma once

#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragPartitionObject : public CNetDefragObject
{
public:
    CNetDefragPartitionObject() : m_nVolumeIndex(-1) {}
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;
};
