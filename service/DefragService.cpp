#include "service/DefragService.h"

#include "engine/NativeFunctions.h"
#include "engine/SystemLevel.h"
#include "platform/sys.h"
#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionList.h"

#include <new>
#include <stdexcept>

namespace {

const wchar_t GuiPipeName[] = L"qovDefragService1";
const wchar_t CommandPipeName[] = L"qovDefragServiceCMD";
const wchar_t MountedDevicesKey[] = L"SYSTEM\\MountedDevices";
constexpr DWORD StopPendingHintMs = 5000;
constexpr DWORD BatteryCheckDelayMs = 100;

struct stPRIVILEGE
{
    const wchar_t* pszName;
    const wchar_t* pszFailure;
};

const stPRIVILEGE Privileges[] = {
    {SE_TAKE_OWNERSHIP_NAME, L"Can't set security to SE_TAKE_OWNERSHIP_NAME"},
    {SE_DEBUG_NAME, L"Can't set security to SE_DEBUG_NAME"},
    {SE_TCB_NAME, L"Can't set security to SE_TCB_NAME"},
    {SE_ASSIGNPRIMARYTOKEN_NAME, L"Can't set security to SE_ASSIGNPRIMARYTOKEN_NAME"},
    {SE_INCREASE_QUOTA_NAME, L"Can't set security to SE_INCREASE_QUOTA_NAME"},
    {SE_SECURITY_NAME, L"Can't set security to SE_SECURITY_NAME"},
    {SE_BACKUP_NAME, L"Can't set security to SE_BACKUP_NAME"},
    {SE_RESTORE_NAME, L"Can't set security to SE_RESTORE_NAME"},
    {SE_CHANGE_NOTIFY_NAME, L"Can't set security to SE_CHANGE_NOTIFY_NAME"},
    {SE_CREATE_PERMANENT_NAME, L"Can't set security to SE_CREATE_PERMANENT_NAME"},
    {SE_CREATE_TOKEN_NAME, L"Can't set security to SE_CREATE_TOKEN_NAME"},
};

// A privilege fails only when the call does: a token that lacks it answers
// ERROR_NOT_ALL_ASSIGNED with success, and the service runs without it.
bool EnablePrivilege(HANDLE hToken, const wchar_t* pszName)
{
    TOKEN_PRIVILEGES stPrivileges = {};
    stPrivileges.PrivilegeCount = 1;
    stPrivileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return ::LookupPrivilegeValueW(NULL, pszName, &stPrivileges.Privileges[0].Luid) &&
           ::AdjustTokenPrivileges(hToken, FALSE, &stPrivileges, 0, NULL, NULL);
}

void CloseIfOpen(HANDLE& h)
{
    if (h != NULL)
        ::CloseHandle(h);
    h = NULL;
}

} // namespace

CDefragService::CDefragService()
    : m_hSchedulerStop(NULL), m_hSchedulerThread(NULL), m_pGuiServer(nullptr), m_pCommandServer(nullptr),
      m_bPasswordSet(false), m_bOverCapLogged(false),
      m_nManualAnalysisArgument(0), m_hStopEvent(::CreateEventW(NULL, TRUE, FALSE, NULL)), m_bPaused(false),
      m_nPauseOnBattery(0), m_hGuiItems(NULL), m_hCommandItems(NULL), m_hMountedDevices(NULL),
      m_hMountedDevicesEvent(NULL), m_hSchedulerRun(::CreateEventW(NULL, TRUE, TRUE, NULL)),
      m_pSchedulerVolume(nullptr), m_pReportVolume(nullptr), m_bSchedulerEnded(false)
{
    m_dwSchedulerStopWaitMs = SchedulerStopWaitMs;
    // Made here rather than in Run: a stop or a pause may come while Run starts up.
    if (m_hStopEvent == NULL || m_hSchedulerRun == NULL)
        throw std::runtime_error("service events");
    m_dwControlsAccepted = ControlsAccepted;
}

CDefragService::~CDefragService()
{
    StopServers();
    ClearDriveList();
    CloseIfOpen(m_hSchedulerRun);
    CloseIfOpen(m_hStopEvent);
}

CDefragPartition* CDefragService::CreatePartition(const CUnicodeString& strName)
{
    return new (std::nothrow) CDefragPartition(strName, this);
}

bool CDefragService::QueryPowerStatus(SYSTEM_POWER_STATUS* pStatus)
{
    return sys::GetSystemPowerStatus(pStatus) != FALSE;
}

bool CDefragService::Run()
{
    SetStatus(SERVICE_START_PENDING, StatusWaitHintMs);
    m_registry.Create(settings::ServiceKey);
    const bool bStarted = StartUp();
    if (bStarted)
        WaitLoop();
    StopSequence();
    return bStarted;
}

bool CDefragService::StartUp()
{
    if (!CreateServers())
        return false;
    if (!native::BindNativeFunctions())
    {
        LogEvent(L"Can't bind native functions");
        return false;
    }
    if (!EnablePrivileges())
        return false;
    SetStatus(SERVICE_RUNNING, StatusWaitHintMs);
    if (native::HeapSetInformation != nullptr)
    {
        ULONG ulLowFragmentation = 2;
        native::HeapSetInformation(::GetProcessHeap(), HeapCompatibilityInformation, &ulLowFragmentation,
                                   sizeof(ulLowFragmentation));
    }
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    if (!::GetVersionExW(&stVersion) || stVersion.dwMajorVersion < 5)
    {
        LogEvent(L"Wrong System Version");
        return false;
    }
    SetSystemLevel(SystemLevelFromVersion(stVersion.dwMajorVersion, stVersion.dwMinorVersion));
    if (!StartServers())
        return false;
    ReadServiceSettings();
    UpdateBootExecute();
    UpdateBootExecute();
    ArmMountedDevicesNotification();
    try
    {
        m_pMonitor.reset(new CFileChangeMonitor);
    }
    catch (const std::exception&)
    {
        LogEvent(L"Can't start the file change monitor", EVENTLOG_ERROR_TYPE);
        return false;
    }
    UpdateDriveList();
    if (!StartScheduler())
        return false;
    ::Sleep(BatteryCheckDelayMs);
    SYSTEM_POWER_STATUS stPower = {};
    if (QueryPowerStatus(&stPower) && stPower.ACLineStatus == 0)
        OnPause();
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    TrimWorkingSet();
    return true;
}

bool CDefragService::CreateServers()
{
    m_hGuiItems = ::CreateEventW(NULL, FALSE, FALSE, NULL);
    m_hCommandItems = ::CreateEventW(NULL, FALSE, FALSE, NULL);
    if (m_hGuiItems == NULL || m_hCommandItems == NULL)
        return false;
    // The servers' own threads start with StartServer; until then nothing runs in them.
    CSectionLock guiLock(m_csGuiServer);
    m_pGuiServer = new (std::nothrow) CQOVQueuedServer(m_hGuiItems);
    m_pCommandServer = new (std::nothrow) CQOVQueuedServer(m_hCommandItems);
    if (m_pGuiServer == nullptr || m_pCommandServer == nullptr)
        return false;
    m_pCommandServer->SetPipeClientId(-2);
    for (CQOVQueuedServer* pServer : {m_pGuiServer, m_pCommandServer})
        pServer->SetClientCaps(MaxQueuedItemsPerClient, MaxQueuedBytesPerClient);
    return true;
}

bool CDefragService::EnablePrivileges()
{
    HANDLE hToken = NULL;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &hToken))
    {
        LogEvent(Privileges[0].pszFailure);
        return false;
    }
    bool bAll = true;
    for (const stPRIVILEGE& stPrivilege : Privileges)
        if (!EnablePrivilege(hToken, stPrivilege.pszName))
        {
            LogEvent(stPrivilege.pszFailure);
            bAll = false;
            break;
        }
    ::CloseHandle(hToken);
    return bAll;
}

// A pipe name that another process holds already is not shared with it: its clients would
// reach that process, and it would read what they send.
bool CDefragService::StartServers()
{
    CSectionLock guiLock(m_csGuiServer);
    for (CQOVQueuedServer* pServer : {m_pGuiServer, m_pCommandServer})
    {
        const wchar_t* pszName = pServer == m_pGuiServer ? GuiPipeName : CommandPipeName;
        if (pServer->StartServer(pszName))
            continue;
        const DWORD dwError = ::GetLastError();
        CUnicodeString strText(L"Can't run Service with local Pipe");
        if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_ACCESS_DENIED)
        {
            strText += L": another process holds the pipe ";
            strText += pszName;
        }
        LogEvent(strText.GetBuffer());
        return false;
    }
    return true;
}

void CDefragService::ReadServiceSettings()
{
    m_stBackground.Read(m_registry);
    CUnicodeString strPassword;
    m_registry.ReadString(L"Password", strPassword);
    SetStoredPassword(strPassword);
    m_nPauseOnBattery = settings::ReadInt(m_registry, L"PauseOnBattery", 0);
}

void CDefragService::ArmMountedDevicesNotification()
{
    // The event exists even when the key cannot be watched, so that the wait loop always
    // has its four handles.
    if (m_hMountedDevicesEvent == NULL)
        m_hMountedDevicesEvent = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hMountedDevices == NULL &&
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, MountedDevicesKey, 0, KEY_NOTIFY, &m_hMountedDevices) != ERROR_SUCCESS)
        m_hMountedDevices = NULL;
    if (m_hMountedDevices != NULL && m_hMountedDevicesEvent != NULL)
        ::RegNotifyChangeKeyValue(m_hMountedDevices, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                  m_hMountedDevicesEvent, TRUE);
}

bool CDefragService::StartScheduler()
{
    m_hSchedulerStop = ::CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hSchedulerStop == NULL)
        return false;
    m_hSchedulerThread = ::CreateThread(NULL, 0, SchedulerThreadProc, this, 0, NULL);
    return m_hSchedulerThread != NULL;
}

void CDefragService::StopSequence()
{
    BroadcastCode(CMD_DISCONNECT);
    {
        CSectionLock lock(m_csDriveList);
        // A volume in background mode leaves the monitor as its job is stopped.
        for (int i = 0; i < GetVolumeCount(); ++i)
            ListedAt(i).pVolume->StopJob();
    }
    if (m_pMonitor)
        m_pMonitor->Stop();
    StopServers();
    StopScheduler();
    CloseIfOpen(m_hGuiItems);
    CloseIfOpen(m_hCommandItems);
    CloseIfOpen(m_hMountedDevicesEvent);
    if (m_hMountedDevices != NULL)
        ::RegCloseKey(m_hMountedDevices);
    m_hMountedDevices = NULL;
    // A scheduler ended between turns may have held the drive-list lock: the list is then
    // left to the end of the process.
    if (!m_bSchedulerEnded || m_pSchedulerVolume != nullptr)
        ClearDriveList();
    m_pMonitor.reset();
    m_registry.Close();
}

void CDefragService::StopServers()
{
    // Both servers go: a command client is let go as cleanly as the graphical program.
    CSectionLock guiLock(m_csGuiServer);
    for (CQOVQueuedServer** ppServer : {&m_pGuiServer, &m_pCommandServer})
    {
        if (*ppServer == nullptr)
            continue;
        (*ppServer)->Stop();
        delete *ppServer;
        *ppServer = nullptr;
    }
}

void CDefragService::StopScheduler()
{
    if (m_hSchedulerStop != NULL)
        ::SetEvent(m_hSchedulerStop);
    // A paused scheduler waits for the run event as well as for the stop event.
    ::SetEvent(m_hSchedulerRun);
    if (m_hSchedulerThread != NULL)
    {
        SetStatus(SERVICE_STOP_PENDING, m_dwSchedulerStopWaitMs);
        // The step or analysis under way is asked to stop; its idle waits end with it.
        {
            CSectionLock lock(m_csDriveList);
            if (m_pSchedulerVolume != nullptr)
                m_pSchedulerVolume->StopJob();
        }
        if (::WaitForSingleObject(m_hSchedulerThread, m_dwSchedulerStopWaitMs) == WAIT_TIMEOUT)
            EndSchedulerThread();
    }
    CloseIfOpen(m_hSchedulerThread);
    CloseIfOpen(m_hSchedulerStop);
}

void CDefragService::EndSchedulerThread()
{
    // The last resort: whatever the thread held stays as it was. It is found inside the
    // work on one volume, with the drive-list lock released, or else between turns.
    if (!::TerminateThread(m_hSchedulerThread, 0))
    {
        LogEvent(L"The background scheduler did not end and could not be ended", EVENTLOG_ERROR_TYPE);
        ::WaitForSingleObject(m_hSchedulerThread, INFINITE);
        return;
    }
    ::WaitForSingleObject(m_hSchedulerThread, INFINITE);
    m_bSchedulerEnded = true;
    LogEvent(L"The background scheduler did not end within 20 seconds of the stop and was ended",
             EVENTLOG_WARNING_TYPE);
}

void CDefragService::PauseService(bool bForced)
{
    if (!bForced && m_nPauseOnBattery == 0)
        return;
    // Pauses and continues come from the handler thread and from clients; one at a time,
    // so that the scheduler's run event always matches the flag.
    CSectionLock pauseLock(m_csPause);
    // A second pause changes nothing: one continue always ends it.
    if (m_bPaused.exchange(true))
        return;
    SetStatus(SERVICE_PAUSE_PENDING, StatusWaitHintMs);
    ::ResetEvent(m_hSchedulerRun);
    {
        CSectionLock lock(m_csDriveList);
        for (int i = 0; i < GetVolumeCount(); ++i)
        {
            CDefragPartition* pVolume = ListedAt(i).pVolume;
            pVolume->SetPaused(true);
            pVolume->ReportState();
        }
    }
    SetStatus(SERVICE_PAUSED, StatusWaitHintMs);
}

void CDefragService::OnPause()
{
    PauseService(false);
}

void CDefragService::OnContinue()
{
    CSectionLock pauseLock(m_csPause);
    if (!m_bPaused)
        return;
    SetStatus(SERVICE_CONTINUE_PENDING, StatusWaitHintMs);
    ResumeWork();
    SetStatus(SERVICE_RUNNING, StatusWaitHintMs);
}

void CDefragService::ResumeWork()
{
    m_bPaused = false;
    {
        CSectionLock lock(m_csDriveList);
        for (int i = 0; i < GetVolumeCount(); ++i)
        {
            CDefragPartition* pVolume = ListedAt(i).pVolume;
            pVolume->SetPaused(false);
            if (pVolume->IsBackgroundMode())
                pVolume->ReportState();
        }
    }
    ::SetEvent(m_hSchedulerRun);
}

void CDefragService::OnStop()
{
    // The frame has reported stop-pending already: a paused service resumes its work
    // without telling the manager it runs again.
    {
        CSectionLock pauseLock(m_csPause);
        if (m_bPaused)
            ResumeWork();
    }
    SetStatus(SERVICE_STOP_PENDING, StopPendingHintMs);
    ::SetEvent(m_hStopEvent);
}

void CDefragService::OnShutdown()
{
    ::SetEvent(m_hStopEvent);
}

void CDefragService::OnDeviceEvent(DWORD, LPVOID, LPVOID)
{
    if (!UpdateDriveList())
        return;
    if (CountClients(false) == 0)
        return;
    CNetDefragPartitionList list;
    {
        CSectionLock lock(m_csDriveList);
        SetClientFlags(true);
        FillDriveList(list);
        BroadcastObject(RESPONSE_PARTITION_LIST, list);
    }
}

int RunDefragServiceProgram(int argc, wchar_t** argv)
{
    CDefragService service;
    return service.ParseCommandLine(argc, argv) ? 1 : 0;
}
