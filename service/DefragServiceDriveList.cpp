// The drive list of the service's volumes and the boot-time entry.
#include "service/DefragService.h"

#include "platform/sys.h"
#include "service/BootExecuteList.h"

#include <algorithm>
#include <new>

namespace {

const wchar_t SessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr DWORD VolumeNameUnits = MAX_PATH + 1;

bool SameName(const CUnicodeString& a, const CUnicodeString& b)
{
    return a.GetLength() == b.GetLength() && (a.GetLength() == 0 || a.CompareNoCase(b) == 0);
}

// The drive root of a listed volume, or its volume name when it has none.
CUnicodeString RootOrName(const CDefragPartition& volume)
{
    const CUnicodeString strDrivePath = volume.GetDrivePath();
    return strDrivePath.GetLength() > 0 ? strDrivePath : volume.GetVolumeName();
}

bool MatchesIgnored(const CDefragPartition& volume, const CUnicodeString& strIgnored)
{
    CUnicodeString strRoot(RootOrName(volume));
    settings::MakeUpper(strRoot);
    for (int i = 0; i < strIgnored.GetLength(); ++i)
        if (strRoot.Find(strIgnored.GetBuffer()[i]) >= 0)
            return true;
    return false;
}

CUnicodeString ManualRoot(wchar_t chLetter)
{
    wchar_t szRoot[] = L"C:\\";
    szRoot[0] = chLetter;
    CUnicodeString strRoot(szRoot);
    settings::MakeUpper(strRoot);
    return strRoot;
}

bool RootExists(const CUnicodeString& strRoot)
{
    const UINT uType = sys::GetDriveTypeW(strRoot.GetBuffer());
    return uType != DRIVE_UNKNOWN && uType != DRIVE_NO_ROOT_DIR;
}

} // namespace

int CDefragService::FindListed(const CUnicodeString& strName) const
{
    for (int i = 0; i < GetVolumeCount(); ++i)
    {
        const CDefragPartition& volume = *ListedAt(i).pVolume;
        if (SameName(volume.GetVolumeName(), strName) || strName == RootOrName(volume))
            return i;
    }
    return -1;
}

bool CDefragService::IsNewVolume(const CUnicodeString& strName)
{
    CSectionLock lock(m_csDriveList);
    return FindListed(strName) < 0;
}

CDefragPartition* CDefragService::FindVolume(const CUnicodeString& strName)
{
    CSectionLock lock(m_csDriveList);
    const int nIndex = FindListed(strName);
    return nIndex < 0 ? nullptr : ListedAt(nIndex).pVolume;
}

bool CDefragService::UpdateDriveList()
{
    CSectionLock lock(m_csDriveList);
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    stDRIVE_LIST_SETTINGS stSettings;
    {
        CRegistry key;
        if (key.Open(HKEY_LOCAL_MACHINE, settings::ServiceKey))
            stSettings.Read(key);
    }
    const bool bClients = CountClients(false) > 0;
    ReapRetired();
    wchar_t szName[VolumeNameUnits] = {};
    HANDLE hFind = sys::FindFirstVolumeW(szName, VolumeNameUnits);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    for (int i = 0; i < GetVolumeCount(); ++i)
        ListedAt(i).bSeen = false;
    bool bChanged = false;
    do
        ListVolume(CUnicodeString(szName), stSettings, bClients, bChanged);
    while (sys::FindNextVolumeW(hFind, szName, VolumeNameUnits));
    sys::FindVolumeClose(hFind);
    KeepManualVolumes(stSettings);
    for (int i = GetVolumeCount() - 1; i >= 0; --i)
        if (!ListedAt(i).bSeen)
        {
            RemoveListedAt(i);
            bChanged = true;
        }
    AddManualVolumes(stSettings, bClients, bChanged);
    // A volume whose watch died left background mode; each rebuild tries it again.
    for (int i = 0; i < GetVolumeCount(); ++i)
        ListedAt(i).pVolume->RetryWatch(m_pMonitor.get());
    return bChanged;
}

void CDefragService::ListVolume(const CUnicodeString& strName, const stDRIVE_LIST_SETTINGS& stSettings, bool bClients,
                                bool& bChanged)
{
    const UINT uType = sys::GetDriveTypeW(strName.GetBuffer());
    bool bList = false;
    if (uType == DRIVE_FIXED)
        bList = stSettings.nUseRemovableDisks == 1 ||
                (stSettings.nUseRemovableDisks == 0 &&
                 !(stSettings.nTreatUSBAsRemovableDisks != 0 &&
                   CDefragPartition::IsUsbDrive(strName.GetBuffer(), strName.GetLength() - 1)));
    else if (uType == DRIVE_REMOVABLE)
        bList = stSettings.nUseRemovableDisks == 1;
    if (!bList)
        return;
    const int nListed = FindListed(strName);
    if (nListed >= 0)
    {
        ListedAt(nListed).bSeen = true;
        if (bClients)
            ListedAt(nListed).pVolume->SetClientConnected(true);
        return;
    }
    if (AddVolume(strName, uType, false, stSettings, bClients))
        bChanged = true;
}

bool CDefragService::AddVolume(const CUnicodeString& strName, UINT uDriveType, bool bManual,
                               const stDRIVE_LIST_SETTINGS& stSettings, bool bClients)
{
    std::unique_ptr<CDefragPartition> pVolume(CreatePartition(strName));
    std::unique_ptr<stLISTED_VOLUME> pListed(new (std::nothrow) stLISTED_VOLUME());
    if (!pVolume || !pListed || !pVolume->Initialize())
    {
        // Tried again on the next rebuild.
        const int nListed = FindListed(strName);
        if (nListed >= 0)
            ListedAt(nListed).bSeen = true;
        return false;
    }
    pListed->pVolume = pVolume.get();
    pListed->bManual = bManual;
    pListed->bSeen = true;
    if (!MatchesIgnored(*pVolume, stSettings.strIgnoreMonitoringDrives) && stSettings.nDisableAutoMonitoring != 1 &&
        uDriveType != DRIVE_REMOVABLE)
        pVolume->SetBackgroundMode(true, m_pMonitor.get(), false);
    if (bClients)
        pVolume->SetClientConnected(true);
    if (m_bPaused)
        pVolume->SetPaused(true);
    m_arrVolumes.Add(pListed.release());
    pVolume.release();
    return true;
}

void CDefragService::KeepManualVolumes(const stDRIVE_LIST_SETTINGS& stSettings)
{
    // A volume added by its letter keeps its object and index while the letter stays in the
    // setting and the drive is there: enumeration never names it by that root.
    for (int i = 0; i < GetVolumeCount(); ++i)
    {
        stLISTED_VOLUME& listed = ListedAt(i);
        if (listed.bManual && stSettings.bAddDrivesManually &&
            stSettings.strAddDrivesManually.Find(listed.pVolume->GetVolumeName().GetBuffer()[0]) >= 0 &&
            RootExists(listed.pVolume->GetVolumeName()))
            listed.bSeen = true;
    }
}

void CDefragService::AddManualVolumes(const stDRIVE_LIST_SETTINGS& stSettings, bool bClients, bool& bChanged)
{
    if (!stSettings.bAddDrivesManually)
        return;
    const CUnicodeString& strLetters = stSettings.strAddDrivesManually;
    for (int i = 0; i < strLetters.GetLength(); ++i)
    {
        const CUnicodeString strRoot = ManualRoot(strLetters.GetBuffer()[i]);
        if (FindListed(strRoot) >= 0)
            continue;
        if (AddVolume(strRoot, sys::GetDriveTypeW(strRoot.GetBuffer()), true, stSettings, bClients))
            bChanged = true;
    }
}

void CDefragService::RemoveListedAt(int nIndex)
{
    std::unique_ptr<stLISTED_VOLUME> pListed(&ListedAt(nIndex));
    m_arrVolumes.RemoveAt(nIndex);
    CDefragPartition* pVolume = pListed->pVolume;
    pVolume->StopJob();
    pVolume->SetBackgroundMode(false, m_pMonitor.get(), false);
    // A volume whose job has not ended yet, or on which the scheduler works, is freed once
    // neither uses it any more.
    m_retired.push_back(pVolume);
    ReapRetired();
}

void CDefragService::ReapRetired()
{
    for (size_t i = 0; i < m_retired.size();)
    {
        CDefragPartition* pVolume = m_retired[i];
        if (pVolume == m_pSchedulerVolume || pVolume == m_pReportVolume || pVolume->IsJobRunning())
        {
            ++i;
            continue;
        }
        m_retired.erase(m_retired.begin() + static_cast<std::ptrdiff_t>(i));
        delete pVolume;
    }
}

void CDefragService::ClearDriveList()
{
    CSectionLock lock(m_csDriveList);
    for (int i = 0; i < GetVolumeCount(); ++i)
    {
        std::unique_ptr<stLISTED_VOLUME> pListed(&ListedAt(i));
        // The volume in which the scheduler was ended is not touched again.
        if (m_bSchedulerEnded && pListed->pVolume == m_pSchedulerVolume)
            continue;
        pListed->pVolume->SetBackgroundMode(false, m_pMonitor.get(), false);
        // The object waits for its own job thread before it lets anything go.
        delete pListed->pVolume;
    }
    m_arrVolumes.RemoveAll();
    for (CDefragPartition* pVolume : m_retired)
        if (!m_bSchedulerEnded || pVolume != m_pSchedulerVolume)
            delete pVolume;
    m_retired.clear();
}

void CDefragService::UpdateBootExecute()
{
    int32_t nWanted = 0;
    {
        CRegistry key;
        if (key.Open(HKEY_LOCAL_MACHINE, settings::ServiceKey))
            nWanted = settings::ReadInt(key, L"UseBoottimeDefrag", 0);
    }
    CRegistry sessionManager;
    if (!sessionManager.Open(HKEY_LOCAL_MACHINE, SessionManagerKey))
        return;
    wchar_t szList[CBootExecuteList::BufferBytes / sizeof(wchar_t)] = {};
    DWORD dwBytes = sizeof(szList);
    if (!sessionManager.ReadMultiString(L"BootExecute", szList, dwBytes))
        return;
    if (!CBootExecuteList::Apply(szList, dwBytes, nWanted == 1))
        return;
    ::RegSetValueExW(sessionManager.GetKey(), L"BootExecute", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(szList),
                     dwBytes);
}
