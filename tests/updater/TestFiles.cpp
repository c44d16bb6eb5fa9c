#include "TestFiles.h"

#include <cstdlib>

std::wstring ServerUrl(const wchar_t* pszPath)
{
    const char* pszPort = std::getenv("VF_UPDATE_SERVER_PORT");
    std::string strPort = pszPort != nullptr ? pszPort : "0";
    return L"http://127.0.0.1:" + std::wstring(strPort.begin(), strPort.end()) + pszPath;
}

std::wstring TempPath(const wchar_t* pszName)
{
    wchar_t szTemp[MAX_PATH + 1];
    DWORD dwChars = ::GetTempPathW(MAX_PATH + 1, szTemp);
    return std::wstring(szTemp, dwChars) + pszName;
}

bool FileExists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}
