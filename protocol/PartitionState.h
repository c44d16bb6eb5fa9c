// PARTITION_STATE: what the volume object of a volume is doing, as the
// service reports it in every drive-list entry and the clients show it.
#pragma once

#include <cstdint>

enum PARTITION_STATE : int32_t
{
    STATE_IDLE = 0,
    STATE_MONITORING = 1,
    STATE_AUTO_ANALYZING = 2,
    STATE_AUTO_DEFRAGMENTING = 3,
    STATE_ANALYZING = 4,
    STATE_DEFRAGMENTING = 5,
    STATE_FAULTY = 6,
    STATE_VOLUME_ERROR = 7,
    STATE_STOPPING = 8,
    STATE_SUSPENDED = 9,
    STATE_AUTO_CHECKING = 10,
    STATE_CHECKING = 11,
    STATE_FAULTY_MONITORING = 12,
};
