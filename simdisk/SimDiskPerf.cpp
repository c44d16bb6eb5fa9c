#include "simdisk/SimDiskPerf.h"

#include "platform/Clock.h"

#include <cstring>

CSimDiskPerf::CSimDiskPerf() : m_llStart(SystemTime()), m_llLast(m_llStart) { SetIdle(); }

LONGLONG CSimDiskPerf::SystemTime()
{
    FILETIME ft;
    sysclock::GetSystemTimeAsFileTime(&ft);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

void CSimDiskPerf::SetSchedule(const std::vector<SIM_DISK_PHASE>& phases)
{
    m_phases = phases.empty() ? std::vector<SIM_DISK_PHASE>{{0, 100, 0}} : phases;
    m_llStart = SystemTime();
}

const SIM_DISK_PHASE& CSimDiskPerf::PhaseAt(LONGLONG llSinceStart) const
{
    LONGLONG llEnd = 0;
    for (size_t i = 0; i + 1 < m_phases.size(); ++i)
    {
        llEnd += static_cast<LONGLONG>(m_phases[i].dwMilliseconds) * 10000;
        if (llSinceStart < llEnd)
            return m_phases[i];
    }
    return m_phases.back();
}

void CSimDiskPerf::Sample(BYTE* pOut)
{
    if (!m_bFrozen)
    {
        LONGLONG llNow = SystemTime();
        const SIM_DISK_PHASE& phase = PhaseAt(llNow - m_llStart);
        m_llIdle += (llNow - m_llLast) * phase.nIdlePercent / 100;
        m_llLast = llNow;
    }
    const SIM_DISK_PHASE& phase = PhaseAt(m_llLast - m_llStart);
    ++m_llReads;
    std::memset(pOut, 0, 88);
    LONGLONG llBytes = m_llReads * 65536;
    std::memcpy(pOut + 0, &llBytes, 8);
    std::memcpy(pOut + 32, &m_llIdle, 8);
    DWORD dwCount = static_cast<DWORD>(m_llReads);
    std::memcpy(pOut + 40, &dwCount, 4);
    std::memcpy(pOut + 48, &phase.dwQueueDepth, 4);
    std::memcpy(pOut + 56, &m_llLast, 8);
    const wchar_t szManager[] = L"VOLMGR  ";
    std::memcpy(pOut + 68, szManager, 16);
}
