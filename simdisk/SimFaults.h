// Chosen failures of the simulated system: any kind of call, on a path, a control code or a
// file record, on every call or on the n-th one, answers a chosen status; a move can find its
// target taken by another program first, and a query can hang for a while before it answers.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

enum class SIM_CALL
{
    CreateFile,
    ReadFile,
    Control,          // DeviceIoControl and NtFsControlFile, by control code
    FindFirstFile,
    QueryInformation, // NtQueryInformationFile
    QuerySystemInformation,
    QueryObject,
    DiskFreeSpace,
    VolumeInformation,
    Checker           // the stand-in disk checker
};

enum class SIM_FAULT_ACTION
{
    Answer,        // the call answers the status and does nothing else
    TakeTarget,    // a move: another program allocates the target just before it
    GrowTable      // the system's handle table: one more entry than the size just reported
};

struct SIM_FAULT
{
    SIM_CALL eCall = SIM_CALL::Control;
    DWORD dwCode = 0;           // control code, 0 for any
    std::wstring strPath;       // part of the path, case-insensitive; empty for any
    LONGLONG llRecord = -1;     // file record asked for, or first cluster of a raw read; -1 any
    int nNth = 0;               // fire on the n-th matching call only (1-based); 0 on every one
    int nTimes = -1;            // how often it may fire; -1 without limit
    NTSTATUS status = 0;
    SIM_FAULT_ACTION eAction = SIM_FAULT_ACTION::Answer;
    DWORD dwDelayMs = 0;        // wait before answering; with status 0 the call then goes on
};

class CSimFaults
{
public:
    void Add(const SIM_FAULT& fault) { m_rules.push_back({fault, 0, 0}); }
    void Clear() { m_rules.clear(); }
    // The rule that fires for this call, if one does; its counters advance. The caller waits
    // for the rule's delay.
    bool Match(SIM_CALL eCall, DWORD dwCode, const std::wstring& strPath, LONGLONG llRecord, SIM_FAULT* pFault);
    // How often the rules in force have fired, so that a test knows its faults were met.
    int Fired() const;

private:
    struct RULE
    {
        SIM_FAULT fault;
        int nSeen;
        int nFired;
    };
    std::vector<RULE> m_rules;
};
