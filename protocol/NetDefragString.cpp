#include "protocol/NetDefragString.h"

#include "protocol/NetDefragBuffer.h"

void CNetDefragString::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nVolumeIndex);
    ar.Exchange(m_strFileName);
}
