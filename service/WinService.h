// CWinService: the frame of the service program: its command line, install
// and removal through the service control manager, start and stop of the
// installed service, the run under the control dispatcher or in the
// foreground, status reports, the control handler and the event log. One
// instance per process; the control handler reaches it through GetInstance.
#pragma once

#include "base/UnicodeString.h"
#include "base/SyncObjects.h"

#include <windows.h>

#include <vector>

class CWinService
{
public:
    static constexpr DWORD DefaultEventId = MAXDWORD;
    static constexpr DWORD EventIdInformation = 0x40000000;
    static constexpr DWORD EventIdWarning = 0x80000001;
    static constexpr DWORD EventIdError = 0xC0000002;
    static constexpr DWORD AllEventTypes = 7;
    static constexpr DWORD StatusWaitHintMs = 3000;
    static constexpr DWORD PollIntervalMs = 1000;
    static constexpr int MaxModulePath = 1023;
    static constexpr size_t MaxErrorTextLength = 241;
    // The system ends a console process about five seconds after a close
    // control, whatever its handler does.
    static constexpr DWORD ConsoleCloseWaitMs = 4500;

    explicit CWinService(const wchar_t* pszServiceName = L"VfoldSvc",
                         const wchar_t* pszDisplayName = L"Varnefold");
    virtual ~CWinService();
    CWinService(const CWinService&) = delete;
    CWinService& operator=(const CWinService&) = delete;

    static CWinService* GetInstance() { return s_pInstance; }

    // Run reports running itself and returns when the service should stop;
    // false when it could not start.
    virtual bool Run() = 0;
    // Stop-pending has been reported when OnStop is called.
    virtual void OnStop() = 0;
    virtual void OnPause() {}
    virtual void OnContinue() {}
    virtual void OnShutdown() {}
    virtual void OnDeviceEvent(DWORD dwEventType, LPVOID pEventData, LPVOID pContext);

    // The result of the selected operation: the program's exit code 1 or 0.
    virtual bool ParseCommandLine(int argc, wchar_t** argv);
    virtual bool RunAsService();
    virtual bool Install();
    virtual bool Remove();
    virtual bool StopInstalled();
    virtual bool StartInstalled();
    virtual bool RunDirect(int argc, wchar_t** argv, bool bForeground);
    virtual bool AddEventSource(const wchar_t* pszMessageFile, DWORD dwTypes);
    virtual bool RemoveEventSource();
    virtual void LogEvent(const wchar_t* pszText, WORD wType = EVENTLOG_INFORMATION_TYPE,
                          DWORD dwId = DefaultEventId);

    // Safe from the handler thread and the service thread at once.
    bool SetStatus(DWORD dwState, DWORD dwWaitHint);
    DWORD GetCurrentState() const;
    bool IsRunningDirectly() const { return m_bRunningDirectly; }
    const CUnicodeString& GetServiceName() const { return m_strServiceName; }

    static void WINAPI ServiceMain(DWORD dwArgc, LPWSTR* ppszArgv);
    static DWORD WINAPI HandlerEx(DWORD dwControl, DWORD dwEventType, LPVOID pEventData, LPVOID pContext);
    // The console control handler of the foreground mode: Ctrl+C and Ctrl+Break
    // stop the service; a console close also waits (bounded) for Run to end,
    // since the process ends as soon as the handler returns.
    static BOOL WINAPI ConsoleHandler(DWORD dwCtrlType);
    // The system's text for an error, without its line break; empty when
    // longer than MaxErrorTextLength.
    static CUnicodeString GetSystemErrorText(DWORD dwError);
    static DWORD GetDefaultEventId(WORD wType);

protected:
    // The power state as the system reports it.
    virtual bool QueryPowerStatus(SYSTEM_POWER_STATUS* pStatus);
    // Hands one status record to the service control manager; called with
    // the status lock held, so reports never overtake each other.
    virtual bool ReportStatus(const SERVICE_STATUS& stStatus);
    const CUnicodeString& GetAccount() const { return m_strAccount; }
    const CUnicodeString& GetPassword() const { return m_strPassword; }
    bool HasAccount() const { return m_bHasAccount; }
    bool HasPassword() const { return m_bHasPassword; }

    CUnicodeString m_strServiceName;
    CUnicodeString m_strDisplayName;
    DWORD m_dwLastError;
    bool m_bRunningDirectly;
    SERVICE_STATUS m_stStatus;
    SERVICE_STATUS_HANDLE m_hStatus;
    DWORD m_dwControlsAccepted;
    std::vector<BYTE> m_userSid;
    DWORD m_dwPendingState;
    bool m_bIsNT;
    DWORD m_dwDesiredAccess;
    DWORD m_dwServiceType;
    DWORD m_dwStartType;
    DWORD m_dwErrorControl;
    CUnicodeString m_strAccount;
    CUnicodeString m_strPassword;
    bool m_bHasAccount;
    bool m_bHasPassword;

private:
    enum EOperation { OpNone, OpInstall, OpRemove, OpStart, OpStop };

    void LookUpUserSid();
    void RunServiceEntry();
    // Reports stop-pending, then asks the service to stop.
    void RequestStop();
    // pdwState null: the state last reported, told again.
    bool UpdateStatus(const DWORD* pdwState, DWORD dwWaitHint);
    HDEVNOTIFY RegisterVolumeNotification();
    void HandleControl(DWORD dwControl, DWORD dwEventType, LPVOID pEventData, LPVOID pContext);
    void HandlePowerEvent(DWORD dwEventType);
    // A selecting switch, or "-l" or "-p" with its value; false when the value is missing.
    bool TakeSwitch(int argc, wchar_t** argv, int& nIndex, EOperation& eOperation);
    bool TakeSwitchValue(int argc, wchar_t** argv, int& nIndex, CUnicodeString& strValue);
    bool RunOperation(EOperation eOperation);
    static CUnicodeString GetModulePath();
    bool WaitWhileState(SC_HANDLE hService, DWORD dwPendingState, DWORD dwWantedState);

    // Guards the status record, the pending state and the check point.
    mutable CCriticalSection m_csStatus;
    DWORD m_dwCheckPoint;
    // Set while no Run of the foreground mode is in progress.
    CEvent m_evRunEnded;
    static CWinService* s_pInstance;
};
