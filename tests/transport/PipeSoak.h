// A soak of the pipe transport as the service uses it: two pairs served by one
// consumer thread that answers every request, and one client thread per pair
// that connects, sends and leaves in every way a client can (reading its
// reply, closing at once, never reading, opening one half only).
#pragma once

#include <windows.h>

struct stSoakResult
{
    bool bFinished;       // every client thread ended within the bound
    int nCycles;          // cycles run, both threads together
    int nRequests;        // requests the consumer received
    int nErrorItems;      // error items of either server
    int nConnected;       // connected items, both servers
    int nDisconnected;    // disconnected items, both servers
    int nRepliesRead;     // replies the reading clients received
    DWORD dwHandlesBefore;
    DWORD dwHandlesAfter;
    bool bFreshClientServed;
    double dWallSeconds;
};

// nCycles are shared by the two client threads.
stSoakResult RunPipeSoak(int nCycles, DWORD dwBoundMs);
