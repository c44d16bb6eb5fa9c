#include "updater/XmlReader.h"

namespace
{
const std::u16string_view g_strWhiteSpace = u" \t\r\n";

bool IsWhiteSpace(char16_t ch)
{
    return g_strWhiteSpace.find(ch) != std::u16string_view::npos;
}
} // namespace

const stXmlEntity g_xmlEntities[5] = {
    {u'&', u"&amp;", 5}, {u'"', u"&quot;", 6}, {u'\'', u"&apos;", 6}, {u'<', u"&lt;", 4}, {u'>', u"&gt;", 4},
};

stXmlParseOptions XmlDefaultOptions()
{
    return stXmlParseOptions{false, g_xmlEntities, u'\\', true, false, stXmlParseError{false, 0, 0, {}}};
}

size_t CXmlReader::Parse(CXmlNode& node, std::u16string_view strText)
{
    m_strText = strText;
    node.Clear();
    size_t nPos = SkipMarkupBeforeRoot(0);
    if (nPos == npos)
        return npos;
    if (nPos + 1 < m_strText.size() && m_strText[nPos + 1] == u'/')
        return nPos;
    return ParseElement(node, nPos);
}

// A description normally opens with an XML declaration and may carry
// comments; neither is the root element.
size_t CXmlReader::SkipMarkupBeforeRoot(size_t nPos) const
{
    for (;;)
    {
        nPos = m_strText.find(u'<', nPos);
        if (nPos == npos)
            return npos;
        std::u16string_view strRest = m_strText.substr(nPos);
        std::u16string_view strClose;
        if (strRest.substr(0, 2) == u"<?")
            strClose = u"?>";
        else if (strRest.substr(0, 4) == u"<!--")
            strClose = u"-->";
        else
            return nPos;
        size_t nEnd = m_strText.find(strClose, nPos + 2);
        if (nEnd == npos)
            return npos;
        nPos = nEnd + strClose.size();
    }
}

size_t CXmlReader::ParseElement(CXmlNode& node, size_t nPos)
{
    size_t nNameStart = nPos + 1;
    size_t nNameEnd = FindAny(nNameStart, u" /> \t\r\n");
    if (nNameEnd == npos)
        nNameEnd = m_strText.size();
    node.m_strName.assign(m_strText.substr(nNameStart, nNameEnd - nNameStart));

    nPos = ParseAttributes(node, nNameEnd);
    if (nPos == npos)
        return npos;
    if (nPos < m_strText.size() && m_strText[nPos] == u'/')
    {
        if (nPos + 1 < m_strText.size() && m_strText[nPos + 1] == u'>')
            return nPos + 2;
        return Fail(ErrorNotClosed, nPos, u"Element must be closed.");
    }
    if (nPos < m_strText.size())
        ++nPos; // the ">" that ends the opening tag
    return ParseContent(node, nPos);
}

size_t CXmlReader::ParseAttributes(CXmlNode& node, size_t nPos)
{
    for (;;)
    {
        nPos = SkipWhiteSpace(nPos);
        if (nPos >= m_strText.size() || m_strText[nPos] == u'>' || m_strText[nPos] == u'/')
            return nPos;
        size_t nNameEnd = FindAny(nPos, u" \t\r\n=>/");
        if (nNameEnd == npos)
            return Fail(ErrorAttribute, nPos, u"<" + node.m_strName + u"> attribute has error ");
        CXmlAttribute& attribute = node.AddAttribute();
        attribute.m_strName.assign(m_strText.substr(nPos, nNameEnd - nPos));
        nPos = SkipWhiteSpace(nNameEnd);
        if (nPos >= m_strText.size() || m_strText[nPos] != u'=')
            continue; // an attribute without a value
        nPos = ParseAttributeValue(node, SkipWhiteSpace(nPos + 1), attribute.m_strValue);
        if (nPos == npos)
            return npos;
    }
}

// A quoted value runs to its matching quote, an unquoted one to the first
// blank or ">"; the escape character lets the next character pass. A value
// that the text ends inside is an error, never a read past the end.
size_t CXmlReader::ParseAttributeValue(CXmlNode& node, size_t nPos, std::u16string& strValue)
{
    size_t nStart = nPos;
    char16_t chQuote = 0;
    if (nPos < m_strText.size() && (m_strText[nPos] == u'"' || m_strText[nPos] == u'\''))
    {
        chQuote = m_strText[nPos];
        nStart = ++nPos;
    }
    while (nPos < m_strText.size())
    {
        char16_t ch = m_strText[nPos];
        if (m_options.chEscape != 0 && ch == m_options.chEscape)
        {
            nPos += 2;
            continue;
        }
        if (chQuote != 0 ? ch == chQuote : (IsWhiteSpace(ch) || ch == u'>'))
        {
            strValue = ApplyValueRule(m_strText.substr(nStart, nPos - nStart));
            return chQuote != 0 ? nPos + 1 : nPos;
        }
        ++nPos;
    }
    return Fail(ErrorAttribute, nStart, u"<" + node.m_strName + u"> attribute has error ");
}

size_t CXmlReader::ParseContent(CXmlNode& node, size_t nPos)
{
    while (nPos < m_strText.size())
    {
        if (m_strText[nPos] != u'<')
        {
            // Text after the first value is the indentation of a
            // pretty-printed document: it is passed over, not kept.
            size_t nNext = m_strText.find(u'<', nPos);
            if (nNext == npos)
                break;
            if (node.m_strValue.empty())
                node.m_strValue = ApplyValueRule(m_strText.substr(nPos, nNext - nPos));
            nPos = nNext;
        }
        else if (nPos + 1 < m_strText.size() && m_strText[nPos + 1] == u'/')
        {
            bool bClosed = false;
            nPos = ParseClosingTag(node, nPos + 2, bClosed);
            if (nPos == npos || bClosed)
                return nPos;
        }
        else
        {
            CXmlNode& child = node.AddChild();
            nPos = ParseElement(child, nPos);
            if (nPos == npos)
                return npos;
            if (child.m_strName.empty())
                node.RemoveLastChild();
        }
    }
    return Fail(ErrorMissingClose, nPos,
                node.m_strName + u" must be closed with </" + node.m_strName + u">");
}

// Returns the position after the closing tag; bClosed tells whether it closed
// the node or was a foreign one that force parse lets pass.
size_t CXmlReader::ParseClosingTag(CXmlNode& node, size_t nPos, bool& bClosed)
{
    nPos = SkipWhiteSpace(nPos);
    size_t nNameEnd = FindAny(nPos, u" >");
    if (nNameEnd == npos)
        return Fail(ErrorMissingClose, nPos, u"it must be closed with </" + node.m_strName + u">");
    std::u16string_view strClosing = m_strText.substr(nPos, nNameEnd - nPos);
    nPos = SkipWhiteSpace(nNameEnd);
    if (nPos < m_strText.size() && m_strText[nPos] == u'>')
        ++nPos;
    bClosed = strClosing == node.m_strName;
    if (!bClosed && !m_options.bForceParse)
        return Fail(ErrorMismatch, nPos,
                    u"'<" + node.m_strName + u"> ... </" + std::u16string(strClosing) + u">' is not wel-formed.");
    return nPos;
}

size_t CXmlReader::SkipWhiteSpace(size_t nPos) const
{
    while (nPos < m_strText.size() && IsWhiteSpace(m_strText[nPos]))
        ++nPos;
    return nPos;
}

size_t CXmlReader::FindAny(size_t nPos, std::u16string_view strCharacters) const
{
    if (nPos >= m_strText.size())
        return npos;
    return m_strText.find_first_of(strCharacters, nPos);
}

std::u16string CXmlReader::ApplyValueRule(std::u16string_view strRaw) const
{
    if (m_options.bTrimValues)
    {
        size_t nFirst = strRaw.find_first_not_of(g_strWhiteSpace);
        strRaw = nFirst == npos ? std::u16string_view()
                                : strRaw.substr(nFirst, strRaw.find_last_not_of(g_strWhiteSpace) - nFirst + 1);
    }
    std::u16string strUnescaped;
    for (size_t i = 0; i < strRaw.size(); ++i)
    {
        if (m_options.chEscape != 0 && strRaw[i] == m_options.chEscape)
        {
            if (++i == strRaw.size())
                break;
        }
        strUnescaped += strRaw[i];
    }
    if (!m_options.bTranslateEntities || m_options.pEntities == nullptr)
        return strUnescaped;
    // One pass: the character an entity gives is not looked at again.
    std::u16string strValue;
    std::u16string_view strRest = strUnescaped;
    for (size_t i = 0; i < strRest.size();)
    {
        bool bReplaced = false;
        if (strRest[i] == u'&')
            for (size_t e = 0; e < 5 && !bReplaced; ++e)
            {
                const stXmlEntity& entity = m_options.pEntities[e];
                if (strRest.substr(i, entity.nLength) == std::u16string_view(entity.pszText, entity.nLength))
                {
                    strValue += entity.chCharacter;
                    i += entity.nLength;
                    bReplaced = true;
                }
            }
        if (!bReplaced)
            strValue += strRest[i++];
    }
    return strValue;
}

size_t CXmlReader::Fail(int32_t nCode, size_t nPos, std::u16string strText)
{
    stXmlParseError& error = m_options.error;
    if (!error.bSet)
    {
        error.bSet = true;
        error.nPosition = nPos;
        error.nCode = nCode;
        error.strText = std::move(strText);
    }
    return npos;
}
