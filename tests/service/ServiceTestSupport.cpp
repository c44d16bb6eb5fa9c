#include "ServiceTestSupport.h"

#include <vector>

std::wstring GetProgramDir()
{
    std::vector<wchar_t> path(32768);
    DWORD dwLength = ::GetModuleFileNameW(NULL, path.data(), static_cast<DWORD>(path.size()));
    std::wstring strPath(path.data(), dwLength);
    return strPath.substr(0, strPath.find_last_of(L'\\') + 1);
}

std::wstring GetTestServicePath()
{
    return GetProgramDir() + L"vf_test_service.exe";
}

DWORD RunTestService(const wchar_t* pszArguments, DWORD dwTimeoutMs)
{
    return RunProgram(GetTestServicePath(), pszArguments, dwTimeoutMs);
}

DWORD RunProgram(const std::wstring& strPath, const std::wstring& strArguments, DWORD dwTimeoutMs)
{
    std::wstring strCommand = L"\"" + strPath + L"\" " + strArguments;
    std::vector<wchar_t> command(strCommand.begin(), strCommand.end());
    command.push_back(L'\0');
    STARTUPINFOW stStartup = {};
    stStartup.cb = sizeof(stStartup);
    PROCESS_INFORMATION stProcess = {};
    if (!::CreateProcessW(NULL, command.data(), NULL, NULL, FALSE, 0, NULL, NULL, &stStartup, &stProcess))
        return MAXDWORD;
    DWORD dwExitCode = MAXDWORD;
    if (::WaitForSingleObject(stProcess.hProcess, dwTimeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(stProcess.hProcess, &dwExitCode);
    else
        ::TerminateProcess(stProcess.hProcess, MAXDWORD);
    ::CloseHandle(stProcess.hThread);
    ::CloseHandle(stProcess.hProcess);
    return dwExitCode;
}
