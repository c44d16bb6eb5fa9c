// CNetDefragObject: a record that travels after the message header. Serialize
// writes its fields in wire order when the archive is storing and reads them
// in the same order otherwise; malformed input raises CNetDefragException.
#pragma once

#include <memory>
#include <new>

class CNetDefragBuffer;

class CNetDefragObject
{
public:
    virtual ~CNetDefragObject() = default;
    virtual void Serialize(CNetDefragBuffer& ar) = 0;
};

// Reads one list element into a new object. When the allocation fails the
// element is still read, so that the fields after it stay in place, and no
// entry is handed back for it.
template <class TEntry> std::unique_ptr<TEntry> LoadNetDefragEntry(CNetDefragBuffer& ar)
{
    std::unique_ptr<TEntry> pEntry(new (std::nothrow) TEntry);
    if (pEntry)
    {
        pEntry->Serialize(ar);
        return pEntry;
    }
    TEntry stSkipped;
    stSkipped.Serialize(ar);
    return nullptr;
}
