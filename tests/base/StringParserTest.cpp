#include "base/StringParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const CStringParserOptions KeepTrailing(L' ', L'"', 0, true, false, false);
const CStringParserOptions NoCollapse(L' ', L'"', 0, false, false, false);
const CStringParserOptions WithEscape(L' ', L'"', L'\\', true, true, false);
const CStringParserOptions KeepQuotes(L' ', L'"', 0, true, true, true);
const CStringParserOptions CommasNoQuote(L',', 0, 0, true, true, false);

struct stSplitCase
{
    const wchar_t* pszText;
    const CStringParserOptions* pOptions;
    std::vector<std::wstring> vecFields;
};

std::vector<std::wstring> SplitAll(CStringParser& parser, const wchar_t* pszText,
                                   const CStringParserOptions& options)
{
    int nCount = parser.Split(pszText, options);
    EXPECT_EQ(nCount, parser.GetCount());
    std::vector<std::wstring> vecFields;
    for (int i = 0; i < nCount; ++i)
        vecFields.push_back(parser.GetAt(i));
    EXPECT_EQ(nullptr, parser.GetAt(nCount));
    EXPECT_EQ(nullptr, parser.GetAt(-1));
    return vecFields;
}

TEST(StringParser, SplitsFieldsByTheOptions)
{
    const stSplitCase aCases[] = {
        {L"C:\\bin\\VfoldCmd.exe /A:List", &g_parserPreset, {L"C:\\bin\\VfoldCmd.exe", L"/A:List"}},
        {L"C:\\bin\\VfoldCmd.exe /A:List   ", &g_parserPreset, {L"C:\\bin\\VfoldCmd.exe", L"/A:List"}},
        {L"C:\\bin\\VfoldCmd.exe /A:List   ", &KeepTrailing, {L"C:\\bin\\VfoldCmd.exe", L"/A:List", L""}},
        {L"\"C:\\Program Files\\VfoldCmd.exe\" /H", &g_parserPreset, {L"C:\\Program Files\\VfoldCmd.exe", L"/H"}},
        {L"a \"b c\" d", &g_parserPreset, {L"a", L"b c", L"d"}},
        {L"a  b", &g_parserPreset, {L"a", L"b"}},
        {L"a  b", &NoCollapse, {L"a", L"", L"b"}},
        {L"\"a\"\"b\"", &g_parserPreset, {L"a\"b"}},
        // The doubled quote ends the quoting, so the last quote opens it again.
        {L"x \"a\"\"b\" y", &g_parserPreset, {L"x", L"a\"b y"}},
        {L"p /D:\"\\\\?\\Volume{1}\\\"", &g_parserPreset, {L"p", L"/D:\\\\?\\Volume{1}\\"}},
        {L"\"", &g_parserPreset, {L""}},
        {L"a \"b c", &g_parserPreset, {L"a", L"b c"}},
        {L"\\\\\"x\"", &WithEscape, {L"\\x"}},
        {L"\\\"x", &WithEscape, {L"\"x"}},
        {L"a\\\\b \\\\\\\"c", &WithEscape, {L"a\\\\b", L"\\\"c"}},
        {L"a \"b c\"", &KeepQuotes, {L"a", L"\"b c\""}},
        {L"a,\"b,c\",,d", &CommasNoQuote, {L"a", L"\"b", L"c\"", L"d"}},
    };
    for (const stSplitCase& stCase : aCases)
    {
        CStringParser parser;
        EXPECT_EQ(stCase.vecFields, SplitAll(parser, stCase.pszText, *stCase.pOptions))
            << "text: " << testing::PrintToString(std::wstring(stCase.pszText));
    }
}

TEST(StringParser, EmptyTextGivesNoFieldAndASecondSplitReplacesTheFirst)
{
    CStringParser parser;
    EXPECT_EQ(0, parser.Split(nullptr, g_parserPreset));
    EXPECT_EQ(0, parser.Split(L"", g_parserPreset));
    EXPECT_EQ(nullptr, parser.GetAt(0));

    EXPECT_EQ(3, parser.Split(L"a b c", g_parserPreset));
    EXPECT_EQ((std::vector<std::wstring>{L"x"}), SplitAll(parser, L"x", g_parserPreset));
    parser.Free();
    EXPECT_EQ(0, parser.GetCount());
    EXPECT_EQ(nullptr, parser.GetAt(0));
}

}
