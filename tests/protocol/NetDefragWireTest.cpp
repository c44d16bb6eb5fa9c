#include "ProtocolTestSupport.h"

#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionNameList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragPassword.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragVersionInfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace prototest;

namespace {

// The UTF-16LE bytes of an ASCII text.
Bytes Utf16(const char* pszText)
{
    Bytes bytes;
    for (const char* p = pszText; *p != '\0'; ++p)
    {
        bytes.push_back(static_cast<BYTE>(*p));
        bytes.push_back(0);
    }
    return bytes;
}

const char* const GuidPath = "\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\";

void FillDriveListOfOneVolume(CNetDefragPartitionList& list)
{
    auto pEntry = std::make_unique<CNetDefragPartitionListEntry>();
    pEntry->m_strDriveRoot = L"C:\\";
    pEntry->m_strVolumeGuidPath = GuidPath;
    pEntry->m_strStatusText = L" ";
    pEntry->m_strFileSystemName = L"NTFS";
    pEntry->m_strSerialNumber = L"4300-0000";
    pEntry->m_nVolumeIndex = 1;
    pEntry->m_nFileSystemCode = 3;
    pEntry->m_llMftStart = 786432;
    pEntry->m_llMftSpanEnd = -1;
    pEntry->m_llMftZoneStart = 786496;
    pEntry->m_llMftZoneEnd = 1114111;
    pEntry->m_llTotalClusters = 2621440;
    pEntry->m_llUsedClusters = 1310720;
    pEntry->m_llMftMirrorStart = 2;
    pEntry->m_nBytesPerSector = 512;
    pEntry->m_nState = 1;
    pEntry->m_llTotalBytes = 10737418240LL;
    pEntry->m_llFreeBytes = 5368709120LL;
    pEntry->m_nBytesPerCluster = 4096;
    pEntry->m_nBytesPerFileRecord = 1024;
    pEntry->m_nNtfsMajorVersion = 3;
    pEntry->m_nNtfsMinorVersion = 1;
    list.Add(std::move(pEntry));
}

const Bytes DriveListBytes = Hex("05000000 00000000 e9030000 01000000"
                                 "06000000 43003a005c00"
                                 "62000000") +
                             Utf16(GuidPath) +
                             Hex("00000000"
                                 "02000000 2000"
                                 "08000000 4e00540046005300"
                                 "12000000 3400330030003000 2d00 3000300030003000"
                                 "01000000 03000000"
                                 "00000c0000000000 ffffffffffffffff 40000c0000000000 ffff100000000000"
                                 "0000280000000000 0000140000000000 0200000000000000"
                                 "00020000 01000000 00000000 00000000 00000000"
                                 "0000008002000000 0000004001000000"
                                 "00100000 00040000"
                                 "00000000 00000000 00000000 00000000 00000000"
                                 "03000000 01000000"
                                 "0000000000000000"
                                 "00");

void FillVersionInfo(CNetDefragVersionInfo& info)
{
    info.m_nMajorVersion = 3;
    info.m_nMinorVersion = 6;
    info.m_strVersionText = L"3.6.0.1";
}

Bytes VersionBytes(const char* pszCommand)
{
    return Hex("05000000 00000000") + Hex(pszCommand) +
           Hex("03000000 06000000 00000000 00000000"
               "0e000000 33002e0036002e0030002e003100"
               "00000000 00000000"
               "00000000 00000000 00000000") +
           Bytes(13, 0);
}

BYTE g_abCells[22] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a,
                      0x1b, 0x1c, 0x1d, 0x1e, 0x1f, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25};

// The replies below are written from the wire format field by field, the
// padding worked out from the archive's growth rule: a payload that ends in a
// string or raw block has one spare byte, one that ends in a number the rest
// of its last 16-byte step.
const char* const DataGuidPath = "\\\\?\\Volume{00000000-0000-0000-0000-000000000044}\\";

const Bytes ClusterMapBytes = Hex("05000000 00000000 eb030000"
                                  "01000000"                    // index
                                  "06000000 43003a005c00"       // "C:\\"
                                  "0000280000000000"            // total clusters 2621440
                                  "0000140000000000"            // clusters per cell 1310720
                                  "02000000 0b000000") +        // 2 cells of 11 bytes
                              Bytes(g_abCells, g_abCells + 22) + Hex("00");

const Bytes ClusterExplorerBytes = Hex("05000000 00000000 ed030000"
                                       "01000000 06000000 43003a005c00"
                                       "6400000000000000 c700000000000000" // clusters 100 to 199
                                       "02000000"
                                       "0a000000") +
                                   Utf16("a.txt") +
                                   Hex("6400000000000000 7800000000000000 01000000" // 100-120, kind 1
                                       "02000000 6200"
                                       "9600000000000000 c700000000000000 02000000" // 150-199, kind 2
                                       "000000000000");

const Bytes FileClustersBytes = Hex("05000000 00000000 f2030000"
                                    "01000000 00000000"                  // no drive text
                                    "0000000000000000 0000000000000000"  // range 0 to 0
                                    "01000000 0a000000") +
                                Utf16("f.bin") +
                                Hex("8813000000000000 8f13000000000000 03000000" // 5000-5007, kind 3
                                    "00000000000000000000000000");

const Bytes PartitionInfoBytes = Hex("05000000 00000000 ee030000"
                                     "02000000 06000000 44003a005c00"
                                     "62000000") +
                                 Utf16(DataGuidPath) + Hex("08000000") + Utf16("Data") +
                                 Hex("08000000 4e00540046005300"
                                     "0000008002000000 0000004001000000"  // total, free bytes
                                     "00100000"                           // bytes per cluster
                                     "0000280000000000 0000140000000000"  // total, free clusters
                                     "0000040000000000 4000000000000000"  // MFT bytes, clusters
                                     "40000c0000000000 ffff100000000000"  // MFT zone
                                     "00000000000000000000000000");

const Bytes FragFilesBytes = Hex("05000000 00000000 ef030000"
                                 "01000000 06000000 43003a005c00"
                                 "02000000 0e000000") +
                             Utf16("big.log") +
                             Hex("0c000000"
                                 "02000000 2e00 03000000"
                                 "0000");

const Bytes DriveNamesBytes = Hex("05000000 00000000 f4030000"
                                  "01000000 06000000 43003a005c00 62000000") +
                              Utf16(GuidPath) + Hex("0c000000") + Utf16("System") +
                              Hex("01000000"
                                  "00000000000000000000000000");

void FillSettings(CNetDefragSettingsLight2& o)
{
    o.m_nDefaultPort = 7110;
    o.m_nMoveModifiedFilesToEnd = 1;
    o.m_nDisableAutoMonitoring = 2;
    o.m_nUseRemovableDisks = 3;
    o.m_nRunChkDskBeforeDefrag = 4;
    o.m_nUseIOGuard = 5;
    o.m_nUseBoottimeDefrag = 6;
    o.m_nIOGuardMinIdlePercentage = 40;
    o.m_strAddDrivesManually = L"E:\\";
    o.m_strIgnoreMonitoringDrives = L"F:\\";
    o.m_strVersionText = L"3.6.0.1";
    o.m_nPauseOnBattery = 7;
}

Bytes SettingsBytes(const char* pszCommand, const Bytes& password, size_t nPadding)
{
    return Hex("05000000 00000000") + Hex(pszCommand) +
           Hex("c61b0000 01000000 02000000 03000000 04000000 05000000 06000000 28000000"
               "06000000 45003a005c00"
               "06000000 46003a005c00"
               "0e000000 33002e0036002e0030002e003100"
               "07000000") +
           Bytes(36, 0) + password + Bytes(nPadding, 0);
}

struct WireCase
{
    const char* pszName;
    int32_t nCommand;
    std::function<std::unique_ptr<CNetDefragObject>()> fnMake;
    Bytes expected;
};

std::vector<WireCase> WireCases()
{
    auto fnBare = [] { return std::unique_ptr<CNetDefragObject>(); };
    return {
        {"bare request 101", CMD_GET_PARTITION_LIST, fnBare, Hex("05000000 00000000 65000000 00000000")},
        {"bare reply 1", CMD_DISCONNECT, fnBare, Hex("05000000 00000000 01000000 00000000")},
        {"bare reply 501", RESPONSE_TOO_MANY_CLIENTS, fnBare, Hex("05000000 00000000 f5010000 00000000")},
        {"bare reply 502", RESPONSE_PASSWORD_REQUIRED, fnBare, Hex("05000000 00000000 f6010000 00000000")},
        {"bare reply 503", RESPONSE_PASSWORD_ACCEPTED, fnBare, Hex("05000000 00000000 f7010000 00000000")},
        {"bare reply 504", RESPONSE_INCOMPATIBLE, fnBare, Hex("05000000 00000000 f8010000 00000000")},
        {"analyse volume 1", CMD_ANALYZE,
         Maker<CNetDefragPartitionObject>([](auto& o) { o.m_nVolumeIndex = 1; }),
         Hex("05000000 00000000 de050000 01000000")},
        {"version reply 1009", RESPONSE_SERVICE_INFO, Maker<CNetDefragVersionInfo>(FillVersionInfo),
         VersionBytes("f1030000")},
        {"version reply 1008", RESPONSE_VERSION_INFO, Maker<CNetDefragVersionInfo>(FillVersionInfo),
         VersionBytes("f0030000")},
        {"drive list of one volume", RESPONSE_PARTITION_LIST,
         Maker<CNetDefragPartitionList>(FillDriveListOfOneVolume), DriveListBytes},
        {"password digest of abc", CMD_PASSWORD,
         Maker<CNetDefragPassword>([](auto& o) { o.m_strPassword = L"900150983CD24FB0D6963F7D28E17F72"; }),
         Hex("05000000 00000000 e8050000 40000000") + Utf16("900150983CD24FB0D6963F7D28E17F72") + Hex("00")},
        {"change list of cells 7 and 8", RESPONSE_CLUSTERMAP_MODLIST,
         Maker<CNetDefragClustermapModList>([](auto& o) {
             o.m_nVolumeIndex = 1;
             o.AddRange(7, 2, 11, g_abCells);
         }),
         Hex("05000000 00000000 ec030000 01000000 0700000000000000 0200000000000000 0b000000") +
             Bytes(g_abCells, g_abCells + 22) + Hex("00 00")},
        {"cluster map reply 1003", RESPONSE_CLUSTERMAP,
         Maker<CNetDefragPartitionClustermap>([](auto& o) {
             o.m_nVolumeIndex = 1;
             o.m_strDriveRoot = L"C:\\";
             o.m_llTotalClusters = 2621440;
             o.m_llClustersPerCell = 1310720;
             o.SetCells(g_abCells, 2, 11);
         }),
         ClusterMapBytes},
        {"cluster explorer reply 1005", RESPONSE_CLUSTEREXPLORER,
         Maker<CNetDefragPartitionClusterExplorerResponse>([](auto& o) {
             o.m_nVolumeIndex = 1;
             o.m_strDriveRoot = L"C:\\";
             o.m_llFirstCluster = 100;
             o.m_llLastCluster = 199;
             o.AddFile(L"a.txt", 100, 120, 1);
             o.AddFile(L"b", 150, 199, 2);
         }),
         ClusterExplorerBytes},
        {"file clusters reply 1010", RESPONSE_FILE_CLUSTERS,
         Maker<CNetDefragPartitionClusterExplorerResponse>([](auto& o) {
             o.m_nVolumeIndex = 1;
             o.AddFile(L"f.bin", 5000, 5007, 3);
         }),
         FileClustersBytes},
        {"volume information reply 1006", RESPONSE_PARTITION_INFO,
         Maker<CNetDefragPartitionInfo>([](auto& o) {
             o.m_nVolumeIndex = 2;
             o.m_strDriveRoot = L"D:\\";
             o.m_strVolumeGuidPath = DataGuidPath;
             o.m_strVolumeLabel = L"Data";
             o.m_strFileSystemName = L"NTFS";
             o.m_llTotalBytes = 10737418240LL;
             o.m_llFreeBytes = 5368709120LL;
             o.m_nBytesPerCluster = 4096;
             o.m_llTotalClusters = 2621440;
             o.m_llFreeClusters = 1310720;
             o.m_llMftValidDataLength = 262144;
             o.m_llMftValidDataClusters = 64;
             o.m_llMftZoneStart = 786496;
             o.m_llMftZoneEnd = 1114111;
         }),
         PartitionInfoBytes},
        {"fragmented files reply 1007", RESPONSE_FRAG_FILES,
         Maker<CNetDefragPartitionFragFiles>([](auto& o) {
             o.m_nVolumeIndex = 1;
             o.m_strDriveRoot = L"C:\\";
             o.AddFile(L"big.log", 12);
             o.AddFile(L".", 3);
         }),
         FragFilesBytes},
        {"drive names reply 1012", RESPONSE_DRIVE_NAMES,
         Maker<CNetDefragPartitionNameList>([](auto& o) {
             auto pEntry = std::make_unique<CNetDefragPartitionNameEntry>();
             pEntry->m_strDriveRoot = L"C:\\";
             pEntry->m_strVolumeGuidPath = GuidPath;
             pEntry->m_strVolumeLabel = L"System";
             pEntry->m_nVolumeIndex = 1;
             o.Add(std::move(pEntry));
         }),
         DriveNamesBytes},
        {"settings reply 1013", RESPONSE_SETTINGS,
         Maker<CNetDefragSettingsLight2>([](auto& o) {
             FillSettings(o);
             o.m_strPassword = L"900150983CD24FB0D6963F7D28E17F72";
         }),
         SettingsBytes("f5030000", Hex("40000000") + Utf16("900150983CD24FB0D6963F7D28E17F72"), 1)},
        {"wizard settings reply 1014", RESPONSE_WIZARD_SETTINGS, Maker<CNetDefragSettingsLight2>(FillSettings),
         SettingsBytes("f6030000", Hex("00000000"), 5)},
        // The members are numbered by declaration; the wire takes 1, 2, 6, 7, 3, 4, 8, 5.
        {"settings in wire order", CMD_SET_SETTINGS,
         Maker<CNetDefragSettingsLight2>([](auto& o) {
             o.m_nDefaultPort = 1;
             o.m_nMoveModifiedFilesToEnd = 2;
             o.m_nRunChkDskBeforeDefrag = 3;
             o.m_nUseIOGuard = 4;
             o.m_nIOGuardMinIdlePercentage = 5;
             o.m_nDisableAutoMonitoring = 6;
             o.m_nUseRemovableDisks = 7;
             o.m_nUseBoottimeDefrag = 8;
             o.m_nPauseOnBattery = 9;
         }),
         Hex("05000000 00000000 ec050000"
             "01000000 02000000 06000000 07000000 03000000 04000000 08000000 05000000"
             "00000000 00000000 00000000 09000000") +
             Bytes(40, 0) + Bytes(12, 0)},
    };
}

TEST(NetDefragWire, MessagesMatchTheWireByteForByte)
{
    for (const WireCase& c : WireCases())
    {
        std::unique_ptr<CNetDefragObject> pObject = c.fnMake();
        EXPECT_EQ(c.expected, BuildMessage(c.nCommand, pObject.get())) << c.pszName;
    }
}

// Reading the wire bytes and storing again gives the same bytes back.
TEST(NetDefragWire, WireBytesLoadIntoTheSameMessage)
{
    for (const WireCase& c : WireCases())
    {
        CNetDefragBuffer ar(false);
        ar.Attach(c.expected.data(), static_cast<UINT>(c.expected.size()));
        CNetDefragPacketHeader header;
        header.Serialize(ar);
        EXPECT_EQ(c.nCommand, header.GetCommand()) << c.pszName;
        std::unique_ptr<CNetDefragObject> pObject = CreateNetDefragObject(header.GetCommand());
        if (pObject)
            pObject->Serialize(ar);
        EXPECT_EQ(c.expected, BuildMessage(header.GetCommand(), pObject.get())) << c.pszName;
    }
}

TEST(NetDefragWire, DriveListExampleDecodesToItsFields)
{
    CNetDefragBuffer ar(false);
    ar.Attach(DriveListBytes.data(), static_cast<UINT>(DriveListBytes.size()));
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    CNetDefragPartitionList list;
    list.Serialize(ar);
    ASSERT_EQ(1, list.GetCount());
    const CNetDefragPartitionListEntry& e = *list.GetEntry(0);
    EXPECT_EQ(L"C:\\", Text(e.m_strDriveRoot));
    EXPECT_EQ(98, 2 * e.m_strVolumeGuidPath.GetLength());
    EXPECT_EQ(L"4300-0000", Text(e.m_strSerialNumber));
    EXPECT_EQ(-1, e.m_llMftSpanEnd);
    EXPECT_EQ(1114111, e.m_llMftZoneEnd);
    EXPECT_EQ(10737418240LL, e.m_llTotalBytes);
    EXPECT_EQ(1024, e.m_nBytesPerFileRecord);
    EXPECT_EQ(1, e.m_nNtfsMinorVersion);
    EXPECT_EQ(317u, DriveListBytes.size());
}

}
