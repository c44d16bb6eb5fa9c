#include "../ProbeStep.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{
struct GOOD_LINE
{
    const wchar_t* pszLine;
    StepVerb eVerb;
    const wchar_t* pszName;
    const wchar_t* pszText;
    bool bHasTitle;
    int nRow;
    int nColumn;
    UINT nId;
    UINT nModifiers;
    DWORD dwMs;
};

const GOOD_LINE kGoodLines[] = {
    {L"wait-window VfFrame", StepVerb::WaitWindow, L"VfFrame", L"", false, 0, 0, 0, 0, 30000},
    {L"wait-window VfFrame 5", StepVerb::WaitWindow, L"VfFrame", L"", false, 0, 0, 0, 0, 5000},
    // A quoted number is a title, never a time.
    {L"wait-window VfFrame \"5\"", StepVerb::WaitWindow, L"VfFrame", L"5", true, 0, 0, 0, 0, 30000},
    {L"wait-window VfFrame \"qov Defrag\" 12", StepVerb::WaitWindow, L"VfFrame", L"qov Defrag", true, 0, 0, 0, 0, 12000},
    {L"wait-window VfFrame \"\"", StepVerb::WaitWindow, L"VfFrame", L"", true, 0, 0, 0, 0, 30000},
    {L"  wait-dialog \"Analyze finished\"", StepVerb::WaitDialog, L"", L"Analyze finished", false, 0, 0, 0, 0, 30000},
    {L"wait-dialog Update 3", StepVerb::WaitDialog, L"", L"Update", false, 0, 0, 0, 0, 3000},
    {L"rows", StepVerb::Rows, L"", L"", false, 0, 0, 0, 0, 0},
    {L"expect-row 2 1 \"\"", StepVerb::ExpectRow, L"", L"", false, 2, 1, 0, 0, 0},
    // Backslashes stand as they are; a doubled quote is one quote.
    {L"expect-row 0 0 \"C:\\\"", StepVerb::ExpectRow, L"", L"C:\\", false, 0, 0, 0, 0, 0},
    {L"expect-row 0 0 \"say \"\"hi\"\"\"", StepVerb::ExpectRow, L"", L"say \"hi\"", false, 0, 0, 0, 0, 0},
    {L"wait-row 1 1 \"Analyzing 100%\" 10", StepVerb::WaitRow, L"", L"Analyzing 100%", false, 1, 1, 0, 0, 10000},
    {L"expect-rows 0", StepVerb::ExpectRows, L"", L"", false, 0, 0, 0, 0, 0},
    {L"status 1\t\"4 volumes\"", StepVerb::Status, L"", L"4 volumes", false, 1, 0, 0, 0, 0},
    {L"dialog-text 249 Ready", StepVerb::DialogText, L"", L"Ready", false, 0, 0, 249, 0, 0},
    {L"set-text 0x3E8 \"\"", StepVerb::SetText, L"", L"", false, 0, 0, 1000, 0, 0},
    {L"click 1", StepVerb::Click, L"", L"", false, 0, 0, 1, 0, 0},
    {L"click-in 1020 2", StepVerb::ClickIn, L"", L"", false, 0, 0, 2, 0, 0},
    {L"select-tab 1020 5", StepVerb::SelectTab, L"", L"", false, 5, 0, 1020, 0, 30000},
    {L"select-tab 1020 0 60", StepVerb::SelectTab, L"", L"", false, 0, 0, 1020, 0, 60000},
    {L"command 65535", StepVerb::Command, L"", L"", false, 0, 0, 65535, 0, 0},
    {L"select 32827 2", StepVerb::Select, L"", L"", false, 2, 0, 32827, 0, 0},
    {L"click-at 59664 30 40", StepVerb::ClickAt, L"", L"", false, 40, 30, 59664, 0, 0},
    {L"key 116", StepVerb::Key, L"", L"", false, 0, 0, VK_F5, 0, 0},
    {L"key F5", StepVerb::Key, L"", L"", false, 0, 0, VK_F5, 0, 0},
    {L"key 3 ctrl", StepVerb::Key, L"", L"", false, 0, 0, VK_CANCEL, kModCtrl, 0},
    {L"key CANCEL ctrl", StepVerb::Key, L"", L"", false, 0, 0, VK_CANCEL, kModCtrl, 0},
    {L"key A ctrl shift alt", StepVerb::Key, L"", L"", false, 0, 0, 'A', kModCtrl | kModShift | kModAlt, 0},
    {L"key F24", StepVerb::Key, L"", L"", false, 0, 0, VK_F24, 0, 0},
    {L"menu-shot context-menu", StepVerb::MenuShot, L"context-menu", L"", false, 0, 0, 0, 0, 0},
    {L"cancel-menu", StepVerb::CancelMenu, L"", L"", false, 0, 0, 0, 0, 0},
    {L"shot list_2.a window", StepVerb::Shot, L"list_2.a", L"", false, 0, 0, 0, 0, 0},
    {L"sleep 0", StepVerb::Sleep, L"", L"", false, 0, 0, 0, 0, 0},
    {L"sleep 250", StepVerb::Sleep, L"", L"", false, 0, 0, 0, 0, 250},
    {L"expect-enabled 1 no", StepVerb::ExpectEnabled, L"", L"", false, 0, 0, 1, 0, 0},
    {L"dialog-lines 1006 Line1 \"\"", StepVerb::DialogLines, L"", L"Line1", false, 0, 0, 1006, 0, 0},
    {L"wait-end 2", StepVerb::WaitEnd, L"", L"", false, 0, 0, 0, 0, 2000},
    {L"wait-file %TEMP%\\done.txt 5", StepVerb::WaitFile, L"", L"%TEMP%\\done.txt", false, 0, 0, 0, 0, 5000},
    {L"wait-status 1 \"\" 15", StepVerb::WaitStatus, L"", L"", false, 1, 0, 0, 0, 15000},
    {L"expect-reg HKCU\\Software\\Varnefold\\Window Left 100", StepVerb::ExpectReg, L"HKCU\\Software\\Varnefold\\Window",
     L"Left", false, 0, 0, 0, 0, 0},
    {L"service stop", StepVerb::Service, L"", L"stop", false, 0, 0, 0, 0, 60000},
    {L"service start 90", StepVerb::Service, L"", L"start", false, 0, 0, 0, 0, 90000},
    {L"wait-text 219 NTFS 30", StepVerb::WaitText, L"", L"NTFS", false, 0, 0, 219, 0, 30000},
    {L"dialog-rows 243 210", StepVerb::DialogRows, L"", L"", false, 0, 210, 243, 0, 0},
    {L"dialog-rows 243", StepVerb::DialogRows, L"", L"", false, 0, kNoCountControl, 243, 0, 0},
    {L"expect-check 12 1", StepVerb::ExpectCheck, L"", L"", false, 1, 0, 12, 0, 0},
    {L"expect-tabs 266 1", StepVerb::ExpectTabs, L"", L"", false, 1, 0, 266, 0, 0},
    {L"click-row 243 0", StepVerb::ClickRow, L"", L"", false, 0, 0, 243, 0, 0},
    {L"click-row 243 7", StepVerb::ClickRow, L"", L"", false, 7, 0, 243, 0, 0},
    {L"expect-check 2 0", StepVerb::ExpectCheck, L"", L"", false, 0, 0, 2, 0, 0},
    {L"expect-check 0x1E 2", StepVerb::ExpectCheck, L"", L"", false, 2, 0, 30, 0, 0},
};

TEST(StepLanguage, ClickInNamesTheWindowThatHoldsTheControl)
{
    PROBE_STEP step;
    std::wstring strError;
    ASSERT_TRUE(ParseStep(L"click-in 0x3FC 38", step, strError));
    EXPECT_EQ(step.nParentId, 1020u);
    EXPECT_EQ(step.nId, 38u);
    EXPECT_FALSE(ParseStep(L"click-in 1020", step, strError)) << "both ids are needed";
    PROBE_STEP plain;
    ASSERT_TRUE(ParseStep(L"click 38", plain, strError));
    EXPECT_EQ(plain.nParentId, 0u);
}

TEST(StepLanguage, EachVerbReadsItsWords)
{
    for (const GOOD_LINE& line : kGoodLines)
    {
        SCOPED_TRACE(testing::Message() << "line: " << std::string(line.pszLine, line.pszLine + wcslen(line.pszLine)));
        PROBE_STEP step;
        std::wstring strError;
        ASSERT_TRUE(ParseStep(line.pszLine, step, strError))
            << std::string(strError.begin(), strError.end());
        EXPECT_EQ(line.eVerb, step.eVerb);
        EXPECT_EQ(line.pszName, step.strName);
        EXPECT_EQ(line.pszText, step.strText);
        EXPECT_EQ(line.bHasTitle, step.bHasTitle);
        EXPECT_EQ(line.nRow, step.nRow);
        EXPECT_EQ(line.nColumn, step.nColumn);
        EXPECT_EQ(line.nId, step.nId);
        EXPECT_EQ(line.nModifiers, step.nModifiers);
        EXPECT_EQ(line.dwMs, step.dwMs);
    }
    PROBE_STEP step;
    std::wstring strError;
    ASSERT_TRUE(ParseStep(L"dialog-lines 1006 Line1 \"\" \"Line 3\"", step, strError));
    EXPECT_EQ((std::vector<std::wstring>{L"Line1", L"", L"Line 3"}), step.lines);
    ASSERT_TRUE(ParseStep(L"expect-enabled 2 yes", step, strError));
    EXPECT_TRUE(step.bEnabled);
    ASSERT_TRUE(ParseStep(L"expect-reg HKLM\\Software\\Varnefold Password \"\"", step, strError));
    EXPECT_EQ(L"", step.strData);
    ASSERT_TRUE(ParseStep(L"expect-reg HKCU\\Software Style 2", step, strError));
    EXPECT_EQ(L"2", step.strData);
}

TEST(StepLanguage, ShotAreas)
{
    const std::pair<const wchar_t*, ShotArea> kAreas[] = {
        {L"shot a window", ShotArea::Window}, {L"shot a dialog", ShotArea::Dialog}, {L"shot a screen", ShotArea::Screen}};
    for (const auto& area : kAreas)
    {
        PROBE_STEP step;
        std::wstring strError;
        ASSERT_TRUE(ParseStep(area.first, step, strError));
        EXPECT_EQ(area.second, step.eArea);
    }
}

// Each faulty line is refused with a message that names what is wrong.
TEST(StepLanguage, FaultyLinesSayWhy)
{
    const std::pair<const wchar_t*, const wchar_t*> kBadLines[] = {
        {L"wait-windows VfFrame", L"unknown step \"wait-windows\""},
        {L"\"rows\"", L"a step starts with its verb"},
        {L"wait-window", L"wait-window: CLASS is missing"},
        {L"wait-window VfFrame \"a title\" 0", L"SECONDS must be a number from 1 to 600, not \"0\""},
        {L"wait-window VfFrame title 601", L"SECONDS must be a number from 1 to 600"},
        {L"wait-window VfFrame title 5 more", L"too many words from \"more\" on"},
        {L"wait-dialog \"Analyze finished", L"a quoted text has no closing quote"},
        {L"wait-dialog \"Analyze\"finished", L"a quoted text must be followed by a blank"},
        {L"expect-row 1 1", L"expect-row: TEXT is missing"},
        {L"expect-row -1 0 x", L"ROW must be a number from 0 to 999999, not \"-1\""},
        {L"expect-row \"1\" 0 x", L"ROW must be a number"},
        {L"wait-row 1 1 x", L"wait-row: SECONDS is missing"},
        {L"expect-rows", L"N is missing"},
        {L"rows 3", L"rows: too many words from \"3\" on"},
        {L"status 256 x", L"PANE must be a number from 0 to 255"},
        {L"click 0x10000", L"ID must be a number from 0 to 65535, not \"0x10000\""},
        {L"click 0x", L"ID must be a number"},
        {L"select 32827", L"select: INDEX is missing"},
        {L"select 32827 -1", L"INDEX must be a number from 0 to 32767, not \"-1\""},
        {L"select 32827 1 2", L"select: too many words from \"2\" on"},
        {L"click-at 59664 30", L"click-at: Y is missing"},
        {L"click-at 59664 30 -1", L"Y must be a number from 0 to 32767, not \"-1\""},
        {L"command 12a", L"ID must be a number"},
        {L"key 0", L"VK must be a key code from 1 to 254"},
        {L"key F25", L"VK must be a key code"},
        {L"key f5", L"VK must be a key code"},
        {L"key F5 control", L"a modifier must be ctrl, shift or alt, not \"control\""},
        {L"key F5 ctrl ctrl", L"the modifier ctrl is named twice"},
        {L"shot ../up window", L"NAME must be letters, digits"},
        {L"shot .hidden window", L"NAME must be letters, digits"},
        {L"shot a\\b window", L"NAME must be letters, digits"},
        {L"shot list frame", L"the area must be window, dialog or screen, not \"frame\""},
        {L"menu-shot", L"NAME is missing"},
        {L"sleep 600001", L"MS must be a number from 0 to 600000"},
        {L"expect-enabled 1 maybe", L"the state must be yes or no, not \"maybe\""},
        {L"expect-check 12 3", L"STATE must be a number from 0 to 2"},
        {L"expect-tabs 266", L"expect-tabs: COUNT is missing"},
        {L"expect-tabs 266 1 2", L"expect-tabs: too many words from \"2\" on"},
        {L"expect-check 12", L"expect-check: STATE is missing"},
        {L"expect-check 12 yes", L"STATE must be a number from 0 to 2, not \"yes\""},
        {L"click-row 243", L"click-row: ROW is missing"},
        {L"click-row 243 -1", L"ROW must be a number from 0 to 65535, not \"-1\""},
        {L"dialog-rows 243 210 1", L"dialog-rows: too many words from \"1\" on"},
        {L"dialog-lines 1006", L"dialog-lines: TEXT is missing"},
        {L"wait-end", L"wait-end: SECONDS is missing"},
        {L"wait-status 1 x", L"wait-status: SECONDS is missing"},
        {L"expect-reg HKCU\\Software Left", L"expect-reg: DATA is missing"},
        {L"expect-reg Software\\Varnefold Left 1", L"the key must start with HKCU\\ or HKLM\\"},
        {L"service restart", L"the service can be told stop or start, not \"restart\""},
    };
    for (const auto& bad : kBadLines)
    {
        PROBE_STEP step;
        std::wstring strError;
        EXPECT_FALSE(ParseStep(bad.first, step, strError)) << std::string(bad.first, bad.first + wcslen(bad.first));
        EXPECT_NE(std::wstring::npos, strError.find(bad.second))
            << std::string(strError.begin(), strError.end()) << " | expected: "
            << std::string(bad.second, bad.second + wcslen(bad.second));
    }
}

class StepFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t szFolder[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, szFolder));
        m_strPath = std::wstring(szFolder) + L"guiprobe_steps_" + std::to_wstring(::GetCurrentProcessId()) + L".steps";
    }
    void TearDown() override { ::DeleteFileW(m_strPath.c_str()); }
    void Write(const std::string& bytes)
    {
        FILE* pFile = _wfopen(m_strPath.c_str(), L"wb");
        ASSERT_NE(nullptr, pFile);
        ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), pFile));
        ASSERT_EQ(0, fclose(pFile));
    }
    std::wstring m_strPath;
};

TEST_F(StepFileTest, CommentsAndBlankLinesAreSkippedAndLinesKeepTheirNumbers)
{
    Write("\xEF\xBB\xBF# a comment\r\n\r\n   \twait-window VfFrame\r\n  # indented comment\nstatus 0 \"Gr\xC3\xBC\xC3\x9F" "e\"");
    std::vector<PROBE_STEP> steps;
    std::vector<std::wstring> errors;
    ASSERT_TRUE(ReadStepFile(m_strPath, steps, errors));
    ASSERT_EQ(2u, steps.size());
    EXPECT_EQ(3, steps[0].nLine);
    EXPECT_EQ(L"wait-window VfFrame", steps[0].strSource);
    EXPECT_EQ(5, steps[1].nLine);
    EXPECT_EQ(L"Gr\u00FC\u00DFe", steps[1].strText);
}

// Every faulty line is reported at once, and no step is handed out to run.
TEST_F(StepFileTest, AllFaultsAreReportedWithTheirLines)
{
    Write("rows\nrowz\nshot a window\nshot a screen\nsleep x\n");
    std::vector<PROBE_STEP> steps;
    std::vector<std::wstring> errors;
    EXPECT_FALSE(ReadStepFile(m_strPath, steps, errors));
    ASSERT_EQ(3u, errors.size());
    EXPECT_EQ(L"line 2: unknown step \"rowz\"", errors[0]);
    EXPECT_EQ(L"line 4: the picture a is taken twice", errors[1]);
    EXPECT_EQ(0u, errors[2].find(L"line 5: sleep: MS must be"));
}

TEST_F(StepFileTest, UnreadableFilesAreRefused)
{
    Write("status 0 \"\xC3\"\n");
    std::vector<PROBE_STEP> steps;
    std::vector<std::wstring> errors;
    EXPECT_FALSE(ReadStepFile(m_strPath, steps, errors));
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(L"the step file is not UTF-8", errors[0]);

    errors.clear();
    EXPECT_FALSE(ReadStepFile(m_strPath + L".missing", steps, errors));
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0u, errors[0].find(L"cannot open the step file"));
}
} // namespace
