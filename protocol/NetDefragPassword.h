// CNetDefragPassword: the connection password as its digest text; empty means
// no password. The service stores and compares the text as it arrives.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

class CNetDefragPassword : public CNetDefragObject
{
public:
    void Serialize(CNetDefragBuffer& ar) override;

    CUnicodeString m_strPassword;
};
