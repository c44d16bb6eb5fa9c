// CStringArray: an ordered, growable list of CString values.
#pragma once

#include "classlib/String.h"

#include <stdexcept>
#include <vector>

class CStringArray
{
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_items.empty(); }
    int Add(const CString& str) { m_items.push_back(str); return GetSize() - 1; }
    void RemoveAll() { m_items.clear(); }
    const CString& GetAt(int n) const { return m_items.at(n); }
    void SetAt(int n, const CString& str) { m_items.at(n) = str; }
    CString& operator[](int n) { return m_items.at(n); }
    const CString& operator[](int n) const { return m_items.at(n); }
    void InsertAt(int n, const CString& str)
    {
        if (n < 0 || n > GetSize())
            throw std::out_of_range("CStringArray::InsertAt");
        m_items.insert(m_items.begin() + n, str);
    }
    void RemoveAt(int n)
    {
        if (n < 0 || n >= GetSize())
            throw std::out_of_range("CStringArray::RemoveAt");
        m_items.erase(m_items.begin() + n);
    }

private:
    std::vector<CString> m_items;
};
