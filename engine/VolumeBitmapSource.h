// CVolumeBitmapSource: the bitmap of a volume read through its bitmap control, each read
// asking for no more than the bits wanted, and the volume's free count from its free space.
#pragma once

#include <memory>

#include "engine/BitmapSource.h"
#include "base/UnicodeString.h"

class CVolumeBitmapSource : public CBitmapSource
{
public:
    CVolumeBitmapSource(const CUnicodeString& strVolumeName, int64_t llTotalClusters, int32_t nBytesPerCluster,
                        DWORD dwMaxBitBytes);

    // The handle of the search under way; it stays the caller's.
    void SetVolume(HANDLE hVolume) { m_hVolume = hVolume; }

    int64_t TotalClusters() const override { return m_llTotalClusters; }
    bool ReadBits(int64_t llLcn, int64_t llCount, BYTE* pBits) override;
    bool CountFreeClusters(int64_t& llFree) override;

private:
    CUnicodeString m_strVolumeName;
    int64_t m_llTotalClusters;
    int32_t m_nBytesPerCluster;
    DWORD m_dwBufferBytes;
    std::unique_ptr<ULONGLONG[]> m_pBuffer;   // ULONG-aligned for the bitmap routines
    HANDLE m_hVolume;
};
