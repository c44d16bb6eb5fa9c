#include "updater/XmlNode.h"

void CXmlNode::Clear()
{
    m_strName.clear();
    m_strValue.clear();
    m_vecChildren.clear();
    m_vecAttributes.clear();
}

const CXmlAttribute* CXmlNode::GetAttribute(std::u16string_view strName) const
{
    for (const auto& pAttribute : m_vecAttributes)
        if (pAttribute->m_strName == strName)
            return pAttribute.get();
    return nullptr;
}

std::u16string CXmlNode::GetAttributeValue(std::u16string_view strName) const
{
    const CXmlAttribute* pAttribute = GetAttribute(strName);
    return pAttribute != nullptr ? pAttribute->m_strValue : std::u16string();
}

const CXmlNode* CXmlNode::FindChild(std::u16string_view strName) const
{
    for (const auto& pChild : m_vecChildren)
        if (pChild->m_strName == strName)
            return pChild.get();
    return nullptr;
}

CXmlNode& CXmlNode::AddChild()
{
    m_vecChildren.push_back(std::make_unique<CXmlNode>());
    CXmlNode& child = *m_vecChildren.back();
    child.m_pParent = this;
    child.m_nKind = m_nKind;
    child.m_pDocument = m_pDocument;
    return child;
}

CXmlAttribute& CXmlNode::AddAttribute()
{
    m_vecAttributes.push_back(std::make_unique<CXmlAttribute>());
    CXmlAttribute& attribute = *m_vecAttributes.back();
    attribute.m_pNode = this;
    return attribute;
}
