#include "base/UnicodeString.h"

#include "tests/base/StringText.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <string>

namespace {

TEST(UnicodeString, EmptyFormsHaveNullBufferAndCompareEqual)
{
    CUnicodeString fromNullWide(static_cast<const wchar_t*>(nullptr));
    CUnicodeString fromNullNarrow(static_cast<const char*>(nullptr));
    CUnicodeString assigned(L"x");
    assigned = static_cast<const wchar_t*>(nullptr);
    CUnicodeString copied(fromNullWide);
    for (const CUnicodeString* s : {&fromNullWide, &fromNullNarrow, &assigned, &copied})
    {
        EXPECT_EQ(nullptr, s->GetBuffer());
        EXPECT_EQ(0, s->GetLength());
        EXPECT_TRUE(*s == CUnicodeString());
        EXPECT_TRUE(*s == L"");
    }
}

TEST(UnicodeString, ConstructionAssignmentAndConcatenation)
{
    CUnicodeString a("C:");
    CUnicodeString b = a + L"\\" + CUnicodeString("dir") + '\\';
    EXPECT_EQ(L"C:\\dir\\", Text(b));
    EXPECT_EQ(L"x.txt", Text("x" + CUnicodeString(L".txt")));
    EXPECT_EQ(L"[C:", Text(L"[" + a));
    EXPECT_EQ(L"C:\n", Text(a + "\n"));
    CUnicodeString c;
    c += L"";
    EXPECT_EQ(nullptr, c.GetBuffer()) << "empty plus empty stays empty";
    c += 'a';
    c += L'b';
    c += "cd";
    c += c;
    EXPECT_EQ(L"abcdabcd", Text(c));
    c = L'z';
    EXPECT_EQ(L"z", Text(c));
    c = 'y';
    EXPECT_EQ(L"y", Text(c));
    c.Empty();
    EXPECT_EQ(nullptr, c.GetBuffer());
}

TEST(UnicodeString, NativeViewRoundTrip)
{
    CUnicodeString s(L"\\??\\C:\\file");
    UNICODE_STRING* p = s.GetNativeString();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(2 * s.GetLength(), p->Length);
    EXPECT_EQ(p->Length, p->MaximumLength);
    EXPECT_EQ(s.GetBuffer(), p->Buffer);
    UNICODE_STRING stPart = *p;
    stPart.Length = 6;
    EXPECT_EQ(L"\\??", Text(CUnicodeString(stPart)));
}

TEST(UnicodeString, ComparisonsAreOrdinalCodeUnitByCodeUnit)
{
    struct { const wchar_t* a; const char* b; int nCompare; int nNoCase; } cases[] = {
        {L"abc", "abc", 0, 0},
        {L"abc", "abd", -1, -1},
        {L"ABC", "abc", -1, 0},
        {L"ab", "abc", -1, -1},
        {L"b", "abc", 1, 1},
        {L"", "a", -1, -1},
    };
    for (const auto& c : cases)
    {
        CUnicodeString a(c.a);
        EXPECT_EQ(c.nCompare, a.Compare(c.b)) << c.b;
        EXPECT_EQ(c.nNoCase, a.CompareNoCase(c.b)) << c.b;
        EXPECT_EQ(c.nCompare, a.Compare(CUnicodeString(c.b))) << c.b;
        EXPECT_EQ(c.nCompare != 0, a != c.b) << c.b;
    }
    EXPECT_EQ(0, CUnicodeString(L"Abc").CollateNoCase("aBC"));
    EXPECT_EQ(0, CUnicodeString(L"abc").Collate("abc"));
}

// Without case, strings compare as the file system compares names: after its upper-casing,
// which reaches beyond ASCII, and code unit by code unit.
TEST(UnicodeString, NoCaseComparisonFollowsTheFileSystem)
{
    struct { const wchar_t* a; const wchar_t* b; int nNoCase; } cases[] = {
        {L"C:\\Windows\\\u00C4rger.dll", L"C:\\WINDOWS\\\u00C4RGER.DLL", 0},
        {L"\u00E4\u00F6\u00FC\u00E9\u00F8", L"\u00C4\u00D6\u00DC\u00C9\u00D8", 0},
        {L"\u0436\u0451\u043B\u0443\u0434\u044C", L"\u0416\u0401\u041B\u0423\u0414\u042C", 0},
        {L"\u03B1\u03B2\u03B3", L"\u0391\u0392\u0393", 0},
        {L"\u00E4", L"a", 1},
        {L"\u00DF", L"SS", 1},
        {L"a", L"B", -1},
        {L"_", L"a", 1},
        {L"abc", L"ABCD", -1},
        {L"", L"", 0},
        {L"", L"a", -1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        CUnicodeString a(c.a);
        CUnicodeString b(c.b);
        EXPECT_EQ(c.nNoCase, a.CompareNoCase(b));
        EXPECT_EQ(-c.nNoCase, b.CompareNoCase(a));
        EXPECT_EQ(c.nNoCase, CUnicodeString::CompareOrdinalNoCase(c.a, a.GetLength(), c.b, b.GetLength()));
    }
}

TEST(UnicodeString, Searches)
{
    EXPECT_EQ(2, CUnicodeString(L"C:\\a").Find('\\'));
    EXPECT_EQ(4, CUnicodeString(L"C:\\a\\b").ReverseFind('\\'));
    EXPECT_EQ(-1, CUnicodeString(L"C:").ReverseFind(L'\\'));
    CUnicodeString s(L"abcabc");
    struct { const wchar_t* text; int nStart; int nExpected; } finds[] = {
        {L"bc", 0, 1}, {L"bc", 2, 4}, {L"bc", 5, -1}, {L"abcabc", 0, 0},
        {L"abcabcd", 0, -1}, {L"", 0, -1}, {L"c", -1, -1}, {L"c", 99, -1},
    };
    for (const auto& f : finds)
        EXPECT_EQ(f.nExpected, s.Find(f.text, f.nStart)) << f.text << " from " << f.nStart;
    EXPECT_EQ(2, s.FindOneOf(L"xc"));
    EXPECT_EQ(-1, s.FindOneOf(L"xyz"));
    EXPECT_EQ(-1, CUnicodeString().Find(L'a'));
    EXPECT_EQ(L"bca", Text(s.Mid(1, 3)));
    EXPECT_EQ(L"bc", Text(s.Mid(4, 99)));
    EXPECT_EQ(nullptr, s.Mid(6, 1).GetBuffer());
    EXPECT_EQ(L"ab", Text(s.Left(2)));
    EXPECT_EQ(L"abcabc", Text(s.Left(100)));
}

TEST(UnicodeString, Trims)
{
    struct { const wchar_t* text; const wchar_t* set; bool bRight; const wchar_t* expected; } cases[] = {
        {L"C:\\dir\\\\", L"\\", true, L"C:\\dir"},
        {L"\\\\a\\", L"\\", false, L"a\\"},
        {L"\\\\\\", L"\\", true, L""},
        {L"abc", L"\\", true, L"abc"},
        {L" \t a b \r\n", nullptr, true, L" \t a b"},
        {L" \t a b \r\n", nullptr, false, L"a b \r\n"},
        {L"   ", nullptr, false, L""},
    };
    for (const auto& c : cases)
    {
        CUnicodeString s(c.text);
        int n = c.set != nullptr ? (c.bRight ? s.TrimRight(c.set) : s.TrimLeft(c.set))
                                 : (c.bRight ? s.TrimRight() : s.TrimLeft());
        EXPECT_EQ(c.expected, Text(s)) << c.text;
        EXPECT_EQ(static_cast<int>(wcslen(c.expected)), n) << c.text;
    }
}

TEST(UnicodeString, EditingOperations)
{
    struct { const wchar_t* text; const wchar_t* oldText; const wchar_t* newText; int nResult; const wchar_t* expected; } replaces[] = {
        {L"abab", L"ab", L"x", 2, L"xx"},
        {L"aaa", L"a", L"aa", 6, L"aaaaaa"},
        {L"aaaa", L"aa", L"a", 2, L"aa"},
        {L"abc", L"b", L"", 0, L"ac"},
        {L"abc", L"abc", L"", 0, L""},
        {L"abc", L"x", L"y", 0, L"abc"},
    };
    for (const auto& r : replaces)
    {
        CUnicodeString s(r.text);
        EXPECT_EQ(r.nResult, s.Replace(r.oldText, r.newText)) << r.text;
        EXPECT_EQ(r.expected, Text(s)) << r.text;
    }
    CUnicodeString s(L"a.b.c");
    EXPECT_EQ(2, s.Remove('.'));
    EXPECT_EQ(L"abc", Text(s));
    EXPECT_EQ(5, s.Insert(1, "XY"));
    EXPECT_EQ(L"aXYbc", Text(s));
    EXPECT_EQ(6, s.Insert(99, L"!"));
    EXPECT_EQ(L"aXYbc!", Text(s));
    s.SetAt(0, 'Z');
    s.SetAt(99, 'Q');
    EXPECT_EQ(L"ZXYbc!", Text(s));
    EXPECT_STREQ("ZXYbc!", s.GetNarrow());
    EXPECT_STREQ("", CUnicodeString().GetNarrow());
    wchar_t* p = s.GetBufferSetLength(3);
    ASSERT_NE(nullptr, p);
    wmemcpy(p, L"new", 3);
    EXPECT_EQ(L"new", Text(s));
}

TEST(UnicodeString, FormatCutsAt1023)
{
    CUnicodeString s;
    std::wstring strLong(2000, L'w');
    s.Format(L"%ls", strLong.c_str());
    EXPECT_EQ(1023, s.GetLength());
    EXPECT_EQ(L'\0', s.GetBuffer()[1023]);
    s.Format(L"%d-%ls", 42, L"x");
    EXPECT_EQ(L"42-x", Text(s));
    std::string strNarrow(2000, 'n');
    s.Format("%s", strNarrow.c_str());
    EXPECT_EQ(1023, s.GetLength());
    s.Format("%u:%s", 7u, "ok");
    EXPECT_EQ(L"7:ok", Text(s));
}

// The narrow copy holds the whole text whatever the code page (the run under code page 932,
// set up by the build, names that page in VF_EXPECTED_ACP), and converts back to it.
TEST(UnicodeStringNarrow, WholeTextInTheAnsiCodePage)
{
    char szExpected[8] = {};
    if (::GetEnvironmentVariableA("VF_EXPECTED_ACP", szExpected, sizeof(szExpected)) > 0)
    {
        ASSERT_EQ(static_cast<UINT>(atoi(szExpected)), ::GetACP());
    }
    const wchar_t* const texts[] = {L"C:\\\u65E5\u672C\\a.txt", L"\u30D5\u30A1\u30A4\u30EB", L"plain.txt", L""};
    for (size_t i = 0; i < sizeof(texts) / sizeof(texts[0]); ++i)
    {
        SCOPED_TRACE(testing::Message() << "text " << i);
        const wchar_t* pszText = texts[i];
        CUnicodeString s(pszText);
        int nBytes = static_cast<int>(wcslen(pszText)) > 0
                         ? ::WideCharToMultiByte(CP_ACP, 0, pszText, -1, nullptr, 0, nullptr, nullptr) - 1
                         : 0;
        std::string strExpected(static_cast<size_t>(nBytes), '\0');
        if (nBytes > 0)
            ::WideCharToMultiByte(CP_ACP, 0, pszText, -1, &strExpected[0], nBytes + 1, nullptr, nullptr);
        EXPECT_EQ(strExpected, std::string(s.GetNarrow()));
        if (::GetACP() == 932)
        {
            EXPECT_TRUE(CUnicodeString(s.GetNarrow()) == pszText) << "the copy converts back";
        }
    }
}

// The length is 16 bits: growing past it must cut or refuse, never wrap.
TEST(UnicodeString, LengthLimitIsNeverWrapped)
{
    std::wstring strBig(CUnicodeString::MaxLength - 1, L'a');
    CUnicodeString s(strBig.c_str());
    s += L"bcd";
    EXPECT_EQ(CUnicodeString::MaxLength, s.GetLength());
    EXPECT_EQ(L'b', s.GetBuffer()[CUnicodeString::MaxLength - 1]);
    s += L'x';
    EXPECT_EQ(CUnicodeString::MaxLength, s.GetLength());
    CUnicodeString sum = s + s;
    EXPECT_EQ(CUnicodeString::MaxLength, sum.GetLength());

    EXPECT_EQ(-1, s.Insert(0, L"q"));
    EXPECT_EQ(CUnicodeString::MaxLength, s.GetLength());
    EXPECT_EQ(L'a', s.GetBuffer()[0]);

    CUnicodeString r(std::wstring(40000, L'a').c_str());
    EXPECT_EQ(-1, r.Replace(L"a", L"aa"));
    EXPECT_EQ(40000, r.GetLength());
    EXPECT_EQ(nullptr, r.GetNativeString()) << "byte length would not fit 16 bits";
    EXPECT_EQ(nullptr, r.GetBufferSetLength(CUnicodeString::MaxLength + 1));
    EXPECT_EQ(40000, r.GetLength());

    CUnicodeString t(std::wstring(CUnicodeString::MaxNativeLength, L'n').c_str());
    ASSERT_NE(nullptr, t.GetNativeString());
    EXPECT_EQ(0xFFFE, t.GetNativeString()->Length);

    CUnicodeString huge(std::wstring(70000, L'h').c_str());
    EXPECT_EQ(CUnicodeString::MaxLength, huge.GetLength());
}

} // namespace
