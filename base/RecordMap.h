// CRecordMap: a red-black tree keyed by a 64-bit NTFS file-record number; the
// NTFS reader keeps the names and parents of directories in it.
#pragma once

#include <cstdint>

class CUnicodeString;

class CRecordMapNode
{
public:
    static constexpr uint8_t Black = 0;
    static constexpr uint8_t Red = 1;

    CRecordMapNode(uint64_t ullRecord, CUnicodeString* pName, uint64_t ullParentRecord);
    // The name is not freed here: the map's owner deletes the names before it clears the map.
    virtual ~CRecordMapNode() = default;

    CRecordMapNode* m_pLeft;
    CRecordMapNode* m_pRight;
    CRecordMapNode* m_pParent;
    uint64_t m_ullRecord;
    CUnicodeString* m_pName;
    uint64_t m_ullParentRecord;
    uint8_t m_bColour;
};

class CRecordMap
{
public:
    CRecordMap() : m_pRoot(nullptr), m_ullCount(0) {}
    ~CRecordMap() { Clear(); }
    CRecordMap(const CRecordMap&) = delete;
    CRecordMap& operator=(const CRecordMap&) = delete;

    // False when the record number is already present; the caller keeps the name.
    bool Insert(uint64_t ullRecord, CUnicodeString* pName, uint64_t ullParentRecord);
    CRecordMapNode* Find(uint64_t ullRecord) const;
    void Clear();

    CRecordMapNode* First() const;
    CRecordMapNode* Next(const CRecordMapNode* pNode) const;

    uint64_t GetCount() const { return m_ullCount; }
    const CRecordMapNode* GetRoot() const { return m_pRoot; }

private:
    void RotateLeft(CRecordMapNode* pNode);
    void RotateRight(CRecordMapNode* pNode);
    void FixAfterInsert(CRecordMapNode* pNode);

    CRecordMapNode* m_pRoot;
    uint64_t m_ullCount;
};
