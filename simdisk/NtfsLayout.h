// The NTFS record layout of a simulated file: which attribute records it needs, how they are
// spread over its base record and its extension records (with an attribute list when one
// record is not enough), and the bytes of each record as the file system hands them out.
#pragma once

#include "simdisk/SimFile.h"

#include <vector>

class CSimVolume;

struct NTFS_PIECE
{
    DWORD dwType;
    int nStream;        // index into the file's streams, or one of the sources below
    int nName;          // for file names: 0 the long name, 1 the DOS name
    size_t nFirstRun;   // runs [nFirstRun, nEndRun) of a non-resident stream
    size_t nEndRun;
    DWORD dwBytes;      // length of the attribute record
    WORD wInstance;
    bool bFirst;        // the first record of its stream carries the sizes
};

constexpr int NTFS_SOURCE_STANDARD = -1;
constexpr int NTFS_SOURCE_NAME = -2;

struct NTFS_PLAN
{
    std::vector<std::vector<NTFS_PIECE>> records; // [0] the base record, then the extensions
    bool NeedsList() const { return records.size() > 1; }
};

class CNtfsLayout
{
public:
    static WORD FirstAttributeOffset(DWORD dwRecordBytes);
    static NTFS_PLAN Plan(const CSimVolume& volume, const CSimFile& file);
    // The attribute list of a planned file whose extension records are known.
    static std::vector<BYTE> BuildList(const CSimFile& file, const NTFS_PLAN& plan);
    // Whether a list of this many bytes still leaves the base record within its size.
    static bool ListFitsResident(const CSimVolume& volume, const CSimFile& file, DWORD dwListBytes);
    // Whether every record of the plan holds its attributes and the end marker.
    static bool Fits(const CSimVolume& volume, const NTFS_PLAN& plan);
    // Record nRecord of the plan (0 the base record), fix-ups applied, into dwRecordBytes bytes.
    static void EncodeRecord(const CSimVolume& volume, const CSimFile& file, const NTFS_PLAN& plan, size_t nRecord,
                             BYTE* pOut);

    static size_t MappingPairsSize(const std::vector<SIM_RUN>& runs, size_t nFirst, size_t nEnd);
    static size_t EncodeMappingPairs(const std::vector<SIM_RUN>& runs, size_t nFirst, size_t nEnd, BYTE* pOut);
    // Decodes the runs of one attribute record; false for a malformed list.
    static bool DecodeMappingPairs(const BYTE* p, size_t nBytes, LONGLONG llLowVcn, std::vector<SIM_RUN>& runs);
};
