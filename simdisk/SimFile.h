// The files of a simulated volume: each file (or directory) with its names, times, attributes
// and streams, and each stream with its size and its runs of clusters.
#pragma once

#include "simdisk/SimTypes.h"

#include <map>
#include <memory>
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

enum SIM_FILE_FLAGS : DWORD
{
    SimFileMetadata = 0x1,        // opens only for attributes; never listed
    SimFileHidden = 0x2,          // an internal structure that no path reaches
    SimFileDenyList = 0x4,        // listing the directory is refused
    SimFileDenyAcl = 0x8,         // every open is refused
    SimFileKernelExclusive = 0x10, // held by the system without sharing, even against attribute opens
    SimFileUnmovable = 0x20,      // moves of its clusters are refused
    SimFileDosNameFirst = 0x40    // the DOS name comes before the long name in its record
};

class CSimFile
{
public:
    CSimFile(ULONGLONG ullId, WORD wSequence, ULONGLONG ullParent, const std::wstring& strName, DWORD dwAttributes)
        : m_ullId(ullId), m_wSequence(wSequence), m_ullParent(ullParent), m_strName(strName),
          m_dwAttributes(dwAttributes)
    {
    }

    bool IsDirectory() const { return (m_dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    ULONGLONG Reference() const { return m_ullId | (static_cast<ULONGLONG>(m_wSequence) << 48); }

    CSimStream* FindStream(DWORD dwType, const std::wstring& strName);
    const CSimStream* FindStream(DWORD dwType, const std::wstring& strName) const;
    CSimStream& AddStream(DWORD dwType, const std::wstring& strName);
    void RemoveStream(DWORD dwType, const std::wstring& strName);
    // The unnamed data stream of a file; the index of a directory.
    CSimStream* DefaultStream();

    ULONGLONG m_ullId;
    WORD m_wSequence;
    ULONGLONG m_ullParent;
    std::wstring m_strName;
    std::wstring m_strShortName;
    DWORD m_dwAttributes;
    DWORD m_dwFlags = 0;
    DWORD m_dwReparseTag = 0;
    LONGLONG m_llCreated = 0;
    LONGLONG m_llModified = 0;
    LONGLONG m_llAccessed = 0;
    WORD m_wNextSlot = 0;
    std::vector<CSimStream> m_streams;
    std::vector<ULONGLONG> m_extensions;           // NTFS extension records, in use order
    std::map<std::wstring, ULONGLONG> m_children;  // directories: upper-case name to id
    std::vector<ULONGLONG> m_order;                // directories on FAT: entry order
};
