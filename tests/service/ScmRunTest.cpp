// One real run of a small service on the frame under the service control
// manager. This test process is the anchor that keeps the service alive: Wine
// ends services once no other process of the prefix runs. The service is
// always removed at the end, since an automatic-start service left behind
// would start again with the next process of the prefix.
#include "service/EventSource.h"

#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace
{
const wchar_t TestServiceName[] = L"VfTestSvc";
const DWORD StateWaitMs = 10000;

class CScmHandle
{
public:
    explicit CScmHandle(SC_HANDLE h) : m_h(h) {}
    ~CScmHandle()
    {
        if (m_h != NULL)
            ::CloseServiceHandle(m_h);
    }
    SC_HANDLE Get() const { return m_h; }

private:
    SC_HANDLE m_h;
};

DWORD QueryState()
{
    CScmHandle manager(::OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT));
    CScmHandle service(::OpenServiceW(manager.Get(), TestServiceName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS stStatus = {};
    if (service.Get() == NULL || !::QueryServiceStatus(service.Get(), &stStatus))
        return 0;
    return stStatus.dwCurrentState;
}

bool WaitForState(DWORD dwState)
{
    DWORD dwStart = ::GetTickCount();
    while (QueryState() != dwState)
    {
        if (::GetTickCount() - dwStart > StateWaitMs)
            return false;
        ::Sleep(100);
    }
    return true;
}

bool SendControl(DWORD dwControl, SERVICE_STATUS* pStatus)
{
    CScmHandle manager(::OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT));
    CScmHandle service(::OpenServiceW(manager.Get(), TestServiceName, SERVICE_ALL_ACCESS));
    return service.Get() != NULL && ::ControlService(service.Get(), dwControl, pStatus);
}

bool IsInstalled()
{
    CScmHandle manager(::OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT));
    CScmHandle service(::OpenServiceW(manager.Get(), TestServiceName, SERVICE_QUERY_CONFIG));
    return service.Get() != NULL;
}

void ForceRemove()
{
    if (!IsInstalled())
        return;
    RunTestService(L"-u");
    CScmHandle manager(::OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS));
    CScmHandle service(::OpenServiceW(manager.Get(), TestServiceName, SERVICE_ALL_ACCESS));
    if (service.Get() != NULL)
    {
        SERVICE_STATUS stStatus;
        ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &stStatus);
        ::DeleteService(service.Get());
    }
}

long CountSources()
{
    std::vector<std::wstring> sources;
    EXPECT_TRUE(CEventSource::ReadSources(sources));
    return std::count(sources.begin(), sources.end(), std::wstring(TestServiceName));
}

std::wstring LogPath()
{
    std::wstring strPath = GetTestServicePath();
    return strPath.substr(0, strPath.size() - 3) + L"log";
}

std::string ReadLog()
{
    std::wstring strPath = LogPath();
    std::ifstream file(std::string(strPath.begin(), strPath.end()));
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::wstring MessageFromTable(DWORD dwId)
{
    HMODULE hModule = ::LoadLibraryExW(GetTestServicePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (hModule == NULL)
        return L"(no module)";
    wchar_t szText[64] = {};
    DWORD_PTR aInserts[1] = {reinterpret_cast<DWORD_PTR>(L"inserted text")};
    DWORD dwLength = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, hModule,
                                      dwId, 0, szText, 64, reinterpret_cast<va_list*>(aInserts));
    ::FreeLibrary(hModule);
    return std::wstring(szText, dwLength);
}

class ScmRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ForceRemove();
        ::DeleteFileW(LogPath().c_str());
    }
    void TearDown() override { ForceRemove(); }
};
}

TEST_F(ScmRun, ProgramIsItsOwnMessageFile)
{
    for (DWORD dwId : {0x40000000u, 0x80000001u, 0xC0000002u})
        EXPECT_EQ(MessageFromTable(dwId), L"inserted text\r\n") << std::hex << dwId;
}

TEST_F(ScmRun, InstallStartPauseContinueInterrogateStopRemove)
{
    ASSERT_EQ(RunTestService(L"-i"), 1u);
    EXPECT_TRUE(IsInstalled());
    EXPECT_EQ(RunTestService(L"-i"), 0u) << "a second install fails";
    EXPECT_EQ(CountSources(), 1);
    EXPECT_EQ(QueryState(), static_cast<DWORD>(SERVICE_STOPPED));

    ASSERT_EQ(RunTestService(L"-s"), 1u);
    EXPECT_EQ(QueryState(), static_cast<DWORD>(SERVICE_RUNNING));

    SERVICE_STATUS stStatus = {};
    ASSERT_TRUE(SendControl(SERVICE_CONTROL_PAUSE, &stStatus));
    EXPECT_TRUE(WaitForState(SERVICE_PAUSED));
    ASSERT_TRUE(SendControl(SERVICE_CONTROL_CONTINUE, &stStatus));
    EXPECT_TRUE(WaitForState(SERVICE_RUNNING));
    ASSERT_TRUE(SendControl(SERVICE_CONTROL_INTERROGATE, &stStatus));
    EXPECT_EQ(stStatus.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(stStatus.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE));

    EXPECT_EQ(RunTestService(L"-s -e"), 1u) << "only the last selection runs";
    EXPECT_EQ(QueryState(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(RunTestService(L"-e"), 0u) << "stopping a stopped service fails";

    ASSERT_EQ(RunTestService(L"-u"), 1u);
    EXPECT_FALSE(IsInstalled());
    EXPECT_EQ(CountSources(), 0);
    EXPECT_EQ(RunTestService(L"-u"), 0u);

    std::string strLog = ReadLog();
    EXPECT_NE(strLog.find("4 Service installed"), std::string::npos) << strLog;
    EXPECT_NE(strLog.find("4 Service removed"), std::string::npos) << strLog;
    EXPECT_EQ(strLog.find("SetServiceStatus() failed"), std::string::npos) << strLog;
}

TEST_F(ScmRun, WithoutTheServiceManagerTheDispatcherFails)
{
    EXPECT_EQ(RunTestService(L""), 0u);
    EXPECT_NE(ReadLog().find("1 "), std::string::npos) << "an error event";
}
