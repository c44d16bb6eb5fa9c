#include "updater/UrlRules.h"

namespace
{
char16_t ToLower(char16_t ch)
{
    return ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch - u'A' + u'a') : ch;
}

bool StartsWithNoCase(std::u16string_view strText, std::u16string_view strPrefix)
{
    if (strText.size() < strPrefix.size())
        return false;
    for (size_t i = 0; i < strPrefix.size(); ++i)
        if (ToLower(strText[i]) != strPrefix[i])
            return false;
    return true;
}

bool EqualsNoCase(std::u16string_view strText, std::u16string_view strLower)
{
    return strText.size() == strLower.size() && StartsWithNoCase(strText, strLower);
}

// Windows opens the device, not a file, for these names, also with any
// extension ("con.txt") and trailing blanks.
bool IsDeviceName(std::u16string_view strName)
{
    std::u16string_view strBase = strName.substr(0, strName.find(u'.'));
    while (!strBase.empty() && strBase.back() == u' ')
        strBase.remove_suffix(1);
    for (std::u16string_view strDevice : {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$"})
        if (EqualsNoCase(strBase, strDevice))
            return true;
    if (strBase.size() == 4 && (StartsWithNoCase(strBase, u"com") || StartsWithNoCase(strBase, u"lpt")))
        return strBase[3] >= u'1' && strBase[3] <= u'9';
    return false;
}

bool HasForbiddenCharacter(std::u16string_view strName)
{
    for (char16_t ch : strName)
        if (ch < 0x20 || ch == 0x7F || std::u16string_view(u"\\/:*?\"<>|").find(ch) != std::u16string_view::npos)
            return true;
    return false;
}
} // namespace

bool IsWebUrl(std::u16string_view strUrl)
{
    return StartsWithNoCase(strUrl, u"http://") || StartsWithNoCase(strUrl, u"https://");
}

bool TargetNameFromUrl(std::u16string_view strCanonicalUrl, std::u16string& strName)
{
    strName.clear();
    std::u16string_view strUrl = strCanonicalUrl.substr(0, strCanonicalUrl.find_first_of(u"?#"));
    size_t nAuthority = strUrl.find(u"://");
    if (nAuthority == std::u16string_view::npos)
        return false;
    size_t nPath = strUrl.find(u'/', nAuthority + 3);
    if (nPath == std::u16string_view::npos)
        return false;
    std::u16string_view strCandidate = strUrl.substr(strUrl.rfind(u'/') + 1);
    if (strCandidate.empty() || strCandidate == u"." || strCandidate == u".." || IsDeviceName(strCandidate) ||
        HasForbiddenCharacter(strCandidate))
        return false;
    strName.assign(strCandidate);
    return true;
}

std::u16string BrowserCommandLine(std::u16string_view strCommand, std::u16string_view strUrl)
{
    size_t nCut = strCommand.find(u"\"%1\"");
    if (nCut == std::u16string_view::npos)
        nCut = strCommand.find(u"%1");
    std::u16string strLine(strCommand.substr(0, nCut));
    strLine += u" \"";
    for (char16_t ch : strUrl)
    {
        if (ch == u'"')
            strLine += u"%22";
        else
            strLine += ch;
    }
    strLine += u'"';
    return strLine;
}
