// CNetDefragVersionInfo: the service program's version, as numbers and as
// its file-version text. The reserved fields carry no meaning.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragVersionInfo : public CNetDefragObject
{
public:
    CNetDefragVersionInfo();
    void Serialize(CNetDefragBuffer& ar) override;

    // Members in wire order.
    int32_t m_nMajorVersion;
    int32_t m_nMinorVersion;
    int32_t m_nThirdVersion;
    int32_t m_nReserved1;
    CUnicodeString m_strVersionText;
    CUnicodeString m_strReserved1;
    CUnicodeString m_strReserved2;
    int32_t m_nReserved2;
    int32_t m_nReserved3;
    int32_t m_nReserved4;
};
