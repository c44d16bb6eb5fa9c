#include "cmdtool/CmdOptions.h"
#include "base/StringParser.h"
#include "protocol/NetDefragCommand.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct stOptionsCase
{
    std::wstring strArguments;
    CCmdOptions::EOutcome eOutcome;
    int nExitCode;
    int32_t nAction;
    const wchar_t* pszDrive;
    const wchar_t* pszError;
};

const CCmdOptions::EOutcome Act = CCmdOptions::OutcomeRun;
const CCmdOptions::EOutcome Help = CCmdOptions::OutcomeHelp;
const CCmdOptions::EOutcome Fail = CCmdOptions::OutcomeFail;
const int32_t None = CCmdOptions::ActionNone;

TEST(CmdOptions, ReadsTheFieldsInOrder)
{
    const std::wstring strGuid = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000045}\\";
    const std::wstring strLongest(CCmdOptions::DriveBufferUnits - 1, L'\\');
    const stOptionsCase aCases[] = {
        {L"", Help, 1, None, L"C:\\", L""},
        {L"   ", Help, 1, None, L"C:\\", L""},
        {L"/H", Help, 0, None, L"C:\\", L""},
        {L"-h", Help, 0, None, L"C:\\", L""},
        {L"/Help", Help, 0, None, L"C:\\", L""},
        {L"/A:List /H /X", Help, 0, CCmdOptions::ActionList, L"C:\\", L""},
        {L"/X /H", Fail, 1, None, L"C:\\", L"Error: No data for option: /X\n"},
        {L"/H:", Fail, 1, None, L"C:\\", L"Error: No data for option: /H:\n"},
        {L"/A:", Fail, 1, None, L"C:\\", L"Error: No data for option: /A:\n"},
        {L"/D:", Fail, 1, None, L"C:\\", L"Error: No data for option: /D:\n"},
        {L"/X:1", Fail, 1, None, L"C:\\", L"Error: Unknown option: /X:1\n"},
        {L"/A:Foo", Fail, 1, None, L"C:\\", L"Error: Unknown action: /A:Foo\n"},
        {L"/A:Lists", Fail, 1, None, L"C:\\", L"Error: Unknown action: /A:Lists\n"},
        {L"/D:C", Fail, 1, None, L"C:\\", L"Error: no action defined\n"},
        {L"/A:list", Act, 0, CCmdOptions::ActionList, L"C:\\", L""},
        {L"/A:WAIT", Act, 0, CCmdOptions::ActionWait, L"C:\\", L""},
        {L"/a:defragquick /d:e", Act, 0, CMD_DEFRAG_QUICK, L"e:\\", L""},
        {L"-A=DefragComplete -D=Ex", Act, 0, CMD_DEFRAG_COMPLETE, L"E:\\", L""},
        {L"/A:DefragAdvanced", Act, 0, CMD_DEFRAG_ADVANCED, L"C:\\", L""},
        {L"/A:Monitor /A:Stop", Act, 0, CMD_STOP, L"C:\\", L""},
        {L"/A:Monitor /D:\"" + strGuid + L"\"", Act, 0, CMD_MONITOR, strGuid.c_str(), L""},
        {L"/D:" + strGuid + L" /D:f /A:Stop", Act, 0, CMD_STOP, L"f:\\", L""},
        {L"/A:Stop /D:" + strLongest, Act, 0, CMD_STOP, strLongest.c_str(), L""},
        {L"/A:Stop /D:" + strLongest + L"\\", Fail, 1, None, L"C:\\", nullptr},
    };
    for (const stOptionsCase& stCase : aCases)
    {
        SCOPED_TRACE(testing::PrintToString(stCase.strArguments));
        CStringParser fields;
        fields.Split((L"VfoldCmd.exe " + stCase.strArguments).c_str(), g_parserPreset);
        CCmdOptions options;
        EXPECT_EQ(stCase.eOutcome, options.Parse(fields));
        EXPECT_EQ(stCase.nExitCode, options.GetExitCode());
        if (stCase.eOutcome == Act)
        {
            EXPECT_EQ(stCase.nAction, options.GetAction());
            EXPECT_EQ(stCase.pszDrive, options.GetDrive());
        }
        if (stCase.pszError != nullptr)
            EXPECT_EQ(stCase.pszError, options.GetError());
        else
            EXPECT_EQ(0u, options.GetError().find(L"Error: No data for option: /D:"));
    }
}

}
