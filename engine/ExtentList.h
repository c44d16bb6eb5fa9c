// CExtentList: the cluster runs of one file as the engine carries them: start LCN, length
// and the clusters of sparse or compressed parts that follow the run, with a cluster-map kind
// for the whole list. Runs that continue each other are kept as one.
#pragma once

#include <cstdint>

struct EXTENT_ENTRY
{
    int64_t llStart;
    int64_t llLength;
    int64_t llExtra;   // clusters without an LCN behind this run
};

class CExtentList
{
public:
    static constexpr uint32_t InitialCapacity = 128;
    static constexpr int64_t NoStart = INT64_MAX;

    CExtentList();
    ~CExtentList();
    CExtentList(const CExtentList&) = delete;
    CExtentList& operator=(const CExtentList&) = delete;

    // False (and the list unchanged) for a length below 1 or when the list cannot grow.
    bool Add(int64_t llStart, int64_t llLength);
    bool Get(uint32_t uIndex, int64_t& llStart, int64_t& llLength) const;
    // The length with the run's extra clusters.
    bool GetWithExtra(uint32_t uIndex, int64_t& llStart, int64_t& llLength) const;
    bool AddExtra(uint32_t uIndex, int64_t llClusters);
    // Empties the list and gives back what it grew beyond its first capacity.
    void Clear();

    uint32_t GetCount() const { return m_uCount; }
    uint32_t GetCapacity() const { return m_uCapacity; }
    int64_t GetLowestStart() const { return m_llLowestStart; }
    int32_t GetKind() const { return m_nKind; }
    void SetKind(int32_t nKind) { m_nKind = nKind; }

private:
    bool Grow();

    int64_t m_llLowestStart;
    int32_t m_nKind;
    EXTENT_ENTRY* m_pEntries;
    uint32_t m_uCount;
    uint32_t m_uCapacity;
};
