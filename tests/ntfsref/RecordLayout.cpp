#include "tests/ntfsref/RecordLayout.h"

#include "platform/LittleEndian.h"
#include "platform/sys.h"
#include "tests/ntfsref/ImageVolume.h"

#include <winioctl.h>

#include <cstring>
#include <map>

namespace ntfsref {
namespace {

using le::Get;

bool FetchRecord(HANDLE hVolume, DWORD dwBytesPerRecord, LONGLONG llRecord, std::vector<BYTE>& record)
{
    const DWORD dwHeader = offsetof(NTFS_FILE_RECORD_OUTPUT_BUFFER, FileRecordBuffer);
    std::vector<BYTE> answer(dwHeader + dwBytesPerRecord + 15);
    DWORD dwReturned = 0;
    if (!sys::DeviceIoControl(hVolume, FSCTL_GET_NTFS_FILE_RECORD, &llRecord, sizeof(llRecord), answer.data(),
                              static_cast<DWORD>(answer.size()), &dwReturned, nullptr) ||
        dwReturned < dwHeader + dwBytesPerRecord || Get<LONGLONG>(answer.data(), 0) != llRecord)
        return false;
    record.assign(answer.begin() + dwHeader, answer.begin() + dwHeader + dwBytesPerRecord);
    return memcmp(record.data(), "FILE", 4) == 0;
}

// The attributes of one record, each with its offset.
std::vector<size_t> Attributes(const std::vector<BYTE>& record)
{
    std::vector<size_t> offsets;
    for (size_t nAt = Get<WORD>(record.data(), 20); nAt + 24 <= record.size();)
    {
        DWORD dwLength = Get<DWORD>(record.data(), nAt + 4);
        if (Get<DWORD>(record.data(), nAt) == 0xFFFFFFFF || dwLength < 24 || nAt + dwLength > record.size())
            break;
        offsets.push_back(nAt);
        nAt += dwLength;
    }
    return offsets;
}

bool ReadList(HANDLE hVolume, DWORD dwBytesPerCluster, const BYTE* pAttribute, std::vector<BYTE>& list)
{
    if (pAttribute[8] == 0)
    {
        const BYTE* pValue = pAttribute + Get<WORD>(pAttribute, 20);
        list.assign(pValue, pValue + Get<DWORD>(pAttribute, 16));
        return true;
    }
    std::vector<LONGLONG> runs;
    WORD wPairs = Get<WORD>(pAttribute, 32);
    if (!DecodePairs(pAttribute + wPairs, Get<DWORD>(pAttribute, 4) - wPairs, 0, runs))
        return false;
    for (size_t i = 0; i < runs.size(); i += 3)
    {
        size_t nHave = list.size();
        list.resize(nHave + static_cast<size_t>(runs[i + 2]) * dwBytesPerCluster);
        LARGE_INTEGER liAt;
        liAt.QuadPart = runs[i + 1] * dwBytesPerCluster;
        DWORD dwRead = 0;
        if (runs[i + 1] < 0 || !sys::SetFilePointerEx(hVolume, liAt, nullptr, FILE_BEGIN) ||
            !sys::ReadFile(hVolume, list.data() + nHave, static_cast<DWORD>(list.size() - nHave), &dwRead, nullptr))
            return false;
    }
    list.resize(std::min<size_t>(list.size(), static_cast<size_t>(Get<LONGLONG>(pAttribute, 56))));
    return true;
}

LAID_ATTRIBUTE Describe(LONGLONG llHolder, int nPosition, const BYTE* p)
{
    std::wstring strName(reinterpret_cast<const wchar_t*>(p + Get<WORD>(p, 10)), p[9]);
    return {llHolder, nPosition, Get<DWORD>(p, 0), strName, p[8] != 0, p[8] != 0 ? Get<LONGLONG>(p, 16) : 0,
            Get<WORD>(p, 14)};
}

} // namespace

bool RECORD_LAYOUT::NamesInExtensions() const
{
    bool bAny = false;
    for (const LAID_ATTRIBUTE& a : attributes)
    {
        if (a.dwType == 0x30 && a.llHolder == llBase)
            return false;
        bAny = bAny || a.dwType == 0x30;
    }
    return bAny;
}

bool RECORD_LAYOUT::InstancesPerRecord() const
{
    for (const LAID_ATTRIBUTE& a : attributes)
        if (a.llHolder != llBase && a.wInstance != a.nPosition)
            return false;
    return true;
}

bool RECORD_LAYOUT::ContinuationsOwnInstances() const
{
    for (const LAID_ATTRIBUTE& a : attributes)
    {
        if (!a.bNonResident || a.llLowestVcn == 0)
            continue;
        for (const LAID_ATTRIBUTE& first : attributes)
            if (first.dwType == a.dwType && first.strName == a.strName && first.llLowestVcn == 0 &&
                (a.llHolder == llBase || a.wInstance == first.wInstance))
                return false;
    }
    return true;
}

size_t RECORD_LAYOUT::Pieces(DWORD dwType, const std::wstring& strName) const
{
    size_t nPieces = 0;
    for (const LAID_ATTRIBUTE& a : attributes)
        nPieces += a.dwType == dwType && a.strName == strName ? 1 : 0;
    return nPieces;
}

bool ReadLayout(HANDLE hVolume, DWORD dwBytesPerRecord, DWORD dwBytesPerCluster, LONGLONG llRecord,
                RECORD_LAYOUT& layout)
{
    layout = RECORD_LAYOUT();
    layout.llBase = llRecord;
    std::map<LONGLONG, std::vector<BYTE>> records;
    if (!FetchRecord(hVolume, dwBytesPerRecord, llRecord, records[llRecord]))
        return false;
    const std::vector<BYTE>& base = records[llRecord];
    std::vector<BYTE> list;
    int nPosition = 0;
    for (size_t nAt : Attributes(base))
    {
        const BYTE* p = base.data() + nAt;
        if (Get<DWORD>(p, 0) == 0x20)
        {
            layout.bList = true;
            layout.bListNonResident = p[8] != 0;
            if (!ReadList(hVolume, dwBytesPerCluster, p, list))
                return false;
        }
        else
            layout.attributes.push_back(Describe(llRecord, nPosition, p));
        ++nPosition;
    }
    if (!layout.bList)
        return true;
    layout.attributes.clear();
    for (size_t nAt = 0; nAt + 26 <= list.size() && Get<WORD>(list.data(), nAt + 4) >= 26;
         nAt += Get<WORD>(list.data(), nAt + 4))
    {
        const BYTE* pEntry = list.data() + nAt;
        LONGLONG llHolder = static_cast<LONGLONG>(Get<ULONGLONG>(pEntry, 16) & 0xFFFFFFFFFFFFull);
        if (records.count(llHolder) == 0 && !FetchRecord(hVolume, dwBytesPerRecord, llHolder, records[llHolder]))
            return false;
        const std::vector<BYTE>& holder = records[llHolder];
        std::vector<size_t> offsets = Attributes(holder);
        bool bFound = false;
        for (size_t i = 0; i < offsets.size() && !bFound; ++i)
        {
            const BYTE* p = holder.data() + offsets[i];
            if (Get<DWORD>(p, 0) == Get<DWORD>(pEntry, 0) && Get<WORD>(p, 14) == Get<WORD>(pEntry, 24))
            {
                if (Get<DWORD>(p, 0) != 0x20)
                    layout.attributes.push_back(Describe(llHolder, static_cast<int>(i), p));
                bFound = true;
            }
        }
        if (!bFound)
            return false;
    }
    return true;
}

} // namespace ntfsref
