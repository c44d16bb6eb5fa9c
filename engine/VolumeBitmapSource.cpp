#include "engine/VolumeBitmapSource.h"

#include <algorithm>
#include <cstring>

#include "engine/BitRange.h"
#include "engine/VolumeBitmapReader.h"

namespace {

// Beyond the bits wanted: one byte for a start rounded down within a byte, and the 64 bits
// that a partial answer holds back.
constexpr DWORD SpareBytes = 1 + 8;

} // namespace

CVolumeBitmapSource::CVolumeBitmapSource(const CUnicodeString& strVolumeName, int64_t llTotalClusters,
                                         int32_t nBytesPerCluster, DWORD dwMaxBitBytes)
    : m_strVolumeName(strVolumeName), m_llTotalClusters(llTotalClusters), m_nBytesPerCluster(nBytesPerCluster),
      m_dwBufferBytes(CVolumeBitmapReader::BufferBytesFor(llTotalClusters, dwMaxBitBytes)),
      m_pBuffer(new ULONGLONG[(m_dwBufferBytes + 7) / 8]), m_hVolume(INVALID_HANDLE_VALUE)
{
}

bool CVolumeBitmapSource::ReadBits(int64_t llLcn, int64_t llCount, BYTE* pBits)
{
    if (llLcn < 0 || llCount < 0 || llLcn + llCount > m_llTotalClusters)
        return false;
    BYTE* pBuffer = reinterpret_cast<BYTE*>(m_pBuffer.get());
    int64_t llDone = 0;
    while (llDone < llCount)
    {
        const int64_t llAt = llLcn + llDone;
        const int64_t llWanted = (llCount - llDone + 7) / 8 + SpareBytes + CVolumeBitmapReader::HeaderBytes;
        DWORD dwAsk = static_cast<DWORD>(std::min<int64_t>(llWanted, m_dwBufferBytes));
        BITMAP_CHUNK stChunk = {};
        BITMAP_READ eRead = CVolumeBitmapReader(pBuffer, dwAsk, m_llTotalClusters).Read(m_hVolume, llAt, stChunk);
        // A file system that rounds the start down by more than the bits asked for answers a
        // chunk without the asked cluster: the whole buffer then reaches it.
        if (eRead == BITMAP_READ::Failed && dwAsk < m_dwBufferBytes)
            eRead = CVolumeBitmapReader(pBuffer, m_dwBufferBytes, m_llTotalClusters).Read(m_hVolume, llAt, stChunk);
        if (eRead != BITMAP_READ::Chunk)
            return false;
        const int64_t llTaken = std::min(stChunk.End() - llAt, llCount - llDone);
        CBitRange::Copy(pBuffer + CVolumeBitmapReader::HeaderBytes, llAt - stChunk.llStart, pBits, llDone, llTaken);
        llDone += llTaken;
    }
    return true;
}

bool CVolumeBitmapSource::CountFreeClusters(int64_t& llFree)
{
    ULARGE_INTEGER uliAvailable = {};
    ULARGE_INTEGER uliTotal = {};
    ULARGE_INTEGER uliFree = {};
    if (m_nBytesPerCluster <= 0 ||
        !sys::GetDiskFreeSpaceExW(m_strVolumeName.GetBuffer(), &uliAvailable, &uliTotal, &uliFree))
        return false;
    llFree = static_cast<int64_t>(uliFree.QuadPart / static_cast<ULONGLONG>(m_nBytesPerCluster));
    return true;
}
