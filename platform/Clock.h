// The one seam through which the engine and the service read the time of day, so that a test
// can move the time on instead of waiting for it to pass. It reads the system's clock until
// another table is installed.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sysclock {

struct CLOCK_TABLE
{
    VOID (WINAPI* pfnGetSystemTimeAsFileTime)(LPFILETIME);
};

// The table that reads the system's clock.
const CLOCK_TABLE& RealTable();

// Puts a table in force (null: the real one) and returns the one it replaces. The table must
// outlive its time in force.
const CLOCK_TABLE* Install(const CLOCK_TABLE* pTable);

void GetSystemTimeAsFileTime(LPFILETIME pft);
// Seconds since 1 January 1970 (UTC), as the C library's time() counts them.
int64_t Seconds();

} // namespace sysclock
