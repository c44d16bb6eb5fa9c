// The file calls of the seam for simulated paths and handles: opens with the share-access
// and metadata rules, reads of files and of the raw volume, file information, directory
// listings and the path queries.
#pragma once

#include "simdisk/SimPath.h"

#include <windows.h>

#include <string>

class CSimSystem;
class CSimVolume;
struct SIM_HANDLE;
class CSimFile;
class CSimStream;

class CSimFileCalls
{
public:
    explicit CSimFileCalls(CSimSystem& system) : m_system(system) {}

    HANDLE CreateFile(LPCWSTR pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
    BOOL ReadFile(HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwRead, LPOVERLAPPED pOverlapped);
    BOOL WriteFile(HANDLE h, LPDWORD pdwWritten);
    BOOL SetFilePointer(HANDLE h, LARGE_INTEGER liDistance, PLARGE_INTEGER pliNew, DWORD dwMethod);
    BOOL GetInformation(HANDLE h, LPBY_HANDLE_FILE_INFORMATION pInfo);
    BOOL GetSize(HANDLE h, PLARGE_INTEGER pliSize);
    BOOL GetTime(HANDLE h, LPFILETIME pCreation, LPFILETIME pAccess, LPFILETIME pWrite);
    BOOL GetAttributesEx(LPCWSTR pszPath, GET_FILEEX_INFO_LEVELS eLevel, LPVOID pInfo);
    DWORD GetCompressedSize(LPCWSTR pszPath, LPDWORD pdwHigh);
    DWORD GetLongPathName(LPCWSTR pszPath, LPWSTR pszOut, DWORD dwLength);
    HANDLE FindFirst(LPCWSTR pszPattern, LPWIN32_FIND_DATAW pData);
    BOOL FindNext(HANDLE h, LPWIN32_FIND_DATAW pData);

    // The bytes a cluster holds: real bytes for the metadata that readers parse raw, the
    // known content of small files, a pattern of its tag otherwise, zeros when free.
    static void ReadCluster(const CSimVolume& volume, LONGLONG llLcn, BYTE* pOut);
    static bool MatchesPattern(const std::wstring& strName, const std::wstring& strPattern);

private:
    HANDLE OpenVolume(const SIM_PATH& path, DWORD dwAccess, DWORD dwFlags);
    // The file an open file handle stands for, or null with the last error set.
    CSimFile* FileOfHandle(HANDLE h, SIM_HANDLE** ppHandle) const;
    // The file and stream a path names, or false with the last error set.
    bool ResolvePath(LPCWSTR pszPath, SIM_PATH& path, CSimFile** ppFile, CSimStream** ppStream) const;
    // The size of what a file handle opened: its stream, or the file's data.
    LONGLONG SizeOf(const SIM_HANDLE& handle, CSimFile& file) const;
    BOOL ReadVolume(SIM_HANDLE& handle, BYTE* pBuffer, DWORD dwToRead, LPDWORD pdwRead);
    BOOL ReadStream(SIM_HANDLE& handle, BYTE* pBuffer, DWORD dwToRead, LPDWORD pdwRead);
    void FillFindData(const CSimVolume& volume, const CSimFile& file, const wchar_t* pszName, WIN32_FIND_DATAW& data) const;

    CSimSystem& m_system;
};
