#include "platform/Clock.h"

#include <atomic>

namespace sysclock {
namespace {

// Made on first use: the system's entry is bound at load time, after constant initialisation.
const CLOCK_TABLE& Real()
{
    static const CLOCK_TABLE s_real = {&::GetSystemTimeAsFileTime};
    return s_real;
}

// Null until a table is installed: the real one.
std::atomic<const CLOCK_TABLE*> s_pCurrent{nullptr};

const CLOCK_TABLE& Current()
{
    const CLOCK_TABLE* pTable = s_pCurrent.load(std::memory_order_acquire);
    return pTable ? *pTable : Real();
}

} // namespace

const CLOCK_TABLE& RealTable() { return Real(); }

const CLOCK_TABLE* Install(const CLOCK_TABLE* pTable)
{
    const CLOCK_TABLE* pPrevious = s_pCurrent.exchange(pTable, std::memory_order_acq_rel);
    return pPrevious ? pPrevious : &Real();
}

void GetSystemTimeAsFileTime(LPFILETIME pft) { Current().pfnGetSystemTimeAsFileTime(pft); }

int64_t Seconds()
{
    // Reading the file time directly: the C library's time() asks for the time zone on every
    // call, which costs more than a pending-list entry.
    constexpr uint64_t FileTimeAt1970 = 116444736000000000ull;
    constexpr uint64_t FileTimePerSecond = 10000000ull;
    FILETIME ftNow = {};
    sysclock::GetSystemTimeAsFileTime(&ftNow);
    const uint64_t ullNow = (static_cast<uint64_t>(ftNow.dwHighDateTime) << 32) | ftNow.dwLowDateTime;
    return static_cast<int64_t>((ullNow - FileTimeAt1970) / FileTimePerSecond);
}

} // namespace sysclock
