#include "engine/VolumeBitmapReader.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace {

// A partial answer hands back whole bytes, of which the last 64 bits are held back so that
// the next chunk starts on a boundary the file system answers from.
constexpr int64_t HeldBackBits = 64;

} // namespace

DWORD CVolumeBitmapReader::BufferBytesFor(int64_t llTotalClusters, DWORD dwMaxBitBytes)
{
    int64_t llBitBytes = ((llTotalClusters & ~7LL) + 8) / 8;
    llBitBytes = std::min<int64_t>(llBitBytes, dwMaxBitBytes);
    return static_cast<DWORD>(llBitBytes) + HeaderBytes + HeldBackBits / 8;
}

BITMAP_READ CVolumeBitmapReader::Read(HANDLE hVolume, int64_t llLcn, BITMAP_CHUNK& stChunk)
{
    if (llLcn >= m_llTotalClusters)
        return BITMAP_READ::End;
    if (llLcn < 0 || m_dwBufferBytes <= HeaderBytes + HeldBackBits / 8)
        return BITMAP_READ::Failed;
    LONGLONG llStartIn = llLcn;
    DWORD dwReturned = 0;
    bool bComplete = sys::DeviceIoControl(hVolume, FSCTL_GET_VOLUME_BITMAP, &llStartIn, sizeof(llStartIn), m_pBuffer,
                                          m_dwBufferBytes, &dwReturned, nullptr) != FALSE;
    if (!bComplete && ::GetLastError() != ERROR_MORE_DATA)
        return BITMAP_READ::Failed;
    if (dwReturned <= HeaderBytes || dwReturned > m_dwBufferBytes)
        return BITMAP_READ::Failed;
    LONGLONG llStart = 0;
    LONGLONG llSize = 0;
    std::memcpy(&llStart, m_pBuffer, 8);
    std::memcpy(&llSize, m_pBuffer + 8, 8);
    const int64_t llReturnedBits = static_cast<int64_t>(dwReturned - HeaderBytes) * 8;
    // A complete answer says how many of its bits are the volume's; the bits of the last
    // byte past the end mean nothing.
    int64_t llBits = bComplete ? std::min<int64_t>(llSize, llReturnedBits) : llReturnedBits - HeldBackBits;
    llBits = std::min<int64_t>(llBits, m_llTotalClusters - llStart);
    // An answer that does not hold the asked cluster would make the caller ask forever.
    if (llStart < 0 || llStart > llLcn || llBits <= llLcn - llStart || llBits > 0xFFFFFFFFLL)
        return BITMAP_READ::Failed;
    stChunk.llStart = llStart;
    stChunk.llBits = llBits;
    native::RtlInitializeBitMap(&stChunk.stBitmap, reinterpret_cast<PULONG>(m_pBuffer + HeaderBytes),
                                static_cast<ULONG>(llBits));
    return BITMAP_READ::Chunk;
}
