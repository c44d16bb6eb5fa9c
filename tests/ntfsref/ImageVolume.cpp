#include "tests/ntfsref/ImageVolume.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace ntfsref {
namespace {

using le::Get;

// Restores the sector tails that the update sequence array keeps; false for a torn record.
bool ApplyFixups(std::vector<BYTE>& record)
{
    WORD wOffset = Get<WORD>(record.data(), 4);
    WORD wCount = Get<WORD>(record.data(), 6);
    if (wCount < 2 || record.size() % (wCount - 1) != 0 || wOffset + 2u * wCount > record.size())
        return false;
    size_t nStride = record.size() / (wCount - 1);
    for (WORD i = 1; i < wCount; ++i)
    {
        BYTE* pTail = record.data() + i * nStride - 2;
        if (memcmp(pTail, record.data() + wOffset, 2) != 0)
            return false;
        memcpy(pTail, record.data() + wOffset + 2 * i, 2);
    }
    return true;
}

bool InUse(const std::vector<BYTE>& record)
{
    return memcmp(record.data(), "FILE", 4) == 0 && (Get<WORD>(record.data(), 22) & 0x1) != 0;
}

} // namespace

// The runs of one attribute record's mapping pairs, written from the on-disk rules: a header
// byte with the size of the length (low four bits) and of the signed LCN delta (high four
// bits), no delta for a sparse run, a zero byte at the end.
bool DecodePairs(const BYTE* p, size_t nBytes, LONGLONG llVcn, std::vector<LONGLONG>& out)
{
    LONGLONG llLcn = 0;
    for (size_t i = 0; i < nBytes;)
    {
        BYTE byHeader = p[i++];
        if (byHeader == 0)
            return true;
        size_t nLength = byHeader & 0xF;
        size_t nDelta = byHeader >> 4;
        if (nLength == 0 || nLength > 8 || nDelta > 8 || i + nLength + nDelta > nBytes)
            return false;
        ULONGLONG ullLength = 0;
        for (size_t b = 0; b < nLength; ++b)
            ullLength |= static_cast<ULONGLONG>(p[i + b]) << (8 * b);
        i += nLength;
        ULONGLONG ullDelta = 0;
        for (size_t b = 0; b < nDelta; ++b)
            ullDelta |= static_cast<ULONGLONG>(p[i + b]) << (8 * b);
        if (nDelta > 0 && nDelta < 8 && (p[i + nDelta - 1] & 0x80) != 0)
            ullDelta |= ~0ull << (8 * nDelta);
        i += nDelta;
        if (nDelta != 0)
            llLcn += static_cast<LONGLONG>(ullDelta);
        out.push_back(llVcn);
        out.push_back(nDelta != 0 ? llLcn : -1);
        out.push_back(static_cast<LONGLONG>(ullLength));
        llVcn += static_cast<LONGLONG>(ullLength);
    }
    return false;
}

CImageVolume::CImageVolume()
    : m_hImage(INVALID_HANDLE_VALUE), m_dwBytesPerSector(0), m_dwBytesPerCluster(0), m_dwBytesPerRecord(0),
      m_llTotalSectors(0), m_llMftLcn(0), m_llMirrorLcn(0), m_llSerial(0), m_llMftBytes(0)
{
}

CImageVolume::~CImageVolume()
{
    if (m_hImage != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hImage);
}

bool CImageVolume::Open(const std::wstring& strImage, std::string& strError)
{
    m_hImage = ::CreateFileW(strImage.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_hImage == INVALID_HANDLE_VALUE)
    {
        strError = "cannot open the image, error " + std::to_string(::GetLastError());
        return false;
    }
    BYTE abBoot[512];
    if (!ReadBytes(0, abBoot, sizeof(abBoot)) || memcmp(abBoot + 3, "NTFS    ", 8) != 0)
    {
        strError = "no NTFS boot sector";
        return false;
    }
    m_dwBytesPerSector = Get<WORD>(abBoot, 0x0B);
    BYTE bySectors = abBoot[0x0D];
    DWORD dwSectorsPerCluster = bySectors <= 0x80 ? bySectors : 1u << (256 - bySectors);
    m_dwBytesPerCluster = m_dwBytesPerSector * dwSectorsPerCluster;
    m_llTotalSectors = Get<LONGLONG>(abBoot, 0x28);
    m_llMftLcn = Get<LONGLONG>(abBoot, 0x30);
    m_llMirrorLcn = Get<LONGLONG>(abBoot, 0x38);
    signed char chRecord = static_cast<signed char>(abBoot[0x40]);
    m_dwBytesPerRecord = chRecord > 0 ? chRecord * m_dwBytesPerCluster : 1u << -chRecord;
    m_llSerial = Get<LONGLONG>(abBoot, 0x48);
    if (m_dwBytesPerSector < 512 || m_dwBytesPerCluster == 0 || m_dwBytesPerRecord < 1024)
    {
        strError = "boot sector geometry out of range";
        return false;
    }
    if (!FindMft(strError))
        return false;
    Install();
    return true;
}

bool CImageVolume::ReadBytes(LONGLONG llOffset, void* pBuffer, DWORD dwBytes) const
{
    LARGE_INTEGER liOffset;
    liOffset.QuadPart = llOffset;
    DWORD dwRead = 0;
    return ::SetFilePointerEx(m_hImage, liOffset, nullptr, FILE_BEGIN) &&
           ::ReadFile(m_hImage, pBuffer, dwBytes, &dwRead, nullptr) && dwRead == dwBytes;
}

// Record n of the MFT's data, through the MFT runs found so far, before fix-ups.
bool CImageVolume::ReadMftRecord(LONGLONG llRecord, std::vector<BYTE>& record) const
{
    record.assign(m_dwBytesPerRecord, 0);
    LONGLONG llOffset = llRecord * m_dwBytesPerRecord;
    for (DWORD dwDone = 0; dwDone < m_dwBytesPerRecord;)
    {
        LONGLONG llVcn = (llOffset + dwDone) / m_dwBytesPerCluster;
        DWORD dwWithin = static_cast<DWORD>((llOffset + dwDone) % m_dwBytesPerCluster);
        auto it = std::find_if(m_mftRuns.begin(), m_mftRuns.end(), [&](const RUN& run) {
            return run.llVcn <= llVcn && llVcn < run.llVcn + run.llLength;
        });
        if (it == m_mftRuns.end() || it->llLcn < 0)
            return false;
        DWORD dwTake = std::min(m_dwBytesPerRecord - dwDone, m_dwBytesPerCluster - dwWithin);
        LONGLONG llLcn = it->llLcn + (llVcn - it->llVcn);
        if (!ReadBytes(llLcn * m_dwBytesPerCluster + dwWithin, record.data() + dwDone, dwTake))
            return false;
        dwDone += dwTake;
    }
    return true;
}

// The unnamed $DATA pieces of an MFT record add their runs to the MFT's.
bool CImageVolume::AddDataRuns(const std::vector<BYTE>& record, std::string& strError)
{
    // The end marker needs only its own four bytes: a full record may have it in its last sixteen.
    for (size_t nAt = Get<WORD>(record.data(), 20); nAt + 4 <= record.size();)
    {
        const BYTE* p = record.data() + nAt;
        DWORD dwType = Get<DWORD>(p, 0);
        if (dwType == 0xFFFFFFFF)
            return true;
        if (nAt + 16 > record.size())
            break;
        DWORD dwLength = Get<DWORD>(p, 4);
        if (dwLength < 16 || nAt + dwLength > record.size())
            break;
        if (dwType == 0x80 && p[8] != 0 && p[9] == 0)
        {
            if (Get<LONGLONG>(p, 16) == 0)
                m_llMftBytes = Get<LONGLONG>(p, 48);
            std::vector<LONGLONG> runs;
            WORD wPairs = Get<WORD>(p, 32);
            if (wPairs >= dwLength || !DecodePairs(p + wPairs, dwLength - wPairs, Get<LONGLONG>(p, 16), runs))
                break;
            for (size_t i = 0; i < runs.size(); i += 3)
                m_mftRuns.push_back({runs[i], runs[i + 1], runs[i + 2]});
        }
        nAt += dwLength;
    }
    strError = "a record of the MFT does not hold together";
    return false;
}

// Record 0 lies at the boot sector's MFT cluster; when $MFT has an attribute list, the rest
// of its data runs are in the extension records that the list names, which the runs of the
// first piece reach.
bool CImageVolume::FindMft(std::string& strError)
{
    std::vector<BYTE> record(m_dwBytesPerRecord);
    if (!ReadBytes(m_llMftLcn * m_dwBytesPerCluster, record.data(), m_dwBytesPerRecord) || !ApplyFixups(record) ||
        !InUse(record) || !AddDataRuns(record, strError))
    {
        strError = "record 0 cannot be read: " + strError;
        return false;
    }
    std::vector<BYTE> list;
    for (size_t nAt = Get<WORD>(record.data(), 20); nAt + 24 <= record.size();)
    {
        const BYTE* p = record.data() + nAt;
        if (Get<DWORD>(p, 0) == 0xFFFFFFFF || Get<DWORD>(p, 4) < 24)
            break;
        if (Get<DWORD>(p, 0) == 0x20 && p[8] == 0)
            list.assign(p + Get<WORD>(p, 20), p + Get<WORD>(p, 20) + Get<DWORD>(p, 16));
        else if (Get<DWORD>(p, 0) == 0x20)
        {
            std::vector<LONGLONG> runs;
            WORD wPairs = Get<WORD>(p, 32);
            DecodePairs(p + wPairs, Get<DWORD>(p, 4) - wPairs, 0, runs);
            for (size_t i = 0; i < runs.size(); i += 3)
            {
                size_t nHave = list.size();
                list.resize(nHave + static_cast<size_t>(runs[i + 2]) * m_dwBytesPerCluster);
                if (runs[i + 1] >= 0 && !ReadBytes(runs[i + 1] * m_dwBytesPerCluster, list.data() + nHave,
                                                   static_cast<DWORD>(list.size() - nHave)))
                    break;
            }
            list.resize(std::min<size_t>(list.size(), static_cast<size_t>(Get<LONGLONG>(p, 56))));
        }
        nAt += Get<DWORD>(p, 4);
    }
    for (size_t nAt = 0; nAt + 26 <= list.size() && Get<WORD>(list.data(), nAt + 4) >= 26;
         nAt += Get<WORD>(list.data(), nAt + 4))
    {
        const BYTE* pEntry = list.data() + nAt;
        LONGLONG llHolder = static_cast<LONGLONG>(Get<ULONGLONG>(pEntry, 16) & 0xFFFFFFFFFFFFull);
        if (Get<DWORD>(pEntry, 0) != 0x80 || pEntry[6] != 0 || llHolder == 0)
            continue;
        std::vector<BYTE> extension;
        if (!ReadMftRecord(llHolder, extension) || !ApplyFixups(extension) || !AddDataRuns(extension, strError))
        {
            strError = "an extension record of the MFT cannot be read: " + strError;
            return false;
        }
    }
    std::sort(m_mftRuns.begin(), m_mftRuns.end(), [](const RUN& a, const RUN& b) { return a.llVcn < b.llVcn; });
    if (m_llMftBytes <= 0)
    {
        strError = "the MFT has no size";
        return false;
    }
    return true;
}

bool CImageVolume::ReadRecord(LONGLONG llRecord, std::vector<BYTE>& record) const
{
    return llRecord >= 0 && llRecord < m_llMftBytes / m_dwBytesPerRecord && ReadMftRecord(llRecord, record) &&
           ApplyFixups(record);
}

BOOL CImageVolume::AnswerControl(DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned)
{
    if (dwCode == FSCTL_GET_NTFS_VOLUME_DATA)
        return AnswerVolumeData(pOut, dwOut, pdwReturned);
    if (dwCode == FSCTL_GET_NTFS_FILE_RECORD)
        return AnswerRecord(pIn, dwIn, pOut, dwOut, pdwReturned);
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL CImageVolume::AnswerVolumeData(LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) const
{
    if (pOut == nullptr || dwOut < sizeof(NTFS_VOLUME_DATA_BUFFER))
    {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    NTFS_VOLUME_DATA_BUFFER stData = {};
    stData.VolumeSerialNumber.QuadPart = m_llSerial;
    stData.NumberSectors.QuadPart = m_llTotalSectors;
    stData.TotalClusters.QuadPart = m_llTotalSectors * m_dwBytesPerSector / m_dwBytesPerCluster;
    stData.BytesPerSector = m_dwBytesPerSector;
    stData.BytesPerCluster = m_dwBytesPerCluster;
    stData.BytesPerFileRecordSegment = m_dwBytesPerRecord;
    stData.ClustersPerFileRecordSegment = m_dwBytesPerRecord / m_dwBytesPerCluster;
    stData.MftValidDataLength.QuadPart = m_llMftBytes;
    stData.MftStartLcn.QuadPart = m_llMftLcn;
    stData.Mft2StartLcn.QuadPart = m_llMirrorLcn;
    memcpy(pOut, &stData, sizeof(stData));
    *pdwReturned = sizeof(stData);
    return TRUE;
}

// The highest record in use at or below the one asked for, as the file system answers.
BOOL CImageVolume::AnswerRecord(LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned) const
{
    const DWORD dwHeader = offsetof(NTFS_FILE_RECORD_OUTPUT_BUFFER, FileRecordBuffer);
    LONGLONG llAsked = 0;
    if (pIn == nullptr || dwIn < sizeof(llAsked) || (memcpy(&llAsked, pIn, sizeof(llAsked)), llAsked < 0))
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pOut == nullptr || dwOut < dwHeader + m_dwBytesPerRecord)
    {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    LONGLONG llRecord = std::min(llAsked, m_llMftBytes / m_dwBytesPerRecord - 1);
    std::vector<BYTE> record;
    for (; llRecord >= 0; --llRecord)
    {
        if (!ReadRecord(llRecord, record))
        {
            ::SetLastError(ERROR_FILE_CORRUPT);
            return FALSE;
        }
        if (InUse(record))
            break;
    }
    auto pAnswer = static_cast<NTFS_FILE_RECORD_OUTPUT_BUFFER*>(pOut);
    pAnswer->FileReferenceNumber.QuadPart = llRecord;
    pAnswer->FileRecordLength = m_dwBytesPerRecord;
    memcpy(pAnswer->FileRecordBuffer, record.data(), m_dwBytesPerRecord);
    *pdwReturned = dwHeader + m_dwBytesPerRecord;
    return TRUE;
}

// A volume opened for raw reads takes whole sectors within the volume only.
BOOL CImageVolume::ReadAt(LONGLONG llOffset, BYTE* pBuffer, DWORD dwBytes, LPDWORD pdwRead)
{
    LONGLONG llEnd = m_llTotalSectors * m_dwBytesPerSector;
    if (llOffset % m_dwBytesPerSector != 0 || dwBytes % m_dwBytesPerSector != 0 || llOffset > llEnd ||
        dwBytes > llEnd - llOffset)
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReadBytes(llOffset, pBuffer, dwBytes))
        return FALSE;
    *pdwRead = dwBytes;
    return TRUE;
}

} // namespace ntfsref
