// Random mutations of version descriptions through the XML reader and the
// updater's other text rules. Every input must end, and end cleanly under the
// address and undefined-behaviour sanitizers; an input that hangs is printed
// by the watchdog before the program fails.
#include "updater/UrlRules.h"
#include "updater/VersionCompare.h"
#include "updater/WhatsNewText.h"
#include "updater/XmlReader.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<std::u16string> g_vecSeeds = {
    u"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Update>\r\n"
    u"  <CurrentVersion Version=\"3.6.0.0\" Location=\"http://127.0.0.1/setup.exe\"\r\n"
    u"     WhatsNew=\"Line1\\\\nLine2 &amp;lt;\" LinkTo='http://example.invalid/news'/>\r\n"
    u"  <!-- old --><Old v=1>text<b/>more</Old>\r\n</Update>\r\n",
    u"<a x=\"1\" y='2' z=3 w>v<b></b><c/></a>",
    u"<r><a><a><a></a></a></a>tail</r>",
};

// Characters that steer the reader: markup, quotes, escapes, white space.
const char16_t g_achSpecial[] = u"<>/=\"'\\&;?!- \t\r\n.0a";

std::u16string g_strCurrent;

void OnWatchdog(int)
{
    static const char szMessage[] = "hang on input (UTF-16 units as hex):\n";
    ssize_t nIgnored = write(2, szMessage, sizeof(szMessage) - 1);
    for (char16_t ch : g_strCurrent)
    {
        char szUnit[8];
        int n = snprintf(szUnit, sizeof(szUnit), "%04x ", static_cast<unsigned>(ch));
        nIgnored = write(2, szUnit, static_cast<size_t>(n));
    }
    (void)nIgnored;
    _exit(3);
}

void Mutate(std::u16string& str, std::mt19937& random)
{
    int nEdits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < nEdits; ++i)
    {
        size_t nPos = str.empty() ? 0 : random() % (str.size() + 1);
        char16_t ch = random() % 4 == 0 ? static_cast<char16_t>(random() % 0x10000)
                                        : g_achSpecial[random() % (sizeof(g_achSpecial) / 2 - 1)];
        switch (random() % 5)
        {
        case 0:
            str.insert(nPos, 1, ch);
            break;
        case 1:
            if (nPos < str.size())
                str[nPos] = ch;
            break;
        case 2:
            if (nPos < str.size())
                str.erase(nPos, 1 + random() % 16);
            break;
        case 3:
            str.resize(nPos);
            break;
        default:
            if (!str.empty())
            {
                size_t nFrom = random() % str.size();
                str.insert(nPos, str.substr(nFrom, 1 + random() % 32));
            }
            break;
        }
    }
}

void Exercise(const std::u16string& strText)
{
    stXmlParseOptions options = XmlDefaultOptions();
    CXmlReader reader(options);
    CXmlNode root;
    size_t nEnd = reader.Parse(root, strText);
    if (nEnd != CXmlReader::npos && nEnd > strText.size())
        abort();
    if (nEnd == CXmlReader::npos && options.error.bSet && options.error.nPosition > strText.size())
        abort();
    if (const CXmlNode* pVersion = root.FindChild(u"CurrentVersion"))
    {
        std::u16string strVersion = pVersion->GetAttributeValue(u"Version");
        CompareVersions(strVersion, u"3.5.0.0");
        CompareVersions(u"3.5.0.0", strVersion);
        std::u16string strName;
        TargetNameFromUrl(pVersion->GetAttributeValue(u"Location"), strName);
        IsWebUrl(pVersion->GetAttributeValue(u"LinkTo"));
        WhatsNewText(pVersion->GetAttributeValue(u"WhatsNew"));
    }
    std::u16string strName;
    TargetNameFromUrl(strText, strName);
    CompareVersions(strText.substr(0, 24), strText.substr(strText.size() / 2, 24));
    WhatsNewText(strText);
}

} // namespace

int main(int argc, char** argv)
{
    long nMutations = argc > 1 ? strtol(argv[1], nullptr, 10) : 100000;
    unsigned nSeed = argc > 2 ? static_cast<unsigned>(strtoul(argv[2], nullptr, 10)) : 20261210u;
    signal(SIGALRM, OnWatchdog);
    std::mt19937 random(nSeed);
    std::u16string str;
    for (long i = 0; i < nMutations; ++i)
    {
        // A mutated text grows away from anything the reader knows; start
        // again from a seed now and then.
        if (i % 64 == 0)
            str = g_vecSeeds[random() % g_vecSeeds.size()];
        Mutate(str, random);
        if (str.size() > 2048)
            str.resize(2048);
        g_strCurrent = str;
        alarm(10);
        Exercise(str);
    }
    alarm(0);
    printf("XmlFuzz: %ld mutations from seed %u, all ended\n", nMutations, nSeed);
    return 0;
}
