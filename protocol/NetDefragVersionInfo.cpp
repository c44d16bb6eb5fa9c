#include "protocol/NetDefragVersionInfo.h"

#include "protocol/NetDefragBuffer.h"

CNetDefragVersionInfo::CNetDefragVersionInfo()
    : m_nMajorVersion(0), m_nMinorVersion(0), m_nThirdVersion(0), m_nReserved1(0), m_nReserved2(0),
      m_nReserved3(0), m_nReserved4(0)
{
}

void CNetDefragVersionInfo::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nMajorVersion);
    ar.Exchange(m_nMinorVersion);
    ar.Exchange(m_nThirdVersion);
    ar.Exchange(m_nReserved1);
    ar.Exchange(m_strVersionText);
    ar.Exchange(m_strReserved1);
    ar.Exchange(m_strReserved2);
    ar.Exchange(m_nReserved2);
    ar.Exchange(m_nReserved3);
    ar.Exchange(m_nReserved4);
}
