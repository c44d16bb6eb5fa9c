#include "protocol/NetDefragPacketHeader.h"

#include "protocol/NetDefragBuffer.h"
#include "protocol/NetDefragException.h"

void CNetDefragHeaderBase::Serialize(CNetDefragBuffer& ar)
{
    if (ar.IsStoring())
    {
        ar.WriteInt32(m_nVersion);
        ar.WriteInt32(m_nReserved);
        return;
    }
    int32_t nVersion = 0;
    int32_t nReserved = 0;
    ar.ReadInt32(nVersion);
    ar.ReadInt32(nReserved);
    if (nVersion != m_nVersion)
        throw CNetDefragException(L"Wrong Version");
    m_nReserved = nReserved;
}

void CNetDefragPacketHeader::Serialize(CNetDefragBuffer& ar)
{
    CNetDefragHeaderBase::Serialize(ar);
    ar.Exchange(m_nCommand);
}
