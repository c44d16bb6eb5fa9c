// CLUSTER_CHANGE: what a move did to a stretch of clusters, as those who follow the volume's
// free space hear of it: freed, taken, or changed in a way that only a read can tell.
#pragma once

#include <cstdint>
#include <functional>

enum class CLUSTER_CHANGE
{
    Freed,
    Taken,
    Unknown
};

using CLUSTER_CHANGE_FN = std::function<void(int64_t llLcn, int64_t llLength, CLUSTER_CHANGE eChange)>;
