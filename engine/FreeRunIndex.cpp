#include "engine/FreeRunIndex.h"

#include <algorithm>
#include <cstring>

#include "engine/BitRange.h"

namespace {

// Blocks read at once while the index is built: 64 KiB of bits.
constexpr int64_t BuildBlocks = 128;
// Answers read again and found taken before the search gives up and leaves it to a scan.
constexpr int MaxTries = 16;

int64_t Bit(int64_t llBlock) { return llBlock * CFreeRunIndex::BlockClusters; }

} // namespace

// One stretch of a search: runs starting in [llFrom, llTo), the first counted from llFrom.
struct CFreeRunIndex::PHASE
{
    int64_t llFrom;
    int64_t llTo;
    int64_t llWanted;
    int64_t llFound;        // -1 until a run is long enough
    int64_t llBestStart;    // of the longest run seen, -1 for none
    int64_t llBestLength;
};

CFreeRunIndex::CFreeRunIndex(CBitmapSource& source)
    : m_source(source), m_cache(source), m_llTotal(source.TotalClusters()), m_llBlocks(0), m_llLeaves(1), m_llFree(0),
      m_llFreeAtBuild(0), m_llVolumeFreeAtBuild(0), m_bVolumeFreeKnown(false), m_nSearchesSinceLook(0),
      m_nRebuilds(0), m_bStale(true), m_pendingFrees(), m_bPendingLost(false), m_eFrees(FREES::Unknown)
{
}

size_t CFreeRunIndex::MemoryBytes() const
{
    return m_blocks.capacity() * sizeof(BLOCK_SUMMARY) + m_nodes.capacity() * sizeof(NODE) + m_cache.MemoryBytes();
}

CFreeRunIndex::SPAN CFreeRunIndex::Join(const SPAN& left, const SPAN& right)
{
    SPAN span;
    span.llLength = left.llLength + right.llLength;
    span.llPrefix = left.IsAllFree() ? left.llLength + right.llPrefix : left.llPrefix;
    span.llSuffix = right.IsAllFree() ? right.llLength + left.llSuffix : right.llSuffix;
    span.llLongest = std::max(std::max(left.llLongest, right.llLongest), left.llSuffix + right.llPrefix);
    return span;
}

CFreeRunIndex::SPAN CFreeRunIndex::Summarize(const BYTE* pBits, int64_t llFrom, int64_t llTo, int64_t& llFree)
{
    SPAN span = {llTo - llFrom, 0, 0, 0};
    llFree = 0;
    for (int64_t llPos = llFrom; llPos < llTo;)
    {
        const int64_t llStart = CBitRange::FindClear(pBits, llPos, llTo);
        if (llStart >= llTo)
            break;
        const int64_t llEnd = CBitRange::FindSet(pBits, llStart, llTo);
        llFree += llEnd - llStart;
        if (llStart == llFrom)
            span.llPrefix = llEnd - llStart;
        if (llEnd == llTo)
            span.llSuffix = llEnd - llStart;
        span.llLongest = std::max(span.llLongest, llEnd - llStart);
        llPos = llEnd;
    }
    return span;
}

int64_t CFreeRunIndex::FirstRunIn(const BYTE* pBits, int64_t llFrom, int64_t llLength, int64_t llWanted,
                                  int64_t& llTail)
{
    llTail = llLength;
    for (int64_t llPos = llFrom; llPos < llLength;)
    {
        const int64_t llStart = CBitRange::FindClear(pBits, llPos, llLength);
        if (llStart >= llLength)
            break;
        const int64_t llEnd = CBitRange::FindSet(pBits, llStart, llLength);
        if (llEnd - llStart >= llWanted)
            return llStart;
        if (llEnd == llLength)
            llTail = llStart;
        llPos = llEnd;
    }
    return -1;
}

void CFreeRunIndex::Extend(CARRY& carry, const SPAN& span, int64_t llStart, int64_t llEnd)
{
    if (span.IsAllFree())
    {
        if (carry.llLength == 0)
            carry.llStart = llStart;
        carry.llLength += span.llLength;
        return;
    }
    carry.llLength = span.llSuffix;
    carry.llStart = llEnd - span.llSuffix;
}

bool CFreeRunIndex::Build()
{
    m_bStale = true;
    m_llTotal = m_source.TotalClusters();
    m_llBlocks = (m_llTotal + BlockClusters - 1) / BlockClusters;
    m_llLeaves = 1;
    while (m_llLeaves < m_llBlocks)
        m_llLeaves *= 2;
    m_blocks.assign(static_cast<size_t>(m_llBlocks), BLOCK_SUMMARY());
    m_nodes.assign(static_cast<size_t>(m_llLeaves), NODE());
    m_cache.Clear();
    m_llFree = 0;
    std::vector<BYTE> bits(static_cast<size_t>(BuildBlocks * CBitmapBlockCache::BlockBytes));
    for (int64_t llFirst = 0; llFirst < m_llBlocks; llFirst += BuildBlocks)
    {
        const int64_t llCount = std::min(BuildBlocks, m_llBlocks - llFirst);
        const int64_t llClusters = std::min(m_llTotal, Bit(llFirst + llCount)) - Bit(llFirst);
        std::memset(bits.data(), 0xFF, bits.size());
        if (!m_source.ReadBits(Bit(llFirst), llClusters, bits.data()))
            return false;
        for (int64_t llBlock = llFirst; llBlock < llFirst + llCount; ++llBlock)
        {
            const int64_t llBit = Bit(llBlock - llFirst);
            int64_t llFree = 0;
            const SPAN span = Summarize(bits.data(), llBit, llBit + m_cache.BlockLength(llBlock), llFree);
            SetBlock(llBlock, span, llFree);
            m_cache.Store(llBlock, bits.data(), llBit);
        }
    }
    for (int64_t llNode = m_llLeaves - 1; llNode >= 1; --llNode)
    {
        const SPAN span = Join(NodeSpan(2 * llNode), NodeSpan(2 * llNode + 1));
        m_nodes[static_cast<size_t>(llNode)] = {static_cast<uint64_t>(span.llPrefix),
                                                static_cast<uint64_t>(span.llSuffix),
                                                static_cast<uint64_t>(span.llLongest)};
    }
    m_llFreeAtBuild = m_llFree;
    m_pendingFrees.clear();
    m_bPendingLost = false;
    m_bVolumeFreeKnown = m_source.CountFreeClusters(m_llVolumeFreeAtBuild);
    m_nSearchesSinceLook = 0;
    m_bStale = false;
    return true;
}

void CFreeRunIndex::SetBlock(int64_t llBlock, const SPAN& span, int64_t llFree)
{
    BLOCK_SUMMARY& block = m_blocks[static_cast<size_t>(llBlock)];
    m_llFree += llFree - block.uFree;
    block = {static_cast<uint16_t>(span.llPrefix), static_cast<uint16_t>(span.llSuffix),
             static_cast<uint16_t>(span.llLongest), static_cast<uint16_t>(llFree)};
}

void CFreeRunIndex::UpdatePath(int64_t llBlock)
{
    for (int64_t llNode = (llBlock + m_llLeaves) / 2; llNode >= 1; llNode /= 2)
    {
        const SPAN span = Join(NodeSpan(2 * llNode), NodeSpan(2 * llNode + 1));
        m_nodes[static_cast<size_t>(llNode)] = {static_cast<uint64_t>(span.llPrefix),
                                                static_cast<uint64_t>(span.llSuffix),
                                                static_cast<uint64_t>(span.llLongest)};
    }
}

bool CFreeRunIndex::SummarizeBlock(int64_t llBlock)
{
    const BYTE* pBits = m_cache.Block(llBlock);
    if (pBits == nullptr)
        return false;
    int64_t llFree = 0;
    const SPAN span = Summarize(pBits, 0, m_cache.BlockLength(llBlock), llFree);
    SetBlock(llBlock, span, llFree);
    UpdatePath(llBlock);
    return true;
}

CFreeRunIndex::SPAN CFreeRunIndex::LeafSpan(int64_t llBlock) const
{
    if (llBlock >= m_llBlocks)
        return SPAN{0, 0, 0, 0};
    const BLOCK_SUMMARY& block = m_blocks[static_cast<size_t>(llBlock)];
    return SPAN{m_cache.BlockLength(llBlock), block.uPrefix, block.uSuffix, block.uLongest};
}

int64_t CFreeRunIndex::NodeEnd(int64_t llFirstBlock, int64_t llWidth) const
{
    return std::min(m_llTotal, Bit(llFirstBlock + llWidth));
}

CFreeRunIndex::SPAN CFreeRunIndex::NodeSpan(int64_t llNode) const
{
    if (llNode >= m_llLeaves)
        return LeafSpan(llNode - m_llLeaves);
    const int nLevel = 63 - __builtin_clzll(static_cast<uint64_t>(llNode));
    const int64_t llWidth = m_llLeaves >> nLevel;
    const int64_t llFirst = (llNode - (1LL << nLevel)) * llWidth;
    const NODE& node = m_nodes[static_cast<size_t>(llNode)];
    return SPAN{NodeEnd(llFirst, llWidth) - std::min(m_llTotal, Bit(llFirst)), static_cast<int64_t>(node.ullPrefix),
                static_cast<int64_t>(node.ullSuffix), static_cast<int64_t>(node.ullLongest)};
}

void CFreeRunIndex::OnClustersChanged(int64_t llLcn, int64_t llLength, CLUSTER_CHANGE eChange)
{
    const int64_t llFrom = std::max<int64_t>(0, llLcn);
    const int64_t llTo = std::min(m_llTotal, llLcn + llLength);
    if (m_bStale || llFrom >= llTo)
        return;
    // A file system may keep the clusters a move freed in use until its next checkpoint. The
    // first freed stretch of a run is read to tell; where frees lag, every one is read, and
    // those still in use are read again when the volume's free count differs from the index's.
    const bool bRead =
        eChange == CLUSTER_CHANGE::Unknown || (eChange == CLUSTER_CHANGE::Freed && m_eFrees != FREES::Prompt);
    bool bAllFree = true;
    const bool bDone = bRead ? TakeFromBitmap(llFrom, llTo, bAllFree)
                             : TakeKnown(llFrom, llTo, eChange == CLUSTER_CHANGE::Taken);
    if (!bDone)
    {
        m_bStale = true;
        return;
    }
    if (eChange == CLUSTER_CHANGE::Freed && m_eFrees == FREES::Unknown)
        m_eFrees = bAllFree ? FREES::Prompt : FREES::Lagging;
    if (eChange == CLUSTER_CHANGE::Freed && !bAllFree)
    {
        if (m_pendingFrees.size() < MaxPendingFrees)
            m_pendingFrees.push_back({llFrom, llTo});
        else
            m_bPendingLost = true;
    }
}

bool CFreeRunIndex::TakeKnown(int64_t llFrom, int64_t llTo, bool bUsed)
{
    for (int64_t llBlock = llFrom / BlockClusters; Bit(llBlock) < llTo; ++llBlock)
    {
        // A block that is not held is read afresh: the file system has made the change already.
        BYTE* pLine = m_cache.Held(llBlock);
        if (pLine != nullptr)
        {
            const int64_t llStart = std::max(llFrom, Bit(llBlock));
            const int64_t llEnd = std::min(llTo, Bit(llBlock + 1));
            CBitRange::Fill(pLine, llStart - Bit(llBlock), llEnd - llStart, bUsed);
        }
        else if (m_cache.Reload(llBlock) == nullptr)
            return false;
        if (!SummarizeBlock(llBlock))
            return false;
    }
    return true;
}

bool CFreeRunIndex::TakeFromBitmap(int64_t llFrom, int64_t llTo, bool& bAllFree)
{
    bAllFree = true;
    std::vector<BYTE> bits;
    for (int64_t llBlock = llFrom / BlockClusters; Bit(llBlock) < llTo; ++llBlock)
    {
        const int64_t llStart = std::max(llFrom, Bit(llBlock));
        const int64_t llEnd = std::min(llTo, Bit(llBlock + 1));
        // Only the stretch is read for a block that is held; another block is read whole.
        BYTE* pLine = m_cache.Held(llBlock);
        if (pLine != nullptr)
        {
            bits.assign(static_cast<size_t>((llEnd - llStart + 7) / 8), 0);
            if (!m_source.ReadBits(llStart, llEnd - llStart, bits.data()))
                return false;
            CBitRange::Copy(bits.data(), 0, pLine, llStart - Bit(llBlock), llEnd - llStart);
        }
        else if ((pLine = m_cache.Reload(llBlock)) == nullptr)
            return false;
        bAllFree = bAllFree &&
                   CBitRange::FindSet(pLine, llStart - Bit(llBlock), llEnd - Bit(llBlock)) == llEnd - Bit(llBlock);
        if (!SummarizeBlock(llBlock))
            return false;
    }
    return true;
}

bool CFreeRunIndex::TakePendingFrees()
{
    std::vector<PENDING_FREE> pending;
    pending.swap(m_pendingFrees);
    for (const PENDING_FREE& free : pending)
    {
        bool bAllFree = true;
        if (!TakeFromBitmap(free.llFrom, free.llTo, bAllFree))
            return false;
        if (!bAllFree)
            m_pendingFrees.push_back(free);
    }
    return true;
}

bool CFreeRunIndex::Reconcile()
{
    if (m_bStale)
    {
        ++m_nRebuilds;
        return Build();
    }
    if (++m_nSearchesSinceLook < ReconcileInterval)
        return true;
    m_nSearchesSinceLook = 0;
    int64_t llVolumeFree = 0;
    if (!m_bVolumeFreeKnown || !m_source.CountFreeClusters(llVolumeFree) ||
        llVolumeFree - m_llVolumeFreeAtBuild == m_llFree - m_llFreeAtBuild)
        return true;
    if (!m_bPendingLost && !m_pendingFrees.empty())
    {
        if (!TakePendingFrees())
            m_bStale = true;
        else if (llVolumeFree - m_llVolumeFreeAtBuild == m_llFree - m_llFreeAtBuild)
            return true;
    }
    // Someone else has taken or freed clusters since the index was built.
    ++m_nRebuilds;
    return Build();
}

bool CFreeRunIndex::FindNextUsedCluster(int64_t llFrom, FREE_RUN_ANSWER& answer)
{
    answer = {false, -1};
    if (!Reconcile())
        return false;
    int64_t llUsed = 0;
    if (!NextUsed(std::max<int64_t>(0, llFrom), llUsed))
        return false;
    if (llUsed < m_llTotal)
        answer = {true, llUsed};
    return true;
}

bool CFreeRunIndex::FindFreeRun(const FREE_RUN_QUERY& query, FREE_RUN_ANSWER& answer)
{
    answer = {false, -1};
    if (!Reconcile())
        return false;
    for (int nTry = 0; nTry < MaxTries; ++nTry)
    {
        if (!Search(query, answer))
            return false;
        if (!answer.bFound)
            return true;
        bool bHeld = false;
        if (!Verify(query, answer.llLcn, bHeld))
            return false;
        if (bHeld)
            return true;
    }
    return false;
}

bool CFreeRunIndex::Verify(const FREE_RUN_QUERY& query, int64_t llFound, bool& bHeld)
{
    // The cluster before a run that the search did not cut at its start must be in use, or
    // the run would begin earlier.
    const int64_t llFrom = std::max<int64_t>(0, query.llFrom);
    const bool bBefore = llFound > llFrom && !(query.bZone && llFound == query.llZoneEnd + 1);
    const int64_t llStart = bBefore ? llFound - 1 : llFound;
    const int64_t llCount = llFound + query.llWanted - llStart;
    std::vector<BYTE> bits(static_cast<size_t>((llCount + 7) / 8));
    if (!m_source.ReadBits(llStart, llCount, bits.data()))
        return false;
    bHeld = (!bBefore || CBitRange::IsSet(bits.data(), 0)) &&
            CBitRange::FindSet(bits.data(), bBefore ? 1 : 0, llCount) == llCount;
    bool bAllFree = true;
    return bHeld || TakeFromBitmap(llStart, llStart + llCount, bAllFree);
}

bool CFreeRunIndex::Search(const FREE_RUN_QUERY& query, FREE_RUN_ANSWER& answer)
{
    answer = {false, -1};
    int64_t llFrom = std::max<int64_t>(0, query.llFrom);
    if (query.llWanted < 1 || llFrom >= m_llTotal)
        return true;
    const int64_t llLimit = query.llLimit >= 0 ? std::min(query.llLimit, m_llTotal) : m_llTotal;
    const bool bZone = query.bZone && query.llZoneStart <= query.llZoneEnd;
    // A run that starts inside the zone is not used; the search goes on behind the zone.
    if (bZone && llFrom >= query.llZoneStart && llFrom <= query.llZoneEnd)
        llFrom = query.llZoneEnd + 1;
    PHASE phase = {llFrom, llLimit, query.llWanted, -1, -1, 0};
    if (bZone && llFrom < query.llZoneStart)
    {
        phase.llTo = std::min(query.llZoneStart, llLimit);
        if (!SearchPhase(phase))
            return false;
        if (phase.llFound >= 0 || phase.llTo < query.llZoneStart)
        {
            answer = phase.llFound >= 0 ? FREE_RUN_ANSWER{true, phase.llFound}
                                        : FREE_RUN_ANSWER{false, phase.llBestStart};
            return true;
        }
        // What is left behind the zone of a run that starts before it is shorter than the
        // whole run, which has been seen: it can change no answer.
        phase.llFrom = query.llZoneEnd + 1;
        phase.llTo = llLimit;
    }
    if (!SearchPhase(phase))
        return false;
    answer = phase.llFound >= 0 ? FREE_RUN_ANSWER{true, phase.llFound} : FREE_RUN_ANSWER{false, phase.llBestStart};
    return true;
}

bool CFreeRunIndex::SearchPhase(PHASE& phase)
{
    if (phase.llFrom >= phase.llTo)
        return true;
    int64_t llWindow = -1;
    if (!FirstWindow(phase.llFrom, phase.llWanted, llWindow))
        return false;
    if (llWindow >= 0 && llWindow < phase.llTo)
    {
        phase.llFound = llWindow;
        return true;
    }
    // None long enough: the longest run that starts in the stretch, counted whole.
    SPAN span = {};
    if (!Range(phase.llFrom, phase.llTo, span))
        return false;
    int64_t llLongest = span.llLongest;
    if (phase.llTo < m_llTotal && span.llSuffix > 0)
    {
        int64_t llEnd = 0;
        if (!NextUsed(phase.llTo, llEnd))
            return false;
        llLongest = std::max(llLongest, llEnd - (phase.llTo - span.llSuffix));
    }
    if (llLongest > phase.llBestLength)
    {
        phase.llBestLength = llLongest;
        if (!FirstWindow(phase.llFrom, llLongest, phase.llBestStart))
            return false;
    }
    return true;
}

bool CFreeRunIndex::Part(int64_t llBlock, int64_t llFrom, int64_t llTo, SPAN& span)
{
    const SPAN leaf = LeafSpan(llBlock);
    const int64_t llLength = llTo - llFrom;
    if (llFrom == 0 && llTo == leaf.llLength)
        span = leaf;
    else if (leaf.IsAllFree())
        span = {llLength, llLength, llLength, llLength};
    else if (leaf.llLongest == 0)
        span = {llLength, 0, 0, 0};
    else
    {
        const BYTE* pBits = m_cache.Block(llBlock);
        if (pBits == nullptr)
            return false;
        int64_t llFree = 0;
        span = Summarize(pBits, llFrom, llTo, llFree);
    }
    return true;
}

bool CFreeRunIndex::Range(int64_t llFrom, int64_t llTo, SPAN& span)
{
    span = {0, 0, 0, 0};
    if (llFrom >= llTo)
        return true;
    const int64_t llFirst = llFrom / BlockClusters;
    const int64_t llLast = (llTo - 1) / BlockClusters;
    if (llFirst == llLast)
        return Part(llFirst, llFrom - Bit(llFirst), llTo - Bit(llFirst), span);
    SPAN head = {};
    SPAN tail = {};
    if (!Part(llFirst, llFrom - Bit(llFirst), m_cache.BlockLength(llFirst), head) ||
        !Part(llLast, 0, llTo - Bit(llLast), tail))
        return false;
    SPAN left = {0, 0, 0, 0};
    SPAN right = {0, 0, 0, 0};
    for (int64_t llLeft = llFirst + 1 + m_llLeaves, llRight = llLast + m_llLeaves; llLeft < llRight;
         llLeft /= 2, llRight /= 2)
    {
        if (llLeft & 1)
            left = Join(left, NodeSpan(llLeft++));
        if (llRight & 1)
            right = Join(NodeSpan(--llRight), right);
    }
    span = Join(Join(head, Join(left, right)), tail);
    return true;
}

bool CFreeRunIndex::FirstWindow(int64_t llFrom, int64_t llWanted, int64_t& llFound)
{
    llFound = -1;
    if (llFrom >= m_llTotal)
        return true;
    CARRY carry = {-1, 0};
    int64_t llBlock = llFrom / BlockClusters;
    const int64_t llOffset = llFrom - Bit(llBlock);
    if (llOffset > 0)
    {
        const SPAN leaf = LeafSpan(llBlock);
        if (leaf.llLongest >= llWanted && !leaf.IsAllFree())
        {
            const BYTE* pBits = m_cache.Block(llBlock);
            if (pBits == nullptr)
                return false;
            int64_t llTail = leaf.llLength;
            const int64_t llRun = FirstRunIn(pBits, llOffset, leaf.llLength, llWanted, llTail);
            if (llRun >= 0)
            {
                llFound = Bit(llBlock) + llRun;
                return true;
            }
            carry = {Bit(llBlock) + llTail, leaf.llLength - llTail};
        }
        else
        {
            const int64_t llTail = std::min(leaf.llSuffix, leaf.llLength - llOffset);
            carry = {Bit(llBlock) + leaf.llLength - llTail, llTail};
            if (llTail >= llWanted)
            {
                llFound = carry.llStart;
                return true;
            }
        }
        ++llBlock;
    }
    return WindowFrom(1, 0, m_llLeaves, llBlock, llWanted, carry, llFound);
}

bool CFreeRunIndex::WindowFrom(int64_t llNode, int64_t llFirst, int64_t llWidth, int64_t llFromBlock,
                               int64_t llWanted, CARRY& carry, int64_t& llFound)
{
    if (llFirst + llWidth <= llFromBlock || llFirst >= m_llBlocks)
        return true;
    if (llFirst >= llFromBlock)
    {
        const SPAN span = NodeSpan(llNode);
        if (carry.llLength > 0 && carry.llLength + span.llPrefix >= llWanted)
        {
            llFound = carry.llStart;
            return true;
        }
        if (span.llLongest >= llWanted)
            return WindowInside(llNode, llFirst, llWidth, llWanted, carry, llFound);
        Extend(carry, span, Bit(llFirst), NodeEnd(llFirst, llWidth));
        return true;
    }
    const int64_t llHalf = llWidth / 2;
    if (!WindowFrom(2 * llNode, llFirst, llHalf, llFromBlock, llWanted, carry, llFound))
        return false;
    return llFound >= 0 || WindowFrom(2 * llNode + 1, llFirst + llHalf, llHalf, llFromBlock, llWanted, carry, llFound);
}

bool CFreeRunIndex::WindowInside(int64_t llNode, int64_t llFirst, int64_t llWidth, int64_t llWanted, CARRY& carry,
                                 int64_t& llFound)
{
    while (llNode < m_llLeaves)
    {
        const int64_t llHalf = llWidth / 2;
        const SPAN left = NodeSpan(2 * llNode);
        if (carry.llLength > 0 && carry.llLength + left.llPrefix >= llWanted)
        {
            llFound = carry.llStart;
            return true;
        }
        llWidth = llHalf;
        if (left.llLongest >= llWanted)
        {
            llNode = 2 * llNode;
            continue;
        }
        Extend(carry, left, Bit(llFirst), NodeEnd(llFirst, llHalf));
        llNode = 2 * llNode + 1;
        llFirst += llHalf;
    }
    const SPAN leaf = LeafSpan(llFirst);
    if (carry.llLength > 0 && carry.llLength + leaf.llPrefix >= llWanted)
    {
        llFound = carry.llStart;
        return true;
    }
    if (leaf.llPrefix >= llWanted)
    {
        llFound = Bit(llFirst);
        return true;
    }
    const BYTE* pBits = m_cache.Block(llFirst);
    if (pBits == nullptr)
        return false;
    int64_t llTail = 0;
    const int64_t llRun = FirstRunIn(pBits, 0, leaf.llLength, llWanted, llTail);
    if (llRun >= 0)
    {
        llFound = Bit(llFirst) + llRun;
        return true;
    }
    // The summary promised a run the bits do not hold: they changed under the index.
    m_bStale = true;
    return false;
}

bool CFreeRunIndex::NextUsed(int64_t llFrom, int64_t& llFound)
{
    llFound = m_llTotal;
    if (llFrom >= m_llTotal)
        return true;
    int64_t llBlock = llFrom / BlockClusters;
    const int64_t llOffset = llFrom - Bit(llBlock);
    if (llOffset > 0)
    {
        const SPAN leaf = LeafSpan(llBlock);
        if (llOffset < leaf.llPrefix && !leaf.IsAllFree())
        {
            llFound = Bit(llBlock) + leaf.llPrefix;
            return true;
        }
        if (llOffset < leaf.llLength - leaf.llSuffix)
        {
            const BYTE* pBits = m_cache.Block(llBlock);
            if (pBits == nullptr)
                return false;
            llFound = Bit(llBlock) + CBitRange::FindSet(pBits, llOffset, leaf.llLength);
            return true;
        }
        ++llBlock;
    }
    const int64_t llUsedBlock = FirstUsedBlock(1, 0, m_llLeaves, llBlock);
    if (llUsedBlock >= 0)
        llFound = Bit(llUsedBlock) + LeafSpan(llUsedBlock).llPrefix;
    return true;
}

int64_t CFreeRunIndex::FirstUsedBlock(int64_t llNode, int64_t llFirst, int64_t llWidth, int64_t llFromBlock) const
{
    if (llFirst + llWidth <= llFromBlock || llFirst >= m_llBlocks || NodeSpan(llNode).IsAllFree())
        return -1;
    if (llWidth == 1)
        return llFirst;
    const int64_t llHalf = llWidth / 2;
    const int64_t llLeft = FirstUsedBlock(2 * llNode, llFirst, llHalf, llFromBlock);
    return llLeft >= 0 ? llLeft : FirstUsedBlock(2 * llNode + 1, llFirst + llHalf, llHalf, llFromBlock);
}
