// The clock seam: the real clock by default, a moved one while a test keeps it in force.
#include "tests/platform/MovedClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

TEST(Clock, SecondsFollowTheInstalledClockAndTheRealOneAgainAfterIt)
{
    // time() and the seam may straddle a second.
    EXPECT_LE(std::abs(sysclock::Seconds() - static_cast<int64_t>(std::time(nullptr))), 1);
    {
        CMovedClock clock;
        clock.Advance(3600);
        EXPECT_GE(sysclock::Seconds() - static_cast<int64_t>(std::time(nullptr)), 3599);
        clock.Advance(-7200);
        EXPECT_LE(sysclock::Seconds() - static_cast<int64_t>(std::time(nullptr)), -3599);
    }
    EXPECT_LE(std::abs(sysclock::Seconds() - static_cast<int64_t>(std::time(nullptr))), 1);
    EXPECT_EQ(&sysclock::RealTable(), sysclock::Install(nullptr));
}
