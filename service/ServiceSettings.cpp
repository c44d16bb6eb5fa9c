#include "service/ServiceSettings.h"

#include <climits>

namespace {

// A period or a time from the registry: a negative one would read as years once unsigned.
int32_t NotNegative(int32_t nValue, int32_t nDefault)
{
    return nValue < 0 ? nDefault : nValue;
}

} // namespace

namespace settings {

int32_t ReadInt(CRegistry& key, const wchar_t* pszName, int32_t nDefault)
{
    DWORD dwValue = static_cast<DWORD>(nDefault);
    key.ReadDWORD(pszName, dwValue);
    return static_cast<int32_t>(dwValue);
}

void MakeUpper(CUnicodeString& str)
{
    if (str.GetLength() > 0)
        ::CharUpperBuffW(str.GetBuffer(), static_cast<DWORD>(str.GetLength()));
}

CUnicodeString UpperTrimmed(const CUnicodeString& str)
{
    CUnicodeString strResult(str);
    strResult.TrimLeft();
    strResult.TrimRight();
    MakeUpper(strResult);
    return strResult;
}

CUnicodeString ReadLetters(CRegistry& key, const wchar_t* pszName, const wchar_t* pszDefault)
{
    CUnicodeString strValue;
    if (!key.ReadString(pszName, strValue))
        return CUnicodeString(pszDefault);
    return UpperTrimmed(strValue);
}

} // namespace settings

stBACKGROUND_SETTINGS::stBACKGROUND_SETTINGS()
    : nWaitMs(2000), nRealDuration(5), nFileListMax(2000), nElevatedRunsMax(5), nAnalyzeTimeRange(86400),
      nWaitTimeForFileModification(120), nAnalyzeWaitTime(4), nAnalyzeWaitToStartTime(180),
      nAnalyzeThreadPrio(THREAD_PRIORITY_BELOW_NORMAL), nThreadPrio(THREAD_PRIORITY_BELOW_NORMAL)
{
}

void stBACKGROUND_SETTINGS::Read(CRegistry& key)
{
    const stBACKGROUND_SETTINGS stDefaults;
    using settings::ReadInt;
    // A period of 0 would turn the scheduler into a busy loop.
    nWaitMs = ReadInt(key, L"GlobalBackgroundWait", stDefaults.nWaitMs);
    if (nWaitMs <= 0)
        nWaitMs = stDefaults.nWaitMs;
    nRealDuration = NotNegative(ReadInt(key, L"GlobalBackgroundRealDuration", nRealDuration), stDefaults.nRealDuration);
    nFileListMax = NotNegative(ReadInt(key, L"GlobalBackgroundFileListMax", nFileListMax), stDefaults.nFileListMax);
    nElevatedRunsMax =
        NotNegative(ReadInt(key, L"GlobalBackgroundElevatedRunsMax", nElevatedRunsMax), stDefaults.nElevatedRunsMax);
    nAnalyzeTimeRange =
        NotNegative(ReadInt(key, L"GlobalBackgroundAnalyzeTimeRange", nAnalyzeTimeRange), stDefaults.nAnalyzeTimeRange);
    nWaitTimeForFileModification =
        NotNegative(ReadInt(key, L"GlobalBackgroundRealWaitTimeForFileModification", nWaitTimeForFileModification),
                    stDefaults.nWaitTimeForFileModification);
    nAnalyzeWaitTime = ReadInt(key, L"GlobalBackgroundAnalyzeWaitTime", nAnalyzeWaitTime);
    // The first wait is taken in milliseconds, which must fit a DWORD.
    nAnalyzeWaitToStartTime = NotNegative(ReadInt(key, L"GlobalBackgroundAnalyzeWaitToStartTime", nAnalyzeWaitToStartTime),
                                          stDefaults.nAnalyzeWaitToStartTime);
    if (nAnalyzeWaitToStartTime > INT_MAX / 1000)
        nAnalyzeWaitToStartTime = INT_MAX / 1000;
    nAnalyzeThreadPrio = ReadInt(key, L"GlobalBackgroundAnalyzeThreadPrio", nAnalyzeThreadPrio);
    nThreadPrio = ReadInt(key, L"GlobalBackgroundThreadPrio", nThreadPrio);
}

stDRIVE_LIST_SETTINGS::stDRIVE_LIST_SETTINGS()
    : strIgnoreMonitoringDrives(L" "), nDisableAutoMonitoring(0), nUseRemovableDisks(0), nTreatUSBAsRemovableDisks(1),
      strAddDrivesManually(L""), bAddDrivesManually(false)
{
}

void stDRIVE_LIST_SETTINGS::Read(CRegistry& key)
{
    using settings::ReadInt;
    strIgnoreMonitoringDrives = L" ";
    key.ReadString(L"IgnoreMonitoringDrives", strIgnoreMonitoringDrives);
    settings::MakeUpper(strIgnoreMonitoringDrives);
    nDisableAutoMonitoring = ReadInt(key, L"DisableAutoMonitoring", 0);
    nUseRemovableDisks = ReadInt(key, L"UseRemovableDisks", 0);
    nTreatUSBAsRemovableDisks = ReadInt(key, L"TreatUSBAsRemovableDisks", 1);
    CUnicodeString strManual;
    bAddDrivesManually = key.ReadString(L"AddDrivesManually", strManual);
    strAddDrivesManually = settings::UpperTrimmed(strManual);
}
