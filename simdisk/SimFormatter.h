// Lays out a new simulated volume the way its file system's format does: the NTFS metadata
// files with the MFT and its zone, or the FAT32 and exFAT root and system structures.
#pragma once

#include <windows.h>

class CSimVolume;
class CSimFile;

class CSimFormatter
{
public:
    static bool Format(CSimVolume& volume);
    // The index streams every new directory starts with.
    static void AddDirectoryStreams(CSimVolume& volume, CSimFile& dir);

private:
    static bool FormatNtfs(CSimVolume& volume);
    static bool FormatFat(CSimVolume& volume);
    static void AddNtfsMetadata(CSimVolume& volume, LONGLONG llLow);
};
