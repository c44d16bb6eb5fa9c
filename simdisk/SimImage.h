// Saves a simulated volume to an image file and loads it back.
//
// Image format, version 2 (all numbers little-endian):
//   Header, 64 bytes:
//     0  8 bytes  magic "VFSIMDSK"
//     8  u32      format version (2)
//    12  u32      header size (64)
//    16  u64      payload size in bytes
//    24  u32      CRC-32 (IEEE, reflected) of the payload followed by the header with this
//                 field zero
//    28  36 bytes reserved, zero
//   Payload: sections, each a u32 tag, a u64 length and that many bytes, in this order:
//     "GEOM"  file system, sector, cluster and record sizes, total clusters, serial number,
//             label and GUID (strings: u32 character count, UTF-16 text), the flags read-only,
//             dirty, removable, delayed free (u8 each), bus type (u8), MFT records, MFT zone
//             start and end (i64), first user record (i64), then the volume's answer choices:
//             moves past the allocation clipped, moves into the MFT zone refused (u8 each),
//             bitmap start granule (i64), bitmap tail set, MFT zone end inclusive, namespace
//             of a lone long name (u8 each)
//     "FILE"  u64 count, then per file: id (u64), sequence (u16), parent (u64), name, short
//             name, attributes, flags, reparse tag (u32 each), created, modified, accessed
//             (i64), next stream slot (u16), extension records (u64 count, u64 each), entry
//             order of a FAT directory (u64 count, u64 each), streams (u32 count; per stream:
//             type (u32), name, slot, flags (u16), data and initialised size (i64), resident
//             (u8), known bytes (u64 count, bytes), runs (u64 count; LCN and length, i64 each))
//     "BITS"  the volume bitmap: u64 bit count, then 64-bit words
//     "MFTB"  the MFT bitmap, the same way
//     "SEQS"  u64 count, then the last sequence number of each record (u16)
//     "XOWN"  u64 count, then pairs of extension record and base record (u64)
//     "CONT"  u64 count, then per content run: LCN, length (i64), file (u64), VCN (i64), slot (u16)
//     "PEND"  u64 count, then per freed run awaiting the next checkpoint: LCN and length (i64)
// A file that is shorter than its header says, whose magic, version, reserved bytes or checksum
// are wrong, whose sections do not parse within their lengths, or that describes a volume no
// file system could hold (CSimVerifier::IsPossible) is refused with a message saying so.
// Saving writes the image as it is made, no copy of it held in memory, to PATH.new, which is
// renamed over PATH once whole: an image holds either the old or the new volume.
#pragma once

#include "simdisk/SimVolume.h"

#include <memory>
#include <string>

class CSimImage
{
public:
    static constexpr DWORD FormatVersion = 2;
    // The largest volume an image describes.
    static constexpr LONGLONG MaxClusters = 1ll << 36;

    // False with a message in *pstrError.
    static bool Save(const CSimVolume& volume, const std::wstring& strPath, std::wstring* pstrError);
    static std::unique_ptr<CSimVolume> Load(const std::wstring& strPath, std::wstring* pstrError);

    static std::vector<BYTE> Encode(const CSimVolume& volume);
    static std::unique_ptr<CSimVolume> Decode(const std::vector<BYTE>& image, std::wstring* pstrError);
};
