#include "NtfsTestVolume.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace ntfstest {
namespace {

void PutBytes(Bytes& out, size_t nAt, const void* p, size_t n)
{
    if (out.size() < nAt + n)
        out.resize(nAt + n);
    memcpy(out.data() + nAt, p, n);
}

template <typename T>
void PutAt(Bytes& out, size_t nAt, T value)
{
    PutBytes(out, nAt, &value, sizeof(value));
}

void PutName(Bytes& out, size_t nAt, const std::wstring& strName)
{
    PutBytes(out, nAt, strName.data(), strName.size() * sizeof(wchar_t));
}

size_t Align8(size_t n) { return (n + 7) & ~size_t(7); }

int UnsignedBytes(ULONGLONG ullValue)
{
    int n = 1;
    while (n < 8 && (ullValue >> (8 * n)) != 0)
        ++n;
    return n;
}

int SignedBytes(LONGLONG llValue)
{
    int n = 1;
    while (n < 8 && (llValue < -(1LL << (8 * n - 1)) || llValue >= (1LL << (8 * n - 1))))
        ++n;
    return n;
}

void PutField(Bytes& out, ULONGLONG ullValue, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        out.push_back(static_cast<BYTE>(ullValue >> (8 * i)));
}

} // namespace

Bytes EncodeRuns(const std::vector<RUN_SPEC>& runs, int nFieldBytes)
{
    Bytes pairs;
    LONGLONG llPrevious = 0;
    for (const RUN_SPEC& run : runs)
    {
        int nLength = nFieldBytes != 0 ? nFieldBytes : UnsignedBytes(static_cast<ULONGLONG>(run.llLength));
        LONGLONG llDelta = run.llLcn - llPrevious;
        int nOffset = run.llLcn == Sparse ? 0 : (nFieldBytes != 0 ? nFieldBytes : SignedBytes(llDelta));
        pairs.push_back(static_cast<BYTE>(nLength | (nOffset << 4)));
        PutField(pairs, static_cast<ULONGLONG>(run.llLength), nLength);
        PutField(pairs, static_cast<ULONGLONG>(llDelta), nOffset);
        if (run.llLcn != Sparse)
            llPrevious = run.llLcn;
    }
    pairs.push_back(0);
    return pairs;
}

Bytes FileNameValue(ULONGLONG ullParent, const std::wstring& strName, BYTE byNamespace)
{
    Bytes value(66, 0);
    PutAt<ULONGLONG>(value, 0, ullParent | (1ull << 48));
    value[64] = static_cast<BYTE>(strName.size());
    value[65] = byNamespace;
    PutName(value, 66, strName);
    return value;
}

Bytes StandardInformationValue(LONGLONG llModified)
{
    Bytes value(72, 0);
    PutAt<LONGLONG>(value, 0, llModified - 1);
    PutAt<LONGLONG>(value, 8, llModified);
    return value;
}

Bytes ListEntry(DWORD dwType, ULONGLONG ullRecord, WORD wInstance, LONGLONG llLowestVcn, const std::wstring& strName)
{
    Bytes entry(26, 0);
    PutAt<DWORD>(entry, 0, dwType);
    entry[6] = static_cast<BYTE>(strName.size());
    entry[7] = 26;
    PutAt<LONGLONG>(entry, 8, llLowestVcn);
    PutAt<ULONGLONG>(entry, 16, ullRecord | (1ull << 48));
    PutAt<WORD>(entry, 24, wInstance);
    PutName(entry, 26, strName);
    entry.resize(Align8(entry.size()));
    PutAt<WORD>(entry, 4, static_cast<WORD>(entry.size()));
    return entry;
}

CRecord::CRecord(DWORD dwBytesPerRecord, WORD wFlags, ULONGLONG ullBase, WORD wFirstAttribute)
    : m_dwBytesPerRecord(dwBytesPerRecord), m_wFlags(wFlags), m_ullBase(ullBase), m_wFirstAttribute(wFirstAttribute),
      m_bEndMarker(true)
{
}

CRecord& CRecord::Resident(DWORD dwType, WORD wInstance, const Bytes& value, const std::wstring& strName)
{
    Bytes attribute(24, 0);
    size_t nValue = Align8(24 + strName.size() * 2);
    PutAt<DWORD>(attribute, 0, dwType);
    attribute[9] = static_cast<BYTE>(strName.size());
    PutAt<WORD>(attribute, 10, 24);
    PutAt<WORD>(attribute, 14, wInstance);
    PutAt<DWORD>(attribute, 16, static_cast<DWORD>(value.size()));
    PutAt<WORD>(attribute, 20, static_cast<WORD>(nValue));
    PutName(attribute, 24, strName);
    PutBytes(attribute, nValue, value.data(), value.size());
    attribute.resize(Align8(attribute.size()));
    PutAt<DWORD>(attribute, 4, static_cast<DWORD>(attribute.size()));
    return Raw(attribute);
}

CRecord& CRecord::NonResident(DWORD dwType, WORD wInstance, LONGLONG llLowestVcn, LONGLONG llHighestVcn,
                              const Bytes& pairs, LONGLONG llDataSize, const std::wstring& strName)
{
    Bytes attribute(64, 0);
    size_t nPairs = Align8(64 + strName.size() * 2);
    PutAt<DWORD>(attribute, 0, dwType);
    attribute[8] = 1;
    attribute[9] = static_cast<BYTE>(strName.size());
    PutAt<WORD>(attribute, 10, 64);
    PutAt<WORD>(attribute, 14, wInstance);
    PutAt<LONGLONG>(attribute, 16, llLowestVcn);
    PutAt<LONGLONG>(attribute, 24, llHighestVcn);
    PutAt<WORD>(attribute, 32, static_cast<WORD>(nPairs));
    PutAt<LONGLONG>(attribute, 40, llDataSize);
    PutAt<LONGLONG>(attribute, 48, llDataSize);
    PutAt<LONGLONG>(attribute, 56, llDataSize);
    PutName(attribute, 64, strName);
    PutBytes(attribute, nPairs, pairs.data(), pairs.size());
    attribute.resize(Align8(attribute.size()));
    PutAt<DWORD>(attribute, 4, static_cast<DWORD>(attribute.size()));
    return Raw(attribute);
}

CRecord& CRecord::Raw(const Bytes& attribute)
{
    m_attributes.insert(m_attributes.end(), attribute.begin(), attribute.end());
    return *this;
}

CRecord& CRecord::WithoutEndMarker()
{
    m_bEndMarker = false;
    return *this;
}

Bytes CRecord::Build() const
{
    Bytes record(m_wFirstAttribute, 0);
    memcpy(record.data(), "FILE", 4);
    PutAt<WORD>(record, 4, 0x30);
    PutAt<WORD>(record, 6, static_cast<WORD>(1 + m_dwBytesPerRecord / 512));
    PutAt<WORD>(record, 16, 1);
    PutAt<WORD>(record, 18, 1);
    PutAt<WORD>(record, 20, m_wFirstAttribute);
    PutAt<WORD>(record, 22, m_wFlags);
    PutAt<ULONGLONG>(record, 32, m_ullBase);
    record.insert(record.end(), m_attributes.begin(), m_attributes.end());
    if (m_bEndMarker)
    {
        const BYTE abEnd[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
        record.insert(record.end(), abEnd, abEnd + 8);
    }
    PutAt<DWORD>(record, 24, static_cast<DWORD>(record.size()));
    PutAt<DWORD>(record, 28, m_dwBytesPerRecord);
    if (record.size() < m_dwBytesPerRecord)
        record.resize(m_dwBytesPerRecord, 0);
    return record;
}

CTestVolume::CTestVolume(DWORD dwBytesPerRecord, DWORD dwBytesPerCluster, LONGLONG llTotalClusters)
    : m_dwBytesPerRecord(dwBytesPerRecord), m_dwBytesPerCluster(dwBytesPerCluster), m_llTotalClusters(llTotalClusters)
{
    Install();
}

void CTestVolume::Put(ULONGLONG ullRecord, const Bytes& record)
{
    m_records[ullRecord] = record;
}

void CTestVolume::PutClusters(LONGLONG llLcn, const Bytes& bytes)
{
    for (size_t nAt = 0; nAt < bytes.size(); nAt += m_dwBytesPerCluster, ++llLcn)
    {
        Bytes& cluster = m_clusters[llLcn];
        cluster.assign(m_dwBytesPerCluster, 0);
        memcpy(cluster.data(), bytes.data() + nAt, std::min<size_t>(m_dwBytesPerCluster, bytes.size() - nAt));
    }
}

void CTestVolume::FinishMft(const std::vector<RUN_SPEC>& bitmapRuns, const std::vector<ULONGLONG>& staleBits,
                            LONGLONG llMftRecords)
{
    std::set<ULONGLONG> bits(staleBits.begin(), staleBits.end());
    bits.insert(0);
    for (const auto& record : m_records)
        bits.insert(record.first);
    LONGLONG llInitialized = static_cast<LONGLONG>(Align8(*bits.rbegin() / 8 + 1));
    LONGLONG llClusters = 0;
    for (const RUN_SPEC& run : bitmapRuns)
        llClusters += run.llLength;
    Bytes bitmap(static_cast<size_t>(llClusters * m_dwBytesPerCluster), 0xFF);
    std::fill(bitmap.begin(), bitmap.begin() + llInitialized, 0);
    for (ULONGLONG ullBit : bits)
        bitmap[ullBit / 8] |= static_cast<BYTE>(1 << (ullBit % 8));
    size_t nAt = 0;
    for (const RUN_SPEC& run : bitmapRuns)
    {
        size_t nBytes = static_cast<size_t>(run.llLength * m_dwBytesPerCluster);
        if (run.llLcn != Sparse)
            PutClusters(run.llLcn, Bytes(bitmap.begin() + nAt, bitmap.begin() + nAt + nBytes));
        nAt += nBytes;
    }
    Bytes pairs = EncodeRuns(bitmapRuns);
    if (llMftRecords == 0)
        llMftRecords = static_cast<LONGLONG>(*bits.rbegin()) + 1;
    CRecord mft(m_dwBytesPerRecord, CRecord::InUse);
    mft.Resident(0x10, 0, StandardInformationValue(1))
        .Resident(0x30, 1, FileNameValue(5, L"$MFT", 3))
        .Raw(MftData(llMftRecords))
        .NonResident(0xB0, 3, 0, llClusters - 1, pairs, llInitialized);
    Put(0, mft.Build());
}

// The MFT's unnamed $DATA, sized for a number of records; the reader reads its size only.
Bytes CTestVolume::MftData(LONGLONG llRecords) const
{
    LONGLONG llBytes = llRecords * m_dwBytesPerRecord;
    LONGLONG llClusters = (llBytes + m_dwBytesPerCluster - 1) / m_dwBytesPerCluster;
    Bytes record = CRecord(m_dwBytesPerRecord, 0).NonResident(0x80, 2, 0, llClusters - 1, EncodeRuns({{llClusters, 16}}),
                                                              llBytes).Build();
    DWORD dwLength = 0;
    memcpy(&dwLength, record.data() + 56 + 4, sizeof(dwLength));
    return Bytes(record.begin() + 56, record.begin() + 56 + dwLength);
}

void CTestVolume::PutRoot()
{
    Put(5, CRecord(m_dwBytesPerRecord, CRecord::InUseDirectory)
               .Resident(0x10, 0, StandardInformationValue(1))
               .Resident(0x30, 1, FileNameValue(5, L".", 3))
               .Build());
}

void CTestVolume::PutDirectory(ULONGLONG ullRecord, ULONGLONG ullParent, const std::wstring& strName)
{
    Put(ullRecord, CRecord(m_dwBytesPerRecord, CRecord::InUseDirectory)
                       .Resident(0x10, 0, StandardInformationValue(1))
                       .Resident(0x30, 1, FileNameValue(ullParent, strName))
                       .Build());
}

void CTestVolume::PutFile(ULONGLONG ullRecord, ULONGLONG ullParent, const std::wstring& strName)
{
    Put(ullRecord, CRecord(m_dwBytesPerRecord, CRecord::InUse)
                       .Resident(0x10, 0, StandardInformationValue(1))
                       .Resident(0x30, 1, FileNameValue(ullParent, strName))
                       .Resident(0x80, 2, Bytes(10, 'x'))
                       .Build());
}

BOOL CTestVolume::AnswerControl(DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned)
{
    if (dwCode != FSCTL_GET_NTFS_FILE_RECORD)
    {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return AnswerRecord(pIn, dwIn, pOut, dwOut, pdwReturned);
}

// The highest record in use at or below the one asked for, as the file system answers.
BOOL CTestVolume::AnswerRecord(LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned)
{
    *pdwReturned = 0;
    const DWORD dwHeader = offsetof(NTFS_FILE_RECORD_OUTPUT_BUFFER, FileRecordBuffer);
    if (dwIn < sizeof(LONGLONG))
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG llAsked = 0;
    memcpy(&llAsked, pIn, sizeof(llAsked));
    m_asked.push_back(llAsked);
    auto it = m_records.upper_bound(static_cast<ULONGLONG>(llAsked));
    if (llAsked < 0 || llAsked == m_llFailRecord || it == m_records.begin())
    {
        ::SetLastError(llAsked < 0 ? ERROR_INVALID_PARAMETER : ERROR_IO_DEVICE);
        return FALSE;
    }
    --it;
    if (dwOut < dwHeader + it->second.size())
    {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto pAnswer = static_cast<NTFS_FILE_RECORD_OUTPUT_BUFFER*>(pOut);
    pAnswer->FileReferenceNumber.QuadPart = static_cast<LONGLONG>(it->first);
    pAnswer->FileRecordLength = static_cast<DWORD>(it->second.size());
    memcpy(pAnswer->FileRecordBuffer, it->second.data(), it->second.size());
    *pdwReturned = dwHeader + static_cast<DWORD>(it->second.size());
    return TRUE;
}

// Whole clusters only, within the volume; clusters never written read as zeros.
BOOL CTestVolume::ReadAt(LONGLONG llOffset, BYTE* pBuffer, DWORD dwBytes, LPDWORD pdwRead)
{
    LONGLONG llFirst = llOffset / m_dwBytesPerCluster;
    LONGLONG llCount = dwBytes / m_dwBytesPerCluster;
    bool bFails = m_llFailLcn >= llFirst && m_llFailLcn < llFirst + llCount;
    if (llOffset % m_dwBytesPerCluster != 0 || dwBytes % m_dwBytesPerCluster != 0 ||
        llFirst + llCount > m_llTotalClusters || bFails)
    {
        ::SetLastError(bFails ? ERROR_CRC : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (LONGLONG i = 0; i < llCount; ++i)
    {
        auto it = m_clusters.find(llFirst + i);
        BYTE* pCluster = pBuffer + i * m_dwBytesPerCluster;
        if (it != m_clusters.end())
            memcpy(pCluster, it->second.data(), m_dwBytesPerCluster);
        else
            memset(pCluster, 0, m_dwBytesPerCluster);
    }
    *pdwRead = dwBytes;
    return TRUE;
}

} // namespace ntfstest
