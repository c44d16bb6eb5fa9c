// Many short clients of every kind on the two pairs at once; its time is a
// benchmark's business (scripts/bench.sh), this checks only what must hold.
#include "PipeSoak.h"

#include <gtest/gtest.h>

TEST(PipeSoak, ChurnOfClientsLeavesNoErrorsNoHandlesAndServesTheNextClient)
{
    const int nCycles = 1000;
    // Many times what the cycles take, and below the program's time-out, so
    // that a deadlock is reported as one.
    const DWORD dwBoundMs = 180000;
    const DWORD dwHandleSlack = 16;
    stSoakResult stResult = RunPipeSoak(nCycles, dwBoundMs);
    ASSERT_TRUE(stResult.bFinished);
    EXPECT_EQ(stResult.nCycles, nCycles);
    // A reply to a client that has just left must not look like a fault of
    // the client connected now: the consumer drops a pair's clients on one.
    EXPECT_EQ(stResult.nErrorItems, 0);
    EXPECT_EQ(stResult.nConnected, stResult.nDisconnected);
    // Every client that waits for its answer gets it, the warm-up's included.
    EXPECT_EQ(stResult.nRepliesRead, nCycles / 4 + 2);
    EXPECT_LE(stResult.dwHandlesAfter, stResult.dwHandlesBefore + dwHandleSlack)
        << "before " << stResult.dwHandlesBefore;
    EXPECT_TRUE(stResult.bFreshClientServed);
}
