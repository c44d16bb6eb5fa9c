// CRunFailures: why files of one run stayed as they were, gathered where each failure happens
// and written to the event log once, at the run's end: a summary with the counts by reason,
// then the first few failures in full, so that a run that meets thousands of refusals writes
// a handful of events and still names the file, the call, its answer and the place.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/UnicodeString.h"

class CPartitionOwner;

// One failed call on the way to moving a file.
struct MOVE_FAILURE
{
    CUnicodeString strPath;
    const wchar_t* pszCall = nullptr;  // the control or function that failed; null while none did
    DWORD dwStatus = 0;                // an NTSTATUS, or a Win32 error when bWin32
    bool bWin32 = false;
    int64_t llVcn = -1;                // where in the file, -1 when not known
    int64_t llLcn = -1;                // where on the volume (a move's target), -1 when not known
};

class CRunFailures
{
public:
    static constexpr int InFull = 5;

    void Clear();
    // Failures without a call are not kept: nothing can be said of them.
    void Add(const MOVE_FAILURE& failure);
    int GetCount() const { return m_nCount; }
    // The summary as one event, then one event per failure kept, all as warnings.
    void Write(CPartitionOwner& owner, const CUnicodeString& strSummary) const;
    static CUnicodeString Describe(const MOVE_FAILURE& failure);

private:
    std::vector<MOVE_FAILURE> m_kept;
    int m_nCount = 0;
};
