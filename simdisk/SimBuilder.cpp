#include "simdisk/SimBuilder.h"

#include "simdisk/SimFormatter.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <random>

namespace {

constexpr LONGLONG UnitsPerDay = 864000000000LL;

// A mix of the file's number, not the seed's random sequence, which lays the volume out.
void SetAge(CSimFile& file, LONGLONG llFile, int nRecentPercent)
{
    const ULONGLONG ullMix = static_cast<ULONGLONG>(llFile) * 0x9E3779B97F4A7C15ULL;
    if (static_cast<int>((ullMix >> 32) % 100) < nRecentPercent)
        return;
    const LONGLONG llDays = 30 + static_cast<LONGLONG>((ullMix >> 16) % 371);
    file.m_llModified -= llDays * UnitsPerDay;
    file.m_llCreated = std::min(file.m_llCreated, file.m_llModified);
}

// A piece of a fragmented file that is laid down only after some later files, so that other
// data stands between the pieces.
struct DEFERRED_PIECE
{
    CSimFile* pFile;
    LONGLONG llLength;
};

class CLayout
{
public:
    CLayout(CSimVolume& volume, std::mt19937_64& random) : m_volume(volume), m_random(random) {}

    // Gives every directory the index its entries need, from the cursor on.
    bool SizeIndexes(const std::vector<ULONGLONG>& dirs)
    {
        for (ULONGLONG ullDir : dirs)
        {
            CSimFile& dir = *m_volume.File(ullDir);
            LONGLONG llNeeded = m_volume.IndexClustersFor(dir.m_children.size());
            CSimStream* pIndex = dir.FindStream(ntfs::IndexAllocation, L"$I30");
            if (llNeeded == 0 || (pIndex && pIndex->Vcns() >= llNeeded))
                continue;
            if (!pIndex)
            {
                CSimStream& bits = dir.AddStream(ntfs::Bitmap, L"$I30");
                bits.m_bytes.assign(8, 0xFF);
                m_volume.SetDataSize(bits, 8);
                dir.AddStream(ntfs::IndexAllocation, L"$I30");
                pIndex = dir.FindStream(ntfs::IndexAllocation, L"$I30");
            }
            if (!Place(dir, *pIndex, llNeeded - pIndex->Vcns(), 0))
                return false;
            m_volume.SetDataSize(*pIndex, pIndex->Vcns() * m_volume.BytesPerCluster());
        }
        return true;
    }

    // Places a run of llLength clusters at the cursor, stepping over used clusters and the MFT zone.
    bool Place(CSimFile& file, CSimStream& stream, LONGLONG llLength, LONGLONG llGap)
    {
        while (true)
        {
            LONGLONG llStart = m_volume.Bitmap().FindClearRun(m_llCursor, llLength);
            if (llStart < 0)
                return false;
            const bool bInZone = llStart + llLength > m_volume.MftZoneStart() && llStart < m_volume.MftZoneEnd();
            if (m_volume.Fs() == SIM_FS::Ntfs && bInZone)
            {
                m_llCursor = m_volume.MftZoneEnd();
                continue;
            }
            m_volume.PlaceRun(file, stream, llStart, llLength);
            m_llCursor = llStart + llLength + llGap;
            return true;
        }
    }

    LONGLONG Gap()
    {
        // Now and then a few clusters stay free, so that free space comes in many small runs.
        return m_random() % 8 == 0 ? 1 + static_cast<LONGLONG>(m_random() % 4) : 0;
    }

private:
    CSimVolume& m_volume;
    std::mt19937_64& m_random;
    LONGLONG m_llCursor = 0;
};

std::wstring Numbered(const wchar_t* pszPrefix, LONGLONG llNumber, const wchar_t* pszSuffix)
{
    wchar_t szName[64];
    std::swprintf(szName, 64, L"%ls%07lld%ls", pszPrefix, llNumber, pszSuffix);
    return szName;
}

std::vector<ULONGLONG> BuildDirectories(CSimVolume& volume, const SIM_BUILD& build, std::mt19937_64& random)
{
    const LONGLONG llCount = build.llDirectories >= 0 ? build.llDirectories : build.llFiles / 20;
    std::vector<ULONGLONG> dirs{volume.RootId()};
    std::vector<int> depths{0};
    for (LONGLONG i = 0; i < llCount; ++i)
    {
        size_t nParent = static_cast<size_t>(random() % dirs.size());
        while (depths[nParent] >= build.nMaxDepth)
            nParent = static_cast<size_t>(random() % dirs.size());
        CSimFile* pDir = volume.AddFile(dirs[nParent], Numbered(L"dir", i, L""), FILE_ATTRIBUTE_DIRECTORY);
        if (!pDir)
            break;
        CSimFormatter::AddDirectoryStreams(volume, *pDir);
        dirs.push_back(pDir->m_ullId);
        depths.push_back(depths[nParent] + 1);
    }
    return dirs;
}

} // namespace

std::unique_ptr<CSimVolume> CSimBuilder::Build(const SIM_BUILD& build, std::wstring* pstrError)
{
    SIM_FORMAT format = build.format;
    const LONGLONG llDirectories = build.llDirectories >= 0 ? build.llDirectories : build.llFiles / 20;
    if (format.eFs == SIM_FS::Ntfs && format.llMftRecords == 0)
        format.llMftRecords = static_cast<LONGLONG>(ntfs::FirstUserRecord) + build.llFiles + llDirectories + 1024;
    std::unique_ptr<CSimVolume> pVolume = CSimVolume::Format(format);
    if (!pVolume)
    {
        *pstrError = L"the volume cannot be formatted with this geometry";
        return nullptr;
    }
    CSimVolume& volume = *pVolume;
    std::mt19937_64 random(build.uSeed);
    volume.m_bAutoIndex = false;
    std::vector<ULONGLONG> dirs = BuildDirectories(volume, build, random);

    // Files take about two thirds of the free space, one to twice the mean size each, one in a
    // hundred twenty times larger.
    const LONGLONG llMean = std::max<LONGLONG>(1, std::min<LONGLONG>(64, volume.FreeClusters() * 2 / 3 /
                                                                           std::max<LONGLONG>(1, build.llFiles) / 2));
    CLayout layout(volume, random);
    // Pieces by the file number after which they are due; one file's pieces fall due in order.
    std::multimap<LONGLONG, DEFERRED_PIECE> deferred;
    auto placeDue = [&](LONGLONG llNow) {
        while (!deferred.empty() && deferred.begin()->first <= llNow)
        {
            const DEFERRED_PIECE& piece = deferred.begin()->second;
            if (!layout.Place(*piece.pFile, *piece.pFile->FindStream(ntfs::Data, L""), piece.llLength, 1))
                return false;
            deferred.erase(deferred.begin());
        }
        return true;
    };
    for (LONGLONG i = 0; i < build.llFiles; ++i)
    {
        if (!placeDue(i))
            break;
        CSimFile* pFile = volume.AddFile(dirs[static_cast<size_t>(random() % dirs.size())], Numbered(L"f", i, L".dat"),
                                         FILE_ATTRIBUTE_ARCHIVE);
        if (!pFile)
            break;
        SetAge(*pFile, i, build.nRecentPercent);
        CSimStream& data = pFile->AddStream(ntfs::Data, L"");
        LONGLONG llClusters = llMean / 2 + 1 + static_cast<LONGLONG>(random() % static_cast<ULONGLONG>(llMean + 1));
        if (random() % 100 == 0)
            llClusters *= 20;
        int nPieces = 1;
        if (static_cast<int>(random() % 100) < build.nFragmentedPercent)
            nPieces = random() % 1000 == 0 ? 100 + static_cast<int>(random() % 900) : 2 + static_cast<int>(random() % 15);
        llClusters = std::max<LONGLONG>(llClusters, nPieces);
        const LONGLONG llPiece = llClusters / nPieces;
        if (!layout.Place(*pFile, data, llPiece + llClusters % nPieces, nPieces > 1 ? 1 : layout.Gap()))
            break;
        LONGLONG llDue = i;
        for (int p = 1; p < nPieces; ++p)
        {
            llDue += 1 + static_cast<LONGLONG>(random() % 8);
            deferred.emplace(llDue, DEFERRED_PIECE{pFile, llPiece});
        }
        volume.SetDataSize(*pFile->FindStream(ntfs::Data, L""),
                           llClusters * volume.BytesPerCluster() - static_cast<LONGLONG>(random() % volume.BytesPerCluster()));
    }
    if (!placeDue(build.llFiles + 1000000000ll) || !layout.SizeIndexes(dirs))
    {
        *pstrError = L"the volume is too small for these files";
        return nullptr;
    }
    for (size_t i = 0; i < volume.FileSlots(); ++i)
        if (CSimFile* pFile = volume.File(i))
            if (!volume.Relayout(*pFile))
            {
                *pstrError = L"the MFT cannot hold the records of these files";
                return nullptr;
            }
    volume.m_bAutoIndex = true;
    return pVolume;
}

DWORD CSimBuilder::SerialForSeed(unsigned uSeed) { return ((uSeed + 1u) * 0x9E3779B1u) ^ 0x5A3C1E07u; }
