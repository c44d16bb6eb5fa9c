#include "GuiTestSupport.h"

#include <cwchar>
#include <string>

bool PumpPending()
{
    MSG stMsg;
    while (::PeekMessageW(&stMsg, NULL, 0, 0, PM_REMOVE))
    {
        if (stMsg.message == WM_QUIT)
            return false;
        ::TranslateMessage(&stMsg);
        ::DispatchMessageW(&stMsg);
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs)
{
    DWORD dwStart = ::GetTickCount();
    while (!condition())
    {
        if (::GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

bool SaveWindowPicture(HWND hWnd, const wchar_t* pszName)
{
    const wchar_t* pszDir = _wgetenv(L"VF_SCREENSHOT_DIR");
    RECT rc;
    if (pszDir == nullptr || !::GetWindowRect(hWnd, &rc))
        return false;
    CScreenPicture picture(rc);
    if (picture.Empty())
        return false;
    std::wstring strPath = std::wstring(pszDir) + L"\\" + pszName + L".png";
    // The folder and those the name holds.
    for (size_t nSep = strPath.find(L'\\', std::wcslen(pszDir)); nSep != std::wstring::npos;
         nSep = strPath.find(L'\\', nSep + 1))
        ::CreateDirectoryW(strPath.substr(0, nSep).c_str(), nullptr);
    return picture.SavePng(strPath);
}

RECT WindowRectIn(HWND hWnd, HWND hOther)
{
    RECT rc = {};
    ::GetWindowRect(hWnd, &rc);
    ::MapWindowPoints(NULL, hOther, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

HWND ThreadPopupMenuWindow()
{
    HWND hFound = NULL;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            wchar_t szClass[16] = {};
            if (::GetClassNameW(hWnd, szClass, 16) == 0 || wcscmp(szClass, L"#32768") != 0 || !::IsWindowVisible(hWnd))
                return TRUE;
            *reinterpret_cast<HWND*>(lParam) = hWnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&hFound));
    return hFound;
}
