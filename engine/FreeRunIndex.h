// CFreeRunIndex: the free runs of a volume, summarised per block of 4096 clusters (the free
// run at its start and at its end, the longest inside, the free count) with a segment tree
// over the blocks, so that a search for a free run or the next used cluster costs O(log
// blocks) and a few block reads instead of a pass over the bitmap. Built from one read of
// the bitmap; kept current by the clusters the run itself frees and takes; a run about to be
// handed out is read again first, which catches other writers, and the free count is held
// against the volume's now and then.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/BitmapBlockCache.h"
#include "engine/BitmapSource.h"
#include "engine/ClusterChange.h"

// One free-run search: a run of llWanted clusters from llFrom on, starting before llLimit
// (-1: anywhere), and none starting inside the MFT zone when bZone is set.
struct FREE_RUN_QUERY
{
    int64_t llFrom;
    int64_t llWanted;
    int64_t llLimit;
    bool bZone;
    int64_t llZoneStart;
    int64_t llZoneEnd;
};

// Its answer: found and where, or not found and the start of the longest run seen (-1: none).
struct FREE_RUN_ANSWER
{
    bool bFound;
    int64_t llLcn;

    bool operator==(const FREE_RUN_ANSWER& other) const { return bFound == other.bFound && llLcn == other.llLcn; }
};

class CFreeRunIndex
{
public:
    static constexpr int64_t BlockClusters = CBitmapBlockCache::BlockClusters;
    // Searches between two looks at the volume's free count.
    static constexpr int ReconcileInterval = 128;
    // Freed stretches remembered for a look at the bitmap when the free counts differ.
    static constexpr size_t MaxPendingFrees = 65536;

    explicit CFreeRunIndex(CBitmapSource& source);

    // One pass over the bitmap; false when it cannot be read.
    bool Build();
    // False when the bitmap could not be read: the answer is then not known.
    bool FindFreeRun(const FREE_RUN_QUERY& query, FREE_RUN_ANSWER& answer);
    bool FindNextUsedCluster(int64_t llFrom, FREE_RUN_ANSWER& answer);
    // The run's own moves.
    void OnClustersChanged(int64_t llLcn, int64_t llLength, CLUSTER_CHANGE eChange);

    int64_t FreeClusters() const { return m_llFree; }
    int Rebuilds() const { return m_nRebuilds; }
    size_t MemoryBytes() const;

private:
    struct BLOCK_SUMMARY
    {
        uint16_t uPrefix;
        uint16_t uSuffix;
        uint16_t uLongest;
        uint16_t uFree;
    };
    struct NODE
    {
        uint64_t ullPrefix;
        uint64_t ullSuffix;
        uint64_t ullLongest;
    };
    // The free runs of a stretch of clusters as far as joining stretches needs them.
    struct SPAN
    {
        int64_t llLength;
        int64_t llPrefix;
        int64_t llSuffix;
        int64_t llLongest;
        bool IsAllFree() const { return llPrefix == llLength; }
    };
    // The free run that reaches the end of what a search has passed.
    struct CARRY
    {
        int64_t llStart;
        int64_t llLength;
    };
    struct PHASE;

    static SPAN Join(const SPAN& left, const SPAN& right);
    static SPAN Summarize(const BYTE* pBits, int64_t llFrom, int64_t llTo, int64_t& llFree);
    // The first free run of llWanted clusters or more in bits [llFrom, llLength) of a block, or
    // -1; llTail: the start of the run that reaches the block's end, llLength for none.
    static int64_t FirstRunIn(const BYTE* pBits, int64_t llFrom, int64_t llLength, int64_t llWanted, int64_t& llTail);
    static void Extend(CARRY& carry, const SPAN& span, int64_t llStart, int64_t llEnd);

    bool Reconcile();
    bool Verify(const FREE_RUN_QUERY& query, int64_t llFound, bool& bHeld);
    bool TakeFromBitmap(int64_t llFrom, int64_t llTo, bool& bAllFree);
    bool TakeKnown(int64_t llFrom, int64_t llTo, bool bUsed);
    bool TakePendingFrees();
    bool Search(const FREE_RUN_QUERY& query, FREE_RUN_ANSWER& answer);
    bool SearchPhase(PHASE& phase);
    void SetBlock(int64_t llBlock, const SPAN& span, int64_t llFree);
    bool SummarizeBlock(int64_t llBlock);
    void UpdatePath(int64_t llBlock);
    SPAN LeafSpan(int64_t llBlock) const;
    SPAN NodeSpan(int64_t llNode) const;
    int64_t NodeEnd(int64_t llFirstBlock, int64_t llWidth) const;
    bool Part(int64_t llBlock, int64_t llFrom, int64_t llTo, SPAN& span);
    bool Range(int64_t llFrom, int64_t llTo, SPAN& span);
    bool FirstWindow(int64_t llFrom, int64_t llWanted, int64_t& llFound);
    bool WindowFrom(int64_t llNode, int64_t llFirst, int64_t llWidth, int64_t llFromBlock, int64_t llWanted,
                    CARRY& carry, int64_t& llFound);
    bool WindowInside(int64_t llNode, int64_t llFirst, int64_t llWidth, int64_t llWanted, CARRY& carry,
                      int64_t& llFound);
    bool NextUsed(int64_t llFrom, int64_t& llFound);
    int64_t FirstUsedBlock(int64_t llNode, int64_t llFirst, int64_t llWidth, int64_t llFromBlock) const;

    CBitmapSource& m_source;
    CBitmapBlockCache m_cache;
    int64_t m_llTotal;
    int64_t m_llBlocks;
    int64_t m_llLeaves;                  // a power of two, at least the blocks
    std::vector<BLOCK_SUMMARY> m_blocks;
    std::vector<NODE> m_nodes;           // 1 .. leaves - 1, children of n at 2n and 2n + 1
    int64_t m_llFree;
    int64_t m_llFreeAtBuild;
    int64_t m_llVolumeFreeAtBuild;
    bool m_bVolumeFreeKnown;
    int m_nSearchesSinceLook;
    int m_nRebuilds;
    bool m_bStale;                       // to be built before the next search
    struct PENDING_FREE
    {
        int64_t llFrom;
        int64_t llTo;
    };
    std::vector<PENDING_FREE> m_pendingFrees;
    bool m_bPendingLost;                 // more were freed than the list holds
    enum class FREES { Unknown, Prompt, Lagging };
    FREES m_eFrees;                      // whether freed clusters show free at once
};
