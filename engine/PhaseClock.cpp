#include "engine/PhaseClock.h"

#include <x86intrin.h>

namespace {

constexpr int NoPhase = -1;

LONGLONG PerformanceCounter()
{
    LARGE_INTEGER liNow;
    return ::QueryPerformanceCounter(&liNow) ? liNow.QuadPart : 0;
}

} // namespace

CPhaseClock::CPhaseClock()
    : m_aullTicks(), m_ullLast(0), m_nCurrent(NoPhase), m_ullFirst(0), m_llFirstCounter(0), m_dTicksPerSecond(0)
{
}

void CPhaseClock::Enter(PHASE ePhase)
{
    const uint64_t ullNow = __rdtsc();
    if (m_nCurrent == NoPhase)
    {
        m_ullFirst = ullNow;
        m_llFirstCounter = PerformanceCounter();
    }
    else
        m_aullTicks[m_nCurrent] += ullNow - m_ullLast;
    m_ullLast = ullNow;
    m_nCurrent = ePhase;
}

void CPhaseClock::Stop()
{
    if (m_nCurrent == NoPhase)
        return;
    const uint64_t ullNow = __rdtsc();
    m_aullTicks[m_nCurrent] += ullNow - m_ullLast;
    m_nCurrent = NoPhase;
    LARGE_INTEGER liFrequency;
    const LONGLONG llCounted = PerformanceCounter() - m_llFirstCounter;
    if (::QueryPerformanceFrequency(&liFrequency) && llCounted > 0)
        m_dTicksPerSecond = static_cast<double>(ullNow - m_ullFirst) * static_cast<double>(liFrequency.QuadPart) /
                            static_cast<double>(llCounted);
}

double CPhaseClock::Seconds(PHASE ePhase) const
{
    return m_dTicksPerSecond > 0 ? static_cast<double>(m_aullTicks[ePhase]) / m_dTicksPerSecond : 0;
}
