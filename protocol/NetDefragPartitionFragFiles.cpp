#include "protocol/NetDefragPartitionFragFiles.h"

void FRAG_FILES_RESPONSE_ENTRY::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(strFileName);
    ar.Exchange(nFragments);
}

CNetDefragPartitionFragFiles::CNetDefragPartitionFragFiles() : m_nVolumeIndex(-1), m_nNext(0)
{
}

bool CNetDefragPartitionFragFiles::AddFile(const CUnicodeString& strFileName, int32_t nFragments)
{
    return m_arrEntries.Add({strFileName, nFragments});
}

void CNetDefragPartitionFragFiles::SortByFragments()
{
    m_arrEntries.StableSort([](const FRAG_FILES_RESPONSE_ENTRY& a, const FRAG_FILES_RESPONSE_ENTRY& b) {
        return a.nFragments > b.nFragments;
    });
}

bool CNetDefragPartitionFragFiles::GetNext(FRAG_FILES_RESPONSE_ENTRY& stEntry)
{
    if (m_nNext >= m_arrEntries.GetCount())
        return false;
    stEntry = m_arrEntries.GetAt(m_nNext++);
    return true;
}

void CNetDefragPartitionFragFiles::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nVolumeIndex);
    ar.Exchange(m_strDriveRoot);
    m_arrEntries.Serialize(ar);
}
