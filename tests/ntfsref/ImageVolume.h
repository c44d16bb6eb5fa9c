// CImageVolume: a real NTFS volume kept in an image file, served read-only behind the system
// seam the way the file system serves an open volume: its NTFS data from the boot sector,
// file records from the MFT (fix-ups applied, the nearest lower record in use for a free
// number), and raw reads of whole sectors. It finds the MFT with a small decoder of its own,
// so that a misreading shared with the reader under test cannot hide.
#pragma once

#include "tests/engine/SeamVolume.h"

#include <winioctl.h>

#include <string>
#include <vector>

namespace ntfsref {

// The runs of one attribute record's mapping pairs, as VCN, LCN (-1 sparse) and length
// triples; false for pairs that run past their bytes or have fields of more than 8 bytes.
bool DecodePairs(const BYTE* p, size_t nBytes, LONGLONG llVcn, std::vector<LONGLONG>& out);

class CImageVolume : public ntfstest::CSeamVolume
{
public:
    CImageVolume();
    ~CImageVolume() override;

    // Opens the image and puts the volume behind the seam; false with the reason otherwise.
    bool Open(const std::wstring& strImage, std::string& strError);

    // A record as the file system hands it out, fix-ups applied; false for one beyond the MFT.
    bool ReadRecord(LONGLONG llRecord, std::vector<BYTE>& record) const;

private:
    struct RUN
    {
        LONGLONG llVcn;
        LONGLONG llLcn;
        LONGLONG llLength;
    };

    BOOL AnswerControl(DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) override;
    BOOL ReadAt(LONGLONG llOffset, BYTE* pBuffer, DWORD dwBytes, LPDWORD pdwRead) override;

    bool ReadBytes(LONGLONG llOffset, void* pBuffer, DWORD dwBytes) const;
    bool ReadMftRecord(LONGLONG llRecord, std::vector<BYTE>& record) const;
    bool FindMft(std::string& strError);
    bool AddDataRuns(const std::vector<BYTE>& record, std::string& strError);
    BOOL AnswerVolumeData(LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) const;
    BOOL AnswerRecord(LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) const;

    HANDLE m_hImage;
    DWORD m_dwBytesPerSector;
    DWORD m_dwBytesPerCluster;
    DWORD m_dwBytesPerRecord;
    LONGLONG m_llTotalSectors;
    LONGLONG m_llMftLcn;
    LONGLONG m_llMirrorLcn;
    LONGLONG m_llSerial;
    LONGLONG m_llMftBytes;
    std::vector<RUN> m_mftRuns;
};

} // namespace ntfsref
