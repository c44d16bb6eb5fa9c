// CNtfsRecordReader: reads the MFT of an open NTFS volume record by record through the file
// system, merges attribute lists, decodes data runs and builds paths from a directory cache.
// Records come from a volume that may be damaged: every offset and length is checked against
// its container, and a record that does not hold together is marked damaged instead of read
// past its end.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <memory>
#include <vector>

#include "base/RecordMap.h"

class CUnicodeString;

// Where a data-run walk stands in an attribute's mapping pairs; zeroed before the first run.
struct DATA_RUN_CURSOR
{
    DWORD dwOffset;     // of the next run header within the attribute, 0 before the first
    LONGLONG llNextVcn;
    LONGLONG llLcn;     // the last allocated run's start, the base of the next offset
};

class CNtfsRecordReader
{
public:
    static constexpr LONGLONG NoRecord = -1;
    static constexpr LONGLONG RootRecord = 5;
    // The system's own records, whose paths are never built.
    static constexpr LONGLONG LastSystemRecord = 10;
    static constexpr LONGLONG NoTime = -1;
    // The code that stands for a record's unnamed data in IsUnmovableSystemAttribute.
    static constexpr int UnnamedData = -1;
    // The longest path the system's wide-path calls accept.
    static constexpr int MaxPathLength = 32767;

    // Results of NextDataRun: with a run, RunAllocated or RunSparse; at the end, RunEnd,
    // RunContinues (the stream goes on in the next attribute) or RunMalformed.
    static constexpr int RunEnd = 0;
    static constexpr int RunAllocated = 1;
    static constexpr int RunSparse = 2;
    static constexpr int RunMalformed = -1;
    static constexpr int RunContinues = -2;

    // The volume handle stays the caller's.
    CNtfsRecordReader(HANDLE hVolume, DWORD dwBytesPerRecord, DWORD dwBytesPerCluster);
    ~CNtfsRecordReader();
    CNtfsRecordReader(const CNtfsRecordReader&) = delete;
    CNtfsRecordReader& operator=(const CNtfsRecordReader&) = delete;

    // True only when the file system answers with the record asked for; otherwise the
    // buffer's record number is -1.
    bool ReadFileRecord(LONGLONG llRecord, NTFS_FILE_RECORD_OUTPUT_BUFFER* pBuffer, DWORD dwSize);
    bool ReadClusters(LONGLONG llLcn, DWORD dwCount, void* pBuffer);
    // Reads a record into the record buffer and merges its attribute list.
    bool LoadRecord(LONGLONG llRecord);

    const NTFS_FILE_RECORD_OUTPUT_BUFFER* GetRecord() const;
    LONGLONG GetRecordNumber() const;
    // True when the loaded record's attributes, run lists or attribute list do not hold
    // together; its attribute walk ends before the first bad attribute.
    bool IsRecordDamaged() const { return m_bRecordDamaged; }

    const BYTE* NextAttribute(const BYTE* pAfter, bool bSkipResident) const;
    int GetAttributeIndex(const BYTE* pAttribute) const;
    static const wchar_t* GetAttributeName(const BYTE* pAttribute, int& nLength);
    LONGLONG GetClusterCount(LONGLONG llRecord, const BYTE* pAttribute) const;
    static bool IsDirectoryRecord(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord);
    static bool HasAttributeList(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord);
    // NoTime when the record has no modification time to give, whatever the reason.
    static LONGLONG GetModificationTime(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord);
    // The first name that is not a DOS-only one; null when the record has none.
    static const wchar_t* GetFileName(const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord, int& nLength,
                                      LONGLONG& llParent);
    // The attribute must stay loaded while its runs are walked with one cursor.
    bool NextDataRun(LONGLONG llRecord, const BYTE* pAttribute, DATA_RUN_CURSOR& cursor,
                     LONGLONG& llLcn, LONGLONG& llLength, LONGLONG& llVcn, int& nStatus) const;

    bool GetVolumeInformation(BYTE& byMajor, BYTE& byMinor, WORD& wFlags);
    bool IsVolumeDirty();
    // Set by IsVolumeDirty, by an enumeration that failed to read the MFT, and by parents
    // that form a cycle.
    bool GetDirtyFlag() const { return m_bDirty; }

    LONGLONG BeginEnumeration();
    LONGLONG NextRecord(LONGLONG llAfter);
    LONGLONG NextBaseRecord(LONGLONG llAfter);

    // Paths are relative to the volume root; a directory's path ends in "\".
    bool BuildPath(LONGLONG llRecord, CUnicodeString& strPath);
    // A directory's own name and its parent, as BuildPath takes them one level at a time; false
    // when the record is no directory in use. The name lasts until the next enumeration.
    bool GetDirectoryEntry(LONGLONG llRecord, const CUnicodeString*& pName, LONGLONG& llParent);
    bool GetRecordPath(LONGLONG llRecord, CUnicodeString& strPath);
    bool GetStreamPathByIndex(LONGLONG llRecord, int nPosition, CUnicodeString& strPath);
    bool GetStreamPath(LONGLONG llRecord, const BYTE* pAttribute, CUnicodeString& strPath);
    bool FindRecordByPath(const CUnicodeString& strPath, LONGLONG& llRecord);

    static bool IsUnmovableSystemAttribute(LONGLONG llRecord, int nAttributeCode);

private:
    enum class FETCH { Read, NotInUse, Failed };
    enum class READ { Ok, Damaged, Failed };
    enum class CHUNK { Loaded, End, Failed };
    struct RUN
    {
        LONGLONG llVcn;
        LONGLONG llLcn;     // -1 for a sparse run
        LONGLONG llLength;
    };

    FETCH FetchRecord(LONGLONG llRecord, NTFS_FILE_RECORD_OUTPUT_BUFFER* pBuffer, DWORD dwSize);
    FETCH FetchLoadedRecord(LONGLONG llRecord);
    bool HoldsTogether() const;
    NTFS_FILE_RECORD_OUTPUT_BUFFER* Loaded() const;
    bool IsLoaded(LONGLONG llRecord) const;
    const BYTE* AttributeAt(int nPosition) const;

    int DecodeRun(const BYTE* pAttribute, DATA_RUN_CURSOR& cursor, RUN& run) const;
    bool ContinuesInNext(const BYTE* pAttribute) const;

    FETCH MergeAttributeList();
    READ MergeOnce();
    READ ReadListHolder(LONGLONG llHolder, const std::vector<BYTE>& base,
                        const NTFS_FILE_RECORD_OUTPUT_BUFFER*& pHolder);
    READ ReadNonResidentList(const BYTE* pAttribute, std::vector<BYTE>& list);
    void TakeMergedRecord(std::vector<BYTE>& merged, int nAttributes);

    CHUNK LoadChunk(LONGLONG llRecord);
    CHUNK ReadChunk(const RUN& run, LONGLONG llBitmapBytes, LONGLONG llRecords);
    LONGLONG CountMftRecords() const;
    LONGLONG FindNextInUseRecord(LONGLONG llFrom, bool& bFailed);
    void DropChunk();

    void CacheDirectory(LONGLONG llRecord, const NTFS_FILE_RECORD_OUTPUT_BUFFER* pRecord);
    void CacheMergedDirectory(LONGLONG llRecord);
    const CRecordMapNode* FindDirectory(LONGLONG llRecord);
    void ClearNames();

    HANDLE m_hVolume;
    DWORD m_dwBytesPerRecord;
    DWORD m_dwBytesPerCluster;

    LONGLONG m_llChunkFirstCluster;
    DWORD m_dwChunkBits;
    std::vector<ULONG> m_chunk;

    std::unique_ptr<BYTE[]> m_pRecord;  // laid out as the file system returns a record
    DWORD m_dwRecordBufferSize;
    bool m_bRecordDamaged;
    bool m_bDirty;

    CRecordMap m_names;           // directory record -> name and parent; the names are ours
    std::vector<BYTE> m_scratch;  // records read while another one stays loaded
    std::vector<const CUnicodeString*> m_pathParts;
};
