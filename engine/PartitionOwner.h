// CPartitionOwner: what a volume object needs of the service that holds it: sending a
// message to one client and to every client, writing to the service's event log, and the
// service-wide lock that lets one volume at a time be checked.
#pragma once

#include <windows.h>

#include <cstdint>

class CEventLock;
class CNetDefragObject;

class CPartitionOwner
{
public:
    virtual ~CPartitionOwner() = default;

    virtual bool SendObject(int32_t nClient, int32_t nCode, CNetDefragObject& object) = 0;
    virtual bool BroadcastObject(int32_t nCode, CNetDefragObject& object) = 0;
    // wType: EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_INFORMATION_TYPE.
    virtual void LogVolumeEvent(WORD wType, const wchar_t* pszText) = 0;
    // One lock for the whole service, owned by it and alive as long as its volumes.
    virtual CEventLock& GetCheckLock() = 0;
};
