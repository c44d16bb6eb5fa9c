#include "updater/UpdateCheck.h"
#include "updater/UpdateResource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::u16string ServerUrl(const char* pszPath)
{
    const char* pszPort = std::getenv("VF_UPDATE_SERVER_PORT");
    std::string strUrl = std::string("http://127.0.0.1:") + (pszPort != nullptr ? pszPort : "0") + pszPath;
    return std::u16string(strUrl.begin(), strUrl.end());
}

std::wstring Wide(const std::u16string& str)
{
    return std::wstring(str.begin(), str.end());
}

struct stCheckCase
{
    const char* pszWhat;
    std::u16string strUrl;
    const char16_t* pszInstalled;
    UINT nStatusText;
    bool bOkEnabled;
    const wchar_t* pszNewVersion; // null: a string id instead
    UINT nNewVersionText;
    bool bLink;
    UINT nWhatsNewText;
};

TEST(UpdateCheck, WhatTheDialogShowsForEachDescription)
{
    const stCheckCase aCases[] = {
        {"newer", ServerUrl("/desc.xml"), u"1.0.0.0", IDS_UPDATE_NOW, true, L"3.6.0.0  (0.00 MB)", 0, true, 0},
        {"the same", ServerUrl("/desc.xml"), u"3.6", 0, false, nullptr, IDS_NEWEST_VERSION, true, 0},
        {"older", ServerUrl("/desc.xml"), u"4.0.0.0", 0, false, nullptr, IDS_NEWEST_VERSION, true, 0},
        {"installed version malformed", ServerUrl("/desc.xml"), u"", 0, false, nullptr, IDS_NEWEST_VERSION, true, 0},
        {"unknown size", ServerUrl("/desc.xml?location=/chunked"), u"1.0", IDS_UPDATE_NOW, true,
         L"3.6.0.0  (size unknown)", 0, true, 0},
        {"download not there", ServerUrl("/desc.xml?location=/404"), u"1.0", 0, false, nullptr, IDS_NEWEST_VERSION,
         true, 0},
        {"link and news that do not serve", ServerUrl("/desc.xml?link=file:///C:/windows/notepad.exe&whatsnew="),
         u"1.0", IDS_UPDATE_NOW, true, L"3.6.0.0  (0.00 MB)", 0, false, IDS_NOTHING_NEW},
        {"description missing", ServerUrl("/404"), u"1.0", IDS_CANNOT_CONNECT, false, L"", 0, false, 0},
        {"description malformed", ServerUrl("/malformed.xml"), u"1.0", IDS_UPDATE_ERROR, false, nullptr,
         IDS_FILE_NOT_FOUND, false, 0},
    };
    CAppUpdate update;
    for (const stCheckCase& test : aCases)
    {
        SCOPED_TRACE(test.pszWhat);
        CUpdateOptions options;
        ASSERT_TRUE(options.Parse({u"Update.exe", u"/N:Varnefold", u"/U:" + test.strUrl,
                                   std::u16string(u"/V:") + test.pszInstalled}));
        stUpdateView view = CUpdateCheck(update).Run(options, true);
        EXPECT_TRUE(view.bChecked);
        EXPECT_EQ(view.nStatusText, test.nStatusText);
        EXPECT_EQ(view.bOkEnabled, test.bOkEnabled);
        EXPECT_EQ(view.nNewVersionText, test.nNewVersionText);
        if (test.pszNewVersion != nullptr)
        {
            EXPECT_EQ(view.strNewVersion, test.pszNewVersion);
        }
        EXPECT_EQ(!view.strLinkUrl.empty(), test.bLink);
        EXPECT_EQ(view.nWhatsNewText, test.nWhatsNewText);
        if (test.nStatusText == IDS_CANNOT_CONNECT)
        {
            EXPECT_TRUE(view.strInstalled.empty());
            continue;
        }
        EXPECT_EQ(view.strInstalled, Wide(test.pszInstalled));
        if (test.nStatusText == IDS_UPDATE_ERROR)
            continue;
        EXPECT_EQ(view.strVersion, L"3.6.0.0");
        if (test.nWhatsNewText == 0)
        {
            EXPECT_EQ(view.strWhatsNew, L"Line1\r\nLine2");
        }
    }
}

TEST(UpdateCheck, ASetUpCutShortFetchesNothing)
{
    CAppUpdate update;
    CUpdateOptions options;
    EXPECT_FALSE(options.Parse({u"Update.exe", u"/U:" + ServerUrl("/desc.xml"), u"/X:1"}));
    stUpdateView view = CUpdateCheck(update).Run(options, false);
    EXPECT_FALSE(view.bChecked);
    EXPECT_EQ(view.nStatusText, 0u);
    EXPECT_TRUE(view.bOkEnabled);
}

TEST(UpdateCheck, SizeTextAndDownloadTarget)
{
    EXPECT_EQ(CUpdateCheck::SizeText(stContentLength{true, 1572864}), L"  (1.50 MB)");
    EXPECT_EQ(CUpdateCheck::SizeText(stContentLength{true, 0}), L"  (0.00 MB)");
    EXPECT_EQ(CUpdateCheck::SizeText(stContentLength{false, 0}), L"  (size unknown)");

    wchar_t szTemp[MAX_PATH + 1];
    std::wstring strTemp(szTemp, ::GetTempPathW(MAX_PATH + 1, szTemp));
    const struct
    {
        const wchar_t* pszUrl;
        const wchar_t* pszName; // null: refused
    } aCases[] = {
        {L"http://127.0.0.1/setup.exe", L"setup.exe"},
        {L"http://127.0.0.1/dir/setup.exe?a=b#c", L"setup.exe"},
        {L"http://127.0.0.1/x\\..\\setup.exe", L"setup.exe"},
        {L"http://127.0.0.1/dir/", nullptr},
        {L"http://127.0.0.1/con", nullptr},
        {L"http://127.0.0.1/dir/..", nullptr},
        {L"", nullptr},
    };
    for (const auto& test : aCases)
    {
        SCOPED_TRACE(std::string(test.pszUrl, test.pszUrl + wcslen(test.pszUrl)));
        std::wstring strPath;
        EXPECT_EQ(CUpdateCheck::TargetPath(test.pszUrl, strPath), test.pszName != nullptr);
        EXPECT_EQ(strPath, test.pszName != nullptr ? strTemp + test.pszName : L"");
    }
}

} // namespace
