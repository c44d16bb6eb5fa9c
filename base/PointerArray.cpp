#include "base/PointerArray.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

CPointerArray::CPointerArray() : m_ppData(nullptr), m_nSize(0), m_nCapacity(0), m_nGrowBy(0)
{
}

CPointerArray::~CPointerArray()
{
    RemoveAll();
}

void* CPointerArray::GetAt(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_nSize)
        throw std::out_of_range("CPointerArray index out of range");
    return m_ppData[nIndex];
}

void CPointerArray::SetSize(int nNewSize)
{
    if (nNewSize < 0)
        throw std::invalid_argument("CPointerArray size is negative");
    if (nNewSize == 0)
    {
        RemoveAll();
        return;
    }
    if (m_ppData == nullptr)
    {
        m_ppData = static_cast<void**>(std::calloc(nNewSize, sizeof(void*)));
        if (m_ppData == nullptr)
            throw std::bad_alloc();
        m_nSize = m_nCapacity = nNewSize;
        return;
    }
    if (nNewSize > m_nCapacity)
    {
        int nStep = m_nGrowBy;
        if (nStep == 0)
        {
            nStep = m_nSize / 8;
            nStep = nStep < 4 ? 4 : (nStep > 1024 ? 1024 : nStep);
        }
        int nCapacity = m_nCapacity + nStep;
        if (nCapacity < nNewSize)
            nCapacity = nNewSize;
        void** ppData = static_cast<void**>(std::realloc(m_ppData, nCapacity * sizeof(void*)));
        if (ppData == nullptr)
            throw std::bad_alloc();
        m_ppData = ppData;
        m_nCapacity = nCapacity;
    }
    if (nNewSize > m_nSize)
        std::memset(m_ppData + m_nSize, 0, (nNewSize - m_nSize) * sizeof(void*));
    m_nSize = nNewSize;
}

void CPointerArray::SetAtGrow(int nIndex, void* p)
{
    if (nIndex < 0)
        throw std::out_of_range("CPointerArray index out of range");
    if (nIndex >= m_nSize)
        SetSize(nIndex + 1);
    m_ppData[nIndex] = p;
}

int CPointerArray::Add(void* p)
{
    int nIndex = m_nSize;
    SetAtGrow(nIndex, p);
    return nIndex;
}

void CPointerArray::RemoveAt(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_nSize)
        throw std::out_of_range("CPointerArray index out of range");
    std::memmove(m_ppData + nIndex, m_ppData + nIndex + 1, (m_nSize - nIndex - 1) * sizeof(void*));
    --m_nSize;
}

void CPointerArray::RemoveAll()
{
    std::free(m_ppData);
    m_ppData = nullptr;
    m_nSize = m_nCapacity = 0;
}
