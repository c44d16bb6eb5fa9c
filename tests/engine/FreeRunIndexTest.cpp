// The free-run index against a plain walk over the free runs: random volumes and searches,
// runs across block borders, the MFT zone, the limit, the last partial block, the run's own
// changes, other writers, and a volume of 2^32 clusters.
#include "engine/BitRange.h"
#include "engine/FreeRunIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct RUN
{
    int64_t llStart;
    int64_t llEnd;
};

// A bitmap held as free runs, sorted and apart, read as a volume's bitmap would be.
class CRunSource : public CBitmapSource
{
public:
    explicit CRunSource(int64_t llTotal) : m_llTotal(llTotal) {}

    int64_t TotalClusters() const override { return m_llTotal; }
    bool ReadBits(int64_t llLcn, int64_t llCount, BYTE* pBits) override
    {
        m_llBitsRead += llCount;
        CBitRange::Fill(pBits, 0, llCount, true);
        auto it = std::upper_bound(m_runs.begin(), m_runs.end(), llLcn,
                                   [](int64_t llAt, const RUN& run) { return llAt < run.llEnd; });
        for (; it != m_runs.end() && it->llStart < llLcn + llCount; ++it)
        {
            const int64_t llFrom = std::max(it->llStart, llLcn);
            const int64_t llTo = std::min(it->llEnd, llLcn + llCount);
            CBitRange::Fill(pBits, llFrom - llLcn, llTo - llFrom, false);
        }
        return true;
    }
    bool CountFreeClusters(int64_t& llFree) override
    {
        llFree = 0;
        for (const RUN& run : m_runs)
            llFree += run.llEnd - run.llStart;
        return true;
    }

    // Marks clusters free or used, keeping the runs sorted and merged.
    void Set(int64_t llLcn, int64_t llLength, bool bUsed)
    {
        std::vector<RUN> runs;
        for (const RUN& run : m_runs)
        {
            if (run.llEnd <= llLcn || run.llStart >= llLcn + llLength)
                runs.push_back(run);
            else
            {
                if (run.llStart < llLcn)
                    runs.push_back({run.llStart, llLcn});
                if (run.llEnd > llLcn + llLength)
                    runs.push_back({llLcn + llLength, run.llEnd});
            }
        }
        if (!bUsed)
            runs.push_back({llLcn, llLcn + llLength});
        std::sort(runs.begin(), runs.end(), [](const RUN& a, const RUN& b) { return a.llStart < b.llStart; });
        m_runs.clear();
        for (const RUN& run : runs)
        {
            if (!m_runs.empty() && m_runs.back().llEnd == run.llStart)
                m_runs.back().llEnd = run.llEnd;
            else
                m_runs.push_back(run);
        }
    }
    const std::vector<RUN>& Runs() const { return m_runs; }
    int64_t m_llBitsRead = 0;

private:
    int64_t m_llTotal;
    std::vector<RUN> m_runs;
};

// The search as the engine walks the bitmap, run by run: the reference the index must agree with.
FREE_RUN_ANSWER ExpectedRun(const std::vector<RUN>& runs, int64_t llTotal, const FREE_RUN_QUERY& q)
{
    int64_t llPos = std::max<int64_t>(0, q.llFrom);
    if (q.llWanted < 1 || llPos >= llTotal)
        return {false, -1};
    int64_t llBest = -1;
    int64_t llBestLength = 0;
    for (;;)
    {
        auto it = std::upper_bound(runs.begin(), runs.end(), llPos,
                                   [](int64_t llAt, const RUN& run) { return llAt < run.llEnd; });
        if (it == runs.end())
            return {false, llBest};
        const int64_t llStart = std::max(it->llStart, llPos);
        if (q.llLimit >= 0 && llStart >= q.llLimit)
            return {false, llBest};
        if (q.bZone && llStart >= q.llZoneStart && llStart <= q.llZoneEnd)
        {
            llPos = q.llZoneEnd + 1;
            continue;
        }
        if (it->llEnd - llStart >= q.llWanted)
            return {true, llStart};
        if (it->llEnd - llStart > llBestLength)
        {
            llBest = llStart;
            llBestLength = it->llEnd - llStart;
        }
        llPos = it->llEnd;
    }
}

FREE_RUN_ANSWER ExpectedUsed(const std::vector<RUN>& runs, int64_t llTotal, int64_t llFrom)
{
    int64_t llPos = std::max<int64_t>(0, llFrom);
    auto it = std::upper_bound(runs.begin(), runs.end(), llPos,
                               [](int64_t llAt, const RUN& run) { return llAt < run.llEnd; });
    if (it != runs.end() && it->llStart <= llPos)
        llPos = it->llEnd;
    return llPos < llTotal ? FREE_RUN_ANSWER{true, llPos} : FREE_RUN_ANSWER{false, -1};
}

std::string Describe(const FREE_RUN_QUERY& q)
{
    return "from " + std::to_string(q.llFrom) + " wanted " + std::to_string(q.llWanted) + " limit " +
           std::to_string(q.llLimit) + (q.bZone ? " zone " + std::to_string(q.llZoneStart) + "-" +
                                                      std::to_string(q.llZoneEnd)
                                                : std::string());
}

void ExpectSame(CFreeRunIndex& index, CRunSource& source, const FREE_RUN_QUERY& q)
{
    SCOPED_TRACE(Describe(q));
    FREE_RUN_ANSWER answer = {};
    ASSERT_TRUE(index.FindFreeRun(q, answer));
    const FREE_RUN_ANSWER expected = ExpectedRun(source.Runs(), source.TotalClusters(), q);
    EXPECT_EQ(expected.bFound, answer.bFound);
    EXPECT_EQ(expected.llLcn, answer.llLcn);
    FREE_RUN_ANSWER used = {};
    ASSERT_TRUE(index.FindNextUsedCluster(q.llFrom, used));
    const FREE_RUN_ANSWER expectedUsed = ExpectedUsed(source.Runs(), source.TotalClusters(), q.llFrom);
    EXPECT_EQ(expectedUsed.bFound, used.bFound);
    EXPECT_EQ(expectedUsed.llLcn, used.llLcn);
}

// A layout of short and long free runs, many of them across the borders of blocks.
void Scatter(CRunSource& source, std::mt19937_64& random)
{
    const int64_t llTotal = source.TotalClusters();
    std::uniform_int_distribution<int> kind(0, 9);
    for (int64_t llAt = 0; llAt < llTotal;)
    {
        const int nKind = kind(random);
        int64_t llLength = nKind < 6 ? 1 + static_cast<int64_t>(random() % 8)
                                     : nKind < 9 ? 1 + static_cast<int64_t>(random() % 300)
                                                 : 1 + static_cast<int64_t>(random() % 9000);
        llLength = std::min(llLength, llTotal - llAt);
        if (random() % 2 == 0)
            source.Set(llAt, llLength, false);
        llAt += llLength;
    }
}

FREE_RUN_QUERY RandomQuery(int64_t llTotal, std::mt19937_64& random)
{
    FREE_RUN_QUERY q = {};
    const int64_t llSpan = llTotal + 20;
    q.llFrom = static_cast<int64_t>(random() % static_cast<uint64_t>(llSpan)) - 10;
    if (random() % 4 == 0)
        q.llFrom = q.llFrom / CFreeRunIndex::BlockClusters * CFreeRunIndex::BlockClusters + (random() % 3) - 1;
    const int nWanted = static_cast<int>(random() % 10);
    q.llWanted = nWanted < 4 ? nWanted : nWanted < 8 ? 1 + static_cast<int64_t>(random() % 400)
                                                      : 1 + static_cast<int64_t>(random() % 12000);
    q.llLimit = random() % 3 == 0 ? static_cast<int64_t>(random() % static_cast<uint64_t>(llSpan)) : -1;
    q.bZone = random() % 2 == 0;
    q.llZoneStart = static_cast<int64_t>(random() % static_cast<uint64_t>(llTotal));
    q.llZoneEnd = q.llZoneStart + static_cast<int64_t>(random() % 9000);
    return q;
}

TEST(FreeRunIndex, AnswersAsTheWalkOverRandomVolumesAndChanges)
{
    std::mt19937_64 random(20261210);
    // Whole blocks, a last block of one cluster, and volumes smaller than one block.
    for (int64_t llTotal : {int64_t{1}, int64_t{4095}, int64_t{4096}, int64_t{4097}, int64_t{3 * 4096},
                            int64_t{40961}, int64_t{100000}})
    {
        SCOPED_TRACE(llTotal);
        CRunSource source(llTotal);
        Scatter(source, random);
        CFreeRunIndex index(source);
        ASSERT_TRUE(index.Build());
        for (int nRound = 0; nRound < 6; ++nRound)
        {
            for (int i = 0; i < 150; ++i)
                ExpectSame(index, source, RandomQuery(llTotal, random));
            // Moves of the run itself: the file system has already changed the bitmap when
            // the index hears of them.
            for (int i = 0; i < 40; ++i)
            {
                const int64_t llLcn = static_cast<int64_t>(random() % static_cast<uint64_t>(llTotal));
                const int64_t llLength = std::min<int64_t>(1 + random() % 5000, llTotal - llLcn);
                const int nChange = static_cast<int>(random() % 3);
                source.Set(llLcn, llLength, nChange == 1);
                index.OnClustersChanged(llLcn, llLength,
                                        nChange == 0 ? CLUSTER_CHANGE::Freed
                                                     : nChange == 1 ? CLUSTER_CHANGE::Taken : CLUSTER_CHANGE::Unknown);
            }
            int64_t llFree = 0;
            source.CountFreeClusters(llFree);
            ASSERT_EQ(llFree, index.FreeClusters());
        }
        EXPECT_EQ(0, index.Rebuilds());
    }
}

TEST(FreeRunIndex, BoundaryCases)
{
    constexpr int64_t B = CFreeRunIndex::BlockClusters;
    CRunSource source(10 * B + 5);
    // Runs ending and starting at block borders, one across three blocks, one in the last
    // partial block, one that starts before the zone and one inside it.
    const RUN runs[] = {{B - 3, B + 2}, {2 * B, 2 * B + 1}, {3 * B - 1, 6 * B + 1}, {7 * B + 10, 7 * B + 60},
                        {8 * B + 100, 8 * B + 300}, {10 * B + 1, 10 * B + 5}};
    for (const RUN& run : runs)
        source.Set(run.llStart, run.llEnd - run.llStart, false);
    CFreeRunIndex index(source);
    ASSERT_TRUE(index.Build());
    const FREE_RUN_QUERY cases[] = {
        {0, 5, -1, false, 0, 0},                    // across the first border
        {0, 6, -1, false, 0, 0},
        {B, 2, -1, false, 0, 0},                    // from a border inside a run
        {0, 3 * B + 2, -1, false, 0, 0},            // across three blocks, exactly
        {0, 3 * B + 3, -1, false, 0, 0},            // too long: the longest run
        {3 * B, 10, -1, false, 0, 0},
        {0, 100, 3 * B - 1, false, 0, 0},           // the long run starts at the limit
        {0, 100, 3 * B, false, 0, 0},               // and just before it
        {0, 40, -1, true, 7 * B, 8 * B + 150},      // in the zone: behind it
        {0, 4000, -1, true, 4 * B, 8 * B},          // starts before the zone, taken whole
        {7 * B + 20, 30, -1, true, 7 * B, 7 * B + 30}, // from inside the zone
        {0, 4, -1, false, 0, 0},
        {10 * B, 4, -1, false, 0, 0},               // the last partial block
        {10 * B + 2, 4, -1, false, 0, 0},
        {10 * B + 4, 1, -1, false, 0, 0},
        {10 * B + 5, 1, -1, false, 0, 0},           // the end of the volume
        {-7, 1, -1, false, 0, 0},
        {0, 0, -1, false, 0, 0},
    };
    for (const FREE_RUN_QUERY& q : cases)
        ExpectSame(index, source, q);
}

// Another writer takes the clusters the index would hand out: the answer read again shows it,
// and the search goes on to the next run. Another writer frees clusters: the free count tells
// within the interval, and the index is built again.
TEST(FreeRunIndex, OtherWritersAreCaught)
{
    CRunSource source(50000);
    source.Set(1000, 100, false);
    source.Set(20000, 500, false);
    CFreeRunIndex index(source);
    ASSERT_TRUE(index.Build());
    source.Set(1050, 1, true);
    FREE_RUN_ANSWER answer = {};
    ASSERT_TRUE(index.FindFreeRun({0, 60, -1, false, 0, 0}, answer));
    EXPECT_TRUE(answer.bFound);
    EXPECT_EQ(20000, answer.llLcn);
    source.Set(30000, 1000, false);
    for (int i = 0; i <= CFreeRunIndex::ReconcileInterval; ++i)
        ASSERT_TRUE(index.FindFreeRun({0, 600, -1, false, 0, 0}, answer));
    EXPECT_TRUE(answer.bFound);
    EXPECT_EQ(30000, answer.llLcn);
    EXPECT_EQ(1, index.Rebuilds());
}

// A volume of 2^32 clusters, used but for a few runs: the answers, and the memory of the
// index, which holds no copy of the bitmap beyond its small block cache.
TEST(FreeRunIndex, VolumeOfTwoToTheThirtyTwoClusters)
{
    constexpr int64_t llTotal = int64_t{1} << 32;
    constexpr int64_t B = CFreeRunIndex::BlockClusters;
    CRunSource source(llTotal);
    const RUN runs[] = {{5, 9}, {B * 1000 - 7, B * 1003 + 9}, {llTotal / 2 - 1, llTotal / 2 + 70000},
                        {llTotal - B - 3, llTotal - B + 2}, {llTotal - 10, llTotal}};
    for (const RUN& run : runs)
        source.Set(run.llStart, run.llEnd - run.llStart, false);
    CFreeRunIndex index(source);
    ASSERT_TRUE(index.Build());
    EXPECT_LE(index.MemoryBytes(), size_t{34} << 20);
    const FREE_RUN_QUERY cases[] = {
        {0, 1, -1, false, 0, 0},
        {0, 5, -1, false, 0, 0},
        {0, 3 * B + 16, -1, false, 0, 0},
        {0, 3 * B + 17, -1, false, 0, 0},
        {0, 70001, -1, false, 0, 0},
        {0, 70002, -1, false, 0, 0},                     // none: the longest
        {0, 70000, llTotal / 2 - 1, false, 0, 0},
        {0, 100, -1, true, B * 999, llTotal / 2},        // behind the zone
        {llTotal / 2 + 5, 10, -1, false, 0, 0},
        {llTotal - B - 1, 3, -1, false, 0, 0},
        {llTotal - 9, 9, -1, false, 0, 0},
        {llTotal - 1, 1, -1, false, 0, 0},
        {llTotal, 1, -1, false, 0, 0},
    };
    for (const FREE_RUN_QUERY& q : cases)
        ExpectSame(index, source, q);
    // The run's own moves across the middle of the volume.
    source.Set(llTotal / 2 + 100, 5, true);
    index.OnClustersChanged(llTotal / 2 + 100, 5, CLUSTER_CHANGE::Taken);
    ExpectSame(index, source, {0, 70000, -1, false, 0, 0});
    ExpectSame(index, source, {0, 101, -1, false, 0, 0});
}

} // namespace
