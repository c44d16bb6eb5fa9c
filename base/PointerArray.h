// CPointerArray: the growable, bounds-checked array of pointers that every
// list of the service is built on. It does not own what its slots point to.
#pragma once

class CPointerArray
{
public:
    CPointerArray();
    ~CPointerArray();
    CPointerArray(const CPointerArray&) = delete;
    CPointerArray& operator=(const CPointerArray&) = delete;

    int GetSize() const { return m_nSize; }
    int GetCapacity() const { return m_nCapacity; }
    void SetGrowBy(int nGrowBy) { m_nGrowBy = nGrowBy; }

    // Throws std::out_of_range for an index outside [0, size).
    void* GetAt(int nIndex) const;
    void SetSize(int nNewSize);
    void SetAtGrow(int nIndex, void* p);
    int Add(void* p);
    void RemoveAt(int nIndex);
    void RemoveAll();

private:
    void** m_ppData;
    int m_nSize;
    int m_nCapacity;
    int m_nGrowBy;
};
