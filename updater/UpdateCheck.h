// CUpdateCheck: what the updater's dialog shows once it has looked for a
// newer version: it fetches and reads the version description, asks the size
// of the download and compares the versions. The dialog only puts the view
// into its controls; texts of the string table come as ids, so that the
// language library's texts are used.
#pragma once

#include "updater/AppUpdate.h"
#include "updater/UpdateOptions.h"

#include <windows.h>

#include <string>

struct stUpdateView
{
    bool bChecked;               // false: the set-up ended, the template's texts stay
    std::wstring strInstalled;   // control 1002
    std::wstring strNewVersion;  // control 1003, when nNewVersionText is 0
    UINT nNewVersionText;        // a string id for 1003, or 0
    UINT nStatusText;            // a string id for the status, or 0 to keep it hidden
    bool bOkEnabled;
    std::wstring strLinkUrl;     // empty: the hyperlink is hidden
    std::wstring strVersion;     // the published version, for "What's new in"
    std::wstring strWhatsNew;    // the news with CRLF line ends, when nWhatsNewText is 0
    UINT nWhatsNewText;          // a string id for the news, or 0
    std::wstring strDownloadUrl;
    stContentLength stSize;
};

class CUpdateCheck
{
public:
    explicit CUpdateCheck(CAppUpdate& update) : m_update(update) {}

    // bComplete: whether the command line's set-up ran to its end.
    stUpdateView Run(const CUpdateOptions& options, bool bComplete);

    // The size as the new-version line shows it after the version.
    static std::wstring SizeText(const stContentLength& stSize);
    // Where a download of the URL is saved in the temporary folder; false
    // when the URL names no plain file name.
    static bool TargetPath(const std::wstring& strDownloadUrl, std::wstring& strPath);

private:
    CAppUpdate& m_update;
};
