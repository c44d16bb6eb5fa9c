// CPendingFileList: the paths of one volume that wait for a pass, with what is
// known of each. Not locked itself: its users hold the volume's lock.
#pragma once

#include <cstdint>

#include "engine/PointerArray.h"

class CUnicodeString;

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
    bool HasPath(int nIndex, const CUnicodeString* pPath) const;

    CPointerArray m_entries;
};
