#include "ChildRun.h"

#include "base/AutoHandle.h"

#include <thread>
#include <vector>

namespace
{
std::wstring GetProgramDir()
{
    std::vector<wchar_t> path(32768);
    DWORD dwLength = ::GetModuleFileNameW(NULL, path.data(), static_cast<DWORD>(path.size()));
    std::wstring strPath(path.data(), dwLength);
    return strPath.substr(0, strPath.find_last_of(L'\\') + 1);
}

std::string ReadAll(HANDLE hRead)
{
    std::string strText;
    char szBuffer[512];
    DWORD dwRead = 0;
    while (::ReadFile(hRead, szBuffer, sizeof(szBuffer), &dwRead, NULL) && dwRead > 0)
        strText.append(szBuffer, dwRead);
    std::string strLines;
    for (char ch : strText)
        if (ch != '\r')
            strLines += ch;
    return strLines;
}
}

stChildResult RunVfoldCmd(const std::wstring& strArguments, DWORD dwTimeoutMs)
{
    stChildResult stResult = {MAXDWORD, std::string()};
    SECURITY_ATTRIBUTES stInherit = {sizeof(stInherit), NULL, TRUE};
    HANDLE hRead = NULL, hWrite = NULL;
    if (!::CreatePipe(&hRead, &hWrite, &stInherit, 0))
        return stResult;
    CAutoHandle readEnd(hRead), writeEnd(hWrite);
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring strCommand = L"\"" + GetProgramDir() + L"VfoldCmd.exe\" " + strArguments;
    std::vector<wchar_t> command(strCommand.begin(), strCommand.end());
    command.push_back(L'\0');
    STARTUPINFOW stStartup = {};
    stStartup.cb = sizeof(stStartup);
    stStartup.dwFlags = STARTF_USESTDHANDLES;
    stStartup.hStdOutput = hWrite;
    stStartup.hStdError = hWrite;
    PROCESS_INFORMATION stProcess = {};
    if (!::CreateProcessW(NULL, command.data(), NULL, NULL, TRUE, 0, NULL, NULL, &stStartup, &stProcess))
        return stResult;
    CAutoHandle process(stProcess.hProcess), thread(stProcess.hThread);
    // Only the child may hold the write end now, so the reads end with it.
    writeEnd.Reset();
    std::thread reader([&] { stResult.strOutput = ReadAll(hRead); });
    if (::WaitForSingleObject(stProcess.hProcess, dwTimeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(stProcess.hProcess, &stResult.dwExitCode);
    else
        ::TerminateProcess(stProcess.hProcess, MAXDWORD);
    reader.join();
    return stResult;
}
