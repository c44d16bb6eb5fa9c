#include "engine/DefragPartition.h"

#include <cwchar>

#include "engine/NtfsRecordReader.h"
#include "engine/PartitionOwner.h"
#include "engine/SysHandle.h"
#include "platform/LittleEndian.h"
#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"

namespace {

const wchar_t* ReportedFileSystemName(int32_t nCode)
{
    switch (nCode)
    {
    case FS_FAT: return L"FAT";
    case FS_FAT32: return L"FAT32";
    case FS_NTFS: return L"NTFS";
    case FS_EXFAT: return L"exFAT";
    default: return L"-";
    }
}

bool StartsWith(const CUnicodeString& strText, const CUnicodeString& strStart)
{
    const int nLength = strStart.GetLength();
    return nLength > 0 && strText.GetLength() >= nLength &&
           std::wmemcmp(strText.GetBuffer(), strStart.GetBuffer(), static_cast<size_t>(nLength)) == 0;
}

const wchar_t* const StreamTypeNames[] = {
    L"$STANDARD_INFORMATION", L"$ATTRIBUTE_LIST", L"$FILE_NAME", L"$OBJECT_ID", L"$SECURITY_DESCRIPTOR",
    L"$VOLUME_NAME", L"$VOLUME_INFORMATION", L"$DATA", L"$INDEX_ROOT", L"$INDEX_ALLOCATION", L"$BITMAP",
    L"$REPARSE_POINT", L"$EA_INFORMATION", L"$EA"};

// The name a stream path gives an attribute type; a type without one is never matched.
const wchar_t* TypeName(DWORD dwType)
{
    if (dwType == 0x100)
        return L"$LOGGED_UTILITY_STREAM";
    if (dwType < 0x10 || dwType > 0xE0 || dwType % 0x10 != 0)
        return nullptr;
    return StreamTypeNames[dwType / 0x10 - 1];
}

} // namespace

const wchar_t* const CDefragPartition::UnnamedOnly = L"";

CUnicodeString CDefragPartition::WireText(const CUnicodeString& strText)
{
    constexpr int MaxUnits = CNetDefragBuffer::MaxStringBytes / 2;
    return strText.GetLength() > MaxUnits ? strText.Left(MaxUnits) : strText;
}

bool CDefragPartition::SendVolumeInfo(int32_t nClient)
{
    CNetDefragPartitionInfo info;
    info.m_nVolumeIndex = m_nIndex;
    CSysHandle volume(OpenVolume());
    const bool bOpen = volume.IsOpen();
    volume.Reset();
    if (bOpen)
    {
        const VOLUME_IDENTITY identity = GetIdentity();
        info.m_strDriveRoot = identity.strDrivePath;
        info.m_strVolumeGuidPath = m_strVolumeName;
        info.m_strVolumeLabel = identity.strLabel;
        info.m_strFileSystemName = ReportedFileSystemName(identity.nFileSystem);
        info.m_llTotalBytes = identity.llTotalBytes;
        info.m_llFreeBytes = identity.llFreeBytes;
        info.m_nBytesPerCluster = m_nBytesPerCluster;
        info.m_llTotalClusters = m_llTotalClusters;
        info.m_llFreeClusters = m_llTotalClusters - m_llUsedClusters;
        if (m_nFileSystem == FS_NTFS)
        {
            // As the file system gave them: the zone here is not pulled in by the engine.
            info.m_llMftValidDataLength = identity.stNtfsData.llMftValidDataLength;
            info.m_llMftValidDataClusters =
                m_nBytesPerCluster > 0 ? identity.stNtfsData.llMftValidDataLength / m_nBytesPerCluster : 0;
            info.m_llMftZoneStart = identity.stNtfsData.llMftZoneStart;
            info.m_llMftZoneEnd = identity.stNtfsData.llMftZoneEnd;
        }
    }
    else
    {
        info.m_strDriveRoot = L"-";
        info.m_strVolumeGuidPath = L"-";
        info.m_strVolumeLabel = L"-";
        info.m_strFileSystemName = L"-";
    }
    const bool bSent = m_pOwner != nullptr && m_pOwner->SendObject(nClient, RESPONSE_PARTITION_INFO, info);
    return bOpen && bSent;
}

// The name of a pending path relative to the volume; the root itself is ".".
CUnicodeString CDefragPartition::RelativeName(const CUnicodeString& strPath) const
{
    const CUnicodeString strDrivePath = GetDrivePath();
    if ((strPath.GetLength() == m_strVolumeName.GetLength() && strPath.GetLength() > 0 &&
         strPath.GetBuffer()[0] == L'\\') ||
        (strDrivePath.GetLength() > 0 && strPath == strDrivePath))
        return CUnicodeString(L".");
    if (StartsWith(strPath, m_strVolumeName))
        return strPath.Mid(m_strVolumeName.GetLength(), strPath.GetLength());
    if (StartsWith(strPath, strDrivePath))
        return strPath.Mid(strDrivePath.GetLength(), strPath.GetLength());
    return strPath;
}

void CDefragPartition::AddFragmentedFilesTo(CNetDefragPartitionFragFiles& reply)
{
    CSectionLock lock(m_csPending);
    for (int i = 0; i < m_pendingFiles.GetSize(); ++i)
    {
        const PENDING_FILE_ENTRY* pEntry = m_pendingFiles.GetAt(i);
        if (pEntry->bFragmented != 0 && pEntry->nFragmentCount != 0)
            reply.AddFile(WireText(RelativeName(*pEntry->pPath)), pEntry->nFragmentCount);
    }
}

// The list is built under the pending-list lock and sent after it: a send takes the
// transport's locks, which must never be taken inside the volume's own.
bool CDefragPartition::SendFragmentedFiles(int32_t nClient)
{
    CNetDefragPartitionFragFiles reply;
    reply.m_nVolumeIndex = m_nIndex;
    CSysHandle volume(OpenVolume());
    const bool bOpen = volume.IsOpen();
    volume.Reset();
    if (bOpen)
    {
        reply.m_strDriveRoot = GetDrivePath();
        AddFragmentedFilesTo(reply);
        reply.SortByFragments();
    }
    else
        reply.m_strDriveRoot = L"-";
    const bool bSent = m_pOwner != nullptr && m_pOwner->SendObject(nClient, RESPONSE_FRAG_FILES, reply);
    return bOpen && bSent;
}

bool CDefragPartition::GetAttributeRuns(CNtfsRecordReader& reader, int64_t llRecord, CExtentList* pExtents,
                                        const wchar_t* pszName, const wchar_t* pszType)
{
    if (!reader.LoadRecord(llRecord))
        return false;
    bool bScattered = false;
    for (const BYTE* pAttribute = reader.NextAttribute(nullptr, true);
         pAttribute != nullptr && reader.GetRecordNumber() == llRecord;
         pAttribute = reader.NextAttribute(pAttribute, true))
    {
        const wchar_t* pszTypeName = TypeName(le::Get<DWORD>(pAttribute, 0));
        if (pszType != nullptr && (pszTypeName == nullptr || std::wcscmp(pszTypeName, pszType) != 0))
            continue;
        int nName = 0;
        const wchar_t* pszAttributeName = CNtfsRecordReader::GetAttributeName(pAttribute, nName);
        if (pszName == UnnamedOnly && nName != 0)
            continue;
        if (pszName != nullptr && pszName != UnnamedOnly &&
            (nName >= 254 || std::wcslen(pszName) != static_cast<size_t>(nName) ||
             std::wmemcmp(pszName, pszAttributeName, static_cast<size_t>(nName)) != 0))
            continue;
        DATA_RUN_CURSOR cursor = {};
        LONGLONG llLcn = 0;
        LONGLONG llLength = 0;
        LONGLONG llVcn = 0;
        int nStatus = 0;
        int64_t llPreviousEnd = -1;
        while (reader.NextDataRun(llRecord, pAttribute, cursor, llLcn, llLength, llVcn, nStatus))
        {
            if (nStatus == CNtfsRecordReader::RunSparse || llLcn < 0)
            {
                if (pExtents != nullptr && pExtents->GetCount() > 0)
                    pExtents->AddExtra(pExtents->GetCount() - 1, llLength);
                continue;
            }
            if (llPreviousEnd >= 0 && llLcn != llPreviousEnd)
            {
                if (pExtents == nullptr)
                    return true;
                bScattered = true;
            }
            if (pExtents != nullptr)
                pExtents->Add(llLcn, llLength);
            llPreviousEnd = llLcn + llLength;
        }
    }
    return bScattered;
}

bool CDefragPartition::SendFileClusters(int32_t nClient, const CUnicodeString& strPath)
{
    CNetDefragPartitionClusterExplorerResponse reply;
    reply.m_nVolumeIndex = m_nIndex;
    // Reports run beside the job thread, so the object's scratch list is not theirs.
    CExtentList extents;
    CSysHandle volume(m_nFileSystem == FS_NTFS ? OpenVolume() : INVALID_HANDLE_VALUE);
    if (volume.IsOpen())
    {
        CNtfsRecordReader reader(volume.Get(), static_cast<DWORD>(m_nBytesPerFileRecord),
                                 static_cast<DWORD>(m_nBytesPerCluster));
        LONGLONG llRecord = CNtfsRecordReader::NoRecord;
        if (reader.FindRecordByPath(strPath, llRecord))
        {
            // "name:stream:$TYPE", "name::$TYPE", or the name alone.
            const CUnicodeString strName = strPath.Mid(strPath.ReverseFind(L'\\') + 1, strPath.GetLength());
            const int nTypeColon = strName.ReverseFind(L':');
            if (nTypeColon < 0)
            {
                const bool bDirectory = reader.LoadRecord(llRecord) &&
                                        CNtfsRecordReader::IsDirectoryRecord(reader.GetRecord());
                GetAttributeRuns(reader, llRecord, &extents, bDirectory ? L"$I30" : UnnamedOnly,
                                 bDirectory ? L"$INDEX_ALLOCATION" : L"$DATA");
            }
            else
            {
                const CUnicodeString strType = strName.Mid(nTypeColon + 1, strName.GetLength());
                const CUnicodeString strHead = strName.Left(nTypeColon);
                const int nStreamColon = strHead.ReverseFind(L':');
                const CUnicodeString strStream =
                    nStreamColon >= 0 && nStreamColon + 1 < strHead.GetLength()
                        ? strHead.Mid(nStreamColon + 1, strHead.GetLength())
                        : CUnicodeString();
                GetAttributeRuns(reader, llRecord, &extents,
                                 strStream.GetLength() > 0 ? strStream.GetBuffer() : UnnamedOnly,
                                 strType.GetLength() > 0 ? strType.GetBuffer() : L"");
            }
        }
    }
    else
    {
        int64_t llClusters = 0;
        GetFileExtentsByPath((RootPath() + strPath).GetBuffer(), llClusters, extents);
    }
    for (uint32_t i = 0; i < extents.GetCount(); ++i)
    {
        int64_t llStart = 0;
        int64_t llLength = 0;
        extents.Get(i, llStart, llLength);
        reply.AddFile(CUnicodeString(L" "), llStart, llStart + llLength - 1, 0);
    }
    reply.SortByStart();
    if (m_pOwner != nullptr)
        m_pOwner->SendObject(nClient, RESPONSE_FILE_CLUSTERS, reply);
    return false;
}
