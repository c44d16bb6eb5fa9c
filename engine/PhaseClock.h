// CPhaseClock: charges the time of one thread to the phase it is in, for a benchmark to show
// where the time of a walk goes. The walk names each phase as it enters it; without a clock
// it names none, so a service pays nothing for it.
#pragma once

#include <windows.h>

#include <cstdint>

enum PHASE : int
{
    PHASE_SETUP = 0,     // what comes before the walk: the map from the bitmap, the boot list
    PHASE_READER = 1,    // reading, checking and merging records, decoding their runs
    PHASE_NAMING = 2,    // building the paths of streams
    PHASE_JUDGING = 3,   // counting, the pending list, the map and the zone
    PHASE_PROGRESS = 4,  // the stop test, the idle guard and reports
    PHASE_COUNT = 5
};

class CPhaseClock
{
public:
    CPhaseClock();

    // The first call starts the clock; time from then on is charged to the phase entered last.
    void Enter(PHASE ePhase);
    // Charges the time since the last Enter and stops.
    void Stop();
    double Seconds(PHASE ePhase) const;

private:
    // The time-stamp counter: a few cycles to read, where the system's counters are calls.
    uint64_t m_aullTicks[PHASE_COUNT];
    uint64_t m_ullLast;
    int m_nCurrent;
    // Both counters at the start and the stop, to turn ticks into seconds.
    uint64_t m_ullFirst;
    LONGLONG m_llFirstCounter;
    double m_dTicksPerSecond;
};
