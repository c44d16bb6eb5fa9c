#include "updater/UpdateOptions.h"
#include "updater/UrlRules.h"
#include "updater/WhatsNewText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Narrow(const std::u16string& str)
{
    return std::string(str.begin(), str.end());
}

TEST(UpdateOptions, TakesNameUrlAndVersionAfterTheProgram)
{
    CUpdateOptions options;
    EXPECT_TRUE(options.Parse({u"/N:ignored", u"/N:Varnefold", u"/U:http://h/x", u"/V:1.0.0.0"}));
    EXPECT_EQ(Narrow(options.GetProductName()), "Varnefold");
    EXPECT_EQ(Narrow(options.GetUrl()), "http://h/x");
    EXPECT_EQ(Narrow(options.GetVersion()), "1.0.0.0");
}

TEST(UpdateOptions, AnotherLetterEndsTheSetUpAndShortFieldsHaveNoValue)
{
    CUpdateOptions options;
    EXPECT_FALSE(options.Parse({u"Update.exe", u"/N:a", u"/X:1", u"/U:http://h/x"}));
    EXPECT_EQ(Narrow(options.GetProductName()), "a");
    EXPECT_TRUE(options.GetUrl().empty());

    CUpdateOptions shortFields;
    EXPECT_TRUE(shortFields.Parse({u"Update.exe", u"/U", u"/V:"}));
    EXPECT_TRUE(shortFields.GetUrl().empty());
    EXPECT_TRUE(shortFields.GetVersion().empty());
    EXPECT_FALSE(CUpdateOptions().Parse({u"Update.exe", u"/"}));
    EXPECT_FALSE(CUpdateOptions().Parse({u"Update.exe", u"/n:lower"}));
    EXPECT_TRUE(CUpdateOptions().Parse({u"Update.exe"}));
}

TEST(UrlRules, TargetNameIsAPlainFileNameFromThePath)
{
    const struct
    {
        const char16_t* pszUrl;
        const char* pszName; // null: refused
    } aCases[] = {
        {u"http://h/setup.exe", "setup.exe"},
        {u"http://h/dir/setup.exe?a=b#top", "setup.exe"},
        {u"https://h:8080/a/b/Setup-3.6.msi", "Setup-3.6.msi"},
        {u"http://h/dir/", nullptr},
        {u"http://h", nullptr},
        {u"http://h/?a=b", nullptr},
        {u"http://h/dir/setup.exe/?x", nullptr},
        {u"http://h/..", nullptr},
        {u"http://h/.", nullptr},
        {u"http://h/a\\b", nullptr},
        {u"http://h/con", nullptr},
        {u"http://h/CON.exe", nullptr},
        {u"http://h/nul", nullptr},
        {u"http://h/lpt1.txt", nullptr},
        {u"http://h/com9", nullptr},
        {u"http://h/com0", "com0"},
        {u"http://h/console.exe", "console.exe"},
        {u"http://h/a:b", nullptr},
        {u"http://h/a*b", nullptr},
        {u"http://h/a\"b", nullptr},
        {u"http://h/a|b", nullptr},
        {u"http://h/a<b>", nullptr},
        {u"http://h/a\tb", nullptr},
        {u"setup.exe", nullptr},
    };
    for (const auto& test : aCases)
    {
        std::u16string strUrl = test.pszUrl;
        SCOPED_TRACE(Narrow(strUrl));
        std::u16string strName = u"left over";
        EXPECT_EQ(TargetNameFromUrl(strUrl, strName), test.pszName != nullptr);
        EXPECT_EQ(Narrow(strName), test.pszName != nullptr ? test.pszName : "");
    }
}

TEST(UrlRules, OnlyWebAddressesAreOpened)
{
    EXPECT_TRUE(IsWebUrl(u"http://h/x"));
    EXPECT_TRUE(IsWebUrl(u"HTTPS://h/x"));
    for (const char16_t* pszUrl : {u"file:///C:/windows/notepad.exe", u"mailto:a@b", u"javascript:alert(1)",
                                   u"C:\\setup.exe", u"\\\\server\\share\\x.exe", u"http:/h", u"", u"ftp://h/x"})
        EXPECT_FALSE(IsWebUrl(pszUrl)) << Narrow(pszUrl);
}

TEST(WhatsNewText, BreaksLinesWithCrLf)
{
    EXPECT_EQ(Narrow(WhatsNewText(u"Line1\\nLine2")), "Line1\r\nLine2");
    EXPECT_EQ(Narrow(WhatsNewText(u"a\\r\\nb")), "a\r\nb");
    EXPECT_EQ(Narrow(WhatsNewText(u"a\nb\r\nc")), "a\r\nb\r\nc");
    EXPECT_EQ(Narrow(WhatsNewText(u"\\n")), "\r\n");
    EXPECT_EQ(Narrow(WhatsNewText(u"a\\xb\\")), "a\\xb\\");
    EXPECT_EQ(Narrow(WhatsNewText(u"")), "");
}

} // namespace

namespace {

TEST(UrlRules, BrowserCommandLineKeepsTheUrlOneArgument)
{
    const struct
    {
        const char16_t* pszCommand;
        const char16_t* pszUrl;
        const char* pszLine;
    } aCases[] = {
        {u"\"C:\\b\\browser.exe\" -osint -url \"%1\"", u"http://h/x", "\"C:\\b\\browser.exe\" -osint -url  \"http://h/x\""},
        {u"C:\\b\\browser.exe %1", u"http://h/a b", "C:\\b\\browser.exe  \"http://h/a b\""},
        {u"browser.exe", u"http://h/x\" --evil \"y", "browser.exe \"http://h/x%22 --evil %22y\""},
    };
    for (const auto& test : aCases)
        EXPECT_EQ(Narrow(BrowserCommandLine(test.pszCommand, test.pszUrl)), test.pszLine);
}

} // namespace
