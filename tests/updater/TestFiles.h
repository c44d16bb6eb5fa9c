// Helpers of the updater's tests: the test web server's addresses and the
// files a download leaves in the temporary folder.
#pragma once

#include <windows.h>

#include <string>

// An address on the server that with-server.sh started for this run.
std::wstring ServerUrl(const wchar_t* pszPath);
std::wstring TempPath(const wchar_t* pszName);
bool FileExists(const std::wstring& strPath);
