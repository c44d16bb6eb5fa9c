#include "protocol/NetDefragPartitionClusterExplorerResponse.h"

void CLUSTEREXPLORER_RESPONSE_ENTRY::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(strFileName);
    ar.Exchange(llFirstCluster);
    ar.Exchange(llLastCluster);
    ar.Exchange(nKind);
}

CNetDefragPartitionClusterExplorerResponse::CNetDefragPartitionClusterExplorerResponse()
    : m_nVolumeIndex(-1), m_llFirstCluster(0), m_llLastCluster(0), m_nNext(0)
{
}

bool CNetDefragPartitionClusterExplorerResponse::AddFile(const CUnicodeString& strFileName, int64_t llFirstCluster,
                                                         int64_t llLastCluster, int32_t nKind)
{
    return m_arrEntries.Add({strFileName, llFirstCluster, llLastCluster, nKind});
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
