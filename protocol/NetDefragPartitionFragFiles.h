// CNetDefragPartitionFragFiles: the fragmented files of a volume with their
// fragment counts, names relative to the volume ("." for its root).
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragEntryArray.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

struct FRAG_FILES_RESPONSE_ENTRY
{
    // An empty name and the count.
    static constexpr int MinWireSize = 8;

    void Serialize(CNetDefragBuffer& ar);

    CUnicodeString strFileName;
    int32_t nFragments;
};

class CNetDefragPartitionFragFiles : public CNetDefragObject
{
public:
    CNetDefragPartitionFragFiles();

    bool AddFile(const CUnicodeString& strFileName, int32_t nFragments);
    // Most fragments first.
    void SortByFragments();
    int GetCount() const { return m_arrEntries.GetCount(); }
    // Copies out the next entry; false after the last.
    bool GetNext(FRAG_FILES_RESPONSE_ENTRY& stEntry);

    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;
    CUnicodeString m_strDriveRoot;

private:
    CNetDefragEntryArray<FRAG_FILES_RESPONSE_ENTRY> m_arrEntries;
    int m_nNext;
};
