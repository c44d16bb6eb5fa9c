#include "engine/FileMover.h"

#include <winioctl.h>

#include <algorithm>

#include "engine/NativeFunctions.h"
#include "engine/RetrievalWalk.h"
#include "platform/NtStatus.h"

namespace {

// The move control counts clusters in 32 bits; a range never grows past this, which is a
// whole number of compression units.
constexpr int64_t MaxControlClusters = 0x40000000;
constexpr int64_t FirstChunkAlignment = 4096;

int64_t RoundUp(int64_t llValue, int64_t llUnit)
{
    return (llValue + llUnit - 1) / llUnit * llUnit;
}

} // namespace

CFileMover::CFileMover(HANDLE hVolume, HANDLE hFile, DWORD dwBytesPerCluster, const MOVE_RULES& rules)
    : m_hVolume(hVolume), m_hFile(hFile), m_dwBytesPerCluster(dwBytesPerCluster), m_rules(rules), m_llNext(0),
      m_llLeft(0), m_bPending(false), m_llRangeStart(0), m_llRangeEnd(0), m_llRangeTarget(0), m_llRangeClusters(0),
      m_bRangeInPlace(true), m_bStopped(false), m_onChange(), m_sources()
{
    if (m_rules.llUnit < 1)
        m_rules.llUnit = 1;
    const int64_t llMax = MaxControlClusters;
    m_rules.llChunk = m_rules.llChunk > 0 ? std::min(RoundUp(m_rules.llChunk, m_rules.llUnit), llMax) : llMax;
}

bool CFileMover::Move(int64_t llTarget, int64_t llClusters, const std::function<void(int64_t)>& onMoved)
{
    m_onMoved = onMoved;
    m_llNext = llTarget;
    m_llLeft = llClusters;
    m_bPending = false;
    m_stFailure = MOVE_FAILURE();
    CRetrievalWalk walk(m_hFile, m_dwBytesPerCluster);
    int64_t llVcn = 0;
    int64_t llNextVcn = 0;
    int64_t llLcn = 0;
    while (m_llLeft > 0 && walk.Next(llVcn, llNextVcn, llLcn))
    {
        if (llLcn == CRetrievalWalk::NoLcn)
            continue;
        if (!AddExtent(llVcn, llLcn, std::min(llNextVcn - llVcn, m_llLeft)))
            return false;
    }
    if (!Flush())
        return false;
    if (m_llLeft <= 0 || walk.IsComplete())
        return true;
    NoteFailure(L"FSCTL_GET_RETRIEVAL_POINTERS", walk.GetStatus(), walk.GetPosition(), -1);
    return false;
}

void CFileMover::NoteFailure(const wchar_t* pszCall, NTSTATUS status, int64_t llVcn, int64_t llLcn)
{
    if (m_stFailure.pszCall != nullptr)
        return;
    m_stFailure.pszCall = pszCall;
    m_stFailure.dwStatus = static_cast<DWORD>(status);
    m_stFailure.llVcn = llVcn;
    m_stFailure.llLcn = llLcn;
}

bool CFileMover::AddExtent(int64_t llVcn, int64_t llLcn, int64_t llLength)
{
    const int64_t llUnit = m_rules.llUnit;
    // The first chunk of an extent takes the clusters by which the extent is not a whole
    // number of 4096 bytes, so that the chunks after it are.
    int64_t llAlign = 0;
    if (llUnit == 1 && m_dwBytesPerCluster < FirstChunkAlignment && !m_rules.bChunksAtMost)
        llAlign = (llLength * m_dwBytesPerCluster % FirstChunkAlignment) / m_dwBytesPerCluster;
    while (llLength > 0)
    {
        const int64_t llUnitStart = llVcn / llUnit * llUnit;
        // A range is moved only once the next extent starts in another unit, so that no
        // allocated cluster of a unit is left out of its range.
        if (m_bPending && llUnitStart >= m_llRangeEnd && !Flush())
            return false;
        if (!m_bPending)
        {
            m_bPending = true;
            m_llRangeStart = m_llRangeEnd = llUnitStart;
            m_llRangeTarget = m_llNext;
            m_llRangeClusters = 0;
            m_bRangeInPlace = true;
            m_sources.clear();
        }
        int64_t llPiece = llLength;
        const int64_t llLimit = m_llRangeStart + m_rules.llChunk + llAlign;
        if (llVcn + llPiece > llLimit && llLimit > llVcn)
            llPiece = llLimit - llVcn;
        llAlign = 0;
        if (llLcn != m_llNext)
            m_bRangeInPlace = false;
        m_llRangeClusters += llPiece;
        m_sources.push_back({llLcn, llPiece});
        m_llNext += llPiece;
        m_llLeft -= llPiece;
        int64_t llEnd = llVcn + llPiece;
        if (llUnit > 1)
            llEnd = std::min(RoundUp(llEnd, llUnit), std::max(m_rules.llStreamEnd, llEnd));
        m_llRangeEnd = std::max(m_llRangeEnd, llEnd);
        llVcn += llPiece;
        llLcn += llPiece;
        llLength -= llPiece;
    }
    return true;
}

bool CFileMover::Flush()
{
    if (!m_bPending)
        return true;
    m_bPending = false;
    if (!m_bRangeInPlace)
    {
        if (m_rules.bStopTest && m_rules.hStopEvent != nullptr &&
            ::WaitForSingleObject(m_rules.hStopEvent, 0) == WAIT_OBJECT_0)
        {
            m_bStopped = true;
            return false;
        }
        const NTSTATUS status = MoveRange(m_llRangeStart, m_llRangeTarget, m_llRangeEnd - m_llRangeStart);
        // Target clusters taken meanwhile: the range stays where it is and the move goes on;
        // whether the file came together is decided by reading it again afterwards, and this
        // answer is then why it did not.
        if (status != ntstatus::Success)
            NoteFailure(L"FSCTL_MOVE_FILE", status, m_llRangeStart, m_llRangeTarget);
        if (status != ntstatus::Success && status != ntstatus::AlreadyCommitted)
            return false;
        if (status == ntstatus::Success && m_onChange)
            ReportChange();
    }
    if (m_onMoved)
        m_onMoved(m_llRangeClusters);
    return true;
}

void CFileMover::ReportChange()
{
    // All sources are freed before the target is taken: a target may overlap them.
    for (const SOURCE& source : m_sources)
        m_onChange(source.llLcn, source.llLength, CLUSTER_CHANGE::Freed);
    // Where a unit stream's clusters land inside its target, only the bitmap tells.
    if (m_rules.llUnit > 1)
        m_onChange(m_llRangeTarget, m_llRangeEnd - m_llRangeStart, CLUSTER_CHANGE::Unknown);
    else
        m_onChange(m_llRangeTarget, m_llRangeClusters, CLUSTER_CHANGE::Taken);
}

NTSTATUS CFileMover::MoveRange(int64_t llVcn, int64_t llLcn, int64_t llCount)
{
    return MoveVcnRange(m_hVolume, m_hFile, llVcn, llLcn, llCount);
}

NTSTATUS CFileMover::MoveVcnRange(HANDLE hVolume, HANDLE hFile, int64_t llVcn, int64_t llLcn, int64_t llCount)
{
    // The control counts clusters in 32 bits: a longer range goes in several controls.
    NTSTATUS status = ntstatus::Success;
    while (llCount > 0 && status == ntstatus::Success)
    {
        const int64_t llPart = std::min(llCount, MaxControlClusters);
        status = MoveOneControl(hVolume, hFile, llVcn, llLcn, llPart);
        llVcn += llPart;
        llLcn += llPart;
        llCount -= llPart;
    }
    return status;
}

NTSTATUS CFileMover::MoveOneControl(HANDLE hVolume, HANDLE hFile, int64_t llVcn, int64_t llLcn, int64_t llCount)
{
    MOVE_FILE_DATA stMove = {};
    stMove.FileHandle = hFile;
    stMove.StartingVcn.QuadPart = llVcn;
    stMove.StartingLcn.QuadPart = llLcn;
    stMove.ClusterCount = static_cast<DWORD>(llCount);
    IO_STATUS_BLOCK stStatus = {};
    NTSTATUS status = native::NtFsControlFile(hVolume, nullptr, nullptr, nullptr, &stStatus, FSCTL_MOVE_FILE,
                                              &stMove, sizeof(stMove), nullptr, 0);
    if (status == ntstatus::Pending)
    {
        // The control went to the volume, so the volume handle tells its completion.
        ::WaitForSingleObject(hVolume, INFINITE);
        status = stStatus.Status;
    }
    return status;
}
