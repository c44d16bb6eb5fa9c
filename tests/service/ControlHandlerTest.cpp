#include "service/WinService.h"

#include <gtest/gtest.h>

#include <string>
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
    std::vector<std::string> m_calls;

protected:
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
        {SERVICE_CONTROL_STOP, 0, 1, "stop"},
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
        if (stC.pszCall != nullptr)
            expected.push_back(stC.pszCall);
        EXPECT_EQ(service.m_calls, expected) << "control " << stC.dwControl << " event " << stC.dwEventType;
    }
}

TEST(ServiceControlHandler, StatusReportsAreSkippedInTheForegroundAndFailuresLogged)
{
    CControlledService service;
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

// The recorded operations report nothing, as a pause does without its cause:
// an interrogation then still tells the state last reported.
TEST(ServiceControlHandler, InterrogationReportsTheStateLastReported)
{
    for (DWORD dwControl : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP})
    {
        CControlledService service;
        // No status handle outside the dispatcher: the report fails, the state is kept.
        service.SetStatus(SERVICE_RUNNING, 0);
        CWinService::HandlerEx(dwControl, 0, nullptr, nullptr);
        CWinService::HandlerEx(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr);
        EXPECT_EQ(service.GetCurrentState(), static_cast<DWORD>(SERVICE_RUNNING)) << "control " << dwControl;
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
