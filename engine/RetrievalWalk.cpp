#include "engine/RetrievalWalk.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>

#include "engine/NativeFunctions.h"
#include "platform/NtStatus.h"

namespace {

constexpr DWORD HeaderBytes = 16;
constexpr DWORD PairBytes = 16;
constexpr DWORD MaxPairs = (CRetrievalWalk::BufferBytes - HeaderBytes) / PairBytes;

} // namespace

CRetrievalWalk::CRetrievalWalk(HANDLE hFile, DWORD dwBytesPerCluster)
    : m_hFile(hFile), m_dwBytesPerCluster(dwBytesPerCluster), m_abBuffer(), m_dwCount(0), m_dwIndex(0),
      m_llPairVcn(0), m_llWalked(0), m_bLastBatch(false), m_bFailed(false), m_bComplete(false), m_status(0)
{
}

int64_t CRetrievalWalk::StreamClusters() const
{
    LARGE_INTEGER liSize = {};
    if (m_dwBytesPerCluster == 0 || !sys::GetFileSizeEx(m_hFile, &liSize) || liSize.QuadPart < 0)
        return 0;
    return (liSize.QuadPart + m_dwBytesPerCluster - 1) / m_dwBytesPerCluster;
}

bool CRetrievalWalk::Fetch()
{
    m_dwCount = m_dwIndex = 0;
    LONGLONG llStartingVcn = m_llWalked;
    IO_STATUS_BLOCK stStatus = {};
    NTSTATUS status = native::NtFsControlFile(m_hFile, nullptr, nullptr, nullptr, &stStatus,
                                              FSCTL_GET_RETRIEVAL_POINTERS, &llStartingVcn, sizeof(llStartingVcn),
                                              m_abBuffer, BufferBytes);
    if (status == ntstatus::Pending)
    {
        // Completion is told on the handle the control was issued on.
        ::WaitForSingleObject(m_hFile, INFINITE);
        status = stStatus.Status;
    }
    if (status == ntstatus::EndOfFile)
    {
        m_bLastBatch = m_bComplete = true;
        return false;
    }
    DWORD dwCount = 0;
    LONGLONG llFirstVcn = 0;
    std::memcpy(&dwCount, m_abBuffer, sizeof(dwCount));
    std::memcpy(&llFirstVcn, m_abBuffer + 8, sizeof(llFirstVcn));
    if ((status != ntstatus::Success && status != ntstatus::BufferOverflow) || llFirstVcn < 0 ||
        (dwCount == 0 && status == ntstatus::BufferOverflow))
    {
        m_bFailed = true;
        m_status = status;
        return false;
    }
    m_dwCount = std::min(dwCount, MaxPairs);
    m_bLastBatch = status == ntstatus::Success;
    m_llPairVcn = llFirstVcn;
    return true;
}

bool CRetrievalWalk::Next(int64_t& llVcn, int64_t& llNextVcn, int64_t& llLcn)
{
    while (!m_bFailed)
    {
        while (m_dwIndex < m_dwCount)
        {
            LONGLONG llNext = 0;
            LONGLONG llPairLcn = 0;
            const BYTE* pPair = m_abBuffer + HeaderBytes + m_dwIndex * PairBytes;
            std::memcpy(&llNext, pPair, sizeof(llNext));
            std::memcpy(&llPairLcn, pPair + 8, sizeof(llPairLcn));
            ++m_dwIndex;
            if (llNext == 0)
                llNext = StreamClusters();
            const int64_t llStart = m_llPairVcn;
            if (llNext <= llStart)
            {
                // An answer that does not advance would make the walk spin.
                m_bFailed = true;
                return false;
            }
            m_llPairVcn = llNext;
            // The answer starts with the extent that holds the asked VCN: what was handed out
            // already is not handed out twice.
            if (llNext <= m_llWalked)
                continue;
            llVcn = std::max(llStart, m_llWalked);
            llLcn = llPairLcn == NoLcn ? NoLcn : llPairLcn + (llVcn - llStart);
            llNextVcn = llNext;
            m_llWalked = llNext;
            return true;
        }
        if (m_bLastBatch)
        {
            m_bComplete = true;
            return false;
        }
        if (!Fetch())
            return false;
    }
    return false;
}
