// CSilentOwner: the service side of a volume object in the benchmarks, which sends nothing
// and logs nothing, so that only the engine's own work is measured.
#pragma once

#include "engine/EventLock.h"
#include "engine/PartitionOwner.h"

class CSilentOwner : public CPartitionOwner
{
public:
    bool SendObject(int32_t, int32_t, CNetDefragObject&) override { return true; }
    bool BroadcastObject(int32_t, CNetDefragObject&) override { return true; }
    void LogVolumeEvent(WORD, const wchar_t*) override {}
    CEventLock& GetCheckLock() override { return m_checkLock; }

private:
    CEventLock m_checkLock;
};
