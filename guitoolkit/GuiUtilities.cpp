#include "guitoolkit/GuiUtilities.h"

#include <memory>

namespace
{
// The largest file time FileTimeToSystemTime takes, in whole seconds after 1970.
constexpr ULONGLONG MaxUnixSeconds = 910692730085ULL;

HANDLE OpenQueryToken()
{
    HANDLE hToken = NULL;
    if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken))
        return hToken;
    if (::GetLastError() != ERROR_NO_TOKEN)
        return NULL;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return hToken;
    return NULL;
}

bool TokenListsAdministrators(HANDLE hToken)
{
    DWORD dwSize = 0;
    if (::GetTokenInformation(hToken, TokenGroups, nullptr, 0, &dwSize) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || dwSize == 0)
        return false;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[dwSize]);
    if (!buffer || !::GetTokenInformation(hToken, TokenGroups, buffer.get(), dwSize, &dwSize))
        return false;
    SID_IDENTIFIER_AUTHORITY stAuthority = SECURITY_NT_AUTHORITY;
    PSID pAdministrators = nullptr;
    if (!::AllocateAndInitializeSid(&stAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                    0, 0, &pAdministrators))
        return false;
    const TOKEN_GROUPS* pGroups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    bool bFound = false;
    for (DWORD i = 0; i < pGroups->GroupCount && !bFound; ++i)
        bFound = ::EqualSid(pGroups->Groups[i].Sid, pAdministrators) != FALSE;
    ::FreeSid(pAdministrators);
    return bFound;
}
} // namespace

LRESULT PumpMessages()
{
    MSG stHeld = {};
    bool bHolding = false;
    MSG stMsg;
    while (::PeekMessageW(&stMsg, NULL, 0, 0, PM_REMOVE))
    {
        if (stMsg.message == WM_QUIT)
        {
            // The program's loop must still see it, or the program would
            // outlive its window.
            ::PostQuitMessage(static_cast<int>(stMsg.wParam));
            break;
        }
        if (stMsg.message == WM_SERVER_DATA && !bHolding)
        {
            stHeld = stMsg;
            bHolding = true;
            continue;
        }
        if (!::TranslateAcceleratorW(stMsg.hwnd, NULL, &stMsg))
        {
            ::TranslateMessage(&stMsg);
            ::DispatchMessageW(&stMsg);
        }
    }
    return bHolding ? ::DispatchMessageW(&stHeld) : 0;
}

BOOL IsUserAdministrator()
{
    HANDLE hToken = OpenQueryToken();
    if (hToken == NULL)
        return FALSE;
    bool bAdministrator = TokenListsAdministrators(hToken);
    ::CloseHandle(hToken);
    return bAdministrator ? TRUE : FALSE;
}

ULONGLONG UnixEpochSeconds()
{
    SYSTEMTIME stEpoch = {1970, 1, 4, 1, 0, 0, 0, 0};
    FILETIME stFile = {};
    if (!::SystemTimeToFileTime(&stEpoch, &stFile))
        return 11644473600ULL;
    ULARGE_INTEGER ull;
    ull.LowPart = stFile.dwLowDateTime;
    ull.HighPart = stFile.dwHighDateTime;
    return ull.QuadPart / 10000000ULL;
}

BOOL UnixTimeToSystemTime(ULONGLONG ullSeconds, SYSTEMTIME* pTime)
{
    if (pTime == nullptr)
        return FALSE;
    *pTime = {};
    if (ullSeconds > MaxUnixSeconds)
        return FALSE;
    ULARGE_INTEGER ull;
    ull.QuadPart = (ullSeconds + UnixEpochSeconds()) * 10000000ULL;
    FILETIME stFile = {ull.LowPart, ull.HighPart};
    if (!::FileTimeToSystemTime(&stFile, pTime))
    {
        *pTime = {};
        return FALSE;
    }
    return TRUE;
}

int FormatDateTime(const SYSTEMTIME& stTime, wchar_t* pszBuffer, int nBufferChars)
{
    if (pszBuffer == nullptr || nBufferChars <= 0)
        return 0;
    int nDate = ::GetDateFormatW(LOCALE_USER_DEFAULT, 0, &stTime, nullptr, pszBuffer, nBufferChars);
    if (nDate <= 0)
    {
        pszBuffer[0] = L'\0';
        return 0;
    }
    int nDateLength = nDate - 1;
    if (nDateLength + 1 >= nBufferChars)
        return nDateLength;
    pszBuffer[nDateLength] = L' ';
    int nTime = ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &stTime, nullptr, pszBuffer + nDateLength + 1,
                                 nBufferChars - nDateLength - 1);
    // A time that does not fit leaves the date alone, terminated.
    if (nTime <= 0)
        pszBuffer[nDateLength] = L'\0';
    return nTime;
}
