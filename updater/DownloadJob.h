// stDownloadJob: what a download's worker needs, shared between the
// CAppUpdate that started it and the worker. A worker whose read blocks on a
// silent server can outlive the object; the job lives until both let go.
#pragma once

#include "base/AutoHandle.h"
#include "base/SyncObjects.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

struct stContentLength
{
    bool bKnown; // false when the server named no length (a chunked reply)
    uint64_t nBytes;
};

struct stDownloadJob
{
    HINTERNET hInternet; // the session, owned by the CAppUpdate
    bool bConnected;
    std::wstring strUrl;
    std::wstring strTarget;
    HWND hWindow;
    UINT nProgressMessage;
    UINT nDoneMessage;
    CAutoHandle hCancel;
    // The worker's open request, which a cancel closes to end a read that
    // waits on the server; the section keeps it from being closed twice.
    CCriticalSection requestSection;
    HINTERNET hRequest;
};
