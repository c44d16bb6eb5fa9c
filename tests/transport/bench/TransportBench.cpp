// The pipe soak of the transport tests, timed: one BENCH line.
#include "../PipeSoak.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    int nCycles = argc > 1 ? _wtoi(argv[1]) : 1000;
    if (nCycles <= 0)
        nCycles = 1000;
    stSoakResult stResult = RunPipeSoak(nCycles, 3600000);
    printf("BENCH transport_soak cycles=%d wall_s=%.2f handles_before=%lu handles_after=%lu error_items=%d "
           "replies_read=%d fresh_client_served=%d\n",
           stResult.nCycles, stResult.dWallSeconds, stResult.dwHandlesBefore, stResult.dwHandlesAfter,
           stResult.nErrorItems, stResult.nRepliesRead, stResult.bFreshClientServed ? 1 : 0);
    return stResult.bFinished ? 0 : 1;
}
