// CRetrievalWalk: the extents of one open stream, in VCN order, read from the file system a
// fixed buffer at a time and asked again from the last next-VCN while more follow.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>

class CRetrievalWalk
{
public:
    // The answer buffer: a 16-byte header and 256 pairs of next VCN and LCN.
    static constexpr DWORD BufferBytes = 4112;
    static constexpr int64_t NoLcn = -1;

    // The handle stays the caller's. Bytes per cluster stand in for a next VCN of 0, which
    // some answers give for the end of the stream.
    CRetrievalWalk(HANDLE hFile, DWORD dwBytesPerCluster);

    // The next extent: VCNs [llVcn, llNextVcn) at llLcn, or NoLcn for a sparse or
    // compressed-away part. False at the end of the stream or on a failure.
    bool Next(int64_t& llVcn, int64_t& llNextVcn, int64_t& llLcn);
    // True when the walk ended at the end of the stream, not on a failure.
    bool IsComplete() const { return m_bComplete; }
    // After a failure: the answer that ended the walk (success when the answer itself made no
    // sense) and the VCN that was asked for.
    NTSTATUS GetStatus() const { return m_status; }
    int64_t GetPosition() const { return m_llWalked; }

private:
    bool Fetch();
    int64_t StreamClusters() const;

    HANDLE m_hFile;
    DWORD m_dwBytesPerCluster;
    alignas(8) BYTE m_abBuffer[BufferBytes];
    DWORD m_dwCount;
    DWORD m_dwIndex;
    int64_t m_llPairVcn;   // where the batch's next pair starts
    int64_t m_llWalked;    // extents below this VCN have been handed out
    bool m_bLastBatch;
    bool m_bFailed;
    bool m_bComplete;
    NTSTATUS m_status;
};
