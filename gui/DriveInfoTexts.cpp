#include "gui/DriveInfoTexts.h"

#include "gui/Resource.h"
#include "gui/ResourceText.h"
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

CString Megabytes(int64_t llBytes)
{
    return llBytes == -1 ? CString(L" ") : NumberText(llBytes >> 20);
}
} // namespace

std::vector<CString> CDriveInfoTexts::Values(const CNetDefragPartitionInfo& info)
{
    return {WireText(info.m_strDriveRoot),     WireText(info.m_strVolumeLabel), WireText(info.m_strFileSystemName),
            WireText(info.m_strVolumeGuidPath), Megabytes(info.m_llTotalBytes),  Megabytes(info.m_llFreeBytes),
            NumberText(info.m_nBytesPerCluster),    NumberText(info.m_llTotalClusters), NumberText(info.m_llFreeClusters),
            Megabytes(info.m_llMftValidDataLength), NumberText(info.m_llMftValidDataClusters),
            NumberText(info.m_llMftZoneStart),      NumberText(info.m_llMftZoneEnd)};
}

std::vector<CString> CDriveInfoTexts::Searching()
{
    std::vector<CString> values(kTextFields);
    values[0] = ResourceText(IDS_SEARCHING);
    values.resize(13, L"0");
    return values;
}
