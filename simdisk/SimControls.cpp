#include "simdisk/SimControls.h"

#include "platform/LittleEndian.h"
#include "platform/NtStatus.h"
#include "simdisk/NtfsLayout.h"
#include "simdisk/SimSystem.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace {

using le::Get;
using le::Put;

constexpr DWORD NtfsVolumeDataBytes = 96;
constexpr DWORD NtfsExtendedDataBytes = 8;
constexpr WORD NtfsMajorVersion = 3;
constexpr WORD NtfsMinorVersion = 1;
constexpr DWORD DiskPerformanceBytes = 88;
constexpr DWORD DeviceDescriptorBytes = 40;
constexpr DWORD PendingDelayMs = 20;

bool IsVolume(const SIM_HANDLE& handle) { return handle.eKind == SIM_HANDLE_KIND::Volume; }

} // namespace

CSimControls::~CSimControls()
{
    for (std::thread& completion : m_completions)
        completion.join();
}

BOOL CSimControls::DeviceIoControl(HANDLE h, DWORD dwCode, LPVOID pIn, DWORD dwIn, LPVOID pOut, DWORD dwOut,
                                   LPDWORD pdwReturned)
{
    ULONG_PTR info = 0;
    NTSTATUS status;
    {
        CSimLock lock(m_system);
        status = Control(h, dwCode, static_cast<const BYTE*>(pIn), dwIn, static_cast<BYTE*>(pOut), dwOut, &info);
    }
    // Warnings still hand back what was written; errors hand back nothing.
    if (pdwReturned)
        *pdwReturned = ntstatus::IsError(status) ? 0 : static_cast<DWORD>(info);
    if (status == ntstatus::Success)
        return TRUE;
    ::SetLastError(RtlNtStatusToDosError(status));
    return FALSE;
}

NTSTATUS CSimControls::NtFsControlFile(HANDLE h, HANDLE hEvent, PIO_STATUS_BLOCK pIosb, ULONG ulCode, PVOID pIn,
                                       ULONG ulIn, PVOID pOut, ULONG ulOut)
{
    CSimLock lock(m_system);
    ULONG_PTR info = 0;
    NTSTATUS status = Control(h, ulCode, static_cast<const BYTE*>(pIn), ulIn, static_cast<BYTE*>(pOut), ulOut, &info);
    if (pIosb)
    {
        pIosb->Status = status;
        pIosb->Information = ntstatus::IsError(status) ? 0 : info;
    }
    SIM_HANDLE* pHandle = m_system.Handles().Find(h);
    if (m_system.m_bPendingOverlapped && pHandle && (pHandle->dwFlags & FILE_FLAG_OVERLAPPED))
    {
        // The work is done; only its completion is told later, on the handle the control was
        // issued on (and the caller's event), as an asynchronous file system does.
        ::ResetEvent(h);
        CompleteLater(h, hEvent);
        return ntstatus::Pending;
    }
    if (hEvent)
        ::SetEvent(hEvent);
    return status;
}

void CSimControls::CompleteLater(HANDLE h, HANDLE hEvent)
{
    HANDLE hSignal = nullptr;
    HANDLE hCaller = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &hSignal, 0, FALSE, DUPLICATE_SAME_ACCESS);
    if (hEvent)
        ::DuplicateHandle(::GetCurrentProcess(), hEvent, ::GetCurrentProcess(), &hCaller, 0, FALSE, DUPLICATE_SAME_ACCESS);
    m_completions.emplace_back([hSignal, hCaller]() {
        ::Sleep(PendingDelayMs);
        for (HANDLE hEach : {hSignal, hCaller})
            if (hEach)
            {
                ::SetEvent(hEach);
                ::CloseHandle(hEach);
            }
    });
}

NTSTATUS CSimControls::WineAnswer(DWORD dwCode, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo, bool* pbAnswered)
{
    *pbAnswered = true;
    switch (dwCode)
    {
    case FSCTL_GET_RETRIEVAL_POINTERS:
        // Wine answers every file with one made-up extent and never with the end of file.
        if (dwOut < 32)
            return ntstatus::BufferTooSmall;
        std::memset(pOut, 0, 32);
        Put<DWORD>(pOut, 0, 1);
        Put<LONGLONG>(pOut, 8, 1);
        *pInfo = 32;
        return ntstatus::Success;
    case FSCTL_MOVE_FILE:
        return ntstatus::NotSupported;
    case FSCTL_GET_VOLUME_BITMAP:
    case FSCTL_GET_NTFS_VOLUME_DATA:
    case FSCTL_GET_NTFS_FILE_RECORD:
    case IOCTL_DISK_PERFORMANCE:
        return ntstatus::NotSupported;
    default:
        *pbAnswered = false;
        return ntstatus::Success;
    }
}

NTSTATUS CSimControls::Control(HANDLE h, DWORD dwCode, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut,
                               ULONG_PTR* pInfo)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h);
    if (!pHandle || !pHandle->pVolume)
        return ntstatus::InvalidHandle;
    if (m_system.m_bWineAnswers)
    {
        bool bAnswered = false;
        NTSTATUS status = WineAnswer(dwCode, pOut, dwOut, pInfo, &bAnswered);
        if (bAnswered)
            return status;
    }
    SIM_FAULT fault;
    LONGLONG llRecord = dwCode == FSCTL_GET_NTFS_FILE_RECORD && dwIn >= 8 ? Get<LONGLONG>(pIn, 0) : -1;
    std::wstring strPath = pHandle->pVolume->GuidPath();
    if (CSimFile* pFile = m_system.FileOf(*pHandle))
        strPath += pHandle->pVolume->RelativePath(*pFile);
    if (m_system.Fault(SIM_CALL::Control, dwCode, strPath, llRecord, &fault) && fault.eAction == SIM_FAULT_ACTION::Answer)
        return fault.status;
    switch (dwCode)
    {
    case FSCTL_GET_VOLUME_BITMAP:
        return VolumeBitmap(*pHandle, pIn, dwIn, pOut, dwOut, pInfo);
    case FSCTL_GET_RETRIEVAL_POINTERS:
        return RetrievalPointers(*pHandle, pIn, dwIn, pOut, dwOut, pInfo);
    case FSCTL_MOVE_FILE:
    {
        if (fault.eAction == SIM_FAULT_ACTION::TakeTarget && dwIn >= 32)
        {
            // Another program allocates the target between the caller's search and its move.
            CSimVolume& volume = *pHandle->pVolume;
            volume.CreateFile(L"~taken" + std::to_wstring(volume.ChangeCount()) + L".tmp", volume.BytesPerCluster(),
                              Exact({{0, Get<LONGLONG>(pIn, 16), 1}}));
        }
        return MoveFile(*pHandle, pIn, dwIn);
    }
    case FSCTL_GET_NTFS_VOLUME_DATA:
        return NtfsVolumeData(*pHandle, pOut, dwOut, pInfo);
    case FSCTL_GET_NTFS_FILE_RECORD:
        return FileRecord(*pHandle, pIn, dwIn, pOut, dwOut, pInfo);
    case IOCTL_DISK_PERFORMANCE:
        return DiskPerformance(*pHandle, pOut, dwOut, pInfo);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return StorageProperty(*pHandle, pIn, dwIn, pOut, dwOut, pInfo);
    default:
        return ntstatus::InvalidDeviceRequest;
    }
}

NTSTATUS CSimControls::VolumeBitmap(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut,
                                    ULONG_PTR* pInfo)
{
    // Any open of the volume may read its bitmap, one without access included.
    const CSimVolume& volume = *handle.pVolume;
    if (!IsVolume(handle) || dwIn < 8)
        return ntstatus::InvalidParameter;
    if (dwOut < sizeof(VOLUME_BITMAP_BUFFER))
        return ntstatus::BufferTooSmall;
    LONGLONG llStart = Get<LONGLONG>(pIn, 0);
    if (llStart < 0 || llStart >= volume.TotalClusters())
        return ntstatus::InvalidParameter;
    // The file system answers from a boundary of its own choosing at or below the asked
    // cluster; callers take the start from the answer.
    const LONGLONG llAsked = volume.m_llBitmapGranule;
    const LONGLONG llGranule = llAsked >= 8 && llAsked % 8 == 0 ? llAsked : 8;
    llStart -= llStart % llGranule;
    const LONGLONG llBits = volume.TotalClusters() - llStart;
    const LONGLONG llBytes = std::min<LONGLONG>((llBits + 7) / 8, dwOut - 16);
    Put<LONGLONG>(pOut, 0, llStart);
    Put<LONGLONG>(pOut, 8, llBits);
    volume.Bitmap().CopyBytes(llStart / 8, pOut + 16, static_cast<size_t>(llBytes), volume.m_bBitmapTailSet);
    *pInfo = static_cast<ULONG_PTR>(16 + llBytes);
    return llBytes * 8 >= llBits ? ntstatus::Success : ntstatus::BufferOverflow;
}

NTSTATUS CSimControls::RetrievalPointers(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut,
                                         ULONG_PTR* pInfo)
{
    if (dwIn < 8)
        return ntstatus::InvalidParameter;
    // On a volume handle NTFS answers with the map of its bad-cluster file.
    const bool bBadClusters = IsVolume(handle);
    if (bBadClusters && handle.pVolume->Fs() != SIM_FS::Ntfs)
        return ntstatus::InvalidParameter;
    if (dwOut < sizeof(RETRIEVAL_POINTERS_BUFFER))
        return ntstatus::BufferTooSmall;
    if (!bBadClusters && !m_system.FileOf(handle))
        return ntstatus::InvalidHandle;
    const LONGLONG llVcn = Get<LONGLONG>(pIn, 0);
    if (llVcn < 0)
        return ntstatus::InvalidParameter;
    const CSimFile* pBadClus = bBadClusters ? handle.pVolume->File(ntfs::RecordBadClus) : nullptr;
    const CSimStream* pStream = bBadClusters ? (pBadClus ? pBadClus->FindStream(ntfs::Data, L"$Bad") : nullptr)
                                             : m_system.StreamOf(handle);
    if (!pStream || pStream->m_bResident || llVcn >= pStream->Vcns())
        return ntstatus::EndOfFile;
    const size_t nFirst = static_cast<size_t>(pStream->FindRun(llVcn));
    const size_t nRoom = (dwOut - 16) / 16;
    const size_t nCount = std::min(nRoom, pStream->m_runs.size() - nFirst);
    Put<DWORD>(pOut, 0, static_cast<DWORD>(nCount));
    Put<DWORD>(pOut, 4, 0);
    Put<LONGLONG>(pOut, 8, pStream->m_runs[nFirst].llVcn);
    for (size_t i = 0; i < nCount; ++i)
    {
        const SIM_RUN& run = pStream->m_runs[nFirst + i];
        Put<LONGLONG>(pOut, 16 + 16 * i, run.llVcn + run.llLength);
        Put<LONGLONG>(pOut, 24 + 16 * i, run.llLcn);
    }
    *pInfo = 16 + 16 * nCount;
    return nFirst + nCount < pStream->m_runs.size() ? ntstatus::BufferOverflow : ntstatus::Success;
}

NTSTATUS CSimControls::MoveFile(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn)
{
    if (!IsVolume(handle) || dwIn < sizeof(MOVE_FILE_DATA))
        return ntstatus::InvalidParameter;
    // Moving clusters changes the volume: the volume must be open for its data.
    if (!CSimHandles::HasReadOrWriteData(handle.dwAccess))
        return ntstatus::AccessDenied;
    SIM_HANDLE* pFileHandle = m_system.Handles().Find(Get<HANDLE>(pIn, 0), SIM_HANDLE_KIND::File);
    if (!pFileHandle || pFileHandle->pVolume != handle.pVolume)
        return ntstatus::InvalidParameter;
    if (m_system.m_bRefuseNoAccessMoves && pFileHandle->dwAccess == 0)
        return ntstatus::AccessDenied;
    if (handle.pVolume->m_bReadOnly)
        return ntstatus::MediaWriteProtected;
    CSimFile* pFile = m_system.FileOf(*pFileHandle);
    CSimStream* pStream = m_system.StreamOf(*pFileHandle);
    if (!pFile || !pStream)
        return ntstatus::InvalidParameter;
    // An encrypted file moves only through a handle that may read, write, append or execute
    // its data.
    if ((pFile->m_dwAttributes & FILE_ATTRIBUTE_ENCRYPTED) && !CSimHandles::HasReadOrWriteData(pFileHandle->dwAccess))
        return ntstatus::AccessDenied;
    return handle.pVolume->MoveClusters(*pFile, *pStream, Get<LONGLONG>(pIn, 8), Get<LONGLONG>(pIn, 16),
                                        Get<DWORD>(pIn, 24));
}

NTSTATUS CSimControls::NtfsVolumeData(SIM_HANDLE& handle, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo)
{
    // The volume or any file or directory on it may ask.
    const CSimVolume& volume = *handle.pVolume;
    if (volume.Fs() != SIM_FS::Ntfs)
        return ntstatus::InvalidDeviceRequest;
    if (!IsVolume(handle) && handle.eKind != SIM_HANDLE_KIND::File)
        return ntstatus::InvalidParameter;
    if (dwOut < NtfsVolumeDataBytes)
        return ntstatus::BufferTooSmall;
    std::memset(pOut, 0, NtfsVolumeDataBytes);
    const CSimStream* pMft = volume.File(ntfs::RecordMft)->FindStream(ntfs::Data, L"");
    Put<LONGLONG>(pOut, 0, volume.Serial() | (static_cast<LONGLONG>(volume.Serial()) << 32));
    Put<LONGLONG>(pOut, 8, volume.TotalClusters() * (volume.BytesPerCluster() / volume.BytesPerSector()));
    Put<LONGLONG>(pOut, 16, volume.TotalClusters());
    Put<LONGLONG>(pOut, 24, volume.FreeClusters());
    Put<DWORD>(pOut, 40, volume.BytesPerSector());
    Put<DWORD>(pOut, 44, volume.BytesPerCluster());
    Put<DWORD>(pOut, 48, volume.BytesPerRecord());
    Put<DWORD>(pOut, 52, volume.BytesPerRecord() / volume.BytesPerCluster());
    Put<LONGLONG>(pOut, 56, pMft->m_llInitSize);
    Put<LONGLONG>(pOut, 64, volume.MftStartLcn());
    Put<LONGLONG>(pOut, 72, volume.Mft2StartLcn());
    Put<LONGLONG>(pOut, 80, volume.MftZoneStart());
    Put<LONGLONG>(pOut, 88, volume.MftZoneEnd() - (volume.m_bMftZoneEndInclusive ? 1 : 0));
    *pInfo = NtfsVolumeDataBytes;
    // The extended data follows when the caller left room for it.
    if (dwOut >= NtfsVolumeDataBytes + NtfsExtendedDataBytes)
    {
        Put<DWORD>(pOut, NtfsVolumeDataBytes, NtfsExtendedDataBytes);
        Put<WORD>(pOut, NtfsVolumeDataBytes + 4, NtfsMajorVersion);
        Put<WORD>(pOut, NtfsVolumeDataBytes + 6, NtfsMinorVersion);
        *pInfo += NtfsExtendedDataBytes;
    }
    return ntstatus::Success;
}

NTSTATUS CSimControls::FileRecord(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut,
                                  ULONG_PTR* pInfo)
{
    const CSimVolume& volume = *handle.pVolume;
    if (volume.Fs() != SIM_FS::Ntfs)
        return ntstatus::InvalidDeviceRequest;
    if (!IsVolume(handle) || dwIn < 8)
        return ntstatus::InvalidParameter;
    // The output structure with a one-byte buffer, and the rest of the record behind it.
    if (dwOut < sizeof(NTFS_FILE_RECORD_OUTPUT_BUFFER) + volume.BytesPerRecord() - 1)
        return ntstatus::BufferTooSmall;
    const LONGLONG llAsked = Get<LONGLONG>(pIn, 0) & 0xFFFFFFFFFFFFll;
    // The answer is the nearest record at or below the one asked that is in use.
    const LONGLONG llRecord = volume.InUseRecordAtOrBelow(llAsked);
    const CSimFile* pFile = llRecord < 0 ? nullptr : volume.RecordOwner(static_cast<ULONGLONG>(llRecord));
    if (!pFile)
        return ntstatus::InvalidParameter;
    const NTFS_PLAN& plan = PlanOf(volume, *pFile);
    size_t nRecord = 0;
    for (size_t i = 0; i < pFile->m_extensions.size(); ++i)
        if ((pFile->m_extensions[i] & 0xFFFFFFFFFFFFull) == static_cast<ULONGLONG>(llRecord))
            nRecord = i + 1;
    if (nRecord >= plan.records.size())
        return ntstatus::IoDeviceError;
    Put<LONGLONG>(pOut, 0, llRecord);
    Put<DWORD>(pOut, 8, volume.BytesPerRecord());
    CNtfsLayout::EncodeRecord(volume, *pFile, plan, nRecord, pOut + 12);
    *pInfo = 12 + volume.BytesPerRecord();
    return ntstatus::Success;
}

const NTFS_PLAN& CSimControls::PlanOf(const CSimVolume& volume, const CSimFile& file)
{
    if (m_pPlanVolume != &volume || m_ullPlanFile != file.Reference() || m_ullPlanChanges != volume.ChangeCount())
    {
        m_plan = CNtfsLayout::Plan(volume, file);
        m_pPlanVolume = &volume;
        m_ullPlanFile = file.Reference();
        m_ullPlanChanges = volume.ChangeCount();
    }
    return m_plan;
}

NTSTATUS CSimControls::DiskPerformance(SIM_HANDLE& handle, BYTE* pOut, DWORD dwOut, ULONG_PTR* pInfo)
{
    if (!IsVolume(handle))
        return ntstatus::InvalidParameter;
    if (dwOut < DiskPerformanceBytes)
        return ntstatus::BufferTooSmall;
    m_system.DiskPerf(*handle.pVolume).Sample(pOut);
    Put<DWORD>(pOut, 64, static_cast<DWORD>(handle.pVolume->m_nDeviceNumber));
    *pInfo = DiskPerformanceBytes;
    return ntstatus::Success;
}

NTSTATUS CSimControls::StorageProperty(SIM_HANDLE& handle, const BYTE* pIn, DWORD dwIn, BYTE* pOut, DWORD dwOut,
                                       ULONG_PTR* pInfo)
{
    if (dwIn < 12)
        return ntstatus::InvalidParameter;
    if (Get<DWORD>(pIn, 0) != 0 || Get<DWORD>(pIn, 4) != 0)
        return ntstatus::NotSupported;
    if (dwOut < 8)
        return ntstatus::BufferTooSmall;
    BYTE descriptor[DeviceDescriptorBytes] = {};
    Put<DWORD>(descriptor, 0, DeviceDescriptorBytes);
    Put<DWORD>(descriptor, 4, DeviceDescriptorBytes);
    descriptor[8] = 0;                                          // direct-access device
    descriptor[10] = handle.pVolume->m_bRemovable ? 1 : 0;      // removable media
    Put<DWORD>(descriptor, 28, handle.pVolume->m_byBusType);
    const DWORD dwTake = std::min(dwOut, DeviceDescriptorBytes);
    std::memcpy(pOut, descriptor, dwTake);
    *pInfo = dwTake;
    return ntstatus::Success;
}

NTSTATUS CSimControls::QueryInformationFile(HANDLE h, PIO_STATUS_BLOCK pIosb, PVOID pInfo, ULONG ulLength,
                                            FILE_INFORMATION_CLASS eClass)
{
    SIM_HANDLE* pHandle = m_system.Handles().Find(h, SIM_HANDLE_KIND::File);
    ULONG_PTR info = 0;
    NTSTATUS status = ntstatus::InvalidInfoClass;
    SIM_FAULT fault;
    if (!pHandle)
        status = ntstatus::InvalidHandle;
    else if (m_system.Fault(SIM_CALL::QueryInformation, static_cast<DWORD>(eClass), L"", -1, &fault))
        status = fault.status;
    else if (eClass == FileStreamInformation)
        status = m_system.m_bWineAnswers ? ntstatus::NotImplemented
                                         : StreamInformation(*pHandle, static_cast<BYTE*>(pInfo), ulLength, &info);
    if (pIosb)
    {
        pIosb->Status = status;
        pIosb->Information = ntstatus::IsError(status) ? 0 : info;
    }
    return status;
}

NTSTATUS CSimControls::StreamInformation(SIM_HANDLE& handle, BYTE* pOut, ULONG ulLength, ULONG_PTR* pInfo)
{
    if (ulLength < 24)
        return ntstatus::InfoLengthMismatch;
    CSimFile* pFile = m_system.FileOf(handle);
    if (!pFile)
        return ntstatus::InvalidHandle;
    const DWORD dwCluster = handle.pVolume->BytesPerCluster();
    std::vector<const CSimStream*> streams;
    for (const CSimStream& stream : pFile->m_streams)
        if (stream.m_dwType == ntfs::Data && (!pFile->IsDirectory() || stream.IsNamed()))
            streams.push_back(&stream);
    // The unnamed stream comes first, as the file system lists it.
    std::stable_sort(streams.begin(), streams.end(),
                     [](const CSimStream* a, const CSimStream* b) { return !a->IsNamed() && b->IsNamed(); });
    ULONG ulAt = 0;
    ULONG ulPrevious = 0;
    size_t nWritten = 0;
    for (const CSimStream* pStream : streams)
    {
        std::wstring strName = L":" + pStream->m_strName + L":$DATA";
        ULONG ulEntry = (24 + 2 * static_cast<ULONG>(strName.size()) + 7) & ~7u;
        ULONG ulNeeded = 24 + 2 * static_cast<ULONG>(strName.size());
        if (ulAt + ulNeeded > ulLength)
            break;
        if (nWritten)
            Put<ULONG>(pOut, ulPrevious, ulAt - ulPrevious);
        Put<ULONG>(pOut, ulAt, 0);
        Put<ULONG>(pOut, ulAt + 4, 2 * static_cast<ULONG>(strName.size()));
        Put<LONGLONG>(pOut, ulAt + 8, pStream->m_llDataSize);
        Put<LONGLONG>(pOut, ulAt + 16, pStream->m_bResident ? 0 : pStream->Vcns() * dwCluster);
        std::memcpy(pOut + ulAt + 24, strName.data(), 2 * strName.size());
        ulPrevious = ulAt;
        ulAt += ulEntry;
        ++nWritten;
    }
    *pInfo = nWritten ? std::min(ulAt, ulLength) : 0;
    return nWritten < streams.size() ? ntstatus::BufferOverflow : ntstatus::Success;
}
