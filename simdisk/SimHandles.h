// The handles the simulator hands out. Each one is a real event of its own, so it never
// collides with a system handle, can be waited on and closed like any other; the table says
// what it stands for and holds the Windows share-access rules between open files.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CSimVolume;
class CSimFile;
class CSimStream;

enum class SIM_HANDLE_KIND
{
    Volume,
    File,
    Find,
    VolumeFind,
    Snapshot,
    Process
};

constexpr WORD SIM_DEFAULT_STREAM = 0xFFFF;

struct SIM_HANDLE
{
    SIM_HANDLE_KIND eKind = SIM_HANDLE_KIND::File;
    CSimVolume* pVolume = nullptr;
    ULONGLONG ullReference = 0;    // file number and sequence: a file deleted since is gone
    WORD wSlot = SIM_DEFAULT_STREAM;
    DWORD dwAccess = 0;
    DWORD dwShare = 0;
    DWORD dwFlags = 0;
    DWORD dwProcessId = 0;         // holder of the handle, or the process a process handle opens
    LONGLONG llPosition = 0;
    std::vector<WIN32_FIND_DATAW> found;
    std::vector<PROCESSENTRY32W> processes;
    size_t nNext = 0;
    HANDLE hRealFind = INVALID_HANDLE_VALUE; // the system's own volume search, after the simulated ones
};

class CSimHandles
{
public:
    CSimHandles() = default;
    ~CSimHandles();
    CSimHandles(const CSimHandles&) = delete;
    CSimHandles& operator=(const CSimHandles&) = delete;

    // A new handle for the record, or INVALID_HANDLE_VALUE with the last error set.
    HANDLE Open(const SIM_HANDLE& handle);
    SIM_HANDLE* Find(HANDLE h) const;
    SIM_HANDLE* Find(HANDLE h, SIM_HANDLE_KIND eKind) const;
    void Close(HANDLE h);
    // Every open file handle, for the share check and the system's handle table.
    template <typename F> void ForEach(F fn) const
    {
        for (const auto& entry : m_handles)
            fn(entry.first, *entry.second);
    }

    // Windows share access: true when an open of this stream of the file (wSlot, or
    // SIM_DEFAULT_STREAM) with this access and sharing may stand beside the ones already open
    // on the same stream (those of other processes included).
    bool ShareAllows(const CSimVolume* pVolume, const CSimFile& file, WORD wSlot, DWORD dwAccess, DWORD dwShare) const;
    void AddHolder(const SIM_HANDLE& holder) { m_holders.push_back(holder); }
    const std::vector<SIM_HANDLE>& Holders() const { return m_holders; }

    static bool HasDataAccess(DWORD dwAccess);
    static bool CanRead(DWORD dwAccess);
    // Read, write, append or execute access to the data.
    static bool HasReadOrWriteData(DWORD dwAccess);

private:
    std::unordered_map<HANDLE, std::unique_ptr<SIM_HANDLE>> m_handles;
    std::vector<SIM_HANDLE> m_holders;
};
