// Runs VfoldCmd.exe from beside the test program as a child process and
// captures what it prints.
#pragma once

#include <windows.h>

#include <string>

struct stChildResult
{
    DWORD dwExitCode; // MAXDWORD when it did not start or end in time
    std::string strOutput; // stdout and stderr, line ends without "\r"
};

stChildResult RunVfoldCmd(const std::wstring& strArguments, DWORD dwTimeoutMs = 60000);
