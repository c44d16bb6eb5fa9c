#include "simdisk/SimFileCalls.h"

#include "platform/NtStatus.h"
#include "simdisk/SimSystem.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

constexpr DWORD AttributeOnlyAccess = FILE_READ_ATTRIBUTES | SYNCHRONIZE;

FILETIME ToFileTime(LONGLONG ll)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ll);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(ll) >> 32);
    return ft;
}

BOOL Fail(DWORD dwError)
{
    ::SetLastError(dwError);
    return FALSE;
}

HANDLE FailHandle(DWORD dwError)
{
    ::SetLastError(dwError);
    return INVALID_HANDLE_VALUE;
}

DWORD Attributes(const CSimFile& file)
{
    DWORD dwAttributes = file.m_dwAttributes;
    if (file.m_dwReparseTag)
        dwAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return dwAttributes ? dwAttributes : FILE_ATTRIBUTE_NORMAL;
}

LONGLONG DataSize(CSimFile& file)
{
    CSimStream* pData = file.IsDirectory() ? nullptr : file.FindStream(ntfs::Data, L"");
    return pData ? pData->m_llDataSize : 0;
}

// Length of the root part of a path ("C:\", "\\?\C:\", "\\?\Volume{...}\").
size_t RootLength(const std::wstring& str)
{
    if (str.compare(0, 4, L"\\\\?\\") == 0 || str.compare(0, 4, L"\\\\.\\") == 0)
    {
        size_t nClose = str.find(L'}');
        if (_wcsnicmp(str.c_str() + 4, L"Volume{", 7) == 0 && nClose != std::wstring::npos)
            return std::min(str.size(), nClose + 2);
        return std::min<size_t>(str.size(), 7);
    }
    return std::min<size_t>(str.size(), 3);
}

} // namespace

bool CSimFileCalls::MatchesPattern(const std::wstring& strName, const std::wstring& strPattern)
{
    // "*.*" means every name, with or without a dot, as the system's listing reads it.
    std::wstring strWanted = strPattern == L"*.*" ? L"*" : strPattern;
    const wchar_t* n = strName.c_str();
    const wchar_t* p = strWanted.c_str();
    const wchar_t* pStar = nullptr;
    const wchar_t* nStar = nullptr;
    while (*n)
    {
        if (*p == L'*')
        {
            pStar = p++;
            nStar = n;
        }
        else if (*p == L'?' || std::towupper(*p) == std::towupper(*n))
        {
            ++p;
            ++n;
        }
        else if (pStar)
        {
            p = pStar + 1;
            n = ++nStar;
        }
        else
            return false;
    }
    while (*p == L'*')
        ++p;
    return *p == 0;
}

HANDLE CSimFileCalls::OpenVolume(const SIM_PATH& path, DWORD dwAccess, DWORD dwFlags)
{
    SIM_HANDLE handle;
    handle.eKind = SIM_HANDLE_KIND::Volume;
    handle.pVolume = path.pVolume;
    handle.dwAccess = dwAccess;
    handle.dwFlags = dwFlags;
    return m_system.Handles().Open(handle);
}

HANDLE CSimFileCalls::CreateFile(LPCWSTR pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags)
{
    SIM_PATH path = m_system.Parse(pszPath);
    SIM_FAULT fault;
    if (m_system.Fault(SIM_CALL::CreateFile, 0, pszPath, -1, &fault))
        return FailHandle(RtlNtStatusToDosError(fault.status));
    if (path.dwError)
        return FailHandle(path.dwError);
    if (path.bDevice)
        return OpenVolume(path, dwAccess, dwFlags);
    CSimFile* pFile = nullptr;
    CSimStream* pStream = nullptr;
    DWORD dwError = 0;
    if (!m_system.Resolve(path, &pFile, &pStream, &dwError))
    {
        // New files are not made on simulated volumes; changes come through the volume itself.
        bool bCreates = dwDisposition == CREATE_NEW || dwDisposition == CREATE_ALWAYS || dwDisposition == OPEN_ALWAYS;
        return FailHandle(bCreates && dwError == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : dwError);
    }
    if (dwDisposition == CREATE_NEW)
        return FailHandle(ERROR_FILE_EXISTS);
    if (dwDisposition == CREATE_ALWAYS || dwDisposition == TRUNCATE_EXISTING)
        return FailHandle(path.pVolume->m_bReadOnly ? ERROR_WRITE_PROTECT : ERROR_ACCESS_DENIED);
    if (pFile->m_dwFlags & SimFileDenyAcl)
        return FailHandle(ERROR_ACCESS_DENIED);
    if (pFile->m_dwFlags & SimFileKernelExclusive)
        return FailHandle(ERROR_SHARING_VIOLATION);
    if ((pFile->m_dwFlags & SimFileMetadata) && (dwAccess & ~AttributeOnlyAccess))
        return FailHandle(ERROR_ACCESS_DENIED);
    // A directory opens only with backup semantics; its named data streams open like files.
    const bool bDirectoryItself = pFile->IsDirectory() && (!pStream || pStream->m_dwType != ntfs::Data);
    if (bDirectoryItself && !(dwFlags & FILE_FLAG_BACKUP_SEMANTICS))
        return FailHandle(ERROR_ACCESS_DENIED);
    if (!pFile->IsDirectory() && path.bTrailingSlash && !path.strRelative.empty())
        return FailHandle(ERROR_INVALID_NAME);
    const WORD wSlot = pStream ? pStream->m_wSlot : SIM_DEFAULT_STREAM;
    if (!m_system.Handles().ShareAllows(path.pVolume, *pFile, wSlot, dwAccess, dwShare))
        return FailHandle(ERROR_SHARING_VIOLATION);
    SIM_HANDLE handle;
    handle.eKind = SIM_HANDLE_KIND::File;
    handle.pVolume = path.pVolume;
    handle.ullReference = pFile->Reference();
    handle.wSlot = wSlot;
    handle.dwAccess = dwAccess;
    handle.dwShare = dwShare;
    handle.dwFlags = dwFlags;
    handle.dwProcessId = ::GetCurrentProcessId();
    HANDLE h = m_system.Handles().Open(handle);
    ::SetLastError(dwDisposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return h;
}

void CSimFileCalls::ReadCluster(const CSimVolume& volume, LONGLONG llLcn, BYTE* pOut)
{
    const DWORD dwCluster = volume.BytesPerCluster();
    std::memset(pOut, 0, dwCluster);
    CONTENT_RUN run;
    if (!volume.Content().At(llLcn, &run))
        return;
    const CSimFile* pFile = volume.File(run.ullFile & 0xFFFFFFFFFFFFull);
    const CSimStream* pStream = nullptr;
    if (pFile && pFile->Reference() == run.ullFile)
        for (const CSimStream& stream : pFile->m_streams)
            if (stream.m_wSlot == run.wSlot)
                pStream = &stream;
    const LONGLONG llOffset = run.llVcn * dwCluster;
    if (pStream && pFile->m_ullId == ntfs::RecordMft && pStream->m_dwType == ntfs::Bitmap && volume.Fs() == SIM_FS::Ntfs)
    {
        // The MFT's bitmap is read raw by record readers: its clusters hold the real bits, and
        // records that the MFT does not reach are clear.
        LONGLONG llHave = std::max<LONGLONG>(0, std::min<LONGLONG>(dwCluster, pStream->m_llDataSize - llOffset));
        volume.MftBitmap().CopyBytes(llOffset, pOut, static_cast<size_t>(llHave), false);
        std::memset(pOut + llHave, 0, dwCluster - llHave);
        return;
    }
    if (pStream && !pStream->m_bytes.empty())
    {
        // Attribute lists and small files with known content hold their bytes.
        if (llOffset < static_cast<LONGLONG>(pStream->m_bytes.size()))
            std::memcpy(pOut, pStream->m_bytes.data() + llOffset,
                        static_cast<size_t>(std::min<LONGLONG>(dwCluster, pStream->m_bytes.size() - llOffset)));
        return;
    }
    const uint64_t tag = CSimContentMap::Tag(run.ullFile, run.wSlot, run.llVcn);
    for (DWORD i = 0; i + 8 <= dwCluster; i += 8)
        std::memcpy(pOut + i, &tag, 8);
}

BOOL CSimFileCalls::ReadVolume(SIM_HANDLE& handle, BYTE* pBuffer, DWORD dwToRead, LPDWORD pdwRead)
{
    const CSimVolume& volume = *handle.pVolume;
    const DWORD dwSector = volume.BytesPerSector();
    const LONGLONG llSize = volume.TotalClusters() * volume.BytesPerCluster();
    if (m_system.m_bWineAnswers)
        return Fail(ERROR_INVALID_FUNCTION);
    if (!CSimHandles::CanRead(handle.dwAccess))
        return Fail(ERROR_ACCESS_DENIED);
    // Raw volume reads go by whole sectors and stay within the volume.
    if (handle.llPosition % dwSector || dwToRead % dwSector || handle.llPosition + dwToRead > llSize)
        return Fail(ERROR_INVALID_PARAMETER);
    SIM_FAULT fault;
    const DWORD dwCluster = volume.BytesPerCluster();
    if (m_system.Fault(SIM_CALL::ReadFile, 0, volume.GuidPath(), handle.llPosition / dwCluster, &fault))
        return Fail(RtlNtStatusToDosError(fault.status));
    std::vector<BYTE> cluster(dwCluster);
    DWORD dwDone = 0;
    while (dwDone < dwToRead)
    {
        LONGLONG llAt = handle.llPosition + dwDone;
        ReadCluster(volume, llAt / dwCluster, cluster.data());
        DWORD dwIn = static_cast<DWORD>(llAt % dwCluster);
        DWORD dwTake = std::min(dwCluster - dwIn, dwToRead - dwDone);
        std::memcpy(pBuffer + dwDone, cluster.data() + dwIn, dwTake);
        dwDone += dwTake;
    }
    handle.llPosition += dwDone;
    if (pdwRead)
        *pdwRead = dwDone;
    return TRUE;
}

BOOL CSimFileCalls::ReadStream(SIM_HANDLE& handle, BYTE* pBuffer, DWORD dwToRead, LPDWORD pdwRead)
{
    CSimStream* pStream = m_system.StreamOf(handle);
    CSimFile* pFile = m_system.FileOf(handle);
    if (!pFile)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (!CSimHandles::CanRead(handle.dwAccess))
        return Fail(ERROR_ACCESS_DENIED);
    if (pFile->IsDirectory() && (!pStream || pStream->m_dwType != ntfs::Data))
        return Fail(ERROR_INVALID_FUNCTION);
    const LONGLONG llSize = pStream ? pStream->m_llDataSize : 0;
    const DWORD dwTake = static_cast<DWORD>(std::max<LONGLONG>(0, std::min<LONGLONG>(dwToRead, llSize - handle.llPosition)));
    const CSimVolume& volume = *handle.pVolume;
    const DWORD dwCluster = volume.BytesPerCluster();
    std::vector<BYTE> cluster(dwCluster);
    for (DWORD dwDone = 0; dwDone < dwTake;)
    {
        const LONGLONG llAt = handle.llPosition + dwDone;
        DWORD dwIn = static_cast<DWORD>(llAt % dwCluster);
        DWORD dwPart = std::min(dwCluster - dwIn, dwTake - dwDone);
        if (pStream->m_bResident || llAt + dwPart <= static_cast<LONGLONG>(pStream->m_bytes.size()))
        {
            std::memset(pBuffer + dwDone, 0, dwPart);
            if (llAt < static_cast<LONGLONG>(pStream->m_bytes.size()))
                std::memcpy(pBuffer + dwDone, pStream->m_bytes.data() + llAt,
                            static_cast<size_t>(std::min<LONGLONG>(dwPart, pStream->m_bytes.size() - llAt)));
        }
        else
        {
            int nRun = pStream->FindRun(llAt / dwCluster);
            const SIM_RUN* pRun = nRun >= 0 ? &pStream->m_runs[nRun] : nullptr;
            if (pRun && pRun->llLcn != SIM_SPARSE_LCN)
                ReadCluster(volume, pRun->llLcn + (llAt / dwCluster - pRun->llVcn), cluster.data());
            else
                std::fill(cluster.begin(), cluster.end(), 0);
            std::memcpy(pBuffer + dwDone, cluster.data() + dwIn, dwPart);
        }
        dwDone += dwPart;
    }
    handle.llPosition += dwTake;
    if (pdwRead)
        *pdwRead = dwTake;
    return TRUE;
}

BOOL CSimFileCalls::ReadFile(HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwRead, LPOVERLAPPED)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h);
    if (pdwRead)
        *pdwRead = 0;
    if (!pHandle || (pHandle->eKind != SIM_HANDLE_KIND::Volume && pHandle->eKind != SIM_HANDLE_KIND::File))
        return Fail(ERROR_INVALID_HANDLE);
    BYTE* p = static_cast<BYTE*>(pBuffer);
    return pHandle->eKind == SIM_HANDLE_KIND::Volume ? ReadVolume(*pHandle, p, dwToRead, pdwRead)
                                                      : ReadStream(*pHandle, p, dwToRead, pdwRead);
}

BOOL CSimFileCalls::WriteFile(HANDLE h, LPDWORD pdwWritten)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h);
    if (pdwWritten)
        *pdwWritten = 0;
    // Data is never written through the seam on a simulated volume; moves are its only change.
    return Fail(pHandle && pHandle->pVolume && pHandle->pVolume->m_bReadOnly ? ERROR_WRITE_PROTECT : ERROR_ACCESS_DENIED);
}

BOOL CSimFileCalls::SetFilePointer(HANDLE h, LARGE_INTEGER liDistance, PLARGE_INTEGER pliNew, DWORD dwMethod)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h);
    if (!pHandle || (pHandle->eKind != SIM_HANDLE_KIND::Volume && pHandle->eKind != SIM_HANDLE_KIND::File))
        return Fail(ERROR_INVALID_HANDLE);
    LONGLONG llBase = 0;
    if (dwMethod == FILE_CURRENT)
        llBase = pHandle->llPosition;
    else if (dwMethod == FILE_END)
    {
        CSimStream* pStream = m_system.StreamOf(*pHandle);
        llBase = pHandle->eKind == SIM_HANDLE_KIND::Volume
                     ? pHandle->pVolume->TotalClusters() * pHandle->pVolume->BytesPerCluster()
                     : (pStream ? pStream->m_llDataSize : 0);
    }
    else if (dwMethod != FILE_BEGIN)
        return Fail(ERROR_INVALID_PARAMETER);
    LONGLONG llNew = llBase + liDistance.QuadPart;
    if (llNew < 0)
        return Fail(ERROR_NEGATIVE_SEEK);
    pHandle->llPosition = llNew;
    if (pliNew)
        pliNew->QuadPart = llNew;
    return TRUE;
}

CSimFile* CSimFileCalls::FileOfHandle(HANDLE h, SIM_HANDLE** ppHandle) const
{
    *ppHandle = m_system.Handles().Find(h, SIM_HANDLE_KIND::File);
    CSimFile* pFile = *ppHandle ? m_system.FileOf(**ppHandle) : nullptr;
    // A volume handle has no file; a file deleted since the open is gone.
    if (!pFile)
        ::SetLastError(*ppHandle ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_FUNCTION);
    return pFile;
}

LONGLONG CSimFileCalls::SizeOf(const SIM_HANDLE& handle, CSimFile& file) const
{
    if (handle.wSlot == SIM_DEFAULT_STREAM)
        return DataSize(file);
    CSimStream* pStream = m_system.StreamOf(handle);
    return pStream ? pStream->m_llDataSize : 0;
}

BOOL CSimFileCalls::GetInformation(HANDLE h, LPBY_HANDLE_FILE_INFORMATION pInfo)
{
    SIM_HANDLE* pHandle = nullptr;
    CSimFile* pFile = FileOfHandle(h, &pHandle);
    if (!pFile)
        return FALSE;
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->dwFileAttributes = Attributes(*pFile);
    pInfo->ftCreationTime = ToFileTime(pFile->m_llCreated);
    pInfo->ftLastAccessTime = ToFileTime(pFile->m_llAccessed);
    pInfo->ftLastWriteTime = ToFileTime(pFile->m_llModified);
    pInfo->dwVolumeSerialNumber = pHandle->pVolume->Serial();
    const LONGLONG llSize = SizeOf(*pHandle, *pFile);
    pInfo->nFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(llSize) >> 32);
    pInfo->nFileSizeLow = static_cast<DWORD>(llSize);
    pInfo->nNumberOfLinks = 1;
    pInfo->nFileIndexHigh = static_cast<DWORD>(pFile->Reference() >> 32);
    pInfo->nFileIndexLow = static_cast<DWORD>(pFile->Reference());
    return TRUE;
}

BOOL CSimFileCalls::GetSize(HANDLE h, PLARGE_INTEGER pliSize)
{
    SIM_HANDLE* pHandle = nullptr;
    CSimFile* pFile = FileOfHandle(h, &pHandle);
    if (!pFile)
        return FALSE;
    pliSize->QuadPart = SizeOf(*pHandle, *pFile);
    return TRUE;
}

BOOL CSimFileCalls::GetTime(HANDLE h, LPFILETIME pCreation, LPFILETIME pAccess, LPFILETIME pWrite)
{
    SIM_HANDLE* pHandle = nullptr;
    CSimFile* pFile = FileOfHandle(h, &pHandle);
    if (!pFile)
        return FALSE;
    if (pCreation)
        *pCreation = ToFileTime(pFile->m_llCreated);
    if (pAccess)
        *pAccess = ToFileTime(pFile->m_llAccessed);
    if (pWrite)
        *pWrite = ToFileTime(pFile->m_llModified);
    return TRUE;
}

bool CSimFileCalls::ResolvePath(LPCWSTR pszPath, SIM_PATH& path, CSimFile** ppFile, CSimStream** ppStream) const
{
    path = m_system.Parse(pszPath);
    DWORD dwError = 0;
    if (!path.bDevice && m_system.Resolve(path, ppFile, ppStream, &dwError))
        return true;
    // The volume device is no file to ask about.
    ::SetLastError(dwError ? dwError : ERROR_INVALID_NAME);
    return false;
}

BOOL CSimFileCalls::GetAttributesEx(LPCWSTR pszPath, GET_FILEEX_INFO_LEVELS eLevel, LPVOID pInfo)
{
    if (eLevel != GetFileExInfoStandard)
        return Fail(ERROR_INVALID_PARAMETER);
    SIM_PATH path;
    CSimFile* pFile = nullptr;
    CSimStream* pStream = nullptr;
    if (!ResolvePath(pszPath, path, &pFile, &pStream))
        return FALSE;
    auto* pData = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(pInfo);
    pData->dwFileAttributes = Attributes(*pFile);
    pData->ftCreationTime = ToFileTime(pFile->m_llCreated);
    pData->ftLastAccessTime = ToFileTime(pFile->m_llAccessed);
    pData->ftLastWriteTime = ToFileTime(pFile->m_llModified);
    LONGLONG llSize = pStream ? pStream->m_llDataSize : DataSize(*pFile);
    pData->nFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(llSize) >> 32);
    pData->nFileSizeLow = static_cast<DWORD>(llSize);
    return TRUE;
}

DWORD CSimFileCalls::GetCompressedSize(LPCWSTR pszPath, LPDWORD pdwHigh)
{
    SIM_PATH path;
    CSimFile* pFile = nullptr;
    CSimStream* pStream = nullptr;
    if (!ResolvePath(pszPath, path, &pFile, &pStream))
        return INVALID_FILE_SIZE;
    if (!pStream && !pFile->IsDirectory())
        pStream = pFile->FindStream(ntfs::Data, L"");
    LONGLONG llSize = 0;
    if (pStream)
    {
        bool bPacked = (pStream->m_wFlags & (ntfs::FlagCompressed | ntfs::FlagSparse)) != 0;
        llSize = bPacked ? pStream->AllocatedClusters() * path.pVolume->BytesPerCluster() : pStream->m_llDataSize;
    }
    if (pdwHigh)
        *pdwHigh = static_cast<DWORD>(static_cast<ULONGLONG>(llSize) >> 32);
    // Only an answer that looks like the failure value says through the last error that it is not one.
    if (static_cast<DWORD>(llSize) == INVALID_FILE_SIZE)
        ::SetLastError(NO_ERROR);
    return static_cast<DWORD>(llSize);
}

DWORD CSimFileCalls::GetLongPathName(LPCWSTR pszPath, LPWSTR pszOut, DWORD dwLength)
{
    SIM_PATH path;
    CSimFile* pFile = nullptr;
    CSimStream* pStream = nullptr;
    if (!ResolvePath(pszPath, path, &pFile, &pStream))
        return 0;
    const std::wstring strIn(pszPath);
    const size_t nRoot = RootLength(strIn);
    std::wstring strOut = strIn.substr(0, nRoot);
    const CSimFile* pDir = path.pVolume->Root();
    size_t nAt = nRoot;
    while (nAt < strIn.size())
    {
        size_t nEnd = strIn.find(L'\\', nAt);
        if (nEnd == std::wstring::npos)
            nEnd = strIn.size();
        std::wstring strPart = strIn.substr(nAt, nEnd - nAt);
        const CSimFile* pNext = pDir ? path.pVolume->Child(*pDir, strPart) : nullptr;
        if (!pNext && pDir)
        {
            pNext = path.pVolume->ChildByShortName(*pDir, strPart);
            if (pNext)
                strPart = pNext->m_strName;
        }
        strOut += strPart;
        if (nEnd < strIn.size())
            strOut += L'\\';
        pDir = pNext;
        nAt = nEnd + 1;
    }
    if (!pszOut || dwLength <= strOut.size())
        return static_cast<DWORD>(strOut.size() + 1);
    std::wmemcpy(pszOut, strOut.c_str(), strOut.size() + 1);
    return static_cast<DWORD>(strOut.size());
}

void CSimFileCalls::FillFindData(const CSimVolume&, const CSimFile& file, const wchar_t* pszName,
                                 WIN32_FIND_DATAW& data) const
{
    std::memset(&data, 0, sizeof(data));
    data.dwFileAttributes = Attributes(file);
    data.ftCreationTime = ToFileTime(file.m_llCreated);
    data.ftLastAccessTime = ToFileTime(file.m_llAccessed);
    data.ftLastWriteTime = ToFileTime(file.m_llModified);
    LONGLONG llSize = DataSize(const_cast<CSimFile&>(file));
    data.nFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(llSize) >> 32);
    data.nFileSizeLow = static_cast<DWORD>(llSize);
    data.dwReserved0 = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? file.m_dwReparseTag : 0;
    wcsncpy(data.cFileName, pszName, MAX_PATH - 1);
    wcsncpy(data.cAlternateFileName, file.m_strShortName.c_str(), 13);
}

HANDLE CSimFileCalls::FindFirst(LPCWSTR pszPattern, LPWIN32_FIND_DATAW pData)
{
    SIM_PATH path = m_system.Parse(pszPattern);
    SIM_FAULT fault;
    if (m_system.Fault(SIM_CALL::FindFirstFile, 0, pszPattern, -1, &fault))
        return FailHandle(RtlNtStatusToDosError(fault.status));
    if (path.dwError)
        return FailHandle(path.dwError);
    if (m_system.m_bWineAnswers && std::wcsstr(pszPattern, L"Volume{"))
        return FailHandle(ERROR_BAD_DEV_TYPE);
    const size_t nSlash = path.strRelative.find_last_of(L'\\');
    const std::wstring strDir = nSlash == std::wstring::npos ? L"" : path.strRelative.substr(0, nSlash);
    const std::wstring strPattern = nSlash == std::wstring::npos ? path.strRelative : path.strRelative.substr(nSlash + 1);
    CSimVolume& volume = *path.pVolume;
    CSimFile* pDir = volume.Lookup(strDir);
    if (path.bDevice || strPattern.empty() || !pDir || !pDir->IsDirectory() || (pDir->m_dwFlags & SimFileHidden))
        return FailHandle(strPattern.empty() && pDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (pDir->m_dwFlags & SimFileDenyList)
        return FailHandle(ERROR_ACCESS_DENIED);
    SIM_HANDLE handle;
    handle.eKind = SIM_HANDLE_KIND::Find;
    handle.pVolume = &volume;
    WIN32_FIND_DATAW data;
    // The root of a volume has no "." and ".." entries; every other directory lists them first.
    if (pDir != volume.Root())
        for (const wchar_t* pszDots : {L".", L".."})
            if (MatchesPattern(pszDots, strPattern))
            {
                FillFindData(volume, *pDir, pszDots, data);
                handle.found.push_back(data);
            }
    for (ULONGLONG ullChild : volume.Children(*pDir))
    {
        const CSimFile* pChild = volume.File(ullChild);
        if (!pChild || (pChild->m_dwFlags & (SimFileMetadata | SimFileHidden)))
            continue;
        if (!MatchesPattern(pChild->m_strName, strPattern) &&
            (pChild->m_strShortName.empty() || !MatchesPattern(pChild->m_strShortName, strPattern)))
            continue;
        FillFindData(volume, *pChild, pChild->m_strName.c_str(), data);
        handle.found.push_back(data);
    }
    if (handle.found.empty())
        return FailHandle(ERROR_FILE_NOT_FOUND);
    *pData = handle.found.front();
    handle.nNext = 1;
    return m_system.Handles().Open(handle);
}

BOOL CSimFileCalls::FindNext(HANDLE h, LPWIN32_FIND_DATAW pData)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h, SIM_HANDLE_KIND::Find);
    if (!pHandle)
        return Fail(ERROR_INVALID_HANDLE);
    if (pHandle->nNext >= pHandle->found.size())
        return Fail(ERROR_NO_MORE_FILES);
    *pData = pHandle->found[pHandle->nNext++];
    return TRUE;
}
