#include "service/WinService.h"

#include "service/EventSource.h"

#include <dbt.h>
#include <initguid.h>
#include <winioctl.h>

#include <memory>

CWinService* CWinService::s_pInstance = nullptr;

namespace
{
const wchar_t ServiceDescription[] = L"Keeps the files of the local volumes in one piece.";

// Owns one service control manager or service handle.
class CServiceHandle
{
public:
    explicit CServiceHandle(SC_HANDLE hHandle) : m_hHandle(hHandle) {}
    ~CServiceHandle()
    {
        if (m_hHandle != NULL)
            ::CloseServiceHandle(m_hHandle);
    }
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;

    SC_HANDLE Get() const { return m_hHandle; }
    explicit operator bool() const { return m_hHandle != NULL; }

private:
    SC_HANDLE m_hHandle;
};

SC_HANDLE OpenManager()
{
    return ::OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
}

// The installed service, opened through its own manager handle.
class CInstalledService
{
public:
    explicit CInstalledService(const wchar_t* pszName)
        : m_manager(OpenManager()),
          m_service(m_manager ? ::OpenServiceW(m_manager.Get(), pszName, SERVICE_ALL_ACCESS) : NULL)
    {
    }
    SC_HANDLE Get() const { return m_service.Get(); }
    explicit operator bool() const { return static_cast<bool>(m_service); }

private:
    CServiceHandle m_manager;
    CServiceHandle m_service;
};
}

CWinService::CWinService(const wchar_t* pszServiceName, const wchar_t* pszDisplayName)
    : m_strServiceName(pszServiceName),
      m_strDisplayName(pszDisplayName),
      m_dwLastError(0),
      m_bRunningDirectly(false),
      m_stStatus(),
      m_hStatus(NULL),
      m_dwControlsAccepted(SERVICE_ACCEPT_STOP),
      m_dwPendingState(SERVICE_START_PENDING),
      m_bIsNT(true),
      m_dwDesiredAccess(SERVICE_ALL_ACCESS),
      m_dwServiceType(SERVICE_WIN32_OWN_PROCESS),
      m_dwStartType(SERVICE_AUTO_START),
      m_dwErrorControl(SERVICE_ERROR_NORMAL),
      m_bHasAccount(false),
      m_bHasPassword(false),
      m_dwCheckPoint(1),
      m_evRunEnded(TRUE, TRUE)
{
    // The object exists because the program is starting.
    m_stStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    m_stStatus.dwCurrentState = SERVICE_START_PENDING;
    LookUpUserSid();
    s_pInstance = this;
}

CWinService::~CWinService()
{
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

void CWinService::LookUpUserSid()
{
    wchar_t szUser[257];
    DWORD dwUserLength = 257;
    if (!::GetUserNameW(szUser, &dwUserLength))
        return;
    DWORD dwSidBytes = 0, dwDomainLength = 0;
    SID_NAME_USE eUse;
    ::LookupAccountNameW(NULL, szUser, NULL, &dwSidBytes, NULL, &dwDomainLength, &eUse);
    if (dwSidBytes == 0)
        return;
    std::vector<BYTE> sid(dwSidBytes);
    std::vector<wchar_t> domain(dwDomainLength + 1);
    if (::LookupAccountNameW(NULL, szUser, sid.data(), &dwSidBytes, domain.data(), &dwDomainLength, &eUse))
        m_userSid.swap(sid);
}

void CWinService::OnDeviceEvent(DWORD, LPVOID, LPVOID)
{
}

bool CWinService::ParseCommandLine(int argc, wchar_t** argv)
{
    EOperation eOperation = OpNone;
    for (int i = 1; i < argc; ++i)
    {
        const wchar_t* pszArgument = argv[i];
        if (pszArgument == nullptr || pszArgument[0] != L'-')
            continue;
        if (pszArgument[1] == L'd' || pszArgument[1] == L'f')
        {
            m_bRunningDirectly = true;
            return RunDirect(argc, argv, pszArgument[1] == L'f');
        }
        if (!TakeSwitch(argc, argv, i, eOperation))
            return false;
    }
    return RunOperation(eOperation);
}

bool CWinService::TakeSwitch(int argc, wchar_t** argv, int& nIndex, EOperation& eOperation)
{
    switch (argv[nIndex][1])
    {
    case L'i':
        eOperation = OpInstall;
        return true;
    case L'u':
        eOperation = OpRemove;
        return true;
    case L's':
        eOperation = OpStart;
        return true;
    case L'e':
        eOperation = OpStop;
        return true;
    case L'l':
        if (!TakeSwitchValue(argc, argv, nIndex, m_strAccount))
            return false;
        m_bHasAccount = true;
        return true;
    case L'p':
        if (!TakeSwitchValue(argc, argv, nIndex, m_strPassword))
            return false;
        m_bHasPassword = true;
        return true;
    default:
        return true;
    }
}

bool CWinService::TakeSwitchValue(int argc, wchar_t** argv, int& nIndex, CUnicodeString& strValue)
{
    const wchar_t* pszValue = argv[nIndex] + 2;
    if (*pszValue == L'\0')
    {
        // The value is the next argument, which is then not read as a switch.
        if (nIndex + 1 >= argc || argv[nIndex + 1] == nullptr)
            return false;
        pszValue = argv[++nIndex];
    }
    strValue = pszValue;
    return true;
}

bool CWinService::RunOperation(EOperation eOperation)
{
    switch (eOperation)
    {
    case OpInstall:
        return Install();
    case OpRemove:
        return Remove();
    case OpStart:
        return StartInstalled();
    case OpStop:
        return StopInstalled();
    case OpNone:
        break;
    }
    return m_bIsNT && RunAsService();
}

CUnicodeString CWinService::GetModulePath()
{
    wchar_t szPath[MaxModulePath + 1];
    DWORD dwLength = ::GetModuleFileNameW(NULL, szPath, MaxModulePath + 1);
    if (dwLength == 0 || dwLength > static_cast<DWORD>(MaxModulePath))
        return CUnicodeString();
    return CUnicodeString(szPath);
}

bool CWinService::Install()
{
    CUnicodeString strPath = GetModulePath();
    if (strPath.GetLength() == 0)
        return false;
    CUnicodeString strCommand = strPath.Find(L' ') >= 0 ? L"\"" + strPath + L"\"" : strPath;
    CServiceHandle manager(OpenManager());
    if (!manager)
        return false;
    CServiceHandle service(::CreateServiceW(
        manager.Get(), m_strServiceName.GetBuffer(), m_strDisplayName.GetBuffer(), m_dwDesiredAccess,
        m_dwServiceType, m_dwStartType, m_dwErrorControl, strCommand.GetBuffer(), NULL, NULL, NULL,
        m_bHasAccount ? m_strAccount.GetBuffer() : NULL, m_bHasPassword ? m_strPassword.GetBuffer() : NULL));
    if (!service)
        return false;
    SERVICE_DESCRIPTIONW stDescription = {const_cast<wchar_t*>(ServiceDescription)};
    ::ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &stDescription);
    AddEventSource(strPath.GetBuffer(), AllEventTypes);
    LogEvent(L"Service installed");
    return true;
}

bool CWinService::Remove()
{
    CInstalledService service(m_strServiceName.GetBuffer());
    if (!service)
        return false;
    SERVICE_STATUS stStatus;
    if (::ControlService(service.Get(), SERVICE_CONTROL_STOP, &stStatus))
        WaitWhileState(service.Get(), SERVICE_STOP_PENDING, SERVICE_STOPPED);
    if (!::DeleteService(service.Get()))
        return false;
    LogEvent(L"Service removed");
    RemoveEventSource();
    return true;
}

bool CWinService::StartInstalled()
{
    CInstalledService service(m_strServiceName.GetBuffer());
    return service && ::StartServiceW(service.Get(), 0, NULL) &&
           WaitWhileState(service.Get(), SERVICE_START_PENDING, SERVICE_RUNNING);
}

bool CWinService::StopInstalled()
{
    CInstalledService service(m_strServiceName.GetBuffer());
    SERVICE_STATUS stStatus;
    return service && ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &stStatus) &&
           WaitWhileState(service.Get(), SERVICE_STOP_PENDING, SERVICE_STOPPED);
}

bool CWinService::WaitWhileState(SC_HANDLE hService, DWORD dwPendingState, DWORD dwWantedState)
{
    SERVICE_STATUS stStatus;
    for (;;)
    {
        if (!::QueryServiceStatus(hService, &stStatus))
            return false;
        if (stStatus.dwCurrentState != dwPendingState)
            return stStatus.dwCurrentState == dwWantedState;
        ::Sleep(PollIntervalMs);
    }
}

bool CWinService::RunAsService()
{
    SERVICE_TABLE_ENTRYW astTable[] = {{m_strServiceName.GetBuffer(), ServiceMain}, {NULL, NULL}};
    if (::StartServiceCtrlDispatcherW(astTable))
        return true;
    LogEvent(GetSystemErrorText(::GetLastError()).GetBuffer(), EVENTLOG_ERROR_TYPE);
    return false;
}

BOOL WINAPI CWinService::ConsoleHandler(DWORD dwCtrlType)
{
    if (dwCtrlType != CTRL_C_EVENT && dwCtrlType != CTRL_BREAK_EVENT && dwCtrlType != CTRL_CLOSE_EVENT)
        return FALSE;
    CWinService* pService = s_pInstance;
    if (pService == nullptr)
        return TRUE;
    pService->RequestStop();
    // After a close the process ends once this returns: the stop sequence,
    // which says goodbye to the clients, must have run by then.
    if (dwCtrlType == CTRL_CLOSE_EVENT)
        ::WaitForSingleObject(pService->m_evRunEnded.GetHandle(), ConsoleCloseWaitMs);
    return TRUE;
}

bool CWinService::RunDirect(int, wchar_t**, bool)
{
    // In the foreground Ctrl+C takes the same way out as a stop control.
    m_evRunEnded.ResetEvent();
    ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    bool bStarted = Run();
    m_evRunEnded.SetEvent();
    ::SetConsoleCtrlHandler(ConsoleHandler, FALSE);
    return bStarted;
}

void CWinService::RequestStop()
{
    // Whoever waits for the stop ("-e", "-u") polls only while stop-pending
    // is reported, so it is reported before the work is told to stop.
    SetStatus(SERVICE_STOP_PENDING, StatusWaitHintMs);
    OnStop();
}

void WINAPI CWinService::ServiceMain(DWORD, LPWSTR*)
{
    if (s_pInstance != nullptr)
        s_pInstance->RunServiceEntry();
}

void CWinService::RunServiceEntry()
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    if (::GetVersionExW(&stVersion) && stVersion.dwMajorVersion <= 4)
    {
        LogEvent(L"Wrong System Version");
        return;
    }
    m_hStatus = ::RegisterServiceCtrlHandlerExW(m_strServiceName.GetBuffer(), HandlerEx, this);
    if (m_hStatus == NULL)
    {
        LogEvent(GetSystemErrorText(::GetLastError()).GetBuffer(), EVENTLOG_ERROR_TYPE);
        return;
    }
    HDEVNOTIFY hNotify = RegisterVolumeNotification();
    SetStatus(SERVICE_START_PENDING, StatusWaitHintMs);
    Run();
    if (hNotify != NULL)
        ::UnregisterDeviceNotification(hNotify);
    SetStatus(SERVICE_STOPPED, StatusWaitHintMs);
}

HDEVNOTIFY CWinService::RegisterVolumeNotification()
{
    DEV_BROADCAST_DEVICEINTERFACE_W stFilter = {};
    stFilter.dbcc_size = sizeof(stFilter);
    stFilter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    stFilter.dbcc_classguid = GUID_DEVINTERFACE_VOLUME;
    return ::RegisterDeviceNotificationW(m_hStatus, &stFilter, DEVICE_NOTIFY_SERVICE_HANDLE);
}

bool CWinService::SetStatus(DWORD dwState, DWORD dwWaitHint)
{
    return UpdateStatus(&dwState, dwWaitHint);
}

bool CWinService::UpdateStatus(const DWORD* pdwState, DWORD dwWaitHint)
{
    if (m_bRunningDirectly)
        return true;
    bool bReported;
    {
        CSectionLock statusLock(m_csStatus);
        // An interrogation reports the state last told, not a pending state
        // that has since been left.
        DWORD dwState = pdwState != nullptr ? *pdwState : m_dwPendingState;
        m_stStatus.dwServiceType = m_dwServiceType;
        m_stStatus.dwCurrentState = dwState;
        m_stStatus.dwControlsAccepted = dwState == SERVICE_START_PENDING ? 0 : m_dwControlsAccepted;
        m_stStatus.dwWin32ExitCode = 0;
        m_stStatus.dwServiceSpecificExitCode = 0;
        m_stStatus.dwCheckPoint =
            dwState == SERVICE_RUNNING || dwState == SERVICE_STOPPED ? 0 : m_dwCheckPoint++;
        m_stStatus.dwWaitHint = dwWaitHint;
        m_dwPendingState = dwState;
        bReported = ReportStatus(m_stStatus);
    }
    if (bReported)
        return true;
    LogEvent(L"SetServiceStatus() failed", EVENTLOG_ERROR_TYPE);
    return false;
}

DWORD CWinService::GetCurrentState() const
{
    CSectionLock statusLock(m_csStatus);
    return m_stStatus.dwCurrentState;
}

bool CWinService::ReportStatus(const SERVICE_STATUS& stStatus)
{
    SERVICE_STATUS stCopy = stStatus;
    return ::SetServiceStatus(m_hStatus, &stCopy) != FALSE;
}

DWORD WINAPI CWinService::HandlerEx(DWORD dwControl, DWORD dwEventType, LPVOID pEventData, LPVOID pContext)
{
    if (s_pInstance != nullptr)
        s_pInstance->HandleControl(dwControl, dwEventType, pEventData, pContext);
    return NO_ERROR;
}

void CWinService::HandleControl(DWORD dwControl, DWORD dwEventType, LPVOID pEventData, LPVOID pContext)
{
    // Pause and continue report their own states: one that ignores its
    // control (a pause without its cause) must leave no pending state behind
    // for an interrogation to repeat.
    switch (dwControl)
    {
    case SERVICE_CONTROL_STOP:
        RequestStop();
        break;
    case SERVICE_CONTROL_PAUSE:
        OnPause();
        break;
    case SERVICE_CONTROL_CONTINUE:
        OnContinue();
        break;
    case SERVICE_CONTROL_INTERROGATE:
        UpdateStatus(nullptr, StatusWaitHintMs);
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        OnShutdown();
        break;
    case SERVICE_CONTROL_DEVICEEVENT:
        OnDeviceEvent(dwEventType, pEventData, pContext);
        break;
    case SERVICE_CONTROL_POWEREVENT:
        HandlePowerEvent(dwEventType);
        break;
    default:
        break;
    }
}

void CWinService::HandlePowerEvent(DWORD dwEventType)
{
    if (dwEventType == PBT_APMBATTERYLOW)
    {
        OnPause();
        return;
    }
    if (dwEventType != PBT_APMPOWERSTATUSCHANGE)
        return;
    SYSTEM_POWER_STATUS stPower = {};
    if (QueryPowerStatus(&stPower) && stPower.ACLineStatus == 1)
        OnContinue();
    else
        OnPause();
}

bool CWinService::QueryPowerStatus(SYSTEM_POWER_STATUS* pStatus)
{
    return ::GetSystemPowerStatus(pStatus) != FALSE;
}

DWORD CWinService::GetDefaultEventId(WORD wType)
{
    switch (wType)
    {
    case EVENTLOG_ERROR_TYPE:
        return EventIdError;
    case EVENTLOG_WARNING_TYPE:
        return EventIdWarning;
    default:
        return EventIdInformation;
    }
}

void CWinService::LogEvent(const wchar_t* pszText, WORD wType, DWORD dwId)
{
    m_dwLastError = ::GetLastError();
    if (dwId == DefaultEventId)
        dwId = GetDefaultEventId(wType);
    HANDLE hSource = ::RegisterEventSourceW(NULL, m_strServiceName.GetBuffer());
    if (hSource == NULL)
        return;
    const wchar_t* apszStrings[1] = {pszText};
    PSID pSid = m_userSid.empty() ? NULL : m_userSid.data();
    ::ReportEventW(hSource, wType, 0, dwId, pSid, 1, 0, apszStrings, NULL);
    ::DeregisterEventSource(hSource);
}

bool CWinService::AddEventSource(const wchar_t* pszMessageFile, DWORD dwTypes)
{
    return CEventSource::Register(m_strServiceName.GetBuffer(), pszMessageFile, dwTypes);
}

bool CWinService::RemoveEventSource()
{
    return CEventSource::Unregister(m_strServiceName.GetBuffer());
}

CUnicodeString CWinService::GetSystemErrorText(DWORD dwError)
{
    wchar_t* pszText = nullptr;
    DWORD dwLength = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        dwError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, NULL);
    if (dwLength == 0 || pszText == nullptr)
        return CUnicodeString();
    std::unique_ptr<wchar_t, decltype(&::LocalFree)> owner(pszText, &::LocalFree);
    while (dwLength > 0 && (pszText[dwLength - 1] == L'\n' || pszText[dwLength - 1] == L'\r'))
        pszText[--dwLength] = L'\0';
    if (dwLength > MaxErrorTextLength)
        return CUnicodeString();
    return CUnicodeString(pszText);
}
