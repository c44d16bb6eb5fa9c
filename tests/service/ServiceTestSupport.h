// Helpers of the service tests: where the test programs lie and how one is run.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running test program, with its final backslash.
std::wstring GetProgramDir();
std::wstring GetTestServicePath();
// The exit code, or MAXDWORD when the program did not start or end in time.
DWORD RunProgram(const std::wstring& strPath, const std::wstring& strArguments, DWORD dwTimeoutMs = 60000);
DWORD RunTestService(const wchar_t* pszArguments, DWORD dwTimeoutMs = 60000);
