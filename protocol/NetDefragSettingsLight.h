// CNetDefragSettingsLight and CNetDefragSettingsLight2: the service settings
// that the configuration dialog and the wizard read and write. The members are
// named after their registry values; the wire order differs from theirs.
#pragma once

#include "base/UnicodeString.h"
#include "protocol/NetDefragObject.h"

#include <cstdint>

class CNetDefragSettingsLight : public CNetDefragObject
{
public:
    CNetDefragSettingsLight();
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nDefaultPort;
    int32_t m_nMoveModifiedFilesToEnd;
    int32_t m_nRunChkDskBeforeDefrag;
    int32_t m_nUseIOGuard;
    int32_t m_nIOGuardMinIdlePercentage;
    int32_t m_nDisableAutoMonitoring;
    int32_t m_nUseRemovableDisks;
    int32_t m_nUseBoottimeDefrag;
    CUnicodeString m_strAddDrivesManually;
    CUnicodeString m_strIgnoreMonitoringDrives;
    // The service's file-version text; requests carry it without meaning.
    CUnicodeString m_strVersionText;
};

class CNetDefragSettingsLight2 : public CNetDefragSettingsLight
{
public:
    static constexpr int ReservedCount = 9;

    CNetDefragSettingsLight2();
    void Serialize(CNetDefragBuffer& ar) override;

    int32_t m_nPauseOnBattery;
    int32_t m_nReserved[ReservedCount];
    CUnicodeString m_strPassword;
};
