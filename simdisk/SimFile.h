// A file (or directory) of a simulated volume, with its names, times, attributes and streams.
#pragma once

#include "simdisk/SimStream.h"
#include "simdisk/SimTypes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

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
