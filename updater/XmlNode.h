// CXmlNode and CXmlAttribute: the tree that the XML reader builds. A node owns
// its children and attributes; both are kept in document order. Portable
// (UTF-16 as char16_t), so that the reader also runs natively under sanitizers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CXmlNode;

class CXmlAttribute
{
public:
    std::u16string m_strName;
    std::u16string m_strValue;
    CXmlNode* m_pNode = nullptr;
};

class CXmlNode
{
public:
    enum EKind : int32_t { KindElement = 0, KindInstruction = 1, KindComment = 2, KindCharData = 3 };

    CXmlNode() = default;
    CXmlNode(const CXmlNode&) = delete;
    CXmlNode& operator=(const CXmlNode&) = delete;

    void Clear();
    // The first attribute of exactly this name (case-sensitive), or null.
    const CXmlAttribute* GetAttribute(std::u16string_view strName) const;
    // The attribute's value, or an empty text when there is none.
    std::u16string GetAttributeValue(std::u16string_view strName) const;
    // The first child of exactly this name, or null.
    const CXmlNode* FindChild(std::u16string_view strName) const;

    CXmlNode& AddChild();
    CXmlAttribute& AddAttribute();
    void RemoveLastChild() { m_vecChildren.pop_back(); }

    std::u16string m_strName;
    std::u16string m_strValue;
    CXmlNode* m_pParent = nullptr;
    std::vector<std::unique_ptr<CXmlNode>> m_vecChildren;
    std::vector<std::unique_ptr<CXmlAttribute>> m_vecAttributes;
    int32_t m_nKind = KindElement;
    CXmlNode* m_pDocument = nullptr;
};
