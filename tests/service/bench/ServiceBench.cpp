// Responsiveness of the service while a defragmentation runs: the round trip of request 101
// on the command pipe, and the time from a volume's broadcast of its entry to its arrival at
// a client of the graphical program's pipe. One "BENCH service" line each; figures, no limits.
//   service_bench [--files N] [--clusters N] [--requests N]
#include "../ServiceClient.h"

#include "protocol/NetDefragCommand.h"
#include "protocol/NetDefragPartitionListEntry.h"
#include "service/DefragService.h"
#include "simdisk/SimBuilder.h"
#include "simdisk/SimSystem.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace
{
double CounterMs(LONGLONG llCounter)
{
    LARGE_INTEGER liFrequency;
    ::QueryPerformanceFrequency(&liFrequency);
    return 1000.0 * static_cast<double>(llCounter) / static_cast<double>(liFrequency.QuadPart);
}

double NowMs()
{
    LARGE_INTEGER liNow;
    ::QueryPerformanceCounter(&liNow);
    return CounterMs(liNow.QuadPart);
}

// The service run directly, noting when each entry broadcast left.
class CBenchService : public CDefragService
{
public:
    CBenchService() { m_bRunningDirectly = true; }

    bool BroadcastObject(int32_t nCode, CNetDefragObject& object) override
    {
        if (nCode == RESPONSE_PARTITION_ENTRY)
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sent.push_back(NowMs());
        }
        return CDefragService::BroadcastObject(nCode, object);
    }
    std::vector<double> Sent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }
    void LogEvent(const wchar_t*, WORD, DWORD) override {}

private:
    std::mutex m_mutex;
    std::vector<double> m_sent;
};

DWORD WINAPI RunService(LPVOID pParam)
{
    static_cast<CBenchService*>(pParam)->Run();
    return 0;
}

void SetSetting(const wchar_t* pszName, DWORD dwValue)
{
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold", pszName, REG_DWORD, &dwValue, sizeof(dwValue));
}

double Percentile(std::vector<double> values, double dShare)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(dShare * static_cast<double>(values.size() - 1))];
}

void Print(const wchar_t* pszWhat, const std::vector<double>& values)
{
    std::wprintf(L"BENCH service %ls p50_ms=%.2f p99_ms=%.2f samples=%zu\n", pszWhat, Percentile(values, 0.5),
                 Percentile(values, 0.99), values.size());
}

bool Option(int argc, wchar_t** argv, const wchar_t* pszName, LONGLONG& llValue)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wcscmp(argv[i], pszName) == 0)
        {
            llValue = std::wcstoll(argv[i + 1], nullptr, 10);
            return true;
        }
    return false;
}
}

int wmain(int argc, wchar_t** argv)
{
    LONGLONG llFiles = 20000;
    LONGLONG llClusters = 4000000;
    LONGLONG llRequests = 2000;
    Option(argc, argv, L"--files", llFiles);
    Option(argc, argv, L"--clusters", llClusters);
    Option(argc, argv, L"--requests", llRequests);

    SIM_BUILD build;
    build.format.llTotalClusters = llClusters;
    build.llFiles = llFiles;
    build.nFragmentedPercent = 30;
    std::wstring strError;
    std::unique_ptr<CSimVolume> pVolume = CSimBuilder::Build(build, &strError);
    if (!pVolume)
    {
        std::fwprintf(stderr, L"service_bench: %ls\n", strError.c_str());
        return 2;
    }
    CSimSystem system;
    system.Mount(std::move(pVolume), L'S');
    system.Install();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
    SetSetting(L"GlobalBackgroundAnalyzeWaitToStartTime", 3600);
    SetSetting(L"UseIOGuard", 0);

    CBenchService service;
    HANDLE hThread = ::CreateThread(NULL, 0, RunService, &service, 0, NULL);
    CServiceClient gui;
    CServiceClient command;
    if (hThread == NULL || !gui.Open(CServiceClient::GuiPipe, 20000) || !command.Open(CServiceClient::CommandPipe))
    {
        std::fwprintf(stderr, L"service_bench: the service did not start\n");
        return 2;
    }
    stRECEIVED received;
    gui.Send(CMD_GET_PARTITION_LIST);
    gui.WaitFor(RESPONSE_PARTITION_LIST, received, 20000);
    const size_t nSentBefore = service.Sent().size();

    // The volume's first index is 1: one volume in this process.
    gui.SendIndex(CMD_DEFRAG_COMPLETE, 1);
    std::vector<double> requests;
    for (LONGLONG i = 0; i < llRequests; ++i)
    {
        const double dStart = NowMs();
        if (!command.Send(CMD_GET_PARTITION_LIST) || !command.WaitFor(RESPONSE_PARTITION_LIST, received, 20000))
            break;
        requests.push_back(NowMs() - dStart);
    }
    gui.SendIndex(CMD_STOP, 1);
    ::Sleep(2000);

    // Entries reach the client in the order they left.
    const std::vector<double> sent = service.Sent();
    std::vector<double> broadcasts;
    size_t nNext = nSentBefore;
    for (const stRECEIVED& message : gui.Collect(500))
        if (message.nCode == RESPONSE_PARTITION_ENTRY && nNext < sent.size())
            broadcasts.push_back(CounterMs(message.llArrived) - sent[nNext++]);
    Print(L"request=101", requests);
    Print(L"broadcast=1002", broadcasts);
    service.OnStop();
    ::WaitForSingleObject(hThread, 60000);
    ::CloseHandle(hThread);
    system.Uninstall();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnefold");
    return 0;
}
