// CXmlReader: a small recursive-descent reader of a UTF-16 text into a tree of
// element nodes with attributes and text values. It reads what the version
// description needs and never looks past the end of the text it is given.
#pragma once

#include "updater/XmlNode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct stXmlEntity
{
    char16_t chCharacter;
    const char16_t* pszText;
    size_t nLength;
};

// The first error of a parse; later ones leave it as it is.
struct stXmlParseError
{
    bool bSet;
    size_t nPosition; // in UTF-16 units from the start of the text
    int32_t nCode;
    std::u16string strText;
};

struct stXmlParseOptions
{
    bool bTrimValues;
    const stXmlEntity* pEntities; // five entries
    char16_t chEscape;            // 0: none
    bool bTranslateEntities;
    bool bForceParse;             // a closing tag of another name is ignored
    stXmlParseError error;
};

// The five predefined entities.
extern const stXmlEntity g_xmlEntities[5];
// The reader's preset: no trimming, "\" escapes, entities translated, strict closing tags.
stXmlParseOptions XmlDefaultOptions();

class CXmlReader
{
public:
    enum EError : int32_t
    {
        ErrorNotClosed = 1,       // "/" inside a tag not followed by ">"
        ErrorMissingClose = 2,    // the text ends before the closing tag
        ErrorMismatch = 3,        // a closing tag of another name
        ErrorAttribute = 4,       // an attribute that runs off the text
    };

    static constexpr size_t npos = std::u16string_view::npos;

    explicit CXmlReader(stXmlParseOptions& options) : m_options(options) {}

    // Parses the first element of the text into the node, after skipping
    // processing instructions and comments before it. Returns the position
    // after the element, or npos on an error (the options' error record says
    // which) or when the text holds no "<" at all (no error).
    size_t Parse(CXmlNode& node, std::u16string_view strText);

private:
    size_t ParseElement(CXmlNode& node, size_t nPos);
    size_t ParseAttributes(CXmlNode& node, size_t nPos);
    size_t ParseAttributeValue(CXmlNode& node, size_t nPos, std::u16string& strValue);
    size_t ParseContent(CXmlNode& node, size_t nPos);
    size_t ParseClosingTag(CXmlNode& node, size_t nPos, bool& bClosed);
    size_t SkipMarkupBeforeRoot(size_t nPos) const;
    size_t SkipWhiteSpace(size_t nPos) const;
    // The first position at or after nPos holding one of the characters, or npos.
    size_t FindAny(size_t nPos, std::u16string_view strCharacters) const;
    std::u16string ApplyValueRule(std::u16string_view strRaw) const;
    size_t Fail(int32_t nCode, size_t nPos, std::u16string strText);

    stXmlParseOptions& m_options;
    std::u16string_view m_strText;
};
