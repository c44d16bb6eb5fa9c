// CPendingFileList: the paths of one volume that wait for a pass, with what is
// known of each. Not locked itself: its users hold the volume's lock. An index
// by path beside the list keeps a lookup from walking the whole list; an
// entry's path changes only through the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/PointerArray.h"
#include "base/UnicodeString.h"

struct PENDING_FILE_ENTRY
{
    CUnicodeString* pPath;
    int64_t llFirstSeen;   // seconds since 1 January 1970
    int64_t llLastSeen;
    int32_t nChangeCount;
    int32_t nFragmentCount;
    uint8_t bFragmented;
    int64_t llSize;
};

class CPendingFileList
{
public:
    CPendingFileList() = default;
    ~CPendingFileList() { RemoveAll(); }
    CPendingFileList(const CPendingFileList&) = delete;
    CPendingFileList& operator=(const CPendingFileList&) = delete;

    // Null at or past the end; a negative index throws std::out_of_range.
    PENDING_FILE_ENTRY* GetAt(int nIndex) const;
    int GetSize() const { return m_entries.GetSize(); }
    int Find(const CUnicodeString* pPath) const;

    bool AddOrUpdate(const CUnicodeString* pPath, int32_t nFragmentCount, uint8_t bFragmented,
                     int64_t llSize);
    // The same for a path of nLength code units that is not a string yet: one is made only
    // for a new entry.
    bool AddOrUpdate(const wchar_t* pszPath, int nLength, int32_t nFragmentCount, uint8_t bFragmented,
                     int64_t llSize);
    // Replaces every value but the path of the entry at the index, or of the
    // entry with that path when the index names another one.
    bool Update(int nIndex, const CUnicodeString* pPath, const PENDING_FILE_ENTRY& stValues);
    bool Remove(const CUnicodeString* pPath);
    void RemoveAt(int nIndex);
    void RemoveChecked(int nIndex, const CUnicodeString* pPath);
    bool RenameDirectory(const CUnicodeString* pOld, const CUnicodeString* pNew);
    bool RenameFile(const CUnicodeString* pOld, const CUnicodeString* pNew);
    void RemoveAll();

private:
    // The index is keyed by a hash of the path, so that a path can be looked up without
    // being made a string first; entries that share a hash are told apart by their paths.
    struct HASH_KEY
    {
        size_t operator()(uint64_t ullHash) const { return static_cast<size_t>(ullHash); }
    };
    using PATH_INDEX = std::unordered_multimap<uint64_t, PENDING_FILE_ENTRY*, HASH_KEY>;

    // An entry and its path, made together in blocks: an analysis enters a volume's
    // fragmented files one by one, and two allocations less for each is a good part of it.
    struct POOLED_ENTRY
    {
        PENDING_FILE_ENTRY stEntry;
        CUnicodeString strPath;
    };

    // An entry of the pool with an empty path; the path stays the entry's for its life.
    PENDING_FILE_ENTRY* NewEntry();
    void FreeEntry(PENDING_FILE_ENTRY* pEntry);
    static uint64_t HashPath(const wchar_t* pszPath, int nLength);
    bool HasPath(int nIndex, const CUnicodeString* pPath) const;
    // The entries with this path in the index, without their order in the list.
    size_t CountIndexed(const wchar_t* pszPath, int nLength, PENDING_FILE_ENTRY** ppAny) const;
    void Index(PENDING_FILE_ENTRY* pEntry);
    void Unindex(PENDING_FILE_ENTRY* pEntry);

    CPointerArray m_entries;
    PATH_INDEX m_index;
    std::vector<std::unique_ptr<POOLED_ENTRY[]>> m_blocks;
    std::vector<PENDING_FILE_ENTRY*> m_free;
};
