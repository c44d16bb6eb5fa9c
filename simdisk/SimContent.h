// What every allocated cluster holds, kept as extents: LCN ranges whose clusters carry the data
// of one stream from one VCN on. A cluster's tag is derived from (file, stream, VCN), so a
// check can prove that data was neither lost nor misplaced without storing a byte per cluster.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>

struct CONTENT_RUN
{
    LONGLONG llLength;
    ULONGLONG ullFile; // file reference: number and sequence
    LONGLONG llVcn;    // VCN held by the first cluster of the run
    WORD wSlot;        // the stream within the file
};

class CSimContentMap
{
public:
    static uint64_t Tag(ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn);

    size_t RunCount() const { return m_runs.size(); }
    const std::map<LONGLONG, CONTENT_RUN>& Runs() const { return m_runs; }

    // The clusters [llLcn, llLcn + llLength) now hold VCNs from llVcn of the stream.
    void Assign(LONGLONG llLcn, LONGLONG llLength, ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn);
    // The same, in constant time when the range starts behind every run already held, as
    // runs read back in LCN order do.
    void Append(LONGLONG llLcn, LONGLONG llLength, ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn);
    void Erase(LONGLONG llLcn, LONGLONG llLength);
    // Copies what [llFrom, llFrom + llLength) holds to llTo; the ranges must not overlap.
    void Copy(LONGLONG llFrom, LONGLONG llTo, LONGLONG llLength);
    // Gives one cluster content that no stream owns.
    void Corrupt(LONGLONG llLcn);

    // True when every cluster of the range holds the stream's VCNs from llVcn on; otherwise
    // *pllBad is the first cluster that does not.
    bool Holds(LONGLONG llLcn, LONGLONG llLength, ULONGLONG ullFile, WORD wSlot, LONGLONG llVcn,
               LONGLONG* pllBad) const;
    // What one cluster holds; false for a cluster with no content.
    bool At(LONGLONG llLcn, CONTENT_RUN* pRun) const;
    // Calls back with each piece of [llLcn, llLcn + llLength) that has content.
    void ForEach(LONGLONG llLcn, LONGLONG llLength,
                 const std::function<void(LONGLONG llLcn, const CONTENT_RUN&)>& fn) const;

private:
    void SplitAt(LONGLONG llLcn);
    void MergeAround(std::map<LONGLONG, CONTENT_RUN>::iterator it);

    std::map<LONGLONG, CONTENT_RUN> m_runs;
};
