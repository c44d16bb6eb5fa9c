#include "protocol/NetDefragSettingsLight.h"

#include "protocol/NetDefragBuffer.h"

CNetDefragSettingsLight::CNetDefragSettingsLight()
    : m_nDefaultPort(0), m_nMoveModifiedFilesToEnd(0), m_nRunChkDskBeforeDefrag(0), m_nUseIOGuard(0),
      m_nIOGuardMinIdlePercentage(0), m_nDisableAutoMonitoring(0), m_nUseRemovableDisks(0),
      m_nUseBoottimeDefrag(0)
{
}

void CNetDefragSettingsLight::Serialize(CNetDefragBuffer& ar)
{
    ar.Exchange(m_nDefaultPort);
    ar.Exchange(m_nMoveModifiedFilesToEnd);
    ar.Exchange(m_nDisableAutoMonitoring);
    ar.Exchange(m_nUseRemovableDisks);
    ar.Exchange(m_nRunChkDskBeforeDefrag);
    ar.Exchange(m_nUseIOGuard);
    ar.Exchange(m_nUseBoottimeDefrag);
    ar.Exchange(m_nIOGuardMinIdlePercentage);
    ar.Exchange(m_strAddDrivesManually);
    ar.Exchange(m_strIgnoreMonitoringDrives);
    ar.Exchange(m_strVersionText);
}

CNetDefragSettingsLight2::CNetDefragSettingsLight2() : m_nPauseOnBattery(0), m_nReserved{}
{
}

void CNetDefragSettingsLight2::Serialize(CNetDefragBuffer& ar)
{
    CNetDefragSettingsLight::Serialize(ar);
    ar.Exchange(m_nPauseOnBattery);
    for (int32_t& nReserved : m_nReserved)
        ar.Exchange(nReserved);
    ar.Exchange(m_strPassword);
}
