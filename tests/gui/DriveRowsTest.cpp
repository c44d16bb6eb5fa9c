#include "ReplyFakes.h"

#include "gui/Resource.h"

#include "classlib/WinApp.h"
#include "guitoolkit/GuiUtilities.h"
#include "protocol/NetDefragCommand.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace guitest;

namespace
{
std::wstring Text(UINT nId)
{
    CString str;
    str.LoadString(nId);
    return str.Str();
}

// A drive with figures: 1000 MiB, 250 MiB free, NTFS 3.1.
CNetDefragPartitionListEntry FilledEntry()
{
    CNetDefragPartitionListEntry entry = MakeEntry(4, L"C:\\", 0, 37);
    entry.m_strVolumeGuidPath = L"\\\\?\\Volume{1}\\";
    entry.m_strVolumeLabel = L"System";
    entry.m_strStatusText = L"\\Windows\\a.dll 12%";
    entry.m_strFileSystemName = L"NTFS";
    entry.m_strSerialNumber = L"1234-ABCD";
    entry.m_llMftStart = 786432;
    entry.m_llMftSpanEnd = 786500;
    entry.m_llMftZoneStart = 786432;
    entry.m_llMftZoneEnd = 819200;
    entry.m_llTotalClusters = 256000;
    entry.m_llUsedClusters = 192000;
    entry.m_llMftMirrorStart = 2;
    entry.m_nBytesPerSector = 512;
    entry.m_nFragmentedEntries = 17;
    entry.m_llTotalBytes = 1000LL << 20;
    entry.m_llFreeBytes = 250LL << 20;
    entry.m_nBytesPerCluster = 4096;
    entry.m_nBytesPerFileRecord = 1024;
    entry.m_nFilesExamined = 300;
    entry.m_nFilesWithClusters = 290;
    entry.m_nFilesMoved = 12;
    entry.m_nFilesDefragmented = 11;
    entry.m_nFragmentationPercent = 9;
    entry.m_nNtfsMajorVersion = 3;
    entry.m_nNtfsMinorVersion = 1;
    entry.m_llLastManualDefragTime = 0;
    return entry;
}

class DriveRowsTest : public ::testing::Test
{
protected:
    CWinApp m_app;
};

TEST_F(DriveRowsTest, CellsShowTheEntrysFiguresAsTabled)
{
    CNetDefragPartitionListEntry entry = FilledEntry();
    const wchar_t* apszExpected[CDriveRows::ColumnCount] = {
        L"C:\\", L"", L"37", L"17", L"9", L"25", L"\\Windows\\a.dll 12%", L"NTFS", L"System", L"1234-ABCD",
        L"786432", L"2", L"786432", L"819200", L"256000", L"192000", L"1000", L"250", L"4096", L"1024",
        L"512", L"300", L"290", L"12", L"11", L"3.1", L" "};
    for (int nColumn = 0; nColumn < CDriveRows::ColumnCount; ++nColumn)
        EXPECT_EQ(CDriveRows::CellText(entry, nColumn).Str(), apszExpected[nColumn]) << "column " << nColumn;
}

TEST_F(DriveRowsTest, CellsOfUnknownAndBoundaryFigures)
{
    struct stCase
    {
        const char* pszName;
        void (*pfnChange)(CNetDefragPartitionListEntry&);
        int nColumn;
        const wchar_t* pszExpected;
    };
    const stCase aCases[] = {
        {"unknown numbers show blank", [](CNetDefragPartitionListEntry& e) { e.m_llMftStart = -1; }, 10, L" "},
        {"unknown int32 shows blank", [](CNetDefragPartitionListEntry& e) { e.m_nFilesMoved = -1; }, 23, L" "},
        {"monitoring hides fragmented files", [](CNetDefragPartitionListEntry& e) { e.m_nState = 1; }, 3, L" "},
        {"monitoring hides fragmentation", [](CNetDefragPartitionListEntry& e) { e.m_nState = 1; }, 4, L" "},
        {"auto defragmenting hides fragmented files", [](CNetDefragPartitionListEntry& e) { e.m_nState = 3; }, 3, L" "},
        {"analyzing shows fragmented files", [](CNetDefragPartitionListEntry& e) { e.m_nState = 4; }, 3, L"17"},
        {"size 0 gives a blank free share", [](CNetDefragPartitionListEntry& e) { e.m_llTotalBytes = 0; }, 5, L" "},
        {"used -1 gives a blank free share", [](CNetDefragPartitionListEntry& e) { e.m_llUsedClusters = -1; }, 5, L" "},
        {"all free", [](CNetDefragPartitionListEntry& e) { e.m_llFreeBytes = e.m_llTotalBytes; }, 5, L"100"},
        {"free share of a huge volume", [](CNetDefragPartitionListEntry& e) { e.m_llTotalBytes = e.m_llFreeBytes = LLONG_MAX; }, 5, L"100"},
        {"sizes below a MiB", [](CNetDefragPartitionListEntry& e) { e.m_llTotalBytes = 1048575; }, 16, L"0"},
        {"bytes per sector unsigned", [](CNetDefragPartitionListEntry& e) { e.m_nBytesPerSector = -1; }, 20, L"4294967295"},
        {"no NTFS version", [](CNetDefragPartitionListEntry& e) { e.m_nNtfsMajorVersion = -1; }, 25, L" "},
        {"never defragmented by hand", [](CNetDefragPartitionListEntry& e) { e.m_llLastManualDefragTime = 0; }, 26, L" "},
        {"a time beyond the calendar", [](CNetDefragPartitionListEntry& e) { e.m_llLastManualDefragTime = LLONG_MAX; }, 26, L" "},
    };
    for (const stCase& c : aCases)
    {
        CNetDefragPartitionListEntry entry = FilledEntry();
        c.pfnChange(entry);
        EXPECT_EQ(CDriveRows::CellText(entry, c.nColumn).Str(), c.pszExpected) << c.pszName;
    }
    CNetDefragPartitionListEntry fresh;
    for (int nColumn = 1; nColumn < CDriveRows::ColumnCount; ++nColumn)
        EXPECT_NO_THROW(CDriveRows::CellText(fresh, nColumn)) << "a fresh entry, column " << nColumn;
}

TEST_F(DriveRowsTest, LastManualDefragIsTheLocalDateAndTime)
{
    CNetDefragPartitionListEntry entry = FilledEntry();
    entry.m_llLastManualDefragTime = 86400;
    SYSTEMTIME stUtc;
    SYSTEMTIME stLocal;
    ASSERT_TRUE(UnixTimeToSystemTime(86400, &stUtc));
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &stUtc, &stLocal));
    wchar_t szExpected[64];
    ASSERT_GT(FormatDateTime(stLocal, szExpected, 64), 0);
    EXPECT_EQ(CDriveRows::CellText(entry, 26).Str(), szExpected);
    EXPECT_NE(std::wstring(szExpected).find(L"1970"), std::wstring::npos);
}

TEST_F(DriveRowsTest, StateTexts)
{
    struct stCase
    {
        int32_t nState;
        UINT nTextId;
    };
    const stCase aCases[] = {{1, IDS_MONITORING},     {2, IDS_AUTOANALYZING}, {3, IDS_AUTODEFRAGMENTING},
                             {4, IDS_ANALYZING},      {5, IDS_DEFRAGMENTING}, {6, IDS_FAULTY},
                             {7, IDS_FAULTY},         {8, IDS_STOPPING},      {9, IDS_SUSPENDED},
                             {10, IDS_AUTOCHECKING},  {11, IDS_CHECKING},     {12, IDS_FAULTY_MONITORING},
                             {13, IDS_UNKNOWN_STATE}, {99, IDS_UNKNOWN_STATE}, {-1, IDS_UNKNOWN_STATE}};
    EXPECT_EQ(CDriveRows::StateText(0).Str(), L"");
    for (const stCase& c : aCases)
        EXPECT_EQ(CDriveRows::StateText(c.nState).Str(), Text(c.nTextId)) << "state " << c.nState;
    EXPECT_EQ(Text(IDS_FAULTY_MONITORING), L"Faulty (Monitoring)");
}

TEST_F(DriveRowsTest, AFaultIsShownOnceAndThenCountsAsIdle)
{
    CFakeListCtrl list;
    CDriveRows rows(list);
    CNetDefragPartitionList received;
    received.Add(std::make_unique<CNetDefragPartitionListEntry>(MakeEntry(1, L"C:\\", 6)));
    rows.Rebuild(received);
    EXPECT_EQ(list.Cell(0, 1), L"Faulty");
    EXPECT_EQ(list.GetRow(0)->entry.m_nState, 0);
    EXPECT_EQ(rows.GetTrayState(true, true), 2);
    list.m_rows[0].bSelected = true;
    EXPECT_TRUE(rows.IsIdleCommandEnabled(nullptr));
}

TEST_F(DriveRowsTest, ComparisonBySortKey)
{
    CNetDefragPartitionListEntry a = FilledEntry();
    CNetDefragPartitionListEntry b = FilledEntry();
    struct stCase
    {
        const char* pszName;
        void (*pfnChange)(CNetDefragPartitionListEntry& a, CNetDefragPartitionListEntry& b);
        int nKey;
        int nExpected;
    };
    const stCase aCases[] = {
        {"drive paths ignore case", [](auto& a, auto& b) { a.m_strDriveRoot = L"c:\\"; b.m_strDriveRoot = L"C:\\"; }, 1, 0},
        {"drive paths in order", [](auto& a, auto& b) { a.m_strDriveRoot = L"d:\\"; b.m_strDriveRoot = L"E:\\"; }, 1, -1},
        {"a negative key reverses", [](auto& a, auto& b) { a.m_strDriveRoot = L"d:\\"; b.m_strDriveRoot = L"E:\\"; }, -1, 1},
        {"state numbers", [](auto& a, auto& b) { a.m_nState = 5; b.m_nState = 4; }, 2, 1},
        {"equal numbers answer -1", [](auto&, auto&) {}, 4, -1},
        {"equal numbers reversed answer 1", [](auto&, auto&) {}, -4, 1},
        {"unknown fragmented files sort last", [](auto& a, auto& b) { a.m_nFragmentedEntries = -1; b.m_nFragmentedEntries = 500; }, 4, 1},
        {"free share", [](auto& a, auto& b) { a.m_llFreeBytes = 1LL << 20; b.m_llFreeBytes = 900LL << 20; }, 6, -1},
        {"free share of no figures is 0", [](auto& a, auto& b) { a.m_llTotalBytes = 0; b.m_llFreeBytes = 1LL << 20; }, 6, -1},
        {"current file ignores case", [](auto& a, auto& b) { a.m_strStatusText = L"ABC"; b.m_strStatusText = L"abd"; }, 7, -1},
        {"size in bytes below a MiB", [](auto& a, auto& b) { a.m_llTotalBytes = 2; b.m_llTotalBytes = 1; }, 17, 1},
        {"bytes per sector unsigned", [](auto& a, auto& b) { a.m_nBytesPerSector = -1; b.m_nBytesPerSector = 4096; }, 21, 1},
        {"NTFS version", [](auto& a, auto& b) { a.m_nNtfsMinorVersion = 0; b.m_nNtfsMajorVersion = 1; }, 26, 1},
        {"last manual defrag does not sort", [](auto& a, auto& b) { a.m_llLastManualDefragTime = 5; b.m_llLastManualDefragTime = 9; }, 27, 0},
        {"keys above the columns", [](auto& a, auto& b) { a.m_nState = 5; b.m_nState = 4; }, 40, 0},
    };
    for (const stCase& c : aCases)
    {
        a = FilledEntry();
        b = FilledEntry();
        c.pfnChange(a, b);
        EXPECT_EQ(CDriveRows::Compare(a, b, c.nKey), c.nExpected) << c.pszName;
    }
}

TEST_F(DriveRowsTest, TrayState)
{
    struct stCase
    {
        std::vector<int32_t> states;
        bool bConnected;
        bool bShowMonitoringStates;
        int nExpected;
    };
    const stCase aCases[] = {
        {{}, false, true, 0},        {{4}, false, true, 0},        {{}, true, true, 2},
        {{0}, true, true, 2},        {{6, 7, 8, 12, 99}, true, true, 2}, {{0, 4}, true, true, 5},
        {{5, 10}, true, true, 7},    {{11}, true, true, 7},        {{9}, true, true, 3},
        {{5, 4}, true, true, 6},     {{1}, true, false, 4},        {{2}, true, false, 4},
        {{3}, true, false, 4},       {{1}, true, true, 4},         {{2}, true, true, 5},
        {{3}, true, true, 6},        {{13}, true, true, 2},        {{-1, 4}, true, true, 5},
    };
    for (const stCase& c : aCases)
    {
        std::string strStates;
        for (int32_t n : c.states)
            strStates += std::to_string(n) + " ";
        EXPECT_EQ(CDriveRows::TrayState(c.states, c.bConnected, c.bShowMonitoringStates), c.nExpected)
            << "states {" << strStates << "} connected " << c.bConnected << " monitoring " << c.bShowMonitoringStates;
    }
}

// Three drives: C: idle, D: analysing, E: idle; none selected.
struct stThreeDrives
{
    stThreeDrives() : rows(list)
    {
        CNetDefragPartitionList received;
        received.Add(std::make_unique<CNetDefragPartitionListEntry>(MakeEntry(7, L"C:\\", 0)));
        received.Add(std::make_unique<CNetDefragPartitionListEntry>(MakeEntry(8, L"D:\\", 4, 20)));
        received.Add(std::make_unique<CNetDefragPartitionListEntry>(MakeEntry(9, L"E:\\", 0)));
        rows.Rebuild(received);
        Select({});
    }
    void Select(const std::vector<int>& selected)
    {
        for (auto& stRow : list.m_rows)
            stRow.bSelected = false;
        for (int n : selected)
            list.m_rows.at(n).bSelected = true;
    }
    const stDriveRow* Row(int nRow) const { return nRow >= 0 ? list.GetRow(nRow) : nullptr; }
    // The drive each request named, in the order sent.
    std::vector<int32_t> SentDrives(int32_t nCode) const
    {
        std::vector<int32_t> drives;
        for (const auto& stMessage : sender.m_sent)
        {
            EXPECT_EQ(stMessage.nCode, nCode);
            drives.push_back(*reinterpret_cast<const int32_t*>(&stMessage.bytes.at(12)));
        }
        return drives;
    }

    CFakeListCtrl list;
    CFakeSender sender;
    CDriveRows rows;
};

using DriveCommandsTest = DriveRowsTest;

TEST_F(DriveCommandsTest, StartSendsTheStrategysRequest)
{
    EXPECT_EQ(CDriveRows::StartCommandCode(0), CMD_DEFRAG_QUICK);
    EXPECT_EQ(CDriveRows::StartCommandCode(1), CMD_DEFRAG_COMPLETE);
    EXPECT_EQ(CDriveRows::StartCommandCode(2), CMD_DEFRAG_ADVANCED);
    EXPECT_EQ(CDriveRows::StartCommandCode(-1), CMD_DEFRAG_COMPLETE);
}

TEST_F(DriveCommandsTest, EnablingFollowsTheRightClickedRowElseTheSelection)
{
    struct stCase
    {
        const char* pszName;
        std::vector<int> selected;
        int nRightClicked;
        bool bIdleEnabled;
        bool bStopEnabled;
    };
    const stCase aCases[] = {
        {"nothing selected", {}, -1, false, false},
        {"an idle drive", {0}, -1, true, false},
        {"a running drive", {1}, -1, false, true},
        {"idle and running", {0, 1}, -1, true, true},
        {"right-clicked running over an idle selection", {0}, 1, false, true},
        {"right-clicked idle over a running selection", {1}, 2, true, false},
    };
    stThreeDrives drives;
    for (const stCase& c : aCases)
    {
        drives.Select(c.selected);
        EXPECT_EQ(drives.rows.IsIdleCommandEnabled(drives.Row(c.nRightClicked)), c.bIdleEnabled) << c.pszName;
        EXPECT_EQ(drives.rows.IsStopEnabled(drives.Row(c.nRightClicked)), c.bStopEnabled) << c.pszName;
    }
}

TEST_F(DriveCommandsTest, AnalyzeMarksIdleTargetsPendingUntilTheDriveIsReported)
{
    stThreeDrives drives;
    drives.Select({0, 1, 2});
    EXPECT_EQ(drives.rows.SendDriveAction(drives.sender, CMD_ANALYZE, IDS_ANALYZING_WAIT, nullptr), 3);
    EXPECT_EQ(drives.SentDrives(CMD_ANALYZE), (std::vector<int32_t>{7, 8, 9}));
    EXPECT_EQ(drives.list.Cell(0, 1), L"Analyzing [wait]");
    EXPECT_EQ(drives.list.Cell(1, 1), L"Analyzing") << "a running drive keeps its state";
    EXPECT_EQ(drives.list.GetRow(0)->entry.m_nState, CDriveRows::StatePending);
    EXPECT_EQ(drives.list.GetRow(1)->entry.m_nState, 4);

    drives.Select({0});
    EXPECT_FALSE(drives.rows.IsIdleCommandEnabled(nullptr)) << "greyed while the request is pending";
    drives.rows.UpdateRow(0, MakeEntry(7, L"C:\\", 4, 1));
    EXPECT_EQ(drives.list.Cell(0, 1), L"Analyzing");
    drives.rows.UpdateRow(0, MakeEntry(7, L"C:\\", 0, 0));
    EXPECT_TRUE(drives.rows.IsIdleCommandEnabled(nullptr));
}

TEST_F(DriveCommandsTest, TargetsAndMarksOfEachCommand)
{
    struct stCase
    {
        const char* pszName;
        int32_t nCode;
        UINT nWaitTextId;
        std::vector<int> selected;
        int nRightClicked;
        bool bFirstOnly;
        std::vector<int32_t> drives;
        std::vector<std::wstring> status;
    };
    const stCase aCases[] = {
        {"nothing selected sends nothing", CMD_ANALYZE, IDS_ANALYZING_WAIT, {}, 1, false, {}, {L"", L"Analyzing", L""}},
        {"the right-clicked row alone", CMD_MONITOR, IDS_MONITORING_WAIT, {0, 2}, 2, false, {9}, {L"", L"Analyzing", L"Monitoring [wait]"}},
        {"the first selected only", CMD_CHECK_DISK, IDS_CHECKING_WAIT, {1, 2}, -1, true, {8}, {L"", L"Analyzing", L""}},
        {"start in list order", CMD_DEFRAG_QUICK, IDS_DEFRAGMENTING_WAIT, {2, 0}, -1, false, {7, 9}, {L"Defragmenting [wait]", L"Analyzing", L"Defragmenting [wait]"}},
        {"stop marks only running drives", CMD_STOP, IDS_STOP_WAIT, {0, 1}, -1, false, {7, 8}, {L"", L"Stop [wait]", L""}},
    };
    for (const stCase& c : aCases)
    {
        stThreeDrives drives;
        drives.Select(c.selected);
        drives.rows.SendDriveAction(drives.sender, c.nCode, c.nWaitTextId, drives.Row(c.nRightClicked), c.bFirstOnly);
        EXPECT_EQ(drives.SentDrives(c.nCode), c.drives) << c.pszName;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(drives.list.Cell(i, 1), c.status[i]) << c.pszName << ", row " << i;
    }
}
} // namespace
