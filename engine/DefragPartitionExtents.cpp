#include "engine/DefragPartition.h"

#include "platform/sys.h"

#include <cwchar>

#include "engine/HandleSnapshot.h"
#include "engine/RetrievalWalk.h"
#include "engine/SysHandle.h"

namespace {

constexpr DWORD SystemProcessId = 4;

} // namespace

bool CDefragPartition::OpenFileForMove(const wchar_t* pszPath, HANDLE& hFile, DWORD* pdwError)
{
    hFile = INVALID_HANDLE_VALUE;
    if (pdwError != nullptr)
        *pdwError = ERROR_INVALID_PARAMETER;
    if (pszPath == nullptr)
        return false;
    static const struct
    {
        DWORD dwAccess;
        DWORD dwShare;
    } attempts[] = {{0, FILE_SHARE_READ | FILE_SHARE_WRITE},
                    {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
                    {GENERIC_READ, 0},
                    {0, 0}};
    // Opens for attributes only hardly ever meet a sharing violation, so one such answer
    // among the attempts is enough to look for the process that holds the file.
    bool bSharingViolation = false;
    DWORD dwLastError = ERROR_SUCCESS;
    // The root directory is named "." in its own record. Behind a drive letter "X:\." is the
    // root, but the "\\?\" form of a volume without a letter takes the name literally and
    // finds nothing; the volume name with its trailing backslash opens the root instead.
    const bool bRoot = m_strVolumeName.GetLength() > 0 && std::wcsncmp(pszPath, m_strVolumeName.GetBuffer(),
                                                                       m_strVolumeName.GetLength()) == 0 &&
                       std::wcscmp(pszPath + m_strVolumeName.GetLength(), L".") == 0;
    const wchar_t* pszOpen = bRoot ? m_strVolumeName.GetBuffer() : pszPath;
    for (const auto& attempt : attempts)
    {
        hFile = sys::CreateFileW(pszOpen, attempt.dwAccess, attempt.dwShare, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_NO_BUFFERING, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
            return true;
        dwLastError = ::GetLastError();
        bSharingViolation = bSharingViolation || dwLastError == ERROR_SHARING_VIOLATION;
    }
    // A file held by another program is what an administrator can act on, whichever attempt
    // came last.
    if (pdwError != nullptr)
        *pdwError = bSharingViolation ? static_cast<DWORD>(ERROR_SHARING_VIOLATION) : dwLastError;
    if (bSharingViolation || dwLastError == ERROR_ACCESS_DENIED)
        return FindHeldFileHandle(pszPath, bSharingViolation, hFile);
    return false;
}

bool CDefragPartition::FindHeldFileHandle(const wchar_t* pszPath, bool bSharingViolation, HANDLE& hFile)
{
    const wchar_t* pszVolume = m_strVolumeName.GetBuffer();
    const WORD wType = GetFileObjectTypeNumber(pszVolume);
    {
        CHandleSnapshot system(SystemProcessId);
        hFile = system.FindFileHandle(pszVolume, wType, pszPath);
    }
    if (hFile != INVALID_HANDLE_VALUE || !bSharingViolation)
        return hFile != INVALID_HANDLE_VALUE;
    const DWORD dwExplorer = FindExplorerProcessId();
    if (dwExplorer == 0 || dwExplorer == NoExplorerProcess)
        return false;
    CHandleSnapshot explorer(dwExplorer);
    hFile = explorer.FindFileHandle(pszVolume, wType, pszPath);
    return hFile != INVALID_HANDLE_VALUE;
}

bool CDefragPartition::GetFileExtents(HANDLE hFile, int64_t& llClusters, CExtentList& extents)
{
    llClusters = 0;
    extents.Clear();
    bool bFragmented = false;
    int64_t llPreviousEnd = -1;
    CRetrievalWalk walk(hFile, static_cast<DWORD>(m_nBytesPerCluster > 0 ? m_nBytesPerCluster : 0));
    int64_t llVcn = 0;
    int64_t llNextVcn = 0;
    int64_t llLcn = 0;
    while (walk.Next(llVcn, llNextVcn, llLcn))
    {
        const int64_t llLength = llNextVcn - llVcn;
        if (llLcn == CRetrievalWalk::NoLcn)
        {
            // Sparse and compressed-away parts belong to the run before them.
            if (extents.GetCount() > 0)
                extents.AddExtra(extents.GetCount() - 1, llLength);
            continue;
        }
        if (llPreviousEnd >= 0 && llLcn != llPreviousEnd)
            bFragmented = true;
        extents.Add(llLcn, llLength);
        llClusters += llLength;
        llPreviousEnd = llLcn + llLength;
    }
    return bFragmented;
}

bool CDefragPartition::GetFileExtentsByPath(const wchar_t* pszPath, int64_t& llClusters, CExtentList& extents)
{
    llClusters = 0;
    extents.Clear();
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (!OpenFileForMove(pszPath, hFile))
        return false;
    CSysHandle file(hFile);
    return GetFileExtents(file.Get(), llClusters, extents);
}
