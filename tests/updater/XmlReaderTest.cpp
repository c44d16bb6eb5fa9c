#include "updater/XmlReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The tree written back as one line: name[attr=value,...]{value}(children).
std::u16string Describe(const CXmlNode& node)
{
    std::u16string str = node.m_strName;
    if (!node.m_vecAttributes.empty())
    {
        str += u'[';
        for (const auto& pAttribute : node.m_vecAttributes)
            str += pAttribute->m_strName + u'=' + pAttribute->m_strValue + u';';
        str += u']';
    }
    if (!node.m_strValue.empty())
        str += u'{' + node.m_strValue + u'}';
    if (!node.m_vecChildren.empty())
    {
        str += u'(';
        for (const auto& pChild : node.m_vecChildren)
            str += Describe(*pChild) + u' ';
        str += u')';
    }
    return str;
}

std::string Narrow(const std::u16string& str)
{
    return std::string(str.begin(), str.end());
}

struct stParseCase
{
    const char* pszWhat;
    std::u16string strText;
    const char* pszTree;  // expected tree when it parses
    int32_t nError;       // expected error code, 0 when it parses or finds nothing
    const char* pszError; // expected error text
};

const std::vector<stParseCase> g_vecCases = {
    {"double and single quotes", u"<a x=\"1 2\" y='3'/>", "a[x=1 2;y=3;]", 0, ""},
    {"unquoted values and a bare name", u"<a x=1 y>text</a>", "a[x=1;y=;]{text}", 0, ""},
    {"entities are translated once", u"<a v=\"&amp;lt;&quot;&apos;&gt;\"/>", "a[v=&lt;\"'>;]", 0, ""},
    {"an escape passes the next character", u"<a v=\"x\\\"y\" w=\"Line1\\\\nLine2\"/>",
     "a[v=x\"y;w=Line1\\nLine2;]", 0, ""},
    {"children in document order", u"<r><a/><b>t</b><a k=\"2\"/></r>", "r(a b{t} a[k=2;] )", 0, ""},
    {"a child without a name is dropped", u"<r>< /><b/></r>", "r(b )", 0, ""},
    {"text after the first value is passed over", u"<r>one<a/>two<b/></r>", "r{one}(a b )", 0, ""},
    {"a byte-order mark and a declaration come first",
     u"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<!-- news -->\r\n<r/>", "r", 0, ""},
    {"pretty-printed description",
     u"<Update>\r\n  <CurrentVersion Version=\"3.6.0.0\"\r\n     WhatsNew=\"a\"/>\r\n  <Other/>\r\n</Update>\r\n",
     "Update{\r\n  }(CurrentVersion[Version=3.6.0.0;WhatsNew=a;] Other )", 0, ""},
    {"closing tag with blanks", u"<a>x</a >", "a{x}", 0, ""},
    {"no element at all", u"just text", "", 0, ""},
    {"an unterminated declaration hides the root", u"<?xml <r/>", "", 0, ""},
    {"closing tag of another name", u"<a><b></c></a>", nullptr, 3, "'<b> ... </c>' is not wel-formed."},
    {"missing closing tag", u"<a><b/>", nullptr, 2, "a must be closed with </a>"},
    {"text up to the end", u"<a>text", nullptr, 2, "a must be closed with </a>"},
    {"indentation up to the end", u"<a>x<b/>\r\n  ", nullptr, 2, "a must be closed with </a>"},
    {"closing tag cut off", u"<a></a", nullptr, 2, "it must be closed with </a>"},
    {"slash without >", u"<a/x>", nullptr, 1, "Element must be closed."},
    {"unterminated quote", u"<a v=\"abc/>", nullptr, 4, "<a> attribute has error "},
    {"trailing escape", u"<a v=\"abc\\", nullptr, 4, "<a> attribute has error "},
    {"escape before the closing quote", u"<a v=\"abc\\\"/>", nullptr, 4, "<a> attribute has error "},
    {"unquoted value to the end", u"<a v=abc", nullptr, 4, "<a> attribute has error "},
    {"attribute name to the end", u"<a v", nullptr, 4, "<a> attribute has error "},
    {"only the first error is kept", u"<a><b></c><d v=\"", nullptr, 3, "'<b> ... </c>' is not wel-formed."},
};

TEST(XmlReader, ParsesOrReportsTheFirstError)
{
    for (const stParseCase& test : g_vecCases)
    {
        SCOPED_TRACE(test.pszWhat);
        stXmlParseOptions options = XmlDefaultOptions();
        CXmlReader reader(options);
        CXmlNode root;
        size_t nEnd = reader.Parse(root, test.strText);
        if (test.pszTree != nullptr && *test.pszTree != 0)
        {
            EXPECT_NE(nEnd, CXmlReader::npos);
            EXPECT_EQ(Narrow(Describe(root)), test.pszTree);
        }
        else
            EXPECT_EQ(nEnd, CXmlReader::npos);
        EXPECT_EQ(options.error.bSet, test.nError != 0);
        EXPECT_EQ(options.error.nCode, test.nError);
        EXPECT_EQ(Narrow(options.error.strText), test.pszError);
    }
}

TEST(XmlReader, ReturnsThePositionAfterTheElementAndStopsAtAClosingTag)
{
    stXmlParseOptions options = XmlDefaultOptions();
    CXmlReader reader(options);
    CXmlNode node;
    EXPECT_EQ(reader.Parse(node, u"  <a>x</a>tail"), 10u);
    EXPECT_EQ(reader.Parse(node, u"  </a>"), 2u);
    EXPECT_TRUE(node.m_strName.empty());
}

TEST(XmlReader, ForceParseLetsAForeignClosingTagPass)
{
    stXmlParseOptions options = XmlDefaultOptions();
    options.bForceParse = true;
    CXmlReader reader(options);
    CXmlNode root;
    EXPECT_NE(reader.Parse(root, u"<a>x</b><c/></a>"), CXmlReader::npos);
    EXPECT_EQ(Narrow(Describe(root)), "a{x}(c )");
    EXPECT_FALSE(options.error.bSet);
}

TEST(XmlReader, ValueRuleOptions)
{
    stXmlParseOptions options = XmlDefaultOptions();
    options.bTrimValues = true;
    options.chEscape = 0;
    options.bTranslateEntities = false;
    CXmlReader reader(options);
    CXmlNode root;
    ASSERT_NE(reader.Parse(root, u"<a v=\"  x\\y &amp; \">  text  </a>"), CXmlReader::npos);
    EXPECT_EQ(Narrow(root.GetAttributeValue(u"v")), "x\\y &amp;");
    EXPECT_EQ(Narrow(root.m_strValue), "text");
}

TEST(XmlReader, NodesKnowTheirParentAndAttributesTheirNode)
{
    stXmlParseOptions options = XmlDefaultOptions();
    CXmlReader reader(options);
    CXmlNode root;
    ASSERT_NE(reader.Parse(root, u"<r><CurrentVersion Version=\"1\" version=\"2\"/></r>"), CXmlReader::npos);
    const CXmlNode* pChild = root.FindChild(u"CurrentVersion");
    ASSERT_NE(pChild, nullptr);
    EXPECT_EQ(pChild->m_pParent, &root);
    EXPECT_EQ(pChild->GetAttribute(u"Version")->m_pNode, pChild);
    EXPECT_EQ(Narrow(pChild->GetAttributeValue(u"version")), "2");
    EXPECT_EQ(pChild->GetAttribute(u"VERSION"), nullptr);
    EXPECT_EQ(root.FindChild(u"currentversion"), nullptr);
}

TEST(XmlReader, DeepNestingWithinADescriptionParses)
{
    std::u16string strText;
    for (int i = 0; i < 700; ++i)
        strText += u"<a>";
    for (int i = 0; i < 700; ++i)
        strText += u"</a>";
    stXmlParseOptions options = XmlDefaultOptions();
    CXmlReader reader(options);
    CXmlNode root;
    EXPECT_EQ(reader.Parse(root, strText), strText.size());
    int nDepth = 0;
    for (const CXmlNode* p = &root; !p->m_vecChildren.empty(); p = p->m_vecChildren.front().get())
        ++nDepth;
    EXPECT_EQ(nDepth, 699);
}

} // namespace
