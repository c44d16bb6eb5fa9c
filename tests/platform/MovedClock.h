// A clock for tests that runs with the system's but stands ahead of it by as much as the test
// has moved it on, so that a test needs no wait for seconds to pass. In force while it lives.
#pragma once

#include "platform/Clock.h"

#include <atomic>

class CMovedClock
{
public:
    CMovedClock()
    {
        s_llAhead = 0;
        m_pPrevious = sysclock::Install(&s_table);
    }
    ~CMovedClock() { sysclock::Install(m_pPrevious); }
    CMovedClock(const CMovedClock&) = delete;
    CMovedClock& operator=(const CMovedClock&) = delete;

    void Advance(int nSeconds) { AdvanceMilliseconds(static_cast<LONGLONG>(nSeconds) * 1000); }
    void AdvanceMilliseconds(LONGLONG llMilliseconds) { s_llAhead += llMilliseconds * 10000LL; }

    // The moved time, as a file time; what a change made "now" carries.
    static LONGLONG Now()
    {
        FILETIME ft = {};
        sysclock::GetSystemTimeAsFileTime(&ft);
        return (static_cast<LONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    }

private:
    static VOID WINAPI Read(LPFILETIME pft)
    {
        FILETIME ftReal = {};
        ::GetSystemTimeAsFileTime(&ftReal);
        const ULONGLONG ullNow = ((static_cast<ULONGLONG>(ftReal.dwHighDateTime) << 32) | ftReal.dwLowDateTime) +
                                 static_cast<ULONGLONG>(s_llAhead.load());
        pft->dwLowDateTime = static_cast<DWORD>(ullNow);
        pft->dwHighDateTime = static_cast<DWORD>(ullNow >> 32);
    }

    inline static std::atomic<LONGLONG> s_llAhead{0};
    inline static const sysclock::CLOCK_TABLE s_table = {&CMovedClock::Read};
    const sysclock::CLOCK_TABLE* m_pPrevious;
};
