#include "gui/CommandTail.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
TEST(CommandTail, IsWhatFollowsTheProgramsName)
{
    struct stCase
    {
        const wchar_t* pszCommandLine;
        const wchar_t* pszTail;
    } cases[] = {
        {L"\"C:\\Program Files\\Varnefold\\Varnefold.exe\" /minimize", L"/minimize"},
        {L"C:\\Varnefold\\Varnefold.exe /minimize", L"/minimize"},
        {L"Varnefold.exe", L""},
        {L"Varnefold.exe \t  a  \"b c\" ", L"a  \"b c\" "},
        {L"\"Varnefold.exe\"/minimize", L"/minimize"},
        {L"\"Varnefold.exe\" x", L"x"},
        {L"\"unterminated /minimize", L""},
        {L"", L""},
        {nullptr, L""},
    };
    for (const stCase& c : cases)
        EXPECT_EQ(CommandTail(c.pszCommandLine).Str(), c.pszTail)
            << (c.pszCommandLine != nullptr ? c.pszCommandLine : L"(null)");
}

TEST(CommandTail, HandedOverTextNeverReadsPastItsBytes)
{
    // No terminator, an odd byte count, a terminator inside, no data at all.
    wchar_t szBare[] = {L'a', L'b', L'c', L'X'};
    wchar_t szInside[] = {L'a', L'\0', L'c', L'\0'};
    struct stCase
    {
        void* pData;
        DWORD cbData;
        const wchar_t* pszText;
    } cases[] = {
        {szBare, 6, L"abc"},
        {szBare, 7, L"abc"},
        {szBare, 0, L""},
        {szInside, 8, L"a"},
        {nullptr, 8, L""},
    };
    for (const stCase& c : cases)
    {
        COPYDATASTRUCT stCopy = {0, c.cbData, c.pData};
        EXPECT_EQ(CopyDataText(&stCopy).Str(), c.pszText);
    }
    EXPECT_EQ(CopyDataText(nullptr).Str(), L"");
}

TEST(CommandTail, OnlyMinimizeKeepsToTheTray)
{
    EXPECT_TRUE(AsksToStayHidden(L"/minimize"));
    EXPECT_TRUE(AsksToStayHidden(L"x /minimize"));
    EXPECT_TRUE(AsksToStayHidden(L"x /MINIMIZE"));
    EXPECT_FALSE(AsksToStayHidden(L""));
    EXPECT_FALSE(AsksToStayHidden(L"/min"));
    EXPECT_FALSE(AsksToStayHidden(nullptr));
}
} // namespace
