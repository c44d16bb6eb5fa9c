#include "updater/UpdateCheck.h"

#include "updater/UpdateResource.h"
#include "updater/UrlRules.h"
#include "updater/VersionCompare.h"
#include "updater/WhatsNewText.h"
#include "updater/XmlReader.h"

#include <cstdio>

namespace
{
std::wstring AsWide(const std::u16string& str)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(str.data()), str.size());
}

std::u16string_view AsUtf16(const std::wstring& str)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(str.data()), str.size());
}
} // namespace

stUpdateView CUpdateCheck::Run(const CUpdateOptions& options, bool bComplete)
{
    stUpdateView view{false, {}, {}, 0, 0, true, {}, {}, {}, 0, {}, stContentLength{false, 0}};
    if (!bComplete)
        return view;
    view.bChecked = true;
    std::u16string strText;
    if (m_update.FetchText(AsWide(options.GetUrl()).c_str(), strText) != CAppUpdate::ResultDone)
    {
        view.bOkEnabled = false;
        view.nStatusText = IDS_CANNOT_CONNECT;
        return view;
    }
    view.strInstalled = AsWide(options.GetVersion());
    stXmlParseOptions parseOptions = XmlDefaultOptions();
    CXmlReader reader(parseOptions);
    CXmlNode root;
    if (reader.Parse(root, strText) == CXmlReader::npos)
    {
        view.nNewVersionText = IDS_FILE_NOT_FOUND;
        view.bOkEnabled = false;
        view.nStatusText = IDS_UPDATE_ERROR;
        return view;
    }
    std::u16string strVersion, strLocation, strWhatsNew, strLinkTo;
    if (const CXmlNode* pCurrent = root.FindChild(u"CurrentVersion"))
    {
        strVersion = pCurrent->GetAttributeValue(u"Version");
        strLocation = pCurrent->GetAttributeValue(u"Location");
        strWhatsNew = pCurrent->GetAttributeValue(u"WhatsNew");
        strLinkTo = pCurrent->GetAttributeValue(u"LinkTo");
    }
    view.strVersion = AsWide(strVersion);
    view.strDownloadUrl = AsWide(strLocation);
    // The description comes from the network: only a web address is shown as a link.
    if (IsWebUrl(strLinkTo))
        view.strLinkUrl = AsWide(strLinkTo);
    view.strWhatsNew = AsWide(WhatsNewText(strWhatsNew));
    if (view.strWhatsNew.empty())
        view.nWhatsNewText = IDS_NOTHING_NEW;

    // A download that cannot be opened has no size and cannot be started; one
    // of unknown size (a chunked reply) can.
    bool bDownloadable = m_update.GetContentLength(view.strDownloadUrl.c_str(), view.stSize) == CAppUpdate::ResultDone &&
                         (!view.stSize.bKnown || view.stSize.nBytes != 0);
    view.strNewVersion = view.strVersion + SizeText(view.stSize);
    if (bDownloadable && CompareVersions(strVersion, options.GetVersion()) > 0)
        view.nStatusText = IDS_UPDATE_NOW;
    else
    {
        view.bOkEnabled = false;
        view.nNewVersionText = IDS_NEWEST_VERSION;
    }
    return view;
}

std::wstring CUpdateCheck::SizeText(const stContentLength& stSize)
{
    if (!stSize.bKnown)
        return L"  (size unknown)";
    wchar_t szText[64];
    std::swprintf(szText, 64, L"  (%.2f MB)", static_cast<double>(stSize.nBytes) / 1048576.0);
    return szText;
}

bool CUpdateCheck::TargetPath(const std::wstring& strDownloadUrl, std::wstring& strPath)
{
    strPath.clear();
    std::wstring strCanonical;
    std::u16string strName;
    if (!CAppUpdate::CanonicalUrl(strDownloadUrl, strCanonical) || !TargetNameFromUrl(AsUtf16(strCanonical), strName))
        return false;
    wchar_t szTemp[MAX_PATH + 1];
    DWORD dwChars = ::GetTempPathW(MAX_PATH + 1, szTemp);
    if (dwChars == 0 || dwChars > MAX_PATH)
        return false;
    strPath.assign(szTemp, dwChars);
    strPath += AsWide(strName);
    return true;
}
