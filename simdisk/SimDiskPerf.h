// The disk-performance counters of a simulated volume under a busy and idle schedule: the
// idle time advances by the idle share of the time that passes on the clock seam, and a test
// can hold the query time still.
#pragma once

#include <windows.h>

#include <vector>

struct SIM_DISK_PHASE
{
    DWORD dwMilliseconds; // how long the phase lasts; the last phase lasts for ever
    int nIdlePercent;
    DWORD dwQueueDepth;
};

class CSimDiskPerf
{
public:
    CSimDiskPerf();
    void SetSchedule(const std::vector<SIM_DISK_PHASE>& phases);
    void SetIdle() { SetSchedule({{0, 100, 0}}); }
    void SetBusy(int nIdlePercent, DWORD dwQueueDepth) { SetSchedule({{0, nIdlePercent, dwQueueDepth}}); }
    void Freeze(bool bFrozen) { m_bFrozen = bFrozen; }
    // Fills the 88-byte DISK_PERFORMANCE record.
    void Sample(BYTE* pOut);
    // How often the counters were read.
    LONGLONG Samples() const { return m_llReads; }

private:
    const SIM_DISK_PHASE& PhaseAt(LONGLONG llSinceStart) const;
    static LONGLONG SystemTime();

    std::vector<SIM_DISK_PHASE> m_phases;
    LONGLONG m_llStart;
    LONGLONG m_llLast;
    LONGLONG m_llIdle = 0;
    LONGLONG m_llReads = 0;
    bool m_bFrozen = false;
};
