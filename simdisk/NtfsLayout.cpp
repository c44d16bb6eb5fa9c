#include "simdisk/NtfsLayout.h"

#include "platform/LittleEndian.h"
#include "simdisk/SimVolume.h"

#include <algorithm>
#include <cstring>

namespace {

using le::Put;

constexpr DWORD StandardInformationBytes = 72;
constexpr DWORD ListEntryHeader = 26;
constexpr WORD InstanceList = 1;
constexpr WORD InstanceFirstName = 2;
constexpr WORD InstanceFirstStream = 8;

DWORD Align8(DWORD n) { return (n + 7) & ~7u; }

int SignedBytes(LONGLONG v)
{
    int n = 1;
    while (n < 8)
    {
        LONGLONG llMin = -(1ll << (8 * n - 1));
        LONGLONG llMax = (1ll << (8 * n - 1)) - 1;
        if (v >= llMin && v <= llMax)
            break;
        ++n;
    }
    return n;
}

int UnsignedBytes(LONGLONG v)
{
    // A length is read unsigned, but a top bit set would still read as negative elsewhere;
    // NTFS keeps it positive as a signed number.
    return SignedBytes(v);
}

bool HasCompressedSize(const CSimStream& stream) { return (stream.m_wFlags & (ntfs::FlagCompressed | ntfs::FlagSparse)) != 0; }

DWORD NonResidentHeader(const CSimStream& stream) { return HasCompressedSize(stream) ? 0x48 : 0x40; }

DWORD ResidentBytes(size_t nNameChars, size_t nValue)
{
    DWORD dwValueOffset = Align8(0x18 + 2 * static_cast<DWORD>(nNameChars));
    return Align8(dwValueOffset + static_cast<DWORD>(nValue));
}

DWORD NonResidentBytes(const CSimStream& stream, size_t nPairs)
{
    DWORD dwPairs = Align8(NonResidentHeader(stream) + 2 * static_cast<DWORD>(stream.m_strName.size()));
    return Align8(dwPairs + static_cast<DWORD>(nPairs));
}

size_t NameCount(const CSimFile& file) { return file.m_strShortName.empty() ? 1 : 2; }

std::vector<BYTE> ResidentValue(const CSimVolume& volume, const CSimStream& stream)
{
    if (stream.m_dwType == ntfs::VolumeInformation)
    {
        std::vector<BYTE> value(12, 0);
        value[8] = 3;
        value[9] = 1;
        Put<WORD>(value.data(), 10, volume.m_bDirty ? 1 : 0);
        return value;
    }
    std::vector<BYTE> value(stream.m_bytes);
    value.resize(static_cast<size_t>(stream.m_llDataSize), 0);
    return value;
}

// The streams in record order: by type code, then by name.
std::vector<int> StreamOrder(const CSimFile& file)
{
    std::vector<int> order;
    for (size_t i = 0; i < file.m_streams.size(); ++i)
        if (file.m_streams[i].m_dwType != ntfs::AttributeList)
            order.push_back(static_cast<int>(i));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const CSimStream& sa = file.m_streams[a];
        const CSimStream& sb = file.m_streams[b];
        if (sa.m_dwType != sb.m_dwType)
            return sa.m_dwType < sb.m_dwType;
        return SimUpper(sa.m_strName) < SimUpper(sb.m_strName);
    });
    return order;
}

const CSimStream* ListStream(const CSimFile& file)
{
    for (const CSimStream& stream : file.m_streams)
        if (stream.m_dwType == ntfs::AttributeList)
            return &stream;
    return nullptr;
}

DWORD ListAttributeBytes(const CSimFile& file)
{
    const CSimStream* pList = ListStream(file);
    if (!pList)
        return 0;
    if (pList->m_bResident)
        return ResidentBytes(0, static_cast<size_t>(pList->m_llDataSize));
    return NonResidentBytes(*pList, CNtfsLayout::MappingPairsSize(pList->m_runs, 0, pList->m_runs.size()));
}

DWORD Capacity(const CSimVolume& volume)
{
    return volume.BytesPerRecord() - CNtfsLayout::FirstAttributeOffset(volume.BytesPerRecord()) - 8;
}

// Splits a non-resident stream into attribute records whose mapping pairs fit in a record;
// the first one, when dwFirstRoom is given, into that much room.
void AddStreamPieces(const CSimVolume& volume, const CSimFile& file, int nStream, std::vector<NTFS_PIECE>& pieces,
                     DWORD dwFirstRoom = 0)
{
    const CSimStream& stream = file.m_streams[nStream];
    const WORD wInstance = static_cast<WORD>(InstanceFirstStream + stream.m_wSlot);
    if (stream.m_bResident)
    {
        size_t nValue = static_cast<size_t>(stream.m_dwType == ntfs::VolumeInformation ? 12 : stream.m_llDataSize);
        pieces.push_back({stream.m_dwType, nStream, 0, 0, 0, ResidentBytes(stream.m_strName.size(), nValue),
                          wInstance, true});
        return;
    }
    const DWORD dwLimit = Capacity(volume) - NonResidentBytes(stream, 0) - 8;
    size_t nFirst = 0;
    do
    {
        const DWORD dwPiece = nFirst == 0 && dwFirstRoom != 0 ? dwFirstRoom - NonResidentBytes(stream, 0) - 8 : dwLimit;
        size_t nEnd = nFirst;
        size_t nPairs = 1;
        LONGLONG llPrev = 0;
        while (nEnd < stream.m_runs.size())
        {
            const SIM_RUN& run = stream.m_runs[nEnd];
            size_t nRun = 1 + UnsignedBytes(run.llLength);
            if (run.llLcn != SIM_SPARSE_LCN)
                nRun += SignedBytes(run.llLcn - llPrev);
            if (nPairs + nRun > dwPiece)
                break;
            nPairs += nRun;
            if (run.llLcn != SIM_SPARSE_LCN)
                llPrev = run.llLcn;
            ++nEnd;
        }
        pieces.push_back({stream.m_dwType, nStream, 0, nFirst, nEnd, NonResidentBytes(stream, nPairs), wInstance,
                          nFirst == 0});
        nFirst = nEnd;
    } while (nFirst < stream.m_runs.size());
}

void PutNonResident(const CSimStream& stream, const NTFS_PIECE& piece, DWORD dwBytesPerCluster, BYTE* p)
{
    const std::vector<SIM_RUN>& runs = stream.m_runs;
    LONGLONG llLow = piece.nFirstRun < runs.size() ? runs[piece.nFirstRun].llVcn : 0;
    LONGLONG llHigh = piece.nEndRun > piece.nFirstRun
                          ? runs[piece.nEndRun - 1].llVcn + runs[piece.nEndRun - 1].llLength - 1
                          : -1;
    const WORD wNameOffset = static_cast<WORD>(NonResidentHeader(stream));
    const WORD wPairs = static_cast<WORD>(Align8(wNameOffset + 2 * static_cast<DWORD>(stream.m_strName.size())));
    Put<BYTE>(p, 8, 1);
    Put<WORD>(p, 10, wNameOffset);
    Put<LONGLONG>(p, 16, llLow);
    Put<LONGLONG>(p, 24, llHigh);
    Put<WORD>(p, 32, wPairs);
    Put<WORD>(p, 34, (stream.m_wFlags & ntfs::FlagCompressed) ? 4 : 0);
    if (piece.bFirst)
    {
        LONGLONG llAllocated = stream.Vcns() * dwBytesPerCluster;
        Put<LONGLONG>(p, 40, llAllocated);
        Put<LONGLONG>(p, 48, stream.m_llDataSize);
        Put<LONGLONG>(p, 56, stream.m_llInitSize);
        if (HasCompressedSize(stream))
            Put<LONGLONG>(p, 64, stream.AllocatedClusters() * dwBytesPerCluster);
    }
    std::memcpy(p + wNameOffset, stream.m_strName.data(), 2 * stream.m_strName.size());
    CNtfsLayout::EncodeMappingPairs(runs, piece.nFirstRun, piece.nEndRun, p + wPairs);
}

void PutResident(const std::wstring& strName, const std::vector<BYTE>& value, BYTE* p, bool bIndexed)
{
    const WORD wValueOffset = static_cast<WORD>(Align8(0x18 + 2 * static_cast<DWORD>(strName.size())));
    Put<DWORD>(p, 16, static_cast<DWORD>(value.size()));
    Put<WORD>(p, 20, wValueOffset);
    Put<BYTE>(p, 22, bIndexed ? 1 : 0);
    Put<WORD>(p, 10, 0x18);
    std::memcpy(p + 0x18, strName.data(), 2 * strName.size());
    if (!value.empty())
        std::memcpy(p + wValueOffset, value.data(), value.size());
}

std::vector<BYTE> StandardInformation(const CSimFile& file)
{
    std::vector<BYTE> value(StandardInformationBytes, 0);
    Put<LONGLONG>(value.data(), 0, file.m_llCreated);
    Put<LONGLONG>(value.data(), 8, file.m_llModified);
    Put<LONGLONG>(value.data(), 16, file.m_llModified);
    Put<LONGLONG>(value.data(), 24, file.m_llAccessed);
    Put<DWORD>(value.data(), 32, file.m_dwAttributes & ~FILE_ATTRIBUTE_DIRECTORY);
    return value;
}

std::vector<BYTE> FileNameValue(const CSimVolume& volume, const CSimFile& file, int nName)
{
    const std::wstring& strName = nName == 0 ? file.m_strName : file.m_strShortName;
    std::vector<BYTE> value(66 + 2 * strName.size(), 0);
    const CSimFile* pParent = volume.File(file.m_ullParent);
    Put<ULONGLONG>(value.data(), 0, pParent ? pParent->Reference() : file.m_ullParent);
    Put<LONGLONG>(value.data(), 8, file.m_llCreated);
    Put<LONGLONG>(value.data(), 16, file.m_llModified);
    Put<LONGLONG>(value.data(), 24, file.m_llModified);
    Put<LONGLONG>(value.data(), 32, file.m_llAccessed);
    const CSimStream* pData = file.FindStream(ntfs::Data, L"");
    if (pData)
    {
        Put<LONGLONG>(value.data(), 40, pData->Vcns() * volume.BytesPerCluster());
        Put<LONGLONG>(value.data(), 48, pData->m_llDataSize);
    }
    DWORD dwFlags = file.m_dwAttributes & ~FILE_ATTRIBUTE_DIRECTORY;
    if (file.IsDirectory())
        dwFlags |= 0x10000000;
    Put<DWORD>(value.data(), 56, dwFlags);
    Put<BYTE>(value.data(), 64, static_cast<BYTE>(strName.size()));
    BYTE byNamespace = file.m_strShortName.empty() ? volume.m_byLoneNameSpace : (nName == 0 ? 1 : 2);
    Put<BYTE>(value.data(), 65, byNamespace);
    std::memcpy(value.data() + 66, strName.data(), 2 * strName.size());
    return value;
}

void PutPiece(const CSimVolume& volume, const CSimFile& file, const NTFS_PIECE& piece, BYTE* p)
{
    std::memset(p, 0, piece.dwBytes);
    Put<DWORD>(p, 0, piece.dwType);
    Put<DWORD>(p, 4, piece.dwBytes);
    Put<WORD>(p, 14, piece.wInstance);
    if (piece.nStream == NTFS_SOURCE_STANDARD)
    {
        PutResident(L"", StandardInformation(file), p, false);
        return;
    }
    if (piece.nStream == NTFS_SOURCE_NAME)
    {
        PutResident(L"", FileNameValue(volume, file, piece.nName), p, true);
        return;
    }
    const CSimStream& stream = file.m_streams[piece.nStream];
    Put<BYTE>(p, 9, static_cast<BYTE>(stream.m_strName.size()));
    Put<WORD>(p, 12, stream.m_wFlags);
    if (stream.m_bResident)
        PutResident(stream.m_strName, ResidentValue(volume, stream), p, false);
    else
        PutNonResident(stream, piece, volume.BytesPerCluster(), p);
}

WORD RecordFlags(const CSimVolume& volume, const CSimFile& file)
{
    WORD wFlags = 0x1;
    if (file.IsDirectory())
        wFlags |= 0x2;
    const CSimFile* pParent = volume.File(file.m_ullParent);
    if (volume.Fs() == SIM_FS::Ntfs && pParent && pParent->m_ullId == ntfs::RecordExtend && file.m_ullId != ntfs::RecordExtend)
        wFlags |= 0x4;
    return wFlags;
}

// Restores the sector tails into the update sequence array, as they stand after fix-up.
void PutUpdateSequence(BYTE* p, DWORD dwRecordBytes, WORD wUsaOffset)
{
    const WORD wSectors = static_cast<WORD>(dwRecordBytes / 512);
    Put<WORD>(p, wUsaOffset, 1);
    for (WORD i = 0; i < wSectors; ++i)
        std::memcpy(p + wUsaOffset + 2 + 2 * i, p + 512 * (i + 1) - 2, 2);
}

} // namespace

WORD CNtfsLayout::FirstAttributeOffset(DWORD dwRecordBytes)
{
    const DWORD dwUsaEnd = 0x30 + 2 * (1 + dwRecordBytes / 512);
    return static_cast<WORD>(Align8(dwUsaEnd));
}

NTFS_PLAN CNtfsLayout::Plan(const CSimVolume& volume, const CSimFile& file)
{
    std::vector<NTFS_PIECE> fixed;
    fixed.push_back({ntfs::StandardInformation, NTFS_SOURCE_STANDARD, 0, 0, 0, ResidentBytes(0, StandardInformationBytes), 0, true});
    const size_t nNames = NameCount(file);
    for (size_t i = 0; i < nNames; ++i)
    {
        // A record may carry its DOS name first, as volumes written by older systems do.
        int nName = static_cast<int>((file.m_dwFlags & SimFileDosNameFirst) && nNames == 2 ? 1 - i : i);
        const std::wstring& strName = nName == 0 ? file.m_strName : file.m_strShortName;
        fixed.push_back({ntfs::FileName, NTFS_SOURCE_NAME, nName, 0, 0, ResidentBytes(0, 66 + 2 * strName.size()),
                         static_cast<WORD>(InstanceFirstName + i), true});
    }
    std::vector<NTFS_PIECE> others;
    for (int nStream : StreamOrder(file))
        AddStreamPieces(volume, file, nStream, others);

    const DWORD dwCapacity = Capacity(volume);
    DWORD dwTotal = 0;
    for (const NTFS_PIECE& piece : fixed)
        dwTotal += piece.dwBytes;
    for (const NTFS_PIECE& piece : others)
        dwTotal += piece.dwBytes;

    NTFS_PLAN plan;
    if (dwTotal <= dwCapacity)
    {
        // Everything fits in the base record; a list left from a larger layout is dropped.
        plan.records.push_back(fixed);
        plan.records[0].insert(plan.records[0].end(), others.begin(), others.end());
        return plan;
    }
    std::vector<NTFS_PIECE> base(fixed);
    DWORD dwListBytes = ListAttributeBytes(file);
    if (dwListBytes == 0)
        dwListBytes = ResidentBytes(0, 0);
    base.insert(base.begin() + 1, {ntfs::AttributeList, -3, 0, 0, 0, dwListBytes, InstanceList, true});
    const SIM_NTFS_LAYOUT& layout = volume.NtfsLayout();
    std::vector<NTFS_PIECE>::const_iterator itOther = others.begin();
    DWORD dwUsed = dwCapacity + 1;
    if (layout.bNamesMoveOutFirst)
    {
        // The names go to a record of their own. The streams fill the base record's room, the
        // stream that overflows it with a first piece cut to the room left; the rest goes to
        // further records.
        std::vector<NTFS_PIECE> names(base.begin() + 2, base.end());
        base.resize(2);
        DWORD dwRoom = dwCapacity - base[0].dwBytes - base[1].dwBytes;
        std::vector<NTFS_PIECE> rest;
        for (int nStream : StreamOrder(file))
        {
            std::vector<NTFS_PIECE> pieces;
            const CSimStream& stream = file.m_streams[nStream];
            bool bCut = rest.empty() && !stream.m_bResident && dwRoom >= NonResidentBytes(stream, 0) + 24;
            AddStreamPieces(volume, file, nStream, pieces, bCut ? dwRoom : 0);
            if (rest.empty() && pieces[0].dwBytes <= dwRoom)
            {
                base.push_back(pieces[0]);
                dwRoom -= pieces[0].dwBytes;
                pieces.erase(pieces.begin());
            }
            rest.insert(rest.end(), pieces.begin(), pieces.end());
        }
        others = rest;
        itOther = others.begin();
        plan.records.push_back(base);
        plan.records.push_back(names);
    }
    else
        plan.records.push_back(base);
    for (; itOther != others.end(); ++itOther)
    {
        if (dwUsed + itOther->dwBytes > dwCapacity)
        {
            plan.records.emplace_back();
            dwUsed = 0;
        }
        plan.records.back().push_back(*itOther);
        dwUsed += itOther->dwBytes;
    }
    if (layout.bInstancesPerRecord)
    {
        for (size_t r = 1; r < plan.records.size(); ++r)
            for (size_t i = 0; i < plan.records[r].size(); ++i)
                plan.records[r][i].wInstance = static_cast<WORD>(i);
    }
    return plan;
}

bool CNtfsLayout::ListFitsResident(const CSimVolume& volume, const CSimFile& file, DWORD dwListBytes)
{
    DWORD dwBase = ResidentBytes(0, StandardInformationBytes) + ResidentBytes(0, dwListBytes);
    for (size_t i = 0; i < NameCount(file); ++i)
        dwBase += ResidentBytes(0, 66 + 2 * (i == 0 ? file.m_strName : file.m_strShortName).size());
    // Leave room in the base record for the list growing by a few entries.
    return dwBase + 64 <= Capacity(volume);
}

bool CNtfsLayout::Fits(const CSimVolume& volume, const NTFS_PLAN& plan)
{
    for (const std::vector<NTFS_PIECE>& record : plan.records)
    {
        ULONGLONG ullBytes = 0;
        for (const NTFS_PIECE& piece : record)
            ullBytes += piece.dwBytes;
        if (ullBytes > Capacity(volume))
            return false;
    }
    return true;
}

std::vector<BYTE> CNtfsLayout::BuildList(const CSimFile& file, const NTFS_PLAN& plan)
{
    struct ENTRY
    {
        const NTFS_PIECE* pPiece;
        size_t nRecord;
    };
    std::vector<ENTRY> entries;
    for (size_t r = 0; r < plan.records.size(); ++r)
        for (const NTFS_PIECE& piece : plan.records[r])
            if (piece.dwType != ntfs::AttributeList)
                entries.push_back({&piece, r});
    std::stable_sort(entries.begin(), entries.end(), [](const ENTRY& a, const ENTRY& b) {
        return a.pPiece->dwType < b.pPiece->dwType;
    });
    std::vector<BYTE> list;
    for (const ENTRY& entry : entries)
    {
        const NTFS_PIECE& piece = *entry.pPiece;
        std::wstring strName;
        LONGLONG llLowVcn = 0;
        if (piece.nStream >= 0)
        {
            const CSimStream& stream = file.m_streams[piece.nStream];
            strName = stream.m_strName;
            if (!stream.m_bResident && piece.nFirstRun < stream.m_runs.size())
                llLowVcn = stream.m_runs[piece.nFirstRun].llVcn;
        }
        DWORD dwLength = Align8(ListEntryHeader + 2 * static_cast<DWORD>(strName.size()));
        size_t nAt = list.size();
        list.resize(nAt + dwLength, 0);
        BYTE* p = list.data() + nAt;
        ULONGLONG ullSegment = entry.nRecord == 0 ? file.Reference() : file.m_extensions[entry.nRecord - 1];
        Put<DWORD>(p, 0, piece.dwType);
        Put<WORD>(p, 4, static_cast<WORD>(dwLength));
        Put<BYTE>(p, 6, static_cast<BYTE>(strName.size()));
        Put<BYTE>(p, 7, ListEntryHeader);
        Put<LONGLONG>(p, 8, llLowVcn);
        Put<ULONGLONG>(p, 16, ullSegment);
        Put<WORD>(p, 24, piece.wInstance);
        std::memcpy(p + ListEntryHeader, strName.data(), 2 * strName.size());
    }
    return list;
}

void CNtfsLayout::EncodeRecord(const CSimVolume& volume, const CSimFile& file, const NTFS_PLAN& plan, size_t nRecord,
                               BYTE* pOut)
{
    const DWORD dwRecordBytes = volume.BytesPerRecord();
    std::memset(pOut, 0, dwRecordBytes);
    const WORD wFirst = FirstAttributeOffset(dwRecordBytes);
    const ULONGLONG ullNumber = nRecord == 0 ? file.m_ullId : (file.m_extensions[nRecord - 1] & 0xFFFFFFFFFFFFull);
    const WORD wSequence = nRecord == 0 ? file.m_wSequence : static_cast<WORD>(file.m_extensions[nRecord - 1] >> 48);
    std::memcpy(pOut, "FILE", 4);
    Put<WORD>(pOut, 4, 0x30);
    Put<WORD>(pOut, 6, static_cast<WORD>(1 + dwRecordBytes / 512));
    Put<ULONGLONG>(pOut, 8, volume.ChangeCount() + 1);
    Put<WORD>(pOut, 16, wSequence);
    Put<WORD>(pOut, 18, nRecord == 0 ? 1 : 0);
    Put<WORD>(pOut, 20, wFirst);
    Put<WORD>(pOut, 22, nRecord == 0 ? RecordFlags(volume, file) : 0x1);
    Put<DWORD>(pOut, 28, dwRecordBytes);
    Put<ULONGLONG>(pOut, 32, nRecord == 0 ? 0 : file.Reference());
    const bool bOwnInstances = nRecord > 0 && volume.NtfsLayout().bInstancesPerRecord;
    Put<WORD>(pOut, 40, static_cast<WORD>(bOwnInstances ? plan.records[nRecord].size()
                                                         : InstanceFirstStream + file.m_wNextSlot));
    Put<DWORD>(pOut, 44, static_cast<DWORD>(ullNumber));

    DWORD dwAt = wFirst;
    for (const NTFS_PIECE& piece : plan.records[nRecord])
    {
        if (piece.dwType == ntfs::AttributeList)
        {
            const CSimStream* pList = ListStream(file);
            CSimStream fallback(ntfs::AttributeList, L"", 0);
            const CSimStream& list = pList ? *pList : fallback;
            NTFS_PIECE listPiece = piece;
            listPiece.dwBytes = ListAttributeBytes(file) ? ListAttributeBytes(file) : piece.dwBytes;
            std::memset(pOut + dwAt, 0, listPiece.dwBytes);
            Put<DWORD>(pOut + dwAt, 0, ntfs::AttributeList);
            Put<DWORD>(pOut + dwAt, 4, listPiece.dwBytes);
            Put<WORD>(pOut + dwAt, 14, InstanceList);
            if (list.m_bResident)
                PutResident(L"", list.m_bytes, pOut + dwAt, false);
            else
            {
                listPiece.nFirstRun = 0;
                listPiece.nEndRun = list.m_runs.size();
                PutNonResident(list, listPiece, volume.BytesPerCluster(), pOut + dwAt);
            }
            dwAt += listPiece.dwBytes;
            continue;
        }
        PutPiece(volume, file, piece, pOut + dwAt);
        dwAt += piece.dwBytes;
    }
    Put<DWORD>(pOut, dwAt, ntfs::EndMarker);
    Put<DWORD>(pOut, 24, dwAt + 8);
    PutUpdateSequence(pOut, dwRecordBytes, 0x30);
}

size_t CNtfsLayout::MappingPairsSize(const std::vector<SIM_RUN>& runs, size_t nFirst, size_t nEnd)
{
    size_t nBytes = 1;
    LONGLONG llPrev = 0;
    for (size_t i = nFirst; i < nEnd; ++i)
    {
        nBytes += 1 + UnsignedBytes(runs[i].llLength);
        if (runs[i].llLcn != SIM_SPARSE_LCN)
        {
            nBytes += SignedBytes(runs[i].llLcn - llPrev);
            llPrev = runs[i].llLcn;
        }
    }
    return nBytes;
}

size_t CNtfsLayout::EncodeMappingPairs(const std::vector<SIM_RUN>& runs, size_t nFirst, size_t nEnd, BYTE* pOut)
{
    size_t nAt = 0;
    LONGLONG llPrev = 0;
    for (size_t i = nFirst; i < nEnd; ++i)
    {
        const SIM_RUN& run = runs[i];
        int nLength = UnsignedBytes(run.llLength);
        // A sparse run has no offset and leaves the base LCN where the last allocated run put it.
        int nOffset = run.llLcn == SIM_SPARSE_LCN ? 0 : SignedBytes(run.llLcn - llPrev);
        pOut[nAt++] = static_cast<BYTE>((nOffset << 4) | nLength);
        for (int b = 0; b < nLength; ++b)
            pOut[nAt++] = static_cast<BYTE>(run.llLength >> (8 * b));
        LONGLONG llDelta = run.llLcn - llPrev;
        for (int b = 0; b < nOffset; ++b)
            pOut[nAt++] = static_cast<BYTE>(llDelta >> (8 * b));
        if (run.llLcn != SIM_SPARSE_LCN)
            llPrev = run.llLcn;
    }
    pOut[nAt++] = 0;
    return nAt;
}

bool CNtfsLayout::DecodeMappingPairs(const BYTE* p, size_t nBytes, LONGLONG llLowVcn, std::vector<SIM_RUN>& runs)
{
    size_t nAt = 0;
    LONGLONG llVcn = llLowVcn;
    LONGLONG llLcn = 0;
    while (nAt < nBytes && p[nAt] != 0)
    {
        int nLength = p[nAt] & 0xF;
        int nOffset = p[nAt] >> 4;
        if (nLength == 0 || nLength > 8 || nOffset > 8 || nAt + 1 + nLength + nOffset > nBytes)
            return false;
        ++nAt;
        ULONGLONG ullLength = 0;
        for (int b = 0; b < nLength; ++b)
            ullLength |= static_cast<ULONGLONG>(p[nAt++]) << (8 * b);
        LONGLONG llDelta = 0;
        for (int b = 0; b < nOffset; ++b)
            llDelta |= static_cast<LONGLONG>(p[nAt++]) << (8 * b);
        if (nOffset > 0 && nOffset < 8 && (llDelta >> (8 * nOffset - 1)) & 1)
            llDelta -= 1ll << (8 * nOffset);
        LONGLONG llRunLcn = SIM_SPARSE_LCN;
        if (nOffset > 0)
        {
            llLcn += llDelta;
            llRunLcn = llLcn;
        }
        runs.push_back({llVcn, llRunLcn, static_cast<LONGLONG>(ullLength)});
        llVcn += static_cast<LONGLONG>(ullLength);
    }
    return nAt < nBytes;
}
