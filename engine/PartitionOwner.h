// CPartitionOwner: what a volume object needs of the service that holds it: sending a
// message to one client and to every client.
#pragma once

#include <cstdint>

class CNetDefragObject;

class CPartitionOwner
{
public:
    virtual ~CPartitionOwner() = default;

    virtual bool SendObject(int32_t nClient, int32_t nCode, CNetDefragObject& object) = 0;
    virtual bool BroadcastObject(int32_t nCode, CNetDefragObject& object) = 0;
};
