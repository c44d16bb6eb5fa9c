#include "engine/DefragPartition.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/sys.h"

namespace {

constexpr int64_t QuietSeconds = 6;
constexpr DWORD StopStepWaitMs = 500;

int64_t Now()
{
    return sysclock::Seconds();
}

// The text before the last backslash of a relative name; empty for a name in the root.
CUnicodeString ParentOf(const CUnicodeString& strName)
{
    const int nLast = strName.ReverseFind(L'\\');
    return nLast > 0 ? strName.Left(nLast) : CUnicodeString();
}

} // namespace

CUnicodeString CDefragPartition::FullPath(const CUnicodeString& strName) const
{
    // Every callback, renames included, names a file the same way, so that a later change
    // of a renamed file finds its entry.
    return RootPath() + strName;
}

void CDefragPartition::AfterListGrew(bool& bOverflowed)
{
    // Called with the pending-list lock held; the report follows once it is released.
    if (m_pendingFiles.GetSize() > m_nPartitionBackgroundFileListMax)
    {
        m_bListOverflow = true;
        bOverflowed = true;
    }
}

void CDefragPartition::OnFileAdded(const CUnicodeString& strName)
{
    m_llLastAddRemoveTime = Now();
    if (!m_bBackgroundMode || m_bListOverflow)
        return;
    const CUnicodeString strPath = FullPath(strName);
    int64_t llSize = 0;
    WIN32_FILE_ATTRIBUTE_DATA stData = {};
    if (m_nUseLastFileSize == 1 && strPath.GetBuffer() != nullptr &&
        sys::GetFileAttributesExW(strPath.GetBuffer(), GetFileExInfoStandard, &stData))
        llSize = (static_cast<int64_t>(stData.nFileSizeHigh) << 32) | stData.nFileSizeLow;
    AddPendingChange(strPath, llSize);
    const CUnicodeString strParent = ParentOf(strName);
    if (strParent.GetLength() > 0)
        OnDirectoryModified(strParent);
}

void CDefragPartition::OnFileRemoved(const CUnicodeString& strName)
{
    m_llLastAddRemoveTime = Now();
    if (m_bBackgroundMode && !m_bListOverflow)
        RemovePending(FullPath(strName));
}

void CDefragPartition::RemovePending(const CUnicodeString& strPath)
{
    CSectionLock lock(m_csPending);
    RemovePendingLocked(strPath);
}

bool CDefragPartition::RemovePendingLocked(const CUnicodeString& strPath)
{
    const int nIndex = m_pendingFiles.Find(&strPath);
    if (nIndex < 0)
        return false;
    // The entries that carry the mark are the ones counted as fragmented.
    if (m_pendingFiles.GetAt(nIndex)->bFragmented && m_nFragmentedEntries > 0)
        --m_nFragmentedEntries;
    m_pendingFiles.RemoveAt(nIndex);
    return true;
}

void CDefragPartition::OnFileModified(const CUnicodeString& strName)
{
    m_llLastModifyTime = Now();
    if (m_bBackgroundMode && !m_bListOverflow)
        AddPendingChange(FullPath(strName), 0);
}

void CDefragPartition::AddPendingChange(const CUnicodeString& strPath, int64_t llSize)
{
    bool bOverflowed = false;
    {
        CSectionLock lock(m_csPending);
        m_pendingFiles.AddOrUpdate(&strPath, 0, 0, llSize);
        AfterListGrew(bOverflowed);
    }
    if (bOverflowed)
        ReportState();
}

void CDefragPartition::OnFileRenamed(const CUnicodeString& strOld, const CUnicodeString& strNew)
{
    if (!m_bBackgroundMode || m_bListOverflow)
        return;
    RenamePending(FullPath(strOld), FullPath(strNew), false);
    const CUnicodeString strParent = ParentOf(strNew);
    if (strParent.GetLength() > 0)
        OnDirectoryModified(strParent);
}

void CDefragPartition::RenamePending(const CUnicodeString& strOldPath, const CUnicodeString& strNewPath,
                                     bool bDirectory)
{
    bool bOverflowed = false;
    {
        CSectionLock lock(m_csPending);
        // Without an entry to rename, the new name comes in marked.
        if (bDirectory ? m_pendingFiles.RenameDirectory(&strOldPath, &strNewPath)
                       : m_pendingFiles.RenameFile(&strOldPath, &strNewPath))
            ++m_nFragmentedEntries;
        AfterListGrew(bOverflowed);
    }
    if (bOverflowed)
        ReportState();
}

void CDefragPartition::OnDirectoryAdded(const CUnicodeString& strName)
{
    if (m_nFileSystem != FS_NTFS)
        return;
    m_llLastAddRemoveTime = Now();
    OnDirectoryModified(strName);
}

void CDefragPartition::OnDirectoryRemoved(const CUnicodeString& strName)
{
    if (m_nFileSystem == FS_NTFS && m_bBackgroundMode && !m_bListOverflow)
        RemovePending(FullPath(strName));
}

void CDefragPartition::OnDirectoryModified(const CUnicodeString& strName)
{
    if (m_nFileSystem == FS_NTFS && m_bBackgroundMode && !m_bListOverflow)
        AddPendingChange(FullPath(strName), 0);
}

void CDefragPartition::OnDirectoryRenamed(const CUnicodeString& strOld, const CUnicodeString& strNew)
{
    if (m_nFileSystem == FS_NTFS && m_bBackgroundMode && !m_bListOverflow)
        RenamePending(FullPath(strOld), FullPath(strNew), true);
}

void CDefragPartition::ForEachPending(const std::function<void(const PENDING_FILE_ENTRY&)>& fnVisit)
{
    CSectionLock lock(m_csPending);
    for (int i = 0; i < m_pendingFiles.GetSize(); ++i)
        fnVisit(*m_pendingFiles.GetAt(i));
}

bool CDefragPartition::HasBeenQuiet() const
{
    const int64_t llNow = Now();
    return llNow - m_llLastModifyTime >= QuietSeconds && llNow - m_llLastAddRemoveTime >= QuietSeconds;
}

bool CDefragPartition::TryBeginStep()
{
    CSectionLock lock(m_csJob);
    if (m_bStepRunning || m_nState != STATE_IDLE || !m_bBackgroundMode ||
        (m_hJobThread != nullptr && ::WaitForSingleObject(m_hJobThread, 0) == WAIT_TIMEOUT))
        return false;
    m_bStepRunning = true;
    ::ResetEvent(m_hStepEnded);
    TakeRunSettings();
    return true;
}

void CDefragPartition::EndStep()
{
    CSectionLock lock(m_csJob);
    m_bStepRunning = false;
    m_ullStepDeadline = 0;
    ::SetEvent(m_hStepEnded);
}

bool CDefragPartition::WaitForStepEnd(DWORD dwTimeout)
{
    return m_hStepEnded == nullptr || ::WaitForSingleObject(m_hStepEnded, dwTimeout) == WAIT_OBJECT_0;
}

bool CDefragPartition::StopStep()
{
    m_nState = STATE_STOPPING;
    ::SetEvent(m_hStopEvent);
    if (!WaitForStepEnd(StopStepWaitMs))
    {
        // A pause holds the step in its idle wait; the stop ends the pause for it.
        m_bPaused = false;
        if (!WaitForStepEnd(StopStepWaitMs))
            return false;
    }
    // The step may have ended just before the event was set, which it then did not reset.
    ::ResetEvent(m_hStopEvent);
    if (m_nState == STATE_STOPPING)
        m_nState = STATE_IDLE;
    ReportState();
    return true;
}

bool CDefragPartition::IsStepRunning()
{
    CSectionLock lock(m_csJob);
    return m_bStepRunning;
}

bool CDefragPartition::RunBackgroundStep(int64_t llTimeLimit, int32_t nWaitSeconds, uint32_t& uRemaining)
{
    if (GetPendingFileCount() == 0)
    {
        uRemaining = 0;
        return true;
    }
    // The step holds the volume for its whole length: a job asked for meanwhile is refused,
    // and nothing replaces the buffers the step works with.
    if (!TryBeginStep())
        return true;
    {
        // The step's time limit holds in its idle waits too, which a busy disk would
        // otherwise make endless.
        CSectionLock lock(m_csJob);
        m_ullStepDeadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<int64_t>(0, llTimeLimit)) * 1000;
    }
    const bool bResult = Defragment(llTimeLimit < 0 ? 0 : llTimeLimit, nWaitSeconds, uRemaining);
    EndStep();
    return bResult;
}
