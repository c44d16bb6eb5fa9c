#include "engine/DefragPartition.h"

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "engine/PartitionOwner.h"
#include "engine/SysHandle.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClustermap.h"

namespace {

const wchar_t* const MetadataNames[] = {
    L"$Mft", L"$Mft::$Bitmap", L"$Mft::$Attribute_List", L"$AttrDef", L".::$SECURITY_DESCRIPTOR",
    L"$ROOT::$SECURITY_DESCRIPTOR", L"$Secure:$SDS", L"$Secure:$SDH:$INDEX_ALLOCATION",
    L"$Secure:$SII:$INDEX_ALLOCATION", L"$Secure:$SDH:$BITMAP", L"$Secure:$SII:$BITMAP", L"$Upcase", L"$Extend",
    L"$Extend\\$ObjId:$O:$INDEX_ALLOCATION", L"$Extend\\$ObjId:$O:$BITMAP", L"$Extend\\$USNJrnl:$J:$Data", L"$Quota",
    L"$Quota::$INDEX_ALLOCATION", L"$Reparse", L"$UsnJrnl"};

bool StartsAt(const wchar_t* pszPath, size_t nLength, wchar_t ch, size_t nFirstOr)
{
    return (nLength > 0 && pszPath[0] == ch) || (nLength > nFirstOr && pszPath[nFirstOr] == ch);
}

} // namespace

const wchar_t* CDefragPartition::GetMetadataName(int nIndex)
{
    const int nCount = static_cast<int>(sizeof(MetadataNames) / sizeof(MetadataNames[0]));
    return nIndex >= 0 && nIndex < nCount ? MetadataNames[nIndex] : nullptr;
}

bool CDefragPartition::HasClusterMap()
{
    CSectionLock lock(m_csMap);
    return m_pClusterMap != nullptr;
}

bool CDefragPartition::BuildClusterMap()
{
    int64_t llCells = 0;
    uint64_t ullPerCell = 0;
    CClusterMap::ComputeGeometry(m_llTotalClusters, llCells, ullPerCell);
    m_pClusterMap.reset(new (std::nothrow) CClusterMap);
    if (!m_pClusterMap || !m_pClusterMap->Create(m_nIndex, m_llTotalClusters, llCells, ullPerCell))
        return false;
    CSysHandle volume(OpenVolume());
    if (!volume.IsOpen())
        return false;
    bool bFilled = m_pClusterMap->Fill(volume.Get());
    if (m_nFileSystem == FS_NTFS && m_llMftZoneStart >= 0 && m_llMftZoneEnd >= m_llMftZoneStart)
        m_pClusterMap->AddRange(m_llMftZoneStart, m_llMftZoneEnd - m_llMftZoneStart + 1, KIND_MFT_ZONE);
    return bFilled;
}

bool CDefragPartition::SubscribeClusterMap(int32_t nClient, bool bOn)
{
    {
        CSectionLock lock(m_csMap);
        if (!bOn)
        {
            if (nClient == ClientBuildOnly)
                return true;
            for (int32_t& nSlot : m_anSubscribers)
                if (nSlot == nClient && nSlot != 0)
                {
                    nSlot = 0;
                    m_nSubscriberCount = m_nSubscriberCount > 0 ? m_nSubscriberCount - 1 : 0;
                }
            if (m_nSubscriberCount == 0 && m_pClusterMap)
                m_pClusterMap->SetHasSubscribers(false);
            return true;
        }
        if (!m_pClusterMap && !BuildClusterMap())
            return false;
        if (nClient == ClientBuildOnly)
            return true;
        int32_t* pSlot = nullptr;
        for (int32_t& nSlot : m_anSubscribers)
            if (nSlot == nClient || (nSlot == 0 && pSlot == nullptr))
            {
                pSlot = &nSlot;
                if (nSlot == nClient)
                    break;
            }
        if (pSlot == nullptr)
            return true;
        if (*pSlot != nClient)
        {
            *pSlot = nClient;
            ++m_nSubscriberCount;
        }
        m_pClusterMap->SetHasSubscribers(true);
    }
    SendClusterMap(nClient);
    return true;
}

bool CDefragPartition::SendClusterMap(int32_t nClient)
{
    // The cells are copied under the map lock and sent after it is released.
    CNetDefragPartitionClustermap message;
    std::vector<BYTE> cells;
    std::vector<int32_t> recipients;
    const CUnicodeString strDrivePath = GetDrivePath();
    {
        CSectionLock lock(m_csMap);
        if (!m_pClusterMap || !m_bClientConnected || m_pOwner == nullptr || !m_pClusterMap->HasSubscribers())
            return false;
        message.m_nVolumeIndex = m_nIndex;
        message.m_strDriveRoot = strDrivePath;
        if (m_pClusterMap->GetClustersPerCell() != CClusterMap::NoMap)
        {
            m_pClusterMap->FillMessage(message);
            cells.resize(static_cast<size_t>(message.GetCellCount()) * message.GetBytesPerCell());
            m_pClusterMap->CopyCells(cells.data());
            message.SetCells(cells.data(), message.GetCellCount(), message.GetBytesPerCell());
        }
        if (nClient != AllSubscribers)
            recipients.push_back(nClient);
        else
            for (int32_t nSlot : m_anSubscribers)
                if (nSlot != 0)
                    recipients.push_back(nSlot);
    }
    bool bSent = !recipients.empty();
    for (int32_t nRecipient : recipients)
        bSent = m_pOwner->SendObject(nRecipient, RESPONSE_CLUSTERMAP, message) && bSent;
    return bSent;
}

bool CDefragPartition::SendClusterMapChanges()
{
    CNetDefragClustermapModList changes;
    std::vector<int32_t> recipients;
    {
        CSectionLock lock(m_csMap);
        if (!m_pClusterMap)
            return false;
        if (m_pClusterMap->HasSubscribers() && m_pOwner != nullptr)
        {
            m_pClusterMap->TakeChanges(changes);
            for (int32_t nSlot : m_anSubscribers)
                if (nSlot != 0)
                    recipients.push_back(nSlot);
        }
        m_pClusterMap->ResetChanges();
    }
    if (changes.HasRecords())
        for (int32_t nRecipient : recipients)
            m_pOwner->SendObject(nRecipient, RESPONSE_CLUSTERMAP_MODLIST, changes);
    changes.FreeBuffer();
    return false;
}

bool CDefragPartition::ReleaseClusterMap()
{
    CSectionLock lock(m_csMap);
    const int32_t nState = m_nState;
    if (!m_bClientConnected && (nState == STATE_IDLE || nState == STATE_FAULTY || nState == STATE_VOLUME_ERROR ||
                                nState == STATE_FAULTY_MONITORING))
        m_pClusterMap.reset();
    return true;
}

bool CDefragPartition::IsMetadataFile(const wchar_t* pszPath, int64_t llRecord)
{
    if ((llRecord >= 0 && llRecord <= 4) || (llRecord >= 6 && llRecord <= 15))
        return true;
    if (pszPath == nullptr)
        return false;
    const size_t nLength = std::wcslen(pszPath);
    if (nLength < 5)
        return false;
    if (nLength < 50 ? !StartsAt(pszPath, nLength, L'$', DrivePathLength)
                     : (pszPath[GuidPathLength] != L'$' || pszPath[0] != L'\\'))
        return false;
    // NTFS names are case-insensitive, and the file system spells them its own way ("$MFT",
    // "$UpCase").
    std::wstring strPath(pszPath, nLength);
    for (wchar_t& ch : strPath)
        ch = static_cast<wchar_t>(std::towupper(ch));
    for (const wchar_t* pszName : MetadataNames)
    {
        std::wstring strName(pszName);
        for (wchar_t& ch : strName)
            ch = static_cast<wchar_t>(std::towupper(ch));
        if (strPath.find(strName) != std::wstring::npos)
            return true;
    }
    return false;
}

int32_t CDefragPartition::GetFileKind(const wchar_t* pszPath, int32_t nDefaultKind, int64_t llRecord)
{
    if (IsMetadataFile(pszPath, llRecord))
    {
        if (llRecord == 0)
            return KIND_MFT;
        if (pszPath != nullptr && std::wcslen(pszPath) == 7 && pszPath[3] == L'$' && pszPath[4] == L'M')
            return KIND_MFT;
        return KIND_SYSTEM;
    }
    if (pszPath == nullptr)
        return nDefaultKind;
    const size_t nLength = std::wcslen(pszPath);
    const bool bShort = nLength == 12 || nLength == 15;
    if (bShort && StartsAt(pszPath, nLength, L'p', DrivePathLength) && std::wcsstr(pszPath, L"pagefile") != nullptr)
        return KIND_PAGING_FILE;
    if (bShort && StartsAt(pszPath, nLength, L'h', DrivePathLength) && std::wcsstr(pszPath, L"hiberfil") != nullptr)
        return KIND_SYSTEM;
    if (StartsAt(pszPath, nLength, L'S', DrivePathLength) && std::wcsstr(pszPath, L"System Vol") != nullptr)
        return KIND_SYSTEM;
    return nDefaultKind;
}
