// The steps about what lies outside the program's windows: files, the registry, and the
// service beside the program, which the script that started it stops and starts on request.
#include "ProbeRunner.h"

namespace
{
const wchar_t kRequestFile[] = L"\\request";
const wchar_t kDoneFile[] = L"\\done";
// How long a registry value may take to become what a step expects.
const DWORD kDefaultRegWaitMs = 30000;

bool WriteTextFile(const std::wstring& strPath, const char* pszText)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwLength = static_cast<DWORD>(strlen(pszText));
    DWORD dwWritten = 0;
    BOOL bWritten = ::WriteFile(hFile, pszText, dwLength, &dwWritten, nullptr);
    return ::CloseHandle(hFile) && bWritten && dwWritten == dwLength;
}

// The first line of a short text file; false while it cannot be opened.
bool ReadTextFile(const std::wstring& strPath, std::wstring& strText)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char szText[256] = {};
    DWORD dwRead = 0;
    BOOL bRead = ::ReadFile(hFile, szText, sizeof(szText) - 1, &dwRead, nullptr);
    ::CloseHandle(hFile);
    if (!bRead)
        return false;
    strText.clear();
    for (DWORD i = 0; i < dwRead && szText[i] != '\n' && szText[i] != '\r'; ++i)
        strText += static_cast<wchar_t>(static_cast<unsigned char>(szText[i]));
    return true;
}
} // namespace

CProbeRunner::Outcome CProbeRunner::WaitFile(const PROBE_STEP& step, std::wstring& strDetail)
{
    wchar_t szPath[MAX_PATH];
    DWORD dwChars = ::ExpandEnvironmentStringsW(step.strText.c_str(), szPath, MAX_PATH);
    if (dwChars == 0 || dwChars > MAX_PATH)
    {
        strDetail = L"the path cannot be expanded: " + QuotedWord(step.strText);
        return Outcome::Failed;
    }
    ULONGLONG nEnd = ::GetTickCount64() + step.dwMs;
    while (::GetFileAttributesW(szPath) == INVALID_FILE_ATTRIBUTES)
    {
        if (::GetTickCount64() >= nEnd)
        {
            strDetail = L"no file " + QuotedWord(szPath) + L" after " + Seconds(step.dwMs);
            return Outcome::Failed;
        }
        ::Sleep(PollMs);
    }
    strDetail = std::wstring(L"found ") + szPath;
    return Outcome::Passed;
}

// The program hands a value to a service, which stores it a moment later.
CProbeRunner::Outcome CProbeRunner::ExpectReg(const PROBE_STEP& step, std::wstring& strDetail)
{
    const ULONGLONG ullEnd = ::GetTickCount64() + kDefaultRegWaitMs;
    while (true)
    {
        Outcome eOutcome = CompareReg(step, strDetail);
        if (eOutcome == Outcome::Passed || ::GetTickCount64() >= ullEnd)
            return eOutcome;
        ::Sleep(200);
    }
}

CProbeRunner::Outcome CProbeRunner::CompareReg(const PROBE_STEP& step, std::wstring& strDetail) const
{
    HKEY hRoot = step.strName.compare(0, 5, L"HKLM\\") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    std::wstring strKey = step.strName.substr(5);
    DWORD dwType = 0;
    BYTE abData[1024] = {};
    DWORD cbData = sizeof(abData) - sizeof(wchar_t);
    LSTATUS nStatus = ::RegGetValueW(hRoot, strKey.c_str(), step.strText.c_str(), RRF_RT_REG_DWORD | RRF_RT_REG_SZ,
                                     &dwType, abData, &cbData);
    if (nStatus != ERROR_SUCCESS)
    {
        strDetail = L"no value " + QuotedWord(step.strText) + L" under " + step.strName + L" (error " +
                    std::to_wstring(nStatus) + L")";
        return Outcome::Failed;
    }
    std::wstring strData;
    if (dwType == REG_DWORD)
    {
        DWORD dwValue = *reinterpret_cast<DWORD*>(abData);
        strData = std::to_wstring(dwValue);
        // A DWORD written as -1 reads back as 4294967295: both spellings match.
        if (step.strData == std::to_wstring(static_cast<LONG>(dwValue)))
            return Outcome::Passed;
    }
    else
    {
        strData = reinterpret_cast<const wchar_t*>(abData);
    }
    if (strData == step.strData)
        return Outcome::Passed;
    strDetail = step.strText + L" is " + QuotedWord(strData);
    return Outcome::Failed;
}

CProbeRunner::Outcome CProbeRunner::ControlService(const PROBE_STEP& step, std::wstring& strDetail)
{
    if (m_strControlFolder.empty())
    {
        strDetail = L"no service runs beside the program in this run";
        return Outcome::Failed;
    }
    std::wstring strDone = m_strControlFolder + kDoneFile;
    ::DeleteFileW(strDone.c_str());
    if (!WriteTextFile(m_strControlFolder + kRequestFile, step.strText == L"stop" ? "stop\n" : "start\n"))
    {
        strDetail = L"the request cannot be written (error " + std::to_wstring(::GetLastError()) + L")";
        return Outcome::Failed;
    }
    ULONGLONG nEnd = ::GetTickCount64() + step.dwMs;
    std::wstring strAnswer;
    while (!ReadTextFile(strDone, strAnswer))
    {
        if (::GetTickCount64() >= nEnd)
        {
            strDetail = L"the service was not " + std::wstring(step.strText == L"stop" ? L"stopped" : L"started") +
                        L" within " + Seconds(step.dwMs);
            return Outcome::Failed;
        }
        ::Sleep(PollMs);
    }
    ::DeleteFileW(strDone.c_str());
    if (strAnswer == L"ok")
        return Outcome::Passed;
    strDetail = strAnswer;
    return Outcome::Failed;
}
