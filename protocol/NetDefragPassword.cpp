#include "protocol/NetDefragPassword.h"

#include "protocol/NetDefragBuffer.h"

void CNetDefragPassword::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_strPassword);
}
