#include "simdisk/SimVolume.h"

#include "platform/NtStatus.h"
#include "simdisk/NtfsLayout.h"
#include "simdisk/SimFormatter.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

constexpr LONGLONG ResidentLimit = 512;
using ntfs::CompressionUnit;

// Holds the simulator's lock, when the volume is mounted, for one change from outside.
class CSimVolumeGuard
{
public:
    explicit CSimVolumeGuard(CRITICAL_SECTION* pLock) : m_pLock(pLock)
    {
        if (m_pLock)
            ::EnterCriticalSection(m_pLock);
    }
    ~CSimVolumeGuard()
    {
        if (m_pLock)
            ::LeaveCriticalSection(m_pLock);
    }
    CSimVolumeGuard(const CSimVolumeGuard&) = delete;
    CSimVolumeGuard& operator=(const CSimVolumeGuard&) = delete;

private:
    CRITICAL_SECTION* m_pLock;
};
constexpr ULONGLONG ReferenceMask = 0xFFFFFFFFFFFFull;

LONGLONG Now()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

std::vector<std::wstring> SplitPath(const std::wstring& strPath)
{
    std::vector<std::wstring> parts;
    size_t nStart = 0;
    while (nStart <= strPath.size())
    {
        size_t nEnd = strPath.find(L'\\', nStart);
        if (nEnd == std::wstring::npos)
            nEnd = strPath.size();
        if (nEnd > nStart)
            parts.push_back(strPath.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return parts;
}

uint64_t Mix(uint64_t x)
{
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 33);
}

// A volume's GUID follows from what tells it apart, so that two different volumes get two
// names and the same volume gets the same name in every run.
std::wstring DefaultGuid(const SIM_FORMAT& format)
{
    uint64_t h = Mix(format.dwSerial ^ (static_cast<uint64_t>(format.eFs) << 40));
    h = Mix(h ^ static_cast<uint64_t>(format.llTotalClusters));
    h = Mix(h ^ (static_cast<uint64_t>(format.dwBytesPerCluster) << 20) ^ format.dwBytesPerRecord);
    for (wchar_t c : format.strLabel)
        h = Mix(h ^ static_cast<uint64_t>(c));
    const uint64_t l = Mix(h ^ 0x5A3C1E075F1A4C2Eull);
    wchar_t szGuid[64];
    std::swprintf(szGuid, 64, L"{%08lx-%04x-%04x-%04x-%012llx}", static_cast<unsigned long>(h >> 32),
                  static_cast<unsigned>((h >> 16) & 0xFFFF), static_cast<unsigned>((h & 0x0FFF) | 0x4000),
                  static_cast<unsigned>(((l >> 48) & 0x3FFF) | 0x8000),
                  static_cast<unsigned long long>(l & 0xFFFFFFFFFFFFull));
    return szGuid;
}

} // namespace

CSimVolume::CSimVolume(const SIM_FORMAT& format)
    : m_format(format), m_bitmap(format.llTotalClusters), m_llRecordHint(format.llFirstUserRecord)
{
    if (m_format.strGuid.empty())
        m_format.strGuid = DefaultGuid(m_format);
}

CSimVolume::~CSimVolume() = default;

std::unique_ptr<CSimVolume> CSimVolume::Format(const SIM_FORMAT& format)
{
    auto pVolume = std::make_unique<CSimVolume>(format);
    if (!CSimFormatter::Format(*pVolume))
        return nullptr;
    return pVolume;
}

const wchar_t* CSimVolume::FsName() const
{
    switch (Fs())
    {
    case SIM_FS::Ntfs: return L"NTFS";
    case SIM_FS::Fat32: return L"FAT32";
    case SIM_FS::Exfat: return L"exFAT";
    }
    return L"";
}

CSimFile* CSimVolume::File(ULONGLONG ullId) const
{
    return ullId < m_files.size() ? m_files[static_cast<size_t>(ullId)].get() : nullptr;
}

CSimFile* CSimVolume::Child(const CSimFile& dir, const std::wstring& strName) const
{
    auto it = dir.m_children.find(SimUpper(strName));
    return it == dir.m_children.end() ? nullptr : File(it->second);
}

CSimFile* CSimVolume::ChildByShortName(const CSimFile& dir, const std::wstring& strShort) const
{
    const std::wstring strUpper = SimUpper(strShort);
    for (const auto& child : dir.m_children)
    {
        CSimFile* pFile = File(child.second);
        if (pFile && !pFile->m_strShortName.empty() && SimUpper(pFile->m_strShortName) == strUpper)
            return pFile;
    }
    return nullptr;
}

CSimFile* CSimVolume::Lookup(const std::wstring& strRelative) const
{
    CSimFile* pFile = Root();
    for (const std::wstring& strPart : SplitPath(strRelative))
    {
        if (!pFile || !pFile->IsDirectory())
            return nullptr;
        CSimFile* pNext = Child(*pFile, strPart);
        pFile = pNext ? pNext : ChildByShortName(*pFile, strPart);
    }
    return pFile;
}

std::wstring CSimVolume::RelativePath(const CSimFile& file) const
{
    std::vector<const std::wstring*> parts;
    const CSimFile* pFile = &file;
    while (pFile && pFile->m_ullId != m_ullRoot)
    {
        parts.push_back(&pFile->m_strName);
        pFile = File(pFile->m_ullParent);
    }
    std::wstring strPath;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
    {
        if (!strPath.empty())
            strPath += L'\\';
        strPath += **it;
    }
    return strPath;
}

std::vector<ULONGLONG> CSimVolume::Children(const CSimFile& dir) const
{
    std::vector<ULONGLONG> ids;
    if (Fs() == SIM_FS::Ntfs)
    {
        for (const auto& child : dir.m_children)
            ids.push_back(child.second);
        return ids;
    }
    for (ULONGLONG ullId : dir.m_order)
        if (File(ullId))
            ids.push_back(ullId);
    return ids;
}

LONGLONG CSimVolume::ClustersFor(LONGLONG llBytes) const
{
    return (llBytes + BytesPerCluster() - 1) / BytesPerCluster();
}

void CSimVolume::SetDataSize(CSimStream& stream, LONGLONG llBytes)
{
    stream.m_llDataSize = llBytes;
    stream.m_llInitSize = llBytes;
}

ULONGLONG CSimVolume::AllocateRecord(bool bForMft)
{
    // The MFT keeps its own extension records in the reserved records 16 to 23, where a
    // record for them always exists.
    LONGLONG llRecord = bForMft ? m_mftBitmap.NextClear(static_cast<LONGLONG>(ntfs::FirstMftExtension)) : -1;
    if (llRecord < 0 || llRecord >= static_cast<LONGLONG>(ntfs::FirstExtendChild))
    {
        // Records are taken upwards from a hint that a freed record lowers again, so that
        // filling a large MFT does not search it from the start each time.
        llRecord = m_mftBitmap.NextClear(m_llRecordHint);
        if (llRecord < 0)
            llRecord = m_mftBitmap.NextClear(FirstUserRecord());
        if (llRecord < 0)
        {
            if (!EnsureMftRecords(m_llMftRecords + 1))
                return ~0ull;
            llRecord = m_mftBitmap.NextClear(FirstUserRecord());
            if (llRecord < 0)
                return ~0ull;
        }
        m_llRecordHint = llRecord + 1;
    }
    m_mftBitmap.Set(llRecord);
    if (m_sequences.size() <= static_cast<size_t>(llRecord))
        m_sequences.resize(static_cast<size_t>(llRecord) + 1, 0);
    WORD& wSequence = m_sequences[static_cast<size_t>(llRecord)];
    const WORD wNext = static_cast<WORD>(wSequence + 1);
    wSequence = wNext ? wNext : 1;
    return static_cast<ULONGLONG>(llRecord) | (static_cast<ULONGLONG>(wSequence) << 48);
}

void CSimVolume::FreeRecord(ULONGLONG ullRecord)
{
    ullRecord &= ReferenceMask;
    m_mftBitmap.Clear(static_cast<LONGLONG>(ullRecord));
    m_extensionOwner.erase(ullRecord);
    if (static_cast<LONGLONG>(ullRecord) >= FirstUserRecord())
        m_llRecordHint = std::min(m_llRecordHint, static_cast<LONGLONG>(ullRecord));
}

WORD CSimVolume::Sequence(ULONGLONG ullRecord) const
{
    return ullRecord < m_sequences.size() ? m_sequences[static_cast<size_t>(ullRecord)] : 0;
}

void CSimVolume::SetSequence(ULONGLONG ullRecord, WORD wSequence)
{
    if (m_sequences.size() <= ullRecord)
        m_sequences.resize(static_cast<size_t>(ullRecord) + 1, 0);
    m_sequences[static_cast<size_t>(ullRecord)] = wSequence;
}

void CSimVolume::Attach(CSimFile& file)
{
    CSimFile* pParent = File(file.m_ullParent);
    if (pParent && pParent != &file && !Child(*pParent, file.m_strName))
        Link(*pParent, file);
}

void CSimVolume::SetStaleMftBit(ULONGLONG ullRecord)
{
    EnsureMftRecords(static_cast<LONGLONG>(ullRecord) + 1);
    m_mftBitmap.Set(static_cast<LONGLONG>(ullRecord));
}

CSimFile* CSimVolume::RecordOwner(ULONGLONG ullRecord) const
{
    if (CSimFile* pFile = File(ullRecord))
        return pFile;
    auto it = m_extensionOwner.find(ullRecord);
    return it == m_extensionOwner.end() ? nullptr : File(it->second);
}

LONGLONG CSimVolume::InUseRecordAtOrBelow(LONGLONG llRecord) const
{
    LONGLONG llAt = std::min(llRecord, m_llMftRecords - 1);
    while (llAt >= 0)
    {
        LONGLONG llSet = m_mftBitmap.PrevSet(llAt);
        if (llSet < 0)
            return -1;
        if (RecordOwner(static_cast<ULONGLONG>(llSet)))
            return llSet;
        llAt = llSet - 1;
    }
    return -1;
}

LONGLONG CSimVolume::MftStartLcn() const
{
    const CSimFile* pMft = File(ntfs::RecordMft);
    const CSimStream* pData = pMft ? pMft->FindStream(ntfs::Data, L"") : nullptr;
    return pData && !pData->m_runs.empty() ? pData->m_runs.front().llLcn : 0;
}

LONGLONG CSimVolume::Mft2StartLcn() const
{
    const CSimFile* pMirr = File(ntfs::RecordMftMirr);
    const CSimStream* pData = pMirr ? pMirr->FindStream(ntfs::Data, L"") : nullptr;
    return pData && !pData->m_runs.empty() ? pData->m_runs.front().llLcn : 0;
}

bool CSimVolume::EnsureMftRecords(LONGLONG llRecords)
{
    if (Fs() != SIM_FS::Ntfs || llRecords <= m_llMftRecords)
        return true;
    CSimFile* pMft = File(ntfs::RecordMft);
    CSimStream* pData = pMft->FindStream(ntfs::Data, L"");
    // Grow by an eighth at a time, in whole clusters of records.
    const LONGLONG llPerCluster = std::max<LONGLONG>(1, BytesPerCluster() / BytesPerRecord());
    LONGLONG llWanted = std::max(llRecords, m_llMftRecords + std::max<LONGLONG>(64, m_llMftRecords / 8));
    llWanted = (llWanted + llPerCluster - 1) / llPerCluster * llPerCluster;
    LONGLONG llClusters = ClustersFor(llWanted * BytesPerRecord()) - pData->Vcns();
    const SIM_RUN& last = pData->m_runs.back();
    if (!Allocate(*pMft, *pData, llClusters, Contiguous(last.llLcn + last.llLength)))
        return false;
    SetDataSize(*pData, llWanted * BytesPerRecord());
    CSimStream* pBitmap = pMft->FindStream(ntfs::Bitmap, L"");
    LONGLONG llBitmapBytes = (llWanted + 63) / 64 * 8;
    if (ClustersFor(llBitmapBytes) > pBitmap->Vcns())
    {
        const SIM_RUN& lastBits = pBitmap->m_runs.back();
        if (!Allocate(*pMft, *pBitmap, ClustersFor(llBitmapBytes) - pBitmap->Vcns(),
                      Contiguous(lastBits.llLcn + lastBits.llLength)))
            return false;
    }
    SetDataSize(*pBitmap, llBitmapBytes);
    SetMftRecords(llWanted);
    return Relayout(*pMft);
}

CSimFile* CSimVolume::AddFile(ULONGLONG ullParent, const std::wstring& strName, DWORD dwAttributes, ULONGLONG ullId)
{
    WORD wSequence = 1;
    if (ullId == SIM_NEW_ID)
    {
        if (Fs() == SIM_FS::Ntfs)
        {
            ULONGLONG ullReference = AllocateRecord(false);
            if (ullReference == ~0ull)
                return nullptr;
            ullId = ullReference & ReferenceMask;
            wSequence = static_cast<WORD>(ullReference >> 48);
        }
        else
            ullId = m_ullNextId++;
    }
    else if (Fs() == SIM_FS::Ntfs)
    {
        m_mftBitmap.Set(static_cast<LONGLONG>(ullId));
        wSequence = static_cast<WORD>(ullId == ntfs::RecordMft || ullId >= 16 ? 1 : ullId);
        if (m_sequences.size() <= ullId)
            m_sequences.resize(static_cast<size_t>(ullId) + 1, 0);
        m_sequences[static_cast<size_t>(ullId)] = wSequence;
    }
    m_ullNextId = std::max(m_ullNextId, ullId + 1);
    if (m_files.size() <= ullId)
        m_files.resize(static_cast<size_t>(ullId) + 1);
    m_files[static_cast<size_t>(ullId)] = std::make_unique<CSimFile>(ullId, wSequence, ullParent, strName, dwAttributes);
    CSimFile* pFile = m_files[static_cast<size_t>(ullId)].get();
    pFile->m_llCreated = pFile->m_llModified = pFile->m_llAccessed = Now();
    if (ullParent == ullId)
        m_ullRoot = ullId;
    else if (CSimFile* pParent = File(ullParent))
        Link(*pParent, *pFile);
    return pFile;
}

void CSimVolume::Link(CSimFile& parent, CSimFile& file)
{
    file.m_ullParent = parent.m_ullId;
    parent.m_children[SimUpper(file.m_strName)] = file.m_ullId;
    if (Fs() != SIM_FS::Ntfs)
        parent.m_order.push_back(file.m_ullId);
    if (m_bAutoIndex)
        DirectoryGrew(parent);
}

void CSimVolume::Unlink(CSimFile& file)
{
    CSimFile* pParent = File(file.m_ullParent);
    if (!pParent || pParent == &file)
        return;
    pParent->m_children.erase(SimUpper(file.m_strName));
    auto& order = pParent->m_order;
    order.erase(std::remove(order.begin(), order.end(), file.m_ullId), order.end());
}

LONGLONG CSimVolume::IndexClustersFor(size_t nChildren) const
{
    if (Fs() == SIM_FS::Ntfs)
    {
        // Small directories keep their index in the record; larger ones get 4 KiB index blocks
        // of about forty entries.
        if (nChildren <= 8)
            return 0;
        LONGLONG llBlocks = static_cast<LONGLONG>((nChildren + 39) / 40);
        return ClustersFor(llBlocks * 4096);
    }
    // Two entries of 32 bytes for ".", "..", and about three per name with its long-name parts.
    return std::max<LONGLONG>(1, ClustersFor(static_cast<LONGLONG>(2 + 3 * nChildren) * 32));
}

void CSimVolume::DirectoryGrew(CSimFile& dir)
{
    LONGLONG llNeeded = IndexClustersFor(dir.m_children.size());
    CSimStream* pIndex = dir.FindStream(ntfs::IndexAllocation, L"$I30");
    if (llNeeded == 0 || (pIndex && pIndex->Vcns() >= llNeeded))
        return;
    if (!pIndex)
    {
        pIndex = &dir.AddStream(ntfs::IndexAllocation, L"$I30");
        if (Fs() == SIM_FS::Ntfs)
        {
            CSimStream& bits = dir.AddStream(ntfs::Bitmap, L"$I30");
            bits.m_bytes.assign(8, 0xFF);
            SetDataSize(bits, 8);
            pIndex = dir.FindStream(ntfs::IndexAllocation, L"$I30");
        }
    }
    LONGLONG llNear = pIndex->m_runs.empty() ? 0 : pIndex->m_runs.back().llLcn + pIndex->m_runs.back().llLength;
    if (Allocate(dir, *pIndex, llNeeded - pIndex->Vcns(), Contiguous(llNear)))
        SetDataSize(*pIndex, pIndex->Vcns() * BytesPerCluster());
    Relayout(dir);
}

bool CSimVolume::TakeRun(LONGLONG llFrom, LONGLONG llLength, std::vector<SIM_RUN>& runs)
{
    LONGLONG llStart = m_bitmap.FindClearRun(llFrom, llLength);
    if (llStart < 0 && llFrom > 0)
        llStart = m_bitmap.FindClearRun(0, llLength);
    if (llStart < 0)
        return false;
    m_bitmap.Set(llStart, llLength);
    runs.push_back({0, llStart, llLength});
    return true;
}

bool CSimVolume::TakeWherever(LONGLONG llClusters, std::vector<SIM_RUN>& runs)
{
    // No run is long enough: the data goes wherever there is room, as a file system puts it.
    for (LONGLONG llFrom = 0; llClusters > 0;)
    {
        LONGLONG llStart = m_bitmap.NextClear(llFrom);
        if (llStart < 0)
            return false;
        LONGLONG llEnd = m_bitmap.NextSet(llStart, llStart + llClusters);
        LONGLONG llTake = (llEnd < 0 ? std::min(TotalClusters(), llStart + llClusters) : llEnd) - llStart;
        m_bitmap.Set(llStart, llTake);
        runs.push_back({0, llStart, llTake});
        llClusters -= llTake;
        llFrom = llStart + llTake;
    }
    return true;
}

bool CSimVolume::TakePieces(LONGLONG llClusters, const SIM_PLACEMENT& placement, std::vector<SIM_RUN>& runs)
{
    const LONGLONG llPieces = std::max<LONGLONG>(1, std::min<LONGLONG>(placement.nPieces, llClusters));
    // The gap behind each piece stays marked until all pieces stand, so that no later piece
    // lands right behind it and joins it.
    std::vector<SIM_RUN> gaps;
    LONGLONG llFrom = placement.llNear;
    bool bOk = true;
    for (LONGLONG i = 0; bOk && i < llPieces; ++i)
    {
        LONGLONG llLength = llClusters / llPieces + (i < llClusters % llPieces ? 1 : 0);
        bOk = TakeRun(llFrom, llLength, runs);
        if (!bOk)
            break;
        const LONGLONG llGapStart = runs.back().llLcn + llLength;
        LONGLONG llGap = std::min(placement.ePlace == SIM_PLACE::Interleaved ? llLength : 1, TotalClusters() - llGapStart);
        if (llGap > 0 && m_bitmap.IsClear(llGapStart, llGap))
        {
            m_bitmap.Set(llGapStart, llGap);
            gaps.push_back({0, llGapStart, llGap});
        }
        llFrom = llGapStart + std::max<LONGLONG>(llGap, 0);
    }
    for (const SIM_RUN& gap : gaps)
        m_bitmap.Clear(gap.llLcn, gap.llLength);
    return bOk;
}

bool CSimVolume::TakeRuns(LONGLONG llClusters, const SIM_PLACEMENT& placement, std::vector<SIM_RUN>& runs)
{
    if (llClusters > FreeClusters())
        return false;
    bool bOk = true;
    switch (placement.ePlace)
    {
    case SIM_PLACE::Exact:
    {
        // The runs given must be free and hold exactly the clusters asked for.
        LONGLONG llGiven = 0;
        for (const SIM_RUN& run : placement.exact)
        {
            bOk = bOk && run.llLength > 0;
            llGiven += run.llLength;
        }
        bOk = bOk && llGiven == llClusters;
        for (const SIM_RUN& run : placement.exact)
        {
            bOk = bOk && m_bitmap.IsClear(run.llLcn, run.llLength);
            if (bOk)
            {
                m_bitmap.Set(run.llLcn, run.llLength);
                runs.push_back({0, run.llLcn, run.llLength});
            }
        }
        break;
    }
    case SIM_PLACE::Contiguous:
        bOk = TakeRun(placement.llNear, llClusters, runs) || TakeWherever(llClusters, runs);
        break;
    default:
        bOk = TakePieces(llClusters, placement, runs);
        break;
    }
    if (!bOk)
    {
        for (const SIM_RUN& run : runs)
            m_bitmap.Clear(run.llLcn, run.llLength);
        runs.clear();
    }
    return bOk;
}

bool CSimVolume::Allocate(CSimFile& file, CSimStream& stream, LONGLONG llClusters, const SIM_PLACEMENT& placement)
{
    if (llClusters <= 0)
        return true;
    std::vector<SIM_RUN> runs;
    if (!TakeRuns(llClusters, placement, runs))
        return false;
    stream.m_bResident = false;
    for (const SIM_RUN& run : runs)
        PlaceRun(file, stream, run.llLcn, run.llLength);
    return true;
}

void CSimVolume::PlaceRun(CSimFile& file, CSimStream& stream, LONGLONG llLcn, LONGLONG llLength)
{
    const LONGLONG llVcn = stream.Vcns();
    stream.m_bResident = false;
    if (llLcn != SIM_SPARSE_LCN)
    {
        m_bitmap.Set(llLcn, llLength);
        m_content.Assign(llLcn, llLength, file.Reference(), stream.m_wSlot, llVcn);
    }
    if (!stream.m_runs.empty())
    {
        SIM_RUN& last = stream.m_runs.back();
        bool bJoins = llLcn == SIM_SPARSE_LCN ? last.llLcn == SIM_SPARSE_LCN
                                              : last.llLcn != SIM_SPARSE_LCN && last.llLcn + last.llLength == llLcn;
        if (bJoins)
        {
            last.llLength += llLength;
            return;
        }
    }
    stream.m_runs.push_back({llVcn, llLcn, llLength});
}

void CSimVolume::ReleaseRuns(const std::vector<SIM_RUN>& runs)
{
    for (const SIM_RUN& run : runs)
    {
        if (run.llLcn == SIM_SPARSE_LCN)
            continue;
        m_content.Erase(run.llLcn, run.llLength);
        if (m_bDelayedFree)
            m_pendingFrees.push_back(run);
        else
            m_bitmap.Clear(run.llLcn, run.llLength);
    }
}

void CSimVolume::FreeStream(CSimStream& stream)
{
    ReleaseRuns(stream.m_runs);
    stream.m_runs.clear();
}

void CSimVolume::Checkpoint()
{
    for (const SIM_RUN& run : m_pendingFrees)
        m_bitmap.Clear(run.llLcn, run.llLength);
    m_pendingFrees.clear();
    ++m_ullChanges;
}

// The plan depends on the size of the list attribute, which the plan decides: laying out is
// repeated until the list stays as it is (a pass or two).
bool CSimVolume::Relayout(CSimFile& file)
{
    ++m_ullChanges;
    if (Fs() != SIM_FS::Ntfs)
        return true;
    for (int nPass = 0; nPass < 4; ++nPass)
    {
        if (!RelayoutOnce(file))
            return false;
        const CSimStream* pList = file.FindStream(ntfs::AttributeList, L"");
        NTFS_PLAN plan = CNtfsLayout::Plan(*this, file);
        if (plan.records.size() == file.m_extensions.size() + 1 &&
            (pList == nullptr ? !plan.NeedsList() : pList->m_bytes == CNtfsLayout::BuildList(file, plan)))
            return true;
    }
    return false;
}

bool CSimVolume::RelayoutOnce(CSimFile& file)
{
    NTFS_PLAN plan = CNtfsLayout::Plan(*this, file);
    const size_t nExtensions = plan.records.size() - 1;
    while (file.m_extensions.size() > nExtensions)
    {
        FreeRecord(file.m_extensions.back());
        file.m_extensions.pop_back();
    }
    while (file.m_extensions.size() < nExtensions)
    {
        ULONGLONG ullReference = AllocateRecord(file.m_ullId == ntfs::RecordMft);
        if (ullReference == ~0ull)
            return false;
        m_extensionOwner[ullReference & ReferenceMask] = file.m_ullId;
        file.m_extensions.push_back(ullReference);
    }
    CSimStream* pList = file.FindStream(ntfs::AttributeList, L"");
    if (nExtensions == 0)
    {
        if (pList)
        {
            FreeStream(*pList);
            file.RemoveStream(ntfs::AttributeList, L"");
        }
        return true;
    }
    std::vector<BYTE> list = CNtfsLayout::BuildList(file, plan);
    if (!pList)
        pList = &file.AddStream(ntfs::AttributeList, L"");
    const LONGLONG llBytes = static_cast<LONGLONG>(list.size());
    if (!m_ntfsLayout.bListAlwaysNonResident &&
        CNtfsLayout::ListFitsResident(*this, file, static_cast<DWORD>(list.size())))
    {
        FreeStream(*pList);
        pList->m_bResident = true;
    }
    else
    {
        LONGLONG llWanted = ClustersFor(llBytes);
        if (pList->Vcns() > llWanted)
            TruncateRuns(*pList, llWanted);
        if (pList->Vcns() < llWanted)
        {
            LONGLONG llNear = pList->m_runs.empty() ? MftStartLcn() : pList->m_runs.back().llLcn + pList->m_runs.back().llLength;
            if (!Allocate(file, *pList, llWanted - pList->Vcns(), Contiguous(llNear)))
                return false;
        }
    }
    pList->m_bytes = std::move(list);
    SetDataSize(*pList, llBytes);
    return true;
}

bool CSimVolume::SetNtfsLayout(const SIM_NTFS_LAYOUT& layout)
{
    m_ntfsLayout = layout;
    for (size_t i = 0; i < m_files.size(); ++i)
        if (m_files[i] && !Relayout(*m_files[i]))
            return false;
    return true;
}

void CSimVolume::TruncateRuns(CSimStream& stream, LONGLONG llVcns)
{
    std::vector<SIM_RUN> released;
    while (!stream.m_runs.empty() && stream.Vcns() > llVcns)
    {
        SIM_RUN& last = stream.m_runs.back();
        if (last.llVcn >= llVcns)
        {
            released.push_back(last);
            stream.m_runs.pop_back();
            continue;
        }
        LONGLONG llKeep = llVcns - last.llVcn;
        SIM_RUN tail = {llVcns, last.llLcn == SIM_SPARSE_LCN ? SIM_SPARSE_LCN : last.llLcn + llKeep, last.llLength - llKeep};
        last.llLength = llKeep;
        released.push_back(tail);
    }
    ReleaseRuns(released);
}

bool CSimVolume::IsUnmovable(const CSimFile& file, const CSimStream& stream, LONGLONG llVcn, LONGLONG llCount) const
{
    if (file.m_dwFlags & SimFileUnmovable)
        return true;
    if (Fs() != SIM_FS::Ntfs)
        return false;
    switch (file.m_ullId)
    {
    case ntfs::RecordMftMirr:
    case ntfs::RecordLogFile:
    case ntfs::RecordBoot:
    case ntfs::RecordBadClus:
        return true;
    case ntfs::RecordMft:
        // The first sixteen records stay where the boot sector says the MFT is.
        return stream.m_dwType == ntfs::Data && llVcn < ClustersFor(16 * static_cast<LONGLONG>(BytesPerRecord())) &&
               llCount > 0;
    default:
        return false;
    }
}

NTSTATUS CSimVolume::CheckMove(const CSimFile& file, const CSimStream& stream, LONGLONG llVcn, LONGLONG llLcn,
                               LONGLONG* pllCount) const
{
    LONGLONG& llCount = *pllCount;
    if (llVcn < 0 || llLcn < 0 || llCount <= 0 || stream.m_bResident || llVcn >= stream.Vcns())
        return ntstatus::InvalidParameter;
    if (llVcn + llCount > stream.Vcns())
    {
        if (!m_bClipMovesPastAllocation || Fs() != SIM_FS::Ntfs)
            return ntstatus::InvalidParameter;
        llCount = stream.Vcns() - llVcn;
    }
    if (IsUnmovable(file, stream, llVcn, llCount))
        return ntstatus::AccessDenied;
    // A FAT directory's first cluster is named by its parent's entry and by its own "." and
    // ".." entries; the file system never moves it.
    if (Fs() != SIM_FS::Ntfs && file.IsDirectory() && llVcn == 0)
        return ntstatus::AccessDenied;
    if (stream.m_wFlags & (ntfs::FlagCompressed | ntfs::FlagSparse))
    {
        // Such streams move in whole compression units; only the stream's last, short unit
        // may end a range elsewhere.
        if (llVcn % CompressionUnit != 0 || (llCount % CompressionUnit != 0 && llVcn + llCount != stream.Vcns()))
            return ntstatus::InvalidParameter;
        // Clusters past the end of the data (the rest of the last unit) belong to no data and
        // cannot be moved.
        const LONGLONG llDataVcns = ClustersFor(stream.m_llDataSize);
        const int nRuns = static_cast<int>(stream.m_runs.size());
        if (llVcn + llCount > llDataVcns)
            for (int i = stream.FindRun(std::max(llVcn, llDataVcns)); i >= 0 && i < nRuns; ++i)
                if (stream.m_runs[i].llLcn != SIM_SPARSE_LCN && stream.m_runs[i].llVcn < llVcn + llCount)
                    return ntstatus::InvalidParameter;
    }
    if (llLcn >= TotalClusters())
        return ntstatus::InvalidParameter;
    return ntstatus::Success;
}

NTSTATUS CSimVolume::MoveClusters(CSimFile& file, CSimStream& stream, LONGLONG llVcn, LONGLONG llLcn, LONGLONG llCount)
{
    const NTSTATUS status = CheckMove(file, stream, llVcn, llLcn, &llCount);
    if (status != ntstatus::Success)
        return status;
    // Only allocated clusters move; sparse and compressed-away VCNs stay as they are, and the
    // target advances over the allocated ones alone.
    std::vector<SIM_RUN> pieces;
    LONGLONG llAllocated = 0;
    for (int i = stream.FindRun(llVcn); i >= 0 && i < static_cast<int>(stream.m_runs.size()); ++i)
    {
        const SIM_RUN& run = stream.m_runs[i];
        if (run.llVcn >= llVcn + llCount)
            break;
        LONGLONG llFrom = std::max(run.llVcn, llVcn);
        LONGLONG llTo = std::min(run.llVcn + run.llLength, llVcn + llCount);
        if (run.llLcn == SIM_SPARSE_LCN)
            continue;
        pieces.push_back({llFrom, run.llLcn + (llFrom - run.llVcn), llTo - llFrom});
        llAllocated += llTo - llFrom;
    }
    if (llLcn + llAllocated > TotalClusters())
        return ntstatus::InvalidParameter;
    if (llAllocated == 0)
        return ntstatus::Success;
    if (!m_bitmap.IsClear(llLcn, llAllocated))
        return ntstatus::AlreadyCommitted;
    // The zone is kept for the MFT's growth; a file system that keeps others out of it treats
    // it as taken.
    if (m_bRefuseMovesIntoMftZone && Fs() == SIM_FS::Ntfs && llLcn < m_llZoneEnd && llLcn + llAllocated > m_llZoneStart)
        return ntstatus::AlreadyCommitted;
    LONGLONG llTarget = llLcn;
    for (const SIM_RUN& piece : pieces)
    {
        m_content.Copy(piece.llLcn, llTarget, piece.llLength);
        llTarget += piece.llLength;
    }
    m_bitmap.Set(llLcn, llAllocated);
    // The sources stay taken until the records hold the new runs, so that nothing the records
    // need lands on them; a move the records cannot hold (no record or cluster left for them)
    // is undone whole, as the file system's log undoes it.
    const DWORD dwType = stream.m_dwType;
    const std::wstring strName = stream.m_strName;
    const std::vector<SIM_RUN> before = stream.m_runs;
    Remap(stream, pieces, llLcn);
    ++m_ullChanges;
    if (!Relayout(file))
    {
        // The records may have added streams to the file: look the stream up again.
        file.FindStream(dwType, strName)->m_runs = before;
        m_content.Erase(llLcn, llAllocated);
        m_bitmap.Clear(llLcn, llAllocated);
        Relayout(file);
        return ntstatus::DiskFull;
    }
    ReleaseRuns(pieces);
    return ntstatus::Success;
}

void CSimVolume::Remap(CSimStream& stream, const std::vector<SIM_RUN>& pieces, LONGLONG llLcn)
{
    std::vector<SIM_RUN> runs;
    runs.reserve(stream.m_runs.size() + 2);
    size_t nPiece = 0;
    LONGLONG llTarget = llLcn;
    for (const SIM_RUN& run : stream.m_runs)
    {
        LONGLONG llVcn = run.llVcn;
        const LONGLONG llEnd = run.llVcn + run.llLength;
        while (llVcn < llEnd)
        {
            while (nPiece < pieces.size() && pieces[nPiece].llVcn + pieces[nPiece].llLength <= llVcn)
                ++nPiece;
            const bool bInPiece = nPiece < pieces.size() && pieces[nPiece].llVcn <= llVcn;
            LONGLONG llStop = llEnd;
            if (bInPiece)
                llStop = std::min(llEnd, pieces[nPiece].llVcn + pieces[nPiece].llLength);
            else if (nPiece < pieces.size())
                llStop = std::min(llEnd, pieces[nPiece].llVcn);
            LONGLONG llNewLcn = run.llLcn == SIM_SPARSE_LCN ? SIM_SPARSE_LCN : run.llLcn + (llVcn - run.llVcn);
            if (bInPiece && run.llLcn != SIM_SPARSE_LCN)
            {
                llNewLcn = llTarget;
                llTarget += llStop - llVcn;
            }
            runs.push_back({llVcn, llNewLcn, llStop - llVcn});
            llVcn = llStop;
        }
    }
    stream.m_runs.swap(runs);
    stream.Normalize();
}

bool CSimVolume::SplitParent(const std::wstring& strPath, CSimFile** ppParent, std::wstring* pstrName) const
{
    size_t nSlash = strPath.find_last_of(L'\\');
    std::wstring strParent = nSlash == std::wstring::npos ? L"" : strPath.substr(0, nSlash);
    *pstrName = nSlash == std::wstring::npos ? strPath : strPath.substr(nSlash + 1);
    *ppParent = Lookup(strParent);
    return *ppParent && (*ppParent)->IsDirectory() && !pstrName->empty();
}

void CSimVolume::Tell(const CSimFile& file, SIM_CHANGE eChange)
{
    if (m_pListener)
        m_pListener->OnChange(*this, RelativePath(file), file.IsDirectory(), eChange);
}

CSimFile* CSimVolume::CreateNode(const std::wstring& strPath, DWORD dwAttributes)
{
    CSimFile* pParent = nullptr;
    std::wstring strName;
    if (!SplitParent(strPath, &pParent, &strName) || Child(*pParent, strName))
        return nullptr;
    CSimFile* pFile = AddFile(pParent->m_ullId, strName, dwAttributes);
    if (!pFile)
        return nullptr;
    if (pFile->IsDirectory())
        CSimFormatter::AddDirectoryStreams(*this, *pFile);
    else if (Fs() == SIM_FS::Ntfs)
        pFile->AddStream(ntfs::Data, L"");
    else
        pFile->AddStream(ntfs::Data, L"").m_bResident = false;
    Relayout(*pFile);
    ++m_ullChanges;
    return pFile;
}

CSimFile* CSimVolume::CreateFile(const std::wstring& strPath, LONGLONG llBytes, const SIM_PLACEMENT& placement,
                                 DWORD dwAttributes)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = CreateNode(strPath, dwAttributes & ~FILE_ATTRIBUTE_DIRECTORY);
    if (!pFile)
        return nullptr;
    Tell(*pFile, SIM_CHANGE::Added);
    if (llBytes > 0)
    {
        if (!ResizeStream(*pFile, *pFile->FindStream(ntfs::Data, L""), llBytes, placement))
        {
            Delete(strPath);
            return nullptr;
        }
        Tell(*pFile, SIM_CHANGE::Modified);
    }
    return pFile;
}

CSimFile* CSimVolume::CreateDirectory(const std::wstring& strPath)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pDir = CreateNode(strPath, FILE_ATTRIBUTE_DIRECTORY);
    if (pDir)
        Tell(*pDir, SIM_CHANGE::Added);
    return pDir;
}

CSimStream* CSimVolume::CreateStream(const std::wstring& strPath, const std::wstring& strStream, LONGLONG llBytes,
                                     const SIM_PLACEMENT& placement)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = Lookup(strPath);
    if (!pFile || Fs() != SIM_FS::Ntfs || strStream.empty() || pFile->FindStream(ntfs::Data, strStream))
        return nullptr;
    pFile->AddStream(ntfs::Data, strStream);
    CSimStream* pStream = pFile->FindStream(ntfs::Data, strStream);
    if (!ResizeStream(*pFile, *pStream, llBytes, placement))
        return nullptr;
    Tell(*pFile, SIM_CHANGE::Modified);
    return pFile->FindStream(ntfs::Data, strStream);
}

bool CSimVolume::ResizeStream(CSimFile& file, CSimStream& stream, LONGLONG llBytes, const SIM_PLACEMENT& placement)
{
    if (llBytes < 0)
        return false;
    // A value stays in the record only while its attribute, name included, leaves room in it.
    const LONGLONG llNameBytes = 2 * static_cast<LONGLONG>(stream.m_strName.size());
    if (stream.m_bResident && Fs() == SIM_FS::Ntfs && llBytes + llNameBytes <= ResidentLimit)
    {
        stream.m_bytes.resize(static_cast<size_t>(llBytes), 0);
        SetDataSize(stream, llBytes);
        ++m_ullChanges;
        return Relayout(file);
    }
    stream.m_bResident = false;
    const LONGLONG llWanted = ClustersFor(llBytes);
    if (llWanted < stream.Vcns())
        TruncateRuns(stream, llWanted);
    else if (llWanted > stream.Vcns())
    {
        SIM_PLACEMENT where = placement;
        if (where.llNear == 0 && !stream.m_runs.empty() && stream.m_runs.back().llLcn != SIM_SPARSE_LCN)
            where.llNear = stream.m_runs.back().llLcn + stream.m_runs.back().llLength;
        if (!Allocate(file, stream, llWanted - stream.Vcns(), where))
            return false;
    }
    stream.m_bytes.resize(std::min<size_t>(stream.m_bytes.size(), static_cast<size_t>(llBytes)));
    SetDataSize(stream, llBytes);
    file.m_llModified = Now();
    ++m_ullChanges;
    return Relayout(file);
}

bool CSimVolume::Resize(const std::wstring& strPath, LONGLONG llBytes, const SIM_PLACEMENT& placement)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = Lookup(strPath);
    if (!pFile || pFile->IsDirectory() || !ResizeStream(*pFile, *pFile->FindStream(ntfs::Data, L""), llBytes, placement))
        return false;
    Tell(*pFile, SIM_CHANGE::Modified);
    return true;
}

bool CSimVolume::Rename(const std::wstring& strFrom, const std::wstring& strTo)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = Lookup(strFrom);
    CSimFile* pParent = nullptr;
    std::wstring strName;
    if (!pFile || pFile == Root() || !SplitParent(strTo, &pParent, &strName) || Child(*pParent, strName))
        return false;
    for (CSimFile* pUp = pParent; pUp; pUp = pUp == Root() ? nullptr : File(pUp->m_ullParent))
        if (pUp == pFile)
            return false;
    Tell(*pFile, SIM_CHANGE::RenamedOld);
    Unlink(*pFile);
    pFile->m_strName = strName;
    Link(*pParent, *pFile);
    Relayout(*pFile);
    ++m_ullChanges;
    Tell(*pFile, SIM_CHANGE::RenamedNew);
    return true;
}

bool CSimVolume::SetReparsePoint(const std::wstring& strPath, DWORD dwTag)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = Lookup(strPath);
    if (!pFile || pFile == Root() || Fs() != SIM_FS::Ntfs)
        return false;
    pFile->m_dwReparseTag = dwTag;
    pFile->m_dwAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (!pFile->FindStream(ntfs::ReparsePoint, L""))
    {
        // The reparse data: its tag, the length of what follows, and a reserved word.
        CSimStream& reparse = pFile->AddStream(ntfs::ReparsePoint, L"");
        reparse.m_bytes.assign(8, 0);
        std::memcpy(reparse.m_bytes.data(), &dwTag, 4);
        SetDataSize(reparse, 8);
    }
    ++m_ullChanges;
    return Relayout(*pFile);
}

bool CSimVolume::SetContent(const std::wstring& strPath, const std::vector<BYTE>& content,
                            const SIM_PLACEMENT& placement)
{
    CSimVolumeGuard guard(m_pLock);
    if (!Resize(strPath, static_cast<LONGLONG>(content.size()), placement))
        return false;
    Lookup(strPath)->FindStream(ntfs::Data, L"")->m_bytes = content;
    return true;
}

bool CSimVolume::Compress(const std::wstring& strPath, int nClustersPerUnit)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = Lookup(strPath);
    CSimStream* pData = pFile && !pFile->IsDirectory() ? pFile->FindStream(ntfs::Data, L"") : nullptr;
    if (Fs() != SIM_FS::Ntfs || !pData || nClustersPerUnit < 1 || nClustersPerUnit > CompressionUnit)
        return false;
    // Each unit of sixteen clusters keeps the clusters its compressed data needs; the rest of
    // the unit is a run without clusters.
    const LONGLONG llUnits = (ClustersFor(pData->m_llDataSize) + CompressionUnit - 1) / CompressionUnit;
    std::vector<SIM_RUN> runs;
    if (!TakeRuns(llUnits * nClustersPerUnit, Contiguous(), runs))
        return false;
    FreeStream(*pData);
    pData->m_wFlags |= ntfs::FlagCompressed;
    pFile->m_dwAttributes |= FILE_ATTRIBUTE_COMPRESSED;
    size_t nRun = 0;
    LONGLONG llUsed = 0;
    for (LONGLONG u = 0; u < llUnits; ++u)
    {
        for (LONGLONG llLeft = nClustersPerUnit; llLeft > 0;)
        {
            LONGLONG llTake = std::min(llLeft, runs[nRun].llLength - llUsed);
            PlaceRun(*pFile, *pData, runs[nRun].llLcn + llUsed, llTake);
            llLeft -= llTake;
            llUsed += llTake;
            if (llUsed == runs[nRun].llLength)
            {
                ++nRun;
                llUsed = 0;
            }
        }
        if (nClustersPerUnit < CompressionUnit)
            PlaceRun(*pFile, *pData, SIM_SPARSE_LCN, CompressionUnit - nClustersPerUnit);
    }
    Tell(*pFile, SIM_CHANGE::Modified);
    return Relayout(*pFile);
}

bool CSimVolume::Delete(const std::wstring& strPath)
{
    CSimVolumeGuard guard(m_pLock);
    CSimFile* pFile = Lookup(strPath);
    if (!pFile || pFile == Root() || (pFile->m_dwFlags & SimFileMetadata))
        return false;
    DeleteTree(*pFile);
    return true;
}

void CSimVolume::DeleteTree(CSimFile& file)
{
    for (ULONGLONG ullChild : Children(file))
        if (CSimFile* pChild = File(ullChild))
            DeleteTree(*pChild);
    Tell(file, SIM_CHANGE::Removed);
    for (CSimStream& stream : file.m_streams)
        FreeStream(stream);
    for (ULONGLONG ullExtension : file.m_extensions)
        FreeRecord(ullExtension);
    Unlink(file);
    if (Fs() == SIM_FS::Ntfs)
        FreeRecord(file.m_ullId);
    m_files[static_cast<size_t>(file.m_ullId)].reset();
    ++m_ullChanges;
}
