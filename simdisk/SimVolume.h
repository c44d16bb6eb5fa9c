// One simulated volume: geometry, the directory tree with its files and streams, the volume
// bitmap, what each cluster holds, and on NTFS the MFT with its bitmap and the records of
// every file. Changes from outside (as another program would make them) and the file
// system's own cluster moves both keep all of these in agreement.
#pragma once

#include "simdisk/NtfsLayoutOptions.h"
#include "simdisk/SimBitmap.h"
#include "simdisk/SimContent.h"
#include "simdisk/SimFile.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

constexpr ULONGLONG SIM_NEW_ID = ~0ull;

struct SIM_FORMAT
{
    SIM_FS eFs = SIM_FS::Ntfs;
    LONGLONG llTotalClusters = 65536;
    DWORD dwBytesPerSector = 512;
    DWORD dwBytesPerCluster = 4096;
    DWORD dwBytesPerRecord = 1024;
    std::wstring strLabel = L"SIMDISK";
    DWORD dwSerial = 0x5A3C1E07;
    std::wstring strGuid;      // "{...}"; empty: one made from the serial, file system, size and label
    LONGLONG llMftRecords = 0; // 0: room for the metadata and 1024 files
    int nMftPieces = 1;        // more than 1 gives a fragmented MFT
    // First record of ordinary files: 64, or from 28 on as volumes formatted by some versions have it.
    LONGLONG llFirstUserRecord = ntfs::FirstUserRecord;
};

class CSimVolume
{
public:
    explicit CSimVolume(const SIM_FORMAT& format);
    ~CSimVolume();
    CSimVolume(const CSimVolume&) = delete;
    CSimVolume& operator=(const CSimVolume&) = delete;

    // An empty volume with its file-system structures laid out.
    static std::unique_ptr<CSimVolume> Format(const SIM_FORMAT& format);

    // Geometry and identity.
    SIM_FS Fs() const { return m_format.eFs; }
    const SIM_FORMAT& Geometry() const { return m_format; }
    DWORD BytesPerSector() const { return m_format.dwBytesPerSector; }
    DWORD BytesPerCluster() const { return m_format.dwBytesPerCluster; }
    DWORD BytesPerRecord() const { return m_format.dwBytesPerRecord; }
    LONGLONG TotalClusters() const { return m_format.llTotalClusters; }
    LONGLONG FreeClusters() const { return TotalClusters() - m_bitmap.CountSet(); }
    const std::wstring& Label() const { return m_format.strLabel; }
    DWORD Serial() const { return m_format.dwSerial; }
    // "\\?\Volume{...}\"
    std::wstring GuidPath() const { return L"\\\\?\\Volume" + m_format.strGuid + L"\\"; }
    const wchar_t* FsName() const;

    // Properties a test may change.
    bool m_bReadOnly = false;
    bool m_bDirty = false;
    bool m_bRemovable = false;
    BYTE m_byBusType = 11;     // SATA; 7 is USB
    bool m_bDelayedFree = false;
    int m_nDeviceNumber = 1;   // \Device\HarddiskVolumeN

    // Answers that differ between Windows versions or that Windows leaves undocumented; an engine
    // must be right with either value.
    bool m_bClipMovesPastAllocation = false; // NTFS: a move reaching past the allocation moves what exists, not INVALID_PARAMETER
    bool m_bRefuseMovesIntoMftZone = false;  // a move target within the MFT zone is ALREADY_COMMITTED
    LONGLONG m_llBitmapGranule = 8;          // a bitmap answer starts at a multiple of this many clusters (8, or 32768: a page of bits)
    bool m_bBitmapTailSet = true;            // bits of the last bitmap byte past the volume's end read as in use, else as free
    bool m_bMftZoneEndInclusive = false;     // MftZoneEnd names the zone's last cluster, not the first one after it
    BYTE m_byLoneNameSpace = 1;              // namespace of a long name without a DOS name: 1 Win32, 3 Win32 and DOS, 0 POSIX

    // The tree.
    CSimFile* File(ULONGLONG ullId) const;
    CSimFile* Root() const { return File(m_ullRoot); }
    ULONGLONG RootId() const { return m_ullRoot; }
    size_t FileSlots() const { return m_files.size(); }
    // A path relative to the root ("dir\file"), case-insensitive; "" is the root.
    CSimFile* Lookup(const std::wstring& strRelative) const;
    CSimFile* Child(const CSimFile& dir, const std::wstring& strName) const;
    CSimFile* ChildByShortName(const CSimFile& dir, const std::wstring& strShort) const;
    std::wstring RelativePath(const CSimFile& file) const;
    // Children in listing order: upper-case ordinal on NTFS, entry order on FAT.
    std::vector<ULONGLONG> Children(const CSimFile& dir) const;

    // Changes from outside, as another program makes them; each is told to the listener. On a
    // mounted volume they take the simulator's lock, so they may come from any thread.
    CSimFile* CreateFile(const std::wstring& strPath, LONGLONG llBytes, const SIM_PLACEMENT& placement = {},
                         DWORD dwAttributes = FILE_ATTRIBUTE_ARCHIVE);
    CSimFile* CreateDirectory(const std::wstring& strPath);
    CSimStream* CreateStream(const std::wstring& strPath, const std::wstring& strStream, LONGLONG llBytes,
                             const SIM_PLACEMENT& placement = {});
    bool Resize(const std::wstring& strPath, LONGLONG llBytes, const SIM_PLACEMENT& placement = {});
    bool Rename(const std::wstring& strFrom, const std::wstring& strTo);
    bool Delete(const std::wstring& strPath);
    // Gives a file exactly this content (reads return it), growing or shrinking it to its size.
    bool SetContent(const std::wstring& strPath, const std::vector<BYTE>& content,
                    const SIM_PLACEMENT& placement = {});
    // Compresses the file's data: each unit of 16 clusters keeps nClustersPerUnit of them.
    bool Compress(const std::wstring& strPath, int nClustersPerUnit);
    // Makes the file a reparse point with this tag (a junction is 0xA0000003); NTFS only.
    bool SetReparsePoint(const std::wstring& strPath, DWORD dwTag);
    void SetListener(CSimChangeListener* pListener) { m_pListener = pListener; }
    void SetLock(CRITICAL_SECTION* pLock) { m_pLock = pLock; }

    // Building blocks for formatting, images and the builder; they tell nobody.
    // ullId SIM_NEW_ID takes the next free number (the next free MFT record on NTFS).
    CSimFile* AddFile(ULONGLONG ullParent, const std::wstring& strName, DWORD dwAttributes, ULONGLONG ullId = SIM_NEW_ID);
    bool Allocate(CSimFile& file, CSimStream& stream, LONGLONG llClusters, const SIM_PLACEMENT& placement);
    // Appends a run at the stream's end and marks it used (llLcn -1: a sparse run).
    void PlaceRun(CSimFile& file, CSimStream& stream, LONGLONG llLcn, LONGLONG llLength);
    void SetDataSize(CSimStream& stream, LONGLONG llBytes);
    LONGLONG ClustersFor(LONGLONG llBytes) const;
    // Brings the records of a file in line with its streams (NTFS; nothing elsewhere).
    bool Relayout(CSimFile& file);
    ULONGLONG ChangeCount() const { return m_ullChanges; }

    // The file system's own move of VCNs [llVcn, llVcn + llCount) of a stream to llLcn.
    NTSTATUS MoveClusters(CSimFile& file, CSimStream& stream, LONGLONG llVcn, LONGLONG llLcn, LONGLONG llCount);
    // The checks a move makes before it touches anything: the range, the stream's own limits and the target.
    NTSTATUS CheckMove(const CSimFile& file, const CSimStream& stream, LONGLONG llVcn, LONGLONG llLcn,
                       LONGLONG* pllCount) const;
    bool IsUnmovable(const CSimFile& file, const CSimStream& stream, LONGLONG llVcn, LONGLONG llCount) const;
    LONGLONG FirstUserRecord() const { return m_format.llFirstUserRecord; }
    // Freed clusters that stay marked until the next checkpoint (delayed free).
    const std::vector<SIM_RUN>& PendingFrees() const { return m_pendingFrees; }
    void Checkpoint();

    CSimBitmap& Bitmap() { return m_bitmap; }
    const CSimBitmap& Bitmap() const { return m_bitmap; }
    CSimContentMap& Content() { return m_content; }
    const CSimContentMap& Content() const { return m_content; }

    // NTFS.
    CSimBitmap& MftBitmap() { return m_mftBitmap; }
    const CSimBitmap& MftBitmap() const { return m_mftBitmap; }
    LONGLONG MftRecords() const { return m_llMftRecords; }
    LONGLONG MftStartLcn() const;
    LONGLONG Mft2StartLcn() const;
    LONGLONG MftZoneStart() const { return m_llZoneStart; }
    LONGLONG MftZoneEnd() const { return m_llZoneEnd; }
    void SetMftZone(LONGLONG llStart, LONGLONG llEnd) { m_llZoneStart = llStart; m_llZoneEnd = llEnd; }
    // The file that owns a record (base or extension), or null for a free record.
    CSimFile* RecordOwner(ULONGLONG ullRecord) const;
    // The highest record at or below the one asked that is in use, or -1.
    LONGLONG InUseRecordAtOrBelow(LONGLONG llRecord) const;
    // A set bit with no record behind it, as a stale MFT bitmap has.
    void SetStaleMftBit(ULONGLONG ullRecord);
    ULONGLONG AllocateRecord(bool bForMft);
    void FreeRecord(ULONGLONG ullRecord);
    void AdoptExtension(ULONGLONG ullRecord, ULONGLONG ullBase) { m_extensionOwner[ullRecord] = ullBase; }
    const std::unordered_map<ULONGLONG, ULONGLONG>& ExtensionOwners() const { return m_extensionOwner; }
    WORD Sequence(ULONGLONG ullRecord) const;
    void SetSequence(ULONGLONG ullRecord, WORD wSequence);
    // Puts a file added without its parent into its parent's directory.
    void Attach(CSimFile& file);
    void AddPendingFree(const SIM_RUN& run) { m_pendingFrees.push_back(run); }
    bool EnsureMftRecords(LONGLONG llRecords);
    void SetMftRecords(LONGLONG llRecords) { m_llMftRecords = llRecords; m_mftBitmap.Resize(llRecords); }
    // Lays every record out again by these choices; false when a file no longer finds the
    // records or clusters it needs. Images keep the simulator's own layout.
    bool SetNtfsLayout(const SIM_NTFS_LAYOUT& layout);
    const SIM_NTFS_LAYOUT& NtfsLayout() const { return m_ntfsLayout; }

    // Directory indexes grow with their entries; a builder that sizes them itself turns it off.
    bool m_bAutoIndex = true;
    LONGLONG IndexClustersFor(size_t nChildren) const;
    void DirectoryGrew(CSimFile& dir);
    void FreeStream(CSimStream& stream);
    void TruncateRuns(CSimStream& stream, LONGLONG llVcns);

private:
    CSimFile* CreateNode(const std::wstring& strPath, DWORD dwAttributes);
    void ReleaseRuns(const std::vector<SIM_RUN>& runs);
    void Unlink(CSimFile& file);
    void Link(CSimFile& parent, CSimFile& file);
    void DeleteTree(CSimFile& file);
    bool SplitParent(const std::wstring& strPath, CSimFile** ppParent, std::wstring* pstrName) const;
    void Tell(const CSimFile& file, SIM_CHANGE eChange);
    // Marks the clusters of a placement used; on failure nothing stays marked.
    bool TakeRuns(LONGLONG llClusters, const SIM_PLACEMENT& placement, std::vector<SIM_RUN>& runs);
    bool TakeRun(LONGLONG llFrom, LONGLONG llLength, std::vector<SIM_RUN>& runs);
    bool TakeWherever(LONGLONG llClusters, std::vector<SIM_RUN>& runs);
    bool TakePieces(LONGLONG llClusters, const SIM_PLACEMENT& placement, std::vector<SIM_RUN>& runs);
    void Remap(CSimStream& stream, const std::vector<SIM_RUN>& pieces, LONGLONG llLcn);
    bool ResizeStream(CSimFile& file, CSimStream& stream, LONGLONG llBytes, const SIM_PLACEMENT& placement);
    bool RelayoutOnce(CSimFile& file);

    SIM_FORMAT m_format;
    CSimBitmap m_bitmap;
    CSimContentMap m_content;
    std::vector<std::unique_ptr<CSimFile>> m_files;
    ULONGLONG m_ullRoot = 0;
    ULONGLONG m_ullNextId = 1;
    std::vector<SIM_RUN> m_pendingFrees;
    CSimChangeListener* m_pListener = nullptr;
    CRITICAL_SECTION* m_pLock = nullptr;
    ULONGLONG m_ullChanges = 0;

    CSimBitmap m_mftBitmap;
    LONGLONG m_llMftRecords = 0;
    LONGLONG m_llZoneStart = 0;
    LONGLONG m_llZoneEnd = 0;
    std::unordered_map<ULONGLONG, ULONGLONG> m_extensionOwner;
    std::vector<WORD> m_sequences; // last sequence number of each record
    SIM_NTFS_LAYOUT m_ntfsLayout;
    LONGLONG m_llRecordHint;
};
