#include "simdisk/SimVerifier.h"

#include "platform/LittleEndian.h"
#include "simdisk/NtfsLayout.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <unordered_map>

namespace {

using le::Get;

constexpr size_t MaxProblems = 64;

// Whether a directory's key is the upper-case form of a name, without making that form.
bool IsUpperOf(const std::wstring& strKey, const std::wstring& strName)
{
    if (strKey.size() != strName.size())
        return false;
    for (size_t i = 0; i < strKey.size(); ++i)
        if (strKey[i] != static_cast<wchar_t>(std::towupper(strName[i])))
            return false;
    return true;
}

// Streams that may live outside their file record; the rest (names, times, index roots and
// the like) always stay in it.
bool CanHoldClusters(SIM_FS eFs, DWORD dwType)
{
    if (eFs != SIM_FS::Ntfs)
        return dwType == ntfs::Data || dwType == ntfs::IndexAllocation;
    constexpr DWORD ExtendedAttributes = 0xE0;
    constexpr DWORD LoggedUtilityStream = 0x100;
    switch (dwType)
    {
    case ntfs::AttributeList:
    case ntfs::SecurityDescriptor:
    case ntfs::Data:
    case ntfs::IndexAllocation:
    case ntfs::Bitmap:
    case ntfs::ReparsePoint:
    case ExtendedAttributes:
    case LoggedUtilityStream:
        return true;
    default:
        return false;
    }
}

} // namespace

void CSimVerifier::Problem(const wchar_t* pszFormat, ...)
{
    if (m_problems.size() >= MaxProblems)
        return;
    wchar_t szText[512];
    va_list args;
    va_start(args, pszFormat);
    std::vswprintf(szText, 512, pszFormat, args);
    va_end(args);
    m_problems.push_back(szText);
}

bool CSimVerifier::Report(int nStage, size_t nDone, size_t nTotal)
{
    if (!m_fnProgress)
        return true;
    int nPercent = nTotal ? static_cast<int>(nDone * 100 / nTotal) : 100;
    if (nPercent == m_nLastPercent)
        return true;
    m_nLastPercent = nPercent;
    if (!m_fnProgress(nStage, nPercent))
        m_bStopped = true;
    return !m_bStopped;
}

bool CSimVerifier::Run()
{
    m_problems.clear();
    m_bStopped = false;
    CSimBitmap owned(m_volume.TotalClusters());
    if (!CheckStreams(owned) || !CheckRecords() || !CheckBitmap(owned))
        return false;
    return m_problems.empty();
}

bool CSimVerifier::IsPossible(const CSimVolume& volume, std::wstring* pstrProblem)
{
    CSimVerifier verifier(volume);
    for (size_t i = 0; i < volume.FileSlots(); ++i)
        if (const CSimFile* pFile = volume.File(i))
            verifier.CheckFile(*pFile);
    verifier.CheckPendingFrees(nullptr);
    if (verifier.m_problems.empty())
        return true;
    *pstrProblem = verifier.m_problems.front();
    return false;
}

bool CSimVerifier::CheckStreams(CSimBitmap& owned)
{
    m_nLastPercent = -1;
    const size_t nSlots = m_volume.FileSlots();
    std::vector<bool> listed(nSlots, false);
    for (size_t i = 0; i < nSlots; ++i)
    {
        if (!Report(1, i, nSlots))
            return false;
        const CSimFile* pFile = m_volume.File(i);
        if (!pFile)
            continue;
        CheckPlace(*pFile, listed);
        CheckFile(*pFile);
        for (const CSimStream& stream : pFile->m_streams)
            CheckStream(*pFile, stream, owned);
    }
    // A file its directory does not list is lost to every listing and path, whatever its clusters hold.
    for (size_t i = 0; i < nSlots; ++i)
        if (m_volume.File(i) && i != m_volume.RootId() && !listed[i])
            Problem(L"file %llu is not listed in its directory", static_cast<unsigned long long>(i));
    CheckContent();
    return Report(1, nSlots, nSlots);
}

void CSimVerifier::CheckPlace(const CSimFile& file, std::vector<bool>& listed)
{
    // Each directory's entries once, marking the files they rightly list; a lookup by name for
    // every file would cost a search per file.
    for (const auto& child : file.m_children)
    {
        const CSimFile* pChild = m_volume.File(child.second);
        if (!pChild || pChild->m_ullParent != file.m_ullId || !IsUpperOf(child.first, pChild->m_strName))
            Problem(L"directory %llu lists an entry that is not its own", file.m_ullId);
        else
            listed[static_cast<size_t>(child.second)] = true;
    }
}

void CSimVerifier::CheckFile(const CSimFile& file)
{
    CheckAttributes(file);
    CheckOrder(file);
    for (const CSimStream& stream : file.m_streams)
    {
        CheckSizes(file, stream);
        CheckKind(file, stream);
    }
}

void CSimVerifier::CheckOrder(const CSimFile& file)
{
    // A FAT directory is listed in its entry order alone: an entry missing there hides its
    // whole subtree from every listing, and one that is not the directory's own child, or is
    // there twice, lists a file where it does not live.
    if (m_volume.Fs() == SIM_FS::Ntfs)
        return;
    std::vector<ULONGLONG> order(file.m_order);
    std::vector<ULONGLONG> children;
    for (const auto& child : file.m_children)
        children.push_back(child.second);
    std::sort(order.begin(), order.end());
    std::sort(children.begin(), children.end());
    if (order != children)
        Problem(L"directory %llu: its entry order does not list its entries once each", file.m_ullId);
}

void CSimVerifier::CheckKind(const CSimFile& file, const CSimStream& stream)
{
    // FAT keeps no compressed, sparse or encrypted streams; its clusters belong to a file's
    // data or a directory's entries.
    if (m_volume.Fs() != SIM_FS::Ntfs && stream.m_wFlags != 0)
        Problem(L"file %llu (stream %u): flags 0x%x its file system cannot hold", file.m_ullId, stream.m_wSlot,
                static_cast<unsigned>(stream.m_wFlags));
    if (!stream.m_bResident && !CanHoldClusters(m_volume.Fs(), stream.m_dwType))
        Problem(L"file %llu (stream %u): a stream of type 0x%lx cannot hold clusters", file.m_ullId,
                stream.m_wSlot, static_cast<unsigned long>(stream.m_dwType));
}

void CSimVerifier::CheckAttributes(const CSimFile& file)
{
    const DWORD dwAttributes = file.m_dwAttributes;
    // A directory holds entries; the unnamed data stream is a file's.
    if (file.IsDirectory() && file.FindStream(ntfs::Data, L""))
        Problem(L"file %llu is a directory yet has data", file.m_ullId);
    if (m_volume.Fs() != SIM_FS::Ntfs)
    {
        // FAT keeps no reparse data, compression, sparse streams or encryption.
        const DWORD dwNtfsOnly = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE |
                                 FILE_ATTRIBUTE_ENCRYPTED;
        if ((dwAttributes & dwNtfsOnly) || file.m_dwReparseTag)
            Problem(L"file %llu has attributes its file system cannot hold (0x%lx)", file.m_ullId,
                    static_cast<unsigned long>(dwAttributes & dwNtfsOnly));
        return;
    }
    const bool bReparse = (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (bReparse != (file.FindStream(ntfs::ReparsePoint, L"") != nullptr))
        Problem(L"file %llu: its reparse attribute and its reparse data disagree", file.m_ullId);
    // A directory's compression is only the default for new files; a file's is its data's.
    const CSimStream* pData = file.IsDirectory() ? nullptr : file.FindStream(ntfs::Data, L"");
    if (pData && ((dwAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0) != ((pData->m_wFlags & ntfs::FlagCompressed) != 0))
        Problem(L"file %llu: its compressed attribute and its data disagree", file.m_ullId);
}

void CSimVerifier::CheckSizes(const CSimFile& file, const CSimStream& stream)
{
    if (stream.m_llInitSize > stream.m_llDataSize)
        Problem(L"file %llu (stream %u): %lld bytes initialised of %lld", file.m_ullId, stream.m_wSlot,
                stream.m_llInitSize, stream.m_llDataSize);
    // Data kept in the file's record has no clusters; runs behind it are lost to every reader.
    if (stream.m_bResident && !stream.m_runs.empty())
        Problem(L"file %llu (stream %u): kept in its record yet owns clusters", file.m_ullId, stream.m_wSlot);
    // A FAT chain holds exactly the clusters its size needs.
    if (m_volume.Fs() != SIM_FS::Ntfs && stream.Vcns() > m_volume.ClustersFor(stream.m_llDataSize))
        Problem(L"file %llu: a chain of %lld clusters for %lld bytes", file.m_ullId, stream.Vcns(), stream.m_llDataSize);
}

void CSimVerifier::CheckPendingFrees(const CSimBitmap* pOwned)
{
    for (const SIM_RUN& run : m_volume.PendingFrees())
    {
        bool bLive = false;
        if (pOwned)
            bLive = !pOwned->IsClear(run.llLcn, run.llLength);
        else
            m_volume.Content().ForEach(run.llLcn, run.llLength, [&](LONGLONG, const CONTENT_RUN&) { bLive = true; });
        if (bLive)
            Problem(L"freed clusters from LCN %lld still hold a live stream's data", run.llLcn);
    }
}

void CSimVerifier::CheckStream(const CSimFile& file, const CSimStream& stream, CSimBitmap& owned)
{
    // The path is only built for a message: walking up the tree for every stream would cost
    // more than the whole check.
    auto name = [&]() { return m_volume.RelativePath(file); };
    LONGLONG llVcn = 0;
    for (size_t i = 0; i < stream.m_runs.size(); ++i)
    {
        const SIM_RUN& run = stream.m_runs[i];
        if (run.llVcn != llVcn || run.llLength <= 0)
        {
            Problem(L"%ls (stream %u): runs do not follow each other at VCN %lld", name().c_str(), stream.m_wSlot, run.llVcn);
            return;
        }
        llVcn += run.llLength;
        if (i > 0)
        {
            const SIM_RUN& prev = stream.m_runs[i - 1];
            bool bJoins = (prev.llLcn == SIM_SPARSE_LCN && run.llLcn == SIM_SPARSE_LCN) ||
                          (prev.llLcn != SIM_SPARSE_LCN && run.llLcn == prev.llLcn + prev.llLength);
            if (bJoins)
                Problem(L"%ls (stream %u): runs at VCN %lld are not joined", name().c_str(), stream.m_wSlot, run.llVcn);
        }
        if (run.llLcn == SIM_SPARSE_LCN)
            continue;
        if (run.llLcn < 0 || run.llLcn + run.llLength > m_volume.TotalClusters())
        {
            Problem(L"%ls: run at LCN %lld lies outside the volume", name().c_str(), run.llLcn);
            continue;
        }
        if (!owned.IsClear(run.llLcn, run.llLength))
            Problem(L"%ls: clusters from LCN %lld belong to another stream too", name().c_str(), owned.NextSet(run.llLcn));
        owned.Set(run.llLcn, run.llLength);
    }
    if (!stream.m_bResident && stream.Vcns() < m_volume.ClustersFor(stream.m_llDataSize))
        Problem(L"%ls: %lld clusters cannot hold %lld bytes", name().c_str(), stream.Vcns(), stream.m_llDataSize);
    const bool bMayBeSparse = (stream.m_wFlags & (ntfs::FlagSparse | ntfs::FlagCompressed)) != 0;
    if (!bMayBeSparse && stream.AllocatedClusters() != stream.Vcns())
        Problem(L"%ls: a stream that is neither sparse nor compressed has holes", name().c_str());
}

void CSimVerifier::CheckContent()
{
    // One walk over what the clusters hold, in LCN order: each piece that carries a stream's
    // VCNs where the stream has them counts for that stream. A stream whose clusters are all
    // counted holds its data; only a stream that falls short is looked at cluster by cluster.
    const size_t nSlots = m_volume.FileSlots();
    std::vector<size_t> first(nSlots + 1, 0);
    for (size_t i = 0; i < nSlots; ++i)
    {
        const CSimFile* pFile = m_volume.File(i);
        first[i + 1] = first[i] + (pFile ? pFile->m_streams.size() : 0);
    }
    std::vector<LONGLONG> held(first[nSlots], 0);
    for (const auto& entry : m_volume.Content().Runs())
    {
        const CONTENT_RUN& content = entry.second;
        const ULONGLONG ullId = content.ullFile & 0xFFFFFFFFFFFFull;
        const CSimFile* pFile = ullId < nSlots ? m_volume.File(ullId) : nullptr;
        if (!pFile || pFile->Reference() != content.ullFile)
            continue;
        size_t nStream = 0;
        while (nStream < pFile->m_streams.size() && pFile->m_streams[nStream].m_wSlot != content.wSlot)
            ++nStream;
        if (nStream == pFile->m_streams.size())
            continue;
        const CSimStream& stream = pFile->m_streams[nStream];
        LONGLONG llLcn = entry.first;
        LONGLONG llVcn = content.llVcn;
        LONGLONG llLeft = content.llLength;
        for (int r = stream.FindRun(llVcn); r >= 0 && r < static_cast<int>(stream.m_runs.size()) && llLeft > 0; ++r)
        {
            const SIM_RUN& run = stream.m_runs[r];
            if (run.llLcn == SIM_SPARSE_LCN || run.llLcn + (llVcn - run.llVcn) != llLcn)
                break;
            const LONGLONG llTake = std::min(llLeft, run.llVcn + run.llLength - llVcn);
            held[first[ullId] + nStream] += llTake;
            llLcn += llTake;
            llVcn += llTake;
            llLeft -= llTake;
        }
    }
    for (size_t i = 0; i < nSlots; ++i)
    {
        const CSimFile* pFile = m_volume.File(i);
        for (size_t n = 0; pFile && n < pFile->m_streams.size(); ++n)
        {
            const CSimStream& stream = pFile->m_streams[n];
            if (held[first[i] + n] == stream.AllocatedClusters())
                continue;
            for (const SIM_RUN& run : stream.m_runs)
            {
                LONGLONG llBad = 0;
                const ULONGLONG ullFile = pFile->Reference();
                if (run.llLcn != SIM_SPARSE_LCN &&
                    !m_volume.Content().Holds(run.llLcn, run.llLength, ullFile, stream.m_wSlot, run.llVcn, &llBad))
                {
                    Problem(L"%ls: cluster %lld does not hold VCN %lld of the stream",
                            m_volume.RelativePath(*pFile).c_str(), llBad, run.llVcn + (llBad - run.llLcn));
                    break;
                }
            }
        }
    }
}

bool CSimVerifier::CheckBitmap(CSimBitmap& owned)
{
    m_nLastPercent = -1;
    CheckPendingFrees(&owned);
    for (const SIM_RUN& run : m_volume.PendingFrees())
        owned.Set(run.llLcn, run.llLength);
    const std::vector<uint64_t>& expected = owned.Words();
    const std::vector<uint64_t>& actual = m_volume.Bitmap().Words();
    for (size_t i = 0; i < actual.size(); ++i)
    {
        if ((i & 0xFFFF) == 0 && !Report(3, i, actual.size()))
            return false;
        if (expected[i] == actual[i])
            continue;
        uint64_t diff = expected[i] ^ actual[i];
        LONGLONG llLcn = static_cast<LONGLONG>(i) * 64 + __builtin_ctzll(diff);
        if (actual[i] & diff & (1ull << (llLcn % 64)))
            Problem(L"cluster %lld is marked in use but no stream owns it", llLcn);
        else
            Problem(L"cluster %lld is in use but marked free", llLcn);
    }
    if (m_volume.Bitmap().Recount() != m_volume.Bitmap().CountSet())
        Problem(L"the free-cluster count does not match the bitmap");
    return Report(3, actual.size(), actual.size());
}

bool CSimVerifier::CheckRecords()
{
    m_nLastPercent = -1;
    if (m_volume.Fs() != SIM_FS::Ntfs)
        return Report(2, 1, 1);
    CheckMftBitmap();
    std::vector<BYTE> buffer(m_volume.BytesPerRecord());
    const size_t nSlots = m_volume.FileSlots();
    for (size_t i = 0; i < nSlots; ++i)
    {
        if (!Report(2, i, nSlots))
            return false;
        if (const CSimFile* pFile = m_volume.File(i))
            CheckRecordsOf(*pFile, buffer);
    }
    return Report(2, nSlots, nSlots);
}

void CSimVerifier::CheckMftBitmap()
{
    const CSimBitmap& bits = m_volume.MftBitmap();
    for (LONGLONG r = bits.NextSet(0); r >= 0; r = bits.NextSet(r + 1))
        if (!m_volume.RecordOwner(static_cast<ULONGLONG>(r)))
            Problem(L"MFT record %lld is marked in use but holds nothing", r);
    for (size_t i = 0; i < m_volume.FileSlots(); ++i)
    {
        const CSimFile* pFile = m_volume.File(i);
        if (!pFile)
            continue;
        if (!bits.Test(static_cast<LONGLONG>(i)))
            Problem(L"MFT record %llu is in use but marked free", static_cast<unsigned long long>(i));
        for (ULONGLONG ullExtension : pFile->m_extensions)
            if (!bits.Test(static_cast<LONGLONG>(ullExtension & 0xFFFFFFFFFFFFull)))
                Problem(L"extension record %llu is in use but marked free", ullExtension & 0xFFFFFFFFFFFFull);
    }
    CheckExtensionOwners();
    const CSimFile& mft = *m_volume.File(ntfs::RecordMft);
    if (mft.FindStream(ntfs::Data, L"")->m_llDataSize < m_volume.MftRecords() * m_volume.BytesPerRecord())
        Problem(L"the MFT's data is shorter than its records");
    // Record readers read the bitmap raw up to its size; records past it would never be found.
    if (mft.FindStream(ntfs::Bitmap, L"")->m_llDataSize * 8 < m_volume.MftRecords())
        Problem(L"the MFT's bitmap is shorter than its records");
}

void CSimVerifier::CheckExtensionOwners()
{
    // Each extension record belongs to exactly one base record, and both sides say so: the
    // file's list of extensions and the record's owner, which file-record answers go by.
    std::unordered_map<ULONGLONG, ULONGLONG> claimed;
    for (size_t i = 0; i < m_volume.FileSlots(); ++i)
    {
        const CSimFile* pFile = m_volume.File(i);
        if (!pFile)
            continue;
        for (ULONGLONG ullExtension : pFile->m_extensions)
        {
            const ULONGLONG ullRecord = ullExtension & 0xFFFFFFFFFFFFull;
            auto owner = m_volume.ExtensionOwners().find(ullRecord);
            if (m_volume.File(ullRecord) || !claimed.emplace(ullRecord, pFile->m_ullId).second ||
                owner == m_volume.ExtensionOwners().end() || owner->second != pFile->m_ullId)
                Problem(L"extension record %llu of record %llu is not its alone", ullRecord, pFile->m_ullId);
        }
    }
    for (const auto& owner : m_volume.ExtensionOwners())
    {
        auto claim = claimed.find(owner.first);
        if (claim == claimed.end() || claim->second != owner.second)
            Problem(L"extension record %llu names record %llu, which does not list it", owner.first, owner.second);
    }
}

void CSimVerifier::CheckRecordsOf(const CSimFile& file, std::vector<BYTE>& buffer)
{
    NTFS_PLAN plan = CNtfsLayout::Plan(m_volume, file);
    if (plan.records.size() != file.m_extensions.size() + 1)
    {
        Problem(L"record %llu needs %zu extension records but has %zu", file.m_ullId, plan.records.size() - 1,
                file.m_extensions.size());
        return;
    }
    // The list is read from the record or raw from its clusters; either way it must name the
    // records where the attributes are.
    const CSimStream* pList = file.FindStream(ntfs::AttributeList, L"");
    if (plan.NeedsList() != (pList != nullptr) || (pList && pList->m_bytes != CNtfsLayout::BuildList(file, plan)))
        Problem(L"record %llu: its attribute list does not name where its attributes are", file.m_ullId);
    std::map<std::pair<DWORD, std::wstring>, std::vector<SIM_RUN>> decoded;
    for (size_t r = 0; r < plan.records.size(); ++r)
    {
        CNtfsLayout::EncodeRecord(m_volume, file, plan, r, buffer.data());
        const BYTE* p = buffer.data();
        DWORD dwAt = Get<WORD>(p, 20);
        const DWORD dwUsed = Get<DWORD>(p, 24);
        if (std::memcmp(p, "FILE", 4) != 0 || dwUsed > buffer.size())
        {
            Problem(L"record %llu: not a valid FILE record", file.m_ullId);
            return;
        }
        while (dwAt + 8 <= dwUsed && Get<DWORD>(p, dwAt) != ntfs::EndMarker)
        {
            const DWORD dwLength = Get<DWORD>(p, dwAt + 4);
            if (dwLength == 0 || dwAt + dwLength > dwUsed)
            {
                Problem(L"record %llu: attribute at %lu overruns the record", file.m_ullId, dwAt);
                return;
            }
            if (p[dwAt + 8])
            {
                const BYTE byName = p[dwAt + 9];
                std::wstring strName(reinterpret_cast<const wchar_t*>(p + dwAt + Get<WORD>(p, dwAt + 10)), byName);
                const WORD wPairs = Get<WORD>(p, dwAt + 32);
                auto& runs = decoded[{Get<DWORD>(p, dwAt), SimUpper(strName)}];
                if (!CNtfsLayout::DecodeMappingPairs(p + dwAt + wPairs, dwLength - wPairs, Get<LONGLONG>(p, dwAt + 16), runs))
                    Problem(L"record %llu: mapping pairs do not decode", file.m_ullId);
            }
            dwAt += dwLength;
        }
    }
    for (const CSimStream& stream : file.m_streams)
    {
        if (stream.m_bResident)
            continue;
        std::vector<SIM_RUN>& runs = decoded[{stream.m_dwType, SimUpper(stream.m_strName)}];
        bool bSame = runs.size() == stream.m_runs.size();
        for (size_t i = 0; bSame && i < runs.size(); ++i)
            bSame = runs[i].llVcn == stream.m_runs[i].llVcn && runs[i].llLcn == stream.m_runs[i].llLcn &&
                    runs[i].llLength == stream.m_runs[i].llLength;
        if (!bSame)
            Problem(L"record %llu: the records do not describe the runs of stream %u", file.m_ullId, stream.m_wSlot);
    }
}
