#include "engine/DefragPartition.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "engine/NativeFunctions.h"
#include "engine/SysHandle.h"
#include "platform/sys.h"

namespace {

constexpr DWORD ReparseTagMask = 0xA0000003;
// Deeper than any path the system's calls accept can reach.
constexpr int MaxDepth = 16384;

const wchar_t* const FileProbes[] = {L"::$REPARSE_POINT", L"::$ATTRIBUTE_LIST", nullptr};
const wchar_t* const DirectoryProbes[] = {L"::$BITMAP", L"::$ATTRIBUTE_LIST", nullptr};

bool IsDotEntry(const wchar_t* pszName)
{
    return std::wcscmp(pszName, L".") == 0 || std::wcscmp(pszName, L"..") == 0;
}

bool IsReparseDirectory(const WIN32_FIND_DATAW& stData)
{
    return (stData.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
           (stData.dwReserved0 & ReparseTagMask) != 0;
}

} // namespace

// A listing error that says the device itself fails ends the walk; a directory that
// vanished, is refused or lies too deep ends only itself.
bool CDefragPartition::IsDeviceError(DWORD dwError)
{
    switch (dwError)
    {
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_UNRECOGNIZED_VOLUME:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_FILE_CORRUPT:
    case ERROR_DISK_CORRUPT:
        return true;
    default:
        return false;
    }
}

struct CDefragPartition::DIRECTORY_WALK
{
    HANDLE hVolume;
    bool bNtfs;
    int64_t llCounted;
    int32_t nLastReported;
    STOP_LOOK stopLook;
};

struct CDefragPartition::EXAMINED
{
    bool bOpened;
    bool bFragmented;
    int64_t llClusters;
};

CDefragPartition::WALK CDefragPartition::WalkDirectories()
{
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
    {
        m_nState = STATE_IDLE;
        ReportState();
        return WALK::Failed;
    }
    DIRECTORY_WALK walk = {volume.Get(), m_nFileSystem == FS_NTFS, 0, m_nProgress, {0, 0}};
    CUnicodeString strRoot = RootPath();
    if (walk.bNtfs)
    {
        ExamineMetadataTable(walk);
        const EXAMINED root = ExamineByPath(strRoot);
        EnterExamined(walk, strRoot, root, true, KIND_FRAGMENTED, KIND_DIRECTORY);
        CountFile(ExamineProbes(walk, strRoot, DirectoryProbes, KIND_DIRECTORY) || root.llClusters > 0);
    }
    const bool bWalked = WalkDirectory(walk, strRoot, 0);
    m_nProgress = ProgressOf(walk.llCounted);
    return bWalked ? WALK::Completed : WALK::Ended;
}

void CDefragPartition::ExamineMetadataTable(DIRECTORY_WALK& walk)
{
    auto examine = [&](const wchar_t* pszName) {
        const CUnicodeString strPath = RootPath() + pszName;
        const EXAMINED examined = ExamineByPath(strPath);
        if (EnterExamined(walk, strPath, examined, true, KIND_SYSTEM, KIND_SYSTEM))
            SetStatusText(strPath);
        CountFile(examined.llClusters > 0);
        AfterDirectoryEntry(walk);
    };
    for (int i = 0; GetMetadataName(i) != nullptr; ++i)
    {
        examine(GetMetadataName(i));
        // The table names the root as "." behind the attribute definitions.
        if (std::wcscmp(GetMetadataName(i), L"$AttrDef") == 0)
            examine(L".");
    }
    SetStatusText(L" ");
}

CDefragPartition::EXAMINED CDefragPartition::ExamineByPath(const CUnicodeString& strPath)
{
    EXAMINED examined = {false, false, 0};
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (strPath.GetLength() >= MAX_PATH || !OpenFileForMove(strPath.GetBuffer(), hFile))
    {
        m_extents.Clear();
        return examined;
    }
    CSysHandle file(hFile);
    examined.bOpened = true;
    examined.bFragmented = GetFileExtents(file.Get(), examined.llClusters, m_extents);
    return examined;
}

// Classifies what was examined in the map and counts its clusters towards the progress; true
// when it entered the pending list.
bool CDefragPartition::EnterExamined(DIRECTORY_WALK& walk, const CUnicodeString& strPath, const EXAMINED& examined,
                                     bool bMayPend, int32_t nFragmentedKind, int32_t nPlainKind)
{
    bool bEntered = false;
    if (examined.bFragmented && bMayPend)
    {
        CSectionLock lock(m_csPending);
        bEntered = m_pendingFiles.AddOrUpdate(&strPath, static_cast<int32_t>(m_extents.GetCount()), 1, 0);
        if (bEntered)
        {
            ++m_nFragmentedEntries;
            m_llFragmentedClusters += examined.llClusters;
        }
    }
    if (!examined.bFragmented || !bMayPend || bEntered)
    {
        CSectionLock lock(m_csMap);
        if (m_pClusterMap)
        {
            m_extents.SetKind(bEntered ? nFragmentedKind : nPlainKind);
            m_pClusterMap->AddExtents(m_extents);
        }
    }
    walk.llCounted += examined.llClusters;
    return bEntered;
}

// A file counts once, whatever number of streams it was examined by.
void CDefragPartition::CountFile(bool bHasClusters)
{
    ++m_nFilesExamined;
    if (bHasClusters)
        ++m_nFilesWithClusters;
}

// Stream names that a file may have beside those it lists; only those that open count.
// True when any of them holds clusters.
bool CDefragPartition::ExamineProbes(DIRECTORY_WALK& walk, const CUnicodeString& strPath,
                                     const wchar_t* const* ppszSuffixes, int32_t nPlainKind)
{
    bool bHasClusters = false;
    for (; *ppszSuffixes != nullptr; ++ppszSuffixes)
    {
        const CUnicodeString strStream = strPath + *ppszSuffixes;
        const EXAMINED examined = ExamineByPath(strStream);
        if (!examined.bOpened)
            continue;
        EnterExamined(walk, strStream, examined, true, KIND_FRAGMENTED, nPlainKind);
        bHasClusters = bHasClusters || examined.llClusters > 0;
    }
    return bHasClusters;
}

bool CDefragPartition::WalkDirectory(DIRECTORY_WALK& walk, const CUnicodeString& strDirectory, int nDepth)
{
    const CUnicodeString strPattern = strDirectory + L"*.*";
    if (strPattern.GetLength() >= MAX_PATH || nDepth > MaxDepth)
        return true;
    WIN32_FIND_DATAW stData = {};
    HANDLE hFind = sys::FindFirstFileW(strPattern.GetBuffer(), &stData);
    if (hFind == INVALID_HANDLE_VALUE)
        return !IsDeviceError(::GetLastError());
    bool bWalked = true;
    for (;;)
    {
        if (!IsDotEntry(stData.cFileName))
        {
            bWalked = ExamineListedEntry(walk, strDirectory + stData.cFileName, stData, nDepth);
            if (!bWalked)
                break;
        }
        if (!sys::FindNextFileW(hFind, &stData))
        {
            const DWORD dwError = ::GetLastError();
            bWalked = dwError == ERROR_NO_MORE_FILES || !IsDeviceError(dwError);
            break;
        }
    }
    sys::FindClose(hFind);
    return bWalked;
}

// False ends the whole walk: a stop, or a device that fails.
bool CDefragPartition::ExamineListedEntry(DIRECTORY_WALK& walk, const CUnicodeString& strPath,
                                          const WIN32_FIND_DATAW& stData, int nDepth)
{
    const bool bDirectory = (stData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (strPath.GetLength() < MAX_PATH)
    {
        if (!bDirectory && walk.bNtfs)
            ExamineNtfsFile(walk, strPath);
        else if (!bDirectory)
        {
            const EXAMINED examined = ExamineByPath(strPath);
            EnterExamined(walk, strPath, examined, true, GetFileKind(strPath.GetBuffer(), KIND_FRAGMENTED, -1),
                          GetFileKind(strPath.GetBuffer(), KIND_FILE, -1));
            CountFile(examined.llClusters > 0);
            SetStatusText(strPath);
        }
        else if (walk.bNtfs)
        {
            const EXAMINED examined = ExamineByPath(strPath);
            EnterExamined(walk, strPath, examined, true, KIND_FRAGMENTED, KIND_DIRECTORY);
            CountFile(ExamineProbes(walk, strPath, DirectoryProbes, KIND_DIRECTORY) || examined.llClusters > 0);
        }
        else
        {
            // Directories enter the map but never the pending list here.
            const EXAMINED examined = ExamineByPath(strPath);
            EnterExamined(walk, strPath, examined, false, KIND_DIRECTORY,
                          GetFileKind(strPath.GetBuffer(), KIND_DIRECTORY, -1));
            CountFile(examined.llClusters > 0);
        }
    }
    if (bDirectory && !IsReparseDirectory(stData))
    {
        if (!WalkDirectory(walk, strPath + L"\\", nDepth + 1))
            return false;
    }
    AfterDirectoryEntry(walk);
    return !IsStepStopped(walk.stopLook);
}

void CDefragPartition::ExamineNtfsFile(DIRECTORY_WALK& walk, const CUnicodeString& strPath)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    std::vector<CUnicodeString> names;
    if (!OpenFileForMove(strPath.GetBuffer(), hFile))
    {
        // Held by another program: its extents alone tell what it holds.
        const EXAMINED examined = ExamineByPath(strPath);
        EnterExamined(walk, strPath, examined, true, KIND_FRAGMENTED, KIND_FILE);
        CountFile(examined.llClusters > 0);
        SetStatusText(strPath);
        return;
    }
    {
        CSysHandle file(hFile);
        ListStreams(file.Get(), names);
    }
    bool bHasClusters = false;
    for (const CUnicodeString& strName : names)
    {
        const CUnicodeString strStream = strName == L"::$DATA" ? strPath : strPath + strName;
        const EXAMINED examined = ExamineByPath(strStream);
        EnterExamined(walk, strStream, examined, true, KIND_FRAGMENTED, KIND_FILE);
        bHasClusters = bHasClusters || examined.llClusters > 0;
    }
    CountFile(ExamineProbes(walk, strPath, FileProbes, KIND_FILE) || bHasClusters);
    SetStatusText(strPath);
}

// The stream names of an open file (":name:$DATA"); a partial answer gives what it holds.
bool CDefragPartition::ListStreams(HANDLE hFile, std::vector<CUnicodeString>& names)
{
    names.clear();
    CSectionLock lock(m_csBitmap);
    if (!m_pRecordBuffer || native::NtQueryInformationFile == nullptr)
        return false;
    BYTE* pBuffer = m_pRecordBuffer.get();
    IO_STATUS_BLOCK stIo = {};
    const NTSTATUS status = native::NtQueryInformationFile(hFile, &stIo, pBuffer, RecordBufferBytes,
                                                           static_cast<FILE_INFORMATION_CLASS>(22));
    if (status < 0 && status != static_cast<NTSTATUS>(0x80000005))
        return false;
    const size_t nValid = std::min<size_t>(stIo.Information, RecordBufferBytes);
    constexpr size_t HeaderBytes = 24;
    for (size_t nAt = 0; nAt + HeaderBytes <= nValid;)
    {
        ULONG ulNext = 0;
        ULONG ulNameBytes = 0;
        std::memcpy(&ulNext, pBuffer + nAt, sizeof(ulNext));
        std::memcpy(&ulNameBytes, pBuffer + nAt + 4, sizeof(ulNameBytes));
        if (ulNameBytes % 2 != 0 || ulNameBytes > nValid - nAt - HeaderBytes)
            break;
        CUnicodeString strName;
        if (ulNameBytes > 0)
            std::memcpy(strName.GetBufferSetLength(static_cast<int>(ulNameBytes / 2)), pBuffer + nAt + HeaderBytes,
                        ulNameBytes);
        names.push_back(strName);
        if (ulNext == 0)
            break;
        nAt += ulNext;
    }
    return true;
}

void CDefragPartition::AfterDirectoryEntry(DIRECTORY_WALK& walk)
{
    m_nProgress = ProgressOf(walk.llCounted);
    if (m_nProgress == walk.nLastReported)
        return;
    walk.nLastReported = m_nProgress;
    ReportState();
    SetStatusText(L" ");
    SendClusterMapChanges();
}
