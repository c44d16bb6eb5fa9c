// The folder of the running test program, with its final backslash: the
// fake libraries lie beside it, the build's programs two folders up.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring TestProgramFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath(szPath, n < MAX_PATH ? n : 0);
    return strPath.substr(0, strPath.rfind(L'\\') + 1);
}
