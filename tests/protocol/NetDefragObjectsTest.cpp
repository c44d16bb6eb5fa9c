#include "ProtocolTestSupport.h"

#include "protocol/NetDefragClustermapModList.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionClusterExplorerAsk.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionClustermap.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"
#include "protocol/NetDefragPartitionList.h"
#include "protocol/NetDefragPartitionNameList.h"
#include "protocol/NetDefragPartitionObject.h"
#include "protocol/NetDefragPassword.h"
#include "protocol/NetDefragSettingsLight.h"
#include "protocol/NetDefragString.h"
#include "protocol/NetDefragVersionInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <typeinfo>

using namespace prototest;

namespace {

// Every field of each object, for comparison after a round trip.
auto Fields(const CNetDefragPartitionObject& o) { return std::make_tuple(o.m_nVolumeIndex); }
auto Fields(const CNetDefragPartitionClusterExplorerAsk& o)
{
    return std::make_tuple(o.m_nVolumeIndex, o.m_llFirstCluster, o.m_llLastCluster);
}
auto Fields(const CNetDefragString& o) { return std::make_tuple(o.m_nVolumeIndex, Text(o.m_strFileName)); }
auto Fields(const CNetDefragPassword& o) { return std::make_tuple(Text(o.m_strPassword)); }
auto Fields(const CNetDefragPartitionListEntry& o)
{
    return std::make_tuple(
        Text(o.m_strDriveRoot), Text(o.m_strVolumeGuidPath), Text(o.m_strVolumeLabel), Text(o.m_strStatusText),
        Text(o.m_strFileSystemName), Text(o.m_strSerialNumber), o.m_nVolumeIndex, o.m_nFileSystemCode,
        o.m_llMftStart, o.m_llMftSpanEnd, o.m_llMftZoneStart, o.m_llMftZoneEnd, o.m_llTotalClusters,
        o.m_llUsedClusters, o.m_llMftMirrorStart, o.m_nBytesPerSector, o.m_nState, o.m_nFragmentedEntries,
        o.m_nProgress, o.m_nPendingFiles, o.m_llTotalBytes, o.m_llFreeBytes, o.m_nBytesPerCluster,
        o.m_nBytesPerFileRecord, o.m_nFilesExamined, o.m_nFilesWithClusters, o.m_nFilesMoved,
        o.m_nFilesDefragmented, o.m_nFragmentationPercent, o.m_nNtfsMajorVersion, o.m_nNtfsMinorVersion,
        o.m_llLastManualDefragTime);
}
auto Fields(const CNetDefragPartitionNameEntry& o)
{
    return std::make_tuple(Text(o.m_strDriveRoot), Text(o.m_strVolumeGuidPath), Text(o.m_strVolumeLabel),
                           o.m_nVolumeIndex);
}
template <class TList> auto ListFields(const TList& o)
{
    std::vector<decltype(Fields(*o.GetEntry(0)))> entries;
    for (int i = 0; i < o.GetCount(); ++i)
        entries.push_back(Fields(*o.GetEntry(i)));
    return entries;
}
auto Fields(const CNetDefragPartitionList& o) { return ListFields(o); }
auto Fields(const CNetDefragPartitionNameList& o) { return ListFields(o); }
auto Fields(const CNetDefragPartitionInfo& o)
{
    return std::make_tuple(o.m_nVolumeIndex, Text(o.m_strDriveRoot), Text(o.m_strVolumeGuidPath),
                           Text(o.m_strVolumeLabel), Text(o.m_strFileSystemName), o.m_llTotalBytes, o.m_llFreeBytes,
                           o.m_nBytesPerCluster, o.m_llTotalClusters, o.m_llFreeClusters, o.m_llMftValidDataLength,
                           o.m_llMftValidDataClusters, o.m_llMftZoneStart, o.m_llMftZoneEnd);
}
auto Fields(const CNetDefragPartitionClustermap& o)
{
    const BYTE* p = o.GetCells();
    Bytes cells = p != nullptr ? Bytes(p, p + o.GetCellCount() * o.GetBytesPerCell()) : Bytes();
    return std::make_tuple(o.m_nVolumeIndex, Text(o.m_strDriveRoot), o.m_llTotalClusters, o.m_llClustersPerCell,
                           o.GetCellCount(), o.GetBytesPerCell(), cells);
}
auto Fields(CNetDefragClustermapModList& o)
{
    std::vector<std::tuple<int64_t, int64_t, int32_t, Bytes>> records;
    CLUSTERMAP_MOD_RECORD st;
    while (o.GetNext(st))
        records.emplace_back(st.llFirstCell, st.llCellCount, st.nBytesPerCell,
                             Bytes(st.pCells, st.pCells + st.llCellCount * st.nBytesPerCell));
    return std::make_tuple(o.m_nVolumeIndex, records);
}
auto Fields(CNetDefragPartitionClusterExplorerResponse& o)
{
    std::vector<std::tuple<std::wstring, int64_t, int64_t, int32_t>> entries;
    while (const CLUSTEREXPLORER_RESPONSE_ENTRY* p = o.GetNext())
        entries.emplace_back(Text(p->strFileName), p->llFirstCluster, p->llLastCluster, p->nKind);
    return std::make_tuple(o.m_nVolumeIndex, Text(o.m_strDriveRoot), o.m_llFirstCluster, o.m_llLastCluster, entries);
}
auto Fields(CNetDefragPartitionFragFiles& o)
{
    std::vector<std::tuple<std::wstring, int32_t>> entries;
    FRAG_FILES_RESPONSE_ENTRY st;
    while (o.GetNext(st))
        entries.emplace_back(Text(st.strFileName), st.nFragments);
    return std::make_tuple(o.m_nVolumeIndex, Text(o.m_strDriveRoot), entries);
}
auto Fields(const CNetDefragVersionInfo& o)
{
    return std::make_tuple(o.m_nMajorVersion, o.m_nMinorVersion, o.m_nThirdVersion, o.m_nReserved1,
                           Text(o.m_strVersionText), Text(o.m_strReserved1), Text(o.m_strReserved2), o.m_nReserved2,
                           o.m_nReserved3, o.m_nReserved4);
}
auto Fields(const CNetDefragSettingsLight2& o)
{
    return std::make_tuple(o.m_nDefaultPort, o.m_nMoveModifiedFilesToEnd, o.m_nRunChkDskBeforeDefrag,
                           o.m_nUseIOGuard, o.m_nIOGuardMinIdlePercentage, o.m_nDisableAutoMonitoring,
                           o.m_nUseRemovableDisks, o.m_nUseBoottimeDefrag, Text(o.m_strAddDrivesManually),
                           Text(o.m_strIgnoreMonitoringDrives), Text(o.m_strVersionText), o.m_nPauseOnBattery,
                           std::vector<int32_t>(o.m_nReserved, o.m_nReserved + CNetDefragSettingsLight2::ReservedCount),
                           Text(o.m_strPassword));
}

// Distinct values in every field, so that two fields read in swapped order show.
void Fill(CNetDefragPartitionListEntry& o, int nSeed)
{
    o.m_strDriveRoot = L"C:\\";
    o.m_strVolumeGuidPath = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\";
    o.m_strVolumeLabel = L"System \u00e9t\u00e9";
    o.m_strStatusText = L"Analyzing C:\\Windows\\a.dll 42%";
    o.m_strFileSystemName = L"NTFS";
    o.m_strSerialNumber = L"4300-0000";
    int32_t* apn[] = {&o.m_nVolumeIndex, &o.m_nFileSystemCode, &o.m_nBytesPerSector, &o.m_nState,
                      &o.m_nFragmentedEntries, &o.m_nProgress, &o.m_nPendingFiles, &o.m_nBytesPerCluster,
                      &o.m_nBytesPerFileRecord, &o.m_nFilesExamined, &o.m_nFilesWithClusters, &o.m_nFilesMoved,
                      &o.m_nFilesDefragmented, &o.m_nFragmentationPercent, &o.m_nNtfsMajorVersion,
                      &o.m_nNtfsMinorVersion};
    int64_t* apll[] = {&o.m_llMftStart, &o.m_llMftSpanEnd, &o.m_llMftZoneStart, &o.m_llMftZoneEnd,
                       &o.m_llTotalClusters, &o.m_llUsedClusters, &o.m_llMftMirrorStart, &o.m_llTotalBytes,
                       &o.m_llFreeBytes, &o.m_llLastManualDefragTime};
    int n = nSeed;
    for (int32_t* p : apn)
        *p = ++n;
    for (int64_t* p : apll)
    {
        ++n;
        *p = 0x100000000LL * n + n;
    }
}

struct RoundTripCase
{
    const char* pszName;
    int32_t nCommand;
    std::function<std::unique_ptr<CNetDefragObject>()> fnMake;
    std::function<bool(CNetDefragObject&, CNetDefragObject&)> fnSame;
    const std::type_info& type;
};

template <class T> RoundTripCase Case(const char* pszName, int32_t nCommand, std::function<void(T&)> fnFill)
{
    return {pszName, nCommand, Maker<T>(fnFill),
            [](CNetDefragObject& a, CNetDefragObject& b) {
                return Fields(dynamic_cast<T&>(a)) == Fields(dynamic_cast<T&>(b));
            },
            typeid(T)};
}

BYTE g_abCells[3 * 22];

std::vector<RoundTripCase> RoundTripCases()
{
    for (size_t i = 0; i < sizeof g_abCells; ++i)
        g_abCells[i] = static_cast<BYTE>(i * 7 + 1);
    return {
        Case<CNetDefragPartitionObject>("partition object", CMD_ANALYZE, [](auto& o) { o.m_nVolumeIndex = 7; }),
        Case<CNetDefragPartitionClusterExplorerAsk>("explorer ask", CMD_CLUSTEREXPLORER_ASK, [](auto& o) {
            o.m_nVolumeIndex = 2;
            o.m_llFirstCluster = 0x123456789LL;
            o.m_llLastCluster = 0x987654321LL;
        }),
        Case<CNetDefragString>("file name", CMD_SHOW_FILE, [](auto& o) {
            o.m_nVolumeIndex = 1;
            o.m_strFileName = L"\\dir\\a.txt";
        }),
        Case<CNetDefragPassword>("password", CMD_PASSWORD,
                                 [](auto& o) { o.m_strPassword = L"900150983CD24FB0D6963F7D28E17F72"; }),
        Case<CNetDefragPassword>("empty password", CMD_SET_PASSWORD, [](auto&) {}),
        Case<CNetDefragPartitionListEntry>("list entry", RESPONSE_PARTITION_ENTRY, [](auto& o) { Fill(o, 100); }),
        Case<CNetDefragPartitionListEntry>("default list entry", RESPONSE_PARTITION_ENTRY, [](auto&) {}),
        Case<CNetDefragPartitionList>("drive list", RESPONSE_PARTITION_LIST, [](auto& o) {
            for (int i = 0; i < 3; ++i)
            {
                auto p = std::make_unique<CNetDefragPartitionListEntry>();
                Fill(*p, 10 * i);
                p->m_strDriveRoot = i == 1 ? L"" : L"D:\\";
                o.Add(std::move(p));
            }
        }),
        Case<CNetDefragPartitionList>("empty drive list", RESPONSE_PARTITION_LIST, [](auto&) {}),
        Case<CNetDefragPartitionInfo>("partition info", RESPONSE_PARTITION_INFO, [](auto& o) {
            o.m_nVolumeIndex = 3;
            o.m_strDriveRoot = L"E:\\";
            o.m_strVolumeGuidPath = L"\\\\?\\Volume{1}\\";
            o.m_strVolumeLabel = L"Data";
            o.m_strFileSystemName = L"exFAT";
            o.m_llTotalBytes = 0x1000000001LL;
            o.m_llFreeBytes = 0x2000000002LL;
            o.m_nBytesPerCluster = 4096;
            o.m_llTotalClusters = 0x3000000003LL;
            o.m_llFreeClusters = 0x4000000004LL;
            o.m_llMftValidDataLength = 5;
            o.m_llMftValidDataClusters = 6;
            o.m_llMftZoneStart = 7;
            o.m_llMftZoneEnd = 8;
        }),
        Case<CNetDefragPartitionClustermap>("cluster map, 22-byte cells", RESPONSE_CLUSTERMAP, [](auto& o) {
            o.m_nVolumeIndex = 4;
            o.m_strDriveRoot = L"F:\\";
            o.m_llTotalClusters = 1270001;
            o.m_llClustersPerCell = 255;
            o.SetCells(g_abCells, 3, 22);
        }),
        Case<CNetDefragPartitionClustermap>("cluster map without cells", RESPONSE_CLUSTERMAP, [](auto& o) {
            o.m_nVolumeIndex = 4;
            o.m_llClustersPerCell = 0xFFFFFFFFLL;
        }),
        Case<CNetDefragClustermapModList>("change list", RESPONSE_CLUSTERMAP_MODLIST, [](auto& o) {
            o.m_nVolumeIndex = 5;
            o.AddRange(7, 2, 11, g_abCells);
            o.AddRange(4998, 3, 22, g_abCells);
            o.AddRange(0, 0, 11, nullptr);
        }),
        Case<CNetDefragClustermapModList>("empty change list", RESPONSE_CLUSTERMAP_MODLIST,
                                          [](auto& o) { o.m_nVolumeIndex = 5; }),
        Case<CNetDefragPartitionClusterExplorerResponse>("explorer answer", RESPONSE_CLUSTEREXPLORER, [](auto& o) {
            o.m_nVolumeIndex = 6;
            o.m_strDriveRoot = L"C:\\";
            o.m_llFirstCluster = 10;
            o.m_llLastCluster = 0x1FFFFFFFFLL;
            o.AddFile(L"\\a.txt", 10, 19, 4);
            o.AddFile(L"", 20, 20, 7);
            o.AddFile(L"\\$Mft", 0x100000000LL, 0x100000010LL, 8);
        }),
        Case<CNetDefragPartitionClusterExplorerResponse>("file clusters", RESPONSE_FILE_CLUSTERS, [](auto& o) {
            o.m_nVolumeIndex = 6;
            o.AddFile(L"\\big.iso", 500, 900, 8);
        }),
        Case<CNetDefragPartitionFragFiles>("fragmented files", RESPONSE_FRAG_FILES, [](auto& o) {
            o.m_nVolumeIndex = 8;
            o.m_strDriveRoot = L"C:\\";
            o.AddFile(L"\\x\\y.dat", 90);
            o.AddFile(L".", 2);
        }),
        Case<CNetDefragVersionInfo>("version", RESPONSE_SERVICE_INFO, [](auto& o) {
            o.m_nMajorVersion = 3;
            o.m_nMinorVersion = 6;
            o.m_nThirdVersion = 1;
            o.m_nReserved1 = 11;
            o.m_strVersionText = L"3.6.1.0 BETA";
            o.m_strReserved1 = L"r1";
            o.m_strReserved2 = L"r2";
            o.m_nReserved2 = 12;
            o.m_nReserved3 = 13;
            o.m_nReserved4 = 14;
        }),
        Case<CNetDefragSettingsLight2>("settings", CMD_SET_SETTINGS, [](auto& o) {
            int32_t* apn[] = {&o.m_nDefaultPort, &o.m_nMoveModifiedFilesToEnd, &o.m_nRunChkDskBeforeDefrag,
                              &o.m_nUseIOGuard, &o.m_nIOGuardMinIdlePercentage, &o.m_nDisableAutoMonitoring,
                              &o.m_nUseRemovableDisks, &o.m_nUseBoottimeDefrag, &o.m_nPauseOnBattery};
            int n = 0;
            for (int32_t* p : apn)
                *p = ++n;
            for (int32_t& nReserved : o.m_nReserved)
                nReserved = ++n;
            o.m_strAddDrivesManually = L"D:\\;E:\\";
            o.m_strIgnoreMonitoringDrives = L" ";
            o.m_strVersionText = L"3.6.0.1";
            o.m_strPassword = L"AB";
        }),
        Case<CNetDefragPartitionNameList>("drive names", RESPONSE_DRIVE_NAMES, [](auto& o) {
            for (int i = 0; i < 2; ++i)
            {
                auto p = std::make_unique<CNetDefragPartitionNameEntry>();
                p->m_strDriveRoot = i == 0 ? L"C:\\" : L"\\\\?\\Volume{2}\\";
                p->m_strVolumeGuidPath = L"\\\\?\\Volume{2}\\";
                p->m_strVolumeLabel = i == 0 ? L"" : L"Backup";
                p->m_nVolumeIndex = 40 + i;
                o.Add(std::move(p));
            }
        }),
    };
}

void Load(const Bytes& payload, CNetDefragObject& object, size_t* pnRead)
{
    CNetDefragBuffer ar(false);
    ar.Attach(payload.data(), static_cast<UINT>(payload.size()));
    CNetDefragPacketHeader header;
    header.Serialize(ar);
    object.Serialize(ar);
    *pnRead = ar.GetCurrent() - ar.GetBuffer();
}

// Each object is stored as a sender does it, loaded into the object that the
// command carries, and compared field by field; a payload cut to its fields
// (no trailing bytes) loads the same.
TEST(NetDefragObjects, EveryObjectRoundTrips)
{
    for (const RoundTripCase& c : RoundTripCases())
    {
        std::unique_ptr<CNetDefragObject> pSent = c.fnMake();
        size_t nWritten = 0;
        Bytes payload = BuildMessage(c.nCommand, pSent.get(), &nWritten);
        EXPECT_LE(payload.size() - nWritten, 16u) << c.pszName;

        for (size_t nLength : {payload.size(), nWritten})
        {
            std::unique_ptr<CNetDefragObject> pLoaded = CreateNetDefragObject(c.nCommand);
            ASSERT_NE(nullptr, pLoaded) << c.pszName;
            EXPECT_TRUE(typeid(*pLoaded) == c.type) << c.pszName;
            size_t nRead = 0;
            Load(Bytes(payload.begin(), payload.begin() + nLength), *pLoaded, &nRead);
            if (nLength == payload.size())
            {
                EXPECT_EQ(nWritten, nRead) << c.pszName << ": the reader takes exactly the fields";
            }
            std::unique_ptr<CNetDefragObject> pExpected = c.fnMake();
            EXPECT_TRUE(c.fnSame(*pExpected, *pLoaded)) << c.pszName << ", payload of " << nLength;
        }
    }
}

TEST(NetDefragObjects, CodesBelowOneThousandAndUnknownCodesCarryNoObject)
{
    for (int32_t nCommand : {1, 101, 102, 103, 105, 106, 107, 108, 109, 501, 502, 503, 504, 0, -1, 1011, 1015, 1510,
                             1514, 1515, 1520, 1549, 1551, 999, 1000})
        EXPECT_EQ(nullptr, CreateNetDefragObject(nCommand)) << nCommand;
    for (int32_t nCommand : {1501, 1502, 1503, 1504, 1505, 1506, 1508, 1509, 1517, 1518, 1550})
    {
        auto p = CreateNetDefragObject(nCommand);
        EXPECT_TRUE(p && typeid(*p) == typeid(CNetDefragPartitionObject)) << nCommand;
    }
    for (int32_t nCommand : {1013, 1014, 1516, 1519})
    {
        auto p = CreateNetDefragObject(nCommand);
        EXPECT_TRUE(p && typeid(*p) == typeid(CNetDefragSettingsLight2)) << nCommand;
    }
}

TEST(NetDefragObjects, ListEntryDefaultsAndCopy)
{
    CNetDefragPartitionListEntry entry;
    EXPECT_EQ(-1, entry.m_nVolumeIndex);
    for (int64_t ll : {entry.m_llMftStart, entry.m_llMftSpanEnd, entry.m_llMftZoneStart, entry.m_llMftZoneEnd,
                       entry.m_llTotalClusters, entry.m_llUsedClusters})
        EXPECT_EQ(-1, ll);
    EXPECT_EQ(0, entry.m_llMftMirrorStart);
    EXPECT_EQ(0, entry.m_nState);
    EXPECT_EQ(0, entry.m_strDriveRoot.GetLength());

    Fill(entry, 5);
    CNetDefragPartitionListEntry copy(entry);
    EXPECT_TRUE(Fields(copy) == Fields(entry));
    EXPECT_EQ(-1, CNetDefragPartitionNameEntry().m_nVolumeIndex);
}

// The smallest entry on the wire is what the loaders bound a count with:
// a smaller figure would let a count run past the payload, a larger one
// would refuse valid lists.
TEST(NetDefragObjects, SmallestEntriesMatchTheirWireBounds)
{
    auto fnSize = [](auto& entry) {
        CNetDefragBuffer ar(true);
        entry.Serialize(ar);
        return static_cast<int>(ar.GetCurrent() - ar.GetBuffer());
    };
    CNetDefragPartitionListEntry listEntry;
    CNetDefragPartitionNameEntry nameEntry;
    CLUSTEREXPLORER_RESPONSE_ENTRY explorerEntry{};
    FRAG_FILES_RESPONSE_ENTRY fragEntry{};
    EXPECT_EQ(CNetDefragPartitionListEntry::MinWireSize, fnSize(listEntry));
    EXPECT_EQ(CNetDefragPartitionNameEntry::MinWireSize, fnSize(nameEntry));
    EXPECT_EQ(CLUSTEREXPLORER_RESPONSE_ENTRY::MinWireSize, fnSize(explorerEntry));
    EXPECT_EQ(FRAG_FILES_RESPONSE_ENTRY::MinWireSize, fnSize(fragEntry));
}

TEST(NetDefragObjects, FixedTablesStopAt255Entries)
{
    CNetDefragPartitionList list;
    CNetDefragPartitionNameList names;
    for (int i = 0; i < 255; ++i)
    {
        ASSERT_TRUE(list.Add(std::make_unique<CNetDefragPartitionListEntry>()));
        ASSERT_TRUE(names.Add(std::make_unique<CNetDefragPartitionNameEntry>()));
    }
    EXPECT_FALSE(list.Add(std::make_unique<CNetDefragPartitionListEntry>()));
    EXPECT_FALSE(names.Add(std::make_unique<CNetDefragPartitionNameEntry>()));
    EXPECT_FALSE(list.Add(nullptr));
    EXPECT_EQ(255, list.GetCount());
    EXPECT_THROW(list.GetEntry(list.GetCount()), std::out_of_range);
    EXPECT_THROW(list.GetEntry(-1), std::out_of_range);

    // A full table still travels whole.
    Bytes payload = BuildMessage(RESPONSE_PARTITION_LIST, &list);
    CNetDefragPartitionList loaded;
    size_t nRead = 0;
    Load(payload, loaded, &nRead);
    EXPECT_EQ(255, loaded.GetCount());
}

TEST(NetDefragObjects, SortsKeepEqualKeysInOrder)
{
    CNetDefragPartitionFragFiles frag;
    const wchar_t* apszNames[] = {L"a", L"b", L"c", L"d"};
    int32_t anFragments[] = {3, 9, 9, 1};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(frag.AddFile(apszNames[i], anFragments[i]));
    frag.SortByFragments();
    std::wstring strOrder;
    FRAG_FILES_RESPONSE_ENTRY st;
    while (frag.GetNext(st))
        strOrder += Text(st.strFileName) + L":" + std::to_wstring(st.nFragments) + L" ";
    EXPECT_EQ(L"b:9 c:9 a:3 d:1 ", strOrder);
    EXPECT_FALSE(frag.GetNext(st));

    CNetDefragPartitionClusterExplorerResponse explorer;
    for (int64_t ll : {50, 10, 30})
        ASSERT_TRUE(explorer.AddFile(L"f", ll, ll + 1, 4));
    explorer.SortByStart();
    std::vector<int64_t> starts;
    while (const CLUSTEREXPLORER_RESPONSE_ENTRY* p = explorer.GetNext())
        starts.push_back(p->llFirstCluster);
    EXPECT_EQ((std::vector<int64_t>{10, 30, 50}), starts);
}

TEST(NetDefragObjects, ChangeListWalksEachRecordOnce)
{
    BYTE abCells[33];
    for (int i = 0; i < 33; ++i)
        abCells[i] = static_cast<BYTE>(i + 1);
    CNetDefragClustermapModList sent;
    sent.m_nVolumeIndex = 2;
    EXPECT_FALSE(sent.HasRecords());
    ASSERT_TRUE(sent.AddRange(100, 3, 11, abCells));
    EXPECT_TRUE(sent.HasRecords());

    Bytes payload = BuildMessage(RESPONSE_CLUSTERMAP_MODLIST, &sent);
    EXPECT_EQ(16u + 20 + 33 + 1 + 1, payload.size()) << "records, the inner spare byte, one byte of padding";
    CNetDefragClustermapModList loaded;
    size_t nRead = 0;
    Load(payload, loaded, &nRead);
    CLUSTERMAP_MOD_RECORD st;
    ASSERT_TRUE(loaded.GetNext(st));
    EXPECT_EQ(100, st.llFirstCell);
    EXPECT_EQ(3, st.llCellCount);
    EXPECT_EQ(11, st.nBytesPerCell);
    EXPECT_EQ(Bytes(abCells, abCells + 33), Bytes(st.pCells, st.pCells + 33));
    EXPECT_FALSE(loaded.GetNext(st));

    loaded.FreeBuffer();
    EXPECT_FALSE(loaded.HasRecords());
    EXPECT_FALSE(loaded.GetNext(st));
}

// A rewound list reuses its block without zeroing it: what goes out must still be only the
// new records and a zero spare byte, never the bytes the earlier records left behind.
TEST(NetDefragObjects, RewoundChangeListSendsOnlyItsNewRecords)
{
    std::vector<BYTE> cells(11 * 200, 0xEE);
    CNetDefragClustermapModList list;
    list.m_nVolumeIndex = 4;
    ASSERT_TRUE(list.AddRange(0, 200, 11, cells.data()));
    const BYTE* pBlock = nullptr;
    {
        CLUSTERMAP_MOD_RECORD st;
        ASSERT_TRUE(list.GetNext(st));
        pBlock = st.pCells;
    }
    list.Rewind();
    EXPECT_FALSE(list.HasRecords());
    const BYTE abOne[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    ASSERT_TRUE(list.AddRange(7, 1, 11, abOne));
    CLUSTERMAP_MOD_RECORD st;
    ASSERT_TRUE(list.GetNext(st));
    EXPECT_EQ(pBlock, st.pCells) << "the block is kept";
    EXPECT_EQ(7, st.llFirstCell);
    EXPECT_FALSE(list.GetNext(st)) << "the earlier record is gone";

    Bytes payload = BuildMessage(RESPONSE_CLUSTERMAP_MODLIST, &list);
    ASSERT_EQ(16u + 20 + 11 + 1 + 1, payload.size());
    EXPECT_EQ(0, payload[16 + 20 + 11]) << "the spare byte behind the records";
    CNetDefragClustermapModList loaded;
    size_t nRead = 0;
    Load(payload, loaded, &nRead);
    ASSERT_TRUE(loaded.GetNext(st));
    EXPECT_EQ(Bytes(abOne, abOne + 11), Bytes(st.pCells, st.pCells + 11));
    EXPECT_FALSE(loaded.GetNext(st));
}

TEST(NetDefragObjects, ChangeListRefusesRecordsNoReaderWouldTake)
{
    BYTE abCells[22] = {};
    CNetDefragClustermapModList list;
    EXPECT_FALSE(list.AddRange(0, 1, 12, abCells));
    EXPECT_FALSE(list.AddRange(-1, 1, 11, abCells));
    EXPECT_FALSE(list.AddRange(0, -1, 11, abCells));
    EXPECT_FALSE(list.AddRange(5000, 2, 11, abCells));
    EXPECT_FALSE(list.AddRange(0, 1, 11, nullptr));
    EXPECT_FALSE(list.HasRecords());
    EXPECT_TRUE(list.AddRange(5000, 1, 22, abCells));
}

// An empty list sends no block: the payload is the header and the index.
TEST(NetDefragObjects, EmptyChangeListSendsNoBlock)
{
    CNetDefragClustermapModList list;
    list.m_nVolumeIndex = 9;
    Bytes payload = BuildMessage(RESPONSE_CLUSTERMAP_MODLIST, &list);
    EXPECT_EQ(Hex("05000000 00000000 ec030000 09000000"), payload);
}

TEST(NetDefragObjects, SentClusterMapCellsStayTheSenders)
{
    std::unique_ptr<BYTE[]> pCells(new BYTE[22]());
    {
        CNetDefragPartitionClustermap map;
        map.SetCells(pCells.get(), 2, 11);
        EXPECT_EQ(pCells.get(), map.GetCells());
    }
    pCells[0] = 1;  // still ours after the map went

    CNetDefragPartitionClustermap broken;
    broken.SetCells(nullptr, 2, 11);
    CNetDefragBuffer ar(true);
    broken.Serialize(ar);
    EXPECT_TRUE(ar.HasFailed()) << "a map without its cells must not go out";
}

}

// A cluster-range answer must fit one frame however many files the range holds.
TEST(NetDefragObjects, RangeAnswerKeepsTheEntriesThatFitInOrder)
{
    const size_t nEntrySize = CLUSTEREXPLORER_RESPONSE_ENTRY::MinWireSize + 2 * sizeof(wchar_t);
    const struct
    {
        const char* pszCase;
        int nEntries;
        int nFit;
    } cases[] = {
        {"under the limit", 5, 10},
        {"exactly at the limit", 10, 10},
        {"far over the limit", 1000, 10},
    };
    for (const auto& c : cases)
    {
        CNetDefragPartitionClusterExplorerResponse answer;
        answer.SetWireLimit(nEntrySize * c.nFit);
        // Added from the highest start down, as a walk in file order may find them.
        int nMostHeld = 0;
        for (int i = c.nEntries - 1; i >= 0; --i)
        {
            ASSERT_TRUE(answer.AddFile(CUnicodeString(L"ab"), 10 * i, 10 * i + 9, 4)) << c.pszCase;
            nMostHeld = std::max(nMostHeld, answer.GetCount());
        }
        answer.FitToLimit();
        const int nKept = std::min(c.nEntries, c.nFit);
        ASSERT_EQ(answer.GetCount(), nKept) << c.pszCase;
        EXPECT_LE(nMostHeld, 2 * c.nFit + 1) << c.pszCase << ": memory stays bounded while entries come";
        for (int i = 0; i < nKept; ++i)
            EXPECT_EQ(answer.GetAt(i).llFirstCluster, 10 * i) << c.pszCase;
        EXPECT_EQ(answer.IsTruncated(), c.nEntries > c.nFit) << c.pszCase;
        if (answer.IsTruncated())
        {
            EXPECT_EQ(answer.GetFirstDropped(), 10 * c.nFit) << c.pszCase;
            // Nothing from the dropped part comes back.
            answer.AddFile(CUnicodeString(L" "), 10 * c.nFit + 1, 10 * c.nFit + 2, 1);
            answer.FitToLimit();
            EXPECT_EQ(answer.GetCount(), nKept) << c.pszCase;
        }
    }
}
