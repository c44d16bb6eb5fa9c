#include "ChildRun.h"
#include "FakeService.h"

#include "protocol/NetDefragCommand.h"

#include "cmdtool/ServiceConnection.h"
#include "tests/platform/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <string>
#include <vector>

namespace {

const char HelpText[] =
    "----------------------------\n"
    "Varnefold Command tool V3.6\n"
    "---------------------------\n"
    "Syntax: VfoldCmd /H\n"
    "Display help\n"
    "Syntax: VfoldCmd /A:<Action> [/D:<Driveletter|Guid>]\n"
    "Action: {DefragQuick|DefragComplete|DefragAdvanced|Stop|Monitor|List}\n";

// What /A:List prints for the fake service's volumes.
const char ListText[] = "C:\\ \\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\\n"
                        "E:\\ \\\\?\\Volume{00000000-0000-0000-0000-000000000045}\\\n"
                        "\\\\?\\Volume{00000000-0000-0000-0000-00000000004a}\\ "
                        "\\\\?\\Volume{00000000-0000-0000-0000-00000000004a}\\\n";

struct stTextCase
{
    const wchar_t* pszArguments;
    DWORD dwExitCode;
    std::string strOutput;
};

void ExpectRuns(const stTextCase& stCase)
{
    SCOPED_TRACE(testing::PrintToString(std::wstring(stCase.pszArguments)));
    stChildResult stResult = RunVfoldCmd(stCase.pszArguments);
    EXPECT_EQ(stCase.dwExitCode, stResult.dwExitCode);
    EXPECT_EQ(stCase.strOutput, stResult.strOutput);
}

// A client against a fake service; each run ends only once the fake has seen
// the client go and listens again.
stChildResult RunAgainst(CFakeService& service, const std::wstring& strArguments)
{
    stChildResult stResult = RunVfoldCmd(strArguments);
    EXPECT_TRUE(service.AwaitClientGone(10000));
    return stResult;
}

std::vector<int32_t> Commands(const std::vector<stFakeRequest>& vecRequests)
{
    std::vector<int32_t> vecCommands;
    for (const stFakeRequest& stRequest : vecRequests)
        vecCommands.push_back(stRequest.nCommand);
    return vecCommands;
}

TEST(VfoldCmd, TextsAndExitCodesWithoutAService)
{
    const stTextCase aCases[] = {
        {L"", 1, HelpText},
        {L"/H", 0, HelpText},
        {L"-h /X", 0, HelpText},
        {L"/X", 1, "Error: No data for option: /X\n"},
        {L"/X:1", 1, "Error: Unknown option: /X:1\n"},
        {L"/A:Foo", 1, "Error: Unknown action: /A:Foo\n"},
        {L"/D:C", 1, "Error: no action defined\n"},
        {L"/A:List", 1, "Error: Can't start connection to Service\n"},
        {L"/A:Stop /D:e", 1, "Error: Can't start connection to Service\n"},
    };
    for (const stTextCase& stCase : aCases)
        ExpectRuns(stCase);
}

TEST(VfoldCmd, ListPrintsEveryVolumeWithItsGuidPath)
{
    CFakeService service(CFakeService::Answering);
    ASSERT_TRUE(service.Start());
    stChildResult stResult = RunAgainst(service, L"/A:list");
    EXPECT_EQ(0u, stResult.dwExitCode);
    EXPECT_EQ(ListText, stResult.strOutput);
    EXPECT_EQ((std::vector<int32_t>{CMD_GET_SERVICE_INFO, CMD_GET_PARTITION_LIST}),
              Commands(service.GetRequests()));
}

TEST(VfoldCmd, ActionGoesToTheVolumeNamedByLetterOrGuid)
{
    struct stActionCase
    {
        const wchar_t* pszArguments;
        int32_t nCommand;
        int32_t nVolumeIndex;
    };
    const stActionCase aCases[] = {
        {L"/A:DefragQuick /D:e", CMD_DEFRAG_QUICK, 9},
        {L"/A:DefragComplete", CMD_DEFRAG_COMPLETE, 7},
        {L"/A:DefragAdvanced /D:c", CMD_DEFRAG_ADVANCED, 7},
        {L"/A:Stop /D:E", CMD_STOP, 9},
        {L"-a:monitor -d:E", CMD_MONITOR, 9},
        {L"/A:Stop /D:\\\\?\\VOLUME{00000000-0000-0000-0000-000000000045}\\", CMD_STOP, 9},
        {L"/A:Stop /D:\\\\?\\volume{00000000-0000-0000-0000-000000000043}\\", CMD_STOP, 7},
        {L"\"/D:\\\\?\\Volume{00000000-0000-0000-0000-00000000004A}\\\" /A:Monitor", CMD_MONITOR, 12},
    };
    CFakeService service(CFakeService::Answering);
    ASSERT_TRUE(service.Start());
    size_t nSeen = 0;
    for (const stActionCase& stCase : aCases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(stCase.pszArguments)));
        stChildResult stResult = RunAgainst(service, stCase.pszArguments);
        EXPECT_EQ(0u, stResult.dwExitCode);
        EXPECT_EQ("", stResult.strOutput);
        std::vector<stFakeRequest> vecRequests = service.GetRequests();
        ASSERT_EQ(nSeen + 3, vecRequests.size());
        EXPECT_EQ(CMD_GET_SERVICE_INFO, vecRequests[nSeen].nCommand);
        EXPECT_EQ(CMD_GET_PARTITION_LIST, vecRequests[nSeen + 1].nCommand);
        EXPECT_EQ(stCase.nCommand, vecRequests[nSeen + 2].nCommand);
        EXPECT_EQ(stCase.nVolumeIndex, vecRequests[nSeen + 2].nVolumeIndex);
        nSeen = vecRequests.size();
    }
}

TEST(VfoldCmd, UnlistedDriveSendsNothing)
{
    CFakeService service(CFakeService::Answering);
    ASSERT_TRUE(service.Start());
    stChildResult stResult = RunAgainst(service, L"/A:Stop /D:Q");
    EXPECT_EQ(1u, stResult.dwExitCode);
    EXPECT_EQ("Error: Can't find drive in Partition information: Q:\\\n", stResult.strOutput);
    EXPECT_EQ((std::vector<int32_t>{CMD_GET_SERVICE_INFO, CMD_GET_PARTITION_LIST}),
              Commands(service.GetRequests()));
}

TEST(VfoldCmd, MissingRepliesEndTheClient)
{
    struct stReplyCase
    {
        CFakeService::EBehaviour eBehaviour;
        const char* pszOutput;
    };
    const stReplyCase aCases[] = {
        {CFakeService::NoVersion, "Error: Can't get Version information from Service\n"},
        {CFakeService::PasswordSet, "Error: The Service asks for a password\n"},
    };
    for (const stReplyCase& stCase : aCases)
    {
        CFakeService service(stCase.eBehaviour);
        ASSERT_TRUE(service.Start());
        stChildResult stResult = RunAgainst(service, L"/A:List");
        EXPECT_EQ(1u, stResult.dwExitCode);
        EXPECT_EQ(stCase.pszOutput, stResult.strOutput);
    }
}

TEST(VfoldCmd, ActionThatCouldNotBeSentFails)
{
    CFakeService service(CFakeService::VanishAfterList);
    ASSERT_TRUE(service.Start());
    stChildResult stResult = RunAgainst(service, L"/A:Stop /D:E");
    EXPECT_EQ(1u, stResult.dwExitCode);
    EXPECT_EQ("Error: Can't send command to Service\n", stResult.strOutput);
}

TEST(VfoldCmd, WaitEndsOnceNoJobRuns)
{
    struct stWaitCase
    {
        std::vector<int32_t> vecFirstStates;
        size_t nDriveLists;
    };
    // The other volumes report monitoring (1) and faulty monitoring (12)
    // throughout: neither is a job.
    const stWaitCase aCases[] = {
        {{0}, 2},
        {{1, 4, 5, 8, 11, 9}, 6},
    };
    for (const stWaitCase& stCase : aCases)
    {
        CFakeService service(CFakeService::Answering, stCase.vecFirstStates);
        ASSERT_TRUE(service.Start());
        stChildResult stResult = RunAgainst(service, L"/A:Wait");
        EXPECT_EQ(0u, stResult.dwExitCode);
        EXPECT_EQ("", stResult.strOutput);
        std::vector<int32_t> vecExpected(stCase.nDriveLists, CMD_GET_PARTITION_LIST);
        vecExpected.insert(vecExpected.begin(), CMD_GET_SERVICE_INFO);
        EXPECT_EQ(vecExpected, Commands(service.GetRequests()));
    }
}

// Holds the fake service's command pair as another client would.
class CPairHolder
{
public:
    bool Open()
    {
        const std::wstring strBase = std::wstring(L"\\\\.\\PIPE\\") + CServiceConnection::PipeName;
        return WaitFor([&] {
            m_hRead = ::CreateFileW((strBase + L"_OUT").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            m_hWrite = ::CreateFileW((strBase + L"_IN").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
            if (m_hRead != INVALID_HANDLE_VALUE && m_hWrite != INVALID_HANDLE_VALUE)
                return true;
            Close();
            return false;
        });
    }
    void Close()
    {
        for (HANDLE* ph : {&m_hRead, &m_hWrite})
        {
            if (*ph != INVALID_HANDLE_VALUE)
                ::CloseHandle(*ph);
            *ph = INVALID_HANDLE_VALUE;
        }
    }
    ~CPairHolder() { Close(); }

private:
    HANDLE m_hRead = INVALID_HANDLE_VALUE;
    HANDLE m_hWrite = INVALID_HANDLE_VALUE;
};

// The service serves one client a pair: VfoldCmd waits a few seconds for it to come free,
// and says that it stayed busy when that is why it gives up.
TEST(VfoldCmd, BusyPairIsWaitedForAndNamedWhenItStaysBusy)
{
    CFakeService service(CFakeService::Answering);
    ASSERT_TRUE(service.Start());
    const struct
    {
        bool bFreed;
        DWORD dwExitCode;
        const char* pszOutput;
    } aCases[] = {
        {true, 0, ListText},
        {false, 1, "Error: Can't start connection to Service: it is busy with other clients\n"},
    };
    for (const auto& stCase : aCases)
    {
        CPairHolder holder;
        ASSERT_TRUE(holder.Open());
        HANDLE hRelease = ::CreateEventW(NULL, TRUE, FALSE, NULL);
        std::thread releaser([&] {
            if (stCase.bFreed)
                ::WaitForSingleObject(hRelease, 1000);
            else
                ::WaitForSingleObject(hRelease, INFINITE);
            holder.Close();
        });
        stChildResult stResult = RunVfoldCmd(L"/A:List");
        ::SetEvent(hRelease);
        releaser.join();
        ::CloseHandle(hRelease);
        EXPECT_EQ(stCase.dwExitCode, stResult.dwExitCode);
        EXPECT_EQ(stCase.pszOutput, stResult.strOutput);
        EXPECT_TRUE(service.AwaitClientGone(10000));
    }
}

// When the client that held the pair leaves, the service makes the pair anew, and for that
// moment the name is gone: a VfoldCmd that found the pair busy waits that out too.
TEST(VfoldCmd, PairMadeAnewAfterBusyIsWaitedFor)
{
    const std::wstring strBase = std::wstring(L"\\\\.\\PIPE\\") + CServiceConnection::PipeName;
    HANDLE ahServer[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        ahServer[i] = ::CreateNamedPipeW((strBase + (i == 0 ? L"_IN" : L"_OUT")).c_str(),
                                         i == 0 ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                         4096, 4096, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, ahServer[i]);
    }
    CPairHolder holder;
    ASSERT_TRUE(holder.Open());
    CFakeService service(CFakeService::Answering);
    std::thread remaker([&] {
        ::Sleep(1000);
        holder.Close();
        for (HANDLE hServer : ahServer)
            ::CloseHandle(hServer);
        ::Sleep(500);
        EXPECT_TRUE(service.Start());
    });
    stChildResult stResult = RunVfoldCmd(L"/A:List");
    remaker.join();
    EXPECT_EQ(0u, stResult.dwExitCode);
    EXPECT_EQ(ListText, stResult.strOutput);
    EXPECT_TRUE(service.AwaitClientGone(10000));
}

TEST(VfoldCmd, StopGetsThroughWhileAnotherClientWaits)
{
    CFakeService service(CFakeService::Answering, {5, 5, 5, 5, 5, 0});
    ASSERT_TRUE(service.Start());
    stChildResult stWait = {};
    std::thread waiter([&] { stWait = RunVfoldCmd(L"/A:Wait", 60000); });
    EXPECT_TRUE(WaitFor([&service] { return service.GetRequests().size() >= 2; }));
    stChildResult stStop = RunVfoldCmd(L"/A:Stop /D:E");
    waiter.join();
    EXPECT_EQ(0u, stStop.dwExitCode);
    EXPECT_EQ("", stStop.strOutput);
    EXPECT_EQ(0u, stWait.dwExitCode) << stWait.strOutput;
    std::vector<stFakeRequest> vecRequests = service.GetRequests();
    EXPECT_EQ(1, std::count_if(vecRequests.begin(), vecRequests.end(), [](const stFakeRequest& stRequest) {
                  return stRequest.nCommand == CMD_STOP && stRequest.nVolumeIndex == 9;
              }));
    EXPECT_TRUE(service.AwaitClientGone(10000));
}

// The drive list tells that the volume runs a job: the service would refuse another run.
TEST(VfoldCmd, RunOnABusyVolumeIsRefusedWithAReason)
{
    CFakeService service(CFakeService::Answering, {5});
    ASSERT_TRUE(service.Start());
    stChildResult stResult = RunAgainst(service, L"/A:DefragQuick /D:C");
    EXPECT_EQ(1u, stResult.dwExitCode);
    EXPECT_EQ("Error: Drive is busy, the Service refuses the action: C:\\\n", stResult.strOutput);
    stResult = RunAgainst(service, L"/A:Stop /D:C");
    EXPECT_EQ(0u, stResult.dwExitCode) << "a stop is what a busy volume takes";
    EXPECT_EQ((std::vector<int32_t>{CMD_GET_SERVICE_INFO, CMD_GET_PARTITION_LIST, CMD_GET_SERVICE_INFO,
                                    CMD_GET_PARTITION_LIST, CMD_STOP}),
              Commands(service.GetRequests()));
}

// The C library's wide output stops at the first character its locale cannot convert.
TEST(VfoldCmd, ErrorTextsKeepNonAsciiNamesWhole)
{
    UINT uCodePage = ::GetConsoleOutputCP();
    if (uCodePage == 0)
        uCodePage = ::GetACP();
    auto narrow = [&](const std::wstring& strText) {
        const int nBytes = ::WideCharToMultiByte(uCodePage, 0, strText.c_str(), -1, NULL, 0, NULL, NULL);
        std::string strBytes(static_cast<size_t>(nBytes), '\0');
        ::WideCharToMultiByte(uCodePage, 0, strText.c_str(), -1, &strBytes[0], nBytes, NULL, NULL);
        strBytes.pop_back();
        return strBytes;
    };
    ExpectRuns({L"/A:\u0416\u0443\u043a", 1, narrow(L"Error: Unknown action: /A:\u0416\u0443\u043a\n")});
    CFakeService service(CFakeService::Answering);
    ASSERT_TRUE(service.Start());
    stChildResult stResult = RunAgainst(service, L"/A:Stop /D:\\\u0416\u00e9");
    EXPECT_EQ(1u, stResult.dwExitCode);
    EXPECT_EQ(narrow(L"Error: Can't find drive in Partition information: \\\u0416\u00e9\n"), stResult.strOutput);
}

}
