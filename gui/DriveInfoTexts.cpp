#include "gui/DriveInfoTexts.h"

#include "gui/Resource.h"
#include "gui/WireText.h"
#include "protocol/NetDefragPartitionInfo.h"

const DRIVE_INFO_FIELD kDriveInfoFields[13] = {
    {225, IDS_DRIVE, 226},           {235, IDS_NAME, 236},           {218, IDS_FILESYSTEM, 219},
    {222, IDS_GUID, 223},            {237, IDS_SIZE_MB, 238},        {220, IDS_FREE_MB, 221},
    {214, IDS_BYTES_CLUSTER, 215},   {216, IDS_COLUMN_CLUSTER, 217}, {244, IDS_FREE_CLUSTER, 245},
    {233, IDS_MFT_SIZE_MB, 234},     {227, IDS_MFT_CLUSTER, 228},    {231, IDS_MFT_RES_START, 232},
    {229, IDS_MFT_RES_END, 230},
};

namespace
{
const int kTextFields = 4;

CString Number(int64_t llValue)
{
    if (llValue == -1)
        return L" ";
    CString str;
    str.Format(L"%lld", static_cast<long long>(llValue));
    return str;
}

CString Megabytes(int64_t llBytes)
{
    return llBytes == -1 ? CString(L" ") : Number(llBytes >> 20);
}
} // namespace

std::vector<CString> CDriveInfoTexts::Values(const CNetDefragPartitionInfo& info)
{
    return {WireText(info.m_strDriveRoot),     WireText(info.m_strVolumeLabel), WireText(info.m_strFileSystemName),
            WireText(info.m_strVolumeGuidPath), Megabytes(info.m_llTotalBytes),  Megabytes(info.m_llFreeBytes),
            Number(info.m_nBytesPerCluster),    Number(info.m_llTotalClusters), Number(info.m_llFreeClusters),
            Megabytes(info.m_llMftValidDataLength), Number(info.m_llMftValidDataClusters),
            Number(info.m_llMftZoneStart),      Number(info.m_llMftZoneEnd)};
}

std::vector<CString> CDriveInfoTexts::Searching()
{
    CString strSearching;
    strSearching.LoadString(IDS_SEARCHING);
    std::vector<CString> values(kTextFields);
    values[0] = strSearching;
    values.resize(13, L"0");
    return values;
}
