#include "protocol/NetDefragPartitionClusterExplorerResponse.h"

#include <algorithm>
#include <cstdint>

void CLUSTEREXPLORER_RESPONSE_ENTRY::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(strFileName);
    ar.Exchange(llFirstCluster);
    ar.Exchange(llLastCluster);
    ar.Exchange(nKind);
}

CNetDefragPartitionClusterExplorerResponse::CNetDefragPartitionClusterExplorerResponse()
    : m_nVolumeIndex(-1), m_llFirstCluster(0), m_llLastCluster(0), m_nNext(0), m_nWireLimit(0), m_nWireBytes(0),
      m_bTruncated(false), m_llFirstDropped(INT64_MAX)
{
}

bool CNetDefragPartitionClusterExplorerResponse::AddFile(const CUnicodeString& strFileName, int64_t llFirstCluster,
                                                         int64_t llLastCluster, int32_t nKind)
{
    // Below what was dropped once nothing more can be kept.
    if (llFirstCluster >= m_llFirstDropped)
        return true;
    CLUSTEREXPLORER_RESPONSE_ENTRY stEntry = {strFileName, llFirstCluster, llLastCluster, nKind};
    if (!m_arrEntries.Add(stEntry))
        return false;
    m_nWireBytes += stEntry.GetWireSize();
    if (m_nWireLimit > 0 && m_nWireBytes > 2 * m_nWireLimit)
        FitToLimit();
    return true;
}

bool CNetDefragPartitionClusterExplorerResponse::FitToLimit()
{
    SortByStart();
    if (m_nWireLimit == 0 || m_nWireBytes <= m_nWireLimit)
        return m_bTruncated;
    size_t nKept = 0;
    int nCount = 0;
    while (nCount < m_arrEntries.GetCount() && nKept + m_arrEntries.GetAt(nCount).GetWireSize() <= m_nWireLimit)
        nKept += m_arrEntries.GetAt(nCount++).GetWireSize();
    // Entries that share the first dropped one's start go with it: below it all are kept.
    const int64_t llDropped = m_arrEntries.GetAt(nCount).llFirstCluster;
    while (nCount > 0 && m_arrEntries.GetAt(nCount - 1).llFirstCluster == llDropped)
        nKept -= m_arrEntries.GetAt(--nCount).GetWireSize();
    m_arrEntries.TruncateTo(nCount);
    m_nWireBytes = nKept;
    m_bTruncated = true;
    m_llFirstDropped = std::min(m_llFirstDropped, llDropped);
    return true;
}

void CNetDefragPartitionClusterExplorerResponse::SortByStart()
{
    m_arrEntries.StableSort([](const CLUSTEREXPLORER_RESPONSE_ENTRY& a, const CLUSTEREXPLORER_RESPONSE_ENTRY& b) {
        return a.llFirstCluster < b.llFirstCluster;
    });
}

const CLUSTEREXPLORER_RESPONSE_ENTRY* CNetDefragPartitionClusterExplorerResponse::GetNext()
{
    if (m_nNext >= m_arrEntries.GetCount())
        return nullptr;
    return &m_arrEntries.GetAt(m_nNext++);
}

void CNetDefragPartitionClusterExplorerResponse::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nVolumeIndex);
    ar.Exchange(m_strDriveRoot);
    ar.Exchange(m_llFirstCluster);
    ar.Exchange(m_llLastCluster);
    m_arrEntries.Serialize(ar);
}
