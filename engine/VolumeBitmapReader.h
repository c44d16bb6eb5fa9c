// CVolumeBitmapReader: reads a volume's allocation bitmap chunk by chunk into a buffer that
// its owner keeps, taking each chunk's start and size from the file system's answer: the
// start may be rounded down, and a partial answer's last 64 bits are not used.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/NativeFunctions.h"

enum class BITMAP_READ
{
    Chunk,  // a chunk that holds the asked cluster
    End,    // the asked cluster is the end of the volume
    Failed
};

struct BITMAP_CHUNK
{
    int64_t llStart;        // LCN of bit 0
    int64_t llBits;         // usable bits
    native::RTL_BITMAP stBitmap;

    int64_t End() const { return llStart + llBits; }
};

class CVolumeBitmapReader
{
public:
    // A header of 16 bytes in front of the bits, as the control answers.
    static constexpr DWORD HeaderBytes = 16;

    // pBuffer: dwBufferBytes, ULONG-aligned, owned by the caller.
    CVolumeBitmapReader(BYTE* pBuffer, DWORD dwBufferBytes, int64_t llTotalClusters)
        : m_pBuffer(pBuffer), m_dwBufferBytes(dwBufferBytes), m_llTotalClusters(llTotalClusters)
    {
    }

    BITMAP_READ Read(HANDLE hVolume, int64_t llLcn, BITMAP_CHUNK& stChunk);

    // Buffer size for a volume: one bit per cluster and a spare byte, at most dwMaxBitBytes
    // bytes of bits, with the header and the 64 bits a partial answer leaves unused.
    static DWORD BufferBytesFor(int64_t llTotalClusters, DWORD dwMaxBitBytes);

private:
    BYTE* m_pBuffer;
    DWORD m_dwBufferBytes;
    int64_t m_llTotalClusters;
};
