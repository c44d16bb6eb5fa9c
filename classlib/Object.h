// CObject: the common root of the class library's objects; it only makes
// destruction through a base pointer safe.
#pragma once

class CObject
{
public:
    CObject() = default;
    virtual ~CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};
