#include "engine/DefragPartition.h"

#include <algorithm>

#include "engine/VolumeBitmapSource.h"

namespace {

// Counts a search and the time it holds its caller.
class CSearchTimer
{
public:
    explicit CSearchTimer(CDefragPartition::SEARCH_COUNTS& counts) : m_counts(counts), m_liStart()
    {
        ++m_counts.llSearches;
        ::QueryPerformanceCounter(&m_liStart);
    }
    ~CSearchTimer()
    {
        LARGE_INTEGER liEnd = {};
        LARGE_INTEGER liFrequency = {};
        if (::QueryPerformanceCounter(&liEnd) && ::QueryPerformanceFrequency(&liFrequency) &&
            liFrequency.QuadPart > 0)
            m_counts.llMicroseconds += (liEnd.QuadPart - m_liStart.QuadPart) * 1000000 / liFrequency.QuadPart;
    }
    CSearchTimer(const CSearchTimer&) = delete;
    CSearchTimer& operator=(const CSearchTimer&) = delete;

private:
    CDefragPartition::SEARCH_COUNTS& m_counts;
    LARGE_INTEGER m_liStart;
};

} // namespace

CDefragPartition::CIndexedSearches::CIndexedSearches(CDefragPartition& partition, bool bOn) : m_partition(partition)
{
    CSectionLock lock(m_partition.m_csBitmap);
    m_partition.m_bIndexedSearches = bOn;
    m_partition.m_stSearches = SEARCH_COUNTS();
}

CDefragPartition::CIndexedSearches::~CIndexedSearches()
{
    CSectionLock lock(m_partition.m_csBitmap);
    m_partition.m_bIndexedSearches = false;
    m_partition.m_pFreeRunIndex.reset();
    m_partition.m_pIndexSource.reset();
}

bool CDefragPartition::IsIndexReady(HANDLE hVolume)
{
    if (!m_bIndexedSearches)
        return false;
    if (!m_pFreeRunIndex)
    {
        m_pIndexSource = std::make_unique<CVolumeBitmapSource>(m_strVolumeName, m_llTotalClusters, m_nBytesPerCluster,
                                                               MaxBitmapBytes);
        m_pIndexSource->SetVolume(hVolume);
        m_pFreeRunIndex = std::make_unique<CFreeRunIndex>(*m_pIndexSource);
        if (!m_pFreeRunIndex->Build())
        {
            // The run goes on with scans of the bitmap.
            m_bIndexedSearches = false;
            m_pFreeRunIndex.reset();
            m_pIndexSource.reset();
            return false;
        }
    }
    m_pIndexSource->SetVolume(hVolume);
    m_stSearches.nRebuilds = m_pFreeRunIndex->Rebuilds();
    m_stSearches.llIndexBytes =
        std::max<int64_t>(m_stSearches.llIndexBytes, static_cast<int64_t>(m_pFreeRunIndex->MemoryBytes()));
    return true;
}

void CDefragPartition::CheckAnswer(bool bNextUsed, const FREE_RUN_QUERY& query, const FREE_RUN_ANSWER& indexed,
                                   const FREE_RUN_ANSWER& scanned)
{
    if (indexed == scanned)
        return;
    if (m_stSearches.nMismatches++ == 0)
        m_stFirstMismatch = {bNextUsed, query, indexed, scanned};
}

bool CDefragPartition::AnswerSearch(HANDLE hVolume, bool bNextUsed, const FREE_RUN_QUERY& query, int64_t& llFound)
{
    CSectionLock lock(m_csBitmap);
    CSearchTimer timer(m_stSearches);
    FREE_RUN_ANSWER indexed = {false, -1};
    const bool bIndexed =
        IsIndexReady(hVolume) && (bNextUsed ? m_pFreeRunIndex->FindNextUsedCluster(query.llFrom, indexed)
                                            : m_pFreeRunIndex->FindFreeRun(query, indexed));
    if (bIndexed && !m_bSearchCheck)
    {
        llFound = indexed.llLcn;
        return indexed.bFound;
    }
    m_stSearches.nScansInstead += !bIndexed && m_pFreeRunIndex ? 1 : 0;
    FREE_RUN_ANSWER scanned = {false, -1};
    scanned.bFound = bNextUsed ? ScanNextUsedCluster(hVolume, query.llFrom, scanned.llLcn)
                               : ScanFreeRun(hVolume, query, scanned.llLcn);
    if (bIndexed)
        CheckAnswer(bNextUsed, query, indexed, scanned);
    llFound = scanned.llLcn;
    return scanned.bFound;
}

bool CDefragPartition::FindNextUsedCluster(HANDLE hVolume, int64_t llFrom, int64_t& llFound)
{
    return AnswerSearch(hVolume, true, FREE_RUN_QUERY{llFrom, 0, -1, false, -1, -1}, llFound);
}

bool CDefragPartition::FindFreeRun(HANDLE hVolume, int64_t llFrom, int64_t llWanted, int64_t& llFound,
                                   int64_t llLimit)
{
    const bool bZone = m_nFileSystem == FS_NTFS && m_llMftZoneStart >= 0 && m_llMftZoneEnd >= m_llMftZoneStart;
    const FREE_RUN_QUERY query = {llFrom, llWanted, llLimit, bZone, m_llMftZoneStart, m_llMftZoneEnd};
    return AnswerSearch(hVolume, false, query, llFound);
}

void CDefragPartition::TrackClusters(HANDLE hVolume, int64_t llLcn, int64_t llLength, CLUSTER_CHANGE eChange)
{
    CSectionLock lock(m_csBitmap);
    if (!m_pFreeRunIndex)
        return;
    m_pIndexSource->SetVolume(hVolume);
    m_pFreeRunIndex->OnClustersChanged(llLcn, llLength, eChange);
}
