// The rows of the cluster explorer: the runs of an answered cluster range, one
// row a file's run, with the free stretches between them as rows of their own.
#pragma once

#include "classlib/String.h"

#include <cstdint>
#include <vector>

class CNetDefragPartitionClusterExplorerResponse;

// The name of a free row: one blank.
extern const wchar_t kFreeRowName[];

struct stExplorerRow
{
    int nImage;            // 1 + the cluster kind; free rows show kind 0
    CString strName;  // as the service sent it, without the drive
    CString strShown; // the drive followed by the name
    CString strStart;
    CString strEnd;
};

class CExplorerRows
{
public:
    static std::vector<stExplorerRow> Build(const CNetDefragPartitionClusterExplorerResponse& answer);
    // Rows sorted by column (key = column + 1, negative for descending): the
    // start or end clusters as numbers, or the names. Equal numbers give -1, as
    // the list's comparison always did.
    static int Compare(const stExplorerRow& a, const stExplorerRow& b, int nKey);
    // The cluster a spin step of nDelta lands on from llCluster, for a shown
    // range from llStart to llEnd; false when the range is a single cluster.
    static bool Page(int64_t llStart, int64_t llEnd, int64_t llCluster, int nDelta, int64_t& llNext);
    // Show asks for a file only for a selected row that is not free.
    static bool CanShow(const stExplorerRow* pSelected);
};

// "%I64d"
CString ClusterText(int64_t llCluster);
// The number a start or end text holds; 0 for a text that is not a number.
int64_t ClusterOfText(const CString& strText);
