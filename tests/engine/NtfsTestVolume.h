// A stand-in for an NTFS volume behind the system seam: hand-built file records, served the
// way the file system serves them (the nearest lower record in use), and raw clusters for the
// MFT bitmap and attribute lists that the reader reads from the volume itself.
#pragma once

#include "tests/engine/SeamVolume.h"

#include <map>
#include <string>
#include <vector>

namespace ntfstest {

using Bytes = std::vector<BYTE>;

constexpr LONGLONG Sparse = -1;

struct RUN_SPEC
{
    LONGLONG llLength;
    LONGLONG llLcn;  // Sparse for a run without clusters
};

// Mapping pairs with the fewest bytes each field needs, or nFieldBytes for every field.
Bytes EncodeRuns(const std::vector<RUN_SPEC>& runs, int nFieldBytes = 0);

Bytes FileNameValue(ULONGLONG ullParent, const std::wstring& strName, BYTE byNamespace = 1);
Bytes StandardInformationValue(LONGLONG llModified);
Bytes ListEntry(DWORD dwType, ULONGLONG ullRecord, WORD wInstance, LONGLONG llLowestVcn = 0,
                const std::wstring& strName = L"");

// One file record, attribute by attribute.
class CRecord
{
public:
    static constexpr WORD InUse = 0x1;
    static constexpr WORD InUseDirectory = 0x3;

    CRecord(DWORD dwBytesPerRecord, WORD wFlags, ULONGLONG ullBase = 0, WORD wFirstAttribute = 56);

    CRecord& Resident(DWORD dwType, WORD wInstance, const Bytes& value, const std::wstring& strName = L"");
    CRecord& NonResident(DWORD dwType, WORD wInstance, LONGLONG llLowestVcn, LONGLONG llHighestVcn,
                         const Bytes& pairs, LONGLONG llDataSize, const std::wstring& strName = L"");
    // An attribute exactly as given, for damage the builder would not make.
    CRecord& Raw(const Bytes& attribute);
    CRecord& WithoutEndMarker();

    Bytes Build() const;

private:
    DWORD m_dwBytesPerRecord;
    WORD m_wFlags;
    ULONGLONG m_ullBase;
    WORD m_wFirstAttribute;
    Bytes m_attributes;
    bool m_bEndMarker;
};

class CTestVolume : public CSeamVolume
{
public:
    CTestVolume(DWORD dwBytesPerRecord = 1024, DWORD dwBytesPerCluster = 4096, LONGLONG llTotalClusters = 4096);

    DWORD BytesPerRecord() const { return m_dwBytesPerRecord; }
    DWORD BytesPerCluster() const { return m_dwBytesPerCluster; }

    void Put(ULONGLONG ullRecord, const Bytes& record);
    void PutClusters(LONGLONG llLcn, const Bytes& bytes);
    // Record 0 with its bitmap over these runs: a bit for each record put and each stale one.
    // The bytes behind the initialized size are left set, which the reader must ignore. The
    // MFT holds llMftRecords records, or (0) just enough for every bit.
    void FinishMft(const std::vector<RUN_SPEC>& bitmapRuns, const std::vector<ULONGLONG>& staleBits = {},
                   LONGLONG llMftRecords = 0);
    // The MFT's unnamed $DATA attribute for that many records.
    Bytes MftData(LONGLONG llRecords) const;
    // The root, and a directory or a file with a Win32 name.
    void PutRoot();
    void PutDirectory(ULONGLONG ullRecord, ULONGLONG ullParent, const std::wstring& strName);
    void PutFile(ULONGLONG ullRecord, ULONGLONG ullParent, const std::wstring& strName);

    LONGLONG m_llFailRecord = -1;  // the record request for it fails
    LONGLONG m_llFailLcn = -1;     // a raw read over it fails
    std::vector<LONGLONG> m_asked; // record numbers asked for, in order

private:
    BOOL AnswerControl(DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) override;
    BOOL ReadAt(LONGLONG llOffset, BYTE* pBuffer, DWORD dwBytes, LPDWORD pdwRead) override;
    BOOL AnswerRecord(LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned);

    DWORD m_dwBytesPerRecord;
    DWORD m_dwBytesPerCluster;
    LONGLONG m_llTotalClusters;
    std::map<ULONGLONG, Bytes> m_records;
    std::map<LONGLONG, Bytes> m_clusters;
};

} // namespace ntfstest
