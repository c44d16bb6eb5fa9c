// CNetDefragString: a path on one volume, for the request that asks for the
// cluster runs of a single file.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragString : public CNetDefragObject
{
public:
    CNetDefragString() : m_nVolumeIndex(-1) {}
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nVolumeIndex;
    CUnicodeString m_strFileName;
};
