#include "engine/ClusterMap.h"
#include "engine/DefragPartition.h"
#include "engine/ExtentList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ClusterMap, GeometryKeepsAtMostFiveThousandCells)
{
    const struct
    {
        int64_t llTotal;
        int64_t llCells;
        uint64_t ullPerCell;
        int32_t nCellSize;
    } cases[] = {
        {4999, 4999, 1, 11},
        {5000, 5000, 1, 11},
        {5001, 2501, 2, 11},
        {1270000, 5000, 254, 11},
        {1270001, 4981, 255, 22},
        {5000000000LL, 5000, 1000000, 22},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.llTotal);
        int64_t llCells = 0;
        uint64_t ullPerCell = 0;
        CClusterMap::ComputeGeometry(c.llTotal, llCells, ullPerCell);
        EXPECT_EQ(c.llCells, llCells);
        EXPECT_EQ(c.ullPerCell, ullPerCell);
        CClusterMap map;
        ASSERT_TRUE(map.Create(3, c.llTotal, llCells, ullPerCell));
        EXPECT_EQ(c.nCellSize, map.GetCellSize());
    }
    CClusterMap none;
    EXPECT_FALSE(none.Create(3, INT64_MAX, 5000, CClusterMap::NoMap));
    EXPECT_FALSE(none.AddRange(0, 1, KIND_USED));
}

TEST(ClusterMap, CountersSaturateAndFloorInBothWidths)
{
    const struct
    {
        int64_t llTotal;
        uint32_t uCap;
    } cases[] = {{5001, 2}, {1270001, 255}, {5000000000LL, 65535}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.llTotal);
        int64_t llCells = 0;
        uint64_t ullPerCell = 0;
        CClusterMap::ComputeGeometry(c.llTotal, llCells, ullPerCell);
        CClusterMap map;
        ASSERT_TRUE(map.Create(0, c.llTotal, llCells, ullPerCell));
        const int64_t llCell = static_cast<int64_t>(ullPerCell);
        ASSERT_TRUE(map.AddRange(llCell, llCell, KIND_FILE));
        ASSERT_TRUE(map.AddRange(llCell, llCell, KIND_FILE));
        EXPECT_EQ(c.uCap, map.GetCounter(1, KIND_FILE));
        EXPECT_EQ(0u, map.GetCounter(0, KIND_FILE));
        EXPECT_EQ(0u, map.GetCounter(2, KIND_FILE));
        ASSERT_TRUE(map.RemoveRange(llCell, 1, KIND_FILE));
        EXPECT_EQ(c.uCap - 1, map.GetCounter(1, KIND_FILE));
        map.RemoveRange(0, 3 * llCell, KIND_FILE);
        map.RemoveRange(0, 3 * llCell, KIND_FILE);
        EXPECT_EQ(0u, map.GetCounter(1, KIND_FILE));
    }
}

TEST(ClusterMap, RunsAreCountedPerCellAndClippedToTheVolume)
{
    CClusterMap map;
    ASSERT_TRUE(map.Create(0, 5001, 2501, 2));
    EXPECT_EQ(1, map.ClustersInCell(0, 1, 4));
    EXPECT_EQ(2, map.ClustersInCell(1, 1, 4));
    EXPECT_EQ(1, map.ClustersInCell(2, 1, 4));
    map.SetHasSubscribers(true);
    ASSERT_TRUE(map.AddRangeAndRecord(1, 4, KIND_DIRECTORY));
    EXPECT_EQ(1u, map.GetCounter(0, KIND_DIRECTORY));
    EXPECT_EQ(2u, map.GetCounter(1, KIND_DIRECTORY));
    EXPECT_EQ(1u, map.GetCounter(2, KIND_DIRECTORY));
    EXPECT_TRUE(map.HasChanges());
    CNetDefragClustermapModList changes;
    ASSERT_TRUE(map.TakeChanges(changes));
    EXPECT_FALSE(map.HasChanges());
    CLUSTERMAP_MOD_RECORD stRecord = {};
    ASSERT_TRUE(changes.GetNext(stRecord));
    EXPECT_EQ(0, stRecord.llFirstCell);
    EXPECT_EQ(3, stRecord.llCellCount);
    EXPECT_EQ(11, stRecord.nBytesPerCell);
    EXPECT_EQ(2, stRecord.pCells[11 + KIND_DIRECTORY]);
    EXPECT_FALSE(changes.GetNext(stRecord));
    // Runs from damaged records or a grown volume never reach outside the cells.
    EXPECT_FALSE(map.AddRange(-4, 10, KIND_USED));
    EXPECT_FALSE(map.AddRange(5001, 10, KIND_USED));
    EXPECT_FALSE(map.AddRange(10, 0, KIND_USED));
    EXPECT_FALSE(map.AddRange(10, 1, 11));
    ASSERT_TRUE(map.AddRange(4999, 1000000, KIND_USED));
    EXPECT_EQ(1u, map.GetCounter(2499, KIND_USED));
    EXPECT_EQ(1u, map.GetCounter(2500, KIND_USED)) << "the last cell holds cluster 5000 alone";
}

// Change records are made for subscribers only; the cells are kept right either way, and
// records from a time with subscribers are not sent to a later one, who gets the whole map.
TEST(ClusterMap, ChangesAreRecordedOnlyWhileSomebodySubscribes)
{
    CClusterMap map;
    ASSERT_TRUE(map.Create(0, 100, 100, 1));
    ASSERT_TRUE(map.AddRangeAndRecord(10, 2, KIND_FILE));
    EXPECT_FALSE(map.HasChanges());
    EXPECT_EQ(1u, map.GetCounter(11, KIND_FILE));

    map.SetHasSubscribers(true);
    ASSERT_TRUE(map.RemoveRangeAndRecord(10, 1, KIND_FILE));
    EXPECT_TRUE(map.HasChanges());
    map.SetHasSubscribers(false);
    EXPECT_FALSE(map.HasChanges()) << "nobody is left to send them to";

    map.SetHasSubscribers(true);
    ASSERT_TRUE(map.AddRangeAndRecord(50, 1, KIND_DIRECTORY));
    CNetDefragClustermapModList changes;
    ASSERT_TRUE(map.TakeChanges(changes));
    CLUSTERMAP_MOD_RECORD stRecord = {};
    ASSERT_TRUE(changes.GetNext(stRecord));
    EXPECT_EQ(50, stRecord.llFirstCell);
    EXPECT_FALSE(changes.GetNext(stRecord));
    EXPECT_EQ(0u, map.GetCounter(10, KIND_FILE));
    EXPECT_EQ(1u, map.GetCounter(11, KIND_FILE));
}

TEST(ClusterMap, ExtentsWithoutAStartAreSkipped)
{
    CClusterMap map;
    ASSERT_TRUE(map.Create(0, 100, 100, 1));
    CExtentList list;
    list.Add(-1, 5);
    list.Add(10, 2);
    list.SetKind(KIND_FRAGMENTED);
    EXPECT_TRUE(map.AddExtents(list));
    EXPECT_EQ(1u, map.GetCounter(10, KIND_FRAGMENTED));
    EXPECT_EQ(1u, map.GetCounter(11, KIND_FRAGMENTED));
    EXPECT_EQ(0u, map.GetCounter(0, KIND_FRAGMENTED));
}

TEST(ClusterMap, FileKindsFollowTheirPaths)
{
    const struct
    {
        const wchar_t* pszPath;
        int64_t llRecord;
        int32_t nKind;
    } cases[] = {
        {nullptr, 0, KIND_MFT},
        {nullptr, 5, KIND_FILE},
        {nullptr, 9, KIND_SYSTEM},
        {L"C:\\$Mft", -1, KIND_MFT},
        {L"C:\\$MFT", -1, KIND_MFT},
        {L"C:\\$Mft::$Bitmap", -1, KIND_SYSTEM},
        {L"C:\\$Extend\\$UsnJrnl:$J:$Data", -1, KIND_SYSTEM},
        {L"C:\\$Reparse", 30, KIND_SYSTEM},
        {L"C:\\$Recycle.Bin", -1, KIND_FILE},
        {L"C:\\$UpCase", -1, KIND_SYSTEM},
        {L"$Upcase", -1, KIND_SYSTEM},
        {L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\$AttrDef", -1, KIND_SYSTEM},
        {L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\x$AttrDef", -1, KIND_FILE},
        {L"C:\\pagefile.sys", -1, KIND_PAGING_FILE},
        {L"pagefile.sys", -1, KIND_PAGING_FILE},
        {L"C:\\Pagefile.sys", -1, KIND_FILE},
        {L"C:\\hiberfil.sys", -1, KIND_SYSTEM},
        {L"C:\\hiberfil.sys2", -1, KIND_FILE},
        {L"C:\\System Volume Information\\tracking.log", -1, KIND_SYSTEM},
        {L"C:\\system Volume Information\\x", -1, KIND_FILE},
        {L"C:\\Users\\a.txt", -1, KIND_FILE},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszPath ? c.pszPath : L"(none)");
        EXPECT_EQ(c.nKind, CDefragPartition::GetFileKind(c.pszPath, KIND_FILE, c.llRecord));
    }
}

// The MFT walk judges most streams by the letters of their paths alone and puts a path
// together only where these say GetFileKind may find a kind in it: a case missed here would
// colour such a file with its default kind.
TEST(ClusterMap, FileKindsAreNeverMissedByTheLettersOfAPath)
{
    const wchar_t* const roots[] = {L"", L"C:\\", L"S:\\", L"P:\\", L"H:\\", L"$:\\",
                                    L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\"};
    std::vector<std::wstring> names = {L"$Mft", L"$MFT", L"$Mft::$Bitmap", L"$Extend\\$UsnJrnl:$J:$Data",
                                       L"$UpCase", L"$Secure:$SDS", L"pagefile.sys", L"hiberfil.sys",
                                       L"System Volume Information\\x", L"Users\\a.txt", L"x$Mft"};
    for (int i = 0; CDefragPartition::GetMetadataName(i) != nullptr; ++i)
        names.push_back(CDefragPartition::GetMetadataName(i));
    // Lengths around the ones the kinds turn on: 12 and 15 for the paging and hibernation
    // files, 50 where the letter behind a volume name counts instead of the one behind a drive.
    for (const std::wstring& strName : std::vector<std::wstring>(names))
        for (size_t nPad = 1; nPad <= 48; ++nPad)
            names.push_back(strName + L"\\" + std::wstring(nPad, L'x'));
    const int64_t records[] = {-1, 0, 3, 5, 11, 15, 16, 100};
    for (const wchar_t* pszRoot : roots)
        for (const std::wstring& strName : names)
            for (int64_t llRecord : records)
                for (int32_t nDefault : {KIND_FILE, KIND_DIRECTORY, KIND_FRAGMENTED})
                {
                    const std::wstring strPath = pszRoot + strName;
                    auto at = [&](int n) {
                        const size_t nAt = static_cast<size_t>(n);
                        return nAt < strPath.size() ? strPath[nAt] : L'\0';
                    };
                    const bool bMay = CDefragPartition::NameMayGiveKind(llRecord, static_cast<int>(strPath.size()), at);
                    if (CDefragPartition::GetFileKind(strPath.c_str(), nDefault, llRecord) != nDefault)
                    {
                        SCOPED_TRACE(strPath);
                        EXPECT_TRUE(bMay) << llRecord;
                    }
                }
    // A plain path takes the short way.
    const std::wstring strPlain = L"C:\\Users\\a.txt";
    EXPECT_FALSE(CDefragPartition::NameMayGiveKind(100, static_cast<int>(strPlain.size()),
                                                   [&](int n) { return strPlain.at(static_cast<size_t>(n)); }));
}

} // namespace
