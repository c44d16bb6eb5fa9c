#include "service/WinService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
class CControlledService : public CWinService
{
public:
    CControlledService() : CWinService(L"VfControlSvc", L"Controlled") {}

    bool Run() override { return true; }
    void OnStop() override { m_calls.push_back("stop"); }
    void OnPause() override { m_calls.push_back("pause"); }
    void OnContinue() override { m_calls.push_back("continue"); }
    void OnShutdown() override { m_calls.push_back("shutdown"); }
    void OnDeviceEvent(DWORD dwEventType, LPVOID, LPVOID) override
    {
        m_calls.push_back("device " + std::to_string(dwEventType));
    }
    void LogEvent(const wchar_t* pszText, WORD wType, DWORD) override
    {
        std::wstring strText(pszText);
        m_calls.push_back("log " + std::to_string(wType) + " " + std::string(strText.begin(), strText.end()));
    }

    BYTE m_bACLine = 1;
    // Off: reports go to the system, which has no status handle for a test.
    bool m_bRecordReports = true;
    std::vector<std::string> m_calls;

protected:
    bool ReportStatus(const SERVICE_STATUS& stStatus) override
    {
        if (!m_bRecordReports)
            return CWinService::ReportStatus(stStatus);
        m_calls.push_back("report " + std::to_string(stStatus.dwCurrentState));
        return true;
    }
    bool QueryPowerStatus(SYSTEM_POWER_STATUS* pStatus) override
    {
        pStatus->ACLineStatus = m_bACLine;
        return true;
    }
};
}

TEST(ServiceControlHandler, ControlsReachTheirOperations)
{
    struct stCase
    {
        DWORD dwControl;
        DWORD dwEventType;
        BYTE bACLine;
        const char* pszCall;
    };
    const stCase aCases[] = {
        {SERVICE_CONTROL_STOP, 0, 1, "report 3|stop"},
        {SERVICE_CONTROL_INTERROGATE, 0, 1, "report 2"},
        {SERVICE_CONTROL_PAUSE, 0, 1, "pause"},
        {SERVICE_CONTROL_CONTINUE, 0, 1, "continue"},
        {SERVICE_CONTROL_SHUTDOWN, 0, 1, "shutdown"},
        {SERVICE_CONTROL_DEVICEEVENT, 0x8000, 1, "device 32768"},
        {SERVICE_CONTROL_POWEREVENT, PBT_APMBATTERYLOW, 1, "pause"},
        {SERVICE_CONTROL_POWEREVENT, PBT_APMPOWERSTATUSCHANGE, 0, "pause"},
        {SERVICE_CONTROL_POWEREVENT, PBT_APMPOWERSTATUSCHANGE, 1, "continue"},
        {SERVICE_CONTROL_POWEREVENT, PBT_APMRESUMEAUTOMATIC, 1, nullptr},
        {SERVICE_CONTROL_PARAMCHANGE, 0, 1, nullptr},
    };
    for (const stCase& stC : aCases)
    {
        CControlledService service;
        service.m_bACLine = stC.bACLine;
        EXPECT_EQ(CWinService::HandlerEx(stC.dwControl, stC.dwEventType, nullptr, nullptr),
                  static_cast<DWORD>(NO_ERROR));
        std::vector<std::string> expected;
        for (std::string strCalls = stC.pszCall != nullptr ? stC.pszCall : ""; !strCalls.empty();)
        {
            size_t nBar = strCalls.find('|');
            expected.push_back(strCalls.substr(0, nBar));
            strCalls = nBar == std::string::npos ? "" : strCalls.substr(nBar + 1);
        }
        EXPECT_EQ(service.m_calls, expected) << "control " << stC.dwControl << " event " << stC.dwEventType;
    }
}

TEST(ServiceControlHandler, StatusReportsAreSkippedInTheForegroundAndFailuresLogged)
{
    CControlledService service;
    service.m_bRecordReports = false;
    // Not started by the dispatcher: there is no status handle to report to.
    EXPECT_FALSE(service.SetStatus(SERVICE_RUNNING, 0));
    ASSERT_EQ(service.m_calls.size(), 1u);
    EXPECT_EQ(service.m_calls[0], "log 1 SetServiceStatus() failed");

    wchar_t szProgram[] = L"VfoldSvc.exe";
    wchar_t szForeground[] = L"-f";
    wchar_t* argv[] = {szProgram, szForeground};
    service.m_calls.clear();
    EXPECT_TRUE(service.ParseCommandLine(2, argv));
    EXPECT_TRUE(service.SetStatus(SERVICE_RUNNING, 0));
    EXPECT_TRUE(CWinService::HandlerEx(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr) == NO_ERROR);
    EXPECT_TRUE(service.m_calls.empty());
}

// Pause and continue of the recorded service report nothing, as a pause does
// without its cause: an interrogation then still tells the state last
// reported. A stop reports stop-pending before the service hears of it.
TEST(ServiceControlHandler, InterrogationReportsTheStateLastReported)
{
    struct stCase
    {
        DWORD dwControl;
        DWORD dwState;
    };
    const stCase aCases[] = {
        {SERVICE_CONTROL_PAUSE, SERVICE_RUNNING},
        {SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
        {SERVICE_CONTROL_STOP, SERVICE_STOP_PENDING},
    };
    for (const stCase& stC : aCases)
    {
        CControlledService service;
        EXPECT_EQ(service.GetCurrentState(), static_cast<DWORD>(SERVICE_START_PENDING)) << "before any report";
        service.SetStatus(SERVICE_RUNNING, 0);
        CWinService::HandlerEx(stC.dwControl, 0, nullptr, nullptr);
        CWinService::HandlerEx(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr);
        EXPECT_EQ(service.GetCurrentState(), stC.dwState) << "control " << stC.dwControl;
        EXPECT_EQ(service.m_calls.back(), "report " + std::to_string(stC.dwState)) << "control " << stC.dwControl;
    }
}

namespace
{
// Keeps every record it is given, from any thread.
class CReportingService : public CWinService
{
public:
    CReportingService() : CWinService(L"VfReportSvc", L"Reporting") {}
    bool Run() override { return true; }
    void OnStop() override {}

    std::vector<SERVICE_STATUS> m_reports;

protected:
    bool ReportStatus(const SERVICE_STATUS& stStatus) override
    {
        CSectionLock lock(m_csReports);
        m_reports.push_back(stStatus);
        return true;
    }

private:
    CCriticalSection m_csReports;
};
}

// The handler thread (stop, interrogation) and the service thread report at
// the same time: every record reaches the manager whole, with its own check
// point, in the order of the check points.
TEST(ServiceControlHandler, ReportsFromTwoThreadsStayWholeAndInOrder)
{
    // A few rounds: two threads overlap only now and then.
    const int nRounds = 6;
    const int nReports = 100000;
    const DWORD adwStates[2] = {SERVICE_STOP_PENDING, SERVICE_PAUSE_PENDING};
    const DWORD adwHints[2] = {1111, 2222};
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        CReportingService service;
        CEvent evGo(TRUE, FALSE);
        std::thread reporters[2];
        for (int i = 0; i < 2; ++i)
            reporters[i] = std::thread([&service, &adwStates, &adwHints, &evGo, i] {
                ::WaitForSingleObject(evGo.GetHandle(), INFINITE);
                for (int n = 0; n < nReports; ++n)
                    service.SetStatus(adwStates[i], adwHints[i]);
            });
        evGo.SetEvent();
        for (std::thread& reporter : reporters)
            reporter.join();
        ASSERT_EQ(service.m_reports.size(), static_cast<size_t>(2 * nReports));
        int nTorn = 0, nOutOfOrder = 0;
        DWORD dwLastCheckPoint = 0;
        for (const SERVICE_STATUS& stStatus : service.m_reports)
        {
            DWORD dwExpectedHint = stStatus.dwCurrentState == adwStates[0] ? adwHints[0] : adwHints[1];
            nTorn += stStatus.dwWaitHint != dwExpectedHint ? 1 : 0;
            nOutOfOrder += stStatus.dwCheckPoint <= dwLastCheckPoint ? 1 : 0;
            dwLastCheckPoint = stStatus.dwCheckPoint;
        }
        ASSERT_EQ(nTorn, 0) << "round " << nRound;
        ASSERT_EQ(nOutOfOrder, 0) << "round " << nRound;
    }
}

namespace
{
// Runs until stopped, then takes a while to say goodbye, as the service's
// stop sequence does.
class CForegroundService : public CWinService
{
public:
    static constexpr DWORD StopSequenceMs = 500;

    CForegroundService() : CWinService(L"VfForegroundSvc", L"Foreground"), m_evStop(TRUE, FALSE) {}
    bool Run() override
    {
        m_evStarted.SetEvent();
        ::WaitForSingleObject(m_evStop.GetHandle(), 30000);
        ::Sleep(StopSequenceMs);
        m_bStopSequenceDone = true;
        return true;
    }
    void OnStop() override { m_evStop.SetEvent(); }

    CEvent m_evStarted;
    CEvent m_evStop;
    std::atomic<bool> m_bStopSequenceDone{false};
};
}

// After a console close the process ends as soon as the handler returns, so
// the handler returns only once the stop sequence has run; Ctrl+C returns at once.
TEST(ServiceControlHandler, ConsoleCloseWaitsForTheStopSequence)
{
    for (DWORD dwCtrlType : {CTRL_CLOSE_EVENT, CTRL_C_EVENT})
    {
        CForegroundService service;
        wchar_t szProgram[] = L"VfoldSvc.exe";
        wchar_t szForeground[] = L"-f";
        wchar_t* argv[] = {szProgram, szForeground};
        std::thread runner([&] { service.ParseCommandLine(2, argv); });
        ASSERT_EQ(::WaitForSingleObject(service.m_evStarted.GetHandle(), 10000), WAIT_OBJECT_0);
        EXPECT_TRUE(CWinService::ConsoleHandler(dwCtrlType));
        EXPECT_EQ(service.m_bStopSequenceDone.load(), dwCtrlType == CTRL_CLOSE_EVENT) << dwCtrlType;
        runner.join();
        EXPECT_TRUE(service.m_bStopSequenceDone.load());
    }
}

TEST(ServiceControlHandler, DispatcherFailureFromAConsoleIsAnErrorEvent)
{
    CControlledService service;
    EXPECT_FALSE(service.RunAsService());
    ASSERT_EQ(service.m_calls.size(), 1u);
    std::string strExpected = "log 1 ";
    std::wstring strText = CWinService::GetSystemErrorText(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT).GetBuffer();
    EXPECT_EQ(service.m_calls[0], strExpected + std::string(strText.begin(), strText.end()));
    EXPECT_FALSE(strText.empty());
    EXPECT_NE(strText.back(), L'\n');
}
