// Random maps, windows and change lists through the cluster map's rules. Every
// case must end, and end cleanly under the address and undefined-behaviour
// sanitizers; a case that hangs is printed by the watchdog before the program
// fails.
#include "gui/ClusterMapCells.h"
#include "gui/ClusterMapLayout.h"
#include "gui/MapKinds.h"
#include "gui/MapLegendLayout.h"

#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <unistd.h>
#include <vector>

namespace
{
char g_szCurrent[160];

void OnWatchdog(int)
{
    static const char szMessage[] = "hang on case: ";
    ssize_t nIgnored = write(2, szMessage, sizeof(szMessage) - 1);
    nIgnored = write(2, g_szCurrent, strnlen(g_szCurrent, sizeof(g_szCurrent)));
    (void)nIgnored;
    _exit(3);
}

// Values near the edges count for more than values in between.
int64_t Edgy(std::mt19937_64& random)
{
    static const int64_t values[] = {0, 1, -1, 2, 7, 8, 9, 21, 22, 5001, INT32_MAX, INT32_MIN, INT64_MAX, INT64_MIN};
    if (random() % 3 == 0)
        return values[random() % (sizeof(values) / sizeof(values[0]))];
    return static_cast<int64_t>(random() % 20000) - 1000;
}

void Exercise(std::mt19937_64& random)
{
    int32_t nCells = static_cast<int32_t>(random() % 6000);
    int32_t nBytesPerCell = random() % 2 == 0 ? 11 : 22;
    int64_t llClustersPerCell = Edgy(random);
    int64_t llTotal = Edgy(random);
    MAP_RECT rc = {static_cast<int32_t>(Edgy(random) % 4000), static_cast<int32_t>(Edgy(random) % 4000),
                   static_cast<int32_t>(Edgy(random) % 4000), static_cast<int32_t>(Edgy(random) % 4000)};
    snprintf(g_szCurrent, sizeof(g_szCurrent), "cells %d b %d cpc %lld total %lld rect %d %d %d %d\n", nCells,
             nBytesPerCell, static_cast<long long>(llClustersPerCell), static_cast<long long>(llTotal), rc.nLeft,
             rc.nTop, rc.nRight, rc.nBottom);

    std::vector<uint8_t> bytes(static_cast<size_t>(nCells) * static_cast<size_t>(nBytesPerCell));
    for (uint8_t& b : bytes)
        b = random() % 4 == 0 ? static_cast<uint8_t>(random()) : 0;
    CClusterMapCells map;
    if (!map.Assign(llTotal, llClustersPerCell, nCells, nBytesPerCell, bytes.data(), bytes.size()))
        abort();
    stBlockLayout layout = CClusterMapLayout::LayOut(rc, nCells);
    if (layout.nCellsPerBlock == 0)
        abort();
    uint32_t nVisible = layout.bDrawable ? layout.VisibleBlocks() : 0;
    for (uint32_t nBlock = 0; nBlock < nVisible; ++nBlock)
    {
        if (map.DominantKind(nBlock, layout.nCellsPerBlock) > kKindNone)
            abort();
    }
    for (int i = 0; i < 8; ++i)
    {
        CLUSTER_RANGE range = {};
        map.HitTest(layout, static_cast<int32_t>(Edgy(random) % 5000), static_cast<int32_t>(Edgy(random) % 5000),
                    random() % 8 == 0, range);
        map.BlockOfCluster(Edgy(random), layout, range);
    }
    std::vector<uint8_t> change(5001 * 22);
    for (int i = 0; i < 6; ++i)
    {
        MAP_CHANGE record = {Edgy(random), Edgy(random), random() % 5 == 0 ? 22 - nBytesPerCell + 11 : nBytesPerCell,
                             change.data()};
        if (record.llCellCount > 5001 || record.llCellCount < 0)
            record.llCellCount = record.llCellCount < 0 ? record.llCellCount : 5001;
        uint32_t nFirst = 0;
        uint32_t nCount = 0;
        ChangeOutcome eOutcome = map.Apply(record, layout, nFirst, nCount);
        if (eOutcome == ChangeOutcome::Applied && static_cast<uint64_t>(nFirst) + nCount > nVisible)
            abort();
        if (eOutcome == ChangeOutcome::Stop)
            break;
    }
    std::vector<int32_t> widths(11);
    for (int32_t& nWidth : widths)
        nWidth = static_cast<int32_t>(random() % 300);
    stLegendLayout legend = CMapLegendLayout::LayOut(widths, rc.Width(), rc.Height(), rc.nBottom);
    if (legend.nHeight < 0 || (legend.nHeight > 0 && legend.items.size() != widths.size()))
        abort();
    CClusterMapLayout::PlaceWindows(rc, static_cast<uint32_t>(random() % 40));
}
} // namespace

int main(int argc, char** argv)
{
    long nCases = argc > 1 ? strtol(argv[1], nullptr, 10) : 20000;
    unsigned long nSeed = argc > 2 ? strtoul(argv[2], nullptr, 10) : 20261211ul;
    signal(SIGALRM, OnWatchdog);
    std::mt19937_64 random(nSeed);
    for (long i = 0; i < nCases; ++i)
    {
        alarm(10);
        Exercise(random);
    }
    alarm(0);
    printf("MapFuzz: %ld cases from seed %lu, all ended\n", nCases, nSeed);
    return 0;
}
