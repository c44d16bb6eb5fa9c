// CFileMover: moves the allocated clusters of one open stream so that they follow each other
// from a target LCN, through the file system's own move control, range by range. Streams
// with sparse or compressed parts move in whole units of 16 clusters, as the file system
// requires; large moves go in chunks with a stop test before each one.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/ClusterChange.h"

#include "engine/RunFailures.h"

struct MOVE_RULES
{
    int64_t llChunk;       // VCNs per control at most (0: whole extents)
    int64_t llUnit;        // 16 for streams with sparse or compressed parts, else 1
    int64_t llStreamEnd;   // the stream's last allocated VCN + 1 (unit streams)
    bool bStopTest;        // a set stop event ends the move before the next control
    HANDLE hStopEvent;
    // No control longer than llChunk, not even the first of an extent: a slide's pieces must
    // not reach the stream's own clusters, which the file system refuses as a target.
    bool bChunksAtMost;
};

class CFileMover
{
public:
    static constexpr int64_t CompressionUnit = 16;

    // Handles stay the caller's.
    CFileMover(HANDLE hVolume, HANDLE hFile, DWORD dwBytesPerCluster, const MOVE_RULES& rules);

    // Moves the first llClusters allocated clusters; onMoved hears of every range handled
    // with its allocated clusters. A range answered "target in use" is passed over. False
    // when stopped, when a control failed otherwise, or when the extents could not be read.
    bool Move(int64_t llTarget, int64_t llClusters, const std::function<void(int64_t)>& onMoved);
    bool WasStopped() const { return m_bStopped; }
    // The first call that failed or was refused in the last Move, without the path; its call
    // is null when none did.
    const MOVE_FAILURE& GetFailure() const { return m_stFailure; }
    // Hears, after each control that moved a range, of the clusters it freed and then took.
    void SetClusterListener(const CLUSTER_CHANGE_FN& onChange) { m_onChange = onChange; }
    // VCNs [llVcn, llVcn + llCount) of the stream to llLcn, in as many controls as the
    // control's 32-bit count needs; the first status that is not success ends it.
    static NTSTATUS MoveVcnRange(HANDLE hVolume, HANDLE hFile, int64_t llVcn, int64_t llLcn, int64_t llCount);

private:
    static NTSTATUS MoveOneControl(HANDLE hVolume, HANDLE hFile, int64_t llVcn, int64_t llLcn, int64_t llCount);
    bool AddExtent(int64_t llVcn, int64_t llLcn, int64_t llLength);
    bool Flush();
    void ReportChange();
    NTSTATUS MoveRange(int64_t llVcn, int64_t llLcn, int64_t llCount);
    void NoteFailure(const wchar_t* pszCall, NTSTATUS status, int64_t llVcn, int64_t llLcn);

    HANDLE m_hVolume;
    HANDLE m_hFile;
    DWORD m_dwBytesPerCluster;
    MOVE_RULES m_rules;
    std::function<void(int64_t)> m_onMoved;
    int64_t m_llNext;          // where the next allocated cluster belongs
    int64_t m_llLeft;          // allocated clusters still to place
    bool m_bPending;           // a range is gathered and not yet moved
    int64_t m_llRangeStart;    // VCNs [start, end) of the range
    int64_t m_llRangeEnd;
    int64_t m_llRangeTarget;
    int64_t m_llRangeClusters; // allocated clusters in the range
    bool m_bRangeInPlace;
    bool m_bStopped;
    MOVE_FAILURE m_stFailure;
    CLUSTER_CHANGE_FN m_onChange;
    struct SOURCE
    {
        int64_t llLcn;
        int64_t llLength;
    };
    std::vector<SOURCE> m_sources;     // the clusters the range leaves
};
