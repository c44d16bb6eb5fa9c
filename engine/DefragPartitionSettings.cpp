#include "engine/DefragPartition.h"

#include "platform/sys.h"

#include "base/Registry.h"

namespace {

const wchar_t* const ServiceKey = L"Software\\Varnefold";
const wchar_t* const OptimalLayoutKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout";
const wchar_t* const BootOptimizeKey = L"SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction";

// A missing value leaves the field as it is.
void ReadInt(CRegistry& key, const wchar_t* pszName, int32_t& nField)
{
    DWORD dwValue = static_cast<DWORD>(nField);
    if (key.ReadDWORD(pszName, dwValue))
        nField = static_cast<int32_t>(dwValue);
}

} // namespace

void CDefragPartition::LoadSettings()
{
    ReadStoredSettings();
    // A run or analysis works with what it took at its start; what is read meanwhile waits
    // for the next one.
    if (!IsWorkUnderWay())
        TakeRunSettings();
}

void CDefragPartition::TakeRunSettings()
{
    m_stRun = {m_nMethod, m_nMoveModifiedFilesToEnd, m_nUseLayoutIni};
}

void CDefragPartition::ApplyRunRequest(const RUN_REQUEST& request)
{
    SetMethod(request.bFull);
    if (request.eMoveToEnd == RUN_REQUEST::MOVE_TO_END::Stored)
        ReadMoveModifiedFilesToEnd();
    else if (request.eMoveToEnd == RUN_REQUEST::MOVE_TO_END::Forced)
        ForceMoveModifiedFilesToEnd(request.nForcedMoveToEnd);
}

void CDefragPartition::ReadStoredSettings()
{
    CRegistry key;
    if (!key.Open(HKEY_LOCAL_MACHINE, ServiceKey))
        return;
    int32_t nChangeSystemAutoDefrag = 1;
    ReadInt(key, L"PartitionBackgroundFileListMax", m_nPartitionBackgroundFileListMax);
    ReadInt(key, L"ChangeSystemAutoDefrag", nChangeSystemAutoDefrag);
    const bool bLayoutGiven = key.ValueExists(L"UseLayoutIni");
    ReadInt(key, L"UseLayoutIni", m_nUseLayoutIni);
    ReadInt(key, L"UseEveryOverlappedMove", m_nUseEveryOverlappedMove);
    ReadInt(key, L"LayoutIniForesightDivider", m_nLayoutIniForesightDivider);
    if (!m_bForcedMoveToEnd)
        ReadInt(key, L"MoveModifiedFilesToEnd", m_nMoveModifiedFilesToEnd);
    ReadInt(key, L"UseFastStopMethod", m_nUseFastStopMethod);
    ReadInt(key, L"MaxMBMove", m_nMaxMBMove);
    ReadInt(key, L"UseLastWriteTime", m_nUseLastWriteTime);
    ReadInt(key, L"RunChkDskBeforeDefrag", m_nRunChkDskBeforeDefrag);
    ReadInt(key, L"ChkDskLevel", m_nChkDskLevel);
    ReadInt(key, L"UseLastFileSize", m_nUseLastFileSize);
    ReadInt(key, L"MaxChecksBeforeDefrag", m_nMaxChecksBeforeDefrag);
    ReadInt(key, L"MaxTimeBeforeDefrag", m_nMaxTimeBeforeDefrag);
    ReadInt(key, L"LastModificationTimeInterval", m_nLastModificationTimeInterval);
    ReadInt(key, L"MaxTimeMoveHighFragFiles", m_nMaxTimeMoveHighFragFiles);
    ReadInt(key, L"UseIOGuard", m_nUseIOGuard);
    ReadInt(key, L"IOGuardWaitTime", m_nIOGuardWaitTime);
    ReadInt(key, L"IOGuardMinIdlePercentage", m_nIOGuardMinIdlePercentage);
    if (bLayoutGiven && nChangeSystemAutoDefrag == 1)
        ApplyBootLayoutSettings(m_bSystemVolume);
}

void CDefragPartition::ApplyBootLayoutSettings(bool bSystemVolume)
{
    // Our own boot-file zone and the system's layout optimisation must not fight over the
    // same files: one of them is switched off.
    CRegistry layout;
    CRegistry boot;
    if (m_nUseLayoutIni == 1 || m_nUseLayoutIni == 2 || (m_nUseLayoutIni == 4 && bSystemVolume))
    {
        if (layout.Create(OptimalLayoutKey))
            layout.WriteDWORD(L"EnableAutoLayout", 0);
        if (boot.Create(BootOptimizeKey))
            boot.WriteString(L"Enable", L"N");
    }
    else if (m_nUseLayoutIni == 3)
    {
        if (layout.Open(HKEY_LOCAL_MACHINE, OptimalLayoutKey))
            layout.DeleteValue(L"EnableAutoLayout");
        if (boot.Create(BootOptimizeKey))
            boot.WriteString(L"Enable", L"Y");
    }
}

bool CDefragPartition::ReadMoveModifiedFilesToEnd()
{
    m_nMoveModifiedFilesToEnd = 0;
    m_bForcedMoveToEnd = false;
    CRegistry key;
    if (key.Open(HKEY_LOCAL_MACHINE, ServiceKey))
        ReadInt(key, L"MoveModifiedFilesToEnd", m_nMoveModifiedFilesToEnd);
    return true;
}

CUnicodeString CDefragPartition::StatsKeyPath() const
{
    // \\?\Volume{GUID}\ gives Volume{GUID}.
    CUnicodeString strName = m_strVolumeName;
    strName.TrimLeft(L"\\?");
    strName.TrimRight(L"\\");
    return CUnicodeString(ServiceKey) + L"\\Stats\\" + strName;
}

void CDefragPartition::ReadLastManualDefragTime()
{
    CRegistry key;
    ULONGLONG ullTime = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, StatsKeyPath().GetBuffer()) && key.ReadQWORD(L"LastManualDefragTime", ullTime))
        m_llLastManualDefragTime = static_cast<int64_t>(ullTime);
}

void CDefragPartition::WriteLastManualDefragTime()
{
    CRegistry key;
    if (key.Create(StatsKeyPath().GetBuffer()))
        key.WriteQWORD(L"LastManualDefragTime", static_cast<ULONGLONG>(m_llLastManualDefragTime));
}
