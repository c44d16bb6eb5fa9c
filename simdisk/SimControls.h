// The volume and file-system controls of the seam for simulated handles, answered at the
// NTSTATUS level with the system's structures and partial-buffer rules: the volume bitmap,
// retrieval pointers, moves, NTFS volume data and file records, disk performance, the storage
// property and the stream listing.
#pragma once

#include <windows.h>
#include <winternl.h>

#include "simdisk/NtfsLayout.h"

#include <thread>
#include <vector>

class CSimSystem;
class CSimVolume;
class CSimFile;
struct SIM_HANDLE;

class CSimControls
{
public:
    explicit CSimControls(CSimSystem& system) : m_system(system) {}
    ~CSimControls();
    CSimControls(const CSimControls&) = delete;
    CSimControls& operator=(const CSimControls&) = delete;

    BOOL DeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut, LPDWORD pdwReturned);
    NTSTATUS NtFsControlFile(HANDLE h, HANDLE hEvent, PIO_STATUS_BLOCK pIosb, ULONG ulCode, PVOID pIn, ULONG ulIn,
                             PVOID pOut, ULONG ulOut);
    NTSTATUS QueryInformationFile(HANDLE h, PIO_STATUS_BLOCK pIosb, PVOID pInfo, ULONG ulLength,
                                  FILE_INFORMATION_CLASS eClass);

private:
    NTSTATUS Control(HANDLE h, DWORD dwCode, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS VolumeBitmap(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS RetrievalPointers(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS MoveFile(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn);
    NTSTATUS NtfsVolumeData(SIM_HANDLE& handle, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS FileRecord(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS DiskPerformance(SIM_HANDLE& handle, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS StorageProperty(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo);
    NTSTATUS StreamInformation(SIM_HANDLE& handle, BYTE* pOut, ULONG ulLength, ULONG_PTR* pInfo);
    NTSTATUS WineAnswer(DWORD dwCode, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo, bool* pbAnswered);
    void CompleteLater(HANDLE h, HANDLE hEvent);
    // The layout of a file's records, kept for the next request while the volume is unchanged:
    // a reader asks for a file's base record and then for each of its extension records.
    const NTFS_PLAN& PlanOf(const CSimVolume& volume, const CSimFile& file);

    CSimSystem& m_system;
    const CSimVolume* m_pPlanVolume = nullptr;
    ULONGLONG m_ullPlanFile = 0;
    ULONGLONG m_ullPlanChanges = 0;
    NTFS_PLAN m_plan;
    std::vector<std::thread> m_completions;
};
