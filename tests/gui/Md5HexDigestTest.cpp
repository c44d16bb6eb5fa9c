#include "gui/Md5HexDigest.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
TEST(Md5HexDigest, MatchesTheReferenceValuesAcrossTheBlockBoundary)
{
    struct stCase
    {
        std::string strText;
        const char* pszDigest;
    };
    const stCase aCases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {"password", "5f4dcc3b5aa765d61d8327deb882cf99"},
    };
    for (const stCase& c : aCases)
    {
        std::string strDigest;
        ASSERT_TRUE(Md5HexDigest(c.strText.c_str(), strDigest)) << "length " << c.strText.size();
        EXPECT_EQ(strDigest, c.pszDigest) << "length " << c.strText.size();
    }
}

TEST(Md5HexDigest, PasswordDigestIsUpperCaseOverTheAnsiText)
{
    struct stCase
    {
        const wchar_t* pszPassword;
        const wchar_t* pszDigest;
    };
    const stCase aCases[] = {
        {L"", L"D41D8CD98F00B204E9800998ECF8427E"},
        {L"password", L"5F4DCC3B5AA765D61D8327DEB882CF99"},
    };
    for (const stCase& c : aCases)
    {
        CString strDigest;
        ASSERT_TRUE(PasswordDigest(c.pszPassword, strDigest));
        EXPECT_EQ(strDigest.Str(), c.pszDigest);
    }
    // A character outside ASCII is digested as its byte in the ANSI code page.
    if (::GetACP() == 1252)
    {
        CString strDigest;
        ASSERT_TRUE(PasswordDigest(L"Passwort\x00E4", strDigest));
        EXPECT_EQ(strDigest.Str(), L"792AACCAD087CB5537DAC2DFBB6F8BE1");
    }
}

TEST(Md5HexDigest, NoTextNoDigest)
{
    std::string strDigest = "x";
    EXPECT_FALSE(Md5HexDigest(nullptr, strDigest));
    EXPECT_TRUE(strDigest.empty());
}
} // namespace
