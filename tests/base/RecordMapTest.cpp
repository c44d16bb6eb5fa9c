#include "base/RecordMap.h"
#include "base/UnicodeString.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace {

// Checks order, parent links and both red-black rules; returns the black height.
int CheckSubtree(const CRecordMapNode* pNode, const CRecordMapNode* pParent, uint64_t* pullCount)
{
    if (pNode == nullptr)
        return 1;
    ++*pullCount;
    EXPECT_EQ(pParent, pNode->m_pParent);
    if (pNode->m_pLeft != nullptr)
    {
        EXPECT_LT(pNode->m_pLeft->m_ullRecord, pNode->m_ullRecord);
    }
    if (pNode->m_pRight != nullptr)
    {
        EXPECT_GT(pNode->m_pRight->m_ullRecord, pNode->m_ullRecord);
    }
    if (pNode->m_bColour == CRecordMapNode::Red)
    {
        EXPECT_TRUE(pNode->m_pLeft == nullptr || pNode->m_pLeft->m_bColour == CRecordMapNode::Black);
        EXPECT_TRUE(pNode->m_pRight == nullptr || pNode->m_pRight->m_bColour == CRecordMapNode::Black);
    }
    int nLeft = CheckSubtree(pNode->m_pLeft, pNode, pullCount);
    int nRight = CheckSubtree(pNode->m_pRight, pNode, pullCount);
    EXPECT_EQ(nLeft, nRight) << "black height differs under " << pNode->m_ullRecord;
    return nLeft + (pNode->m_bColour == CRecordMapNode::Black ? 1 : 0);
}

void CheckTree(const CRecordMap& map)
{
    ASSERT_TRUE(map.GetRoot() == nullptr || map.GetRoot()->m_bColour == CRecordMapNode::Black);
    uint64_t ullCount = 0;
    CheckSubtree(map.GetRoot(), nullptr, &ullCount);
    EXPECT_EQ(map.GetCount(), ullCount);
}

TEST(RecordMap, DuplicateIsRefusedAndCountStays)
{
    CRecordMap map;
    CUnicodeString name(L"dir");
    EXPECT_TRUE(map.Insert(42, &name, 5));
    EXPECT_FALSE(map.Insert(42, nullptr, 7));
    EXPECT_EQ(1u, map.GetCount());
    CRecordMapNode* pNode = map.Find(42);
    ASSERT_NE(nullptr, pNode);
    EXPECT_EQ(&name, pNode->m_pName);
    EXPECT_EQ(5u, pNode->m_ullParentRecord);
    EXPECT_EQ(nullptr, map.Find(43));
}

TEST(RecordMap, StaysBalancedAndOrderedOverManyInserts)
{
    struct { const char* what; int nMode; } orders[] = {{"ascending", 0}, {"descending", 1}, {"random", 2}};
    for (const auto& order : orders)
    {
        SCOPED_TRACE(order.what);
        CRecordMap map;
        std::mt19937_64 rng(7);
        std::set<uint64_t> keys;
        for (uint64_t i = 0; i < 5000; ++i)
        {
            uint64_t key = order.nMode == 0 ? i : order.nMode == 1 ? 1000000 - i : rng() % 20000;
            EXPECT_EQ(keys.insert(key).second, map.Insert(key, nullptr, 5));
        }
        CheckTree(map);
        auto it = keys.begin();
        for (CRecordMapNode* p = map.First(); p != nullptr; p = map.Next(p), ++it)
        {
            ASSERT_NE(keys.end(), it);
            EXPECT_EQ(*it, p->m_ullRecord);
        }
        EXPECT_EQ(keys.end(), it);
        map.Clear();
        EXPECT_EQ(0u, map.GetCount());
        EXPECT_EQ(nullptr, map.First());
    }
}

} // namespace
