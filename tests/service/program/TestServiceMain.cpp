// A small service on the service frame for the tests: it runs until stopped,
// pauses and continues at once, and appends every logged event to a file
// beside its program, since the system's event log keeps nothing here.
#include "service/WinService.h"

#include <cstdio>

namespace
{
const DWORD LongestRunMs = 120000;

class CTestService : public CWinService
{
public:
    CTestService() : CWinService(L"VfTestSvc", L"Varnefold Test Service"), m_hStop(::CreateEventW(NULL, TRUE, FALSE, NULL))
    {
        m_dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    }
    ~CTestService() override
    {
        if (m_hStop != NULL)
            ::CloseHandle(m_hStop);
    }

    bool Run() override
    {
        SetStatus(SERVICE_RUNNING, 0);
        // Bounded, so that a forgotten service never outlives a test run for long.
        ::WaitForSingleObject(m_hStop, LongestRunMs);
        return true;
    }
    void OnStop() override { ::SetEvent(m_hStop); }
    void OnPause() override { SetStatus(SERVICE_PAUSED, 0); }
    void OnContinue() override { SetStatus(SERVICE_RUNNING, 0); }

    void LogEvent(const wchar_t* pszText, WORD wType, DWORD dwId) override
    {
        AppendToLog(pszText, wType);
        CWinService::LogEvent(pszText, wType, dwId);
    }

private:
    static void AppendToLog(const wchar_t* pszText, WORD wType)
    {
        wchar_t szPath[MAX_PATH + 8];
        DWORD dwLength = ::GetModuleFileNameW(NULL, szPath, MAX_PATH);
        if (dwLength == 0 || dwLength >= MAX_PATH)
            return;
        wcscpy(szPath + dwLength - 3, L"log");
        FILE* pFile = _wfopen(szPath, L"a");
        if (pFile == nullptr)
            return;
        fwprintf(pFile, L"%u %ls\n", wType, pszText);
        fclose(pFile);
    }

    HANDLE m_hStop;
};
}

int wmain(int argc, wchar_t** argv)
{
    CTestService service;
    return service.ParseCommandLine(argc, argv) ? 1 : 0;
}
