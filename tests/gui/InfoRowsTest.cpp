// The rows and texts of the cluster explorer, the fragmented-files dialog and
// the drive-information dialog, from the service's answers.
#include "gui/DriveInfoTexts.h"
#include "gui/ExplorerRows.h"
#include "gui/FragRows.h"
#include "protocol/NetDefragPartitionClusterExplorerResponse.h"
#include "protocol/NetDefragPartitionFragFiles.h"
#include "protocol/NetDefragPartitionInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct ENTRY
{
    const wchar_t* pszName;
    int64_t llFirst, llLast;
    int32_t nKind;
};

// "image name start end" per row, to compare whole tables at once.
std::vector<std::wstring> Rows(int64_t llFirst, int64_t llLast, const std::vector<ENTRY>& entries)
{
    CNetDefragPartitionClusterExplorerResponse answer;
    answer.m_strDriveRoot = L"S:\\";
    answer.m_llFirstCluster = llFirst;
    answer.m_llLastCluster = llLast;
    for (const ENTRY& entry : entries)
        EXPECT_TRUE(answer.AddFile(entry.pszName, entry.llFirst, entry.llLast, entry.nKind));
    std::vector<std::wstring> rows;
    for (const stExplorerRow& row : CExplorerRows::Build(answer))
        rows.push_back(std::to_wstring(row.nImage) + L" [" + row.strShown.Str() + L"] " + row.strStart.Str() + L" " +
                       row.strEnd.Str());
    return rows;
}

using Table = std::vector<std::wstring>;
} // namespace

TEST(ExplorerRows, RunsBecomeRowsWithFreeStretchesBetween)
{
    EXPECT_EQ(Table({L"1 [ ] 100 199"}), Rows(100, 199, {}));
    EXPECT_EQ(Table({L"5 [S:\\a.txt] 100 149", L"1 [ ] 150 199"}), Rows(100, 199, {{L"a.txt", 100, 149, 4}}));
    // Two runs of one file merge.
    EXPECT_EQ(Table({L"5 [S:\\a.txt] 100 199"}), Rows(100, 199, {{L"a.txt", 100, 149, 4}, {L"a.txt", 150, 199, 4}}));
    // A gap between the runs of one file splits them.
    EXPECT_EQ(Table({L"5 [S:\\a.txt] 100 119", L"1 [ ] 120 129", L"5 [S:\\a.txt] 130 199"}),
              Rows(100, 199, {{L"a.txt", 100, 119, 4}, {L"a.txt", 130, 199, 4}}));
    // A one-cluster stretch at the end is a row of its own.
    EXPECT_EQ(Table({L"1 [ ] 100 109", L"9 [S:\\b] 110 198", L"1 [ ] 199 199"}), Rows(100, 199, {{L"b", 110, 198, 8}}));
    // A name of one blank stands alone, as does an empty one.
    EXPECT_EQ(Table({L"3 [ ] 100 199"}), Rows(100, 199, {{L" ", 100, 199, 2}}));
}

TEST(ExplorerRows, AFirstEntryWithoutANameIsARowOfItsOwn)
{
    EXPECT_EQ(Table({L"6 [] 100 149", L"1 [ ] 150 199"}), Rows(100, 199, {{L"", 100, 149, 5}}));
    EXPECT_EQ(Table({L"6 [] 100 199"}), Rows(100, 199, {{L"", 100, 149, 5}, {L"", 150, 199, 5}}));
}

TEST(ExplorerRows, SortingPagingAndShow)
{
    stExplorerRow a = {5, L"a", L"S:\\a", L"100", L"149"};
    stExplorerRow b = {1, L" ", L" ", L"20", L"999"};
    struct CASE
    {
        int nKey, nResult;
    } cases[] = {{1, 1}, {-1, -1}, {2, -1}, {-2, 1}, {3, 1}, {-3, -1}, {0, 0}, {4, 0}};
    for (const CASE& c : cases)
        EXPECT_EQ(c.nResult, CExplorerRows::Compare(a, b, c.nKey) > 0 ? 1 : CExplorerRows::Compare(a, b, c.nKey) < 0 ? -1 : 0)
            << c.nKey;
    // Equal numbers are never "equal": the list keeps no stable order for them.
    EXPECT_EQ(-1, CExplorerRows::Compare(a, a, 1));

    struct PAGE
    {
        int64_t llStart, llEnd, llCluster;
        int nDelta;
        bool bMoves;
        int64_t llNext;
    } pages[] = {
        {100, 199, 100, 1, true, 200},  {100, 199, 150, -1, true, 50}, {100, 199, 99, -1, true, 0},
        {100, 199, 100, -1, true, 0},   {100, 100, 100, 1, false, 0},
    };
    for (const PAGE& p : pages)
    {
        int64_t llNext = -7;
        EXPECT_EQ(p.bMoves, CExplorerRows::Page(p.llStart, p.llEnd, p.llCluster, p.nDelta, llNext));
        if (p.bMoves)
        {
            EXPECT_EQ(p.llNext, llNext) << p.llCluster << " " << p.nDelta;
        }
    }

    EXPECT_TRUE(CExplorerRows::CanShow(&a));
    EXPECT_FALSE(CExplorerRows::CanShow(&b));
    EXPECT_FALSE(CExplorerRows::CanShow(nullptr));
}

TEST(FragRows, FilesKeepTheServicesOrderAndSortByCountOrName)
{
    CNetDefragPartitionFragFiles answer;
    answer.m_strDriveRoot = L"T:\\";
    ASSERT_TRUE(answer.AddFile(L"big.iso", 40));
    ASSERT_TRUE(answer.AddFile(L"a.log", 3));
    std::vector<stFragRow> rows = CFragRows::Build(answer);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(CString(L"T:\\big.iso"), rows[0].strShown);
    EXPECT_EQ(CString(L"big.iso"), rows[0].strName);
    EXPECT_EQ(CString(L"40"), rows[0].strFragments);
    EXPECT_EQ(1, CFragRows::Compare(rows[0], rows[1], 1));
    EXPECT_EQ(-1, CFragRows::Compare(rows[0], rows[1], -1));
    EXPECT_GT(CFragRows::Compare(rows[0], rows[1], 2), 0);
    EXPECT_EQ(-1, CFragRows::Compare(rows[1], rows[1], 1));

    CNetDefragPartitionFragFiles empty;
    EXPECT_TRUE(CFragRows::Build(empty).empty());
}

TEST(DriveInfoTexts, FiguresInMegabytesAndUnknownsBlank)
{
    CNetDefragPartitionInfo info;
    info.m_strDriveRoot = L"S:\\";
    info.m_strVolumeLabel = L"Data";
    info.m_strFileSystemName = L"NTFS";
    info.m_strVolumeGuidPath = L"\\\\?\\Volume{1}\\";
    info.m_llTotalBytes = 1048575;
    info.m_llFreeBytes = 64ll << 20;
    info.m_nBytesPerCluster = 4096;
    info.m_llTotalClusters = 16384;
    info.m_llFreeClusters = 100;
    info.m_llMftValidDataLength = -1;
    info.m_llMftValidDataClusters = -1;
    info.m_llMftZoneStart = 0;
    info.m_llMftZoneEnd = 5000000000ll;
    std::vector<CString> values = CDriveInfoTexts::Values(info);
    std::vector<CString> expected = {L"S:\\", L"Data", L"NTFS", L"\\\\?\\Volume{1}\\", L"0", L"64", L"4096",
                                     L"16384", L"100", L" ", L" ", L"0", L"5000000000"};
    EXPECT_EQ(expected, values);

    std::vector<CString> searching = CDriveInfoTexts::Searching();
    ASSERT_EQ(13u, searching.size());
    EXPECT_EQ(CString(L"Searching..."), searching[0]);
    EXPECT_EQ(CString(L""), searching[3]);
    EXPECT_EQ(CString(L"0"), searching[12]);
}
