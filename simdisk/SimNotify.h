// Directory-change notifications of the simulated volumes: reads armed with
// ReadDirectoryChangesW collect the changes from outside below the watched directory (subtree
// included) and complete through the caller's completion routine, as an APC to the thread that
// issued the read.
#pragma once

#include "simdisk/SimTypes.h"

#include <map>
#include <string>
#include <vector>

class CSimSystem;

class CSimNotify : public CSimChangeListener
{
public:
    explicit CSimNotify(CSimSystem& system) : m_system(system) {}
    ~CSimNotify() override;

    BOOL Read(HANDLE h, LPVOID pBuffer, DWORD dwLength, BOOL bSubtree, DWORD dwFilter, LPOVERLAPPED pOverlapped,
              LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine);
    // Cancels the reads that the calling thread issued on the handle.
    void Cancel(HANDLE h);
    // The handle is being closed: its read completes with nothing.
    void Closing(HANDLE h);

    void OnChange(const CSimVolume& volume, const std::wstring& strRelativePath, bool bDirectory,
                  SIM_CHANGE eChange) override;

private:
    struct RECORD
    {
        DWORD dwAction;
        std::wstring strName;
    };
    struct WATCH
    {
        const CSimVolume* pVolume = nullptr;
        std::wstring strDirectory; // relative to the root; "" for the root
        bool bArmed = false;       // changes are kept only after the first read
        bool bPending = false;
        BYTE* pBuffer = nullptr;
        DWORD dwLength = 0;
        BOOL bSubtree = FALSE;
        DWORD dwFilter = 0;
        LPOVERLAPPED pOverlapped = nullptr;
        LPOVERLAPPED_COMPLETION_ROUTINE pfnRoutine = nullptr;
        DWORD dwThreadId = 0;
        HANDLE hThread = nullptr;
        std::vector<RECORD> records;
    };

    void Deliver(WATCH& watch);
    void Complete(WATCH& watch, DWORD dwError, DWORD dwBytes);
    static bool Matches(const WATCH& watch, bool bDirectory, SIM_CHANGE eChange);

    CSimSystem& m_system;
    std::map<HANDLE, WATCH> m_watches;
};
