// Records and constants shared by the simulated volumes: cluster runs, placements of new
// data, file-system kinds and the NTFS attribute type codes.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

enum class SIM_FS
{
    Ntfs,
    Fat32,
    Exfat
};

// One run of a stream: VCNs [llVcn, llVcn + llLength) at LCNs from llLcn, or sparse (llLcn -1).
struct SIM_RUN
{
    LONGLONG llVcn;
    LONGLONG llLcn;
    LONGLONG llLength;
};

constexpr LONGLONG SIM_SPARSE_LCN = -1;

// How a change from outside lays out the clusters it allocates.
enum class SIM_PLACE
{
    Contiguous,  // one run, the first free run long enough from llNear on
    Fragmented,  // nPieces runs, each separated from the previous by at least one cluster
    Interleaved, // nPieces runs with a free gap as long as a piece between them
    Exact        // the runs given, which must be free
};

struct SIM_PLACEMENT
{
    SIM_PLACE ePlace = SIM_PLACE::Contiguous;
    int nPieces = 1;
    LONGLONG llNear = 0;
    std::vector<SIM_RUN> exact; // LCN and length of each run; VCNs are assigned in order
};

inline SIM_PLACEMENT Contiguous(LONGLONG llNear = 0)
{
    SIM_PLACEMENT p;
    p.llNear = llNear;
    return p;
}

inline SIM_PLACEMENT Fragmented(int nPieces, LONGLONG llNear = 0)
{
    SIM_PLACEMENT p;
    p.ePlace = SIM_PLACE::Fragmented;
    p.nPieces = nPieces;
    p.llNear = llNear;
    return p;
}

inline SIM_PLACEMENT Interleaved(int nPieces, LONGLONG llNear = 0)
{
    SIM_PLACEMENT p;
    p.ePlace = SIM_PLACE::Interleaved;
    p.nPieces = nPieces;
    p.llNear = llNear;
    return p;
}

inline SIM_PLACEMENT Exact(std::vector<SIM_RUN> runs)
{
    SIM_PLACEMENT p;
    p.ePlace = SIM_PLACE::Exact;
    p.exact = std::move(runs);
    return p;
}

// NTFS attribute type codes.
namespace ntfs {
constexpr DWORD StandardInformation = 0x10;
constexpr DWORD AttributeList = 0x20;
constexpr DWORD FileName = 0x30;
constexpr DWORD ObjectId = 0x40;
constexpr DWORD SecurityDescriptor = 0x50;
constexpr DWORD VolumeName = 0x60;
constexpr DWORD VolumeInformation = 0x70;
constexpr DWORD Data = 0x80;
constexpr DWORD IndexRoot = 0x90;
constexpr DWORD IndexAllocation = 0xA0;
constexpr DWORD Bitmap = 0xB0;
constexpr DWORD ReparsePoint = 0xC0;
constexpr DWORD EndMarker = 0xFFFFFFFF;

constexpr WORD FlagCompressed = 0x0001;
constexpr WORD FlagSparse = 0x8000;
// Compressed and sparse streams are allocated and moved in units of this many clusters.
constexpr LONGLONG CompressionUnit = 16;

// Records of the metadata files, and the first record that ordinary files get.
constexpr ULONGLONG RecordMft = 0;
constexpr ULONGLONG RecordMftMirr = 1;
constexpr ULONGLONG RecordLogFile = 2;
constexpr ULONGLONG RecordVolume = 3;
constexpr ULONGLONG RecordAttrDef = 4;
constexpr ULONGLONG RecordRoot = 5;
constexpr ULONGLONG RecordBitmap = 6;
constexpr ULONGLONG RecordBoot = 7;
constexpr ULONGLONG RecordBadClus = 8;
constexpr ULONGLONG RecordSecure = 9;
constexpr ULONGLONG RecordUpCase = 10;
constexpr ULONGLONG RecordExtend = 11;
constexpr ULONGLONG FirstMftExtension = 16;
constexpr ULONGLONG FirstExtendChild = 24;
constexpr ULONGLONG FirstUserRecord = 64;
constexpr ULONGLONG LowestFirstUserRecord = 28; // behind the children of $Extend
} // namespace ntfs

// What a change from outside did, in the terms of the directory-change records.
enum class SIM_CHANGE
{
    Added = FILE_ACTION_ADDED,
    Removed = FILE_ACTION_REMOVED,
    Modified = FILE_ACTION_MODIFIED,
    RenamedOld = FILE_ACTION_RENAMED_OLD_NAME,
    RenamedNew = FILE_ACTION_RENAMED_NEW_NAME
};

class CSimVolume;

// Told of every change from outside; the volume's own moves are not changes.
class CSimChangeListener
{
public:
    virtual ~CSimChangeListener() = default;
    virtual void OnChange(const CSimVolume& volume, const std::wstring& strRelativePath, bool bDirectory,
                          SIM_CHANGE eChange) = 0;
};

std::wstring SimUpper(const std::wstring& str);
