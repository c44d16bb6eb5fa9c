#include "base/RecordMap.h"

#include <vector>

CRecordMapNode::CRecordMapNode(uint64_t ullRecord, CUnicodeString* pName, uint64_t ullParentRecord)
    : m_pLeft(nullptr), m_pRight(nullptr), m_pParent(nullptr), m_ullRecord(ullRecord),
      m_pName(pName), m_ullParentRecord(ullParentRecord), m_bColour(Red)
{
}

bool CRecordMap::Insert(uint64_t ullRecord, CUnicodeString* pName, uint64_t ullParentRecord)
{
    CRecordMapNode* pParent = nullptr;
    CRecordMapNode** ppLink = &m_pRoot;
    while (*ppLink != nullptr)
    {
        pParent = *ppLink;
        if (ullRecord == pParent->m_ullRecord)
            return false;
        ppLink = ullRecord < pParent->m_ullRecord ? &pParent->m_pLeft : &pParent->m_pRight;
    }
    CRecordMapNode* pNode = new CRecordMapNode(ullRecord, pName, ullParentRecord);
    pNode->m_pParent = pParent;
    *ppLink = pNode;
    ++m_ullCount;
    FixAfterInsert(pNode);
    return true;
}

CRecordMapNode* CRecordMap::Find(uint64_t ullRecord) const
{
    CRecordMapNode* pNode = m_pRoot;
    while (pNode != nullptr && pNode->m_ullRecord != ullRecord)
        pNode = ullRecord < pNode->m_ullRecord ? pNode->m_pLeft : pNode->m_pRight;
    return pNode;
}

// Pre-order with an explicit stack: a node is deleted once its children are on
// the stack, so nothing is read after it is freed. A red-black tree of n nodes is
// at most 2 log2(n + 1) levels deep, so the stack stays short (the number of
// nodes waiting never exceeds the depth plus one).
void CRecordMap::Clear()
{
    std::vector<CRecordMapNode*> stack;
    if (m_pRoot != nullptr)
        stack.push_back(m_pRoot);
    while (!stack.empty())
    {
        CRecordMapNode* pNode = stack.back();
        stack.pop_back();
        if (pNode->m_pLeft != nullptr)
            stack.push_back(pNode->m_pLeft);
        if (pNode->m_pRight != nullptr)
            stack.push_back(pNode->m_pRight);
        delete pNode;
    }
    m_pRoot = nullptr;
    m_ullCount = 0;
}

CRecordMapNode* CRecordMap::First() const
{
    CRecordMapNode* pNode = m_pRoot;
    while (pNode != nullptr && pNode->m_pLeft != nullptr)
        pNode = pNode->m_pLeft;
    return pNode;
}

CRecordMapNode* CRecordMap::Next(const CRecordMapNode* pNode) const
{
    if (pNode == nullptr)
        return nullptr;
    if (pNode->m_pRight != nullptr)
    {
        CRecordMapNode* pNext = pNode->m_pRight;
        while (pNext->m_pLeft != nullptr)
            pNext = pNext->m_pLeft;
        return pNext;
    }
    CRecordMapNode* pParent = pNode->m_pParent;
    while (pParent != nullptr && pNode == pParent->m_pRight)
    {
        pNode = pParent;
        pParent = pParent->m_pParent;
    }
    return pParent;
}

void CRecordMap::RotateLeft(CRecordMapNode* pNode)
{
    CRecordMapNode* pPivot = pNode->m_pRight;
    pNode->m_pRight = pPivot->m_pLeft;
    if (pPivot->m_pLeft != nullptr)
        pPivot->m_pLeft->m_pParent = pNode;
    pPivot->m_pParent = pNode->m_pParent;
    if (pNode->m_pParent == nullptr)
        m_pRoot = pPivot;
    else if (pNode == pNode->m_pParent->m_pLeft)
        pNode->m_pParent->m_pLeft = pPivot;
    else
        pNode->m_pParent->m_pRight = pPivot;
    pPivot->m_pLeft = pNode;
    pNode->m_pParent = pPivot;
}

void CRecordMap::RotateRight(CRecordMapNode* pNode)
{
    CRecordMapNode* pPivot = pNode->m_pLeft;
    pNode->m_pLeft = pPivot->m_pRight;
    if (pPivot->m_pRight != nullptr)
        pPivot->m_pRight->m_pParent = pNode;
    pPivot->m_pParent = pNode->m_pParent;
    if (pNode->m_pParent == nullptr)
        m_pRoot = pPivot;
    else if (pNode == pNode->m_pParent->m_pRight)
        pNode->m_pParent->m_pRight = pPivot;
    else
        pNode->m_pParent->m_pLeft = pPivot;
    pPivot->m_pRight = pNode;
    pNode->m_pParent = pPivot;
}

void CRecordMap::FixAfterInsert(CRecordMapNode* pNode)
{
    while (pNode->m_pParent != nullptr && pNode->m_pParent->m_bColour == CRecordMapNode::Red)
    {
        CRecordMapNode* pParent = pNode->m_pParent;
        CRecordMapNode* pGrand = pParent->m_pParent;
        bool bParentIsLeft = pParent == pGrand->m_pLeft;
        CRecordMapNode* pUncle = bParentIsLeft ? pGrand->m_pRight : pGrand->m_pLeft;
        if (pUncle != nullptr && pUncle->m_bColour == CRecordMapNode::Red)
        {
            pParent->m_bColour = CRecordMapNode::Black;
            pUncle->m_bColour = CRecordMapNode::Black;
            pGrand->m_bColour = CRecordMapNode::Red;
            pNode = pGrand;
            continue;
        }
        if (bParentIsLeft)
        {
            if (pNode == pParent->m_pRight)
            {
                pNode = pParent;
                RotateLeft(pNode);
                pParent = pNode->m_pParent;
            }
            pParent->m_bColour = CRecordMapNode::Black;
            pGrand->m_bColour = CRecordMapNode::Red;
            RotateRight(pGrand);
        }
        else
        {
            if (pNode == pParent->m_pLeft)
            {
                pNode = pParent;
                RotateRight(pNode);
                pParent = pNode->m_pParent;
            }
            pParent->m_bColour = CRecordMapNode::Black;
            pGrand->m_bColour = CRecordMapNode::Red;
            RotateLeft(pGrand);
        }
    }
    m_pRoot->m_bColour = CRecordMapNode::Black;
}
