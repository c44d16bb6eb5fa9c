// CNetDefragPartitionClusterExplorerResponse: the files that occupy a cluster
// range of a volume, one entry per run with its cluster kind; also the runs of
// a single file, with an empty drive text and a range of 0 to 0.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragEntryArray.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

struct CLUSTEREXPLORER_RESPONSE_ENTRY
{
    // An empty name and the fixed-width fields.
    static constexpr int MinWireSize = 24;

    size_t GetWireSize() const { return MinWireSize + strFileName.GetLength() * sizeof(wchar_t); }

    void Serialize(CNetDefragBuffer& ar);

    CUnicodeString strFileName;
    int64_t llFirstCluster;
    int64_t llLastCluster;
    int32_t nKind;
};

class CNetDefragPartitionClusterExplorerResponse : public CNetDefragObject
{
public:
    CNetDefragPartitionClusterExplorerResponse();

    bool AddFile(const CUnicodeString& strFileName, int64_t llFirstCluster, int64_t llLastCluster, int32_t nKind);
    // Smallest first cluster first.
    void SortByStart();
    // Bounds the entries' wire bytes: once they pass the limit, only the entries with the
    // smallest first clusters that fit are kept, in order. Memory stays within twice the
    // limit while entries are added. 0, at construction, sets no limit.
    void SetWireLimit(size_t nBytes) { m_nWireLimit = nBytes; }
    // Sorts and drops what does not fit; true when something was dropped, ever.
    bool FitToLimit();
    bool IsTruncated() const { return m_bTruncated; }
    // The smallest first cluster of the entries dropped; below it the entries are complete.
    int64_t GetFirstDropped() const { return m_llFirstDropped; }
    int GetCount() const { return m_arrEntries.GetCount(); }
    const CLUSTEREXPLORER_RESPONSE_ENTRY& GetAt(int nIndex) const { return m_arrEntries.GetAt(nIndex); }
    // The entries in order, then null.
    const CLUSTEREXPLORER_RESPONSE_ENTRY* GetNext();

    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;
    CUnicodeString m_strDriveRoot;
    int64_t m_llFirstCluster;
    int64_t m_llLastCluster;

private:
    CNetDefragEntryArray<CLUSTEREXPLORER_RESPONSE_ENTRY> m_arrEntries;
    int m_nNext;
    size_t m_nWireLimit;
    size_t m_nWireBytes;
    bool m_bTruncated;
    int64_t m_llFirstDropped;
};
