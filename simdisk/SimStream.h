// One stream of a simulated file: its type and name, its size, and its runs of clusters (or
// its bytes, while it stays in its record).
#pragma once

#include "simdisk/SimTypes.h"

#include <string>
#include <vector>

class CSimStream
{
public:
    CSimStream(DWORD dwType, const std::wstring& strName, WORD wSlot)
        : m_dwType(dwType), m_strName(strName), m_wSlot(wSlot)
    {
    }

    LONGLONG Vcns() const { return m_runs.empty() ? 0 : m_runs.back().llVcn + m_runs.back().llLength; }
    LONGLONG AllocatedClusters() const;
    // Index of the run holding llVcn, or -1.
    int FindRun(LONGLONG llVcn) const;
    // Joins runs that continue each other on disk (or are both sparse).
    void Normalize();
    bool IsNamed() const { return !m_strName.empty(); }

    DWORD m_dwType;
    std::wstring m_strName;
    WORD m_wSlot;                // stable for the life of the stream; part of its clusters' tags
    WORD m_wFlags = 0;           // ntfs::FlagCompressed, ntfs::FlagSparse
    LONGLONG m_llDataSize = 0;
    LONGLONG m_llInitSize = 0;
    bool m_bResident = true;
    std::vector<BYTE> m_bytes;   // the content, when it is known byte by byte
    std::vector<SIM_RUN> m_runs; // non-resident streams only
};
