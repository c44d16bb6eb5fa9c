// IReplySender: the two sends of the service connection, as the reply
// handling and the drive commands use them.
#pragma once

#include <cstdint>

class CNetDefragObject;

class IReplySender
{
public:
    virtual ~IReplySender() = default;
    // A header-only request; true when it went out.
    virtual bool SendBareCommand(int32_t nCode) = 0;
    // A request with its one object; true when it went out.
    virtual bool SendCommand(int32_t nCode, CNetDefragObject& object) = 0;
};
