#include "engine/DefragPartition.h"

#include <algorithm>

#include "engine/VolumeBitmapReader.h"

namespace {

// The free run being followed across chunk borders, and the longest one closed so far.
struct FREE_RUN_SEARCH
{
    int64_t llOpenStart = -1;
    int64_t llOpenEnd = -1;
    int64_t llBestStart = -1;
    int64_t llBestLength = 0;

    bool IsOpen() const { return llOpenStart >= 0; }
    void Close()
    {
        if (IsOpen() && llOpenEnd - llOpenStart > llBestLength)
        {
            llBestStart = llOpenStart;
            llBestLength = llOpenEnd - llOpenStart;
        }
        llOpenStart = llOpenEnd = -1;
    }
};

// A search often ends near where it starts: its first chunk is small and each next one twice
// as large, up to the whole buffer, so that a search reads about as much as it looks at.
constexpr DWORD FirstChunkBytes = 512 + CVolumeBitmapReader::HeaderBytes + 8;

DWORD NextChunkBytes(DWORD dwAsked, DWORD dwBufferBytes)
{
    return dwAsked >= dwBufferBytes / 2 ? dwBufferBytes : dwAsked * 2 - CVolumeBitmapReader::HeaderBytes - 8;
}

// A file system that rounds the start down by more than a small chunk holds leaves the asked
// cluster outside it: the chunk is then asked again at the buffer's whole size.
BITMAP_READ ReadChunk(BYTE* pBuffer, DWORD& dwAsk, DWORD dwBufferBytes, int64_t llTotalClusters, HANDLE hVolume,
                      int64_t llLcn, BITMAP_CHUNK& stChunk)
{
    for (;;)
    {
        CVolumeBitmapReader reader(pBuffer, dwAsk, llTotalClusters);
        const BITMAP_READ eRead = reader.Read(hVolume, llLcn, stChunk);
        if (eRead != BITMAP_READ::Failed || dwAsk >= dwBufferBytes)
            return eRead;
        dwAsk = dwBufferBytes;
    }
}

bool IsSet(const BYTE* pBytes, ULONG ulBit) { return ((pBytes[ulBit >> 3] >> (ulBit & 7)) & 1) != 0; }

// Some run-time libraries misplace or miscount a clear run searched for from inside a byte:
// the bits up to the next byte are looked at here, and the library is asked from byte starts
// only. The answer is the library's: the run's length, 0 for none, its start in *pulStart.
ULONG FindNextClearRun(native::RTL_BITMAP* pBitmap, ULONG ulFrom, ULONG* pulStart)
{
    const ULONG ulBits = pBitmap->SizeOfBitMap;
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(pBitmap->Buffer);
    ULONG ulPos = ulFrom;
    while (ulPos < ulBits && (ulPos & 7) != 0 && IsSet(pBytes, ulPos))
        ++ulPos;
    if (ulPos >= ulBits)
        return 0;
    if ((ulPos & 7) == 0)
        return native::RtlFindNextForwardRunClear(pBitmap, ulPos, pulStart);
    const ULONG ulStart = ulPos;
    while (ulPos < ulBits && (ulPos & 7) != 0 && !IsSet(pBytes, ulPos))
        ++ulPos;
    ULONG ulLength = ulPos - ulStart;
    if (ulPos < ulBits && (ulPos & 7) == 0)
    {
        ULONG ulNext = 0;
        const ULONG ulMore = native::RtlFindNextForwardRunClear(pBitmap, ulPos, &ulNext);
        if (ulMore != 0 && ulNext == ulPos)
            ulLength += ulMore;
    }
    *pulStart = ulStart;
    return ulLength;
}

} // namespace

bool CDefragPartition::ScanNextUsedCluster(HANDLE hVolume, int64_t llFrom, int64_t& llFound)
{
    llFound = -1;
    DWORD dwAsk = std::min(FirstChunkBytes, m_dwBitmapBufferBytes);
    BITMAP_CHUNK stChunk = {};
    int64_t llLcn = std::max<int64_t>(0, llFrom);
    for (;; dwAsk = NextChunkBytes(dwAsk, m_dwBitmapBufferBytes))
    {
        if (ReadChunk(m_pBitmapBuffer.get(), dwAsk, m_dwBitmapBufferBytes, m_llTotalClusters, hVolume, llLcn,
                      stChunk) != BITMAP_READ::Chunk)
            break;
        const ULONG ulOffset = static_cast<ULONG>(llLcn - stChunk.llStart);
        // The search wraps around to the chunk's start: a hit before the offset is none.
        const ULONG ulHit = native::RtlFindSetBits(&stChunk.stBitmap, 1, ulOffset);
        if (ulHit != native::NoBitFound && ulHit >= ulOffset)
        {
            llFound = stChunk.llStart + ulHit;
            return true;
        }
        llLcn = stChunk.End();
    }
    return false;
}

bool CDefragPartition::ScanFreeRun(HANDLE hVolume, const FREE_RUN_QUERY& query, int64_t& llFound)
{
    llFound = -1;
    const int64_t llWanted = query.llWanted;
    const int64_t llLimit = query.llLimit;
    const int64_t llFrom = query.llFrom;
    const bool bZone = query.bZone;
    if (llWanted < 1)
        return false;
    DWORD dwAsk = std::min(FirstChunkBytes, m_dwBitmapBufferBytes);
    FREE_RUN_SEARCH run;
    BITMAP_CHUNK stChunk = {};
    int64_t llLcn = std::max<int64_t>(0, llFrom);
    for (;; dwAsk = NextChunkBytes(dwAsk, m_dwBitmapBufferBytes))
    {
        if (ReadChunk(m_pBitmapBuffer.get(), dwAsk, m_dwBitmapBufferBytes, m_llTotalClusters, hVolume, llLcn,
                      stChunk) != BITMAP_READ::Chunk)
        {
            // The run that reaches the last cluster counts like any other.
            run.Close();
            llFound = run.llBestStart;
            return false;
        }
        const ULONG ulBits = static_cast<ULONG>(stChunk.llBits);
        ULONG ulPos = static_cast<ULONG>(llLcn - stChunk.llStart);
        llLcn = stChunk.End();
        while (ulPos < ulBits)
        {
            // A run that began before the limit may go on past it.
            if (llLimit >= 0 && !run.IsOpen() && stChunk.llStart + ulPos >= llLimit)
            {
                run.Close();
                llFound = run.llBestStart;
                return false;
            }
            ULONG ulStart = 0;
            const ULONG ulLength = FindNextClearRun(&stChunk.stBitmap, ulPos, &ulStart);
            if (ulLength == 0 || ulStart < ulPos || ulStart >= ulBits)
            {
                run.Close();
                break;
            }
            const int64_t llRun = stChunk.llStart + ulStart;
            // Chunks are followed by cluster number, so a run carried over from the last chunk
            // goes on only where it ended, whatever bit of this chunk that is.
            if (!run.IsOpen() || llRun != run.llOpenEnd)
            {
                run.Close();
                if (llLimit >= 0 && llRun >= llLimit)
                {
                    llFound = run.llBestStart;
                    return false;
                }
                if (bZone && llRun >= query.llZoneStart && llRun <= query.llZoneEnd)
                {
                    // No run may start inside the MFT zone; the search goes on behind it.
                    if (query.llZoneEnd + 1 >= stChunk.End())
                    {
                        llLcn = query.llZoneEnd + 1;
                        break;
                    }
                    ulPos = static_cast<ULONG>(query.llZoneEnd + 1 - stChunk.llStart);
                    continue;
                }
                run.llOpenStart = llRun;
            }
            run.llOpenEnd = llRun + ulLength;
            if (run.llOpenEnd - run.llOpenStart >= llWanted)
            {
                llFound = run.llOpenStart;
                return true;
            }
            if (static_cast<int64_t>(ulStart) + ulLength >= ulBits)
                break;
            run.Close();
            ulPos = ulStart + ulLength;
        }
    }
}
