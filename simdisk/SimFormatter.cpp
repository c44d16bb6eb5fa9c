#include "simdisk/SimFormatter.h"

#include "simdisk/SimVolume.h"

#include <algorithm>

namespace {

constexpr DWORD SystemFile = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr LONGLONG MinimumNtfsClusters = 2048;
constexpr LONGLONG MaximumFatClusters = 0x0FFFFFF5;

CSimStream& AddStream(CSimFile& file, DWORD dwType, const std::wstring& strName)
{
    file.AddStream(dwType, strName);
    return *file.FindStream(dwType, strName);
}

void AddResident(CSimVolume& volume, CSimFile& file, DWORD dwType, const std::wstring& strName, size_t nBytes)
{
    CSimStream& stream = AddStream(file, dwType, strName);
    stream.m_bytes.assign(nBytes, 0);
    volume.SetDataSize(stream, static_cast<LONGLONG>(nBytes));
}

// A non-resident stream of llBytes, placed from llNear on.
bool AddAllocated(CSimVolume& volume, CSimFile& file, DWORD dwType, const std::wstring& strName, LONGLONG llBytes,
                  LONGLONG llNear)
{
    CSimStream& stream = AddStream(file, dwType, strName);
    stream.m_bResident = false;
    if (!volume.Allocate(file, stream, volume.ClustersFor(llBytes), Contiguous(llNear)))
        return false;
    volume.SetDataSize(*file.FindStream(dwType, strName), llBytes);
    return true;
}

CSimFile* AddMetadataFile(CSimVolume& volume, ULONGLONG ullParent, const wchar_t* pszName, ULONGLONG ullRecord,
                          DWORD dwAttributes = SystemFile)
{
    CSimFile* pFile = volume.AddFile(ullParent, pszName, dwAttributes, ullRecord);
    pFile->m_dwFlags |= SimFileMetadata;
    return pFile;
}

} // namespace

bool CSimFormatter::Format(CSimVolume& volume)
{
    return volume.Fs() == SIM_FS::Ntfs ? FormatNtfs(volume) : FormatFat(volume);
}

void CSimFormatter::AddDirectoryStreams(CSimVolume& volume, CSimFile& dir)
{
    if (volume.Fs() == SIM_FS::Ntfs)
    {
        AddResident(volume, dir, ntfs::IndexRoot, L"$I30", 48);
        return;
    }
    // A FAT directory always owns at least one cluster of entries.
    CSimFile* pParent = volume.File(dir.m_ullParent);
    CSimStream* pNear = pParent && pParent != &dir ? pParent->FindStream(ntfs::IndexAllocation, L"$I30") : nullptr;
    LONGLONG llNear = pNear && !pNear->m_runs.empty() ? pNear->m_runs.back().llLcn : 0;
    AddAllocated(volume, dir, ntfs::IndexAllocation, L"$I30", volume.BytesPerCluster(), llNear);
}

bool CSimFormatter::FormatNtfs(CSimVolume& volume)
{
    const LONGLONG llTotal = volume.TotalClusters();
    const DWORD dwCluster = volume.BytesPerCluster();
    const DWORD dwRecord = volume.BytesPerRecord();
    const LONGLONG llFirstUser = volume.FirstUserRecord();
    if (llTotal < MinimumNtfsClusters || (dwRecord != 1024 && dwRecord != 4096) || dwCluster < 512 ||
        llFirstUser < static_cast<LONGLONG>(ntfs::LowestFirstUserRecord))
        return false;
    const LONGLONG llPerCluster = std::max<LONGLONG>(1, dwCluster / dwRecord);
    LONGLONG llRecords = volume.Geometry().llMftRecords ? volume.Geometry().llMftRecords
                                                        : llFirstUser + 1024;
    llRecords = std::max<LONGLONG>(llRecords, llFirstUser);
    llRecords = (llRecords + llPerCluster - 1) / llPerCluster * llPerCluster;
    volume.SetMftRecords(llRecords);

    volume.AddFile(ntfs::RecordRoot, L".", FILE_ATTRIBUTE_DIRECTORY | SystemFile, ntfs::RecordRoot);
    CSimFile* pBoot = AddMetadataFile(volume, ntfs::RecordRoot, L"$Boot", ntfs::RecordBoot);
    CSimStream& boot = AddStream(*pBoot, ntfs::Data, L"");
    volume.PlaceRun(*pBoot, boot, 0, volume.ClustersFor(8192));
    volume.SetDataSize(boot, 8192);

    // The MFT starts a quarter into small volumes and at 3 GiB on large ones; its zone
    // follows its data and reaches an eighth of the volume.
    const LONGLONG llMftStart = std::min<LONGLONG>(786432, llTotal / 4);
    const LONGLONG llMftClusters = volume.ClustersFor(llRecords * dwRecord);
    CSimFile* pMft = AddMetadataFile(volume, ntfs::RecordRoot, L"$MFT", ntfs::RecordMft);
    CSimStream& mftData = AddStream(*pMft, ntfs::Data, L"");
    const int nPieces = std::max(1, volume.Geometry().nMftPieces);
    const LONGLONG llFirstPiece = std::max<LONGLONG>(ntfs::FirstUserRecord * dwRecord / dwCluster + 1,
                                                     llMftClusters / nPieces);
    volume.PlaceRun(*pMft, mftData, llMftStart, std::min(llFirstPiece, llMftClusters));
    const LONGLONG llZoneEnd = std::min(llTotal, llMftStart + std::max<LONGLONG>(llTotal / 8, llMftClusters + 1));
    if (llMftClusters > llFirstPiece &&
        !volume.Allocate(*pMft, *pMft->FindStream(ntfs::Data, L""), llMftClusters - llFirstPiece,
                         Fragmented(nPieces - 1, llZoneEnd)))
        return false;
    volume.SetDataSize(*pMft->FindStream(ntfs::Data, L""), llRecords * dwRecord);
    volume.SetMftZone(llMftStart + llFirstPiece, llZoneEnd);
    const LONGLONG llLow = pBoot->FindStream(ntfs::Data, L"")->Vcns();
    if (!AddAllocated(volume, *pMft, ntfs::Bitmap, L"", (llRecords + 63) / 64 * 8, llLow))
        return false;
    AddNtfsMetadata(volume, llLow);
    for (size_t i = 0; i < volume.FileSlots(); ++i)
        if (CSimFile* pFile = volume.File(i))
            if (!volume.Relayout(*pFile))
                return false;
    return true;
}

void CSimFormatter::AddNtfsMetadata(CSimVolume& volume, LONGLONG llLow)
{
    const LONGLONG llTotal = volume.TotalClusters();
    const LONGLONG llMiddle = llTotal / 2;
    CSimFile* pMirr = AddMetadataFile(volume, ntfs::RecordRoot, L"$MFTMirr", ntfs::RecordMftMirr);
    AddAllocated(volume, *pMirr, ntfs::Data, L"", 4 * volume.BytesPerRecord(), llMiddle);
    CSimFile* pLog = AddMetadataFile(volume, ntfs::RecordRoot, L"$LogFile", ntfs::RecordLogFile);
    LONGLONG llLogClusters = std::max<LONGLONG>(16, std::min<LONGLONG>(16384, llTotal / 100));
    AddAllocated(volume, *pLog, ntfs::Data, L"", llLogClusters * volume.BytesPerCluster(), llMiddle);

    CSimFile* pVolume = AddMetadataFile(volume, ntfs::RecordRoot, L"$Volume", ntfs::RecordVolume);
    AddResident(volume, *pVolume, ntfs::Data, L"", 0);
    CSimStream& name = AddStream(*pVolume, ntfs::VolumeName, L"");
    const std::wstring& strLabel = volume.Label();
    name.m_bytes.assign(reinterpret_cast<const BYTE*>(strLabel.data()),
                        reinterpret_cast<const BYTE*>(strLabel.data() + strLabel.size()));
    volume.SetDataSize(name, static_cast<LONGLONG>(name.m_bytes.size()));
    AddResident(volume, *pVolume, ntfs::VolumeInformation, L"", 12);

    CSimFile* pAttrDef = AddMetadataFile(volume, ntfs::RecordRoot, L"$AttrDef", ntfs::RecordAttrDef);
    AddAllocated(volume, *pAttrDef, ntfs::Data, L"", 2560, llLow);
    CSimFile* pBitmap = AddMetadataFile(volume, ntfs::RecordRoot, L"$Bitmap", ntfs::RecordBitmap);
    AddAllocated(volume, *pBitmap, ntfs::Data, L"", (llTotal + 7) / 8, llLow);

    CSimFile* pBad = AddMetadataFile(volume, ntfs::RecordRoot, L"$BadClus", ntfs::RecordBadClus);
    AddResident(volume, *pBad, ntfs::Data, L"", 0);
    CSimStream& bad = AddStream(*pBad, ntfs::Data, L"$Bad");
    bad.m_wFlags = ntfs::FlagSparse;
    volume.PlaceRun(*pBad, bad, SIM_SPARSE_LCN, llTotal);
    volume.SetDataSize(*pBad->FindStream(ntfs::Data, L"$Bad"), llTotal * volume.BytesPerCluster());

    CSimFile* pSecure = AddMetadataFile(volume, ntfs::RecordRoot, L"$Secure", ntfs::RecordSecure);
    AddAllocated(volume, *pSecure, ntfs::Data, L"$SDS", 0x40000, llLow);
    AddResident(volume, *pSecure, ntfs::IndexRoot, L"$SDH", 56);
    AddResident(volume, *pSecure, ntfs::IndexRoot, L"$SII", 56);
    AddAllocated(volume, *pSecure, ntfs::IndexAllocation, L"$SDH", 4096, llLow);
    AddAllocated(volume, *pSecure, ntfs::IndexAllocation, L"$SII", 4096, llLow);
    AddResident(volume, *pSecure, ntfs::Bitmap, L"$SDH", 8);
    AddResident(volume, *pSecure, ntfs::Bitmap, L"$SII", 8);

    CSimFile* pUpCase = AddMetadataFile(volume, ntfs::RecordRoot, L"$UpCase", ntfs::RecordUpCase);
    AddAllocated(volume, *pUpCase, ntfs::Data, L"", 0x20000, llLow);

    CSimFile* pExtend = AddMetadataFile(volume, ntfs::RecordRoot, L"$Extend", ntfs::RecordExtend,
                                        FILE_ATTRIBUTE_DIRECTORY | SystemFile);
    AddDirectoryStreams(volume, *pExtend);
    CSimFile* pQuota = AddMetadataFile(volume, ntfs::RecordExtend, L"$Quota", ntfs::FirstExtendChild);
    AddResident(volume, *pQuota, ntfs::IndexRoot, L"$O", 48);
    AddResident(volume, *pQuota, ntfs::IndexRoot, L"$Q", 48);
    CSimFile* pObjId = AddMetadataFile(volume, ntfs::RecordExtend, L"$ObjId", ntfs::FirstExtendChild + 1);
    AddResident(volume, *pObjId, ntfs::IndexRoot, L"$O", 48);
    AddAllocated(volume, *pObjId, ntfs::IndexAllocation, L"$O", 4096, llLow);
    AddResident(volume, *pObjId, ntfs::Bitmap, L"$O", 8);
    CSimFile* pReparse = AddMetadataFile(volume, ntfs::RecordExtend, L"$Reparse", ntfs::FirstExtendChild + 2);
    AddResident(volume, *pReparse, ntfs::IndexRoot, L"$R", 48);
    CSimFile* pUsn = AddMetadataFile(volume, ntfs::RecordExtend, L"$UsnJrnl", ntfs::FirstExtendChild + 3);
    AddResident(volume, *pUsn, ntfs::Data, L"$Max", 32);
    CSimStream& journal = AddStream(*pUsn, ntfs::Data, L"$J");
    journal.m_wFlags = ntfs::FlagSparse;
    volume.PlaceRun(*pUsn, journal, SIM_SPARSE_LCN, 256);
    CSimStream& tail = *pUsn->FindStream(ntfs::Data, L"$J");
    volume.Allocate(*pUsn, tail, 16, Contiguous(llLow));
    volume.SetDataSize(*pUsn->FindStream(ntfs::Data, L"$J"), 272ll * volume.BytesPerCluster());
    AddDirectoryStreams(volume, *volume.Root());
}

bool CSimFormatter::FormatFat(CSimVolume& volume)
{
    const LONGLONG llTotal = volume.TotalClusters();
    if (llTotal < 16 || llTotal >= MaximumFatClusters)
        return false;
    CSimFile* pRoot = volume.AddFile(1, L"", FILE_ATTRIBUTE_DIRECTORY, 1);
    if (volume.Fs() == SIM_FS::Exfat)
    {
        // exFAT keeps its allocation bitmap and up-case table as clusters of the data area.
        CSimFile* pBitmap = volume.AddFile(1, L"$AllocationBitmap", SystemFile, 2);
        pBitmap->m_dwFlags |= SimFileMetadata | SimFileHidden;
        AddAllocated(volume, *pBitmap, ntfs::Data, L"", (llTotal + 7) / 8, 0);
        CSimFile* pUpCase = volume.AddFile(1, L"$UpCase", SystemFile, 3);
        pUpCase->m_dwFlags |= SimFileMetadata | SimFileHidden;
        AddAllocated(volume, *pUpCase, ntfs::Data, L"", 5836, 0);
    }
    // The exFAT files above may have given the root its first cluster already.
    if (!pRoot->FindStream(ntfs::IndexAllocation, L"$I30"))
        AddAllocated(volume, *pRoot, ntfs::IndexAllocation, L"$I30", volume.BytesPerCluster(), 0);
    return true;
}
