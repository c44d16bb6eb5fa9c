// The service-wide settings under the service's key: the background scheduler's, read once
// at start, and the drive list's, read on every rebuild. A missing value keeps its default.
#pragma once

#include "base/Registry.h"
#include "base/UnicodeString.h"

#include <cstdint>

struct stBACKGROUND_SETTINGS
{
    int32_t nWaitMs;                       // GlobalBackgroundWait
    int32_t nRealDuration;                 // GlobalBackgroundRealDuration, seconds
    int32_t nFileListMax;                  // GlobalBackgroundFileListMax
    int32_t nElevatedRunsMax;              // GlobalBackgroundElevatedRunsMax
    int32_t nAnalyzeTimeRange;             // GlobalBackgroundAnalyzeTimeRange, seconds
    int32_t nWaitTimeForFileModification;  // GlobalBackgroundRealWaitTimeForFileModification, seconds
    int32_t nAnalyzeWaitTime;              // GlobalBackgroundAnalyzeWaitTime
    int32_t nAnalyzeWaitToStartTime;       // GlobalBackgroundAnalyzeWaitToStartTime, seconds
    int32_t nAnalyzeThreadPrio;            // GlobalBackgroundAnalyzeThreadPrio
    int32_t nThreadPrio;                   // GlobalBackgroundThreadPrio

    stBACKGROUND_SETTINGS();
    void Read(CRegistry& key);
};

struct stDRIVE_LIST_SETTINGS
{
    CUnicodeString strIgnoreMonitoringDrives; // upper-cased
    int32_t nDisableAutoMonitoring;
    int32_t nUseRemovableDisks;
    int32_t nTreatUSBAsRemovableDisks;
    CUnicodeString strAddDrivesManually;      // upper-cased and trimmed
    bool bAddDrivesManually;                  // the value exists

    stDRIVE_LIST_SETTINGS();
    void Read(CRegistry& key);
};

namespace settings {

const wchar_t* const ServiceKey = L"Software\\Varnefold";

int32_t ReadInt(CRegistry& key, const wchar_t* pszName, int32_t nDefault);
// A text setting upper-cased and trimmed of white space at both ends; the default as it
// stands when the value is missing.
CUnicodeString ReadLetters(CRegistry& key, const wchar_t* pszName, const wchar_t* pszDefault);
void MakeUpper(CUnicodeString& str);
CUnicodeString UpperTrimmed(const CUnicodeString& str);

} // namespace settings
