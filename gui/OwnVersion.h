// IOwnVersion: the program's own product version, which the service's
// version must match before the drive list is asked for.
#pragma once

#include <windows.h>

class IOwnVersion
{
public:
    virtual ~IOwnVersion() = default;
    // The high and low words of the product version's most significant
    // half; false when no version resource of the program could be opened.
    virtual bool GetOwnVersion(UINT& nMajor, UINT& nMinor) = 0;
};
