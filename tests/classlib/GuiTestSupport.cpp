#include "GuiTestSupport.h"

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
    std::wstring strDir(pszDir);
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    std::wstring strName(pszName);
    // A name with a folder in front keeps a group of pictures together.
    size_t nSlash = strName.rfind(L'\\');
    if (nSlash != std::wstring::npos)
        ::CreateDirectoryW((strDir + L"\\" + strName.substr(0, nSlash)).c_str(), nullptr);
    return picture.SavePng(strDir + L"\\" + strName + L".png");
}
