#include "engine/DefragPartition.h"

#include <algorithm>
#include <cwchar>

#include "engine/NtfsRecordReader.h"
#include "engine/PartitionOwner.h"
#include "engine/StreamNamer.h"
#include "engine/SysHandle.h"
#include "protocol/FrameAssembler.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"

namespace {

// A reply must fit one frame, with room for the header, the drive text and the fixed fields:
// a larger one could not be sent and its client would wait for ever.
constexpr size_t RangeReplyRoom = 64 * 1024;

// The part of the run [llStart, llStart + llLength) that lies in [llFirst, llLast].
bool Clip(int64_t llStart, int64_t llLength, int64_t llFirst, int64_t llLast, int64_t& llFrom, int64_t& llTo)
{
    const int64_t llEnd = llStart + llLength - 1;
    if (llLength <= 0 || llEnd < llFirst || llStart > llLast)
        return false;
    llFrom = std::max(llStart, llFirst);
    llTo = std::min(llEnd, llLast);
    return true;
}

// Whether a stream, from its first attribute on through the pieces that continue it, has a
// run that does not follow the one before; read from the record, with no file opened.
bool IsStreamScattered(CNtfsRecordReader& reader, int64_t llRecord, const BYTE* pAttribute)
{
    int64_t llPreviousEnd = -1;
    for (; pAttribute != nullptr; pAttribute = reader.NextAttribute(pAttribute, true))
    {
        DATA_RUN_CURSOR cursor = {};
        LONGLONG llLcn = 0;
        LONGLONG llLength = 0;
        LONGLONG llVcn = 0;
        int nStatus = 0;
        while (reader.NextDataRun(llRecord, pAttribute, cursor, llLcn, llLength, llVcn, nStatus))
        {
            if (nStatus == CNtfsRecordReader::RunSparse || llLcn < 0)
                continue;
            if (llPreviousEnd >= 0 && llLcn != llPreviousEnd)
                return true;
            llPreviousEnd = llLcn + llLength;
        }
        if (nStatus != CNtfsRecordReader::RunContinues)
            return false;
    }
    return false;
}

// Adds the parts of the runs that lie in the range under one name; the clusters added.
int64_t AddClippedRuns(const CExtentList& extents, const CUnicodeString& strName, int32_t nKind, int64_t llFirst,
                       int64_t llLast, CNetDefragPartitionClusterExplorerResponse& reply)
{
    int64_t llAdded = 0;
    for (uint32_t i = 0; i < extents.GetCount(); ++i)
    {
        int64_t llStart = 0;
        int64_t llLength = 0;
        int64_t llFrom = 0;
        int64_t llTo = 0;
        if (extents.Get(i, llStart, llLength) && Clip(llStart, llLength, llFirst, llLast, llFrom, llTo))
        {
            reply.AddFile(strName, llFrom, llTo, nKind);
            llAdded += llTo - llFrom + 1;
        }
    }
    return llAdded;
}

} // namespace

bool CDefragPartition::SendClusterRangeFiles(int32_t nClient, int64_t llFirst, int64_t llLast)
{
    CNetDefragPartitionClusterExplorerResponse reply;
    reply.SetWireLimit(CFrameAssembler::MaxPayload - RangeReplyRoom);
    reply.m_nVolumeIndex = m_nIndex;
    reply.m_strDriveRoot = GetDrivePath();
    llLast = std::min(llLast, m_llTotalClusters - 1);
    reply.m_llFirstCluster = llFirst;
    reply.m_llLastCluster = llLast;
    // A range from the wire lists files only when it is a range of this volume.
    if (llFirst >= 0 && llFirst <= llLast)
    {
        if (m_nFileSystem == FS_NTFS)
        {
            CSysHandle volume(OpenVolume());
            if (!volume.IsOpen())
            {
                reply.m_strDriveRoot = L"-";
                reply.m_llFirstCluster = 0;
                reply.m_llLastCluster = 0;
                if (m_pOwner != nullptr)
                    m_pOwner->SendObject(nClient, RESPONSE_CLUSTEREXPLORER, reply);
                return false;
            }
            if (!ListRangeFromMft(volume.Get(), llFirst, llLast, reply))
                return false;
        }
        else
            ListRangeFromDirectories(llFirst, llLast, reply);
        reply.FitToLimit();
        if (m_nFileSystem == FS_NTFS)
            AddMftZoneGaps(llFirst, llLast, reply);
        reply.FitToLimit();
    }
    return m_pOwner != nullptr && m_pOwner->SendObject(nClient, RESPONSE_CLUSTEREXPLORER, reply);
}

// False when the record reader cannot read the MFT: nothing is sent then.
bool CDefragPartition::ListRangeFromMft(HANDLE hVolume, int64_t llFirst, int64_t llLast,
                                        CNetDefragPartitionClusterExplorerResponse& reply)
{
    CNtfsRecordReader reader(hVolume, static_cast<DWORD>(m_nBytesPerFileRecord), static_cast<DWORD>(m_nBytesPerCluster));
    int64_t llRecord = reader.BeginEnumeration();
    if (llRecord == CNtfsRecordReader::NoRecord)
    {
        MarkMftUnreadable();
        return false;
    }
    const int64_t llRangeSize = llLast - llFirst + 1;
    int64_t llListed = 0;
    CStreamNamer namer(reader, CUnicodeString());
    // The MFT's own extension records are part of record 0 and are listed with it.
    for (; llRecord != CNtfsRecordReader::NoRecord; llRecord = reader.NextBaseRecord(llRecord))
    {
        namer.Begin(llRecord);
        const int32_t nPlainKind =
            CNtfsRecordReader::IsDirectoryRecord(reader.GetRecord()) ? KIND_DIRECTORY : KIND_FILE;
        bool bContinuing = false;
        bool bScattered = false;
        const CUnicodeString* pName = nullptr;
        for (const BYTE* pAttribute = reader.NextAttribute(nullptr, true); pAttribute != nullptr;
             pAttribute = reader.NextAttribute(pAttribute, true))
        {
            if (!bContinuing)
            {
                bScattered = IsStreamScattered(reader, llRecord, pAttribute);
                pName = nullptr;
            }
            DATA_RUN_CURSOR cursor = {};
            LONGLONG llLcn = 0;
            LONGLONG llLength = 0;
            LONGLONG llVcn = 0;
            int nStatus = 0;
            while (reader.NextDataRun(llRecord, pAttribute, cursor, llLcn, llLength, llVcn, nStatus))
            {
                int64_t llFrom = 0;
                int64_t llTo = 0;
                if (nStatus == CNtfsRecordReader::RunSparse || llLcn < 0 ||
                    !Clip(llLcn, llLength, llFirst, llLast, llFrom, llTo))
                    continue;
                if (pName == nullptr)
                    pName = &namer.Name(pAttribute);
                const bool bNamed = pName->GetLength() > 0;
                const int32_t nKind = GetFileKind(bNamed ? pName->GetBuffer() : nullptr,
                                                  bScattered ? KIND_FRAGMENTED : nPlainKind, llRecord);
                reply.AddFile(bNamed ? WireText(*pName) : CUnicodeString(L"(-)"), llFrom, llTo, nKind);
                llListed += llTo - llFrom + 1;
                if (llListed >= llRangeSize && bScattered)
                    return true;
            }
            bContinuing = nStatus == CNtfsRecordReader::RunContinues;
            if (!bContinuing && llListed >= llRangeSize)
                return true;
        }
    }
    return true;
}

bool CDefragPartition::ListRangeFromDirectories(int64_t llFirst, int64_t llLast,
                                                CNetDefragPartitionClusterExplorerResponse& reply)
{
    CExtentList extents;
    int64_t llClusters = 0;
    int64_t llListed = 0;
    GetFileExtentsByPath(m_strVolumeName.GetBuffer(), llClusters, extents);
    // Only what lies in the range counts towards filling it.
    llListed += AddClippedRuns(extents, CUnicodeString(L"."), GetFileKind(L".", KIND_DIRECTORY, -1), llFirst, llLast,
                               reply);
    return EnumerateRangeFiles(m_strVolumeName, CUnicodeString(), 0, llFirst, llLast, reply, llListed);
}

// False ends the whole search: the range is full, a stop came, or the device fails.
bool CDefragPartition::EnumerateRangeFiles(const CUnicodeString& strDirectory, const CUnicodeString& strPrefix,
                                           DWORD dwWait, int64_t llFirst, int64_t llLast,
                                           CNetDefragPartitionClusterExplorerResponse& reply, int64_t& llListed)
{
    const CUnicodeString strPattern = strDirectory + L"*.*";
    if (strPattern.GetLength() >= MAX_PATH)
        return true;
    WIN32_FIND_DATAW stData = {};
    HANDLE hFind = sys::FindFirstFileW(strPattern.GetBuffer(), &stData);
    if (hFind == INVALID_HANDLE_VALUE)
        return !IsDeviceError(::GetLastError());
    const int64_t llRangeSize = llLast - llFirst + 1;
    CExtentList extents;
    bool bGoOn = true;
    for (;;)
    {
        if (::WaitForSingleObject(m_hStopEvent, dwWait) == WAIT_OBJECT_0)
            break;
        const bool bDirectory = (stData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool bDots = std::wcscmp(stData.cFileName, L".") == 0 || std::wcscmp(stData.cFileName, L"..") == 0;
        if (!bDots)
        {
            const CUnicodeString strRelative =
                strPrefix.GetLength() > 0 ? strPrefix + L"\\" + stData.cFileName : CUnicodeString(stData.cFileName);
            const CUnicodeString strPath = strDirectory + stData.cFileName + (bDirectory ? L"\\" : L"");
            const int32_t nKind = GetFileKind(strRelative.GetBuffer(), bDirectory ? KIND_DIRECTORY : KIND_FILE, -1);
            int64_t llClusters = 0;
            if (strPath.GetLength() < MAX_PATH)
                GetFileExtentsByPath(strPath.GetBuffer(), llClusters, extents);
            else
                extents.Clear();
            llListed += AddClippedRuns(extents, WireText(strRelative), nKind, llFirst, llLast, reply);
            if (llListed >= llRangeSize)
                bGoOn = false;
            // A junction can lead back to an ancestor: it is listed, not entered.
            else if (bDirectory && (stData.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                bGoOn = EnumerateRangeFiles(strPath, strRelative, dwWait, llFirst, llLast, reply, llListed);
            if (!bGoOn)
                break;
        }
        if (!sys::FindNextFileW(hFind, &stData))
        {
            const DWORD dwError = ::GetLastError();
            bGoOn = dwError == ERROR_NO_MORE_FILES || !IsDeviceError(dwError);
            break;
        }
    }
    sys::FindClose(hFind);
    return bGoOn;
}

// Free stretches of the MFT zone that no file covers are shown as the zone.
void CDefragPartition::AddMftZoneGaps(int64_t llFirst, int64_t llLast,
                                      CNetDefragPartitionClusterExplorerResponse& reply)
{
    int64_t llFrom = 0;
    int64_t llTo = 0;
    // Past the entries that did not fit, no gap can be told from a file.
    llLast = std::min(llLast, reply.GetFirstDropped() - 1);
    if (m_llMftZoneStart < 0 || m_llMftZoneEnd < m_llMftZoneStart ||
        !Clip(m_llMftZoneStart, m_llMftZoneEnd - m_llMftZoneStart + 1, llFirst, llLast, llFrom, llTo))
        return;
    struct GAP
    {
        int64_t llFrom;
        int64_t llTo;
    };
    std::vector<GAP> gaps;
    int64_t llNext = llFrom;
    for (int i = 0; i < reply.GetCount(); ++i)
    {
        const CLUSTEREXPLORER_RESPONSE_ENTRY& stEntry = reply.GetAt(i);
        if (stEntry.llFirstCluster > llNext && llNext <= llTo)
            gaps.push_back({llNext, std::min(stEntry.llFirstCluster - 1, llTo)});
        llNext = std::max(llNext, stEntry.llLastCluster + 1);
    }
    if (llNext <= llTo)
        gaps.push_back({llNext, llTo});
    for (const GAP& gap : gaps)
        reply.AddFile(CUnicodeString(L" "), gap.llFrom, gap.llTo, KIND_MFT_ZONE);
    reply.SortByStart();
}
